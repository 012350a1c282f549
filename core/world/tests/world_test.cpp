// Races on the generated default track (and a tiny flat track without a
// starting gate) through reset_track and the tic over the real modules.
#include "core/world/world_local.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;

// Every test gets its own home folder, so no user's configuration or files
// take part; the data folder is the generated tree (QZ_HOME).
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::temp_directory_path() / ("world_test_" + std::to_string(::getpid()));
        fs::create_directories(home);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        reset_search_folders();
        ASSERT_TRUE(world_start(w));
        console_reset_count();
    }
    void TearDown() override {
        world_shutdown(w);
        reset_search_folders();
        fs::remove_all(home);
    }

    void reset(const StartList& list, uint32_t seed, const std::string& track = "veviredoze") {
        w.selected_track = track;
        ResetRequest req;
        req.start_list = &list;
        req.laps = 3;
        req.seed = seed;
        world_reset(w, req, world_reset_hooks(w));
    }

    // n riders on one model (roster number 20 is a "kx125").
    static StartList same_bikes(int n) {
        StartList list{};
        for (int s = 0; s < n; s++) list[size_t(s)] = START_ROSTER + 20;
        return list;
    }

    // Runs the race for `tics`, every rider on the same controls.
    void ride(int tics, const ControlVector& c) {
        TicHooks h = world_tic_hooks(w);
        std::array<ControlState, SLOT_COUNT> states{};
        h.auto_pilot = [&](int slot) { world_apply_controls(w, slot, states[size_t(slot)], c); };
        for (int t = 0; t < tics; t++) world_tic(w, h);
    }

    // How far the rider is ahead of its start place along its gate's facing.
    float ahead_of_start(int slot) {
        StartPlace at = start_place(slot, w.track.state.gates, w.track.state.extent);
        Vec3 p = world_frame_position(w, slot);
        return -(p.x - at.x) * std::sin(at.angle) - (p.z - at.z) * std::cos(at.angle);
    }

    fs::path home;
    World w;
};

ControlVector throttle(float t) {
    ControlVector c;
    c.v[CONTROL_THROTTLE] = t;
    return c;
}

TEST_F(WorldTest, ResetPlacesEveryBikeBehindTheGateAndClearOfTheGround) {
    reset(same_bikes(48), 1);
    const TrackState& t = w.track.state;
    ASSERT_EQ(t.dir, "veviredoze");
    ASSERT_EQ(t.gates.size(), 40u);
    EXPECT_EQ(w.track.terrain.vertices_per_side > 0, true);
    // The digest is taken over the files in their order while loading.
    std::vector<std::string> models;
    for (const GateObject& o : w.track.gate) models.push_back(o.model);
    EXPECT_EQ(digest_hex(t.digest), digest_hex(track_digest("veviredoze", models, read_whole_data_file)));
    EXPECT_GE(w.game->gate_drop_tic, 1664);
    EXPECT_LT(w.game->gate_drop_tic, 1920);
    EXPECT_EQ(w.game->tic, 0);
    for (int s = 0; s < SLOT_COUNT; s++) {
        SCOPED_TRACE(s);
        if (s >= 48) {
            EXPECT_EQ(world_bike(w, s), nullptr);
            continue;
        }
        ASSERT_NE(world_bike(w, s), nullptr);
        EXPECT_EQ(w.game->slots[size_t(s)].kind, ROBOT);
        EXPECT_FALSE(world_bike_touches_ground(w, s));
    }
    // With 40 gates, slot 49's place is gate 9's second row: 10 ft further
    // back than slot 9, at the same height on the flat pad.
    reset(same_bikes(50), 2);
    Vec3 first = world_frame_position(w, 9), second = world_frame_position(w, 49);
    float a = t.gates[9].angle;
    EXPECT_NEAR(second.x - first.x, 10 * std::sin(a), 0.01);
    EXPECT_NEAR(second.z - first.z, 10 * std::cos(a), 0.01);
    EXPECT_NEAR(second.y, first.y, 0.01);
    EXPECT_EQ(console_message_count(), 0) << console_last_messages(5);
}

