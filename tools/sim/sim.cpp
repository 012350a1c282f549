// The headless race runner's command line, controls script and race.
#include "tools/sim/sim.h"

#include "physics/physics.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {
const char* const USAGE =
    "usage: rutline-sim [--track NAME] [--seconds S] [--riders N] [--controls FILE] [--seed N] [--quiet]\n";

// Most simulated time one run may ask for: a day.
constexpr double MAX_SECONDS = 86400;

int bad(const std::string& message) {
    std::fprintf(stderr, "rutline-sim: %s\n%s", message.c_str(), USAGE);
    return 2;
}

bool to_double(const char* s, double& v) {
    char* end = nullptr;
    errno = 0;
    v = std::strtod(s, &end);
    return end != s && *end == 0 && errno == 0 && std::isfinite(v);
}

bool to_long(const char* s, long long& v) {
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s, &end, 10);
    return end != s && *end == 0 && errno == 0;
}
}  // namespace

int parse_sim_args(int argc, const char* const* argv, SimArgs& out) {
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--quiet") {
            out.quiet = true;
            continue;
        }
        std::string name = arg, value;
        bool joined = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            joined = true;
        }
        if (name != "--track" && name != "--seconds" && name != "--riders" && name != "--controls" && name != "--seed")
            return bad("bad option '" + arg + "'");
        if (!joined) {
            if (i + 1 >= argc) return bad(name + " needs a value");
            value = argv[++i];
        }
        double d;
        long long n;
        if (name == "--track") {
            if (value.empty()) return bad(name + " needs a value");
            out.track = value;
        } else if (name == "--controls") {
            if (value.empty()) return bad(name + " needs a value");
            out.controls = value;
        } else if (name == "--seconds") {
            if (!to_double(value.c_str(), d) || !(d > 0) || d > MAX_SECONDS)
                return bad("bad value '" + value + "' for --seconds (above 0, at most 86400)");
            out.seconds = d;
        } else if (name == "--riders") {
            if (!to_long(value.c_str(), n) || n < 1 || n > SLOT_COUNT)
                return bad("bad value '" + value + "' for --riders (1 to 160)");
            out.riders = int(n);
        } else {
            if (!to_long(value.c_str(), n) || n < 0 || n > 4294967295LL)
                return bad("bad value '" + value + "' for --seed (0 to 4294967295)");
            out.seed = uint32_t(n);
            out.seed_given = true;
        }
    }
    return 0;
}

bool parse_controls(const std::string& text, std::vector<ControlStep>& out, std::string& error) {
    out.clear();
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        ControlStep step;
        float* v = step.controls.v;
        long long tic = 0;
        char rest[2];
        int n = std::sscanf(line.c_str(), " %lld %f %f %f %f %f %f %f %f %f %1s", &tic, &v[0], &v[1], &v[2], &v[3], &v[4],
                            &v[5], &v[6], &v[7], &v[8], rest);
        bool finite = true;
        for (float x : step.controls.v) finite = finite && std::isfinite(x);
        if (n != 10 || tic < 0 || tic > 0x7fffffffLL || !finite) {
            error = "line " + std::to_string(number) + ": expected a tic and nine control values: " + line;
            out.clear();
            return false;
        }
        step.tic = int(tic);
        out.push_back(step);
    }
    // In tic order; of two lines for one tic the later one holds.
    std::stable_sort(out.begin(), out.end(), [](const ControlStep& a, const ControlStep& b) { return a.tic < b.tic; });
    return true;
}

bool start_sim_race(SimRace& race, const std::string& folder, int riders, uint32_t seed) {
    race.riders = std::clamp(riders, 1, SLOT_COUNT);
    race.world.selected_track = folder;
    StartList list{};
    for (int s = 0; s < race.riders; s++) list[size_t(s)] = START_ROBOT;
    ResetRequest req;
    req.start_list = &list;
    req.laps = 1000;
    req.seed = seed;
    world_reset(race.world, req, world_reset_hooks(race.world));
    if (race.world.track.state.dir.empty()) return false;
    // Scripted riders stand in for players: each rides with the player's
    // default rider setup (dab when stopped, automatic shifting, the aids),
    // not with the robot tuning the roster gives their bikes.
    reset_rider_setup();
    for (int s = 0; s < race.riders; s++)
        if (Bike* b = world_bike(race.world, s)) apply_setup(*b);
    race.hooks = world_tic_hooks(race.world);
    race.hooks.auto_pilot = [&race](int slot) {
        world_apply_controls(race.world, slot, race.control_states[size_t(slot)], race.now);
    };
    race.next_step = 0;
    race.now = ControlVector{};
    race.control_states.fill(ControlState{});
    race.figures.assign(size_t(race.riders), RiderFigures{});
    race.last_position.assign(size_t(race.riders), Vec3{});
    for (int s = 0; s < race.riders; s++)
        race.last_position[size_t(s)] = world_frame_position(race.world, s);
    return true;
}

void sim_race_tic(SimRace& race) {
    int tic = race.world.game->tic;
    while (race.next_step < race.script.size() && race.script[race.next_step].tic <= tic)
        race.now = race.script[race.next_step++].controls;
    world_tic(race.world, race.hooks);
    for (int s = 0; s < race.riders; s++) {
        if (!world_bike(race.world, s)) continue;
        RiderFigures& f = race.figures[size_t(s)];
        Vec3 p = world_frame_position(race.world, s);
        f.distance += double(length(p - race.last_position[size_t(s)]));
        race.last_position[size_t(s)] = p;
        f.top_speed = std::max(f.top_speed, double(length(world_frame_velocity(race.world, s))));
    }
}

void finish_sim_figures(SimRace& race) {
    for (int s = 0; s < race.riders; s++)
        race.figures[size_t(s)].crashes = world_crash_count(race.world, s);
}
