// Ground, bike–bike and track-object contacts, turned into one-step soft
// contact joints or penalty forces.
#include <cmath>

#include "physics/physics_local.h"
#include "terrain/terrain.h"

namespace {

const float EMPTY_FRICTION_SPEED = 1048576.0f;

// Contact stiffness of part spheres against the ground (their own values are
// for bike–bike contacts).
const double PART_GROUND_KP = 2500, PART_GROUND_KD = 250;

// Stand-in sphere for a tire in bike–bike and object contacts.
const float TIRE_FRICTION = 1, TIRE_STIFFNESS = 25000, TIRE_DAMPING = 2500;

// Closer centres than this give no usable normal: reported, no joint.
const float MIN_CONTACT_DISTANCE_SQ = 1.0f / 256;

// Interpolates a table of keys and values as the friction and roll tables do:
// below the first key the first value, between keys linear in `x`, past the
// last non-empty key its value. `key_of` maps a key to the scale of x.
template <class Key, class Value>
float table_lookup(int n, float x, Key key_of, Value value_of, bool (*empty)(float), const float* keys) {
    if (empty(keys[0]) || x < key_of(keys[0])) return value_of(0);
    for (int i = 1; i < n; i++) {
        if (empty(keys[i])) return value_of(i - 1);
        float k1 = key_of(keys[i]);
        if (x < k1) {
            float k0 = key_of(keys[i - 1]);
            float f = k1 > k0 ? clampf((x - k0) / (k1 - k0), 0, 1) : 1;
            return value_of(i - 1) + f * (value_of(i) - value_of(i - 1));
        }
    }
    return value_of(n - 1);
}

bool friction_empty(float k) { return k == EMPTY_FRICTION_SPEED; }
bool roll_empty(float k) { return k == 0; }

Vec3 body_axis_world(dBodyID b, Vec3 local) {
    dVector3 w;
    dBodyVectorToWorld(b, local.x, local.y, local.z, w);
    return to_vec3(w);
}

struct TireGround {
    const SurfaceTile* tile = nullptr;
};

float grip_scale(const Bike& bike) {
    if (!bike.tuning.arcade) return 1;
    // Call point: the ride code's frame lean angle.
    float lean = lean_angle(bike);
    return 1 - 0.375f * clampf(4 * std::fabs(lean) / static_cast<float>(M_PI), 0, 1);
}

// The slip without the wheel's spin about its axle (slip function 2).
Vec3 slip_without_spin(const TireContact& tire, Vec3 axle) {
    Vec3 w = to_vec3(dBodyGetAngularVel(tire.wheel));
    Vec3 w_perp = w - axle * dot(w, axle);
    Vec3 v = body_velocity(tire.wheel);
    return v + cross(w_perp, tire.point - body_position(tire.wheel));
}

void rolling_resistance(const TireContact& tire, const SurfaceTile& tile) {
    Vec3 v = body_velocity(tire.wheel);
    Vec3 t = v - tire.normal * dot(v, tire.normal);
    float w = length(t);
    const float* keys = tile.roll_speed.data();
    float lo = table_lookup(ROLL_RESIST_POINTS, w, [](float k) { return k; },
                            [&](int i) { return tile.roll_low[i]; }, roll_empty, keys);
    float hi = table_lookup(ROLL_RESIST_POINTS, w, [](float k) { return k; },
                            [&](int i) { return tile.roll_high[i]; }, roll_empty, keys);
    if (w > 1) t = t * (1 / w);  // below 1 ft/s the force shrinks with speed
    float resist = lo + std::fmin(tire.depth / tire.tube_radius, 1.0f) * (hi - lo);
    Vec3 f = t * -resist;
    dBodyAddForce(tire.wheel, f.x, f.y, f.z);
}

bool tire_ground(Bike& bike, TireContact& tire, bool make_joints) {
    const Terrain* ground = physics_ground();
    if (!ground) {
        tire.depth = 0;
        return false;
    }
    Vec3 centre = body_position(tire.wheel), axle = wheel_axle_world(tire);
    GroundHit h = torus_ground_contact(*ground, centre, axle, tire.ring_radius, tire.tube_radius, true);
    if (!make_joints) return h.hit;
    if (!h.hit) {
        tire.depth = 0;
        return false;
    }
    tire.point = h.point;
    tire.normal = h.normal;
    tire.depth = h.depth;
    tire.slip_velocity = point_velocity(tire.wheel, h.point);
    const SurfaceTile& tile = terrain_surface_at(*ground, h.point.x, h.point.z);
    float mu = tire_friction(tile.friction_coefficient.data(), tile.friction_speed.data(), tile.slip_function,
                             tire.slip_velocity, slip_without_spin(tire, axle));
    SoftContact c;
    c.position = h.point;
    c.normal = h.normal;
    c.depth = h.depth;
    c.mu = mu * grip_scale(bike);
    tire_stiffness(h.depth, tire.tube_radius, c.kp, c.kd);
    Vec3 dir = cross(h.normal, tire.slip_velocity);
    if (length_squared(dir) >= 1.0f / 1024) c.friction_direction = true, c.fdir1 = normalize(dir);
    else if (length_squared(dir = cross(h.normal, axle)) > 0) c.friction_direction = true, c.fdir1 = normalize(dir);
    dJointID j = make_contact(tire.wheel, nullptr, c);
    dJointSetFeedback(j, &tire.feedback);
    rolling_resistance(tire, tile);
    return true;
}

bool part_touches_down(int part) {
    return part == PART_FORK_UPPER || part == PART_FORK_LOWER || part == PART_SWINGARM || part == PART_RIDER;
}

void mark_rider_down(Bike& bike) {
    if (bike.ride.rider_down == 0) bike.ride.rider_down = 1;
}

// The rider's shape on the ground while upside down and moving starts a crash.
void rider_ground_crash(Bike& bike) {
    dBodyID rider = bike.bodies[RIDER];
    if (body_axis_world(rider, {0, 1, 0}).y >= 0) return;
    if (length(body_velocity(rider)) <= 5) return;
    if (rider_crashed(bike) || bike.ride.bump_timer < 0) return;
    start_crash(bike);  // call point: the ride code's crash
}

// One bound for all of a part's spheres before testing them one by one.
bool part_may_reach_ground(const Terrain& ground, const PartShape& shape) {
    float x0 = INFINITY, x1 = -INFINITY, z0 = INFINITY, z1 = -INFINITY, lowest = INFINITY;
    for (size_t k = 0; k < shape.spheres.size(); k++) {
        Vec3 c = shape.world_centres[k];
        float r = shape.spheres[k].radius;
        if (!std::isfinite(c.x + c.y + c.z + r)) return true;  // left to the sphere tests
        // The same sums the sphere tests make for their cell ranges.
        x0 = std::fmin(x0, c.x - r), x1 = std::fmax(x1, c.x + r);
        z0 = std::fmin(z0, c.z - r), z1 = std::fmax(z1, c.z + r);
        lowest = std::fmin(lowest, c.y - r);
    }
    return ground_may_reach(ground, x0, x1, z0, z1, lowest);
}

bool parts_ground(Bike& bike, bool make_joints) {
    const Terrain* ground = physics_ground();
    if (!ground) return false;
    bool any = false;
    for (int part = PART_FRAME; part <= PART_RIDER; part++) {
        PartShape& shape = bike.shapes[part];
        if (shape.spheres.empty()) continue;
        refresh_shape_centres(bike, part);
        if (!part_may_reach_ground(*ground, shape)) continue;
        bool touched = false;
        for (size_t k = 0; k < shape.spheres.size(); k++) {
            const ShapeSphere& s = shape.spheres[k];
            GroundHit h = sphere_ground_contact(*ground, shape.world_centres[k], s.radius);
            if (!h.hit) continue;
            touched = true;
            if (!make_joints) return true;
            SoftContact c;
            c.position = h.point;
            c.normal = h.normal;
            c.depth = h.depth;
            c.mu = s.friction;
            c.kp = PART_GROUND_KP;
            c.kd = PART_GROUND_KD;
            make_contact(part_body(bike, part), nullptr, c);
        }
        if (!touched) continue;
        any = true;
        if (part_touches_down(part)) mark_rider_down(bike);
        if (part == PART_RIDER) rider_ground_crash(bike);
    }
    return any;
}

// ---------------------------------------------------------------------------
// Bike–bike and object contacts.

struct Ball {
    Vec3 centre;
    float radius, friction, stiffness, damping;
};

struct PairHit {
    bool touched = false;   // overlap, with or without a joint
    bool contact = false;   // a usable contact below
    Vec3 position, normal;  // normal from ball 1 to ball 2
    float depth = 0, mu = 0;
    double kp = 0, kd = 0;
};

PairHit ball_pair(const Ball& a, const Ball& b) {
    PairHit h;
    Vec3 d = b.centre - a.centre;
    float dist2 = length_squared(d);
    float reach = a.radius + b.radius;
    if (!(dist2 < reach * reach)) return h;
    h.touched = true;
    // Coincident or nearly coincident centres give no usable normal.
    if (dist2 < MIN_CONTACT_DISTANCE_SQ) return h;
    float dist = std::sqrt(dist2);
    h.contact = true;
    h.depth = reach - dist;
    h.normal = d * (1 / dist);
    h.position = a.centre + d * ((a.radius - h.depth / 2) / dist);
    h.mu = std::fmin(a.friction, b.friction);
    h.kd = std::fmin(a.damping, b.damping);
    h.kp = std::fmin(std::fmin(a.stiffness, b.stiffness), 2500.0f / h.depth);
    return h;
}

// A tire stands in as a sphere of its tube radius at the circle point nearest p.
Ball tire_ball(const TireContact& tire, Vec3 p) {
    Vec3 c = body_position(tire.wheel), axle = wheel_axle_world(tire);
    Vec3 v = p - c;
    Vec3 radial = v - axle * dot(v, axle);
    float len = length(radial);
    Vec3 q = len > 1e-9f ? c + radial * (tire.ring_radius / len) : c;
    return {q, tire.tube_radius, TIRE_FRICTION, TIRE_STIFFNESS, TIRE_DAMPING};
}

// A bike part in contact tests: spheres, or a tire.
struct Part {
    dBodyID body = nullptr;
    const PartShape* shape = nullptr;  // spheres with world centres
    TireContact* tire = nullptr;
    int bit = 0;
    float bound = 0;
    Vec3 at;  // the body's position (bike parts only)
};

Part bike_part(Bike& bike, int part) {
    static const int bits[PART_COUNT] = {PART_BIT_FRAME, PART_BIT_FORK_UPPER, PART_BIT_FORK_LOWER,
                                         PART_BIT_SWINGARM, PART_BIT_RIDER, PART_BIT_FRONT_WHEEL,
                                         PART_BIT_REAR_WHEEL};
    Part p;
    p.body = part_body(bike, part);
    p.at = body_position(p.body);
    p.bit = bits[part];
    if (part == PART_FRONT_WHEEL || part == PART_REAR_WHEEL) {
        p.tire = part == PART_FRONT_WHEEL ? &bike.front_tire : &bike.rear_tire;
        p.bound = p.tire->ring_radius + p.tire->tube_radius;
        p.shape = &bike.shapes[part];  // spheres used when meeting another tire
        p.bound = std::fmax(p.bound, p.shape->bounding_radius);
    } else {
        p.shape = &bike.shapes[part];
        p.bound = p.shape->bounding_radius;
    }
    return p;
}

Ball sphere_ball(const PartShape& s, size_t k) {
    const ShapeSphere& sp = s.spheres[k];
    return {s.world_centres[k], sp.radius, sp.friction, sp.stiffness, sp.damping};
}

// Mode: 0 contact joints, 1 penalty forces, -1 report only.
struct PairResult {
    bool touched = false;
};

void respond(const PairHit& h, dBodyID body1, dBodyID body2, int mode) {
    if (!h.contact || mode < 0) return;
    if (mode == 0) {
        // Joint body 1 is the second ball's body: the normal points into it.
        SoftContact c;
        c.position = h.position;
        c.normal = h.normal;
        c.depth = h.depth;
        c.mu = h.mu;
        c.kp = h.kp;
        c.kd = h.kd;
        make_contact(body2, body1, c);
        return;
    }
    Vec3 v1 = point_velocity(body1, h.position);
    Vec3 v2 = body2 ? point_velocity(body2, h.position) : Vec3{};
    float approach = dot(v1 - v2, h.normal);
    float f = clampf(static_cast<float>(h.kp * h.depth + h.kd * approach), -1000, 1000);
    Vec3 push = h.normal * f;
    if (body2 && dBodyIsEnabled(body2)) dBodyAddForceAtPos(body2, push.x, push.y, push.z, h.position.x, h.position.y, h.position.z);
    if (body1 && dBodyIsEnabled(body1)) dBodyAddForceAtPos(body1, -push.x, -push.y, -push.z, h.position.x, h.position.y, h.position.z);
}

void store_tire_contact(TireContact& tire, const PairHit& best, Vec3 normal_towards_tire) {
    if (tire.depth > 0 || !best.contact) return;
    tire.point = best.position;
    tire.normal = normal_towards_tire;
    tire.depth = best.depth;
    tire.slip_velocity = point_velocity(tire.wheel, best.position);
}

// Part a against part b. Sphere parts meet sphere parts; a tire meets the
// other part's spheres through its stand-in sphere.
// Rounding allowance for the bound tests below: world centres lie within
// the part's bound of its body up to float error far smaller than this.
const float BOUND_MARGIN = 1.0f / 64;

// Can ball `s` reach anything of part `p` (all within p.bound of its body)?
bool may_reach_part(const Ball& s, const Part& p) {
    float reach = s.radius + p.bound + BOUND_MARGIN;
    return !(length_squared(s.centre - p.at) >= reach * reach);
}

bool part_pair(Part& a, Part& b, int mode) {
    if (a.tire && b.tire) {
        // Tire against tire: the first wheel's shape spheres against the second tire.
        Part spheres_of_a = a;
        spheres_of_a.tire = nullptr;
        return part_pair(spheres_of_a, b, mode);
    }
    if (a.tire) {
        // Keep "a" the sphere side; the normal is flipped back for the tire.
        bool touched = false;
        PairHit best;
        for (size_t k = 0; k < b.shape->spheres.size(); k++) {
            Ball s = sphere_ball(*b.shape, k);
            if (!may_reach_part(s, a)) continue;
            PairHit h = ball_pair(s, tire_ball(*a.tire, s.centre));
            if (!h.touched) continue;
            touched = true;
            respond(h, b.body, a.body, mode);
            if (h.contact && h.depth > best.depth) best = h;
        }
        store_tire_contact(*a.tire, best, best.normal);
        return touched;
    }
    bool touched = false;
    PairHit best;
    for (size_t i = 0; i < a.shape->spheres.size(); i++) {
        Ball s = sphere_ball(*a.shape, i);
        if (!may_reach_part(s, b)) continue;
        if (b.tire) {
            PairHit h = ball_pair(s, tire_ball(*b.tire, s.centre));
            if (!h.touched) continue;
            touched = true;
            respond(h, a.body, b.body, mode);
            if (h.contact && h.depth > best.depth) best = h;
            continue;
        }
        for (size_t k = 0; k < b.shape->spheres.size(); k++) {
            PairHit h = ball_pair(s, sphere_ball(*b.shape, k));
            if (!h.touched) continue;
            touched = true;
            respond(h, a.body, b.body, mode);
        }
    }
    if (b.tire) store_tire_contact(*b.tire, best, best.normal);
    return touched;
}

bool bounds_overlap(const Part& a, const Part& b) {
    float reach = a.bound + b.bound;
    return length_squared(a.at - b.at) < reach * reach;
}

bool is_front_end(int part) { return part == PART_FRONT_WHEEL || part == PART_FORK_LOWER; }

float frame_speed(const Bike& bike) { return length(body_velocity(bike.bodies[FRAME])); }

void raise_timer(Bike& bike, float at_least) {
    if (bike.ride.bump_timer < at_least) bike.ride.bump_timer = at_least;
}

void bump_consequences(Bike& a, Bike& b, bool front_a, bool front_b) {
    if (front_a && front_b) {
        if (frame_speed(a) >= 10) raise_timer(a, 64);
        if (frame_speed(b) >= 10) raise_timer(b, 64);
        return;
    }
    if (front_a == front_b) return;
    Bike& striker = front_a ? a : b;
    Bike& struck = front_a ? b : a;
    if (rider_crashed(struck)) return;
    if (frame_speed(striker) < 5) return;
    if (frame_speed(struck) >= 10) raise_timer(struck, 128);
    if (striker.ride.bump_timer < 0 && striker.ride.bump_timer > -640) striker.ride.bump_timer = -640;
}

// Report-only pairs when the second bike follows received states: our rear
// parts against its front tire and fork.
bool report_only(int part_a, int part_b) {
    bool ours = part_a == PART_REAR_WHEEL || part_a == PART_FRAME || part_a == PART_SWINGARM || part_a == PART_RIDER;
    bool theirs = part_b == PART_FRONT_WHEEL || part_b == PART_FORK_UPPER || part_b == PART_FORK_LOWER;
    return ours && theirs;
}

// A sphere around the frame that holds every part of the bike.
float bike_reach(Bike& bike) {
    if (bike.contact_reach_tic == physics_tic()) return bike.contact_reach;
    Vec3 centre = body_position(bike.bodies[FRAME]);
    float reach = 0;
    for (int p = 0; p < PART_COUNT; p++) {
        Part part = bike_part(bike, p);
        reach = std::fmax(reach, length(body_position(part.body) - centre) + part.bound);
    }
    bike.contact_reach = reach;
    bike.contact_reach_tic = physics_tic();
    return reach;
}

void refresh_all_shapes(Bike& bike) {
    for (int p = 0; p < PART_COUNT; p++)
        if (!bike.shapes[p].spheres.empty()) refresh_shape_centres(bike, p);
}

}  // namespace

