#include "core/core.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {
// Any non-null pointer marks a slot as holding a bike; the tic never looks inside.
Bike* fake_bike() {
    static int dummy;
    return reinterpret_cast<Bike*>(&dummy);
}

// Hooks that write the step they are in to a log.
TicHooks recording_hooks(std::vector<std::string>& log) {
    TicHooks h;
    auto note = [&log](std::string s) { log.push_back(std::move(s)); };
    h.script_tic = [=](const char* t) { note(std::string("script ") + t); };
    h.apply_states = [=](int s, const uint8_t*, const uint8_t*, const uint8_t*, int, int) { note("states " + std::to_string(s)); };
    h.completed_laps = [=](int s) { note("laps " + std::to_string(s)); return 0; };
    h.bike_speed = [](int s) { return float(s); };
    h.collide_objects = [=](int s, bool gate) { note((gate ? "gate " : "objects ") + std::to_string(s)); return false; };
    h.collide_bikes = [=](int a, int b, bool) { note("pair " + std::to_string(a) + " " + std::to_string(b)); return false; };
    h.emit_roost = [=](int s) { note("roost " + std::to_string(s)); };
    h.world_step = [=] { note("step"); };
    h.erosion_rate = [] { return 1024; };
    h.erode = [=](int s) { note("erode " + std::to_string(s)); };
    h.auto_pilot = [=](int s) { note("robot " + std::to_string(s)); };
    h.update_bike = [=](int s) { note("update " + std::to_string(s)); };
    h.score_gates = [=](int s) { note("gates " + std::to_string(s)); };
    h.flying_roost = [=] { note("flying"); };
    h.gate_animation = [=] { note("gate"); };
    h.recompute_results = [=] { note("results"); };
    h.record_state = [=] { note("record"); };
    h.read_ahead = [=] { note("read"); };
    h.sample_suspension = [=](int) { note("graph"); return SuspensionSample{}; };
    return h;
}

void occupy(GameState& g, size_t s, SlotKind kind) {
    g.slots[s].bike = fake_bike();
    g.slots[s].kind = kind;
}

void put_state(StateHistory& h, int tic, uint8_t mark) {
    uint8_t rec[STATE_RECORD_BYTES] = {mark};
    history_add(h, rec, tic);
}
}  // namespace

TEST(RunTic, StepsInOrderAndTheCounterRisesByOne) {
    auto g = new_game_state();
    g->tic = 5;
    g->gate_drop_tic = 1700;
    g->time_trial = true;
    occupy(*g, 0, LOCAL);
    occupy(*g, 2, ROBOT);
    occupy(*g, 4, REMOTE);
    put_state(g->slots[4].history, 4, 1);
    suspension_graph_enable(g->suspension, true);
    std::vector<std::string> log;
    run_tic(*g, recording_hooks(log));
    std::vector<std::string> expect = {
        "script 5", "states 4", "laps 0", "laps 1",
        "objects 0", "objects 2", "gate 4", "pair 0 2",
        "roost 4", "roost 0", "roost 2",  // rotation starts at 5 mod 3 = 2
        "step", "erode 0", "erode 2",
        "update 0", "gates 0", "robot 2", "update 2", "gates 2", "update 4", "gates 4",
        "flying", "gate", "record", "read", "laps 0", "laps 1", "graph"};
    EXPECT_EQ(log, expect);
    EXPECT_EQ(g->tic, 6);
}

TEST(RunTic, ContactsSortedBySpeedEachPairOnce) {
    auto g = new_game_state();
    for (int s = 0; s < SLOT_COUNT; s++) occupy(*g, size_t(s), s % 2 ? ROBOT : LOCAL);
    TicHooks h;
    h.bike_speed = [](int s) { return s < 80 ? 0.0f : float(200 - s); };  // half at rest
    std::set<std::pair<int, int>> pairs;
    int calls = 0;
    std::vector<int> first_of;
    h.collide_bikes = [&](int a, int b, bool one_sided) {
        EXPECT_FALSE(one_sided);
        pairs.insert({std::min(a, b), std::max(a, b)});
        calls++;
        if (first_of.empty() || first_of.back() != a) first_of.push_back(a);
        return false;
    };
    run_tic(*g, h);
    EXPECT_EQ(calls, SLOT_COUNT * (SLOT_COUNT - 1) / 2);
    EXPECT_EQ(pairs.size(), size_t(calls));
    // Slowest first: the moving bikes come last, fastest (slot 80) at the end.
    EXPECT_EQ(first_of.back(), 81);
}

TEST(RunTic, RemoteRidersFromTheirHistories) {
    auto g = new_game_state();
    occupy(*g, 3, REMOTE);
    StateHistory& hist = g->slots[3].history;
    put_state(hist, 100, 10);
    put_state(hist, 104, 20);
    struct Applied {
        int state, older, newer, distance, version;
        float f;
    } last{};
    TicHooks h;
    h.blend_states = [&](const uint8_t*, const uint8_t*, float f, uint8_t* out) {
        last.f = f;
        out[0] = 99;
    };
    h.apply_states = [&](int, const uint8_t* s, const uint8_t* a, const uint8_t* b, int d, int v) {
        last.state = s[0], last.older = a[0], last.newer = b[0], last.distance = d, last.version = v;
    };
    g->tic = 102;
    run_tic(*g, h);
    EXPECT_FLOAT_EQ(last.f, 0.5f);
    EXPECT_EQ(last.state, 99);
    EXPECT_EQ(last.distance, 4);
    EXPECT_EQ(last.version, 5);  // states from a server
    // 100 tics after the newest state: extrapolated only 64 tics past it.
    g->tic = 204;
    run_tic(*g, h);
    EXPECT_FLOAT_EQ(last.f, (104 + 64 - 100) / 4.0f);
    // Before the oldest state: the oldest is shown as it is.
    g->tic = 50;
    last.f = -1;
    run_tic(*g, h);
    EXPECT_EQ(last.state, 10);
    EXPECT_EQ(last.f, -1);
    // Two entries for one tic (a repeated datagram): the older state, no division.
    hist.entries[size_t(hist.newest)].tic = 100;
    g->tic = 150;
    run_tic(*g, h);
    EXPECT_EQ(last.state, 10);
    EXPECT_EQ(last.f, -1);
    // A version-4 demo is never interpolated.
    hist = StateHistory{};
    put_state(hist, 100, 10);
    put_state(hist, 104, 20);
    g->demo_version = 4;
    g->tic = 102;
    run_tic(*g, h);
    EXPECT_EQ(last.state, 10);
    EXPECT_EQ(last.version, 4);
}

