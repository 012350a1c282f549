// Physics: the world, the bike and rider bodies, contacts, the catalogue, and
// (in ride.h) the tuning, suspension, drivetrain and rider controls.
#pragma once

#include "physics/ride.h"