void tire_stiffness(float depth, float tube_radius, double& kp, double& kd) {
    double q = std::fmin(depth / tube_radius, 1.0f);
    q = q * q * q;
    kp = 24000 * q + 1000;
    kd = 2300 * q + 200;
}

Vec3 wheel_axle_world(const TireContact& tire) { return body_axis_world(tire.wheel, tire.axle); }

void spring_to_erp_cfm(double kp, double kd, double& erp, double& cfm) {
    double h = TIC_SECONDS;
    double denom = h * kp + kd;
    if (!(denom > 0)) {
        erp = 0;
        cfm = 1e10;  // no spring and no damper: the contact does not push
        return;
    }
    erp = h * kp / denom;
    cfm = 1 / denom;
}

dJointID make_contact(dBodyID a, dBodyID b, const SoftContact& in) {
    dContact c{};
    c.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
    if (in.friction_direction) c.surface.mode |= dContactFDir1;
    c.surface.mu = in.mu > 0 ? in.mu : 0;
    spring_to_erp_cfm(in.kp, in.kd, c.surface.soft_erp, c.surface.soft_cfm);
    c.geom.pos[0] = in.position.x, c.geom.pos[1] = in.position.y, c.geom.pos[2] = in.position.z;
    c.geom.normal[0] = in.normal.x, c.geom.normal[1] = in.normal.y, c.geom.normal[2] = in.normal.z;
    c.geom.depth = in.depth;
    c.fdir1[0] = in.fdir1.x, c.fdir1[1] = in.fdir1.y, c.fdir1[2] = in.fdir1.z;
    dJointID j = dJointCreateContact(physics_world(), contact_group(), &c);
    dJointAttach(j, a, b);
    return j;
}

