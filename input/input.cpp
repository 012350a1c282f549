#include "input/input.h"

#include <cctype>
#include <cstdio>

namespace {

// Run-wide: installed once by the platform layer.
SystemKeyNameFn system_key_name_fn = nullptr;

const char* system_key_name(int scan) {
    if (!system_key_name_fn) return nullptr;
    const char* n = system_key_name_fn(scan);
    return n && *n ? n : nullptr;
}

struct SpecialName {
    int code;
    const char* name;
};
constexpr SpecialName SPECIAL_NAMES[] = {
    {CODE_CLOSE, "Close"},
    {CODE_MOUSE_LEFT, "Mouse Left"},
    {CODE_MOUSE_MIDDLE, "Mouse Middle"},
    {CODE_MOUSE_RIGHT, "Mouse Right"},
};

bool is_loose_blank(unsigned char c) { return c == '_' || std::isspace(c); }

using NameEqual = bool (*)(std::string_view, std::string_view);
bool exact_equal(std::string_view a, std::string_view b) { return a == b; }

// One pass over the special names, the desktop's names and the fixed table.
int match_key_lists(std::string_view name, NameEqual eq) {
    for (const SpecialName& s : SPECIAL_NAMES)
        if (eq(name, s.name)) return s.code;
    for (int scan = 0; scan < SCAN_CODE_COUNT; scan++) {
        const char* n = system_key_name(scan);
        if (n && eq(name, n)) return key_code(scan);
    }
    for (const KeyName& k : fixed_key_names())
        if (eq(name, k.name)) return key_code(k.scan);
    return CODE_NONE;
}

// Whole text as a non-negative decimal integer (no sign, no trailing text);
// -1 when it is not one or exceeds limit.
long parse_count(std::string_view text, long limit) {
    if (text.empty() || text.size() > 9) return -1;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v > limit ? -1 : v;
}

// "0x" followed by hexadecimal digits only, value up to 0x1ff.
int parse_hex_scan(std::string_view name) {
    if (name.size() < 3 || name.size() > 10 || name[0] != '0' || (name[1] != 'x' && name[1] != 'X'))
        return -1;
    long v = 0;
    for (char c : name.substr(2)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
        v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
        if (v >= SCAN_CODE_COUNT) return -1;
    }
    return static_cast<int>(v);
}

// "<device>.<word>[n]" or "<device> <word> n" (the second form with any run of
// white space around the word). Gives the device text and n (-1 when n is
// missing, negative or not a number).
bool split_device_item(std::string_view text, std::string_view word, std::string_view* device,
                       long* index) {
    std::string dotted = "." + std::string(word) + "[";
    size_t dot = text.find('.');
    if (dot != std::string_view::npos && text.compare(dot, dotted.size(), dotted) == 0) {
        std::string_view rest = text.substr(dot + dotted.size());
        if (rest.empty() || rest.back() != ']') return false;
        *device = text.substr(0, dot);
        *index = parse_count(rest.substr(0, rest.size() - 1), 1L << 30);
        return true;
    }
    size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) end++;
    if (end == 0 || end == text.size()) return false;
    size_t p = end;
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) p++;
    if (text.compare(p, word.size(), word) != 0) return false;
    p += word.size();
    if (p >= text.size() || !std::isspace(static_cast<unsigned char>(text[p]))) return false;
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) p++;
    *device = text.substr(0, end);
    *index = parse_count(text.substr(p), 1L << 30);
    return true;
}

bool base_in_use(const InputNames& names, int base) {
    for (const InputDevice& d : names.devices)
        if (d.base == base) return true;
    return false;
}

}  // namespace

