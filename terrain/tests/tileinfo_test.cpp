// The "tileinfo" and "texturelist" readers and the transition codes.
#include <gtest/gtest.h>

#include "terrain/terrain.h"

namespace {

// Reads text and returns the tiles; the console history holds the warnings.
std::vector<SurfaceTile> read(const std::string& text) {
    Terrain t;
    console_clear_history();
    console_reset_count();
    EXPECT_EQ(read_tileinfo(t, text), 1);
    return t.tiles;
}

bool printed(const std::string& message) {
    for (int k = 0; k < console_history_count(); k++)
        if (console_history_line(k) == message) return true;
    return false;
}

TEST(Tileinfo, DefaultTile) {
    auto tiles = read("texture @dirt.png\naddtile\n");
    ASSERT_EQ(tiles.size(), 1u);
    const SurfaceTile& s = tiles[0];
    EXPECT_EQ(console_message_count(), 0);
    EXPECT_EQ(s.name, "@dirt.png");
    EXPECT_FLOAT_EQ(s.friction_coefficient[0], 1.0f);
    EXPECT_FLOAT_EQ(s.friction_speed[0], 1.0f);
    EXPECT_FLOAT_EQ(s.friction_speed[7], FRICTION_SPEED_EMPTY);
    EXPECT_FLOAT_EQ(s.roll_low[3], 5.0f);
    EXPECT_FLOAT_EQ(s.roll_high[3], 15.0f);
    EXPECT_FLOAT_EQ(s.roll_speed[0], 1.0f);
    EXPECT_FLOAT_EQ(s.roll_speed[1], 0.0f);
    EXPECT_EQ(s.roost[0].kind, ROOST_OFF);
    EXPECT_EQ(s.roost[0].texture_name, "@roost.png");
    EXPECT_EQ(s.roost[0].fade[3], -2);
    EXPECT_EQ(s.erode.limit_count, 1);
    EXPECT_FLOAT_EQ(s.erode.limit_outer[0], 1.0f);
    EXPECT_FLOAT_EQ(s.erode.erode_min_slope, -0.5f);
    EXPECT_EQ(s.texture, 0);  // headless: no texture handle
}

TEST(Tileinfo, PointsAreSortedClampedAndCapped) {
    auto tiles = read("friction 0.9 20\nfriction 1.1 5\nfriction -1 2e7\n"
                      "roll_resist 3 -1 0\nroll_resist -2 4 9\n"
                      "addtile\n");
    const SurfaceTile& s = tiles[0];
    EXPECT_EQ(s.friction_count, 3);
    EXPECT_FLOAT_EQ(s.friction_speed[0], 5.0f);
    EXPECT_FLOAT_EQ(s.friction_coefficient[0], 1.1f);
    EXPECT_FLOAT_EQ(s.friction_speed[1], 20.0f);
    EXPECT_FLOAT_EQ(s.friction_coefficient[1], 0.9f);
    EXPECT_FLOAT_EQ(s.friction_speed[2], 1048575.0f);
    EXPECT_FLOAT_EQ(s.friction_coefficient[2], 0.0f);
    EXPECT_FLOAT_EQ(s.friction_speed[3], FRICTION_SPEED_EMPTY);
    // (3, -1, 0) becomes (3, 0, 2^-20) and sorts first; (-2, 4, 9) becomes (0, 4, 9).
    EXPECT_FLOAT_EQ(s.roll_speed[0], 0.00000095367432f);
    EXPECT_FLOAT_EQ(s.roll_low[0], 3.0f);
    EXPECT_FLOAT_EQ(s.roll_high[0], 0.0f);
    EXPECT_FLOAT_EQ(s.roll_speed[1], 9.0f);
    EXPECT_FLOAT_EQ(s.roll_low[1], 0.0f);
    EXPECT_FLOAT_EQ(s.roll_high[1], 4.0f);

    std::string nine;
    for (int k = 1; k <= 9; k++) nine += "friction 1 " + std::to_string(k) + "\n";
    tiles = read(nine + "addtile\n");
    EXPECT_TRUE(printed("tileinfo warning: too many friction points\n"));
    EXPECT_EQ(console_message_count(), 1);
    EXPECT_EQ(tiles[0].friction_count, 8);
    EXPECT_FLOAT_EQ(tiles[0].friction_speed[7], 8.0f);
}

TEST(Tileinfo, RoostSlots) {
    auto tiles = read("roost count=3 splash=1 texture=\"@my dirt.png\" r=300 g=-4 b=7.9 "
                      "fade_r=1000 fade_g=-100000 fade_a=-256 slow_angle=0.5\n"
                      "roost\naddtile\n");
    const RoostSlot& r = tiles[0].roost[0];
    EXPECT_EQ(console_message_count(), 0);
    EXPECT_EQ(r.kind, ROOST_SPLASH);
    EXPECT_FLOAT_EQ(r.count, 3.0f);
    EXPECT_EQ(r.texture_name, "@my dirt.png");
    EXPECT_EQ(r.colour[0], 255);  // clamped, not wrapped
    EXPECT_EQ(r.colour[1], 0);
    EXPECT_EQ(r.colour[2], 7);    // truncated
    EXPECT_EQ(r.fade[0], 7);      // 1000 per second is 7.8 per tic
    EXPECT_EQ(r.fade[1], -128);
    EXPECT_EQ(r.fade[3], -2);
    EXPECT_FLOAT_EQ(r.slow_angle, 0.5f);
    EXPECT_EQ(tiles[0].roost[1].kind, ROOST_ROOST);  // no parameters still uses a slot
    EXPECT_EQ(tiles[0].roost[2].kind, ROOST_OFF);
}

TEST(Tileinfo, WarningsTable) {
    const struct {
        const char* text;
        const char* warning;
    } cases[] = {
        {"friction 1\n", "tileinfo warning: bad friction parameters\n"},
        {"friction nan 3\n", "tileinfo warning: bad friction parameters\n"},
        {"roll_resist 1 2\n", "tileinfo warning: bad roll_resist parameters\n"},
        {"slip_function x\n", "tileinfo warning: bad slip_function\n"},
        {"slip_function 3\n", "tileinfo warning: bad slip_function\n"},
        {"roost\nroost\nroost\nroost\nroost\n", "tileinfo warning: too many roost types\n"},
        {"roost count=x\n", "tileinfo warning: bad count\n"},
        {"roost fade_b=\n", "tileinfo warning: bad fade_b\n"},
        {"roost wobble=2\n", "tileinfo warning: unknown roost parameter 'wobble=2'\n"},
        {"roost count\n", "tileinfo warning: unknown roost parameter 'count'\n"},
        {"erode_radius x\n", "tileinfo warning: bad erode_radius\n"},
        {"erode_front_scale\n", "tileinfo warning: bad erode_front_scale\n"},
        {"erode_limit 1 2\n", "tileinfo warning: bad erode_limit\n"},
        {"erode_limit 0 1 1\nerode_limit 0.3 0.5 0.5\nerode_limit 0.2 0 0\n",
         "tileinfo warning: erode_limit depth <= prev depth\n"},
        {"erode_limit 1 1 1\nerode_limit 2 1 1\nerode_limit 3 1 1\nerode_limit 4 1 1\nerode_limit 5 1 1\n"
         "erode_limit 6 1 1\nerode_limit 7 1 1\nerode_limit 8 1 1\nerode_limit 9 1 1\n",
         "tileinfo warning: too many erode limits\n"},
        {"FRICTION 1 1\n", "tileinfo warning: Unknown identifier 'FRICTION'\n"},
        {"  \t roll 1\r\n", "tileinfo warning: Unknown identifier 'roll'\n"},
    };
    for (auto& c : cases) {
        read(std::string(c.text) + "addtile\n");
        EXPECT_TRUE(printed(c.warning)) << c.text << "got: " << console_last_messages(3);
        EXPECT_EQ(console_message_count(), 1) << c.text;
    }
}

TEST(Tileinfo, ValuesAfterWarnings) {
    auto tiles = read("slip_function 3\nerode_radius 6\nerode_radius bad\n"
                      "erode_limit 0 1 1\nerode_limit 0.3 0.5 0.5\nerode_limit 0.2 0 0\n"
                      "name a-very-long-name-that-goes-on-and-on-past-forty-seven-characters\naddtile\n"
                      "\n\n  \naddtile\n");
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].slip_function, 3);  // kept; acts as 0
    EXPECT_FLOAT_EQ(tiles[0].erode.erode_radius, 6.0f);
    EXPECT_EQ(tiles[0].erode.limit_count, 2);
    EXPECT_FLOAT_EQ(tiles[0].erode.limit_depth[1], 0.3f);
    EXPECT_EQ(tiles[0].name.size(), 47u);
    // The record is reset after each "addtile".
    EXPECT_FLOAT_EQ(tiles[1].erode.erode_radius, 4.0f);
    EXPECT_EQ(tiles[1].slip_function, 0);
    EXPECT_EQ(tiles[1].erode.limit_count, 1);
}