float tire_friction(const float f[8], const float k[8], int slip_function, Vec3 slip, Vec3 unspun) {
    float speed = length(slip);
    if (slip_function == 1 || slip_function == 2) {
        float d = speed;
        if (slip_function == 2 && speed >= 1.0f / 16) d = clampf(dot(unspun, slip * (1 / speed)), -speed, speed);
        return table_lookup(8, d, [](float key) { return key; }, [&](int i) { return f[i]; }, friction_empty, k);
    }
    return table_lookup(8, speed * speed, [](float key) { return key * key; }, [&](int i) { return f[i]; },
                        friction_empty, k);
}

bool collide_bike_with_ground(Bike& bike) {
    bool front = tire_ground(bike, bike.front_tire, true);
    bool rear = tire_ground(bike, bike.rear_tire, true);
    bool parts = parts_ground(bike, true);
    return front || rear || parts;
}

bool bike_collides(Bike& bike) {
    // The same tests, with no joints and no change to the bike's state.
    TireContact front = bike.front_tire, rear = bike.rear_tire;
    bool hit = tire_ground(bike, front, false) || tire_ground(bike, rear, false) || parts_ground(bike, false);
    return hit;
}

bool lift_bike_clear_of_ground(Bike& bike) {
    move_bike(bike, 0, 0.125f, 0);
    // Bounded: a bike buried under a mountain must not hang the program.
    int steps = 0;
    while (bike_collides(bike)) {
        if (++steps > 4096) {
            con_printf("Bike %d could not be lifted clear of the ground\n", bike.slot);
            move_bike(bike, 0, -0.125f, 0);
            return false;
        }
        move_bike(bike, 0, 0.25f, 0);
    }
    move_bike(bike, 0, -0.125f, 0);
    return true;
}