TEST_F(WorldTest, TwoHumanCodesGiveOneLocalRider) {
    StartList list{};
    list[3] = START_HUMAN;
    list[7] = START_HUMAN;
    list[9] = START_ROBOT;
    reset(list, 3);
    EXPECT_EQ(w.game->viewed_slot, 3);
    ASSERT_NE(world_bike(w, 3), nullptr);
    EXPECT_EQ(w.game->slots[3].kind, LOCAL);
    EXPECT_EQ(world_bike(w, 7), nullptr);
    EXPECT_EQ(w.game->slots[7].kind, REMOTE);
    EXPECT_EQ(w.game->slots[9].kind, ROBOT);
    int bikes = 0;
    for (int s = 0; s < SLOT_COUNT; s++) bikes += world_bike(w, s) != nullptr;
    EXPECT_EQ(bikes, 2);
}

// How upright a bike's frame stands: its up axis against world up.
float uprightness(const Bike& b) {
    dVector3 up;
    dBodyVectorToWorld(b.bodies[FRAME], 0, 1, 0, up);
    return float(up[1]);
}

TEST_F(WorldTest, TheLocalRiderGetsThePlayersSetupAndStaysUpAtTheGate) {
    StartList list{};
    list[0] = START_HUMAN;
    list[1] = START_ROSTER + 20;
    reset(list, 5);
    Bike* local = world_bike(w, 0);
    Bike* robot = world_bike(w, 1);
    ASSERT_TRUE(local && robot);
    EXPECT_TRUE(local->tuning.auto_dab);   // the rider setup's "Dab When Stopped"
    EXPECT_FALSE(robot->tuning.auto_dab);  // robots keep their own tuning
    ride(1500, ControlVector{});           // about 12 s standing behind the gate
    EXPECT_GT(uprightness(*local), 0.9f);
}

TEST_F(WorldTest, ASecondResetKeepsTheGroundAndTheDigest) {
    reset(same_bikes(2), 4);
    Digest160 digest = w.track.state.digest;
    const float* heights = w.track.terrain.heights.data();
    // Ground deformation of one race stays for the next on the same track.
    set_terrain_vertex_height(w.track.terrain, 5, 5, 12.5f);
    int drop = w.game->gate_drop_tic;
    bool other_drop = false;
    for (uint32_t seed = 5; seed < 9; seed++) {
        reset(same_bikes(2), seed);
        EXPECT_EQ(w.track.terrain.heights.data(), heights);
        EXPECT_EQ(terrain_vertex_height(w.track.terrain, 5, 5), 12.5f);
        EXPECT_EQ(w.track.state.digest, digest);
        EXPECT_GE(w.game->gate_drop_tic, 1664);
        EXPECT_LT(w.game->gate_drop_tic, 1920);
        other_drop = other_drop || w.game->gate_drop_tic != drop;
        EXPECT_NE(world_bike(w, 1), nullptr);
        EXPECT_EQ(world_bike(w, 2), nullptr);
    }
    EXPECT_TRUE(other_drop);
}

// A bike pushing against a part keeps it up (the part rests against it), so
// the riders wait with the throttle closed for the drop.
TEST_F(WorldTest, TheGateHoldsRidersUntilItDrops) {
    reset(same_bikes(3), 6);
    w.game->gate_drop_tic = 384;  // 3 s in, so the test stays short
    ride(320, throttle(0.5f));
    for (int s = 0; s < 3; s++) {
        EXPECT_LT(ahead_of_start(s), 2.5f) << s;  // the plate stands a foot ahead of the front tire
        EXPECT_FALSE(rider_crashed(*world_bike(w, s))) << s;
    }
    reset(same_bikes(3), 6);
    w.game->gate_drop_tic = 384;
    ride(384, ControlVector{});
    ride(640, throttle(0.5f));
    for (int s = 0; s < 3; s++) EXPECT_GT(ahead_of_start(s), 20.0f) << s;
    for (const GateObject& o : w.track.gate) EXPECT_EQ(o.fraction, 0.0f);
    EXPECT_TRUE(world_bodies_finite(w));
}

TEST_F(WorldTest, TheSameSceneTwiceGivesTheSameHash) {
    auto run = [&](float t) {
        reset(same_bikes(4), 7);
        w.game->gate_drop_tic = 64;
        ride(512, throttle(t));
        EXPECT_TRUE(world_bodies_finite(w));
        return digest_hex(world_body_hash(w));
    };
    std::string first = run(0.6f);
    EXPECT_EQ(run(0.6f), first);
    EXPECT_NE(run(0.5f), first);
}