const std::vector<KeyName>& fixed_key_names() {
    static const std::vector<KeyName> table = [] {
        std::vector<KeyName> t = {
            {0x01, "Esc"},   {0x0b, "0"},     {0x02, "1"},     {0x03, "2"},     {0x04, "3"},
            {0x05, "4"},     {0x06, "5"},     {0x07, "6"},     {0x08, "7"},     {0x09, "8"},
            {0x0a, "9"},     {0x1e, "A"},     {0x30, "B"},     {0x2e, "C"},     {0x20, "D"},
            {0x12, "E"},     {0x21, "F"},     {0x22, "G"},     {0x23, "H"},     {0x17, "I"},
            {0x24, "J"},     {0x25, "K"},     {0x26, "L"},     {0x31, "M"},     {0x32, "N"},
            {0x18, "O"},     {0x19, "P"},     {0x10, "Q"},     {0x13, "R"},     {0x1f, "S"},
            {0x14, "T"},     {0x16, "U"},     {0x2f, "V"},     {0x11, "W"},     {0x2d, "X"},
            {0x15, "Y"},     {0x2c, "Z"},     {0x0c, "-"},     {0x0d, "="},     {0x1a, "["},
            {0x1b, "]"},     {0x27, ";"},     {0x28, "'"},     {0x29, "`"},     {0x2b, "\\"},
            {0x33, "comma"}, {0x34, "."},     {0x35, "/"},     {0x0e, "Backspace"},
            {0x0f, "Tab"},   {0x1c, "Enter"}, {0x1d, "Left Ctrl"},  {0x2a, "Left Shift"},
            {0x36, "Right Shift"},  {0x39, "Space"},  {0x39, " "},  {0x3a, "Caps Lock"},
            {0x11d, "Right Ctrl"},  {0x152, "Insert"},  {0x153, "Delete"},  {0x147, "Home"},
            {0x14f, "End"},  {0x149, "Page Up"},  {0x151, "Page Down"},  {0x148, "Up"},
            {0x150, "Down"},  {0x14b, "Left"},  {0x14d, "Right"},
        };
        static const char* const f[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10"};
        for (int i = 0; i < 10; i++) t.push_back({0x3b + i, f[i]});
        const KeyName rest[] = {
            {0x57, "F11"},       {0x58, "F12"},       {0x45, "Pause"},     {0x145, "Num Lock"},
            {0x135, "Keypad /"}, {0x37, "Keypad *"},  {0x4a, "Keypad -"},  {0x47, "Keypad 7"},
            {0x48, "Keypad 8"},  {0x49, "Keypad 9"},  {0x4e, "Keypad +"},  {0x4b, "Keypad 4"},
            {0x4c, "Keypad 5"},  {0x4d, "Keypad 6"},  {0x4f, "Keypad 1"},  {0x50, "Keypad 2"},
            {0x51, "Keypad 3"},  {0x11c, "Keypad Enter"}, {0x52, "Keypad 0"}, {0x53, "Keypad ."},
        };
        t.insert(t.end(), std::begin(rest), std::end(rest));
        return t;
    }();
    return table;
}

const char* fixed_key_name(int scan) {
    for (const KeyName& k : fixed_key_names())
        if (k.scan == scan) return k.name;
    return nullptr;
}

void set_system_key_names(SystemKeyNameFn fn) { system_key_name_fn = fn; }

bool loose_name_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = a[i], y = b[i];
        if (is_loose_blank(x) && is_loose_blank(y)) continue;
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

int typed_char_for_scan(int scan) {
    switch (scan) {
    case SCAN_BACKSPACE: return 8;
    case SCAN_TAB: return 9;
    case SCAN_ENTER:
    case SCAN_KEYPAD_ENTER: return 13;
    case SCAN_ESC: return 27;
    case SCAN_DELETE: return 127;
    default: return -1;
    }
}

void typed_chars_from_utf8(const char* text, std::vector<int>& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned c = *p;
        int extra = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
        if (extra < 0) {  // a stray continuation byte or an invalid lead byte
            p++;
            continue;
        }
        unsigned cp = extra == 0 ? c : c & (0x3f >> extra);
        int i = 1;
        for (; i <= extra; i++) {
            if ((p[i] & 0xc0) != 0x80) break;
            cp = (cp << 6) | (p[i] & 0x3f);
        }
        p += i;
        if (i <= extra) continue;  // truncated sequence
        if (cp < TYPED_CHAR_LIMIT) out.push_back(static_cast<int>(cp));
    }
}

int device_code_base_for_name(std::string_view name) {
    unsigned a = 0, b = 0;
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = name[i];
        if (i & 1)
            a = (a + c) & 0xff;
        else
            b = (b + c) & 0xffff;
    }
    return static_cast<int>(((a * 256u + b) << 16) & 0x7FFF0000u);
}

std::string device_name_from(std::string_view raw) {
    std::string name;
    for (char c : raw) {
        if (c == '.' || std::isspace(static_cast<unsigned char>(c))) continue;
        if (name.size() < DEVICE_NAME_CHARS) name += c;
    }
    return name.empty() ? "Device" : name;
}

int find_input_device(const InputNames& names, std::string_view name) {
    for (size_t i = 0; i < names.devices.size(); i++)
        if (names.devices[i].name == name) return static_cast<int>(i);
    return -1;
}

