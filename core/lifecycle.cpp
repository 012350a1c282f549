// Start-up and shutdown, in their order.
#include "core/core.h"

#include <cstdio>
#include <cstring>

std::vector<std::string> video_mode_list(const std::vector<DisplayMode>& modes) {
    std::vector<std::string> list{"Default Fullscreen", "Windowed"};
    for (const DisplayMode& m : modes) {
        if (m.bits != modes.front().bits) continue;
        char text[32];
        std::snprintf(text, sizeof text, "%dx%d", m.width, m.height);
        list.push_back(text);
    }
    return list;
}

WindowRequest window_request(int video_mode, const std::vector<std::string>& mode_list, const Options& o) {
    WindowRequest w;
    w.depth = o.depth;
    w.zdepth = o.zdepth;
    if (video_mode == 1) {
        w.width = o.width;
        w.height = o.height;
        return w;
    }
    w.fullscreen = true;
    // Entry 0 (or an entry that no longer exists) is the desktop size.
    if (video_mode >= 2 && video_mode < int(mode_list.size()))
        std::sscanf(mode_list[size_t(video_mode)].c_str(), "%dx%d", &w.width, &w.height);
    return w;
}

namespace {
template <class F, class... A>
void call(const F& f, A&&... args) {
    if (f) f(std::forward<A>(args)...);
}
}  // namespace

int program_start(Program& p, int argc, const char* const* argv, const StartupHooks& h) {
    // 1. Only "--open-home": open the home folder and end.
    if (argc == 2 && std::strcmp(argv[1], "--open-home") == 0) {
        call(h.open_home);
        return 0;
    }
    // 2-4.
    console_clear_history();
    if (h.locate_data && !h.locate_data()) {
        if (h.message_box) h.message_box("Problem starting Rutline", "Can't find game data\n");
        else error_box("Problem starting Rutline", "Can't find game data\n");
        return 0;
    }
    char line[96];
    std::snprintf(line, sizeof line, "Rutline version %s\n", VERSION_TEXT);
    call(h.log, line);
    // 5-10.
    call(h.clear_server_history);
    p.video_modes = video_mode_list(h.display_modes ? h.display_modes() : std::vector<DisplayMode>{});
    p.config = default_config();
    p.config.video_mode.choices = p.video_modes;
    call(h.apply_defaults);
    call(h.read_config, p);
    p.video_mode = p.config.video_mode.selected;
    call(h.record_setup, p);
    p.tuning = derive_render_tuning(p.config);
    // 11. The command line replaces derived values.
    p.options = options_from_config(p.config);
    p.track_to_load = p.config.track;
    OptionStatus st = parse_options(argc, argv, p.options, p.tuning);
    if (st == OPTIONS_BAD) return 1;
    if (st == OPTIONS_OPEN_HOME) {
        call(h.open_home);
        return 0;
    }
    if (!p.options.track.empty()) p.track_to_load = p.options.track;
    // 12.
    if (p.options.connect_given) {
        push_server_history(p.config.server_name_hist, p.options.connect);
        p.track_to_load.clear();
    }
    // 13.
    if (h.create_window && !h.create_window(window_request(p.video_mode, p.video_modes, p.options))) return 1;
    // 14-19.
    call(h.build_file_index);
    call(h.collect_skins);
    if (h.build_track_list && h.build_track_list() <= 0) {
        std::fputs("No tracks found\n", stderr);
        return 1;
    }
    call(h.collect_demos);
    call(h.collect_series);
    call(h.select_track, p.track_to_load);
    // 20-26.
    call(h.open_audio, p.options);
    call(h.wait_mapped);
    call(h.init_gl, p.options);
    call(h.load_fonts);
    call(h.open_inputs);
    call(h.create_world);
    // 27. A demo named on the command line chooses the track.
    bool playback = !p.options.file.empty();
    if (playback && h.read_demo) {
        std::string track;
        if (h.read_demo(p.options.file, track)) p.track_to_load = track;
    }
    // 28. A fresh game state: every slot remote and empty.
    p.game = new_game_state();
    p.start_list.fill(0);
    if (!playback) p.start_list[0] = 2;
    // 29-30.
    if (!p.track_to_load.empty()) call(h.load_track, p, playback);
    p.menu = p.options.connect_given ? MENU_NONE : MENU_MAIN;
    p.view = ViewMode::RIDER;
    return START_CONTINUE;
}

int program_shutdown(Program& p, const ShutdownHooks& h) {
    auto status = [&](const char* text) { call(h.show_status, text); };
    call(h.disconnect);
    call(h.save_and_free_race);
    p.game.reset();
    status("Freeing memory (1)");
    status("Closing input devices");
    call(h.close_inputs);
    status("Closing audio");
    call(h.close_audio);
    call(h.free_texture_tiles);
    status("Writing config files");
    call(h.write_config);
    status("Freeing memory (2)");
    call(h.free_lists);
    status("Freeing memory (3)");
    call(h.free_menus);
    p.video_modes.clear();
    status("Freeing file list");
    call(h.free_file_list);
    status("Freeing memory (4)");
    status("Deleting textures");
    call(h.delete_textures);
    status("Deleting models");
    call(h.delete_models);
    call(h.close_window);
    call(h.close_log);
    alloc_report_unfreed();
    call(h.sleep, 1.0);
    return 0;
}
