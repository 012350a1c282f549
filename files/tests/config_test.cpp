#include <sstream>

#include "files/tests/temp_tree.h"

namespace fs = std::filesystem;
using ConfigFile = TempTree;

namespace {

Config read_text(const std::string& text, const ConfigHooks& hooks = {}) {
    Config c = default_config();
    DataFile* f = open_memory_data_file(text.data(), text.size());
    read_config_from(f, c, hooks);
    close_data_file(f);
    return c;
}

std::vector<std::string> keys_of(const std::string& text) {
    std::vector<std::string> keys;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find('=')));
    return keys;
}

}  // namespace

TEST(Config, DefaultsAndWriteOrder) {
    Config c = default_config();
    EXPECT_EQ(c.track, "veviredoze");
    EXPECT_STREQ(c.slots[19].text(), "Human");
    EXPECT_STREQ(c.slots[17].text(), "Robot");
    EXPECT_STREQ(c.slots[23].text(), "Empty");
    EXPECT_STREQ(c.bindings[BIND_DAB].key_name.c_str(), "right ctrl");
    EXPECT_STREQ(c.bindings[BIND_REWIND].key_name.c_str(), "\\");
    EXPECT_STREQ(graphics_preset_caption(c), "Current Settings: Compatibility");

    std::string text = format_config(c);
    std::vector<std::string> keys = keys_of(text);
    std::vector<std::string> expected = {"xres", "yres", "draw_fps", "draw_time", "draw_ping",
                                         "draw_speed", "spy", "track", "record", "skill",
                                         "minutes", "laps", "slot00"};
    ASSERT_GE(keys.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 13), expected);
    auto at = [&](const char* k) { return std::find(keys.begin(), keys.end(), k) - keys.begin(); };
    const char* order[] = {"slot39", "ghost_fade_distance", "time_trial_abort", "video_mode",
                           "server_name", "server_name_hist00", "server_name_hist15",
                           "ground_detail", "reshade_delay", "volume", "comp_volume",
                           "playback_mode", "billboard_optimize_lookahead", "message_lines",
                           "demo_backups", "map_scale", "throttle_key", "lean_backward_key",
                           "pause_key", "screenshot_key"};
    for (size_t i = 1; i < std::size(order); i++) EXPECT_LT(at(order[i - 1]), at(order[i])) << order[i];
    EXPECT_EQ(keys.back(), "screenshot_key");
    EXPECT_NE(text.find("laps=5.000000\n"), std::string::npos);
    EXPECT_NE(text.find("left_key=(k)left\n"), std::string::npos);
}

TEST(Config, ValuesClampAndBadValuesAreIgnored) {
    Config c = read_text(
        "fov=500\nminutes=abc\nlaps=7.5\nmap_scale=100\nvolume=-4\nskill=Expert\n"
        "record=yes\nnot_a_key=1\nno equals sign\nxres=5\nyres=1080\r\n"
        "server_name=" + std::string(80, 's') + "\n"
        "server_name_hist03=host.example:19800\n"
        "server_name_hist04=" + std::string(127, 'h') + "\n"
        "slot05=Human\nslot40=Robot\nslot5=Robot\n"
        "ground_texture_distance=12\n");
    EXPECT_EQ(c.fov.value, 170);
    EXPECT_EQ(c.minutes.value, 0);
    EXPECT_EQ(c.laps.value, 7.5);
    EXPECT_EQ(c.map_scale, 8);
    EXPECT_EQ(c.volume.value, 0);
    EXPECT_STREQ(c.skill.text(), "Expert");
    EXPECT_STREQ(c.record.text(), "No");  // choices match exactly
    EXPECT_EQ(c.xres, 64);
    EXPECT_EQ(c.yres, 1080);
    EXPECT_EQ(c.server_name, std::string(SERVER_NAME_CHARS, 's'));
    EXPECT_EQ(c.server_name_hist[3], "host.example:19800");
    EXPECT_EQ(c.server_name_hist[4], "");  // too long for the history
    EXPECT_STREQ(c.slots[5].text(), "Human");
    EXPECT_STREQ(c.slots[4].text(), "Empty");
}

