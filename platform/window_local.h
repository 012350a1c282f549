// The window record and the device links, shared by window.cpp and
// devices.cpp. Includes SDL: private to the platform layer.
#pragma once

#include <SDL.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/common.h"
#include "platform/platform_local.h"

// An opened SDL joystick or game controller behind one input device.
struct DeviceLink {
    int device = -1;             // index into the window's InputNames
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* pad = nullptr;  // set for the XInputGamepad devices
    SDL_JoystickID instance = -1;
    int pad_number = -1;         // 0..3 for the XInputGamepad devices
    std::vector<int> axes;       // current values
    std::vector<uint8_t> buttons;
    int hat_base = 0;            // hats follow the buttons, 4 each: up, right, down, left
};

struct AxisHandle {
    int device = -1;
    int axis = 0;
    bool open = false;
};

// The game window: run-wide from creation to close.
struct ZumiWindow {
    std::string title;
    SDL_Window* sdl = nullptr;
    SDL_GLContext gl = nullptr;
    int width = 0, height = 0;   // client size, under size_lock
    bool fullscreen = false;
    std::atomic<bool> visible{true};
    bool switching = false;      // a window/full-screen switch is in progress
    std::mutex size_lock;
    std::mutex event_lock;
    EventQueue queue;            // under event_lock
    // The device list, links, handles and axis values: changed while events
    // are translated (on the message thread with "threaded") and read by the
    // game's name and axis calls. event_lock may be taken while this is
    // held, never the reverse.
    std::recursive_mutex device_lock;

    bool threaded = false;
    std::thread message_thread;
    std::atomic<bool> stop_thread{false};

    bool use_dinput = true, sticks_only = true, use_xinput = true;
    InputNames names;
    std::vector<DeviceLink> links;
    std::vector<AxisHandle> handles;
    std::vector<int> device_refs;  // open axis handles per device
    int cursor_device = -1;
    int mouse_device = -1;        // the relative "Mouse" device, when not sticks only
    int cursor_x = 0, cursor_y = 0;
    std::vector<int> mouse_axes;  // motion since the last read
    double last_sdl_event_time = 0;  // keeps translated events in SDL's order
};

// devices.cpp
void devices_open(ZumiWindow* w);
void devices_close(ZumiWindow* w);
// Takes every SDL event waiting and turns it into queued events.
void translate_pending_events(ZumiWindow* w);
void queue_event(ZumiWindow* w, int code, bool pressed, double time);
// The time of an SDL event time stamp (milliseconds of SDL's tick clock) on
// our clock.
double sdl_event_time(ZumiWindow* w, Uint32 timestamp);
// Our scan code for an SDL scancode, or -1.
int scan_for_sdl_scancode(int sdl_scancode);
