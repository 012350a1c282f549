// Internals shared by the physics sources (not for other modules).
#pragma once

#include <cmath>
#include <optional>
#include <string>

#include "physics/physics.h"

inline Vec3 to_vec3(const dReal* v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// World state (one per run).
struct PhysicsState {
    dWorldID world = nullptr;
    dJointGroupID contacts = nullptr;
    int tic = 0;
    int roost_frequency = 1000;
    const Terrain* ground = nullptr;
};
PhysicsState& physics_state();

// The whole text of a data file ("@" name or path); none when it cannot be read.
std::optional<std::string> read_data_text(const char* name);

// World position of a body-frame point, and a body's world point velocity.
Vec3 body_point(dBodyID body, Vec3 local);
Vec3 point_velocity(dBodyID body, Vec3 world_point);

// Refreshes the world centres of a bike part's spheres from its body.
void refresh_shape_centres(Bike& bike, int part);
dBodyID part_body(const Bike& bike, int part);

// A one-step soft contact in the contact group between body a (null: the
// environment) and body b, at `pos` with unit `normal` pointing from b's side
// into a, `depth` > 0. mu < 0 makes it frictionless.
struct SoftContact {
    Vec3 position, normal;
    float depth = 0;
    float mu = 0;
    double kp = 0, kd = 0;
    bool friction_direction = false;
    Vec3 fdir1;
};
dJointID make_contact(dBodyID a, dBodyID b, const SoftContact& c);

// Ground queries used by the contacts (a missing ground acts as no ground).
struct GroundTriangle {
    Vec3 v[3];
    Vec3 normal;  // unit, pointing up
};
// The two triangles of cell (i, j) with clamped vertex indices.
void ground_cell_triangles(const Terrain& t, int i, int j, GroundTriangle out[2]);
// The deepest ground contact of a sphere (centre p, radius rho).
struct GroundHit {
    bool hit = false;
    float depth = 0;
    Vec3 point, normal;
};
GroundHit sphere_ground_contact(const Terrain& t, Vec3 p, float rho);
// Spheres whose extents in x and z span [x0, x1] × [z0, z1] (each sphere's
// centre ± radius) and whose lowest point is at height `lowest`: false only
// when no triangle under them can rise to touch any of them, so their
// sphere tests may be skipped without changing a result.
bool ground_may_reach(const Terrain& t, float x0, float x1, float z0, float z1, float lowest);
void apply_normal_rule(Vec3& normal);

// Tire contacts (A, B, D).
GroundHit torus_ground_contact(const Terrain& t, Vec3 centre, Vec3 axis, float R, float r,
                               bool refine_edges);
GroundHit torus_ground_first(const Terrain& t, Vec3 centre, Vec3 axis, float R, float r);
Vec3 wheel_axle_world(const TireContact& tire);
// Tire spring and damper, progressive with compression up to the tube radius.
void tire_stiffness(float depth, float tube_radius, double& kp, double& kd);
