// The headless riding bench: a ground in memory, one bike, scripted controls.
#include <cmath>

#include "physics/physics_local.h"
#include "physics/ride_local.h"
#include "terrain/terrain.h"

namespace {
constexpr int BENCH_EXPONENT = 7;     // 257 vertices a side
constexpr float BENCH_CELL = 16;      // ft: 4096 ft square
}  // namespace

bool start_ride_bench(RideBench& bench, const char* model, GroundShape shape, float drop) {
    stop_ride_bench(bench);
    if (!create_physics_world()) return false;
    bench.ground = new Terrain;
    int n = (1 << (BENCH_EXPONENT + 1)) + 1;
    std::vector<float> heights((size_t)n * (size_t)n, 0.0f);
    if (shape)
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) heights[(size_t)i + (size_t)n * (size_t)j] = shape(i * BENCH_CELL, j * BENCH_CELL);
    if (!make_terrain(*bench.ground, BENCH_EXPONENT, BENCH_CELL, heights)) {
        stop_ride_bench(bench);
        return false;
    }
    set_physics_ground(bench.ground);
    bench.bike = create_bike(0, model, true);
    if (!bench.bike) {
        stop_ride_bench(bench);
        return false;
    }
    float x = bench.ground->extent / 2, z = bench.ground->extent - 200;
    move_bike(*bench.bike, x, terrain_height(*bench.ground, x, z) + drop, z);
    bench.clock = RideClock{};
    bench.start = ride_bench_frame_position(bench);
    return true;
}

void ride_bench_tic(RideBench& bench, const ControlVector& c) {
    Bike& b = *bench.bike;
    set_steer(b, c.v[CONTROL_STEER]);
    set_throttle(b, c.v[CONTROL_THROTTLE]);
    set_front_brake(b, c.v[CONTROL_FRONT_BRAKE]);
    set_rear_brake(b, c.v[CONTROL_REAR_BRAKE]);
    set_sit_dab(b, c.v[CONTROL_SIT_DAB]);
    set_back_up(b, c.v[CONTROL_BACK_UP]);
    set_lean(b, c.v[CONTROL_LEAN]);
    float target = clampv(1 - c.v[CONTROL_CLUTCH] * 8.0f / 7.0f, 0.0f, 1.0f);
    set_clutch(b, b.ride.clutch < target ? std::fmin(target, b.ride.clutch + 4 * RIDE_TIC) : target);
    float s = c.v[CONTROL_SHIFT];
    shift(b, s > 0.5f ? 1 : (s < -0.5f ? -1 : 0));
    Bike* bikes[1] = {&b};
    run_physics_tic(bikes, 1, bench.clock);
    bench.clock.tic++;
}

void stop_ride_bench(RideBench& bench) {
    if (bench.bike) destroy_bike(bench.bike);
    bench.bike = nullptr;
    if (bench.ground) {
        set_physics_ground(nullptr);
        free_terrain(*bench.ground);
        delete bench.ground;
    }
    bench.ground = nullptr;
}

Vec3 ride_bench_frame_position(const RideBench& bench) {
    return to_vec3(dBodyGetPosition(bench.bike->bodies[FRAME]));
}

float ride_bench_speed(const RideBench& bench) {
    Vec3 v = to_vec3(dBodyGetLinearVel(bench.bike->bodies[FRAME]));
    return std::sqrt(v.x * v.x + v.z * v.z);
}
