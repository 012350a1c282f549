// The physics world, building and placing bikes.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "physics/physics_local.h"

namespace {

PhysicsState g_state;
BikeGraphicsHooks g_graphics;
int g_live_bikes = 0;  // bikes whose bodies live in the world

dReal ode(float v) { return static_cast<dReal>(v); }

void set_position(dBodyID b, Vec3 p) { dBodySetPosition(b, ode(p.x), ode(p.y), ode(p.z)); }

void clear_motion(dBodyID b) {
    dBodySetLinearVel(b, 0, 0, 0);
    dBodySetAngularVel(b, 0, 0, 0);
    dBodySetForce(b, 0, 0, 0);
    dBodySetTorque(b, 0, 0, 0);
}

Vec3 spec_position(const BikeSpec& s, int body) {
    switch (body) {
    case FRAME: return s.frame_position;
    case FRONT_WHEEL: return s.front_wheel.position;
    case REAR_WHEEL: return s.rear_wheel.position;
    case FORK_UPPER: return s.fork_upper_position;
    case FORK_LOWER: return s.fork_lower_position;
    case SWINGARM: return s.swingarm_position;
    default: return s.rider_position;
    }
}

// Hub sphere plus 16 ring spheres, each added on its own (not a thin ring).
void wheel_mass(const WheelSpec& w, dMass& m) {
    dMassSetSphereTotal(&m, ode(w.hub_mass), ode(w.hub_radius));
    for (int k = 0; k < 16; k++) {
        double a = k * M_PI / 8;
        dMass s;
        dMassSetSphereTotal(&s, ode(w.ring_mass / 16), ode(w.ring_sphere_radius));
        dMassTranslate(&s, 0, w.ring_radius * std::cos(a), w.ring_radius * std::sin(a));
        dMassAdd(&m, &s);
    }
}

void rotate_mass_about_x(dMass& m, double angle) {
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, angle);
    dMassRotate(&m, r);
}

// Two parts placed at x = ±spacing/2, summed.
void mirrored_pair(const dMass& one, double spacing, dMass& out) {
    dMass a = one, b = one;
    dMassTranslate(&a, spacing / 2, 0, 0);
    dMassTranslate(&b, -spacing / 2, 0, 0);
    out = a;
    dMassAdd(&out, &b);
}

void fork_mass(const BikeSpec& s, dMass& m) {
    dMass tube;
    dMassSetCylinderTotal(&tube, ode(s.fork_mass / 2), 2, ode(s.fork_tube_spacing / 8),
                          ode(s.fork_tube_length * 2 / 3));
    mirrored_pair(tube, s.fork_tube_spacing, m);
    double dz = s.fork_lower_position.z - s.fork_upper_position.z;
    double dy = s.fork_lower_position.y - s.fork_upper_position.y;
    rotate_mass_about_x(m, std::atan(dz / dy));
}

void swingarm_mass(const BikeSpec& s, dMass& m) {
    Vec3 arm = s.rear_wheel.position - s.swingarm_pivot;
    double edge = s.frame_size.x / 4;
    dMass box;
    dMassSetBoxTotal(&box, ode(s.swingarm_mass), edge, edge, length(arm));
    mirrored_pair(box, s.frame_size.x, m);
    double dy = s.rear_wheel.position.y - s.swingarm_pivot.y;
    double dz = s.rear_wheel.position.z - s.swingarm_pivot.z;
    rotate_mass_about_x(m, -std::atan(dy / dz));
}

void set_body_masses(Bike& bike, const BikeSpec& s) {
    dMass m;
    dMassSetBoxTotal(&m, ode(s.frame_mass + s.rider_mass * 2 / 3), ode(s.frame_size.x),
                     ode(s.frame_size.y), ode(s.frame_size.z));
    dBodySetMass(bike.bodies[FRAME], &m);
    dMassSetSphereTotal(&m, ode(s.rider_mass / 3), 1);
    dBodySetMass(bike.bodies[RIDER], &m);
    wheel_mass(s.front_wheel, m);
    dBodySetMass(bike.bodies[FRONT_WHEEL], &m);
    wheel_mass(s.rear_wheel, m);
    dBodySetMass(bike.bodies[REAR_WHEEL], &m);
    fork_mass(s, m);
    dBodySetMass(bike.bodies[FORK_UPPER], &m);
    dBodySetMass(bike.bodies[FORK_LOWER], &m);
    swingarm_mass(s, m);
    dBodySetMass(bike.bodies[SWINGARM], &m);
}

