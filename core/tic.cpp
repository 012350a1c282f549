// The game-state record and the simulation tic.
#include "core/core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::unique_ptr<GameState> new_game_state() { return std::make_unique<GameState>(); }

float low_speed_share(float speed, float k, float c) {
    float d = std::fabs(speed) * k + c;
    return d != 0 ? c / d : 1.0f;
}

void suspension_graph_enable(SuspensionGraph& s, bool on) {
    s.enabled = on;
    s.started = false;
}

bool add_state(GameState& g, int slot, const uint8_t* record, int tic) {
    if (slot < 0 || slot >= SLOT_COUNT) {
        con_print("add_state_to_history: slot out of range");
        return false;
    }
    return history_add(g.slots[size_t(slot)].history, record, tic);
}

namespace {
bool call_bool(const std::function<bool()>& f) { return f ? f() : false; }

bool within_gate_window(const GameState& g, int delay) {
    return g.tic * TIC_SECONDS <= (delay + g.gate_drop_tic) * TIC_SECONDS + 10;
}

// Step 2: remote riders placed from their state histories.
void place_remote_riders(GameState& g, const TicHooks& h, bool connected) {
    if (!h.apply_states) return;
    int target = std::max(0, g.tic - g.playback_delay);
    int version = g.demo_version > 0 ? g.demo_version : 5;
    (void)connected;
    for (int s = 0; s < SLOT_COUNT; s++) {
        RiderSlot& slot = g.slots[size_t(s)];
        if (slot.kind != REMOTE || !slot.bike) continue;
        HistoryPair p;
        if (!history_find(slot.history, target, p)) continue;
        const HistoryEntry& a = *p.older;
        const HistoryEntry& b = *p.newer;
        // Two entries for one tic (a repeated datagram) give no interval to
        // blend over: the older state stands.
        if (&a == &b || a.tic >= target || b.tic <= a.tic) {
            h.apply_states(s, a.state, a.state, a.state, 0, version);
            continue;
        }
        // Extrapolate at most 64 tics (0.5 s) past the newest state.
        float f = float(std::min(target, b.tic + 64) - a.tic) / float(b.tic - a.tic);
        if (f == 0 || g.demo_version == 4 || !h.blend_states) {
            h.apply_states(s, a.state, a.state, b.state, b.tic - a.tic, version);
            continue;
        }
        uint8_t blended[STATE_RECORD_BYTES];
        h.blend_states(a.state, b.state, f, blended);
        h.apply_states(s, blended, a.state, b.state, b.tic - a.tic, version);
    }
}

// Sorts slots by their bike's speed, slowest first (a heap sort).
void sort_by_speed(std::vector<int>& list, const TicHooks& h) {
    if (!h.bike_speed || list.size() < 2) return;
    std::vector<std::pair<float, int>> keyed;
    for (int s : list) keyed.push_back({h.bike_speed(s), s});
    auto slower = [](const std::pair<float, int>& a, const std::pair<float, int>& b) { return a.first < b.first; };
    std::make_heap(keyed.begin(), keyed.end(), slower);
    std::sort_heap(keyed.begin(), keyed.end(), slower);
    for (size_t i = 0; i < list.size(); i++) list[i] = keyed[i].second;
}

// Step 4: contacts between bikes and with the track objects.
void contacts(GameState& g, const TicHooks& h, bool connected) {
    auto objects = [&](int s, bool gate_only) { return h.collide_objects ? h.collide_objects(s, gate_only) : false; };
    bool gate_window = within_gate_window(g, 0);
    std::vector<int> list;
    if (!connected) {
        for (int s = 0; s < SLOT_COUNT; s++) {
            const RiderSlot& slot = g.slots[size_t(s)];
            if (!slot.bike) continue;
            if (slot.kind != REMOTE) {
                list.push_back(s);
                objects(s, false);
            } else if (gate_window) {
                objects(s, true);
            }
        }
        sort_by_speed(list, h);
        if (h.collide_bikes)
            for (size_t i = 0; i < list.size(); i++)
                for (size_t j = i + 1; j < list.size(); j++) h.collide_bikes(list[i], list[j], false);
        return;
    }
    for (int s = 0; s < SLOT_COUNT; s++) {
        const RiderSlot& slot = g.slots[size_t(s)];
        if (!slot.bike || slot.kind != REMOTE) continue;
        if (!h.collisions_enabled || h.collisions_enabled(s)) list.push_back(s);
        if (!g.race_place && gate_window) objects(s, true);
    }
    int local = g.local_slot;
    if (local < 0 || local >= SLOT_COUNT || !g.slots[size_t(local)].bike) return;
    objects(local, false);
    if (!g.race_place) return;
    sort_by_speed(list, h);
    for (int s : list) {
        RiderSlot& other = g.slots[size_t(s)];
        if (s != local && h.collide_bikes && h.collide_bikes(local, s, true))
            other.activity = other.activity > 0 && other.activity <= 0.25f ? 0.25f : 1.0f;
        if (other.activity > 0.25f) objects(s, false);
    }
}

// Step 5: roost, starting the rotation at a different rider every tic so the
// order of random draws changes.
void emit_roost(const GameState& g, const TicHooks& h) {
    if (!h.emit_roost) return;
    std::vector<int> occupied;
    for (int s = 0; s < SLOT_COUNT; s++)
        if (g.slots[size_t(s)].bike) occupied.push_back(s);
    size_t n = occupied.size();
    if (n == 0) return;
    size_t start = size_t(g.tic < 0 ? 0 : g.tic) % n;
    for (size_t i = 0; i < n; i++) h.emit_roost(occupied[(start + i) % n]);
}

// Step 8.3: the false-start rule of server races.
void false_start(GameState& g, const TicHooks& h, int s) {
    auto set = [&](BikeInput in, float v) {
        if (h.inputs.set) h.inputs.set(s, in, v);
    };
    if (g.hold_counter > 0) {
        g.hold_counter--;
        set(INPUT_FRONT_BRAKE, 1);
        set(INPUT_REAR_BRAKE, 1);
        set(INPUT_BACK_UP, 0);
        set(INPUT_CLUTCH, 0);
        set(INPUT_THROTTLE, 0);
        set(INPUT_SIT_DAB, 1);
        return;
    }
    if (g.tic > g.gate_drop_tic) return;
    set(INPUT_SIT_DAB, 1);
    if (!h.bike_position) return;
    if (length_squared(h.bike_position(s) - g.false_start_position) >= 9) {
        g.hold_counter = g.gate_drop_tic + 15 * TICS_PER_SECOND - g.tic;
        con_print("15 second false start penalty");
    }
}

void per_bike(GameState& g, const TicHooks& h, bool connected) {
    for (int s = 0; s < SLOT_COUNT; s++) {
        RiderSlot& slot = g.slots[size_t(s)];
        if (!slot.bike) continue;
        if (slot.kind == ROBOT && h.auto_pilot) h.auto_pilot(s);
        if (connected && slot.kind == REMOTE && slot.activity > 0)
            slot.activity = std::max(0.0f, slot.activity - float(TIC_SECONDS));
        if (connected && slot.kind == LOCAL) false_start(g, h, s);
        if (h.update_bike) h.update_bike(s);
        if ((!connected || slot.kind == LOCAL) && h.score_gates) h.score_gates(s);
    }
}

void sample_suspension(GameState& g, const TicHooks& h) {
    SuspensionGraph& graph = g.suspension;
    if (!graph.enabled || !h.sample_suspension) return;
    int v = g.viewed_slot;
    if (v < 0 || v >= SLOT_COUNT || !g.slots[size_t(v)].bike) return;  // nothing to sample
    if (!graph.started) {
        graph.samples.fill({});
        graph.index = 0;
        graph.started = true;
    }
    graph.samples[size_t(graph.index)] = h.sample_suspension(g.viewed_slot);
    graph.index = (graph.index + 1) % SUSPENSION_GRAPH_SAMPLES;
}
}  // namespace

