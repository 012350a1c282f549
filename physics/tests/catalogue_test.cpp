// The built-in bike models and their lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "physics/physics.h"

namespace {

bool is_350(const BikeSpec& s) { return std::strncmp(s.name, "350", 3) == 0; }
bool is_50(const BikeSpec& s) { return std::strncmp(s.name, "rs50", 4) == 0; }

TEST(Catalogue, NamesAreUniqueAndTheMenuHoldsTheSameSet) {
    std::set<std::string> table, menu;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        table.insert(model_name(i));
        menu.insert(bike_menu_name(i));
    }
    EXPECT_EQ(table.size(), 80u);
    EXPECT_EQ(menu, table);
    EXPECT_STREQ(model_name(0), "cr125");
    EXPECT_STREQ(model_name(79), "rs50yz");
    EXPECT_STREQ(bike_menu_name(0), "450sxf(2018)");
    EXPECT_STREQ(bike_menu_name(1), "crf450(2018)");
    EXPECT_STREQ(bike_menu_name(79), "rs50yz");
}

TEST(Catalogue, ClassesAndGroupConstants) {
    struct Case {
        const char* name;
        const char* engine_class;
        float frame_mass, rider_mass, inertia, stiffness, max_rpm, fork_rebound, shock_rebound;
    } cases[] = {
        {"cr125", "125", 3.65375f, 4.6875f, 0.0048828125f, 7500, 12750, 30, 600},
        {"rm125", "125", 3.65375f, 4.6875f, 0.0048828125f, 7500, 13750, 30, 600},
        {"crf250(2007)", "250f", 4.24f, 4.6875f, 0.0048828125f, 7500, 13250, 30, 600},
        {"cr250(2007)", "250", 4.365625f, 5.46875f, 0.0068359375f, 7500, 10500, 30, 600},
        {"crf450(2011)", "450f", 4.735f, 5.46875f, 0.00885009765625f, 7500, 12000, 32, 650},
        {"350sxf(2011)", "450f", 4.735f, 5.46875f, 0.0068359375f, 7500, 12000, 32, 650},
        {"350sxf(2013)", "250f", 4.735f, 5.46875f, 0.0068359375f, 7500, 12000, 32, 650},
        {"rs50rm", "50", 3.34125f, 4.6875f, 0.0011935764f, 1200, 13750, 30, 600},
    };
    for (const Case& c : cases) {
        const BikeSpec& s = bike_spec(find_bike_model(c.name));
        EXPECT_STREQ(s.name, c.name);
        EXPECT_STREQ(s.engine_class, c.engine_class) << c.name;
        EXPECT_FLOAT_EQ(s.frame_mass, c.frame_mass) << c.name;
        EXPECT_FLOAT_EQ(s.rider_mass, c.rider_mass) << c.name;
        EXPECT_FLOAT_EQ(s.engine_inertia, c.inertia) << c.name;
        EXPECT_FLOAT_EQ(s.drivetrain_stiffness, c.stiffness) << c.name;
        EXPECT_FLOAT_EQ(s.max_rpm, c.max_rpm) << c.name;
        EXPECT_FLOAT_EQ(s.fork_damping[DAMP_FAST_REBOUND], c.fork_rebound) << c.name;
        EXPECT_FLOAT_EQ(s.shock_damping[DAMP_FAST_REBOUND], c.shock_rebound) << c.name;
    }
}