TEST(Config, OldRenderingKeyAndOverlongLines) {
    EXPECT_STREQ(read_text("use_fbo=Yes\n").render_texture.text(), "Hardware/Direct");
    EXPECT_STREQ(read_text("use_fbo=No\n").render_texture.text(), "Hardware/Copy");
    EXPECT_STREQ(read_text("use_fbo=Yes\nrender_texture=Shaders/Copy\n").render_texture.text(),
                 "Shaders/Copy");
    // The rest of an overlong line is not read as a line of its own.
    Config c = read_text("track=" + std::string(2000, 't') + "fov=20\nfov=30\n");
    EXPECT_EQ(c.fov.value, 30);
    EXPECT_EQ(c.track.size(), 1024u - 6u);
}

TEST(Config, Bindings) {
    struct Case {
        const char* text;
        const char* key;
        const char* axis;
        float low, high;
        const char* written;
    } cases[] = {
        {"(0.1,0.9)XInputGamepad0 axis 1", "", "XInputGamepad0 axis 1", 0.1f, 0.9f,
         "throttle_key=(0.100000,0.900000)XInputGamepad0 axis 1\n"},
        {"x", "x", "", 0, 1, "throttle_key=(k)x\n"},
        {"(k)right ctrl", "right ctrl", "", 0, 1, "throttle_key=(k)right ctrl\n"},
        {"  (k)(", "(", "", 0, 1, "throttle_key=(k)(\n"},
        {"(a,b)pad", "(a,b)pad", "", 0, 1, "throttle_key=(k)(a,b)pad\n"},
        {"", "", "", 0, 1, "throttle_key=\n"},
    };
    for (const Case& c : cases) {
        InputBinding b = default_config().bindings[BIND_THROTTLE];
        parse_binding(b, c.text);
        EXPECT_EQ(b.key_name, c.key) << c.text;
        EXPECT_EQ(b.axis_name, c.axis) << c.text;
        EXPECT_FLOAT_EQ(b.low, c.low) << c.text;
        EXPECT_FLOAT_EQ(b.high, c.high) << c.text;
        EXPECT_EQ(format_binding("throttle_key", b), c.written) << c.text;
    }
    InputBinding b;
    EXPECT_EQ(binding_display_text(b), "None");
    parse_binding(b, "(0,-1)pad axis 2");
    EXPECT_EQ(binding_display_text(b), "pad axis 2 (Negative)");
    parse_binding(b, "(k)right ctrl");
    EXPECT_EQ(binding_display_text(b), "right ctrl");
}

TEST(Config, AxisValuesAndTheControlVector) {
    InputBinding b;
    b.axis_name = "pad axis 0";
    b.low = 0.5f;
    b.high = 1.0f;
    EXPECT_FLOAT_EQ(axis_binding_value(b, 0), 0);
    EXPECT_FLOAT_EQ(axis_binding_value(b, 24576), 0.5f);
    EXPECT_FLOAT_EQ(axis_binding_value(b, 32767), 32767.0f / 32768 * 2 - 1);
    b.low = 0.5f;
    b.high = -0.5f;  // inverted
    EXPECT_FLOAT_EQ(axis_binding_value(b, -32768), 1);
    b.low = b.high = 0.25f;  // a step, never a division by zero
    EXPECT_EQ(axis_binding_value(b, 8191), 0);
    EXPECT_EQ(axis_binding_value(b, 8192), 1);
    EXPECT_EQ(axis_binding_value(b, 32767), 1);

    Config c = default_config();
    c.bindings[BIND_LEFT].value = 1;
    c.bindings[BIND_RIGHT].value = 0.25f;
    c.bindings[BIND_THROTTLE].value = 0.5f;
    c.bindings[BIND_LEAN_FORWARD].value = 1;
    c.bindings[BIND_DOWNSHIFT].value = 1;
    c.bindings[BIND_PAUSE].value = 1;  // drives no control
    ControlVector v;
    v.v[CONTROL_CLUTCH] = 9;
    fill_control_vector(c, v);
    EXPECT_FLOAT_EQ(v.v[CONTROL_STEER], 0.75f);
    EXPECT_FLOAT_EQ(v.v[CONTROL_THROTTLE], 0.5f);
    EXPECT_FLOAT_EQ(v.v[CONTROL_LEAN], -1);
    EXPECT_FLOAT_EQ(v.v[CONTROL_SHIFT], -1);
    EXPECT_FLOAT_EQ(v.v[CONTROL_CLUTCH], 0);

    InputNames names;
    resolve_binding_codes(c, names);
    EXPECT_EQ(c.bindings[BIND_LEFT].key_code, key_code(SCAN_LEFT));
    EXPECT_EQ(c.bindings[BIND_DAB].key_code, key_code(SCAN_RIGHT_CTRL));
}

