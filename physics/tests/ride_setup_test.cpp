// Rider setup values: the stability preset, file reading and writing under
// "setups/", clamps, legacy names, and conversion into a bike's tuning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/files.h"
#include "physics/physics.h"

namespace fs = std::filesystem;

namespace {

class RideSetup : public ::testing::Test {
protected:
    fs::path home;
    void SetUp() override {
        home = fs::temp_directory_path() / ("ride_setup_" + std::to_string(::getpid()));
        fs::remove_all(home);
        fs::create_directories(home / "Rutline" / "setups");
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        reset_search_folders();
        reset_rider_setup();
    }
    void TearDown() override {
        fs::remove_all(home);
        reset_rider_setup();
    }
    void put(const char* name, const std::string& text) {
        std::ofstream(home / "Rutline" / "setups" / name, std::ios::binary) << text;
    }
};

TEST_F(RideSetup, StabilityPresetPoints) {
    struct Case {
        const char* stability;
        const char* key;
        double want;
    } cases[] = {
        {"50", "roll_damping", 65},      {"50", "roll_limit_factor", 21},
        {"50", "slow_damping_factor", 1.75}, {"50", "restricted_lock", 7.5},
        {"50", "direct_steering", 1},    {"100", "direct_steering", 0.125},
        {"100", "restricted_lock", 1},   {"0", "roll_limit_angle", 90},
        {"0", "restricted_lock", 45},    {"0", "land_damping_falloff", 0},
        {"250", "restricted_lock", 1},   // clamped to 100 first
    };
    for (const Case& c : cases) {
        reset_rider_setup();
        EXPECT_TRUE(read_setup_line("stability", c.stability));
        EXPECT_NEAR(setup_number(c.key), c.want, 1e-6) << c.stability << " " << c.key;
    }
}

TEST_F(RideSetup, StartsAtTheStability100Preset) {
    EXPECT_EQ(setup_number("stability"), 100);
    EXPECT_EQ(setup_number("roll_damping"), 80);
    EXPECT_EQ(setup_number("direct_steering"), 0.125);
    EXPECT_EQ(setup_text("bike"), "yz250f(2017)");
    EXPECT_EQ(setup_text("front_brake"), "Antilock");
}

TEST_F(RideSetup, LevelingBeforeAndAfterStabilityInAFile) {
    put("before", "leveling=5\nstability=80\n");
    put("after", "stability=80\nleveling=5\n");
    ASSERT_TRUE(read_setup_file("before"));
    EXPECT_EQ(setup_number("leveling"), 20);
    ASSERT_TRUE(read_setup_file("after"));
    EXPECT_EQ(setup_number("leveling"), 5);
}

TEST_F(RideSetup, ValuesAreClampedOrKept) {
    put("odd",
        "max_dab_speed=100\nrider_mass_distribution=0.2\nbrake_torque=abc\n"
        "front_brake=antilock\nrear_brake=Antilock\nname\nbike=yz250f\n"
        "number=12345\nmystery_key=7\nauto_clutch_rpms=-300\r\nleveling=nan\nroll_damping=inf\n");
    ASSERT_TRUE(read_setup_file("odd"));
    EXPECT_EQ(setup_number("max_dab_speed"), 60);
    EXPECT_NEAR(setup_number("rider_mass_distribution"), 0.33, 1e-6);
    EXPECT_EQ(setup_number("brake_torque"), 500);      // malformed: unchanged
    EXPECT_EQ(setup_text("front_brake"), "Antilock");  // wrong case: unchanged
    EXPECT_EQ(setup_text("rear_brake"), "Antilock");
    EXPECT_EQ(setup_text("name"), "Joe Motocross");    // the line without "=" is skipped
    EXPECT_EQ(setup_text("bike"), "yz250f(2008)");     // legacy short name
    EXPECT_EQ(setup_text("number"), "123");
    EXPECT_EQ(setup_number("auto_clutch_rpms"), 0);
    EXPECT_EQ(setup_number("leveling"), 20);       // not a number: unchanged
    EXPECT_EQ(setup_number("roll_damping"), 100);  // infinity is clamped
    EXPECT_FALSE(read_setup_line("mystery_key", "7"));  // left for the configuration reader
}

TEST_F(RideSetup, WriteThenReadRoundTrip) {
    read_setup_line("stability", "37");
    read_setup_line("leveling", "3");
    read_setup_line("bike", "crf450(2011)");
    read_setup_line("stop_wheelies", "Front Only");
    read_setup_line("name", "Ann Example");
    read_setup_line("fork_oil_level_adjustment", "12.5");
    std::string saved = write_setup();
    EXPECT_EQ(saved.rfind("bike=crf450(2011)\nname=Ann Example\n", 0), 0u);
    EXPECT_NE(saved.find("\nstability=37.000000\n"), std::string::npos);
    ASSERT_TRUE(write_setup_file("mine"));
    EXPECT_TRUE(fs::exists(home / "Rutline" / "setups" / "mine"));
    reset_rider_setup();
    ASSERT_NE(write_setup(), saved);
    ASSERT_TRUE(read_setup_file("mine"));
    EXPECT_EQ(write_setup(), saved);
}

TEST_F(RideSetup, NamesCannotLeaveTheSetupsFolder) {
    std::ofstream(home / "Rutline" / "secret") << "leveling=1\n";
    for (const char* name : {"../secret", "a/../../secret", "/etc/passwd", "", ".."}) {
        console_reset_count();
        EXPECT_FALSE(read_setup_file(name)) << name;
        EXPECT_NE(console_last_messages(1).find("Error reading setup"), std::string::npos);
        EXPECT_FALSE(write_setup_file(name)) << name;
    }
    EXPECT_EQ(setup_number("leveling"), 20);
    EXPECT_FALSE(read_setup_file("missing"));
    EXPECT_NE(console_last_messages(1).find("Error reading setup"), std::string::npos);
}

TEST_F(RideSetup, ApplyConvertsIntoTuning) {
    Bike bike;  // no bodies needed for the conversions
    bike.spec = find_bike_model("crf250(2007)");
    const BikeSpec& s = bike_spec(bike.spec);
    read_setup_line("roll_limit_angle", "30");
    read_setup_line("restricted_lock", "0");
    read_setup_line("max_dab_speed", "30");
    read_setup_line("stop_wheelies", "Front Only");
    read_setup_line("rear_sprocket_adjustment", "2");
    read_setup_line("fork_compression_adjustment", "100");
    read_setup_line("fork_oil_level_adjustment", "100");
    read_setup_line("shock_slow_rebound_adjustment", "0");
    read_setup_line("rider_yspring", "25");
    apply_setup(bike);
    const BikeTuning& t = bike.tuning;
    EXPECT_NEAR(t.roll_limit_angle, 30 * 0.017453292f, 1e-6);
    EXPECT_EQ(t.restricted_lock, 0.0f);
    EXPECT_NEAR(t.max_dab_speed, 44, 1e-4);
    EXPECT_FALSE(t.wheelie_prevention);
    EXPECT_TRUE(t.stoppie_prevention);
    EXPECT_TRUE(t.arcade);
    EXPECT_TRUE(t.auto_shift);
    EXPECT_NEAR(t.final_drive, 53.0f / 13, 1e-5);
    EXPECT_NEAR(t.fork_compression, s.fork_damping[DAMP_FAST_COMPRESSION] * 4, 1e-3);
    EXPECT_NEAR(t.fork_air_gap, s.fork_air_gap[1], 1e-6);  // most oil: the smaller gap
    EXPECT_NEAR(t.shock_slow_rebound, -s.shock_damping[DAMP_SLOW_REBOUND], 1e-3);
    EXPECT_NEAR(t.rider_yspring, 0.25f, 1e-6);
    set_arcade_disabled_by_server(true);
    apply_setup(bike);
    EXPECT_FALSE(bike.tuning.arcade);
    set_arcade_disabled_by_server(false);
}

}  // namespace
