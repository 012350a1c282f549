#include "demo/demo.h"
