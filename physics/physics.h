// Physics: the world, the bike and rider bodies, contacts, the catalogue, and
// (in ride.h) the tuning, suspension, drivetrain and rider controls.
//
// Units everywhere in this module: feet, slugs, seconds, pounds-force,
// pound-force-feet, radians. World +y is up, gravity (0, -32, 0). In a bike's
// own frame +y is up, forward is -z and +x points to the rider's right.
#pragma once

#include <ode/ode.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/common.h"
#include "physics/ride.h"

struct Terrain;
struct RoostSlot;

// ---------------------------------------------------------------------------
// The bike model record. Every position is in bike coordinates.

struct WheelSpec {
    Vec3 position;
    float ring_radius = 0;         // torus major radius R
    float ring_sphere_radius = 0;  // torus minor radius r
    float ring_mass = 0;
    float hub_radius = 0;
    float hub_mass = 0;
};

// Damping quadruples of fork and shock, in this order.
enum DampingIndex {
    DAMP_FAST_COMPRESSION = 0,  // lbf per ft/s
    DAMP_SLOW_COMPRESSION = 1,  // lbf
    DAMP_FAST_REBOUND = 2,      // lbf per ft/s
    DAMP_SLOW_REBOUND = 3,      // lbf
};

// Linkage curve of the rear shock, in this order.
enum LinkageIndex {
    LINK_TRAVEL_AT_KNOT = 0,
    LINK_TRAVEL_AT_FULL = 1,
    LINK_MAX_ANGLE = 2,  // maximum swingarm angle, rad
    LINK_KNOT = 3,       // knot position, fraction of the angle
    LINK_SLOPE_START = 4,
    LINK_SLOPE_KNOT = 5,
    LINK_SLOPE_FULL = 6,
};

// Names in `part_files`, in this order ("@" data-file names).
enum PartFile {
    FILE_FRAME_MODEL, FILE_FRAME_SHAPE, FILE_BIKE_TEXTURE,
    FILE_FORK_UPPER_MODEL, FILE_FORK_UPPER_SHAPE,
    FILE_FORK_LOWER_MODEL, FILE_FORK_LOWER_SHAPE,
    FILE_SWINGARM_MODEL, FILE_SWINGARM_SHAPE,
    FILE_FRONT_WHEEL_MODEL, FILE_FRONT_WHEEL_SHAPE,
    FILE_REAR_WHEEL_MODEL, FILE_REAR_WHEEL_SHAPE,
    FILE_WHEEL_TEXTURE,
    FILE_RIDER_HEAD_MODEL, FILE_RIDER_HEAD_TEXTURE,
    FILE_RIDER_BODY_MODEL, FILE_RIDER_BODY_FP_MODEL, FILE_RIDER_SHAPE,
    FILE_RIDER_BODY_TEXTURE,
    FILE_SIDE_PLATES_MODEL, FILE_FRONT_PLATE_MODEL, FILE_RIDER_PLATE_MODEL,
    PART_FILE_COUNT
};

inline constexpr int TORQUE_ENTRIES = 50;  // entry i at i × 500 rpm
inline constexpr int GEAR_SLOTS = 6;       // ratio -1 marks a gear the model lacks
inline constexpr int POSE_FLOATS = 58;
// Offsets into `rider_pose`: vec3 points (left then right where paired) and
// four limb lengths, then nine vec3 pose targets of the rider drawing.
enum PoseIndex {
    POSE_ORIGIN = 0,
    POSE_LEFT_HAND = 3, POSE_RIGHT_HAND = 6,    // rider body frame
    POSE_LEFT_HIP = 9, POSE_RIGHT_HIP = 12,     // rider body frame
    POSE_LEFT_GRIP = 15, POSE_RIGHT_GRIP = 18,  // upper fork frame
    POSE_LEFT_PEG = 21, POSE_RIGHT_PEG = 24,    // frame's frame
    POSE_UPPER_ARM = 27, POSE_FOREARM = 28, POSE_THIGH = 29, POSE_SHIN = 30,
    POSE_TARGETS = 31,
};