int add_input_device(InputNames& names, std::string_view raw_name, int buttons, int axes,
                     bool relative) {
    std::string base_name = device_name_from(raw_name);
    if (buttons < 0) buttons = 0;
    if (axes < 0) axes = 0;
    std::string name = base_name;
    for (int n = 2;; n++) {
        int i = find_input_device(names, name);
        if (i < 0) break;
        InputDevice& d = names.devices[i];
        if (!d.present && d.buttons == buttons && d.axes == axes && d.relative == relative) {
            d.present = true;
            return i;
        }
        name = base_name + "#" + std::to_string(n);
    }
    int base = device_code_base_for_name(name);
    while (base == 0 || base_in_use(names, base))
        base = static_cast<int>((static_cast<unsigned>(base) + DEVICE_BASE_STEP) & 0x7FFF0000u);
    InputDevice d;
    d.name = name;
    d.base = base;
    d.buttons = buttons;
    d.axes = axes;
    d.relative = relative;
    d.offer_axes = !relative;
    names.devices.push_back(d);
    return static_cast<int>(names.devices.size()) - 1;
}

bool add_input_alias(InputNames& names, std::string_view name, std::string_view target) {
    for (const InputAlias& a : names.aliases)
        if (a.name == name) return false;
    names.aliases.push_back({std::string(name), std::string(target)});
    return true;
}

void add_default_aliases(InputNames& names) {
    static const char* const pairs[][2] = {
        {"cursor-left", "Mouse Left"},         {"cursor-middle", "Mouse Middle"},
        {"cursor-right", "Mouse Right"},       {"mouse-x", "Mouse.axis[0]"},
        {"mouse-y", "Mouse.axis[1]"},          {"mouse-left", "Mouse.key[0]"},
        {"mouse-right", "Mouse.key[1]"},       {"mouse-middle", "Mouse.key[2]"},
        {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
        {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
        {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
        {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
        {"cursor-x", "cursor.axis[0]"},        {"cursor-y", "cursor.axis[1]"},
    };
    for (const auto& p : pairs) add_input_alias(names, p[0], p[1]);
}

std::string_view resolve_input_alias(const InputNames& names, std::string_view name) {
    for (const InputAlias& a : names.aliases)
        if (a.name == name) return a.target;
    return name;
}

int key_code_for_name(std::string_view name) {
    int code = match_key_lists(name, exact_equal);
    if (code == CODE_NONE) code = match_key_lists(name, loose_name_equal);
    if (code == CODE_NONE) {
        int scan = parse_hex_scan(name);
        if (scan >= 0) code = key_code(scan);
    }
    return code;
}

int code_for_name(const InputNames& names, std::string_view name) {
    name = resolve_input_alias(names, name);
    int code = key_code_for_name(name);
    if (code != CODE_NONE) return code;
    std::string_view device;
    long n = -1;
    if (!split_device_item(name, "key", &device, &n) && !split_device_item(name, "button", &device, &n))
        return CODE_NONE;
    int i = find_input_device(names, device);
    if (i < 0 || n < 0 || n >= names.devices[i].buttons || n >= DEVICE_BUTTON_LIMIT) return CODE_NONE;
    return names.devices[i].base + static_cast<int>(n);
}

std::string name_for_code(const InputNames& names, int code) {
    for (const SpecialName& s : SPECIAL_NAMES)
        if (s.code == code) return s.name;
    if (is_key_code(code)) {
        int scan = code - KEY_CODE_BASE;
        if (const char* n = system_key_name(scan)) return n;
        if (const char* n = fixed_key_name(scan)) return n;
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", scan);
        return buf;
    }
    if (is_device_code(code)) {
        for (const InputDevice& d : names.devices) {
            int button = code - d.base;
            if (button >= 0 && button < d.buttons && button < DEVICE_BUTTON_LIMIT)
                return button_name(d.name, button);
        }
    }
    return "";
}

bool parse_axis_name(const InputNames& names, std::string_view name, int* device, int* axis) {
    name = resolve_input_alias(names, name);
    std::string_view dev;
    long n = -1;
    if (!split_device_item(name, "axis", &dev, &n)) return false;
    int i = find_input_device(names, dev);
    if (i < 0 || n < 0 || n >= names.devices[i].axes) return false;
    *device = i;
    *axis = static_cast<int>(n);
    return true;
}

std::string axis_name(std::string_view device, int axis) {
    return std::string(device) + " axis " + std::to_string(axis);
}

std::string button_name(std::string_view device, int button) {
    return std::string(device) + " button " + std::to_string(button);
}

std::vector<std::string> axis_names(const InputNames& names) {
    std::vector<std::string> out;
    for (const InputDevice& d : names.devices)
        if (d.present && d.offer_axes)
            for (int a = 0; a < d.axes; a++) out.push_back(axis_name(d.name, a));
    return out;
}
