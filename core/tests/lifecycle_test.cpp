#include "core/core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
StartupHooks recording_startup(std::vector<std::string>& log) {
    StartupHooks h;
    auto note = [&log](const char* s) { return [&log, s](auto&&...) { log.push_back(s); }; };
    h.open_home = note("open_home");
    h.locate_data = [&log] { log.push_back("locate_data"); return true; };
    h.log = [&log](const char* line) { log.push_back(line); };
    h.clear_server_history = note("servers");
    h.display_modes = [&log] {
        log.push_back("modes");
        return std::vector<DisplayMode>{{1920, 1080, 32}, {1024, 768, 16}, {800, 600, 32}};
    };
    h.apply_defaults = note("defaults");
    h.read_config = [&log](Program& p) {
        log.push_back("config");
        p.config.track = "veviredoze";
        p.config.ground_detail.value = 50;
        p.config.video_mode.select("Windowed");
    };
    h.record_setup = note("setup");
    h.create_window = [&log](const WindowRequest& w) {
        log.push_back("window " + std::to_string(w.width) + "x" + std::to_string(w.height) + (w.fullscreen ? " full" : ""));
        return true;
    };
    h.build_file_index = note("index");
    h.collect_skins = note("skins");
    h.build_track_list = [&log] { log.push_back("tracks"); return 3; };
    h.collect_demos = note("demos");
    h.collect_series = note("series");
    h.select_track = [&log](const std::string& t) { log.push_back("select " + t); };
    h.open_audio = note("audio");
    h.wait_mapped = note("mapped");
    h.init_gl = note("gl");
    h.load_fonts = note("fonts");
    h.open_inputs = note("inputs");
    h.create_world = note("world");
    h.read_demo = [&log](const std::string& f, std::string& track) {
        log.push_back("demo " + f);
        track = "demotrack";
        return true;
    };
    h.load_track = [&log](Program& p, bool playback) {
        log.push_back("load " + p.track_to_load + (playback ? " playback" : "") + " first=" + std::to_string(p.start_list[0]));
    };
    return h;
}

int start(std::vector<const char*> args, Program& p, const StartupHooks& h, std::string* err = nullptr) {
    args.insert(args.begin(), "rutline");
    testing::internal::CaptureStderr();
    int r = program_start(p, int(args.size()), args.data(), h);
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return r;
}
}  // namespace

TEST(Startup, StepsInOrder) {
    std::vector<std::string> log;
    Program p;
    EXPECT_EQ(start({"--texture-detail", "2"}, p, recording_startup(log)), START_CONTINUE);
    std::vector<std::string> expect = {
        "locate_data", "Rutline version 2021-03-31-1566 snapshot\n", "servers", "modes", "defaults", "config",
        "setup", "window 640x480", "index", "skins", "tracks", "demos", "series", "select veviredoze", "audio",
        "mapped", "gl", "fonts", "inputs", "world", "load veviredoze first=2"};
    EXPECT_EQ(log, expect);
    EXPECT_EQ(p.video_modes, (std::vector<std::string>{"Default Fullscreen", "Windowed", "1920x1080", "800x600"}));
    EXPECT_FLOAT_EQ(p.tuning.ground_grid_detail, 0.125f / 50);  // derived, then
    EXPECT_EQ(p.tuning.ground_texture_reduction, 2);            // replaced by the option
    EXPECT_EQ(p.menu, MENU_MAIN);
    ASSERT_TRUE(p.game);
    EXPECT_EQ(p.game->tic, 0);

    log.clear();
    Program q;
    EXPECT_EQ(start({"race.qzdemo"}, q, recording_startup(log)), START_CONTINUE);
    EXPECT_EQ(log.back(), "load demotrack playback first=0");

    log.clear();
    Program c;
    EXPECT_EQ(start({"--connect", "rutline:server"}, c, recording_startup(log)), START_CONTINUE);
    EXPECT_NE(log.back().rfind("load", 0), 0u);  // connecting: no track loaded at start
    EXPECT_EQ(c.menu, MENU_NONE);
    EXPECT_EQ(c.options.connect, "server");
    EXPECT_EQ(c.config.server_name_hist[0], "server");
}

