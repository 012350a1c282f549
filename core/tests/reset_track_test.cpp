#include "core/core.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <cstring>
#include <string>

namespace {
// A three-gate track on flat ground 2 units high; a bike intersects the
// ground while its base is below 2.6.
struct FakeWorld {
    std::map<std::string, std::string> files = {{"@flat/terrain.hf", "heights"}, {"@flat/timing_gates", "gates"},
                                                {"@flat/statues", "statues"}, {"@gate.qm", "model"}};
    int terrain_loads = 0;
    int next_bike = 1;
    std::set<int> live;  // bike ids alive
    std::map<int, Vec3> pos;
    std::vector<int> fail_slots;
    std::vector<std::string> order;
    std::map<int, int> ids;  // slot -> bike id of the current race

    ResetHooks hooks() {
        ResetHooks h;
        h.show_status = [this](const char* t) { order.push_back(t); };
        h.read = [this](const std::string& p, std::string& bytes) {
            auto it = files.find(p);
            if (it == files.end()) return false;
            bytes = it->second;
            return true;
        };
        h.selected_track = [] { return std::string("flat"); };
        h.load_terrain = [this](TrackState& t) {
            terrain_loads++;
            t.extent = 128;
            return t.dir != "broken";
        };
        h.load_timing_gates = [](TrackState& t) {
            for (int i = 0; i < 3; i++) t.gates.push_back({60.0f + 2 * i, 2, 40, 0});
        };
        h.object_bounds = [] { return std::vector<ObjectBounds>{{60, 37, 4}}; };
        h.object_models = [] { return std::vector<std::string>{"@gate.qm", "@gate.qm"}; };
        h.create_bike = [this](int slot, const SlotPlan&) -> Bike* {
            for (int f : fail_slots)
                if (f == slot) return nullptr;
            int id = next_bike++;
            live.insert(id);
            ids[slot] = id;
            return reinterpret_cast<Bike*>(intptr_t(id));
        };
        h.destroy_bike = [this](int, Bike* b) { live.erase(int(reinterpret_cast<intptr_t>(b))); };
        h.ground_height = [](float, float) { return 2.0f; };
        h.place_bike = [this](int slot, float x, float y, float z, float) { pos[slot] = {x, y, z}; };
        h.intersects_ground = [this](int slot) { return pos[slot].y < 2.6f; };
        h.bike_position = [this](int slot) { return pos[slot]; };
        return h;
    }
};

ResetRequest race(const StartList* list, uint32_t seed = 1) {
    ResetRequest r;
    r.start_list = list;
    r.laps = 3;
    r.seed = seed;
    return r;
}
}  // namespace