TEST(Config, GraphicsPresets) {
    const char* captions[] = {"Current Settings: Compatibility", "Current Settings: High FPS",
                              "Current Settings: Normal", "Current Settings: High Detail"};
    for (int p = 0; p < GRAPHICS_PRESET_COUNT; p++) {
        Config c = default_config();
        apply_graphics_preset(c, p);
        EXPECT_EQ(matching_graphics_preset(c), p);
        EXPECT_STREQ(graphics_preset_caption(c), captions[p]);
    }
    Config c = default_config();
    apply_graphics_preset(c, 1);
    EXPECT_STREQ(c.render_texture.text(), "Hardware/Direct");
    EXPECT_STREQ(c.use_shader.text(), "No");
    EXPECT_EQ(c.roost_density.value, 0);
    c.fov.value = 90;  // not a preset setting
    EXPECT_EQ(matching_graphics_preset(c), 1);
    c.model_texture_detail.value = 8;
    EXPECT_STREQ(graphics_preset_caption(c), "Current Settings: Custom");
}

namespace {
std::vector<std::string> g_setup_seen;
bool take_setup(const char* key, const char* value) {
    if (strcmp(key, "name")) return false;
    g_setup_seen.push_back(std::string(key) + "=" + value);
    return true;
}
std::string write_setup_lines() { return "name=Joe Motocross\n"; }
}  // namespace

TEST_F(ConfigFile, RoundTripAndSafeWrites) {
    ConfigHooks hooks{take_setup, write_setup_lines};
    Config c = default_config();
    c.video_mode.choices.push_back("1024x768");
    EXPECT_FALSE(read_config(c, hooks));  // no file: defaults stay
    c.xres = 1280;
    c.track = "tracks/other";
    c.laps.value = 12;
    c.minutes.value = 2.5;
    c.first_person_height.value = 0.40625;
    c.video_mode.select("1024x768");
    c.slots[0].select("Robot (4 stroke)");
    c.server_name_hist[0] = "last.example";
    c.bindings[BIND_CLUTCH].axis_name = "Joystick1 axis 2";
    c.bindings[BIND_CLUTCH].low = -1;
    c.bindings[BIND_CLUTCH].key_name.clear();
    c.bindings[BIND_STEP].key_name.clear();  // unbound, and stays so
    apply_graphics_preset(c, 3);
    ASSERT_TRUE(write_config(c, hooks));
    std::string written = get(home / "config");
    EXPECT_NE(written.find("time_trial_abort=Yes\nname=Joe Motocross\nvideo_mode=1024x768\n"),
              std::string::npos);
    EXPECT_NE(written.find("\nstep_key=\n"), std::string::npos);

    Config back = default_config();
    back.video_mode.choices.push_back("1024x768");
    g_setup_seen.clear();
    ASSERT_TRUE(read_config(back, hooks));
    EXPECT_EQ(g_setup_seen, std::vector<std::string>{"name=Joe Motocross"});
    EXPECT_EQ(format_config(back, hooks), written);
    EXPECT_EQ(back.laps.value, 12);
    EXPECT_EQ(back.first_person_height.value, 0.40625);
    EXPECT_EQ(matching_graphics_preset(back), 3);

    // A failing write keeps the file as it was.
    c.laps.value = 1;
    simulate_write_failure_after(100);
    EXPECT_FALSE(write_config(c, hooks));
    simulate_write_failure_after(-1);
    EXPECT_EQ(get(home / "config"), written);
}