// Roost draws from the reset's generator: the same seed throws the same
// roost however many races came before; another seed, other roost.
TEST_F(WorldTest, TheSameSeedThrowsTheSameRoost) {
    auto run = [&](uint32_t seed) {
        reset(same_bikes(2), seed);
        w.game->gate_drop_tic = 64;
        ride(256, throttle(1));
        std::vector<float> positions;
        for (int i = roost_active_first(); i >= 0; i = roost_particle(i).next) {
            Vec3 p = roost_particle(i).position;
            positions.insert(positions.end(), {p.x, p.y, p.z});
        }
        return positions;
    };
    std::vector<float> first = run(11);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(run(11), first);
    EXPECT_NE(run(12), first);
}

// A flat track with no starting gate: riders stand in a line from the middle,
// and a server race place (taken modulo the gate count elsewhere) is safe.
TEST_F(WorldTest, WithoutAStartingGateRidersLineUpFromTheMiddle) {
    Terrain flat;
    ASSERT_TRUE(make_terrain(flat, 4, 4, {}));
    fs::path dir = home / "Rutline" / "flatland";
    fs::create_directories(dir);
    ASSERT_EQ(save_terrain_to(flat, [&](const char* name, const std::string& bytes) {
                  std::ofstream(dir / name, std::ios::binary) << bytes;
                  return true;
              }),
              1);
    std::string tiles;
    ASSERT_TRUE(read_whole_data_file("@veviredoze/tileinfo", tiles));
    std::ofstream(dir / "tileinfo", std::ios::binary) << tiles;
    reset_search_folders();
    reset(same_bikes(3), 8, "flatland");
    ASSERT_EQ(w.track.state.dir, "flatland") << console_last_messages(5);
    EXPECT_TRUE(w.track.state.gates.empty());
    // Same model, angle 0: the frames stand 5 ft apart along x, the first
    // near the middle.
    float half = w.track.terrain.extent / 2;
    Vec3 first = world_frame_position(w, 0);
    EXPECT_NEAR(first.x, half, 0.5);
    EXPECT_NEAR(first.z, half, 5.0);  // the frame sits a few feet back of the bike's origin
    for (int s = 0; s < 3; s++) {
        SCOPED_TRACE(s);
        ASSERT_NE(world_bike(w, s), nullptr);
        Vec3 p = world_frame_position(w, s);
        EXPECT_NEAR(p.x - first.x, 5.0f * float(s), 1e-3);
        EXPECT_NEAR(p.z, first.z, 1e-3);
        EXPECT_FALSE(world_bike_touches_ground(w, s));
    }
    // A server race with a race place and other riders.
    StartList list{};
    list[0] = START_HUMAN;
    list[1] = list[2] = START_SERVER;
    ResetRequest req;
    req.start_list = &list;
    req.server_race = true;
    req.server_track = "flatland";
    req.server_gate_drop_tic = 1700;
    req.local_place = 5;
    world_reset(w, req, world_reset_hooks(w));
    for (int s = 0; s < 3; s++) EXPECT_NE(world_bike(w, s), nullptr) << s;
    ride(64, ControlVector{});
    EXPECT_TRUE(world_bodies_finite(w));
}

TEST(StartingGate, PartsFromTheTimingGatesText) {
    std::string text =
        "startinggate:\n"
        "[ 10 0 20 ] 0 @a.qm\n"
        "[ 14 0 20 ] 7.0 @b.qm @b.ppm null\n"
        "[ 18 nan 20 ] 0\n"
        "[ 22 0 20 ] 0\n"
        "checkpoints:\n";
    std::vector<GateObject> gate = parse_starting_gate(text);
    ASSERT_EQ(gate.size(), 2u);  // the part that is not a number ends the gate
    EXPECT_EQ(gate[0].model, "@a.qm");
    EXPECT_NEAR(gate[1].part.angle, 7.0 - 2 * M_PI, 1e-5);  // wrapped into [-pi, pi]
    EXPECT_EQ(gate[1].shape, nullptr);                      // "null": no collisions
    EXPECT_TRUE(parse_starting_gate("checkpoints:\n1 [0 0 0] [1 0 0]\n").empty());
    std::string many = "startinggate:\n";
    for (int i = 0; i < 170; i++) many += "[ 1 0 1 ] 0\n";
    EXPECT_EQ(parse_starting_gate(many).size(), 160u);
}

}  // namespace
