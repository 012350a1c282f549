// Start-up and shutdown of the game program over the platform layer.
#include <GL/gl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "core/app/app.h"

namespace {

namespace fs = std::filesystem;

// Samples of 16 bits (8-bit stereo frames) the readback mixes per tic, and
// the rate that makes them exactly one tic long.
constexpr int RECORD_FRAMES_PER_TIC = 690;
constexpr int RECORD_RATE = RECORD_FRAMES_PER_TIC * TICS_PER_SECOND;  // 88320

// Game data is present when a search folder other than the home folder holds
// a "tracks" folder, a ".saf" archive or a track folder (one with a height
// field file, as the data kit writes them).
bool locate_game_data() {
    for (int i = 1; i < search_folder_count(); i++) {
        std::error_code ec;
        fs::path folder = search_folder(i);
        if (fs::is_directory(folder / "tracks", ec)) return true;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() == ".saf") return true;
            if (fs::exists(entry.path() / "terrain.hf", ec) || fs::exists(entry.path() / "terrain.hf.gz", ec)) return true;
        }
    }
    return false;
}

// Shows the home folder in the desktop's file browser.
void open_home_in_browser() {
    std::string home = home_folder();
    if (home.empty()) return;
    fs::create_directories(home);
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    pid_t pid = fork();
    if (pid == 0) {
        execlp("xdg-open", "xdg-open", home.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid > 0) waitpid(pid, nullptr, 0);
}

std::vector<DisplayMode> display_modes() {
    std::vector<DisplayMode> out;
    for (const ZumiDisplayMode& m : zumi_display_modes()) out.push_back({m.width, m.height, m.bits});
    return out;
}

void log_gl_string(const char* label, GLenum name) {
    const GLubyte* s = glGetString(name);
    zumi_log("%s: %s\n", label, s ? reinterpret_cast<const char*>(s) : "");
}

void init_gl(const Options& o) {
    log_gl_string("GL_VENDOR", GL_VENDOR);
    log_gl_string("GL_RENDERER", GL_RENDERER);
    log_gl_string("GL_VERSION", GL_VERSION);
    log_gl_string("GL_EXTENSIONS", GL_EXTENSIONS);
    glClearColor(0.196078f, 0.6f, 0.8f, 1.0f);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (o.fugly) glShadeModel(GL_FLAT);
}

void open_audio(App& app, const Options& o) {
    if (!o.record_audio.empty()) {
        app.sound = zumi_open_readback(RECORD_RATE, RECORD_FRAMES_PER_TIC);
        app.audio_file = std::fopen(o.record_audio.c_str(), "wb");
        if (!app.audio_file) zumi_log("Can't write audio to %s: %s\n", o.record_audio.c_str(), std::strerror(errno));
    } else if (!o.nosound) {
        app.sound = zumi_open_sound(app.window);
    }
}

void wait_mapped(App& app) {
    while (!zumi_window_size(app.window, nullptr, nullptr) && !app.close_requested) {
        take_window_events(app.window, 0, true, [&app](const ZumiEvent& e) { handle_event(app, e); });
        zumi_sleep(0.0625);
    }
}

void open_inputs(App& app) {
    if (!zumi_window_size(app.window, nullptr, nullptr)) return;
    app.cursor_axes[0] = zumi_open_axis(app.window, "cursor-x");
    app.cursor_axes[1] = zumi_open_axis(app.window, "cursor-y");
    Config& c = app.program.config;
    resolve_binding_codes(c, zumi_input_names(app.window));
    for (InputBinding& b : c.bindings)
        if (b.is_axis()) b.axis_handle = zumi_open_axis(app.window, b.axis_name.c_str());
    app.menu_key_codes.clear();
    for (const char* name : MENU_KEY_NAMES) app.menu_key_codes.push_back(zumi_code_for_name(app.window, name));
}

void close_inputs(App& app) {
    for (int& h : app.cursor_axes) {
        zumi_free_axis(app.window, h);
        h = -1;
    }
    for (InputBinding& b : app.program.config.bindings) {
        zumi_free_axis(app.window, b.axis_handle);
        b.axis_handle = -1;
    }
}

void close_audio(App& app) {
    if (app.sound) zumi_close_sound(app.sound);
    app.sound = nullptr;
    if (app.audio_file) std::fclose(app.audio_file);
    app.audio_file = nullptr;
}

void close_window(App& app) {
    zumi_close_window(app.window);
    app.window = nullptr;
}

}  // namespace

