// Bike tuning, suspension and steering assists, engine and drivetrain, rider
// controls and riding aids, and rider setup files. Included by physics.h;
// other modules include physics.h only.
#pragma once

#include <string>

#include "common/common.h"

struct Bike;
struct BikeSpec;

// ---------------------------------------------------------------------------
// Per-bike settings. Every member is kept inside its range by its setter; a
// new bike gets the robot defaults (`set_robot_tuning`), the local rider's
// setup replaces them (`apply_setup`). Lengths ft, speeds ft/s, angles rad,
// forces lbf, torques lbf·ft.
struct BikeTuning {
    // Fork and shock: damping coefficients (lbf per ft/s), low-speed terms
    // (lbf), spring rates (lbf/ft for the fork, lbf per unit of shock travel),
    // preloads (ft) and the fork's air gap (ft).
    float fork_compression = 0, fork_slow_compression = 0;
    float fork_rebound = 0, fork_slow_rebound = 0;
    float fork_spring_rate = 0, fork_preload = 0, fork_air_gap = 0;
    float shock_compression = 0, shock_slow_compression = 0;
    float shock_rebound = 0, shock_slow_rebound = 0;
    float shock_spring_rate = 0, shock_preload = 0;

    // Chassis assists (steering torque).
    float leveling = 20;              // 0 … 100, lean-restoring gain
    float roll_damping = 60;          // 0 … 100
    float roll_limit_angle = 0.78539816f;  // 0 … π
    float roll_limit_factor = 10;     // 0 … 64
    float steering_damping = 45;      // 0 … 100
    float steering_strength = 75;     // 0 … 100
    float max_steering_force = 400;   // 0 … 1000
    float direct_steering = 1;        // 0 … 1 (1 = input is a torque)
    float slow_damping_speed = 0;     // 0 … 100 ft/s
    float slow_damping_factor = 1;    // 1 … 10
    float land_damping_rampup = 0.0625f;  // 0 … 0.5 s
    float land_damping_falloff = 0.25f;   // 0 … 0.5 s
    float land_damping_factor = 2;    // 1 … 3
    float full_lock_speed = 10;       // 1 … 100 ft/s
    float restricted_lock_speed = 50; // 1 … 100 ft/s
    float restricted_lock = 0.08726646f;  // 0 … π/4

    // Drivetrain and brakes.
    float final_drive = 4;            // rear teeth / front teeth, after adjustment
    float auto_clutch_rpms = 5000;    // 0 … 5000
    float brake_torque = 250;         // front, 0 … 500
    float rear_brake_torque = 250;    // 0 … 500

    // Riding aids.
    bool wheelie_prevention = false;
    bool stoppie_prevention = true;
    bool front_antilock = true;
    bool rear_antilock = false;
    bool auto_shift = false;
    bool auto_dab = false;
    bool auto_align = true;
    bool air_steering = true;         // always set: the input torque also acts in the air
    bool arcade = false;
    float max_dab_speed = 30;         // 7 … 100 ft/s
    float rider_yspring = 0.5f, rider_ydamping = 0.75f;  // 0 … 1
    float rider_zspring = 0.5f, rider_zdamping = 0.75f;  // 0 … 1
    float rider_mass_distribution = 1.0f / 3.0f;         // 0.33 … 0.5 (1/3 when built)
};

// One foot of the rider drawing (world position and velocity).
struct RideFoot {
    Vec3 position, velocity;
    bool placed = false;  // held by a dab rather than falling freely
};

// Per-bike state of the engine, drivetrain, inputs and rider aids. A reset
// builds a fresh record.
struct RideState {
    // Control inputs as the rider set them (clamped by the setters).
    float steer = 0, throttle = 0, front_brake = 0, rear_brake = 0;
    float clutch = 0, sit_dab = 0, back_up = 0, lean = 0;
    // Values used by this tic's physics: the aids may override them for one
    // tic; `update_bike` restores them from the inputs at its end.
    float front_brake_now = 0, rear_brake_now = 0, sit_dab_now = 0;

    // Steering assists.
    float landing_damping = 1;       // roll-damping multiplier, ≥ 1
    float steer_limit_amount = 0;    // 0 … 1, closeness to the lock / wash-out

