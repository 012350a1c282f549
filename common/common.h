// Shared types and helpers used by every module: the console message printer,
// vectors and quaternions, and (added alongside) checked allocation, the fatal
// path, RIPEMD-160, MT19937 and the radix sort of index lists.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// ---------------------------------------------------------------------------
// Checked allocation. The four wrappers behave like the C library's. When the
// environment variable QZ_CHECK_ALLOC reads as an integer above 0 on the first
// call, every live block is recorded (address, serial number, size) in a table
// of ALLOC_TABLE_SIZE entries: a full table prints "Too many allocations to
// check!" and turns checking off; freeing an unrecorded block prints
// "Allocation not found for %p!" and leaves the block alone; a recorded block
// is zero-filled before it is freed. All messages go to standard error.
inline constexpr int ALLOC_TABLE_SIZE = 1048576;

void* qz_malloc(size_t size);
void* qz_calloc(size_t count, size_t size);
void* qz_realloc(void* block, size_t size);
void qz_free(void* block);
bool alloc_checking();             // whether blocks are being recorded
int alloc_live_count();            // recorded blocks (0 when not checking)
void alloc_report_unfreed();       // lists every recorded block as "%p:%d\n" (address, serial)
void alloc_check_reset_for_tests(bool enable);  // forget the table, start or stop checking

// Must-succeed allocations: out of memory takes the fatal path below.
void* qz_must_malloc(size_t size);
void* qz_must_calloc(size_t count, size_t size);
void* qz_must_realloc(void* block, size_t size);

// ---------------------------------------------------------------------------
// Error boxes and the fatal path. The program fills in the hooks (the platform
// layer shows a real box, closes the audio device and the GL context); with no
// hooks the box goes to standard error and nothing else is closed.
struct FatalHooks {
    void (*close_audio)() = nullptr;
    void (*close_gl)() = nullptr;
    void (*show_box)(const char* caption, const char* text) = nullptr;
    void (*exit_program)(int status) = nullptr;  // none: std::exit
};
inline constexpr int ERROR_BOX_TEXT_CHARS = 1023;

void set_fatal_hooks(const FatalHooks& hooks);
// Shows a caption and a printf-style text of at most 1023 characters.
[[gnu::format(printf, 2, 3)]] void error_box(const char* caption, const char* fmt, ...);
// Closes audio and the GL context, shows "Error" / "Out of virtual memory",
// exits with status 1.
[[noreturn]] void fatal_out_of_memory();

// ---------------------------------------------------------------------------
// RIPEMD-160 (track digest, terrain digest, password check).
struct Ripemd160 {
    uint32_t h[5];
    uint64_t length = 0;  // bytes absorbed
    uint8_t block[64];
    size_t used = 0;      // bytes waiting in block
};
using Digest160 = std::array<uint8_t, 20>;

void ripemd160_init(Ripemd160& ctx);
void ripemd160_update(Ripemd160& ctx, const void* data, size_t size);
Digest160 ripemd160_final(Ripemd160& ctx);
Digest160 ripemd160(const void* data, size_t size);
std::string digest_hex(const Digest160& d);  // 40 lowercase hex digits

// ---------------------------------------------------------------------------
// MT19937 Mersenne Twister with its standard seeding; the same sequence as
// std::mt19937 for the same seed.
struct Mt19937 {
    uint32_t mt[624];
    int index = 625;  // 625: never seeded (seeds with 5489 on first draw)
};
void mt_seed(Mt19937& r, uint32_t seed);
uint32_t mt_next(Mt19937& r);

// ---------------------------------------------------------------------------
// LSD radix sort of index lists by 32-bit key: four stable 8-bit passes.
struct KeyIndex {
    uint32_t key;
    uint32_t index;
};
// Sorts items[0..count) by key, keeping the order of equal keys; scratch
// holds at least count entries.
void radix_sort(KeyIndex* items, size_t count, KeyIndex* scratch);
void radix_sort(std::vector<KeyIndex>& items);

// ---------------------------------------------------------------------------
// More vector and quaternion helpers.
inline float length_squared(Vec3 a) { return dot(a, a); }
inline float distance(Vec3 a, Vec3 b) { return length(a - b); }
inline Vec3 lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }
inline float quat_dot(Quat a, Quat b) { return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z; }
// Normalised blend along the shorter way (b's sign flipped when the dot
// product is negative); t = 0 gives a, t = 1 gives b.
Quat quat_blend(Quat a, Quat b, float t);
// Rotation about the world's vertical (+y) axis.
Quat quat_from_yaw(float radians);
float clampf(float v, float lo, float hi);
double clampd(double v, double lo, double hi);
float wrap_angle(float radians);  // into [-pi, pi]

// ---------------------------------------------------------------------------
// Per-slot state history: a ring of the newest 128 rider-state records (39
// bytes each, laid out by the demo code) ordered by tic. Shared by the game
// state, demos and the network, which all add to and read from it.
inline constexpr int STATE_RECORD_BYTES = 39;
inline constexpr int HISTORY_LENGTH = 128;

struct HistoryEntry {
    int tic = -1;  // -1: empty
    uint8_t state[STATE_RECORD_BYTES] = {};
};
struct StateHistory {
    std::array<HistoryEntry, HISTORY_LENGTH> entries;
    int newest = 0;   // index of the newest entry
    int pending = 0;  // entries added since the last demo write, at most 128
};
// The two entries around a tic; older == newer when only one applies.
struct HistoryPair {
    const HistoryEntry* older = nullptr;
    const HistoryEntry* newer = nullptr;
};

void history_clear(StateHistory& h);
// Inserts the record in tic order. Returns false when it is ignored: a state
// for a tic already held, a negative tic, or one older than a full ring.
bool history_add(StateHistory& h, const uint8_t* record, int tic);
// The entries around tic T; false when the history is empty.
bool history_find(const StateHistory& h, int tic, HistoryPair& out);
// Entry k places back from the newest (0 = newest).
const HistoryEntry& history_back(const StateHistory& h, int k);
