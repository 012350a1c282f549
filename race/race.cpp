#include "race/race.h"
