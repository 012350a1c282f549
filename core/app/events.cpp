#include "core/app/app.h"

#include <cstdio>
#include <cstring>

#include "image/image.h"

void take_window_events(ZumiWindow* w, double instant, bool all, const std::function<void(const ZumiEvent&)>& handle) {
    ZumiEvent e;
    while (all ? zumi_next_event(w, &e) : zumi_next_event_until(w, instant, &e)) handle(e);
}

namespace {
enum MenuKey { MENU_KEY_ENTER = 4, MENU_KEY_KEYPAD_ENTER = 5, MENU_KEY_ESC = 6 };  // in MENU_KEY_NAMES

bool menu_key(const App& app, int code, MenuKey k) {
    return static_cast<size_t>(k) < app.menu_key_codes.size() && app.menu_key_codes[static_cast<size_t>(k)] == code &&
           code >= 0;
}
}  // namespace

void handle_event(App& app, const ZumiEvent& e) {
    Program& p = app.program;
    if (e.code == CODE_CLOSE) {
        app.close_requested = true;
        return;
    }
    bool connected = false;  // the network arrives later
    if (e.pressed && menu_key(app, e.code, MENU_KEY_ESC)) {
        // Shows the main menu with none shown, hides any page shown.
        p.menu = p.menu == MENU_NONE ? MENU_MAIN : MENU_NONE;
    } else if (e.pressed && p.menu == MENU_MAIN &&
               (menu_key(app, e.code, MENU_KEY_ENTER) || menu_key(app, e.code, MENU_KEY_KEYPAD_ENTER))) {
        // Until the menu pages are drawn, "enter" on the main menu starts a
        // race from the configured lineup as "New Race", "Start" does.
        start_new_race(app);
        return;
    }
    for (int i = 0; i < BINDING_COUNT; i++) {
        InputBinding& b = p.config.bindings[static_cast<size_t>(i)];
        if (b.is_axis() || b.key_code != e.code) continue;
        if (i < RIDING_BINDING_COUNT) b.value = e.pressed ? 1.0f : 0.0f;
        if (!e.pressed) continue;
        if (i == BIND_PAUSE && !connected) p.paused = !p.paused;
        if (i == BIND_STEP && p.paused && app.track_loaded && app.tic_hook) app.tic_hook();
        if (i == BIND_SCREENSHOT && p.view != ViewMode::EDITOR) app.screenshot_pending = true;
    }
    if (e.pressed && e.code == key_code(SCAN_TAB)) p.view = next_view_mode(p.view, p.options.editor);
}

void save_screenshot(App& app, int width, int height, const uint8_t* rgb_bottom_up) {
    if (app.next_screenshot < 0) {
        unsigned largest = 0;
        bool any = false;
        for (const std::string& name : build_file_index()) {
            unsigned n = 0;
            if (std::sscanf(name.c_str(), "screenshot%u", &n) == 1) {
                largest = any && largest > n ? largest : n;
                any = true;
            }
        }
        app.next_screenshot = any ? static_cast<int>(largest) + 1 : 0;
    }
    // Rows from the top for the image file.
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> top_down(row * static_cast<size_t>(height));
    for (int y = 0; y < height; y++)
        std::memcpy(&top_down[static_cast<size_t>(y) * row], rgb_bottom_up + static_cast<size_t>(height - 1 - y) * row, row);
    char name[48];
    std::snprintf(name, sizeof name, "@screenshot%03d.png", app.next_screenshot);
    if (write_png(name, top_down.data(), width, height, 3, 8)) con_printf("Saved \"%s\"\n", name + 1);
    app.next_screenshot++;
}