dJointID hinge(dBodyID a, dBodyID b, Vec3 anchor, Vec3 axis) {
    dJointID j = dJointCreateHinge(g_state.world, nullptr);
    dJointAttach(j, a, b);
    dJointSetHingeAnchor(j, anchor.x, anchor.y, anchor.z);
    dJointSetHingeAxis(j, axis.x, axis.y, axis.z);
    return j;
}

// Sets both stops; the high stop first would be refused while above the low.
void hinge_stops(dJointID j, double lo, double hi) {
    dJointSetHingeParam(j, dParamLoStop, lo);
    dJointSetHingeParam(j, dParamHiStop, hi);
}

void create_joints(Bike& bike, const BikeSpec& s) {
    dBodyID* b = bike.bodies;
    Vec3 fork_axis = s.fork_upper_position - s.fork_lower_position;
    bike.joints[FRONT_AXLE] = hinge(b[FORK_LOWER], b[FRONT_WHEEL], s.front_wheel.position, {1, 0, 0});
    bike.joints[REAR_AXLE] = hinge(b[SWINGARM], b[REAR_WHEEL], s.rear_wheel.position, {1, 0, 0});
    bike.joints[STEERING] = hinge(b[FORK_UPPER], b[FRAME], s.fork_upper_position, fork_axis);
    hinge_stops(bike.joints[STEERING], -M_PI / 4, M_PI / 4);

    dJointID slide = dJointCreateSlider(g_state.world, nullptr);
    dJointAttach(slide, b[FORK_UPPER], b[FORK_LOWER]);
    dJointSetSliderAxis(slide, fork_axis.x, fork_axis.y, fork_axis.z);
    dJointSetSliderParam(slide, dParamBounce, 0);
    dJointSetSliderParam(slide, dParamLoStop, -s.fork_travel);
    dJointSetSliderParam(slide, dParamHiStop, 0);
    bike.joints[FORK_SLIDE] = slide;

    dJointID pivot = hinge(b[SWINGARM], b[FRAME], s.swingarm_pivot, {1, 0, 0});
    dJointSetHingeParam(pivot, dParamBounce, 0);
    hinge_stops(pivot, -s.linkage[LINK_MAX_ANGLE], 0);
    bike.joints[SWINGARM_PIVOT] = pivot;

    // The pivot 50 ft ahead makes turning about axis 2 move the rider almost
    // straight up and down.
    dJointID mount = dJointCreateHinge2(g_state.world, nullptr);
    dJointAttach(mount, b[RIDER], b[FRAME]);
    dJointSetHinge2Anchor(mount, 0, s.rider_position.y, -50);
    const dReal axis1[3] = {0, 1, 1}, axis2[3] = {1, 0, 0};  // axis 1 normalised by the library
    dJointSetHinge2Axes(mount, axis1, axis2);
    dJointSetHinge2Param(mount, dParamLoStop, 0);
    dJointSetHinge2Param(mount, dParamHiStop, 0);
    bike.joints[RIDER_MOUNT] = mount;

    for (int k = 0; k < JOINT_COUNT; k++) dJointSetFeedback(bike.joints[k], &bike.joint_feedback[k]);
}

