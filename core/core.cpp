#include "core/core.h"