struct BikeSpec {
    char name[16] = {};
    char engine_class[16] = {};  // "125", "250", "250f", "450f" or "50"
    WheelSpec front_wheel, rear_wheel;
    Vec3 frame_position;
    float frame_mass = 0;  // without the rider
    Vec3 frame_size;       // box edges; x also sets the swingarm's arms
    Vec3 fork_upper_position;  // also the steering-head anchor
    Vec3 swingarm_position;
    Vec3 swingarm_pivot;
    Vec3 fork_lower_position;
    float fork_tube_spacing = 0;
    float fork_tube_length = 0;
    float fork_mass = 0;  // each of the two fork bodies
    float fork_spring_rate[2] = {};  // minimum, maximum (lbf/ft)
    float fork_preload[2] = {};      // ft
    float fork_air_gap[2] = {};      // ft
    float fork_damping[4] = {};      // DampingIndex
    float fork_travel = 0;           // ft
    float swingarm_mass = 0;         // each of the two arms
    float shock_spring_rate[2] = {};
    float shock_preload[2] = {};
    float shock_damping[4] = {};
    float linkage[7] = {};           // LinkageIndex
    float primary_ratio = 0;
    float front_sprocket = 0, rear_sprocket = 0;  // teeth
    float gear_ratios[GEAR_SLOTS] = {};
    float engine_inertia = 0;        // slug ft²
    float drivetrain_stiffness = 0;  // lbf ft per rad
    float drivetrain_damping = 0;    // lbf ft per rad/s
    float closed_torque[TORQUE_ENTRIES] = {};  // lbf ft
    float full_torque[TORQUE_ENTRIES] = {};
    float downshift_rpm = 0, upshift_rpm = 0, max_rpm = 0;
    Vec3 rider_travel_direction;
    Vec3 rider_position;
    float rider_travel_range[2] = {};
    float rider_mass = 0;  // whole rider
    char part_files[PART_FILE_COUNT][64] = {};
    float rider_pose[POSE_FLOATS] = {};
};

// ---------------------------------------------------------------------------
// The catalogue of built-in models (a fixed table for the whole run).

inline constexpr int BIKE_MODEL_COUNT = 80;

const BikeSpec& bike_spec(int index);  // index clamped to the table
const char* model_name(int index);
const char* model_class(int index);
// Exact name, else the first "125" model for a name holding "125", else the
// first "250f" model, with a console notice. Never fails.
int find_bike_model(const char* name);
// Stored short names ("crf250" …) become the model their callers mean;
// any other name is returned unchanged.
const char* map_legacy_bike_name(const char* name);
const char* bike_menu_name(int position);  // 0 … BIKE_MODEL_COUNT-1, display order

// ---------------------------------------------------------------------------
// Part collision shapes (".shp"): spheres in a body's frame.

struct ShapeSphere {
    Vec3 centre;
    float radius = 0;
    float friction = 0;
    float stiffness = 0;  // lbf/ft
    float damping = 0;    // lbf per ft/s
};

struct PartShape {
    std::vector<ShapeSphere> spheres;
    float bounding_radius = 0;  // largest |centre| + radius
    // Per-bike copies only: world centres, refreshed before each test.
    std::vector<Vec3> world_centres;
    // The body and pose (position, rotation rows) the world centres were
    // computed from; a refresh with the same ones reuses them.
    dBodyID centres_body = nullptr;
    dReal centres_pose[15] = {};
};

inline constexpr int MAX_SHAPE_SPHERES = 4096;

// Parses a shape text; false (and `shape` emptied) on any scan failure or a
// count outside 0 … MAX_SHAPE_SPHERES.
bool parse_part_shape(const char* text, size_t size, PartShape& shape);
// A shape by data-file name, read once per name for the run; null when the
// file is missing or bad (the part then has no collisions).
const PartShape* find_part_shape(const char* name);
void clear_part_shape_cache();