bool collide_bikes(Bike& a, Bike& b, int mode) {
    if (&a == &b) return false;
    float reach = bike_reach(a) + bike_reach(b);
    if (length_squared(body_position(a.bodies[FRAME]) - body_position(b.bodies[FRAME])) >= reach * reach) return false;
    int tic = physics_tic();
    bool remote = mode == 1;
    // A bike that already met another bike this tic (or one that follows
    // received states) is pushed by forces, not joined by joints.
    int chosen = (remote || a.last_bike_contact_tic == tic || b.last_bike_contact_tic == tic) ? 1 : 0;
    refresh_all_shapes(a);
    refresh_all_shapes(b);
    static const int order[PART_COUNT] = {PART_FRONT_WHEEL, PART_REAR_WHEEL, PART_FRAME, PART_FORK_UPPER,
                                          PART_FORK_LOWER, PART_SWINGARM, PART_RIDER};
    Part parts_b[PART_COUNT];
    for (int k = 0; k < PART_COUNT; k++) parts_b[k] = bike_part(b, order[k]);
    bool touched = false, front_a = false, front_b = false;
    for (int pa : order) {
        Part part_a = bike_part(a, pa);
        if (!part_a.tire && part_a.shape->spheres.empty()) continue;
        for (int k = 0; k < PART_COUNT; k++) {
            int pb = order[k];
            Part& part_b = parts_b[k];
            if (!part_b.tire && part_b.shape->spheres.empty()) continue;
            if (!bounds_overlap(part_a, part_b)) continue;
            int m = remote && report_only(pa, pb) ? -1 : chosen;
            if (!part_pair(part_a, part_b, m)) continue;
            touched = true;
            front_a |= is_front_end(pa);
            front_b |= is_front_end(pb);
        }
    }
    if (!touched) return false;
    a.last_bike_contact_tic = tic;
    b.last_bike_contact_tic = tic;
    bump_consequences(a, b, front_a, front_b);
    return true;
}