TEST(Startup, EndsWithTheRightStatus) {
    std::vector<std::string> log;
    StartupHooks h = recording_startup(log);
    Program p;
    std::string err;
    // A bad option ends before any window exists.
    EXPECT_EQ(start({"--bogus"}, p, h, &err), 1);
    EXPECT_EQ(err, "bad option '--bogus'\n");
    for (const std::string& s : log) EXPECT_NE(s.rfind("window", 0), 0u);

    Program p2;
    EXPECT_EQ(start({"--open-home"}, p2, h), 0);
    EXPECT_EQ(log.back(), "open_home");

    StartupHooks no_tracks = h;
    no_tracks.build_track_list = [] { return 0; };
    Program p3;
    EXPECT_EQ(start({}, p3, no_tracks, &err), 1);
    EXPECT_EQ(err, "No tracks found\n");

    StartupHooks no_window = h;
    no_window.create_window = [](const WindowRequest&) { return false; };
    Program p4;
    EXPECT_EQ(start({}, p4, no_window), 1);

    StartupHooks no_data = h;
    no_data.locate_data = [] { return false; };
    std::string box;
    no_data.message_box = [&](const char* caption, const char* text) { box = std::string(caption) + "|" + text; };
    Program p5;
    EXPECT_EQ(start({}, p5, no_data), 0);
    EXPECT_EQ(box, "Problem starting Rutline|Can't find game data\n");
}

TEST(Startup, WindowRequestFromTheVideoMode) {
    Options o;
    std::vector<std::string> modes = {"Default Fullscreen", "Windowed", "1024x768"};
    WindowRequest w = window_request(2, modes, o);
    EXPECT_TRUE(w.fullscreen);
    EXPECT_EQ(w.width, 1024);
    w = window_request(0, modes, o);
    EXPECT_TRUE(w.fullscreen);
    EXPECT_EQ(w.width, 0);  // the desktop size
    w = window_request(9, modes, o);  // a mode that went away
    EXPECT_EQ(w.width, 0);
    o.width = 800;
    w = window_request(1, modes, o);
    EXPECT_FALSE(w.fullscreen);
    EXPECT_EQ(w.width, 800);
}

TEST(Shutdown, StepsInOrder) {
    std::vector<std::string> log;
    ShutdownHooks h;
    auto note = [&log](const char* s) { return [&log, s](auto&&...) { log.push_back(s); }; };
    h.show_status = [&log](const char* t) { log.push_back(std::string("\"") + t + "\""); };
    h.disconnect = note("disconnect");
    h.save_and_free_race = note("race");
    h.close_inputs = note("inputs");
    h.close_audio = note("audio");
    h.free_texture_tiles = note("tiles");
    h.write_config = note("config");
    h.free_lists = note("lists");
    h.free_menus = note("menus");
    h.free_file_list = note("files");
    h.delete_textures = note("textures");
    h.delete_models = note("models");
    h.close_window = note("window");
    h.close_log = note("log");
    h.sleep = note("sleep");
    Program p;
    p.game = new_game_state();
    EXPECT_EQ(program_shutdown(p, h), 0);
    std::vector<std::string> expect = {
        "disconnect", "race", "\"Freeing memory (1)\"", "\"Closing input devices\"", "inputs",
        "\"Closing audio\"", "audio", "tiles", "\"Writing config files\"", "config", "\"Freeing memory (2)\"",
        "lists", "\"Freeing memory (3)\"", "menus", "\"Freeing file list\"", "files", "\"Freeing memory (4)\"",
        "\"Deleting textures\"", "textures", "\"Deleting models\"", "models", "window", "log", "sleep"};
    EXPECT_EQ(log, expect);
    EXPECT_FALSE(p.game);
}
