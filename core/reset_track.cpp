// reset_track: the teardown, the track load when needed, and the new race.
#include "core/core.h"

#include <cstdio>

namespace {
template <class F, class... A>
void call(const F& f, A&&... args) {
    if (f) f(std::forward<A>(args)...);
}

void status(const ResetHooks& h, const char* text) { call(h.show_status, text); }
void log_line(const ResetHooks& h, const char* text) { call(h.log, text); }

// Steps 9-20: the track's files, with the digest taken along the way.
bool load_track_files(TrackState& track, const std::string& dir, const ResetHooks& h) {
    call(h.free_track);
    track = TrackState{};
    track.dir = dir;
    Ripemd160 d;
    ripemd160_init(d);
    status(h, "Scanning");
    for (const char* f : DIGEST_SCAN_FILES) digest_file(d, "@" + dir + f, h.read);
    if (h.load_terrain && !h.load_terrain(track)) {
        track = TrackState{};
        return false;
    }
    digest_file(d, "@" + dir + "/timing_gates", h.read);
    call(h.load_timing_gates, track);
    call(h.create_roost_pool);
    status(h, "Loading flaggers");
    call(h.load_flaggers);
    call(h.load_billboards);
    digest_file(d, "@" + dir + "/statues", h.read);
    status(h, "Loading statues");
    call(h.load_statues);
    status(h, "Loading map");
    call(h.load_map);
    track.grid = build_object_grid(h.object_bounds ? h.object_bounds() : std::vector<ObjectBounds>{}, track.extent);
    digest_models(d, h.object_models ? h.object_models() : std::vector<std::string>{}, h.read);
    call(h.load_cameras);
    track.digest = ripemd160_final(d);
    return true;
}

// Step 24 for one slot: where it stands.
StartPlace place_for(int slot, const SlotPlan& plan, const ResetRequest& req, const TrackState& track, int& others) {
    if (!req.server_race) return start_place(slot, track.gates, track.extent);
    if (plan.kind == LOCAL) return server_start_place(req.local_place, track.gates, track.extent);
    return server_other_place(others++, req.local_place, track.gates, track.extent);
}

void create_bikes(GameState& g, const TrackState& track, const ResetRequest& req, const StartList& list,
                  const std::array<int, ROSTER_SIZE>& order, const ResetHooks& h) {
    status(h, "Loading bikes");
    std::array<SlotPlan, SLOT_COUNT> plans = plan_slots(list, order, req.plan);
    int others = 0;
    for (int s = 0; s < SLOT_COUNT; s++) {
        const SlotPlan& plan = plans[size_t(s)];
        if (!plan.create) continue;
        StartPlace at = place_for(s, plan, req, track, others);
        RiderSlot& slot = g.slots[size_t(s)];
        slot.bike = h.create_bike ? h.create_bike(s, plan) : nullptr;
        if (!slot.bike) {  // could not be created: an empty remote slot
            slot.kind = REMOTE;
            continue;
        }
        slot.kind = plan.kind;
        float y = h.ground_height ? h.ground_height(at.x, at.z) : 0;
        call(h.place_bike, s, at.x, y, at.z, at.angle);
        for (int i = 0; i < MAX_SETTLE_STEPS && h.intersects_ground && h.intersects_ground(s); i++) {
            y += 0.25f;
            call(h.place_bike, s, at.x, y, at.z, at.angle);
        }
        if (slot.kind == LOCAL) {
            g.false_start_position = h.bike_position ? h.bike_position(s) : Vec3{at.x, y, at.z};
            g.hold_counter = 0;
        }
        slot.activity = slot.kind == REMOTE ? 0.0f : 1.0f;
        call(h.configure_bike, s, plan);
    }
}
}  // namespace

void reset_track(std::unique_ptr<GameState>& g, TrackState& track, const ResetRequest& req, const ResetHooks& h) {
    // 1-2.
    call(h.save_series_result);
    status(h, "Resetting...");
    log_line(h, "Resetting\n");
    Mt19937 rng;
    mt_seed(rng, req.seed);
    std::array<int, ROSTER_SIZE> order = shuffle_roster(rng);
    // 3-4. What must survive the race is saved before its bikes go.
    status(h, "Remembering lines");
    if (!track.dir.empty()) {
        call(h.write_lines);
        call(h.close_playback);
    }
    call(h.finish_recording);
    status(h, "Cleaning up");
    log_line(h, "Deallocating bikes\n");
    if (g)
        for (int s = 0; s < SLOT_COUNT; s++)
            if (g->slots[size_t(s)].bike) call(h.destroy_bike, s, g->slots[size_t(s)].bike);
    log_line(h, "Finished deallocating bikes\n");
    // 5-6. A fresh race record.
    g = new_game_state();
    g->random = rng;  // the race goes on drawing where the shuffle left off
    g->race_length_tics = req.race_length_tics;
    g->race_laps = req.laps;
    std::string chosen;
    bool from_demo = req.playback && h.demo_track && h.demo_track(chosen);
    if (req.server_race) {
        g->gate_drop_tic = req.server_gate_drop_tic;
        g->race_place = req.local_place >= 0;
        g->playback_delay = g->race_place ? 0 : 127;
        if (!from_demo) chosen = req.server_track;
    } else {
        g->gate_drop_tic = draw_gate_drop_tic(g->random);
        g->time_trial = req.start_list == nullptr;
        if (!from_demo) chosen = h.selected_track ? h.selected_track() : track.dir;
    }
    // 7-20. The track's files, unless the same track is loaded.
    call(h.stop_script);
    if (chosen.empty()) {
        call(h.free_track);
        track = TrackState{};
        return;
    }
    if (chosen != track.dir || req.force_reload || req.server_race) {
        if (!load_track_files(track, chosen, h)) return;
    }
    // 21-22.
    StartList list{};
    if (g->time_trial) {
        g->tic = 38400;
        list[0] = START_HUMAN;
    } else {
        list = *req.start_list;
    }
    g->viewed_slot = settle_start_list(list);
    // 23-25.
    call(h.read_lines, req.skill);
    create_bikes(*g, track, req, list, order, h);
    if (req.record) call(h.start_recording);
    call(h.after_bikes);
    // 29. Finish rule: a race on time finishes when the results say so.
    if (g->race_length_tics > 0) {
        g->finish_lap = g->halfway_lap = 1000000;
    } else {
        g->finish_lap = g->race_laps;
        g->halfway_lap = (g->race_laps + 1) / 2;
    }
    // 30-38.
    call(h.raise_gate);
    if (g->time_trial) call(h.start_time_trial);
    call(h.settle_race);
    if (!g->slots[size_t(g->viewed_slot)].bike && h.first_in_running_order) {
        int first = h.first_in_running_order();
        if (first >= 0 && first < SLOT_COUNT) g->viewed_slot = first;
    }
    call(h.finish);
}
