// Tuning setters with their ranges, the robot defaults, and the rider's
// control-input setters.
#include <cmath>

#include "physics/physics.h"
#include "physics/ride_local.h"

static const BikeSpec& spec_of(const Bike& bike) { return bike_spec(bike.spec); }

static float from_range(const float range[2], float fraction) {
    return range[0] + clampv(fraction, 0.0f, 1.0f) * (range[1] - range[0]);
}

void set_fork_tuning(Bike& bike, float compression_multiplier, float low_speed_compression,
                     float rebound_multiplier, float low_speed_rebound, float spring_fraction,
                     float preload_fraction, float air_gap_fraction) {
    const BikeSpec& s = spec_of(bike);
    BikeTuning& t = bike.tuning;
    t.fork_compression = s.fork_damping[DAMP_FAST_COMPRESSION] * clampv(compression_multiplier, 0.25f, 4.0f);
    t.fork_slow_compression = s.fork_damping[DAMP_SLOW_COMPRESSION] * clampv(low_speed_compression, -1.0f, 1.0f);
    t.fork_rebound = s.fork_damping[DAMP_FAST_REBOUND] * clampv(rebound_multiplier, 0.25f, 4.0f);
    t.fork_slow_rebound = s.fork_damping[DAMP_SLOW_REBOUND] * clampv(low_speed_rebound, -1.0f, 1.0f);
    t.fork_spring_rate = from_range(s.fork_spring_rate, spring_fraction);
    t.fork_preload = from_range(s.fork_preload, preload_fraction);
    t.fork_air_gap = from_range(s.fork_air_gap, air_gap_fraction);
}

void set_shock_tuning(Bike& bike, float compression_multiplier, float low_speed_compression,
                      float rebound_multiplier, float low_speed_rebound, float spring_fraction,
                      float preload_fraction) {
    const BikeSpec& s = spec_of(bike);
    BikeTuning& t = bike.tuning;
    t.shock_compression = s.shock_damping[DAMP_FAST_COMPRESSION] * clampv(compression_multiplier, 0.25f, 4.0f);
    t.shock_slow_compression = s.shock_damping[DAMP_SLOW_COMPRESSION] * clampv(low_speed_compression, -1.0f, 1.0f);
    t.shock_rebound = s.shock_damping[DAMP_FAST_REBOUND] * clampv(rebound_multiplier, 0.25f, 4.0f);
    t.shock_slow_rebound = s.shock_damping[DAMP_SLOW_REBOUND] * clampv(low_speed_rebound, -1.0f, 1.0f);
    t.shock_spring_rate = from_range(s.shock_spring_rate, spring_fraction);
    t.shock_preload = from_range(s.shock_preload, preload_fraction);
}

void set_leveling(Bike& b, float v) { b.tuning.leveling = clampv(v, 0.0f, 100.0f); }
void set_roll_damping(Bike& b, float v) { b.tuning.roll_damping = clampv(v, 0.0f, 100.0f); }
void set_roll_limit_angle(Bike& b, float v) { b.tuning.roll_limit_angle = clampv(v, 0.0f, RIDE_PI); }
void set_roll_limit_factor(Bike& b, float v) { b.tuning.roll_limit_factor = clampv(v, 0.0f, 64.0f); }
void set_steering_damping(Bike& b, float v) { b.tuning.steering_damping = clampv(v, 0.0f, 100.0f); }
void set_steering_strength(Bike& b, float v) { b.tuning.steering_strength = clampv(v, 0.0f, 100.0f); }
void set_max_steering_force(Bike& b, float v) { b.tuning.max_steering_force = clampv(v, 0.0f, 1000.0f); }
void set_direct_steering(Bike& b, float v) { b.tuning.direct_steering = clampv(v, 0.0f, 1.0f); }
void set_slow_damping_speed(Bike& b, float v) { b.tuning.slow_damping_speed = clampv(v, 0.0f, 100.0f); }
void set_slow_damping_factor(Bike& b, float v) { b.tuning.slow_damping_factor = clampv(v, 1.0f, 10.0f); }
void set_land_damping_rampup(Bike& b, float v) { b.tuning.land_damping_rampup = clampv(v, 0.0f, 0.5f); }
void set_land_damping_falloff(Bike& b, float v) { b.tuning.land_damping_falloff = clampv(v, 0.0f, 0.5f); }
void set_land_damping_factor(Bike& b, float v) { b.tuning.land_damping_factor = clampv(v, 1.0f, 3.0f); }
void set_full_lock_speed(Bike& b, float v) { b.tuning.full_lock_speed = clampv(v, 1.0f, 100.0f); }
void set_restricted_lock_speed(Bike& b, float v) { b.tuning.restricted_lock_speed = clampv(v, 1.0f, 100.0f); }
void set_restricted_lock(Bike& b, float v) { b.tuning.restricted_lock = clampv(v, 0.0f, RIDE_PI / 4); }
void set_auto_clutch_rpms(Bike& b, float v) { b.tuning.auto_clutch_rpms = clampv(v, 0.0f, 5000.0f); }
void set_brake_torque(Bike& b, float v) { b.tuning.brake_torque = clampv(v, 0.0f, 500.0f); }
void set_rear_brake_torque(Bike& b, float v) { b.tuning.rear_brake_torque = clampv(v, 0.0f, 500.0f); }
void set_max_dab_speed(Bike& b, float v) { b.tuning.max_dab_speed = clampv(v, 7.0f, 100.0f); }
void set_arcade(Bike& b, bool on) { b.tuning.arcade = on; }

