#include <csignal>
#include <cstdarg>
#include <cstdio>

#include "platform/window_local.h"

namespace {

// Run-wide.
std::atomic<bool> termination_requested{false};
ZumiWindow* current_window = nullptr;
int video_refs = 0;

bool video_up() {
    if (video_refs == 0) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            zumi_log("Can't start video: %s\n", SDL_GetError());
            return false;
        }
    }
    video_refs++;
    return true;
}

void video_down() {
    if (video_refs > 0 && --video_refs == 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool depth_kept(int bits) { return bits == 16 || bits == 24 || bits == 32; }

ZumiDisplayMode desktop_mode_cache;

void on_termination_signal(int) { termination_requested = true; }

void message_thread(ZumiWindow* w) {
    while (!w->stop_thread.load()) {
        translate_pending_events(w);
        SDL_Delay(2);
    }
}

// Sets the GL attributes for a pixel format; 32 colour bits are taken as 24.
void request_pixel_format(const ZumiGlRequest& gl) {
    int color = gl.color_bits == 32 ? 24 : gl.color_bits;
    int r = 8, g = 8, b = 8;
    if (color <= 16) {
        r = 5;
        g = 6;
        b = 5;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, gl.alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, gl.depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, gl.stencil_bits);
    int accum = gl.accum_bits / 4;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, gl.accum_bits - 3 * accum);
}

// Full screen at a mode: the desktop's own mode keeps the desktop as it is.
void enter_fullscreen(ZumiWindow* w, int width, int height) {
    ZumiDisplayMode m = zumi_choose_fullscreen_mode(zumi_display_modes(), desktop_mode_cache, width, height);
    ZumiDisplayMode d = desktop_mode_cache;
    if (m.width == d.width && m.height == d.height) {
        SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_DisplayMode sm{};
        sm.w = m.width;
        sm.h = m.height;
        SDL_DisplayMode closest{};
        if (SDL_GetClosestDisplayMode(0, &sm, &closest)) SDL_SetWindowDisplayMode(w->sdl, &closest);
        SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN);
    }
    w->fullscreen = true;
}

void store_size(ZumiWindow* w) {
    int cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    if (cw <= 0 || ch <= 0) SDL_GetWindowSize(w->sdl, &cw, &ch);
    w->width = cw;
    w->height = ch;
}

void pump(ZumiWindow* w) {
    SDL_PumpEvents();
    if (!w->threaded) translate_pending_events(w);
    if (termination_requested.exchange(false)) queue_event(w, CODE_CLOSE, true, zumi_time());
}

}  // namespace

// ---------------------------------------------------------------------------
ZumiDisplayMode zumi_choose_fullscreen_mode(const std::vector<ZumiDisplayMode>& modes,
                                            ZumiDisplayMode desktop, int width, int height) {
    const ZumiDisplayMode* best = nullptr;
    for (const ZumiDisplayMode& m : modes)
        if (m.width >= width && m.height >= height &&
            (!best || m.width + m.height < best->width + best->height))
            best = &m;
    if (best) return *best;
    if (desktop.width <= 0 || desktop.height <= 0) return {640, 480, 32};
    return desktop;
}

const std::vector<ZumiDisplayMode>& zumi_display_modes() {
    static std::vector<ZumiDisplayMode> modes;
    static bool built = false;
    if (built) return modes;
    built = true;
    if (!video_up()) return modes;
    auto add = [](ZumiDisplayMode m) {
        for (const ZumiDisplayMode& k : modes)
            if (k.width == m.width && k.height == m.height && k.bits == m.bits) return;
        modes.push_back(m);
    };
    SDL_DisplayMode d{};
    if (SDL_GetDesktopDisplayMode(0, &d) == 0) {
        int bits = SDL_BITSPERPIXEL(d.format);
        desktop_mode_cache = {d.w, d.h, bits};
        bool kept = depth_kept(bits);
        zumi_log("Registry mode is %dx%dx%d@%dhz%s\n", d.w, d.h, bits, d.refresh_rate, kept ? "" : " (ignored)");
        if (kept) add(desktop_mode_cache);
    }
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; i++) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        int bits = SDL_BITSPERPIXEL(m.format);
        bool kept = depth_kept(bits) && m.w > 0 && m.h > 0;
        zumi_log("Found mode %dx%dx%d@%dhz%s\n", m.w, m.h, bits, m.refresh_rate, kept ? "" : " (ignored)");
        if (kept) add({m.w, m.h, bits});
    }
    video_down();
    return modes;
}