TEST(RunTic, FalseStartHoldsTheBikeOnce) {
    auto g = new_game_state();
    g->gate_drop_tic = 1700;
    g->local_slot = 0;
    g->race_place = true;
    occupy(*g, 0, LOCAL);
    g->false_start_position = {10, 0, 10};
    Vec3 pos{10, 0, 10};
    float front_brake = 0;
    TicHooks h;
    h.connected = [] { return true; };
    h.bike_position = [&](int) { return pos; };
    h.inputs.set = [&](int, BikeInput in, float v) {
        if (in == INPUT_FRONT_BRAKE) front_brake = v;
    };
    console_reset_count();
    g->tic = 1000;
    run_tic(*g, h);
    EXPECT_EQ(g->hold_counter, 0);
    pos.z = 13;  // three units forward
    run_tic(*g, h);
    EXPECT_EQ(console_last_messages(1), "15 second false start penalty");
    EXPECT_EQ(g->hold_counter, 1700 + 1920 - 1001);
    int messages = console_message_count();
    while (g->tic < 1700 + 1920 + 10) run_tic(*g, h);
    EXPECT_EQ(console_message_count(), messages);  // said once
    EXPECT_EQ(g->hold_counter, 0);
    EXPECT_EQ(front_brake, 1);  // held until 15 s after the drop
}

TEST(RunTic, SuspensionGraphRingWraps) {
    auto g = new_game_state();
    TicHooks h;
    float n = 0;
    h.sample_suspension = [&](int) { return SuspensionSample{n++, 0, 0, 0, 0, 0}; };
    run_tic(*g, h);
    EXPECT_FLOAT_EQ(n, 0);  // off: nothing sampled
    suspension_graph_enable(g->suspension, true);
    run_tic(*g, h);
    EXPECT_FLOAT_EQ(n, 0);  // no viewed bike: nothing sampled
    occupy(*g, 0, LOCAL);
    for (int i = 0; i < SUSPENSION_GRAPH_SAMPLES + 3; i++) run_tic(*g, h);
    EXPECT_EQ(g->suspension.index, 3);
    EXPECT_FLOAT_EQ(g->suspension.samples[0].fork_position, float(SUSPENSION_GRAPH_SAMPLES));
    suspension_graph_enable(g->suspension, true);  // enabling again starts a clean ring
    run_tic(*g, h);
    EXPECT_EQ(g->suspension.index, 1);
    EXPECT_FLOAT_EQ(g->suspension.samples[1].fork_position, 0);

    EXPECT_FLOAT_EQ(low_speed_share(-2, 3, 6), 0.5f);
    EXPECT_FLOAT_EQ(low_speed_share(0, 3, 0), 1.0f);
}

TEST(SlotHidden, Rules) {
    auto g = new_game_state();
    TicHooks h;
    bool connected = false, enabled = true;
    h.connected = [&] { return connected; };
    h.collisions_enabled = [&](int) { return enabled; };
    EXPECT_TRUE(slot_hidden(*g, 0, h));  // no bike
    occupy(*g, 0, LOCAL);
    occupy(*g, 1, ROBOT);
    occupy(*g, 2, REMOTE);
    EXPECT_FALSE(slot_hidden(*g, 0, h));
    EXPECT_FALSE(slot_hidden(*g, 1, h));
    connected = true;  // without a race place: the local rider only when viewed
    g->viewed_slot = 1;
    EXPECT_TRUE(slot_hidden(*g, 0, h));
    g->viewed_slot = 0;
    EXPECT_FALSE(slot_hidden(*g, 0, h));
    EXPECT_TRUE(slot_hidden(*g, 2, h));  // remote with no states
    put_state(g->slots[2].history, 1000, 0);
    put_state(g->slots[2].history, 1004, 0);
    struct Case {
        int tic;
        bool enabled, hidden;
    } cases[] = {{871, true, true}, {872, true, false}, {1002, true, false}, {1132, true, false},
                 {1133, true, true}, {1002, false, true}};
    for (const Case& c : cases) {
        g->tic = c.tic;
        enabled = c.enabled;
        EXPECT_EQ(slot_hidden(*g, 2, h), c.hidden) << c.tic;
    }
    EXPECT_TRUE(slot_hidden(*g, 160, h));
}

TEST(GameState, AddStateRefusesSlotsOutOfRange) {
    auto g = new_game_state();
    uint8_t rec[STATE_RECORD_BYTES] = {};
    EXPECT_TRUE(add_state(*g, 159, rec, 4));
    EXPECT_FALSE(add_state(*g, 160, rec, 4));
    EXPECT_EQ(console_last_messages(1), "add_state_to_history: slot out of range");
    EXPECT_FALSE(add_state(*g, -1, rec, 4));
    for (const RiderSlot& s : g->slots) EXPECT_EQ(s.kind, REMOTE);
}