// ---------------------------------------------------------------------------
// The bike.

enum BikeBody {
    FRAME = 0, FRONT_WHEEL = 1, REAR_WHEEL = 2, FORK_UPPER = 3,
    FORK_LOWER = 4, SWINGARM = 5, RIDER = 6, BODY_COUNT = 7
};
enum BikeJoint {
    FRONT_AXLE = 0, REAR_AXLE = 1, STEERING = 2, FORK_SLIDE = 3,
    SWINGARM_PIVOT = 4, RIDER_MOUNT = 5, JOINT_COUNT = 6
};
// Order of `Bike::shapes`, and bits of collide_bike_with_object's result
// are 1 << part_bit(...) — see PART_BIT_*.
enum BikePart {
    PART_FRAME = 0, PART_FORK_UPPER = 1, PART_FORK_LOWER = 2, PART_SWINGARM = 3,
    PART_RIDER = 4, PART_FRONT_WHEEL = 5, PART_REAR_WHEEL = 6, PART_COUNT = 7
};
enum PartBit {
    PART_BIT_FRAME = 1, PART_BIT_FRONT_WHEEL = 2, PART_BIT_REAR_WHEEL = 4,
    PART_BIT_FORK_UPPER = 8, PART_BIT_FORK_LOWER = 16, PART_BIT_SWINGARM = 32,
    PART_BIT_RIDER = 64
};

// A wheel's ground contact, rewritten every tic; depth 0 means no contact.
struct TireContact {
    dBodyID wheel = nullptr;
    Vec3 axle{1, 0, 0};  // in the wheel's frame
    float ring_radius = 0;
    float tube_radius = 0;
    Vec3 point;          // world
    Vec3 slip_velocity;  // wheel's material velocity at the point
    Vec3 normal{0, 1, 0};
    float depth = 0;
    dJointFeedback feedback{};  // valid after the step
};

struct Bike {
    int spec = 0;  // catalogue index
    int slot = 0;
    bool simulated = true;  // contacts computed here (local and robot bikes)
    dBodyID bodies[BODY_COUNT] = {};
    dJointID joints[JOINT_COUNT] = {};
    dJointFeedback joint_feedback[JOINT_COUNT] = {};
    PartShape shapes[PART_COUNT];  // empty: the part has no collisions
    TireContact front_tire, rear_tire;
    float total_mass = 0;
    float activity = 1;  // 0 … 1; at 1/4 or below the bodies are disabled
    int last_bike_contact_tic = -1;
    // Radius around the frame holding every part, measured once per tic for
    // the bike–bike tests (tic -1: not measured).
    float contact_reach = 0;
    int contact_reach_tic = -1;
    BikeTuning tuning;
    RideState ride;
    void* graphics = nullptr;  // owned by the graphics hooks
};

// Creating a bike starts graphics through these hooks; both are empty when
// headless. `load` gets the number text and the four optional skin names
// (rider, head, bike, wheel; null for the model's own).
struct BikeGraphicsHooks {
    void (*load)(Bike& bike, const char* number_text, const char* const skins[4]) = nullptr;
    void (*release)(Bike& bike) = nullptr;
};
void set_bike_graphics_hooks(const BikeGraphicsHooks& hooks);

// ---------------------------------------------------------------------------
// The world (one per run).

// Creates the world and the contact group; false if the physics library was
// not built in double precision. Idempotent.
bool create_physics_world();
// Refused (with a message) while bikes exist: destroy them first.
void destroy_physics_world();
dWorldID physics_world();
dJointGroupID contact_group();
// The game's tic counter, read by the bike-contact and roost rules.
void set_physics_tic(int tic);
int physics_tic();
// The ground the contacts use (null: no ground).
void set_physics_ground(const Terrain* ground);
const Terrain* physics_ground();
// Roost particles per tic (0 … 1000; the configured roost density).
void set_roost_frequency(int frequency);
// One world step of 1/128 s, then the contact group is emptied.
void step_physics_world();

