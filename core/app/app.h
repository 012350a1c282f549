// The game program: start-up and shutdown over the platform layer, and the
// main loop that draws a frame, pumps sound, measures real time and runs
// whole tics. Private to the program and its tests.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/world/world.h"
#include "platform/platform.h"

// The program's run-wide platform state.
struct App {
    Program program;
    ZumiWindow* window = nullptr;
    ZumiSoundDevice* sound = nullptr;
    FILE* audio_file = nullptr;       // --record-audio
    FILE* video_out = nullptr;        // --record-video (standard output)
    bool track_loaded = false;
    World world;                      // the loaded track and the race on it
    bool world_started = false;
    TicHooks world_hooks;             // the tic's hooks over the world
    bool close_requested = false;
    int cursor_axes[2] = {-1, -1};
    int pointer[2] = {0, 0};          // the cursor in window pixels, read once a frame
    std::vector<int> menu_key_codes;  // MENU_KEY_NAMES resolved at start-up
    double stutter_threshold = 0;     // seconds, 0 = off (set from the console)
    double last_checkpoint = 0;
    int tics_run = 0;
    int frames_drawn = 0;
    std::vector<uint8_t> pixels;      // frame readback
    bool screenshot_pending = false;  // taken from the next frame drawn
    int next_screenshot = -1;         // -1: not yet chosen
    std::function<void()> tic_hook;   // the simulation tic (run_tic over the game state)
    // Steps that arrive with the renderer, the menus and the engine sound;
    // unset ones leave an empty frame and silence.
    std::function<void(int width, int height)> draw_view;         // world, HUD, menus
    std::function<void(const char* text, int width, int height)> draw_status_text;
    std::function<void(float engine_factor)> update_sound;
};

// The keys the menus answer to whatever the bindings are.
inline constexpr const char* MENU_KEY_NAMES[] = {
    "up", "down", "left", "right", "enter", "keypad enter", "esc", "pause",
    "cursor-left", "cursor-right", "page up", "page down", "close",
};

// Prints "Stutter in <label> - <s> seconds" when more than the threshold has
// passed since the previous checkpoint.
void check_stutter(App& app, const char* label);

// Start-up; START_CONTINUE to go on to the loop, else the exit status (with
// everything opened so far closed again).
int app_start(App& app, int argc, const char* const* argv);
// Runs frames until "close"; then shuts down. Returns the exit status.
int app_run(App& app);
int app_shutdown(App& app);

// Starts the physics world (start-up's world step); false when the physics
// library cannot be used.
bool start_world(App& app);
// Resets the race with a start list (null: a time trial) over the world and
// the status lines; track_loaded follows whether a track is loaded after it.
void reset_race(App& app, const StartList* list, bool playback, bool record, int race_length_tics, int laps,
                int skill);
// The "New Race" start: slots 0-39 from the gate choices, the rest empty,
// the race settings of the configuration; then the gate choices move on by
// the lineup rotation.
void start_new_race(App& app);
// The bike this computer's controls ride: the viewed slot when its bike is
// local; NO_SLOT otherwise.
int local_ridden_slot(const App& app);
// Tears the race, the track and the physics world down.
void free_world(App& app);

// One tic of the loop once its events are handled: the controls onto the
// local bike, then the simulation tic unless paused or frozen under a menu.
void tic_body(App& app);

// One frame's drawing: an empty frame in the sky colour (the world, HUD and
// menus draw here as they arrive), written to video_out when recording.
void draw_frame(App& app);
// Handles one input event of a tic.
void handle_event(App& app, const ZumiEvent& e);
// Takes the window's events due by the tic instant (every pending one when
// `all`), handing each to handle.
void take_window_events(ZumiWindow* w, double instant, bool all, const std::function<void(const ZumiEvent&)>& handle);
// Writes an RGB frame (rows bottom to top, as read back) as binary PPM.
bool write_ppm_frame(FILE* out, int width, int height, const uint8_t* rgb);
// Saves the frame just drawn (RGB rows bottom to top) as the next
// "@screenshot%03d.png"; the number starts one above the largest among the
// file index's "screenshot<N>" names.
void save_screenshot(App& app, int width, int height, const uint8_t* rgb_bottom_up);
// Draws a status line's empty frame, and logs the text.
void show_status(App& app, const char* text);