void load_shapes(Bike& bike, const BikeSpec& s) {
    static const int files[PART_COUNT] = {FILE_FRAME_SHAPE, FILE_FORK_UPPER_SHAPE, FILE_FORK_LOWER_SHAPE,
                                          FILE_SWINGARM_SHAPE, FILE_RIDER_SHAPE, FILE_FRONT_WHEEL_SHAPE,
                                          FILE_REAR_WHEEL_SHAPE};
    for (int p = 0; p < PART_COUNT; p++) {
        const PartShape* shape = find_part_shape(s.part_files[files[p]]);
        bike.shapes[p] = shape ? *shape : PartShape{};
        bike.shapes[p].world_centres.assign(bike.shapes[p].spheres.size(), Vec3{});
    }
}

void init_tire(TireContact& tire, dBodyID wheel, const WheelSpec& w) {
    tire = TireContact{};
    tire.wheel = wheel;
    tire.ring_radius = w.ring_radius;
    tire.tube_radius = w.ring_sphere_radius;
}

}  // namespace

PhysicsState& physics_state() { return g_state; }

bool create_physics_world() {
    if (g_state.world) return true;
    if (!dCheckConfiguration("ODE_double_precision")) {
        con_printf("The physics library is not built in double precision\n");
        return false;
    }
    dInitODE2(0);
    g_state.world = dWorldCreate();
    dWorldSetGravity(g_state.world, 0, -32, 0);
    g_state.contacts = dJointGroupCreate(0);
    return true;
}

void destroy_physics_world() {
    if (!g_state.world) return;
    if (g_live_bikes > 0) {
        // Their bodies would go with the world and leave the bikes dangling.
        con_printf("Physics world kept: %d bikes still exist\n", g_live_bikes);
        return;
    }
    dJointGroupDestroy(g_state.contacts);
    dWorldDestroy(g_state.world);
    dCloseODE();
    g_state = PhysicsState{};
}

dWorldID physics_world() { return g_state.world; }
dJointGroupID contact_group() { return g_state.contacts; }
void set_physics_tic(int tic) { g_state.tic = tic; }
int physics_tic() { return g_state.tic; }
void set_physics_ground(const Terrain* ground) { g_state.ground = ground; }
const Terrain* physics_ground() { return g_state.ground; }
void set_roost_frequency(int frequency) {
    g_state.roost_frequency = frequency < 0 ? 0 : (frequency > 1000 ? 1000 : frequency);
}
void set_bike_graphics_hooks(const BikeGraphicsHooks& hooks) { g_graphics = hooks; }

void step_physics_world() {
    if (!g_state.world) return;
    dWorldStep(g_state.world, TIC_SECONDS);
    dJointGroupEmpty(g_state.contacts);
}

Vec3 body_position(dBodyID body) { return to_vec3(dBodyGetPosition(body)); }
Vec3 body_velocity(dBodyID body) { return to_vec3(dBodyGetLinearVel(body)); }

Vec3 body_point(dBodyID body, Vec3 local) {
    dVector3 w;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, w);
    return to_vec3(w);
}

Vec3 point_velocity(dBodyID body, Vec3 p) {
    dVector3 v;
    dBodyGetPointVel(body, p.x, p.y, p.z, v);
    return to_vec3(v);
}

Bike* create_bike(int slot, const char* name, bool simulated, const char* number_text,
                  const char* rider_skin, const char* head_skin, const char* bike_skin,
                  const char* wheel_skin) {
    if (slot < 0 || slot >= SLOT_COUNT) {
        con_printf("No bike for slot %d (slots are 0 to %d)\n", slot, SLOT_COUNT - 1);
        return nullptr;
    }
    if (!create_physics_world()) return nullptr;
    Bike* bike = new Bike;
    g_live_bikes++;
    bike->spec = find_bike_model(name ? name : "");
    bike->slot = slot;
    bike->simulated = simulated;
    const BikeSpec& s = bike_spec(bike->spec);
    load_shapes(*bike, s);
    if (g_graphics.load) {
        const char* const skins[4] = {rider_skin, head_skin, bike_skin, wheel_skin};
        g_graphics.load(*bike, number_text ? number_text : "", skins);
    }
    for (int k = 0; k < BODY_COUNT; k++) bike->bodies[k] = dBodyCreate(g_state.world);
    dBodySetFiniteRotationMode(bike->bodies[FRONT_WHEEL], 1);
    dBodySetFiniteRotationMode(bike->bodies[REAR_WHEEL], 1);
    for (int k = 0; k < BODY_COUNT; k++) set_position(bike->bodies[k], spec_position(s, k));
    set_body_masses(*bike, s);
    create_joints(*bike, s);
    init_tire(bike->front_tire, bike->bodies[FRONT_WHEEL], s.front_wheel);
    init_tire(bike->rear_tire, bike->bodies[REAR_WHEEL], s.rear_wheel);
    // Call point: the ride code's robot defaults (the local rider's setup is
    // applied afterwards by the caller).
    set_robot_tuning(*bike);
    dMass m;
    bike->total_mass = 0;
    for (int k = 0; k < BODY_COUNT; k++) {
        dBodyGetMass(bike->bodies[k], &m);
        bike->total_mass += static_cast<float>(m.mass);
    }
    reset_bike(*bike);
    return bike;
}

