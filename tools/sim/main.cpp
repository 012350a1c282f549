// rutline-sim: runs a race with no window as fast as the machine allows and
// prints the track, timings, a hash of every body and per-rider figures.
#include "tools/sim/sim.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

namespace {
// Console messages (warnings of the loaders and the physics) go to standard error.
void to_stderr(const char* text) { std::fputs(text, stderr); }

bool load_script(const std::string& path, std::vector<ControlStep>& script) {
    std::optional<std::string> text = file_to_string(path.c_str());
    if (!text) {
        std::fprintf(stderr, "rutline-sim: can't read controls file '%s'\n", path.c_str());
        return false;
    }
    std::string error;
    if (!parse_controls(*text, script, error)) {
        std::fprintf(stderr, "rutline-sim: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    SimArgs args;
    if (int status = parse_sim_args(argc, argv, args)) return status;
    set_console_sink(to_stderr);
    SimRace race;
    if (!args.controls.empty() && !load_script(args.controls, race.script)) return 2;

    std::vector<TrackListEntry> tracks = list_tracks();
    if (tracks.empty()) {
        std::fprintf(stderr, "No tracks found\n");
        return 1;
    }
    std::string name = args.track;
    if (name.empty()) {
        Config config = default_config();
        read_config(config);
        name = config.track;
    }
    std::string folder = find_track_folder(tracks, name);
    if (folder.empty()) {
        std::fprintf(stderr, "rutline-sim: no track '%s'\n", name.c_str());
        return 2;
    }
    if (!world_start(race.world)) {
        std::fprintf(stderr, "rutline-sim: the physics library is not usable\n");
        return 1;
    }
    uint32_t seed = args.seed_given ? args.seed : uint32_t(std::time(nullptr));
    if (!start_sim_race(race, folder, args.riders, seed)) {
        std::fprintf(stderr, "rutline-sim: track '%s' could not be loaded\n", folder.c_str());
        world_shutdown(race.world);
        return 1;
    }

    long long tics = std::llround(args.seconds * TICS_PER_SECOND);
    auto start = std::chrono::steady_clock::now();
    for (long long t = 0; t < tics; t++) sim_race_tic(race);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    finish_sim_figures(race);

    double simulated = double(tics) * TIC_SECONDS;
    std::printf("track: %s\n", folder.c_str());
    std::printf("digest: %s\n", digest_hex(race.world.track.state.digest).c_str());
    std::printf("riders: %d\n", race.riders);
    std::printf("tics: %lld\n", tics);
    std::printf("wall time: %.3f s\n", wall);
    std::printf("us per tic: %.1f\n", tics > 0 ? wall * 1e6 / double(tics) : 0.0);
    std::printf("real-time factor: %.2f\n", wall > 0 ? simulated / wall : 0.0);
    std::printf("hash: %s\n", digest_hex(world_body_hash(race.world)).c_str());
    if (!args.quiet)
        for (int s = 0; s < race.riders; s++) {
            const RiderFigures& f = race.figures[size_t(s)];
            std::printf("rider %d: distance %.1f ft, top speed %.1f mph, crashes %d\n", s, f.distance,
                        f.top_speed / FT_PER_S_PER_MPH, f.crashes);
        }
    bool finite = world_bodies_finite(race.world);
    if (!finite) std::fprintf(stderr, "rutline-sim: a body's position or orientation is not a number\n");
    world_shutdown(race.world);
    return finite ? 0 : 1;
}
