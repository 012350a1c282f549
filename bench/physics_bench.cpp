// Cost of the physics tic: the world step alone, and ground contacts plus
// bike–bike contacts plus the step, for bikes standing apart on flat ground
// and for clusters of bikes pressed side by side (bike–bike contact joints
// join their bodies into larger islands for the full stepper).
//
//   physics_bench [tics]
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "physics/physics.h"
#include "terrain/terrain.h"

namespace {

// Simple part shapes, so that the figures do not depend on the data folder.
const char* const SHAPES[PART_COUNT] = {
    "3\n0 0 -0.6\n0.5 1 2500 250\n0 0 0\n0.5 1 2500 250\n0 0.2 0.6\n0.5 1 2500 250\n",  // frame
    "1\n0 0.3 0\n0.35 1 2500 250\n",                                                     // fork upper
    "1\n0 -0.3 0\n0.3 1 2500 250\n",                                                     // fork lower
    "2\n0 0 -0.4\n0.3 1 2500 250\n0 0 0.4\n0.3 1 2500 250\n",                            // swingarm
    "2\n0 0 0\n0.6 1 2500 250\n0 1.2 -0.2\n0.4 1 2500 250\n",                            // rider
    "2\n0 0.8 0\n0.35 1 25000 2500\n0 -0.8 0\n0.35 1 25000 2500\n",                      // front wheel
    "2\n0 0.75 0\n0.35 1 25000 2500\n0 -0.75 0\n0.35 1 25000 2500\n",                    // rear wheel
};

struct Scene {
    Terrain ground;
    std::vector<Bike*> bikes;
    ~Scene() {
        for (Bike* b : bikes) destroy_bike(b);
        set_physics_ground(nullptr);
    }
};

void give_shapes(Bike& b) {
    for (int p = 0; p < PART_COUNT; p++) {
        parse_part_shape(SHAPES[p], std::strlen(SHAPES[p]), b.shapes[p]);
        b.shapes[p].world_centres.resize(b.shapes[p].spheres.size());
    }
}

// Bikes on a grid 10 ft apart (spacing_x 10), or side by side `spacing_x`
// apart in rows of `row` bikes.
void build(Scene& s, int count, int row, float spacing_x) {
    make_terrain(s.ground, 7, 2.0f, {});
    set_physics_ground(&s.ground);
    for (int i = 0; i < count; i++) {
        Bike* b = create_bike(i % SLOT_COUNT, "crf250(2007)", true);
        give_shapes(*b);
        move_bike(*b, 20 + static_cast<float>(i % row) * spacing_x, 0, 20 + static_cast<float>(i / row) * 12);
        s.bikes.push_back(b);
    }
}

void contacts(Scene& s) {
    for (Bike* b : s.bikes) collide_bike_with_ground(*b);
    for (size_t i = 0; i < s.bikes.size(); i++)
        for (size_t j = i + 1; j < s.bikes.size(); j++) collide_bikes(*s.bikes[i], *s.bikes[j], 0);
}

// Processor time of this process, so that other work on a shared machine
// does not inflate the figures.
double now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

// Microseconds per tic of the full physics tic after settling (contacts,
// step, ride update), and of the step alone on the same settled scene.
struct Figures {
    double step, full, contacts;
};

Figures measure(int count, int row, float spacing, int tics) {
    Scene s;
    build(s, count, row, spacing);
    RideClock clock;
    for (int t = 0; t < 64; t++) {
        clock.tic = t;
        run_physics_tic(s.bikes.data(), static_cast<int>(s.bikes.size()), clock);
    }
    Figures f{};
    double t0 = now();
    for (int t = 0; t < tics; t++) {
        set_physics_tic(64 + t);
        contacts(s);
        step_physics_world();
    }
    f.full = (now() - t0) / tics;
    // The contact tests alone on the same scene (their joints thrown away).
    t0 = now();
    for (int t = 0; t < tics / 8; t++) {
        set_physics_tic(64 + tics + t);
        contacts(s);
        dJointGroupEmpty(contact_group());
    }
    f.contacts = (now() - t0) / (tics / 8);
    // The bare step: no contacts, so the bikes fall freely for a few tics.
    t0 = now();
    for (int t = 0; t < tics / 8; t++) step_physics_world();
    f.step = (now() - t0) / (tics / 8);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int tics = argc > 1 ? std::atoi(argv[1]) : 256;
    if (tics < 8) tics = 8;
    if (!create_physics_world()) return 1;
    Figures base = measure(1, 1, 10, tics);
    std::printf("physics tic cost, processor microseconds per tic (%d tics; ratio to one bike's bare step)\n",
                tics);
    std::printf("%-28s %12s %12s %14s %8s\n", "scene", "bare step", "contacts", "contacts+step", "ratio");
    for (int n : {1, 40, 160}) {
        Figures f = n == 1 ? base : measure(n, 16, 10, tics);
        std::printf("%3d bikes standing apart     %12.1f %12.1f %14.1f %8.1f\n", n, f.step, f.contacts, f.full,
                    f.full / base.step);
    }
    for (int n : {2, 5, 10, 20}) {
        Figures f = measure(n, n, 0.9f, tics);
        std::printf("cluster of %2d bikes          %12.1f %12.1f %14.1f %8.1f\n", n, f.step, f.contacts, f.full,
                    f.full / base.step);
    }
    destroy_physics_world();
    return 0;
}