void destroy_bike(Bike* bike) {
    if (!bike) return;
    for (dJointID j : bike->joints)
        if (j) dJointDestroy(j);
    for (dBodyID b : bike->bodies)
        if (b) dBodyDestroy(b);
    if (g_graphics.release) g_graphics.release(*bike);
    delete bike;
    g_live_bikes--;
}

void reseat_rider(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    dBodyID frame = bike.bodies[FRAME], rider = bike.bodies[RIDER];
    Vec3 p = body_point(frame, s.rider_position - s.frame_position);
    set_position(rider, p);
    dBodySetQuaternion(rider, dBodyGetQuaternion(frame));
    // Attaching again makes the joint take the present pose as its reference.
    dJointAttach(bike.joints[RIDER_MOUNT], rider, frame);
}

void reset_bike(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    static const dQuaternion identity = {1, 0, 0, 0};
    for (int k = 0; k < BODY_COUNT; k++) {
        set_position(bike.bodies[k], spec_position(s, k));
        dBodySetQuaternion(bike.bodies[k], identity);
        clear_motion(bike.bodies[k]);
    }
    reseat_rider(bike);
    // Call point: the per-ride state of suspension, engine, controls and
    // crashes starts afresh.
    bike.ride = RideState{};
    bike.front_tire.depth = 0;
    bike.rear_tire.depth = 0;
    bike.last_bike_contact_tic = -1;
    bike.contact_reach_tic = -1;
}

void move_bike(Bike& bike, float dx, float dy, float dz) {
    bike.contact_reach_tic = -1;
    for (dBodyID b : bike.bodies) {
        Vec3 p = body_position(b);
        set_position(b, {p.x + dx, p.y + dy, p.z + dz});
    }
}

void turn_bike(Bike& bike, Vec3 axis, float angle) {
    if (length_squared(axis) == 0) return;
    bike.contact_reach_tic = -1;
    dMatrix3 r;
    dRFromAxisAndAngle(r, axis.x, axis.y, axis.z, angle);
    for (dBodyID b : bike.bodies) {
        const dReal* p = dBodyGetPosition(b);
        dVector3 q;
        dMultiply0_331(q, r, p);
        dBodySetRotation(b, r);
        dBodySetPosition(b, q[0], q[1], q[2]);
    }
}

bool bike_is_finite(const Bike& bike) {
    for (dBodyID body : bike.bodies) {
        const dReal* p = dBodyGetPosition(body);
        const dReal* q = dBodyGetQuaternion(body);
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(p[k])) return false;
        for (int k = 0; k < 4; k++)
            if (!std::isfinite(q[k])) return false;
    }
    return true;
}

void set_activity(Bike& bike, float level) {
    bike.activity = level != level ? 0.0f : clampf(level, 0, 1);
    for (dBodyID b : bike.bodies) {
        if (bike.activity <= 0.25f) {
            dBodyDisable(b);
            dBodySetForce(b, 0, 0, 0);
            dBodySetTorque(b, 0, 0, 0);
        } else {
            dBodyEnable(b);
        }
    }
}