int collide_bike_with_object(Bike& bike, const PartShape& object_shape, dBodyID object_body) {
    if (object_shape.spheres.empty()) return 0;
    PartShape obj = object_shape;
    obj.world_centres.resize(obj.spheres.size());
    for (size_t k = 0; k < obj.spheres.size(); k++)
        obj.world_centres[k] = object_body ? body_point(object_body, obj.spheres[k].centre) : obj.spheres[k].centre;
    Part object;
    object.body = object_body;
    object.shape = &obj;
    object.bound = obj.bounding_radius;
    refresh_all_shapes(bike);
    int bits = 0;
    for (int p = 0; p < PART_COUNT; p++) {
        Part part = bike_part(bike, p);
        if (!part.tire && part.shape->spheres.empty()) continue;
        // Objects are tested sphere by sphere (a static object's "position"
        // says nothing about where its spheres are).
        if (part_pair(object, part, 0)) bits |= part.bit;
    }
    if ((bits & PART_BIT_RIDER) && !rider_crashed(bike)) {
        Vec3 v = body_velocity(bike.bodies[RIDER]);
        if (object_body) v = v - body_velocity(object_body);
        if (length(v) > 20) start_crash(bike);  // call point: the ride code's crash
    }
    return bits;
}

bool collide_bike_parts(Bike& bike, int part_a, int part_b) {
    if (part_a < 0 || part_a >= PART_COUNT || part_b < 0 || part_b >= PART_COUNT || part_a == part_b) return false;
    Part a = bike_part(bike, part_a), b = bike_part(bike, part_b);
    if ((!a.tire && a.shape->spheres.empty()) || (!b.tire && b.shape->spheres.empty())) return false;
    if (!a.tire) refresh_shape_centres(bike, part_a);
    if (!b.tire) refresh_shape_centres(bike, part_b);
    if (a.tire && !a.shape->spheres.empty()) refresh_shape_centres(bike, part_a);
    if (!bounds_overlap(a, b)) return false;
    return part_pair(a, b, 0);
}

void erode_from_tires(Bike& bike) {
    // Call point: ground deformation takes each wheel's contact (front first)
    // once the terrain module offers it.
    (void)bike;
}