    // Drivetrain.
    int gear = 0;                    // 0 = first gear; no neutral
    int last_shift_input = 0;
    float engine_speed = 0;          // rad/s of the crankshaft
    float engine_angle = 0;          // drivetrain input angle at the wheel, −π … π

    // Crashes and aids.
    int crash_counter = 0;           // tics; 0 = riding
    int crash_count = 0;
    float bump_timer = 0;            // tics; raised by front-end hits
    int airborne_tic = 0, landed_tic = 0;
    int rider_down = 0;              // 0 none, 1 new, 2 seen by the auto pilot
    Vec3 rider_velocity_history[4];  // indexed by tic counter mod 4
    float dab_amount = 0;            // foot-down animation level 0 … 1
    RideFoot feet[2];
};

// What `update_bike` needs from the race around the bike.
struct RideClock {
    int tic = 0;                     // the game's tic counter
    int gate_drop_tic = 0;           // tic at which the gate dropped
    bool dab_realign_allowed = false;  // the track has gates, one passed, not finished
    bool has_realign_target = false;   // a target for realigning (robot path, line, checkpoint)
    float realign_target_x = 0, realign_target_z = 0;
};

inline constexpr double RPM_PER_RAD_S = 9.549296585513721;

// --- Tuning setters (each clamps to its range) ---------------------------
void set_robot_tuning(Bike& bike);  // robot defaults from the bike's model
void set_fork_tuning(Bike& bike, float compression_multiplier, float low_speed_compression,
                     float rebound_multiplier, float low_speed_rebound, float spring_fraction,
                     float preload_fraction, float air_gap_fraction);
void set_shock_tuning(Bike& bike, float compression_multiplier, float low_speed_compression,
                      float rebound_multiplier, float low_speed_rebound, float spring_fraction,
                      float preload_fraction);
void set_leveling(Bike& bike, float v);
void set_roll_damping(Bike& bike, float v);
void set_roll_limit_angle(Bike& bike, float radians);
void set_roll_limit_factor(Bike& bike, float v);
void set_steering_damping(Bike& bike, float v);
void set_steering_strength(Bike& bike, float v);
void set_max_steering_force(Bike& bike, float v);
void set_direct_steering(Bike& bike, float v);
void set_slow_damping_speed(Bike& bike, float v);
void set_slow_damping_factor(Bike& bike, float v);
void set_land_damping_rampup(Bike& bike, float seconds);
void set_land_damping_falloff(Bike& bike, float seconds);
void set_land_damping_factor(Bike& bike, float v);
void set_full_lock_speed(Bike& bike, float v);
void set_restricted_lock_speed(Bike& bike, float v);
void set_restricted_lock(Bike& bike, float radians);
void set_auto_clutch_rpms(Bike& bike, float rpm);
void set_brake_torque(Bike& bike, float v);
void set_rear_brake_torque(Bike& bike, float v);
void set_final_drive(Bike& bike, float front_adjustment, float rear_adjustment);
void set_max_dab_speed(Bike& bike, float ft_per_s);
void set_arcade(Bike& bike, bool on);
void set_rider_springs(Bike& bike, float yspring, float zspring);
void set_rider_dampings(Bike& bike, float ydamping, float zdamping);
void set_rider_mass_distribution(Bike& bike, float d);

enum RideFlag {
    FLAG_WHEELIE_PREVENTION,
    FLAG_STOPPIE_PREVENTION,
    FLAG_FRONT_ANTILOCK,
    FLAG_REAR_ANTILOCK,
    FLAG_AUTO_SHIFT,
    FLAG_AUTO_DAB,
    FLAG_AUTO_ALIGN,
};
void set_ride_flag(Bike& bike, RideFlag flag, bool on);

// --- Control inputs (each clamps to its range) -----------------------------
void set_steer(Bike& bike, float v);        // −1 … 1, left +1
void set_throttle(Bike& bike, float v);     // 0 … 1
void set_front_brake(Bike& bike, float v);  // 0 … 1
void set_rear_brake(Bike& bike, float v);   // 0 … 1
void set_clutch(Bike& bike, float v);       // 0 … 1, 1 = engaged
void set_sit_dab(Bike& bike, float v);      // 0 … 1
void set_back_up(Bike& bike, float v);      // 0 … 1
void set_lean(Bike& bike, float v);         // −1 … 1, −1 = forward
void shift(Bike& bike, int input);          // −1, 0, +1 each tic; edge-triggered
void set_gear(Bike& bike, int gear);        // 0 = first; a missing gear falls back to the next lower

