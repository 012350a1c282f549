// The platform layer: the game window with its GL context, display modes,
// time-stamped input events and input devices, sound output with its own
// mixing thread, the log, error boxes and the clock. The only code that talks
// to the desktop; the rest of the program sees these calls and nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/input.h"

// ---------------------------------------------------------------------------
// Options: the environment variable ZUMI_OPTIONS, read once, holding entries
// such as "[threaded:on][sound-rate:44100]". Yes/no options read "yes]"/"on]"
// as 1 and "no]"/"off]" as 0; number options a decimal integer after the
// colon. Anything else logs "unrecognized setting for <name>" and gives the
// default; a missing option gives the default.
int zumi_option_flag(const char* name, int def);
int zumi_option_number(const char* name, int def);
// The same over a given text (tests, and the readers above).
int zumi_option_flag_in(const char* options, const char* name, int def);
int zumi_option_number_in(const char* options, const char* name, int def);
void zumi_reload_options();  // read ZUMI_OPTIONS again (tests)

// ---------------------------------------------------------------------------
// Clock: seconds of the monotonic clock (microsecond resolution); event time
// stamps use the same clock.
double zumi_time();
void zumi_sleep_until(double when);
void zumi_sleep(double seconds);

// ---------------------------------------------------------------------------
// Log. The first call decides the file: $ZUMI_LOGFILE, else a first message
// "ZUMI_LOGFILE=<name>" (not logged itself), else no log for the run. A name
// starting ">>" appends, ">" or nothing writes; $ZUMI_LOGFILE_FLAGS replaces
// the fopen mode. Every line gets "[h:mm:ss.hh] " and is flushed; messages
// starting with the control code 19 are skipped. Safe from any thread.
[[gnu::format(printf, 1, 2)]] void zumi_log(const char* fmt, ...);
void zumi_log_close();
// Forgets the decision so the next call decides again (tests).
void zumi_log_reset();
// Installs the log as the console's log copy and the fatal path's error box.
void zumi_install_hooks();

// Error box with a caption and a printf-style text (at most 1023 characters);
// standard error when there is no display.
[[gnu::format(printf, 2, 3)]] void zumi_error_box(const char* caption, const char* fmt, ...);

// ---------------------------------------------------------------------------
// Window and GL.
struct ZumiWindow;

inline constexpr int ZUMI_FULLSCREEN = 1;

struct ZumiGlRequest {
    int color_bits = 16;  // 32 is taken as 24
    int alpha_bits = 0;
    int depth_bits = 16;
    int stencil_bits = 0;
    int accum_bits = 0;
};

struct ZumiDisplayMode {
    int width = 0, height = 0, bits = 0;
};

// A width or height of 0 means the desktop's size (640 x 480 if unknown).
// Returns null after logging why; nothing is left open then.
ZumiWindow* zumi_open_gl_window(const char* title, int width, int height, int flags,
                                const ZumiGlRequest& gl);
void zumi_close_window(ZumiWindow* window);
void zumi_set_fullscreen(ZumiWindow* window, int width, int height);
void zumi_set_windowed(ZumiWindow* window, int width, int height);
// The client size, false while the window has none (minimized, not mapped).
bool zumi_window_size(ZumiWindow* window, int* width, int* height);

struct ZumiRect {
    int x = 0, y = 0, width = 0, height = 0;
};
// Drawing happens only between a successful begin and its end; end presents
// the back buffer.
bool zumi_begin_frame(ZumiWindow* window, ZumiRect* area);
void zumi_end_frame(ZumiWindow* window);
void* zumi_gl_proc(const char* name);

// Modes of 16, 24 and 32 bits per pixel without repeats, the desktop's own
// mode first. Built once.
const std::vector<ZumiDisplayMode>& zumi_display_modes();
// Full-screen mode for a requested size: the listed mode with width >= w and
// height >= h and the smallest width + height, else the desktop mode.
ZumiDisplayMode zumi_choose_fullscreen_mode(const std::vector<ZumiDisplayMode>& modes,
                                            ZumiDisplayMode desktop, int width, int height);

// ---------------------------------------------------------------------------
// Events: code (see input/input.h), pressed or released, time stamp.
struct ZumiEvent {
    int code = 0;
    bool pressed = false;
    double time = 0;
};
// The oldest queued event. Processes pending window messages first (unless
// the message thread does), and when the queue is empty polls the devices
// once and looks again.
bool zumi_next_event(ZumiWindow* window, ZumiEvent* event);
// The same, but only an event whose time is not later than until.
bool zumi_next_event_until(ZumiWindow* window, double until, ZumiEvent* event);
// Queues an event as the window and the devices do (tests, and "close" from a
// signal). False when the queue holds 256 events already.
bool zumi_post_event(ZumiWindow* window, const ZumiEvent& event);

// Names, axes and aliases over the window's devices.
int zumi_code_for_name(ZumiWindow* window, const char* name);     // CODE_NONE when none
std::string zumi_name_for_code(ZumiWindow* window, int code);
int zumi_open_axis(ZumiWindow* window, const char* name);         // handle, or -1
// Joystick axes -32767..32767, pad triggers 0..32767, the cursor in window
// pixels, the mouse's motion since the previous read; 0 for a bad handle.
int zumi_read_axis(ZumiWindow* window, int handle);
void zumi_free_axis(ZumiWindow* window, int handle);
std::vector<std::string> zumi_axis_names(ZumiWindow* window);
bool zumi_alias(ZumiWindow* window, const char* name, const char* target);
// A copy of the devices and aliases as they are now.
InputNames zumi_input_names(ZumiWindow* window);

// SIGTERM and SIGINT queue the close request (code 0xDEAD) instead of ending
// the process; installed by zumi_open_gl_window.
void zumi_catch_termination_signals();

// ---------------------------------------------------------------------------
// Sound output. Sounds are 8-bit unsigned (128 = silence) with a volume
// 0..32767, a pan -32767..32767, a rate in samples per second and a loop
// flag. Back ends: "dsnd" (not available here), "waveout" (an audio device
// fed from our own mixing thread), and the readback device that mixes into
// memory on request (recording).
struct ZumiSoundDevice;
struct ZumiSound;

ZumiSoundDevice* zumi_open_sound(ZumiWindow* window);
ZumiSoundDevice* zumi_open_readback(int rate, int frames_per_read);
void zumi_close_sound(ZumiSoundDevice* device);
void zumi_commit_sound(ZumiSoundDevice* device);
// Readback only: mixes the next block (8-bit stereo, 2 bytes a frame).
const uint8_t* zumi_read_mixed(ZumiSoundDevice* device, int* bytes);
// data_rate 0 keeps the data as it is; another rate converts it to the output
// rate by nearest-sample stepping.
ZumiSound* zumi_create_sound(ZumiSoundDevice* device, int length, const uint8_t* data, int data_rate);
ZumiSound* zumi_duplicate_sound(ZumiSound* sound);
void zumi_free_sound(ZumiSound* sound);
void zumi_play_sound(ZumiSound* sound);
void zumi_stop_sound(ZumiSound* sound);
void zumi_set_sound_rate(ZumiSound* sound, int rate);
void zumi_set_sound_volume(ZumiSound* sound, int volume);
void zumi_set_sound_pan(ZumiSound* sound, int pan);
void zumi_set_sound_loop(ZumiSound* sound, bool loop);
int zumi_sound_position(ZumiSound* sound);
void zumi_write_sound(ZumiSound* sound, int length, const uint8_t* data, int position);
int zumi_sound_output_rate(ZumiSoundDevice* device);
bool zumi_sound_thread_running(ZumiSoundDevice* device);
