// Shared types and helpers used by every module: the console message printer,
// vectors and quaternions, and (added alongside) checked allocation, the fatal
// path, RIPEMD-160, MT19937 and the radix sort of index lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// Simulation time. One tic is exactly 1/128 s; every duration inside the
// simulation, the demo files and the network protocol is counted in tics.
inline constexpr int TICS_PER_SECOND = 128;
inline constexpr double TIC_SECONDS = 1.0 / 128.0;
inline constexpr int SLOT_COUNT = 160;  // rider slots 0..159; 160 means "no slot"
inline constexpr int NO_SLOT = 160;
inline constexpr double FT_PER_S_PER_MPH = 1.4666666666666666;

// The control vector: 9 values recomputed every tic from the input bindings.
enum ControlIndex {
    CONTROL_STEER = 0,      // Left +1, Right -1
    CONTROL_THROTTLE = 1,
    CONTROL_FRONT_BRAKE = 2,
    CONTROL_REAR_BRAKE = 3,
    CONTROL_SHIFT = 4,      // Upshift +1, Downshift -1
    CONTROL_CLUTCH = 5,
    CONTROL_SIT_DAB = 6,
    CONTROL_BACK_UP = 7,
    CONTROL_LEAN = 8,       // Lean Forward -1, Lean Backward +1
    CONTROL_COUNT = 9
};
struct ControlVector {
    float v[CONTROL_COUNT] = {};
};

// ---------------------------------------------------------------------------
// Console message printer. Every message to the player goes through here.
// Messages containing "[SPAM]" are dropped while hide_spam is on; each message
// is copied to the log sink and kept in a 1000-line history ring whose lines
// hold at most 255 characters.
inline constexpr int CONSOLE_HISTORY_LINES = 1000;
inline constexpr int CONSOLE_LINE_CHARS = 255;

using ConsoleSink = void (*)(const char* text);

[[gnu::format(printf, 1, 2)]] void con_printf(const char* fmt, ...);
void con_print(const char* text);
void set_console_sink(ConsoleSink sink);  // where the console shows a message (none: headless)
void set_log_sink(ConsoleSink sink);      // the platform log (none: standard error when verbose)
void set_hide_spam(bool hide);
bool hide_spam();
void console_clear_history();
int console_history_count();               // lines kept, at most CONSOLE_HISTORY_LINES
const char* console_history_line(int i);   // 0 = oldest kept line

// Test helper: counts every message printed since the last reset, so a test
// can assert that loading something produced no warning.
int console_message_count();
std::string console_last_messages(int n);  // the newest n history lines joined
void console_reset_count();

// ---------------------------------------------------------------------------
// Vectors are three 32-bit floats; quaternions are stored (w, x, y, z) as the
// physics library orders them.
struct Vec3 {
    float x = 0, y = 0, z = 0;
};
struct Quat {
    float w = 1, x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, Vec3 a) { return a * s; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(Vec3 a);
Vec3 normalize(Vec3 a);  // the zero vector stays zero

Quat quat_mul(Quat a, Quat b);
Quat quat_conj(Quat q);
Quat quat_normalize(Quat q);  // a zero quaternion becomes the identity
Quat quat_from_axis_angle(Vec3 axis, float radians);
Vec3 quat_rotate(Quat q, Vec3 v);  // q v q*