// --- Per-tic update ---------------------------------------------------------
// The whole per-tic bike update, after the world step. Its forces and one-step
// joints act during the next step.
void update_bike(Bike& bike, const RideClock& clock);
void update_suspension(Bike& bike);
void update_steering(Bike& bike);
void update_drivetrain(Bike& bike, int tic);
void start_crash(Bike& bike);
bool rider_crashed(const Bike& bike);
float lean_angle(const Bike& bike);  // frame lean, positive leaning left
float engine_torque(const Bike& bike);  // table torque now, lbf·ft
float engine_rpm(const Bike& bike);
// Crash delays in tics (0 … 460800) indexed by min(crash count, 15); a race
// server may set them, otherwise all 0.
void set_crash_delays(const int delays[16]);

// --- Rider setup --------------------------------------------------------------
// The local rider's setup values: one set for the whole run, changed by the
// menus, "readsetup" and the configuration file. Keys, kinds, defaults and
// ranges are a fixed table; numbers read from files are clamped.
enum SetupKind { SETUP_NUMBER, SETUP_CHOICE, SETUP_TEXT };
struct SetupKey {
    const char* key;
    const char* label;
    SetupKind kind;
    double def, min, max, step;     // numbers
    const char* def_text;           // choices and texts
    const char* const* choices;     // null-terminated; null for "bike" (the model list) and texts
    int max_length;                 // texts
};
int setup_key_count();
const SetupKey& setup_key(int i);
int find_setup_key(const char* key);  // −1 when unknown

void reset_rider_setup();               // start-up defaults, then the Stability 100 preset
double setup_number(const char* key);   // a number key's value (0 for other keys)
std::string setup_text(const char* key);  // a choice's text or a text value
int setup_choice(const char* key);      // a choice's index (−1 for other keys)
// Applies one key=value pair as read from a file; false only for an unknown key.
bool read_setup_line(const char* key, const char* value);
void apply_stability_preset(double stability);
std::string write_setup();                // every key=value line, in table order
void read_setup_text(const std::string& text);  // a setup file's text, line by line
// "@setups/" + name; a name that would leave "setups/" is refused.
bool read_setup_file(const char* name);
bool write_setup_file(const char* name);
bool setup_description_changed();         // set by read_setup_file; cleared by reading it
// Skin lists are built by the presentation; without a hook every stored skin
// name is accepted. which: 0 riding gear, 1 helmet, 2 bike graphics, 3 wheels.
using SkinExists = bool (*)(int which, const char* bike_model, const char* skin);
void set_setup_skin_check(SkinExists check);
void apply_setup(Bike& bike);
// Applies only when the frame moves at no more than 0.125 ft/s; real_time is
// the run's real-time clock in seconds (for the "can't keep up" complaint).
bool apply_setup_when_stopped(Bike& bike, double real_time);
void set_arcade_disabled_by_server(bool disabled);

// --- Riding test bench ------------------------------------------------------------
// Headless: one bike on a ground built in memory (flat, or shaped by a height
// function of world x and z), driven by a control vector per tic the way the
// local controls drive it (clutch engagement rising at most 4 per second,
// shifts at ±0.5). The steering value is the bike's own (no reversal). Used by
// tests and benchmarks.
struct Terrain;
using GroundShape = float (*)(float x, float z);
struct RideBench {
    Terrain* ground = nullptr;  // owned
    Bike* bike = nullptr;       // owned
    RideClock clock;
    Vec3 start;                 // where the frame started (world)
};
// The bike stands at the start point facing −z, `drop` ft above its resting
// height; the ground is 4096 ft square and the start 200 ft from its +z edge.
bool start_ride_bench(RideBench& bench, const char* model, GroundShape shape = nullptr,
                      float drop = 0);
void ride_bench_tic(RideBench& bench, const ControlVector& controls);
void stop_ride_bench(RideBench& bench);
Vec3 ride_bench_frame_position(const RideBench& bench);
float ride_bench_speed(const RideBench& bench);  // frame speed over the ground, ft/s
