#include "core/core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

TEST(Reset, GateDropAlwaysBetween13And15Seconds) {
    Mt19937 r;
    int lo = 1 << 30, hi = 0;
    std::set<int> seen;
    for (uint32_t seed = 0; seed < 2000; seed++) {
        mt_seed(r, seed);
        shuffle_roster(r);
        int t = draw_gate_drop_tic(r);
        lo = std::min(lo, t);
        hi = std::max(hi, t);
        seen.insert(t);
    }
    EXPECT_GE(lo, 1664);
    EXPECT_LT(hi, 1920);
    EXPECT_GT(seen.size(), 200u);  // spread over the range, different each reset
}

TEST(Reset, RosterShuffleIsAPermutationFixedBySeed) {
    Mt19937 a, b;
    mt_seed(a, 42);
    mt_seed(b, 42);
    std::array<int, ROSTER_SIZE> x = shuffle_roster(a), y = shuffle_roster(b);
    EXPECT_EQ(x, y);
    std::array<int, ROSTER_SIZE> sorted = x;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < ROSTER_SIZE; i++) EXPECT_EQ(sorted[size_t(i)], i);
    mt_seed(a, 43);
    EXPECT_NE(shuffle_roster(a), x);
}

TEST(Reset, RosterNumbersAndBikes) {
    struct Case {
        int number;
        const char* bike;
    } cases[] = {{20, "kx125"}, {25, "yz125"}, {34, "cr125"}, {39, "rm125"}, {40, "crf250"}, {45, "kx250f"},
                 {50, "rmz250"}, {58, "yz250f"}, {59, "yz250f_se(2006)"}, {79, "yz250f_se(2006)"}, {99, "yz250f"}};
    for (const Case& c : cases) {
        const RosterEntry& e = roster_entry(c.number - 20);
        EXPECT_EQ(std::string(e.number), std::to_string(c.number));
        EXPECT_STREQ(e.bike, c.bike) << c.number;
        EXPECT_GE(e.personality, 1);
        EXPECT_LE(e.personality, 3);
    }
    EXPECT_EQ(full_bike_model("kx250f"), "kx250f(2008)");
    EXPECT_EQ(full_bike_model("yz250f_se(2006)"), "yz250f_se(2006)");
    EXPECT_EQ(full_bike_model("rm125"), "rm125");
}

TEST(Reset, StartListCodes) {
    Mt19937 r;
    mt_seed(r, 7);
    std::array<int, ROSTER_SIZE> order = shuffle_roster(r);
    StartList list{};
    list[3] = START_HUMAN;
    list[5] = START_HUMAN;  // a second human: cleared
    list[6] = START_ROBOT_125;
    list[7] = START_ROBOT_250;
    list[8] = START_ROSTER + 25;
    list[9] = START_ROSTER + 5;  // no such rider
    list[10] = 17;               // unknown code: a bare bike
    list[11] = START_ROBOT;
    list[12] = START_SERVER;
    EXPECT_EQ(settle_start_list(list), 3);
    EXPECT_EQ(list[5], START_EMPTY);
    PlanInputs in;
    in.player_bike = "yz250f(2017)";
    in.demo_riders = 2;
    std::array<SlotPlan, SLOT_COUNT> plans = plan_slots(list, order, in);
    int locals = 0;
    for (const SlotPlan& p : plans) locals += p.create && p.kind == LOCAL;
    EXPECT_EQ(locals, 1);
    EXPECT_EQ(plans[3].kind, LOCAL);
    EXPECT_EQ(plans[3].number, "999");
    EXPECT_EQ(plans[3].bike, "yz250f(2017)");
    // Code 0 takes the demo's riders in order while any remain.
    EXPECT_EQ(plans[0].demo_rider, 0);
    EXPECT_EQ(plans[1].demo_rider, 1);
    EXPECT_FALSE(plans[2].create);
    EXPECT_FALSE(plans[5].create);
    EXPECT_NE(plans[6].bike.find("125"), std::string::npos);
    EXPECT_NE(plans[7].bike.find("250"), std::string::npos);
    EXPECT_EQ(plans[8].number, "25");
    EXPECT_EQ(plans[8].bike, "yz125");
    EXPECT_EQ(plans[9].kind, ROBOT);
    EXPECT_EQ(plans[9].number, "5");
    EXPECT_FALSE(plans[9].bike.empty());
    EXPECT_EQ(plans[10].bike, "rm125");
    EXPECT_TRUE(plans[10].skins[0].empty());
    EXPECT_EQ(plans[11].kind, ROBOT);
    EXPECT_EQ(plans[12].kind, REMOTE);
    EXPECT_TRUE(plans[12].create);
    // Robots from the shuffled roster are all different while entries last.
    std::set<int> used;
    for (const SlotPlan& p : plans)
        if (p.roster >= 0) {
            EXPECT_TRUE(used.insert(p.roster).second) << p.roster;
        }

    StartList full{};
    full.fill(START_ROBOT);
    in.practice = true;
    plans = plan_slots(full, order, in);
    for (const SlotPlan& p : plans) {
        EXPECT_EQ(p.kind, ROBOT);
        EXPECT_EQ(p.personality, PERSONALITY_TESTER);
    }
    EXPECT_EQ(plans[80].roster, plans[0].roster);  // 160 robots: the roster rides twice
    StartList none{};
    EXPECT_EQ(settle_start_list(none), 0);
}