TEST(ResetTrack, LoadsOncePlacesBikesAndKeepsTheDigest) {
    FakeWorld w;
    TrackState track;
    std::unique_ptr<GameState> g;
    StartList list{};
    list[0] = START_ROBOT;
    list[1] = START_HUMAN;
    list[2] = START_HUMAN;  // a second human: one local rider only
    list[4] = START_ROBOT_250;
    reset_track(g, track, race(&list), w.hooks());
    ASSERT_EQ(track.dir, "flat");
    EXPECT_EQ(w.terrain_loads, 1);
    Ripemd160 d;
    ripemd160_init(d);
    for (const char* part : {"heights", "gates", "statues", "model"}) ripemd160_update(d, part, std::strlen(part));
    EXPECT_EQ(track.digest, ripemd160_final(d));
    EXPECT_EQ(g->tic, 0);
    EXPECT_GE(g->gate_drop_tic, 1664);
    EXPECT_LT(g->gate_drop_tic, 1920);
    EXPECT_EQ(g->viewed_slot, 1);
    EXPECT_EQ(g->slots[1].kind, LOCAL);
    EXPECT_FALSE(g->slots[2].bike);
    EXPECT_EQ(g->slots[0].kind, ROBOT);
    EXPECT_EQ(g->slots[4].kind, ROBOT);
    EXPECT_EQ(g->finish_lap, 3);
    EXPECT_EQ(g->halfway_lap, 2);
    for (int s : {0, 1, 4}) {
        EXPECT_GE(w.pos[s].y, 2.6f) << s;  // settled out of the ground
        EXPECT_LT(w.pos[s].y, 2.6f + 0.25f + 1e-4f);
    }
    EXPECT_FLOAT_EQ(w.pos[4].x, 62);  // slot 4: gate 1, second row
    EXPECT_FLOAT_EQ(w.pos[4].z, 40 + 10.625f);
    EXPECT_FLOAT_EQ(g->false_start_position.y, w.pos[1].y);
    EXPECT_EQ(track.grid.cells, 8);

    Digest160 first = track.digest;
    int gate_drop = g->gate_drop_tic;
    reset_track(g, track, race(&list, 2), w.hooks());
    EXPECT_EQ(w.terrain_loads, 1);  // same track: not loaded again
    EXPECT_EQ(track.digest, first);
    EXPECT_EQ(w.live.size(), 3u);   // the first race's bikes are gone
    EXPECT_NE(g->gate_drop_tic, gate_drop);

    ResetRequest forced = race(&list);
    forced.force_reload = true;
    reset_track(g, track, forced, w.hooks());
    EXPECT_EQ(w.terrain_loads, 2);
    EXPECT_EQ(track.digest, first);
}

TEST(ResetTrack, TimeTrialFailuresAndRaceOnTime) {
    FakeWorld w;
    TrackState track;
    std::unique_ptr<GameState> g;
    reset_track(g, track, race(nullptr), w.hooks());
    EXPECT_TRUE(g->time_trial);
    EXPECT_EQ(g->tic, 38400);
    EXPECT_EQ(g->slots[0].kind, LOCAL);
    int bikes = 0;
    for (const RiderSlot& s : g->slots) bikes += s.bike != nullptr;
    EXPECT_EQ(bikes, 1);

    StartList list{};
    list[0] = list[1] = START_ROBOT;
    w.fail_slots = {1};
    ResetRequest timed = race(&list);
    timed.race_length_tics = 600 * 128;
    reset_track(g, track, timed, w.hooks());
    EXPECT_EQ(g->slots[1].kind, REMOTE);  // could not be created: empty
    EXPECT_FALSE(g->slots[1].bike);
    EXPECT_EQ(g->finish_lap, 1000000);

    ResetHooks broken = w.hooks();
    broken.selected_track = [] { return std::string("broken"); };
    reset_track(g, track, race(&list), broken);
    EXPECT_TRUE(track.dir.empty());  // a failed terrain load: no track
}

TEST(ResetTrack, ServerRaceWithoutAStartingGate) {
    FakeWorld w;
    ResetHooks h = w.hooks();
    h.load_timing_gates = [](TrackState&) {};  // no starting gate
    TrackState track;
    std::unique_ptr<GameState> g;
    StartList list{};
    list[0] = START_HUMAN;
    list[1] = list[2] = START_SERVER;
    ResetRequest req = race(&list);
    req.server_race = true;
    req.server_gate_drop_tic = 1800;
    req.server_track = "flat";
    req.local_place = 4;
    reset_track(g, track, req, h);
    EXPECT_EQ(g->gate_drop_tic, 1800);
    EXPECT_EQ(g->playback_delay, 0);
    EXPECT_FLOAT_EQ(w.pos[0].x, 64 + 20);  // place 4 in the line from the middle
    EXPECT_FLOAT_EQ(w.pos[1].x, 64);
    EXPECT_FLOAT_EQ(w.pos[2].x, 64 + 5);
    req.local_place = -1;
    reset_track(g, track, req, h);
    EXPECT_EQ(g->playback_delay, 127);
    EXPECT_FALSE(g->race_place);
}
