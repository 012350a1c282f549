// The loaded track and the race on it: reset_track over the real modules
// (files, terrain, physics) and the tic's hooks filled with them. The game
// program and the headless runner both drive a race through this.
//
// Lifetimes: a World lives for the whole run; its LoadedTrack from one track
// load to the next; its GameState (and the bikes in it) for one race.
#pragma once

#include "core/core.h"
#include "terrain/terrain.h"

#include <memory>
#include <string>
#include <vector>

struct PartShape;

// One part of the starting gate as a track object: a plate hinged on the
// ground 3 ft ahead of its gate place, tilted up by fraction × 33.75°.
struct GateObject {
    GatePart part;                       // the gate place and facing (radians)
    std::string model;                   // "@" names as the file gives them
    const PartShape* shape = nullptr;    // in the object's frame; null: no collisions
    std::shared_ptr<PartShape> world;    // the shape in world coordinates at the present tilt
    ObjectBounds bounds;                 // horizontal circle around every tilt (the grid's)
    Vec3 centre;                         // sphere holding the world shape
    float radius = 0;
    float fraction = 1;                  // 1 up, 0 down
    float speed = 0;                     // fraction per second while falling
    int touched_tic = -1;                // last tic a bike touched it
};

// The loaded track: lives from one load to the next.
struct LoadedTrack {
    TrackState state;               // folder, digest, extent, gate places, object grid
    Terrain terrain;
    std::vector<GateObject> gate;   // the colliding track objects (the starting gate)
    int file_loads = 0;             // times the track's files were read this run
};

struct World {
    LoadedTrack track;
    std::unique_ptr<GameState> game;  // the race: replaced by every reset
    std::string selected_track;       // folder chosen in the track menu
    std::vector<int> scratch;         // objects near a bike (reused every tic)
    std::shared_ptr<PartShape> near_spheres;  // an object's spheres near a bike (reused)
};

// Run-wide: the physics world and an empty game state. False when the
// physics library cannot be used.
bool world_start(World& w);
// Bikes, track, then the physics world.
void world_shutdown(World& w);

// The folder of a listed track named by its folder, the folder's last
// component or its display name (case-insensitive); "" when there is none.
std::string find_track_folder(const std::vector<TrackListEntry>& tracks, const std::string& name);

// The reset's hooks for what this module owns: the track files, the terrain,
// the starting gate from "timing_gates", the object grid, creating, placing
// and settling the bikes. The caller may add the rest (status lines, log,
// script, results, demos, sounds, graphics) before calling world_reset.
ResetHooks world_reset_hooks(World& w);
// reset_track over the world; afterwards the physics sees the new race.
void world_reset(World& w, const ResetRequest& req, const ResetHooks& h);

// The tic's hooks for contacts, roost, the world step, the bike inputs and
// update, flying roost and the starting gate. The robot controller, scripts,
// demos and results are the caller's to add.
TicHooks world_tic_hooks(World& w);
// One tic over the world's game state.
void world_tic(World& w, const TicHooks& h);

// The bike in a slot, or null.
Bike* world_bike(const World& w, int slot);
// A slot's bike: its frame's position (ft) and velocity (ft/s), crashes so far.
Vec3 world_frame_position(const World& w, int slot);
Vec3 world_frame_velocity(const World& w, int slot);
int world_crash_count(const World& w, int slot);
// Whether a slot's bike touches the ground.
bool world_bike_touches_ground(const World& w, int slot);
// Applies a control vector to a slot's bike as the local controls do.
void world_apply_controls(World& w, int slot, ControlState& st, const ControlVector& c);
// RIPEMD-160 over every bike's bodies (slot order; each body's position and
// orientation quaternion as the physics holds them).
Digest160 world_body_hash(const World& w);
// False when any body's position or orientation is not a finite number.
bool world_bodies_finite(const World& w);
