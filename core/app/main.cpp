// rutline: the game's entry point.
#include "core/core.h"

int main(int, char**) { return 0; }
