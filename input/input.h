// Input names: the event codes of keys, mouse buttons, the close request and
// device buttons; the key names the configuration and the menus use; device,
// button and axis names as bindings are written ("Joystick1.key[0]",
// "XInputGamepad0 axis 3"); aliases. Pure tables and lookups, shared by the
// platform layer (which maps its scancodes to these codes and keeps the live
// device list) and the configuration reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// Event codes (31 bits).
//   0..255                 a typed character (pressed only)
//   0x1000 + scan (0..511) a keyboard key; extended keys have 0x100 in scan
//   0x2000..0x2002         mouse left, middle, right button
//   0xDEAD                 the window's close request (pressed only)
//   device base + button   a button of an input device (bases are multiples
//                          of 0x10000, never 0)
inline constexpr int CODE_NONE = -1;
inline constexpr int TYPED_CHAR_LIMIT = 256;
inline constexpr int KEY_CODE_BASE = 0x1000;
inline constexpr int SCAN_CODE_COUNT = 512;
inline constexpr int CODE_MOUSE_LEFT = 0x2000;
inline constexpr int CODE_MOUSE_MIDDLE = 0x2001;
inline constexpr int CODE_MOUSE_RIGHT = 0x2002;
inline constexpr int CODE_CLOSE = 0xDEAD;
inline constexpr int DEVICE_BASE_STEP = 0x10000;
inline constexpr int DEVICE_BUTTON_LIMIT = 256;  // buttons 0..255 get codes
inline constexpr int DEVICE_NAME_CHARS = 60;     // longest device name before a "#n" repeat mark

// Scan codes of the keys the program itself asks for by number.
enum ScanCode {
    SCAN_ESC = 0x01,
    SCAN_BACKSPACE = 0x0e,
    SCAN_TAB = 0x0f,
    SCAN_ENTER = 0x1c,
    SCAN_LEFT_CTRL = 0x1d,
    SCAN_LEFT_SHIFT = 0x2a,
    SCAN_RIGHT_SHIFT = 0x36,
    SCAN_SPACE = 0x39,
    SCAN_KEYPAD_ENTER = 0x11c,
    SCAN_RIGHT_CTRL = 0x11d,
    SCAN_UP = 0x148,
    SCAN_LEFT = 0x14b,
    SCAN_RIGHT = 0x14d,
    SCAN_DOWN = 0x150,
    SCAN_DELETE = 0x153,
};

inline constexpr int key_code(int scan) { return KEY_CODE_BASE + scan; }
inline constexpr bool is_typed_char_code(int code) { return code >= 0 && code < TYPED_CHAR_LIMIT; }
inline constexpr bool is_key_code(int code) {
    return code >= KEY_CODE_BASE && code < KEY_CODE_BASE + SCAN_CODE_COUNT;
}
inline constexpr bool is_device_code(int code) { return code >= DEVICE_BASE_STEP; }

// The fixed key-name table, in lookup order (several names may share a scan
// code: "Space" and " "). fixed_key_name gives the first name of a scan code
// or nullptr.
struct KeyName {
    int scan;
    const char* name;
};
const std::vector<KeyName>& fixed_key_names();
const char* fixed_key_name(int scan);

// The desktop's own key names, looked up before the fixed table (both for
// name -> code and code -> name). The platform layer installs its function;
// with none installed only the fixed table is used. The function returns
// nullptr or "" for a scan code it has no name for.
using SystemKeyNameFn = const char* (*)(int scan);
void set_system_key_names(SystemKeyNameFn fn);

// Letters compared without case; blanks, underscores and other white space
// all equal; the lengths must agree.
bool loose_name_equal(std::string_view a, std::string_view b);

// Typed character produced by a key press that the desktop's text input does
// not report (Backspace 8, Tab 9, Enter and Keypad Enter 13, Esc 27,
// Delete 127), or -1.
int typed_char_for_scan(int scan);
// Appends the characters 0..255 of UTF-8 text to out; others are skipped.
void typed_chars_from_utf8(const char* text, std::vector<int>& out);

// ---------------------------------------------------------------------------
// Devices and aliases: run-wide, kept by the platform layer.
struct InputDevice {
    std::string name;   // unique, no blanks or dots; repeats get "#2", "#3", ...
    int base = 0;       // code base, a non-zero multiple of 0x10000 below 0x80000000
    int buttons = 0;
    int axes = 0;
    bool relative = false;  // axes report motion rather than position
    bool offer_axes = true; // axes listed for binding (absolute axes of real devices)
    bool present = true;    // false once unplugged: the name and base stay reserved
};

struct InputAlias {
    std::string name;
    std::string target;
};

struct InputNames {
    std::vector<InputDevice> devices;
    std::vector<InputAlias> aliases;
};

// Code base made from a device name: a = 8-bit sum of the characters at odd
// positions (0-based), b = 16-bit sum of those at even positions,
// ((a * 256 + b) << 16) & 0x7FFF0000.
int device_code_base_for_name(std::string_view name);
// The device name made from a product or instance name: blanks, other white
// space and dots removed, at most DEVICE_NAME_CHARS characters, "Device"
// when nothing is left.
std::string device_name_from(std::string_view raw);

// Adds a device and returns its index. The name is cleaned as above and made
// unique with "#n"; the base steps by 0x10000 past bases in use (and past 0,
// whose codes are the typed characters). A returning device (same cleaned
// name, same counts, not present) takes its old entry back, so bindings made
// before it was unplugged keep working.
int add_input_device(InputNames& names, std::string_view raw_name, int buttons, int axes,
                     bool relative);
// Index of the device with exactly this name (present or not), or -1.
int find_input_device(const InputNames& names, std::string_view name);

// Returns false, and changes nothing, when name already has an alias.
bool add_input_alias(InputNames& names, std::string_view name, std::string_view target);
void add_default_aliases(InputNames& names);
// The alias target of name, or name itself.
std::string_view resolve_input_alias(const InputNames& names, std::string_view name);

// Name -> code after alias replacement: special names ("Close", "Mouse Left",
// "Mouse Middle", "Mouse Right"), desktop key names, the fixed table, exact
// first and then loosely; "0x%x" up to 0x1ff; "<device>.key[n]" or
// "<device> button n" for an existing device with n below its button count.
// CODE_NONE when nothing matches.
int code_for_name(const InputNames& names, std::string_view name);
// Keys, mouse buttons and close only (no devices, no aliases).
int key_code_for_name(std::string_view name);
// Code -> name: "Close", "Mouse ...", the key's name or "0x%x" of its scan
// code, "<device> button n"; "" for typed characters and unknown codes.
std::string name_for_code(const InputNames& names, int code);

// Axis name written as "<device>.axis[n]" or "<device> axis n": the device
// index and axis number, or false when the device is unknown or n is not a
// valid axis of it.
bool parse_axis_name(const InputNames& names, std::string_view name, int* device, int* axis);
std::string axis_name(std::string_view device, int axis);      // "<device> axis n"
std::string button_name(std::string_view device, int button);  // "<device> button n"
// The axis names offered for binding: every axis of every present device
// with offer_axes set.
std::vector<std::string> axis_names(const InputNames& names);