void set_final_drive(Bike& bike, float front_adjustment, float rear_adjustment) {
    const BikeSpec& s = spec_of(bike);
    float front = std::fmax(std::floor(s.front_sprocket + clampv(front_adjustment, -2.0f, 2.0f)), 3.0f);
    float rear = std::fmax(std::floor(s.rear_sprocket + clampv(rear_adjustment, -2.0f, 2.0f)), 3.0f);
    bike.tuning.final_drive = rear / front;
}

void set_rider_springs(Bike& b, float yspring, float zspring) {
    b.tuning.rider_yspring = clampv(yspring, 0.0f, 1.0f);
    b.tuning.rider_zspring = clampv(zspring, 0.0f, 1.0f);
}

void set_rider_dampings(Bike& b, float ydamping, float zdamping) {
    b.tuning.rider_ydamping = clampv(ydamping, 0.0f, 1.0f);
    b.tuning.rider_zdamping = clampv(zdamping, 0.0f, 1.0f);
}

// The rider's mass is shared between the rider body (d) and the frame (1 − d).
void set_rider_mass_distribution(Bike& bike, float d) {
    d = clampv(d, 0.33f, 0.5f);
    bike.tuning.rider_mass_distribution = d;
    const BikeSpec& s = spec_of(bike);
    if (!bike.bodies[FRAME] || !bike.bodies[RIDER]) return;
    dMass m;
    dMassSetBoxTotal(&m, s.frame_mass + s.rider_mass * (1 - d), s.frame_size.x, s.frame_size.y,
                     s.frame_size.z);
    dBodySetMass(bike.bodies[FRAME], &m);
    dMassSetSphereTotal(&m, s.rider_mass * d, 1.0);
    dBodySetMass(bike.bodies[RIDER], &m);
}

void set_ride_flag(Bike& bike, RideFlag flag, bool on) {
    BikeTuning& t = bike.tuning;
    switch (flag) {
    case FLAG_WHEELIE_PREVENTION: t.wheelie_prevention = on; break;
    case FLAG_STOPPIE_PREVENTION: t.stoppie_prevention = on; break;
    case FLAG_FRONT_ANTILOCK: t.front_antilock = on; break;
    case FLAG_REAR_ANTILOCK: t.rear_antilock = on; break;
    case FLAG_AUTO_SHIFT: t.auto_shift = on; break;
    case FLAG_AUTO_DAB: t.auto_dab = on; break;
    case FLAG_AUTO_ALIGN: t.auto_align = on; break;
    }
}

void set_robot_tuning(Bike& bike) {
    bike.tuning = BikeTuning{};  // chassis, brake and aid defaults are the record's initial values
    set_fork_tuning(bike, 1, 0, 1, 0, 0.5f, 0.5f, 0);
    set_shock_tuning(bike, 2, 0, 2, 1, 0.5f, 0.5f);
    set_final_drive(bike, 0, 0);
}

// --- Control inputs ------------------------------------------------------------

bool rider_crashed(const Bike& bike) { return bike.ride.crash_counter > 0; }

void set_steer(Bike& b, float v) { b.ride.steer = clampv(v, -1.0f, 1.0f); }
void set_front_brake(Bike& b, float v) { b.ride.front_brake = clampv(v, 0.0f, 1.0f); }
void set_rear_brake(Bike& b, float v) { b.ride.rear_brake = clampv(v, 0.0f, 1.0f); }
void set_clutch(Bike& b, float v) { b.ride.clutch = clampv(v, 0.0f, 1.0f); }
void set_throttle(Bike& b, float v) { b.ride.throttle = rider_crashed(b) ? 0 : clampv(v, 0.0f, 1.0f); }
void set_sit_dab(Bike& b, float v) { b.ride.sit_dab = rider_crashed(b) ? 0 : clampv(v, 0.0f, 1.0f); }
void set_back_up(Bike& b, float v) { b.ride.back_up = rider_crashed(b) ? 0 : clampv(v, 0.0f, 1.0f); }
void set_lean(Bike& b, float v) { b.ride.lean = rider_crashed(b) ? 0 : clampv(v, -1.0f, 1.0f); }

void shift(Bike& bike, int input) {
    RideState& r = bike.ride;
    if (rider_crashed(bike) || input == r.last_shift_input || input < -1 || input > 1) return;
    r.last_shift_input = input;
    r.gear = shifted_gear(spec_of(bike).gear_ratios, r.gear, input);
}

void set_gear(Bike& bike, int gear) {
    bike.ride.gear = shifted_gear(spec_of(bike).gear_ratios, clampv(gear, 0, 5), 0);
}
