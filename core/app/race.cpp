// The race the program rides: the physics world, track loads and resets over
// core_world, and the "New Race" start from the configured lineup.
#include <cmath>
#include <ctime>

#include "core/app/app.h"

bool start_world(App& app) {
    app.world_started = world_start(app.world);
    if (!app.world_started) zumi_log("The physics library is not usable; no track can be loaded\n");
    return app.world_started;
}

void reset_race(App& app, const StartList* list, bool playback, bool record, int race_length_tics, int laps,
                int skill) {
    if (!app.world_started) return;
    ResetRequest req;
    req.start_list = list;
    req.playback = playback;
    req.record = record;
    req.race_length_tics = race_length_tics;
    req.laps = laps;
    req.skill = skill;
    req.seed = static_cast<uint32_t>(std::time(nullptr));
    ResetHooks h = world_reset_hooks(app.world);
    h.show_status = [&app](const char* text) { show_status(app, text); };
    h.log = [](const char* line) { zumi_log("%s", line); };
    world_reset(app.world, req, h);
    app.track_loaded = !app.world.track.state.dir.empty() && app.world.game;
    if (!app.track_loaded) {
        zumi_log("No track loaded\n");
        return;
    }
    app.world_hooks = world_tic_hooks(app.world);
    app.program.controls = ControlState{};
}

void start_new_race(App& app) {
    Program& p = app.program;
    Config& c = p.config;
    p.menu = MENU_NONE;
    StartList list{};
    for (int i = 0; i < GATE_COUNT; i++) list[static_cast<size_t>(i)] = c.slots[static_cast<size_t>(i)].selected;
    int race_length = static_cast<int>(std::trunc(60 * c.minutes.value / TIC_SECONDS));
    reset_race(app, &list, false, c.record.selected != 0, race_length, static_cast<int>(c.laps.value),
               c.skill.selected);
    // The next race starts from the lineup moved on by the rotation.
    int turns = ((p.options.rotate_lineup % SLOT_COUNT) + SLOT_COUNT) % SLOT_COUNT;
    for (int t = 0; t < turns; t++) list = rotate_start_list(list);
    for (int i = 0; i < GATE_COUNT; i++) c.slots[static_cast<size_t>(i)].selected = list[static_cast<size_t>(i)];
}

int local_ridden_slot(const App& app) {
    const GameState* g = app.world.game.get();
    if (!app.track_loaded || !g) return NO_SLOT;
    int v = g->viewed_slot;
    if (v < 0 || v >= SLOT_COUNT) return NO_SLOT;
    const RiderSlot& s = g->slots[static_cast<size_t>(v)];
    return s.bike && s.kind == LOCAL ? v : NO_SLOT;
}

void free_world(App& app) {
    if (!app.world_started) return;
    world_shutdown(app.world);
    app.world_started = false;
    app.track_loaded = false;
}