void run_tic(GameState& g, const TicHooks& h) {
    bool connected = call_bool(h.connected);
    // 1. The track script sees the displayed tic.
    if (h.script_tic) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", std::max(0, g.tic - g.playback_delay));
        h.script_tic(text);
    }
    // 2. Remote riders from their histories.
    place_remote_riders(g, h, connected);
    // 3. Lap counts before the bikes move.
    int player_laps = 0, ghost_laps = 0;
    if (g.time_trial && h.completed_laps) {
        player_laps = h.completed_laps(0);
        ghost_laps = h.completed_laps(1);
    }
    // 4-6. Contacts, roost, the physics step.
    contacts(g, h, connected);
    emit_roost(g, h);
    if (h.world_step) h.world_step();
    // 7. Erosion from the bikes this computer drives.
    if (h.erode && h.erosion_rate && h.erosion_rate() > 0 && (!connected || g.race_place))
        for (int s = 0; s < SLOT_COUNT; s++)
            if (g.slots[size_t(s)].bike && g.slots[size_t(s)].kind != REMOTE) h.erode(s);
    // 8. Control and physics per bike.
    per_bike(g, h, connected);
    // 9-10. Flying roost, the starting gate.
    if (h.flying_roost) h.flying_roost();
    if (h.gate_animation && within_gate_window(g, g.playback_delay)) h.gate_animation();
    // 11. The counter; later steps see the value before the increment.
    int old_tic = g.tic++;
    // 12-13. Results, demo recording and read-ahead.
    if (connected && old_tic % 512 == 510 && !g.results_final && h.recompute_results) h.recompute_results();
    if (h.record_state) h.record_state();
    if (h.read_ahead) h.read_ahead();
    // 14. Time-trial laps.
    if (g.time_trial && h.completed_laps) {
        if (h.completed_laps(0) != player_laps) {
            if (h.close_time_trial_lap) h.close_time_trial_lap();
        } else if (h.completed_laps(1) != ghost_laps) {
            if (h.rewind_ghost_laps) h.rewind_ghost_laps();
        }
    }
    // 15. Suspension graph of the viewed bike.
    sample_suspension(g, h);
}

bool slot_hidden(const GameState& g, int slot, const TicHooks& h) {
    if (slot < 0 || slot >= SLOT_COUNT) return true;
    const RiderSlot& s = g.slots[size_t(slot)];
    if (!s.bike) return true;
    if (call_bool(h.connected) && g.local_slot == NO_SLOT && s.kind == LOCAL) return slot != g.viewed_slot;
    if (s.kind == LOCAL || s.kind == ROBOT) return false;
    HistoryPair p;
    if (!history_find(s.history, g.tic, p)) return true;
    if (g.tic < p.older->tic - TICS_PER_SECOND || g.tic > p.newer->tic + TICS_PER_SECOND) return true;
    return h.collisions_enabled ? !h.collisions_enabled(slot) : false;
}