TEST(Reset, StartPlaces) {
    std::vector<GatePart> gates;
    for (int i = 0; i < 8; i++) gates.push_back({100.0f + 2 * i, 5, 50, 0.5f});
    // Slot 9 stands in the second row behind gate 1, 10.625 units from it.
    StartPlace p = start_place(9, gates, 256);
    EXPECT_NEAR(std::hypot(p.x - gates[1].x, p.z - gates[1].z), 10.625f, 1e-4);
    EXPECT_NEAR(p.x, 102 + std::sin(0.5f) * 10.625f, 1e-4);
    EXPECT_NEAR(p.z, 50 + std::cos(0.5f) * 10.625f, 1e-4);
    EXPECT_FLOAT_EQ(p.angle, 0.5f);
    p = start_place(0, gates, 256);
    EXPECT_NEAR(std::hypot(p.x - gates[0].x, p.z - gates[0].z), 0.625f, 1e-5);
    // No starting gate: a line from the middle of the track.
    p = start_place(3, {}, 256);
    EXPECT_FLOAT_EQ(p.x, 128 + 15);
    EXPECT_FLOAT_EQ(p.z, 128);
    EXPECT_FLOAT_EQ(p.angle, 0);
    // Server races, also on a track without a starting gate (never a modulo by 0).
    p = server_start_place(-1, gates, 256);
    EXPECT_NEAR(std::hypot(p.x - gates[0].x, p.z - gates[0].z), 0.625f, 1e-5);
    p = server_start_place(10, {}, 256);
    EXPECT_FLOAT_EQ(p.x, 128 + 50);
    p = server_other_place(0, 3, gates, 256);  // numbered after the gates: second row
    EXPECT_NEAR(std::hypot(p.x - gates[0].x, p.z - gates[0].z), 10.625f, 1e-4);
    StartPlace a = server_other_place(1, 9, gates, 256);
    StartPlace b = server_start_place(9, gates, 256);
    EXPECT_FALSE(a.x == b.x && a.z == b.z);  // never on the local rider's place
    p = server_other_place(2, -1, {}, 256);
    EXPECT_FLOAT_EQ(p.x, 128 + 10);
}

TEST(Reset, ObjectGridFindsNearbyObjects) {
    std::vector<ObjectBounds> objects = {{10, 10, 2}, {100, 100, 30}, {250, 5, 1}, {-40, 300, 5}};
    ObjectGrid g = build_object_grid(objects, 256);
    EXPECT_EQ(g.cells, 16);
    std::vector<int> near;
    objects_near(g, 11, 9, 3, near);
    EXPECT_EQ(near, (std::vector<int>{0}));
    objects_near(g, 125, 100, 3, near);  // inside the big object's reach
    EXPECT_EQ(near, (std::vector<int>{1}));
    objects_near(g, 0, 255, 3, near);    // objects outside the extent sit at its edge
    EXPECT_EQ(near, (std::vector<int>{3}));
    objects_near(g, 128, 128, 500, near);
    EXPECT_EQ(near, (std::vector<int>{0, 1, 2, 3}));
    objects_near(g, std::nanf(""), 10, 1, near);  // never out of the grid
    ObjectGrid empty = build_object_grid({}, 0);
    objects_near(empty, 5, 5, 5, near);
    EXPECT_TRUE(near.empty());
}

TEST(Reset, TrackDigestOrder) {
    std::map<std::string, std::string> files = {
        {"@t/terrain.hf", "HF"}, {"@t/tileinfo", "TI"}, {"@t/timing_gates", "TG"}, {"@t/statues", "ST"},
        {"@gate.qm", "GQ"}, {"@tree.qm", "TQ"}};
    std::vector<std::string> reads;
    ReadWholeFile read = [&](const std::string& path, std::string& bytes) {
        reads.push_back(path);
        auto it = files.find(path);
        if (it == files.end()) return false;
        bytes = it->second;
        return true;
    };
    Digest160 d = track_digest("t", {"@gate.qm", "@tree.qm", "@gate.qm"}, read);
    std::vector<std::string> expect = {"@t/terrain.hf", "@t/terrain.png", "@t/texturelist", "@t/tilemap",
                                       "@t/tileinfo", "@t/nofrills.js", "@t/timing_gates", "@t/statues",
                                       "@gate.qm", "@tree.qm"};
    EXPECT_EQ(reads, expect);
    std::string all = "HFTITGSTGQTQ";  // missing files add nothing
    EXPECT_EQ(d, ripemd160(all.data(), all.size()));
}
