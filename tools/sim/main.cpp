// rutline-sim: the headless race runner.
int main(int, char**) { return 0; }
