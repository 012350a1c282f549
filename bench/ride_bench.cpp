// Riding figures on flat dirt: 0–30 and 0–60 mph times, top speed, braking
// distance from 40 mph and the turning circle at 15 mph, per model, with the
// rider's default setup (simulation physics, automatic shifting). Also the
// cost of one riding tic.
//
//   ride_bench [model ...] [--trace]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "physics/physics.h"

namespace {

bool trace = false;

constexpr float MPH = 1.4666666666666666f;

ControlVector controls(float throttle, float front_brake = 0, float rear_brake = 0, float steer = 0) {
    ControlVector c;
    c.v[CONTROL_THROTTLE] = throttle;
    c.v[CONTROL_FRONT_BRAKE] = front_brake;
    c.v[CONTROL_REAR_BRAKE] = rear_brake;
    c.v[CONTROL_STEER] = steer;
    return c;
}

bool start(RideBench& bench, const char* model) {
    if (!start_ride_bench(bench, model)) return false;
    reset_rider_setup();
    read_setup_line("arcade", "No");
    apply_setup(*bench.bike);
    // Let the bike settle on its wheels first.
    for (int i = 0; i < 128; i++) ride_bench_tic(bench, controls(0));
    return true;
}

void print_state(const RideBench& b, const char* what) {
    const Bike& k = *b.bike;
    Vec3 p = ride_bench_frame_position(b);
    std::printf("  %s t=%6.2f v=%6.2f mph gear=%d rpm=%6.0f lean=%6.3f x=%8.2f z=%8.2f crashed=%d\n", what,
                b.clock.tic / 128.0, ride_bench_speed(b) / MPH, k.ride.gear + 1, engine_rpm(k), lean_angle(k),
                p.x - b.start.x, p.z - b.start.z, rider_crashed(k));
}

struct Acceleration {
    float t30 = -1, t60 = -1, top = 0, drift = 0, max_lean = 0, moving = -1;
    bool crashed = false;
};

Acceleration accelerate(const char* model, float seconds) {
    Acceleration a;
    RideBench b;
    if (!start(b, model)) return a;
    int t0 = b.clock.tic;
    for (int i = 0; i < (int)(seconds * 128); i++) {
        ride_bench_tic(b, controls(1));
        float v = ride_bench_speed(b);
        float t = (b.clock.tic - t0) / 128.0f;
        if (a.moving < 0 && v >= 1) a.moving = t;
        if (a.t30 < 0 && v >= 30 * MPH) a.t30 = t;
        if (a.t60 < 0 && v >= 60 * MPH) a.t60 = t;
        a.top = std::fmax(a.top, v);
        a.max_lean = std::fmax(a.max_lean, std::fabs(lean_angle(*b.bike)));
        a.crashed |= rider_crashed(*b.bike);
        if (trace && i % 64 == 0) print_state(b, "accel");
    }
    a.drift = ride_bench_frame_position(b).x - b.start.x;
    stop_ride_bench(b);
    return a;
}

// Reaches the speed with throttle (and a trim of the throttle), then runs `then`.
template <class Then>
void at_speed(RideBench& b, float mph, Then then) {
    for (int i = 0; i < 128 * 60 && ride_bench_speed(b) < mph * MPH; i++) ride_bench_tic(b, controls(1));
    then(b);
}

float braking_distance(const char* model) {
    RideBench b;
    if (!start(b, model)) return -1;
    float d = -1;
    at_speed(b, 40, [&](RideBench& r) {
        Vec3 p0 = ride_bench_frame_position(r);
        for (int i = 0; i < 128 * 20 && ride_bench_speed(r) > 0.5f; i++) {
            ride_bench_tic(r, controls(0, 1, 1));
            if (trace && i % 32 == 0) print_state(r, "brake");
        }
        Vec3 p = ride_bench_frame_position(r);
        d = std::sqrt((p.x - p0.x) * (p.x - p0.x) + (p.z - p0.z) * (p.z - p0.z));
    });
    stop_ride_bench(b);
    return d;
}

// Holds about 15 mph with full steering for 12 s and fits a circle through
// the frame's path over the last 6 s (diameter from the extent of the path).
float turning_circle(const char* model, float steer) {
    RideBench b;
    if (!start(b, model)) return -1;
    float diameter = -1;
    at_speed(b, 15, [&](RideBench& r) {
        float minx = 1e9f, maxx = -1e9f, minz = 1e9f, maxz = -1e9f;
        for (int i = 0; i < 128 * 12; i++) {
            float v = ride_bench_speed(r);
            float throttle = v < 15 * MPH ? std::fmin(1.0f, (15 * MPH - v) * 0.2f + 0.2f) : 0.1f;
            ride_bench_tic(r, controls(throttle, 0, 0, steer));
            if (i >= 128 * 6) {
                Vec3 p = ride_bench_frame_position(r);
                minx = std::fmin(minx, p.x), maxx = std::fmax(maxx, p.x);
                minz = std::fmin(minz, p.z), maxz = std::fmax(maxz, p.z);
            }
            if (trace && i % 64 == 0) print_state(r, "turn");
        }
        diameter = std::fmax(maxx - minx, maxz - minz);
        if (rider_crashed(*r.bike)) diameter = -1;
    });
    stop_ride_bench(b);
    return diameter;
}

// Microseconds per riding tic at full throttle, split into the bike update
// (suspension, steering, drivetrain, rider) and the rest of the physics tic
// (ground contacts, world step, erosion, roost) as the baseline. Medians, so
// that a busy machine's pauses do not count.
struct TicCost {
    double update = 0, rest = 0;
};

TicCost tic_cost_us(const char* model) {
    using clock = std::chrono::steady_clock;
    TicCost c;
    const int n = 128 * 10;
    std::vector<double> update(n), rest(n);
    RideBench b;
    if (!start(b, model)) return c;
    Bike& bike = *b.bike;
    set_throttle(bike, 1);  // the clutch is already engaged after settling
    for (int i = 0; i < n; i++) {
        set_physics_tic(b.clock.tic);
        auto t0 = clock::now();
        collide_bike_with_ground(bike);
        emit_roost(bike);
        step_physics_world();
        erode_from_tires(bike);
        auto t1 = clock::now();
        update_bike(bike, b.clock);
        auto t2 = clock::now();
        fly_roost();
        b.clock.tic++;
        rest[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
        update[i] = std::chrono::duration<double, std::micro>(t2 - t1).count();
    }
    stop_ride_bench(b);
    std::sort(update.begin(), update.end());
    std::sort(rest.begin(), rest.end());
    c.update = update[n / 2], c.rest = rest[n / 2];
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> models;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--trace") == 0)
            trace = true;
        else
            models.push_back(argv[i]);
    }
    if (models.empty()) models = {"crf250(2007)", "crf450(2011)"};
    for (const char* m : models) {
        Acceleration a = accelerate(m, 30);
        std::printf("%s\n", m);
        std::printf("  0-30 mph %.2f s, 0-60 mph %.2f s, top speed %.1f mph (rolling after %.2f s; 30 s run; "
                    "sideways drift %.1f ft, largest lean %.1f deg%s)\n",
                    a.t30, a.t60, a.top / MPH, a.moving, a.drift, a.max_lean * 57.29578f, a.crashed ? ", CRASHED" : "");
        std::printf("  braking from 40 mph: %.1f ft\n", braking_distance(m));
        float right = turning_circle(m, 1), left = turning_circle(m, -1);
        std::printf("  turning circle at 15 mph: %.1f ft turning right (steer +1), %.1f ft turning left (steer -1)\n",
                    right, left);
        TicCost c = tic_cost_us(m);
        std::printf("  bike update %.1f us per tic = %.3f x the rest of the physics tic (%.1f us: contacts, step)\n",
                    c.update, c.update / c.rest, c.rest);
    }
    return 0;
}
