// The headless race runner's pieces: its command line, the controls script,
// and a race on a track driven tic by tic. rutline-sim and the runner's
// benchmark are small programs over these.
#pragma once

#include "core/world/world.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct SimArgs {
    std::string track;       // empty: the configured track
    double seconds = 60;     // simulated seconds, > 0
    int riders = 1;          // 1..160, in slots 0..riders-1
    std::string controls;    // controls file, empty: no input at all
    bool seed_given = false;
    uint32_t seed = 0;       // the generator's seed at every reset
    bool quiet = false;      // no per-rider lines
};
// 0 when the arguments are good; otherwise the message is on standard error
// and the result is the exit status (2).
int parse_sim_args(int argc, const char* const* argv, SimArgs& out);

// A controls script: lines "TIC c0 ... c8", the nine values of the control
// vector holding from game tic TIC on. Blank lines and lines starting with
// "#" are skipped. False with a message naming the line on a bad line.
struct ControlStep {
    int tic = 0;
    ControlVector controls;
};
bool parse_controls(const std::string& text, std::vector<ControlStep>& out, std::string& error);

struct RiderFigures {
    double distance = 0;   // ft travelled by the frame
    double top_speed = 0;  // ft/s
    int crashes = 0;
};

// One race of scripted riders: every rider a robot from the roster whose
// auto pilot is the controls script.
struct SimRace {
    World world;
    TicHooks hooks;
    std::vector<ControlStep> script;  // sorted by tic
    size_t next_step = 0;
    ControlVector now;
    std::array<ControlState, SLOT_COUNT> control_states{};
    std::vector<RiderFigures> figures;  // per rider slot
    std::vector<Vec3> last_position;
    int riders = 0;
};
// Loads the track folder and resets a race with `riders` riders (the world
// must be started). False when the track could not be loaded.
bool start_sim_race(SimRace& race, const std::string& folder, int riders, uint32_t seed);
void sim_race_tic(SimRace& race);
// The figures after the race (crash counts read from the bikes).
void finish_sim_figures(SimRace& race);
