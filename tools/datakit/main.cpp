// datakit: writes the default data tree.
int main(int, char**) { return 0; }
