#include "terrain/terrain.h"
