// The headless runner's figures on the default track from the start: 1, 40
// and 160 riders on one scripted line, the real-time factor of each, the
// whole tic against the bare world step of the same bodies, and where the
// rest of the tic goes. Run from the data folder (it is built there) or with
// QZ_HOME pointing at it. Goals: 40 riders at 10x real time, 160 at 2x.
#include "tools/sim/sim.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>

namespace {
// Thread CPU time: the machine may be shared, and the goals are for one core.
double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wait at the gate, ride off once it has dropped, shift up twice.
const char* const SCRIPT =
    "0    0 0 0 0 0 0 1 0 0\n"
    "1920 0 0.7 0 0 0 0 0 0 0\n"
    "2200 0 0.8 0 0 1 0 0 0 0\n"
    "2210 0 0.8 0 0 0 0 0 0 0\n"
    "2500 0.1 0.8 0 0 1 0 0 0 0\n"
    "2510 0 0.8 0 0 0 0 0 0 0\n";

enum Phase { OTHER, CONTACTS, PAIRS, ROOST, STEP, BIKES, FLYING, GATE, PHASES };
const char* const PHASE_NAMES[PHASES] = {"other", "ground and objects", "bike pairs", "roost", "world step", "bike update", "flying roost",
                                         "gate"};

// Time by phase of the tic: the clock is read only when the phase changes.
struct PhaseClock {
    Phase current = OTHER;
    double since = 0;
    double seconds[PHASES] = {};
    void enter(Phase p) {
        if (p == current) return;
        double now = cpu_seconds();
        seconds[current] += now - since;
        since = now;
        current = p;
    }
};

template <class F>
F timed(F f, PhaseClock& pc, Phase p) {
    return [f, &pc, p](auto... a) {
        pc.enter(p);
        return f(a...);
    };
}

void instrument(TicHooks& h, PhaseClock& pc) {
    h.collide_objects = timed(h.collide_objects, pc, CONTACTS);
    h.collide_bikes = timed(h.collide_bikes, pc, PAIRS);
    h.bike_speed = timed(h.bike_speed, pc, PAIRS);
    h.emit_roost = timed(h.emit_roost, pc, ROOST);
    h.world_step = timed(h.world_step, pc, STEP);
    h.auto_pilot = timed(h.auto_pilot, pc, BIKES);
    h.update_bike = timed(h.update_bike, pc, BIKES);
    h.flying_roost = timed(h.flying_roost, pc, FLYING);
    h.gate_animation = timed(h.gate_animation, pc, GATE);
}

bool run(const std::string& folder, int riders, double seconds) {
    SimRace race;
    std::string error;
    parse_controls(SCRIPT, race.script, error);
    if (!start_sim_race(race, folder, riders, 1)) return false;
    long long tics = (long long)(seconds * TICS_PER_SECOND);
    // Plain run: the runner's own figures.
    auto wall_start = std::chrono::steady_clock::now();
    double start = cpu_seconds();
    for (long long t = 0; t < tics; t++) sim_race_tic(race);
    double cpu = cpu_seconds() - start;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    // The same race again, instrumented by phase.
    if (!start_sim_race(race, folder, riders, 1)) return false;
    PhaseClock pc;
    instrument(race.hooks, pc);
    pc.since = cpu_seconds();
    for (long long t = 0; t < tics; t++) {
        sim_race_tic(race);
        pc.enter(OTHER);
    }
    double total = 0;
    for (double s : pc.seconds) total += s;
    double step = pc.seconds[STEP];
    std::printf("%3d riders: %6.0f tics, %8.1f us CPU per tic, %7.2fx real time (%.2fx by the wall clock), "
                "whole tic / world step %.2f\n",
                riders, double(tics), cpu * 1e6 / double(tics), seconds / cpu, seconds / wall,
                step > 0 ? total / step : 0.0);
    std::printf("            shares:");
    for (int p = 0; p < PHASES; p++) std::printf(" %s %.1f%%", PHASE_NAMES[p], total > 0 ? 100 * pc.seconds[p] / total : 0);
    std::printf("\n");
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    // Simulated seconds per case; the gate drops 13 to 15 s in, so the
    // default covers the start and some riding.
    double seconds = argc > 1 ? std::atof(argv[1]) : 25;
    if (!(seconds > 0)) seconds = 25;
    std::vector<TrackListEntry> tracks = list_tracks();
    std::string folder = find_track_folder(tracks, "veviredoze");
    if (folder.empty()) {
        std::fprintf(stderr, "sim_bench: the default track is not in the data folder\n");
        return 1;
    }
    World probe;
    if (!world_start(probe)) return 1;
    std::printf("sim_bench: %s, %.0f simulated seconds from the reset, one core\n", folder.c_str(), seconds);
    for (int riders : {1, 40, 160})
        if (!run(folder, riders, seconds)) return 1;
    world_shutdown(probe);
    return 0;
}