TEST(Tileinfo, AtMost256Tiles) {
    std::string text;
    for (int k = 0; k < 300; k++) text += "addtile\n";
    auto tiles = read(text);
    EXPECT_EQ(tiles.size(), 256u);
    EXPECT_TRUE(printed("tileinfo warning: more than 256 tiles, the rest is ignored\n"));
    EXPECT_EQ(console_message_count(), 1);
    // Exactly 256 says nothing.
    text.clear();
    for (int k = 0; k < 256; k++) text += "addtile\n";
    tiles = read(text + "\n");
    EXPECT_EQ(tiles.size(), 256u);
    EXPECT_EQ(console_message_count(), 0);
}

TEST(Texturelist, LinesKeepTheirLastCharacter) {
    Terrain t;
    console_reset_count();
    EXPECT_EQ(read_texturelist(t, "0.8 4 12 dirt.png\r\ngrass.png\n\n   \nsand.png"), 1);
    EXPECT_EQ(console_message_count(), 0);
    ASSERT_EQ(terrain_tile_count(t), 3);
    EXPECT_EQ(t.tiles[0].texture_name, "@dirt.png");
    EXPECT_EQ(t.tiles[1].texture_name, "@grass.png");
    EXPECT_EQ(t.tiles[2].texture_name, "@sand.png");
    EXPECT_TRUE(t.tiles[0].name.empty());
    EXPECT_FLOAT_EQ(t.tiles[0].friction_coefficient[7], 0.8f);
    EXPECT_FLOAT_EQ(t.tiles[0].friction_speed[0], 1.0f);
    EXPECT_FLOAT_EQ(t.tiles[0].friction_speed[1], FRICTION_SPEED_EMPTY);
    EXPECT_FLOAT_EQ(t.tiles[0].roll_low[5], 4.0f);
    EXPECT_FLOAT_EQ(t.tiles[0].roll_high[5], 12.0f);
    EXPECT_FLOAT_EQ(t.tiles[1].friction_coefficient[0], 1.0f);
    EXPECT_FLOAT_EQ(t.tiles[1].roll_high[0], 15.0f);
    EXPECT_EQ(t.tiles[1].roost[0].kind, ROOST_ROOST);
    EXPECT_EQ(t.tiles[1].roost[1].kind, ROOST_OFF);
    EXPECT_EQ(t.tiles[2].erode.limit_count, 1);
    std::string many;
    for (int k = 0; k < 300; k++) many += "t" + std::to_string(k) + ".png\n";
    read_texturelist(t, many);
    EXPECT_EQ(terrain_tile_count(t), 256);
}

TEST(Transitions, CodesFromTextureNames) {
    const struct {
        std::vector<const char*> names;
        std::vector<int> codes;
    } cases[] = {
        {{"@dirt.png", "@grass.png", "@dirt-grass-0110.png", "@dirt-alt1.png"}, {0, 65792, 262, 0}},
        {{"a.png", "b.png", "a-b-01x1.png", "a-c-1111.png", "a-b-1111.png", "b-alt.png", "q-a-0001.png"},
         {0, 65792, 256, -256, 256 + 15, -256, 6 * 65536 + 6 * 256}},
        {{"@tiles/dirt.png", "@tiles/grass.png", "@tiles/dirt-grass-1000.png"}, {0, 65792, 256 + 8}},
    };
    for (auto& c : cases) {
        Terrain t;
        for (const char* n : c.names) {
            t.tiles.push_back(default_surface_tile());
            t.tiles.back().texture_name = n;
        }
        compute_transition_codes(t);
        for (size_t k = 0; k < c.codes.size(); k++)
            EXPECT_EQ(t.tiles[k].transition_code, c.codes[k]) << c.names[k];
    }
}

}  // namespace
