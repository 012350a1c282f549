// Roost and splash particles thrown up by the wheels, and their flight.
#include <cmath>
#include <random>

#include "physics/physics_local.h"
#include "terrain/terrain.h"

namespace {

// The particle pool (lives from one track load to the next).
struct RoostPool {
    RoostParticle particles[ROOST_PARTICLES];
    int free_first = 0;
    int active_first = -1;
    int active_count = 0;
    // Roost never feeds back into the physics. Its draws come from the
    // reset's generator once the world hands it over; before that (tests,
    // tools) from a generator of the pool's own with a fixed seed.
    Mt19937 own;
    Mt19937* random = nullptr;
};

// The common generator as a standard random bit source.
struct Draw {
    Mt19937& r;
    using result_type = uint32_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return 0xffffffffu; }
    result_type operator()() { return mt_next(r); }
};

RoostPool& pool() {
    static RoostPool* p = [] {
        RoostPool* q = new RoostPool;
        mt_seed(q->own, 12345u);
        for (int i = 0; i < ROOST_PARTICLES; i++) q->particles[i].next = i + 1 < ROOST_PARTICLES ? i + 1 : -1;
        return q;
    }();
    return *p;
}

float uniform(float lo, float hi) {
    std::uniform_real_distribution<float> d(lo, hi);
    RoostPool& p = pool();
    Draw draw{p.random ? *p.random : p.own};
    return d(draw);
}
bool chance(float p) { return uniform(0, 1) < p; }

Vec3 jitter(float randomize) {
    float h = randomize / 2;
    return {uniform(-h, h), uniform(-h, h), uniform(-h, h)};
}

// Per-tic repeat limit from the roost frequency.
int repeat_limit() {
    int f = physics_state().roost_frequency;
    return f / 100 + (chance(static_cast<float>(f % 100) / 100) ? 1 : 0);
}

Vec3 rotate_about(Vec3 v, Vec3 axis, float angle) {
    return quat_rotate(quat_from_axis_angle(axis, angle), v);
}

void splash(const TireContact& tire, const RoostSlot& slot, int m) {
    Vec3 v = body_velocity(tire.wheel);
    Vec3 along = v - tire.normal * dot(v, tire.normal);
    float speed = length(along);
    if (speed <= 0) return;
    Vec3 dirs[2];
    for (int s = 0; s < 2; s++)
        dirs[s] = rotate_about(along * (1 / speed), tire.normal, (s ? -1.0f : 1.0f) * static_cast<float>(M_PI / 4)) *
                  (speed * std::sqrt(0.5f));
    for (int i = 0; i < m; i++) {
        Vec3 d = dirs[(i + physics_tic()) & 1];
        Vec3 p = tire.point + d * static_cast<float>(TIC_SECONDS * i / m);
        spawn_particle(p, (d + jitter(slot.randomize)) * slot.vscale, slot);
    }
}

float spread_angle(const TireContact& tire, const RoostSlot& slot, bool front) {
    Vec3 w = to_vec3(dBodyGetAngularVel(tire.wheel));
    if (dot(w, tire.slip_velocity) >= 0) return static_cast<float>(M_PI / 64);
    float lo = slot.slow_speed * slot.slow_speed, hi = slot.fast_speed * slot.fast_speed;
    float f = hi > lo ? clampf((length_squared(w) - lo) / (hi - lo), 0, 1) : 1;
    float a = slot.slow_angle + f * (slot.fast_angle - slot.slow_angle);
    return std::fmin(a, static_cast<float>(front ? M_PI / 8 : 2 * M_PI));
}

void roost(const TireContact& tire, const RoostSlot& slot, int m, bool front) {
    if (length(tire.slip_velocity) < slot.slip_threshold) return;
    Vec3 centre = body_position(tire.wheel), axle = wheel_axle_world(tire);
    float spin = dot(to_vec3(dBodyGetAngularVel(tire.wheel)), axle) >= 0 ? 1.0f : -1.0f;
    float spread = spread_angle(tire, slot, front);
    for (int i = 0; i < m; i++) {
        Vec3 p = centre + rotate_about(tire.point - centre, axle, spin * uniform(0, spread));
        Vec3 v = point_velocity(tire.wheel, p);
        p = p + v * static_cast<float>(TIC_SECONDS * i / m);
        spawn_particle(p, (v + jitter(slot.randomize)) * slot.vscale, slot);
    }
}