void show_status(App& app, const char* text) {
    if (app.window) {
        take_window_events(app.window, 0, true, [&app](const ZumiEvent& e) {
            if (e.code == CODE_CLOSE) app.close_requested = true;
        });
        for (InputBinding& b : app.program.config.bindings) b.value = 0;
        ZumiRect area;
        if (zumi_begin_frame(app.window, &area)) {
            glViewport(0, 0, area.width, area.height);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            if (app.draw_status_text) app.draw_status_text(text, area.width, area.height);
            zumi_end_frame(app.window);
        }
    }
    zumi_log("%s\n", text);
}

int app_start(App& app, int argc, const char* const* argv) {
    zumi_install_hooks();
    std::signal(SIGPIPE, SIG_IGN);  // a closed video pipe is a write error, not an end
    std::string log_path = prepare_home_folder();
    if (!log_path.empty()) zumi_log("%s", ("ZUMI_LOGFILE=" + log_path).c_str());
    set_files_log([](const char* text) { zumi_log("%s", text); });

    StartupHooks h;
    Program& p = app.program;
    h.open_home = open_home_in_browser;
    h.locate_data = locate_game_data;
    h.message_box = [](const char* caption, const char* text) { zumi_error_box(caption, "%s", text); };
    h.log = [](const char* line) { zumi_log("%s", line); };
    h.display_modes = display_modes;
    h.read_config = [](Program& prog) { read_config(prog.config); };
    h.create_window = [&app](const WindowRequest& r) {
        ZumiGlRequest gl;
        gl.color_bits = r.depth;
        gl.depth_bits = r.zdepth;
        app.window = zumi_open_gl_window("Rutline", r.width, r.height, r.fullscreen ? ZUMI_FULLSCREEN : 0, gl);
        return app.window != nullptr;
    };
    h.build_file_index = [] { build_file_index(); };
    h.build_track_list = [] { return static_cast<int>(list_tracks().size()); };
    h.open_audio = [&app](const Options& o) { open_audio(app, o); };
    h.wait_mapped = [&app] { wait_mapped(app); };
    h.init_gl = init_gl;
    h.open_inputs = [&app] { open_inputs(app); };
    h.select_track = [&app](const std::string& name) {
        app.world.selected_track = find_track_folder(list_tracks(), name);
        if (app.world.selected_track.empty() && !name.empty()) zumi_log("No track \"%s\"\n", name.c_str());
    };
    h.create_world = [&app] { start_world(app); };
    // The start-up race: the program's start list, 0 tics, 1000 laps.
    h.load_track = [&app](Program& prog, bool playback) {
        reset_race(app, &prog.start_list, playback, false, 0, 1000, prog.config.skill.selected);
    };

    int status = program_start(p, argc, argv, h);
    if (status != START_CONTINUE) {
        free_world(app);
        close_audio(app);
        close_window(app);
        zumi_log_close();
        return status;
    }
    if (p.options.record_video) app.video_out = stdout;
    app.tic_hook = [&app] {
        if (app.track_loaded) world_tic(app.world, app.world_hooks);
    };
    return START_CONTINUE;
}

int app_shutdown(App& app) {
    zumi_log("Frames drawn: %d, tics run: %d\n", app.frames_drawn, app.tics_run);
    ShutdownHooks h;
    h.show_status = [&app](const char* text) { show_status(app, text); };
    h.save_and_free_race = [&app] { free_world(app); };
    h.close_inputs = [&app] { close_inputs(app); };
    h.close_audio = [&app] { close_audio(app); };
    h.write_config = [&app] { write_config(app.program.config); };
    h.free_file_list = [] { free_file_index(); };
    h.close_window = [&app] { close_window(app); };
    h.close_log = [] { zumi_log_close(); };
    h.sleep = [](double s) { zumi_sleep(s); };
    return program_shutdown(app.program, h);
}
