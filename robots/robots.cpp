#include "robots/robots.h"