ZumiWindow* zumi_open_gl_window(const char* title, int width, int height, int flags, const ZumiGlRequest& gl) {
    zumi_display_modes();
    if (!video_up()) return nullptr;
    if (current_window) {
        zumi_log("Window already open\n");
        video_down();
        return nullptr;
    }
    auto* w = new ZumiWindow;
    w->title = title ? title : "";
    w->fullscreen = (flags & ZUMI_FULLSCREEN) != 0;
    w->threaded = zumi_option_flag("threaded", 0) != 0;
    zumi_log("Options:\n");
    zumi_log("%10s [%s]\n", "fullscreen:", w->fullscreen ? "on" : "off");
    zumi_log("%10s [%s]\n", "threaded:", w->threaded ? "on" : "off");

    if (width <= 0 || height <= 0) {
        ZumiDisplayMode d = desktop_mode_cache;
        width = d.width > 0 ? d.width : 640;
        height = d.height > 0 ? d.height : 480;
    }
    zumi_log("Choosing pixel format\n");
    request_pixel_format(gl);
    zumi_log("Creating window\n");
    Uint32 wflags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    w->sdl = SDL_CreateWindow(w->title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, wflags);
    if (!w->sdl) {
        zumi_log("Can't create window! (%s)\n", SDL_GetError());
        zumi_log("No suitable pixel formats found\n");
        delete w;
        video_down();
        return nullptr;
    }
    zumi_log("Creating OpenGL context\n");
    w->gl = SDL_GL_CreateContext(w->sdl);
    if (!w->gl) {
        zumi_log("Couldn't create OpenGL context (%s)\n", SDL_GetError());
        SDL_DestroyWindow(w->sdl);
        delete w;
        video_down();
        return nullptr;
    }
    SDL_GL_MakeCurrent(w->sdl, w->gl);
    SDL_GL_SetSwapInterval(0);  // the main loop paces itself
    if (w->fullscreen) enter_fullscreen(w, width, height);
    store_size(w);
    SDL_SetWindowMinimumSize(w->sdl, 64, 48);
    SDL_RaiseWindow(w->sdl);
    current_window = w;
    zumi_catch_termination_signals();
    devices_open(w);
    if (w->threaded) {
        zumi_log("Starting message processing thread\n");
        w->message_thread = std::thread(message_thread, w);
    }
    return w;
}

void zumi_close_window(ZumiWindow* w) {
    if (!w) return;
    zumi_log("Setting close flag\n");
    if (w->message_thread.joinable()) {
        w->stop_thread = true;
        w->message_thread.join();
        zumi_log("Message processing thread done\n");
    }
    zumi_log("Closing input devices\n");
    devices_close(w);
    zumi_log("Deleting OpenGL context\n");
    if (w->gl) SDL_GL_DeleteContext(w->gl);
    zumi_log("Destroying window\n");
    SDL_DestroyWindow(w->sdl);
    if (current_window == w) current_window = nullptr;
    delete w;
    video_down();
    zumi_log("Window shutdown complete\n");
}

void zumi_set_fullscreen(ZumiWindow* w, int width, int height) {
    if (!w) return;
    std::lock_guard<std::mutex> hold(w->size_lock);
    w->switching = true;
    enter_fullscreen(w, width, height);
    store_size(w);
    w->switching = false;
}

void zumi_set_windowed(ZumiWindow* w, int width, int height) {
    if (!w) return;
    std::lock_guard<std::mutex> hold(w->size_lock);
    w->switching = true;
    SDL_SetWindowFullscreen(w->sdl, 0);
    if (width > 0 && height > 0) SDL_SetWindowSize(w->sdl, width, height);
    w->fullscreen = false;
    store_size(w);
    w->switching = false;
}

bool zumi_window_size(ZumiWindow* w, int* width, int* height) {
    if (!w) return false;
    std::lock_guard<std::mutex> hold(w->size_lock);
    Uint32 f = SDL_GetWindowFlags(w->sdl);
    bool shown = w->visible && !(f & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
    if (width) *width = w->width;
    if (height) *height = w->height;
    return shown && w->width > 0 && w->height > 0;
}

bool zumi_begin_frame(ZumiWindow* w, ZumiRect* area) {
    if (!w || !w->gl) return false;
    Uint32 f = SDL_GetWindowFlags(w->sdl);
    if (!w->visible || (f & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN))) return false;
    w->size_lock.lock();
    if (w->switching) {
        w->size_lock.unlock();
        return false;
    }
    int cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    if (cw <= 0 || ch <= 0) {
        cw = w->width;
        ch = w->height;
    }
    if (area) *area = {0, 0, cw, ch};
    return true;  // the size lock stays held until zumi_end_frame
}

void zumi_end_frame(ZumiWindow* w) {
    if (!w) return;
    SDL_GL_SwapWindow(w->sdl);
    w->size_lock.unlock();
}

void* zumi_gl_proc(const char* name) { return SDL_GL_GetProcAddress(name); }

// ---------------------------------------------------------------------------
bool zumi_post_event(ZumiWindow* w, const ZumiEvent& e) {
    if (!w) return false;
    std::lock_guard<std::mutex> hold(w->event_lock);
    return event_queue_push(w->queue, e);
}

bool zumi_next_event(ZumiWindow* w, ZumiEvent* e) {
    return zumi_next_event_until(w, 1e300, e);
}

bool zumi_next_event_until(ZumiWindow* w, double until, ZumiEvent* e) {
    if (!w) return false;
    pump(w);
    for (int attempt = 0; attempt < 2; attempt++) {
        {
            std::lock_guard<std::mutex> hold(w->event_lock);
            if (w->queue.count > 0) return event_queue_pop_until(w->queue, until, e);
        }
        if (attempt == 0) pump(w);  // the queue was empty: poll the devices once
    }
    return false;
}

void zumi_catch_termination_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_termination_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

// ---------------------------------------------------------------------------
void zumi_error_box(const char* caption, const char* fmt, ...) {
    char text[ERROR_BOX_TEXT_CHARS + 1];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    zumi_log("%s: %s\n", caption, text);
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0)
        std::fprintf(stderr, "%s: %s\n", caption, text);
}

namespace {
void log_sink(const char* text) { zumi_log("%s", text); }
void box_hook(const char* caption, const char* text) { zumi_error_box(caption, "%s", text); }
void close_gl_hook() {
    if (current_window && current_window->gl) {
        SDL_GL_DeleteContext(current_window->gl);
        current_window->gl = nullptr;
    }
}
}  // namespace

void zumi_install_hooks() {
    set_log_sink(log_sink);
    FatalHooks h;
    h.close_audio = close_current_sound;
    h.close_gl = close_gl_hook;
    h.show_box = box_hook;
    set_fatal_hooks(h);
}
