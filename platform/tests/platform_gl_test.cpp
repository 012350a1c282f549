// The window, its GL context, events and input devices, offscreen.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "common/common.h"
#include "platform/platform.h"

namespace {

struct WindowTest : ::testing::Test {
    ZumiWindow* w = nullptr;
    void open(const char* options = "") {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);  // GL without a display
        setenv("ZUMI_OPTIONS", options, 1);
        zumi_reload_options();
        ZumiGlRequest gl;
        gl.color_bits = 32;
        gl.depth_bits = 16;
        w = zumi_open_gl_window("Rutline test", 320, 200, 0, gl);
        ASSERT_NE(w, nullptr);
    }
    void TearDown() override {
        zumi_close_window(w);
        unsetenv("ZUMI_OPTIONS");
        zumi_reload_options();
    }
    // Every queued event, after letting the window take what SDL has.
    std::vector<ZumiEvent> drain() {
        std::vector<ZumiEvent> out;
        ZumiEvent e;
        for (int i = 0; i < 50; i++) {  // the message thread may still be at work
            while (zumi_next_event(w, &e)) out.push_back(e);
            SDL_Delay(2);
        }
        return out;
    }
};

TEST_F(WindowTest, FramesClearToTheSkyColour) {
    open();
    int width = 0, height = 0;
    EXPECT_TRUE(zumi_window_size(w, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 200);
    ZumiRect area;
    ASSERT_TRUE(zumi_begin_frame(w, &area));
    EXPECT_EQ(area.width, 320);
    EXPECT_EQ(area.height, 200);
    ASSERT_NE(zumi_gl_proc("glCreateShaderObjectARB"), nullptr);
    glClearColor(0.196078f, 0.6f, 0.8f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char px[3] = {};
    glReadPixels(10, 10, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 50);
    EXPECT_EQ(px[1], 153);
    EXPECT_EQ(px[2], 204);
    zumi_end_frame(w);
}

TEST_F(WindowTest, DisplayModesKeepTheDesktopFirst) {
    open();
    const std::vector<ZumiDisplayMode>& modes = zumi_display_modes();
    ASSERT_FALSE(modes.empty());
    for (const ZumiDisplayMode& m : modes) {
        EXPECT_TRUE(m.bits == 16 || m.bits == 24 || m.bits == 32);
        EXPECT_GT(m.width, 0);
    }
}

TEST_F(WindowTest, KeysTypedCharactersAndMouseButtons) {
    for (const char* options : {"", "[threaded:on]"}) {
        SCOPED_TRACE(options);
        open(options);
        auto push_key = [](SDL_Scancode sc, bool down) {
            SDL_Event e{};
            e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.timestamp = SDL_GetTicks();
            e.key.keysym.scancode = sc;
            SDL_PushEvent(&e);
        };
        push_key(SDL_SCANCODE_A, true);
        push_key(SDL_SCANCODE_RCTRL, true);
        push_key(SDL_SCANCODE_BACKSPACE, true);
        push_key(SDL_SCANCODE_A, false);
        SDL_Event t{};
        t.type = SDL_TEXTINPUT;
        t.text.timestamp = SDL_GetTicks();
        std::snprintf(t.text.text, sizeof t.text.text, "%s", "q\xc3\xa9");
        SDL_PushEvent(&t);
        SDL_Event b{};
        b.type = SDL_MOUSEBUTTONDOWN;
        b.button.timestamp = SDL_GetTicks();
        b.button.button = SDL_BUTTON_RIGHT;
        SDL_PushEvent(&b);

        std::vector<ZumiEvent> got = drain();
        std::vector<std::pair<int, bool>> codes;
        for (const ZumiEvent& e : got) codes.push_back({e.code, e.pressed});
        std::vector<std::pair<int, bool>> want = {
            {0x101e, true}, {0x111d, true}, {0x100e, true}, {8, true}, {0x101e, false},
            {'q', true},    {0xe9, true},   {CODE_MOUSE_RIGHT, true},
        };
        EXPECT_EQ(codes, want);
        for (size_t i = 1; i < got.size(); i++) EXPECT_LE(got[i - 1].time, got[i].time);
        // The desktop's names come first; the fixed names still work.
        EXPECT_EQ(zumi_code_for_name(w, "right ctrl"), 0x111d);
        EXPECT_EQ(zumi_code_for_name(w, "Return"), 0x101c);
        EXPECT_EQ(zumi_code_for_name(w, "Enter"), 0x101c);
        EXPECT_EQ(zumi_code_for_name(w, "left_shift"), 0x102a);
        EXPECT_EQ(zumi_name_for_code(w, 0x102a), "Left Shift");
        zumi_close_window(w);
        w = nullptr;
    }
}

TEST_F(WindowTest, TerminationSignalsBecomeClose) {
    for (const char* options : {"", "[threaded:on]"}) {
        SCOPED_TRACE(options);
        open(options);
        std::raise(SIGTERM);
        std::raise(SIGINT);
        std::vector<ZumiEvent> got = drain();
        ASSERT_GE(got.size(), 1u);
        EXPECT_EQ(got[0].code, CODE_CLOSE);
        EXPECT_TRUE(got[0].pressed);
        zumi_close_window(w);
        w = nullptr;
    }
}

TEST_F(WindowTest, NextEventUpToATime) {
    open();
    double now = zumi_time();
    zumi_post_event(w, {0x1010, true, now + 0.02});
    zumi_post_event(w, {0x1011, true, now - 0.01});
    ZumiEvent e;
    ASSERT_TRUE(zumi_next_event_until(w, now, &e));
    EXPECT_EQ(e.code, 0x1011);
    EXPECT_FALSE(zumi_next_event_until(w, now, &e));
    ASSERT_TRUE(zumi_next_event_until(w, now + 0.02, &e));
    EXPECT_EQ(e.code, 0x1010);
    for (int i = 0; i < 256; i++) EXPECT_TRUE(zumi_post_event(w, {i, true, now}));
    EXPECT_FALSE(zumi_post_event(w, {0x1001, true, now}));
}

int attach_stick(const char* name, int axes, int buttons, SDL_JoystickType type, int hats = 0) {
    SDL_VirtualJoystickDesc d{};
    d.nhats = static_cast<Uint16>(hats);
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = static_cast<Uint16>(type);
    d.naxes = static_cast<Uint16>(axes);
    d.nbuttons = static_cast<Uint16>(buttons);
    d.name = name;
    return SDL_JoystickAttachVirtualEx(&d);
}

SDL_Joystick* opened(int index) {
    return SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
}

TEST_F(WindowTest, VirtualDevicesAreNamedAndRead) {
    // The offscreen window never has the focus; joysticks report anyway.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    open("[dinputsticksonly:off]");
    int a = attach_stick("Joystick 1", 3, 4, SDL_JOYSTICK_TYPE_FLIGHT_STICK);
    int b = attach_stick("Joystick 1", 2, 2, SDL_JOYSTICK_TYPE_FLIGHT_STICK, 1);  // a hat: buttons 2..5
    int p = attach_stick("Some Pad", 6, 15, SDL_JOYSTICK_TYPE_GAMECONTROLLER);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(p, 0);
    drain();  // the devices arrive as they would when plugged in
    InputNames names = zumi_input_names(w);
    int j1 = find_input_device(names, "Joystick1");
    int j2 = find_input_device(names, "Joystick1#2");
    int x0 = find_input_device(names, "XInputGamepad0");
    ASSERT_GE(j1, 0);
    ASSERT_GE(j2, 0);
    ASSERT_GE(x0, 0);
    EXPECT_EQ(names.devices[x0].buttons, 16);
    EXPECT_EQ(names.devices[x0].axes, 6);
    EXPECT_GE(find_input_device(names, "cursor"), 0);
    EXPECT_GE(find_input_device(names, "Mouse"), 0);
    EXPECT_GE(zumi_code_for_name(w, "mouse-left"), DEVICE_BASE_STEP);

    // Offered axis names: the joysticks' and the pad's, not the mouse or cursor.
    std::vector<std::string> offered = zumi_axis_names(w);
    EXPECT_EQ(offered, (std::vector<std::string>{"Joystick1 axis 0", "Joystick1 axis 1", "Joystick1 axis 2",
                                                 "Joystick1#2 axis 0", "Joystick1#2 axis 1",
                                                 "XInputGamepad0 axis 0", "XInputGamepad0 axis 1",
                                                 "XInputGamepad0 axis 2", "XInputGamepad0 axis 3",
                                                 "XInputGamepad0 axis 4", "XInputGamepad0 axis 5"}));

    // Buttons and axes.
    int ax = zumi_open_axis(w, "joystick-a-y");
    int trig = zumi_open_axis(w, "XInputGamepad0 axis 5");
    int ly = zumi_open_axis(w, "XInputGamepad0.axis[1]");
    ASSERT_GE(ax, 0);
    ASSERT_GE(trig, 0);
    EXPECT_EQ(zumi_open_axis(w, "Joystick1 axis 3"), -1);
    SDL_JoystickSetVirtualAxis(opened(a), 1, -32768);
    SDL_JoystickSetVirtualButton(opened(a), 3, 1);
    SDL_JoystickSetVirtualButton(opened(b), 1, 1);
    SDL_JoystickSetVirtualHat(opened(b), 0, SDL_HAT_LEFTUP);
    SDL_JoystickSetVirtualAxis(opened(p), SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    SDL_JoystickSetVirtualAxis(opened(p), SDL_CONTROLLER_AXIS_LEFTY, 20000);
    SDL_JoystickSetVirtualButton(opened(p), SDL_CONTROLLER_BUTTON_A, 1);
    std::vector<ZumiEvent> got = drain();
    std::vector<int> codes;
    for (const ZumiEvent& e : got)
        if (e.pressed) codes.push_back(e.code);
    std::sort(codes.begin(), codes.end());
    std::vector<int> want = {zumi_code_for_name(w, "Joystick1.key[3]"), zumi_code_for_name(w, "Joystick1#2 button 1"),
                             zumi_code_for_name(w, "Joystick1#2 button 2"), zumi_code_for_name(w, "Joystick1#2 button 5"),
                             zumi_code_for_name(w, "XInputGamepad0 button 12")};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(codes, want);
    EXPECT_EQ(zumi_name_for_code(w, zumi_code_for_name(w, "XInputGamepad0 button 12")), "XInputGamepad0 button 12");
    EXPECT_EQ(zumi_read_axis(w, ax), -32767);
    EXPECT_GT(zumi_read_axis(w, trig), 32000);
    EXPECT_LT(zumi_read_axis(w, ly), -19000);  // pad sticks read with y up

    // Unplugged: the name stays reserved, the axis reads centred; plugged
    // back in, it is the same device again.
    SDL_JoystickDetachVirtual(a);
    drain();
    EXPECT_FALSE(zumi_input_names(w).devices[j1].present);
    EXPECT_EQ(zumi_read_axis(w, ax), 0);
    a = attach_stick("Joystick 1", 3, 4, SDL_JOYSTICK_TYPE_FLIGHT_STICK);
    drain();
    EXPECT_TRUE(zumi_input_names(w).devices[j1].present);
    SDL_JoystickSetVirtualAxis(opened(a), 1, 1234);
    drain();
    EXPECT_EQ(zumi_read_axis(w, ax), 1234);
    zumi_free_axis(w, ax);
    zumi_free_axis(w, trig);
    zumi_free_axis(w, ly);
    SDL_JoystickDetachVirtual(a);
    SDL_JoystickDetachVirtual(b);
    SDL_JoystickDetachVirtual(p);
}

TEST_F(WindowTest, AliasesAndTheStickOnlyMouse) {
    open();
    EXPECT_EQ(zumi_code_for_name(w, "mouse-left"), CODE_NONE);  // no Mouse device
    EXPECT_EQ(zumi_code_for_name(w, "cursor-left"), CODE_MOUSE_LEFT);
    EXPECT_TRUE(zumi_alias(w, "throttle", "x"));
    EXPECT_FALSE(zumi_alias(w, "throttle", "y"));
    EXPECT_EQ(zumi_code_for_name(w, "throttle"), 0x102d);
    int cx = zumi_open_axis(w, "cursor-x");
    EXPECT_GE(cx, 0);
    zumi_free_axis(w, cx);
}

}  // namespace

namespace {

TEST_F(WindowTest, FullScreenAndBackKeepFramesWorking) {
    open();
    zumi_set_fullscreen(w, 640, 480);
    ZumiRect area;
    ASSERT_TRUE(zumi_begin_frame(w, &area));
    EXPECT_GT(area.width, 0);
    zumi_end_frame(w);
    zumi_set_windowed(w, 200, 100);
    int width = 0, height = 0;
    EXPECT_TRUE(zumi_window_size(w, &width, &height));
    ASSERT_TRUE(zumi_begin_frame(w, &area));
    EXPECT_EQ(area.width, 200);
    EXPECT_EQ(area.height, 100);
    zumi_end_frame(w);
}

// Without a display the box goes to standard error; the fatal path closes
// the GL context and audio, shows "Out of virtual memory" and exits with 1.
TEST(ErrorBoxes, StandardErrorWithoutADisplayAndTheFatalPath) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            zumi_error_box("Problem starting Rutline", "Can't find %s\n", "game data");
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "Problem starting Rutline: Can't find game data");
    EXPECT_EXIT(
        {
            zumi_install_hooks();
            ZumiWindow* w = zumi_open_gl_window("fatal", 64, 48, 0, ZumiGlRequest{});
            ZumiSoundDevice* d = zumi_open_readback(1000, 10);
            if (!w || !d) std::exit(5);
            fatal_out_of_memory();
        },
        ::testing::ExitedWithCode(1), "Error: Out of virtual memory");
}

}  // namespace

namespace {

TEST_F(WindowTest, DeviceOptionsChooseWhereControllersGo) {
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    struct Case {
        const char* options;
        bool pad, stick, controller_as_stick;
    } cases[] = {
        {"", true, true, false},
        {"[xinput:off]", false, true, true},
        {"[dinput:off]", true, false, false},
        {"[dinput:off][xinput:off]", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        open(c.options);
        int s = attach_stick("Flight Stick", 2, 2, SDL_JOYSTICK_TYPE_FLIGHT_STICK);
        int p = attach_stick("Some Pad", 6, 15, SDL_JOYSTICK_TYPE_GAMECONTROLLER);
        drain();
        InputNames names = zumi_input_names(w);
        EXPECT_EQ(find_input_device(names, "XInputGamepad0") >= 0, c.pad);
        EXPECT_EQ(find_input_device(names, "FlightStick") >= 0, c.stick);
        EXPECT_EQ(find_input_device(names, "SomePad") >= 0, c.controller_as_stick);
        SDL_JoystickDetachVirtual(p);
        SDL_JoystickDetachVirtual(s);
        drain();
        zumi_close_window(w);
        w = nullptr;
    }
}

}  // namespace
