// The physics part of one simulation tic, in its fixed order.
#include "physics/physics_local.h"

void run_physics_tic(Bike* const* bikes, int count, const RideClock& clock) {
    set_physics_tic(clock.tic);
    for (int i = 0; i < count; i++)
        if (bikes[i]->simulated && bikes[i]->activity > 0.25f) collide_bike_with_ground(*bikes[i]);
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            if (bikes[i]->simulated && bikes[j]->simulated) collide_bikes(*bikes[i], *bikes[j], 0);
    for (int i = 0; i < count; i++) emit_roost(*bikes[i]);
    step_physics_world();
    for (int i = 0; i < count; i++)
        if (bikes[i]->simulated) erode_from_tires(*bikes[i]);
    // Call point: the robot controller runs here for robot bikes (its module
    // drives the bike through the input setters before update_bike).
    for (int i = 0; i < count; i++) update_bike(*bikes[i], clock);
    fly_roost();
}