void emit_wheel(const TireContact& tire, bool front, int n) {
    if (tire.depth <= 0) return;
    const Terrain* ground = physics_ground();
    if (!ground) return;
    const SurfaceTile& tile = terrain_surface_at(*ground, tire.point.x, tire.point.z);
    for (const RoostSlot& slot : tile.roost) {
        if (slot.kind == ROOST_OFF) continue;
        float whole = std::floor(slot.count);
        int m = static_cast<int>(whole) + (chance(slot.count - whole) ? 1 : 0);
        if (m > n) m = n;
        if (m <= 0) continue;
        if (slot.kind == ROOST_SPLASH) splash(tire, slot, m);
        else roost(tire, slot, m, front);
    }
}

// Tire contact of a bike not simulated here, for roost only: no joint.
void refresh_tire(TireContact& tire) {
    const Terrain* ground = physics_ground();
    GroundHit h;
    if (ground)
        h = torus_ground_first(*ground, body_position(tire.wheel), wheel_axle_world(tire), tire.ring_radius,
                               tire.tube_radius);
    if (!h.hit) {
        tire.depth = 0;
        return;
    }
    tire.point = h.point;
    tire.normal = h.normal;
    tire.depth = h.depth;
    tire.slip_velocity = point_velocity(tire.wheel, h.point);
}

void retire(RoostPool& p, int index, int previous) {
    RoostParticle& q = p.particles[index];
    int next = q.next;
    if (previous < 0) p.active_first = next;
    else p.particles[previous].next = next;
    q.texture = 0;  // hidden
    q.next = p.free_first;
    p.free_first = index;
    p.active_count--;
}

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

void set_roost_random(Mt19937* random) { pool().random = random; }

void reset_roost_particles() {
    RoostPool& p = pool();
    for (int i = 0; i < ROOST_PARTICLES; i++) {
        p.particles[i] = RoostParticle{};
        p.particles[i].next = i + 1 < ROOST_PARTICLES ? i + 1 : -1;
    }
    p.free_first = 0;
    p.active_first = -1;
    p.active_count = 0;
}

void spawn_particle(Vec3 position, Vec3 velocity, const RoostSlot& slot) {
    RoostPool& p = pool();
    if (p.free_first < 0) return;
    int i = p.free_first;
    RoostParticle& q = p.particles[i];
    p.free_first = q.next;
    q.position = position;
    q.velocity = velocity;
    q.size = slot.size;
    q.drag = slot.drag;
    q.grow = slot.grow;
    q.texture = slot.texture;
    for (int c = 0; c < 4; c++) q.colour[c] = slot.colour[c], q.fade[c] = slot.fade[c];
    q.next = p.active_first;
    p.active_first = i;
    p.active_count++;
}

void emit_roost(Bike& bike) {
    if (!bike.simulated) {
        refresh_tire(bike.front_tire);
        refresh_tire(bike.rear_tire);
    }
    int n = repeat_limit();
    if (n <= 0) return;
    emit_wheel(bike.front_tire, true, n);
    emit_wheel(bike.rear_tire, false, n);
}

void fly_roost() {
    RoostPool& p = pool();
    const Terrain* ground = physics_ground();
    const float h = static_cast<float>(TIC_SECONDS);
    int previous = -1;
    for (int i = p.active_first; i >= 0;) {
        RoostParticle& q = p.particles[i];
        int next = q.next;
        q.position = q.position + q.velocity * h;
        // A drag of 128 or more stops the particle within the tic; a negative
        // factor would make the velocity flip and grow without bound.
        float m = clampf(1 - q.drag * h, 0, 1);
        q.velocity = {q.velocity.x * m, m * q.velocity.y - 32 * h, q.velocity.z * m};
        q.size += q.grow * h;
        for (int c = 0; c < 4; c++) q.colour[c] = static_cast<uint8_t>(clampf(q.colour[c] + q.fade[c], 0, 255));
        bool landed = q.velocity.y < 0 && ground && q.position.y < terrain_height(*ground, q.position.x, q.position.z);
        if (landed || !finite(q.position) || !finite(q.velocity)) retire(p, i, previous);
        else previous = i;
        i = next;
    }
}

int roost_active_first() { return pool().active_first; }
const RoostParticle& roost_particle(int index) {
    if (index < 0 || index >= ROOST_PARTICLES) index = 0;
    return pool().particles[index];
}
int roost_active_count() { return pool().active_count; }
