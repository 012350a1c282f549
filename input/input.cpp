#include "input/input.h"