// Null when slot is not 0 … 159; an unknown model falls back (see
// find_bike_model). Skins may be null.
Bike* create_bike(int slot, const char* model_name, bool simulated,
                  const char* number_text = nullptr, const char* rider_skin = nullptr,
                  const char* head_skin = nullptr, const char* bike_skin = nullptr,
                  const char* wheel_skin = nullptr);
void destroy_bike(Bike* bike);
// Every body's position and orientation is a finite number.
bool bike_is_finite(const Bike& bike);
void reset_bike(Bike& bike);
void move_bike(Bike& bike, float dx, float dy, float dz);
void turn_bike(Bike& bike, Vec3 axis, float angle);  // about the world origin
void set_activity(Bike& bike, float level);
// Lifts a placed bike clear of the ground: up 0.125, then 0.25 at a time
// while it touches, then down 0.125. Gives up (false) after 1024 ft.
bool lift_bike_clear_of_ground(Bike& bike);
// Puts the rider body back at its seat on the frame and re-attaches the mount.
void reseat_rider(Bike& bike);

Vec3 body_position(dBodyID body);
Vec3 body_velocity(dBodyID body);

// ---------------------------------------------------------------------------
// Contacts. Every joint made here goes into the contact group and acts in the
// next step.

// Ground contacts of one simulated bike (tires and part spheres); true if
// anything touched.
bool collide_bike_with_ground(Bike& bike);
// Placement test: would the bike touch the ground? Makes no joints.
bool bike_collides(Bike& bike);
// Contacts between two bikes. mode 0: both simulated here; 1: `b` follows
// received states (only `a` responds).
bool collide_bikes(Bike& a, Bike& b, int mode);
// Contact joints between two parts of one bike (BikePart), e.g. a crashed
// rider against the frame; true if they touched.
bool collide_bike_parts(Bike& bike, int part_a, int part_b);
// A track object's spheres against the bike; returns PartBit flags.
// `object_body` null for a static object.
int collide_bike_with_object(Bike& bike, const PartShape& object_shape, dBodyID object_body);
// After the step, for bikes not driven from recorded states: hand both tire
// contacts to ground deformation.
void erode_from_tires(Bike& bike);

// Friction coefficient for a slip velocity from a tile's table.
float tire_friction(const float coefficient[8], const float speed[8], int slip_function,
                    Vec3 slip_velocity, Vec3 slip_without_spin);
// Soft-contact constants from a spring and a damper, for one tic.
void spring_to_erp_cfm(double kp, double kd, double& erp, double& cfm);

// ---------------------------------------------------------------------------
// Roost particles (a pool of 2000 per track; the renderer draws the active ones).

inline constexpr int ROOST_PARTICLES = 2000;

struct RoostParticle {
    Vec3 position, velocity;
    float size = 0;
    float drag = 0, grow = 0;
    int texture = 0;
    uint8_t colour[4] = {};
    int8_t fade[4] = {};
    int next = -1;  // next in the free or active list
};

void reset_roost_particles();  // every particle back to the free list
// The generator roost draws from: the one seeded at the track reset, so a
// replay of the same seed throws the same roost. Null: a fixed-seed one of
// the pool's own. The caller keeps it alive until it hands over another.
void set_roost_random(Mt19937* random);
// Emits roost from both wheels; refreshes the tire contacts of a bike that is
// not simulated here first.
void emit_roost(Bike& bike);
// Takes a free particle; silently dropped when none is free.
void spawn_particle(Vec3 position, Vec3 velocity, const RoostSlot& slot);
void fly_roost();  // one tic of flight for every active particle
int roost_active_first();  // index of the newest active particle, -1 if none
const RoostParticle& roost_particle(int index);
int roost_active_count();

// ---------------------------------------------------------------------------
// The physics part of one tic, in order, for tests, the benchmark and the
// headless runner: ground contacts of simulated bikes, bike–bike contacts of
// every pair, roost emission, the world step, erosion, update_bike.
void run_physics_tic(Bike* const* bikes, int count, const RideClock& clock);
