// Internals of the ride code: the formulas of the suspension, steering,
// drivetrain and aids as plain functions of numbers, so that they can be
// checked without bodies.
#pragma once

#include <ode/ode.h>

#include <array>

#include "physics/ride.h"

inline constexpr float RIDE_PI = 3.14159265358979323846f;
inline constexpr float RIDE_TIC = 1.0f / 128.0f;

template <class T>
inline T clampv(T v, T lo, T hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Suspension damping D(v, kc, cc, kr, cr); v < 0 while compressing. The result
// stays between 1/8 and 8 times the linear high-speed force; 0 at rest.
float damping_force(float v, float kc, float cc, float kr, float cr);

// The fork's air spring at slider position x (0 extended, −travel compressed).
float air_spring_force(float x, float air_gap, float travel);

// The fork force at slider position x and rate v, with the top-out fade.
float fork_force(const BikeTuning& t, float travel, float x, float v);

// Linkage: the shock travel s at swingarm fraction u (0 … 1) and its ratio
// r = ds/du. `link` is the bike model's 7 linkage floats: travel at knot, travel at
// full stroke, maximum angle, knot position, slopes at 0, knot, full stroke.
struct LinkagePoint {
    float s, r;
};
LinkagePoint linkage_at(const float link[7], float u);

// The shock force at hinge angle theta and rate omega.
float shock_force(const BikeTuning& t, const float link[7], float theta, float omega);

// The steering lock angle at front rolling speed L on ground of first friction
// coefficient mu0.
float lock_angle(const BikeTuning& t, float mu0, float rolling_speed);

// The steering torque limits (lo, hi) for the front slip angle beta, the lock
// angle, and the front wheel's clearance above the ground.
struct TorqueLimits {
    float lo, hi;
};
TorqueLimits steering_limits(float max_force, float lock, float beta, float rolling_speed,
                             float clearance);

// How close the front wheel is to the lock or to washing out (0 … 1).
float steer_limit_amount_of(float rolling_speed, float lock, float lean, float beta,
                            float steer_angle);

// The input torque of the lean-rate controller (direct_steering < 1).
float lean_rate_input(const BikeTuning& t, float steer, float lean, float roll_rate,
                      float input_torque);

// The landing-damping multiplier one tic on, in the air or rolling.
float landing_damping_in_air(const BikeTuning& t, float current);
float landing_damping_rolling(const BikeTuning& t, float current);

// Torque table: 50 entries at i × 500 rpm.
float table_torque(const float closed[50], const float full[50], float rpm, float throttle);

// The gear after a manual shift by a (−1/+1) from gear, or after an automatic
// shift at wheel rpm; ratios[6] with −1 for a missing gear.
int shifted_gear(const float ratios[6], int gear, int a);
int auto_shifted_gear(const float ratios[6], int gear, float rpm, float down_rpm, float up_rpm);

// One tic of engine and clutch. Inputs are the state and the rear axle; the
// result is the torque on the wheel (T, applied −T to the wheel about its x
// axis) and the new engine speed and angle.
struct DriveInputs {
    float engine_speed, engine_angle;  // ω_e, φ_e
    float axle_angle, axle_rate;       // rear axle hinge angle and rate
    float ratio;                       // overall ratio G
    float clutch;                      // engagement 0 … 1
    float auto_clutch_rpms;
    float stiffness, damping, inertia;
    float engine_torque;               // T_e of this tic
};
struct DriveResult {
    float torque;                      // T = T_c × k²
    float engine_speed, engine_angle;
    float windup;                      // φ_e − axle angle after the clutch slipped
};
DriveResult drive_step(const DriveInputs& in);


// Anti-lock: the brake is released while the tire slips faster than 2 ft/s.
bool antilock_releases(Vec3 slip_velocity);

// Velocity-hold force towards target v* with at most max_force (horizontal).
Vec3 velocity_hold_force(Vec3 v, Vec3 target, float max_force);

// Crash limits: relative speed V (ft/s) and acceleration A (ft/s²).
struct CrashLimits {
    float speed, accel;
};
CrashLimits crash_limits(int tic, int airborne_tic, int landed_tic);

// The lean-back threshold of the dab push at speed s.
float dab_push_threshold(float roll_limit_angle, float max_dab_speed, float s);

// Lean from the frame's up and forward points (world) and position.
float lean_from_points(Vec3 position, Vec3 up_point, Vec3 forward_point);

// --- Body helpers and pieces of the per-tic update (ride_chassis.cpp); the
// point and velocity helpers are physics_local.h's.
Vec3 ride_to_world(dBodyID b, Vec3 v);    // body axes to world
Vec3 ride_from_world(dBodyID b, Vec3 v);  // world to body axes
void ride_add_torque(dBodyID b, Vec3 t);
float ground_height_at(float x, float z);  // 0 without a ground
void apply_steering_damping(Bike& bike);