TEST(Catalogue, EveryModelKeepsTheSharedAndTorqueRules) {
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const BikeSpec& s = bike_spec(i);
        SCOPED_TRACE(s.name);
        EXPECT_FLOAT_EQ(s.front_wheel.position.y, 1.09f);
        EXPECT_FLOAT_EQ(s.rear_wheel.position.y, 1.04f);
        EXPECT_FLOAT_EQ(s.rider_travel_range[0], -2.0f / 3);
        // Full throttle rises to a peak, reaches 0 within 750 rpm above the
        // maximum rpm, and is negative beyond.
        int peak = 0;
        for (int k = 1; k < TORQUE_ENTRIES; k++)
            if (s.full_torque[k] > s.full_torque[peak]) peak = k;
        EXPECT_GT(s.full_torque[peak], s.full_torque[0]);
        int zero = peak;
        while (zero < TORQUE_ENTRIES && s.full_torque[zero] > 0) zero++;
        EXPECT_GE(zero * 500.0f, s.max_rpm);
        EXPECT_LE(zero * 500.0f, s.max_rpm + 750);
        for (int k = 0; k < TORQUE_ENTRIES; k++) {
            if (k * 500.0f > s.max_rpm + 750) {
                EXPECT_LT(s.full_torque[k], 0) << k;
            }
        }
        // Closed throttle: 2, 2, 1, 0, then engine braking; the 50s brake half.
        EXPECT_EQ(s.closed_torque[1], 2);
        EXPECT_EQ(s.closed_torque[3], 0);
        float last = (is_50(s) ? 0.5f : 1.0f) * -23;
        EXPECT_EQ(s.closed_torque[49], last);
        // Gears: six for the stated models, five for the others, descending.
        int gears = 0;
        while (gears < GEAR_SLOTS && s.gear_ratios[gears] > 0) gears++;
        std::set<std::string> six = {"kx125", "rm125", "yz125", "125sx", "250sxf(2009)", "250sxf(2013)"};
        EXPECT_EQ(gears, is_50(s) || six.count(s.name) ? 6 : 5);
        for (int g = 1; g < gears; g++) EXPECT_LT(s.gear_ratios[g], s.gear_ratios[g - 1]);
        EXPECT_STREQ(s.part_files[FILE_FRAME_SHAPE], "@generic_frame.shp");
        if (is_350(s)) {
            EXPECT_FLOAT_EQ(s.engine_inertia, 0.0068359375f);
        }
    }
    EXPECT_FLOAT_EQ(bike_spec(0).full_torque[20], 15.97f);  // cr125 at 10000 rpm
    EXPECT_FLOAT_EQ(bike_spec(0).closed_torque[16], -4);     // two-stroke at 8000 rpm
}

TEST(Catalogue, PartFileNames) {
    struct Case {
        const char* name;
        int file;
        const char* want;
    } cases[] = {
        {"crf250(2016)", FILE_FRAME_MODEL, "@crf250v2014_frame.qm"},
        {"cr125", FILE_BIKE_TEXTURE, "@cr125.png"},
        {"rs50kx", FILE_SIDE_PLATES_MODEL, "@kx125_side_plates.qm"},
        {"yz250f_se(2006)", FILE_BIKE_TEXTURE, "@yz250f_se.png"},
        {"yz250f_se(2006)", FILE_FRAME_MODEL, "@yz250f_frame.qm"},
        {"kx450f(2013)", FILE_FORK_UPPER_MODEL, "@kx450f_fork_upper.qm"},
        {"450sxf(2017)", FILE_FRONT_PLATE_MODEL, "@450sxfv2016_front_plate.qm"},
        {"fc450(2018)", FILE_RIDER_SHAPE, "@generic_rider.shp"},
    };
    for (const Case& c : cases) EXPECT_STREQ(bike_spec(find_bike_model(c.name)).part_files[c.file], c.want) << c.name;
}

TEST(Catalogue, LookupFallsBackWithANotice) {
    struct Case {
        const char* asked;
        const char* found;
        bool notice;
    } cases[] = {
        {"cr125", "cr125", false},
        {"foo125", "cr125", true},
        {"CRF250(2007)", "kx250f(2007)", true},  // the comparison is exact
        {"crf250", "kx250f(2007)", true},
        {"", "kx250f(2007)", true},
    };
    for (const Case& c : cases) {
        console_reset_count();
        EXPECT_STREQ(model_name(find_bike_model(c.asked)), c.found) << c.asked;
        EXPECT_EQ(console_message_count() > 0, c.notice) << c.asked;
    }
    console_reset_count();
    find_bike_model("foo125");
    EXPECT_NE(console_last_messages(1).find("bike info for 'foo125' not found using 'cr125' instead"),
              std::string::npos);
    EXPECT_STREQ(map_legacy_bike_name("crf250"), "crf250(2008)");
    EXPECT_STREQ(map_legacy_bike_name("yz250f"), "yz250f(2008)");
    EXPECT_STREQ(map_legacy_bike_name("cr125"), "cr125");
}

}  // namespace
