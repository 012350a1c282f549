#include "core/app/app.h"

void take_window_events(ZumiWindow* w, double instant, bool all, const std::function<void(const ZumiEvent&)>& handle) {
    ZumiEvent e;
    while (all ? zumi_next_event(w, &e) : zumi_next_event_until(w, instant, &e)) handle(e);
}

void handle_event(App& app, const ZumiEvent& e) {
    Program& p = app.program;
    if (e.code == CODE_CLOSE) {
        app.close_requested = true;
        return;
    }
    bool connected = false;  // the network arrives later
    for (int i = 0; i < BINDING_COUNT; i++) {
        InputBinding& b = p.config.bindings[static_cast<size_t>(i)];
        if (b.is_axis() || b.key_code != e.code) continue;
        if (i < RIDING_BINDING_COUNT) b.value = e.pressed ? 1.0f : 0.0f;
        if (!e.pressed) continue;
        if (i == BIND_PAUSE && !connected) p.paused = !p.paused;
        if (i == BIND_STEP && p.paused && app.track_loaded && app.tic_hook) app.tic_hook();
    }
    if (e.pressed && e.code == key_code(SCAN_TAB)) p.view = next_view_mode(p.view, p.options.editor);
}
