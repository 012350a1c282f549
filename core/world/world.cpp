#include "core/world/world.h"
