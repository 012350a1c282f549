// The main loop: one iteration draws a frame, pumps sound, measures real time
// and runs the whole tics that real time asks for.
#include <GL/gl.h>

#include <cstring>

#include "core/app/app.h"

namespace {

// Axis bindings take their values from the devices each tic.
void read_axis_bindings(App& app) {
    for (InputBinding& b : app.program.config.bindings)
        if (b.is_axis() && b.axis_handle >= 0) b.value = axis_binding_value(b, zumi_read_axis(app.window, b.axis_handle));
}

void record_audio_tic(App& app) {
    if (!app.audio_file) return;
    int bytes = 0;
    const uint8_t* block = zumi_read_mixed(app.sound, &bytes);
    if (block && std::fwrite(block, 1, static_cast<size_t>(bytes), app.audio_file) != static_cast<size_t>(bytes)) {
        zumi_log("Audio recording stopped: write error\n");
        std::fclose(app.audio_file);
        app.audio_file = nullptr;
    }
}

void read_pointer(App& app) {
    for (int i = 0; i < 2; i++)
        if (app.cursor_axes[i] >= 0) app.pointer[i] = zumi_read_axis(app.window, app.cursor_axes[i]);
}

}  // namespace

void tic_body(App& app) {
    Program& p = app.program;
    check_stutter(app, "processmessage");
    read_axis_bindings(app);
    ControlVector controls;
    fill_control_vector(p.config, controls);
    if (p.menu == MENU_NONE) {
        int slot = local_ridden_slot(app);
        if (p.view != ViewMode::NO_TRACK && slot != NO_SLOT) world_apply_controls(app.world, slot, p.controls, controls);
    } else if (local_ridden_slot(app) != NO_SLOT) {
        return;  // riding is frozen under a menu page
    }
    check_stutter(app, "action");
    check_stutter(app, "net");
    if (!app.track_loaded) {
        p.view = ViewMode::NO_TRACK;
        return;
    }
    if (!p.paused && p.view != ViewMode::NO_TRACK && app.tic_hook) app.tic_hook();
    check_stutter(app, "tic");
    app.tics_run++;
    record_audio_tic(app);
}

void check_stutter(App& app, const char* label) {
    double now = zumi_time();
    if (app.stutter_threshold > 0 && now - app.last_checkpoint > app.stutter_threshold)
        con_printf("Stutter in %s - %f seconds\n", label, now - app.last_checkpoint);
    app.last_checkpoint = now;
}

bool write_ppm_frame(FILE* out, int width, int height, const uint8_t* rgb) {
    if (std::fprintf(out, "P6\n%d %d\n255\n", width, height) < 0) return false;
    size_t n = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    return std::fwrite(rgb, 1, n, out) == n && std::fflush(out) == 0;
}

void draw_frame(App& app) {
    ZumiRect area;
    if (!zumi_begin_frame(app.window, &area)) return;
    Config& c = app.program.config;
    if (app.program.video_mode == 1) {  // windowed: the configured size follows the window
        c.xres = area.width;
        c.yres = area.height;
    }
    glViewport(0, 0, area.width, area.height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (app.draw_view) app.draw_view(area.width, area.height);
    if (app.video_out || app.screenshot_pending) {
        app.pixels.resize(static_cast<size_t>(area.width) * static_cast<size_t>(area.height) * 3);
        glReadPixels(0, 0, area.width, area.height, GL_RGB, GL_UNSIGNED_BYTE, app.pixels.data());
    }
    if (app.screenshot_pending) {
        app.screenshot_pending = false;
        save_screenshot(app, area.width, area.height, app.pixels.data());
    }
    if (app.video_out) {
        if (!write_ppm_frame(app.video_out, area.width, area.height, app.pixels.data())) {
            zumi_log("Video recording stopped: write error\n");
            app.video_out = nullptr;
        }
    }
    check_stutter(app, "draw");
    if (app.program.options.glfinish) glFinish();
    zumi_end_frame(app.window);
    check_stutter(app, "flip");
    app.frames_drawn++;
}

int app_run(App& app) {
    Program& p = app.program;
    Clock clock{zumi_time, zumi_sleep};
    FrameSettings settings;
    settings.lock_fps = p.options.lock_fps;
    settings.warp = p.options.warp;
    p.timing.last_frame_time = zumi_time();
    while (!app.close_requested) {
        ViewInputs view;
        view.track_loaded = app.track_loaded;
        p.view = select_view_mode(p.view, view);
        if (zumi_window_size(app.window, nullptr, nullptr)) draw_frame(app);
        if (app.update_sound) {
            bool local = local_ridden_slot(app) != NO_SLOT;
            app.update_sound(engine_sound_factor(p.paused, p.view, p.menu != MENU_NONE, local));
        }
        zumi_commit_sound(app.sound);
        check_stutter(app, "sound");
        FrameStep step = frame_timing_step(p.timing, settings, clock);
        advance_frame(p.timing, step.duration);
        read_pointer(app);
        run_tic_loop(
            p.timing, step.now,
            [&app](double instant, bool all) {
                take_window_events(app.window, instant, all, [&app](const ZumiEvent& e) {
                    check_stutter(app, "getmessage");
                    handle_event(app, e);
                });
            },
            [&app] { tic_body(app); });
        check_stutter(app, "erode");
        check_stutter(app, "update");
        p.timing.last_frame_time = step.now;
    }
    return app_shutdown(app);
}
