#include "input/input.h"

#include <gtest/gtest.h>


namespace {

struct NameCase {
    const char* name;
    int code;
};

TEST(KeyNames, NamesGiveCodes) {
    const NameCase cases[] = {
        {"Esc", 0x1001},          {"A", 0x101e},           {"a", 0x101e},
        {"left_shift", 0x102a},   {"LEFT SHIFT", 0x102a},  {"Left Shift", 0x102a},
        {"left\tshift", 0x102a},  {"right ctrl", 0x111d},  {"Space", 0x1039},
        {" ", 0x1039},            {"_", 0x1039},           {"comma", 0x1033},
        {"\\", 0x102b},           {"F10", 0x1044},         {"F11", 0x1057},
        {"keypad enter", 0x111c}, {"Keypad .", 0x1053},    {"pause", 0x1045},
        {"0x1ff", 0x11ff},        {"0x0", 0x1000},         {"0X2A", 0x102a},
        {"0x200", CODE_NONE},     {"0x", CODE_NONE},       {"0x1fg", CODE_NONE},
        {"Close", 0xDEAD},        {"mouse right", 0x2002}, {"Mouse Left", 0x2000},
        {"", CODE_NONE},          {"LeftShift", CODE_NONE}, {"F13", CODE_NONE},
    };
    InputNames names;
    for (const NameCase& c : cases) {
        EXPECT_EQ(code_for_name(names, c.name), c.code) << c.name;
        EXPECT_EQ(key_code_for_name(c.name), c.code) << c.name;
    }
}

TEST(KeyNames, CodesGiveNames) {
    InputNames names;
    const NameCase cases[] = {
        {"Space", 0x1039},  {"Esc", 0x1001},     {"Keypad Enter", 0x111c}, {"0x1ff", 0x11ff},
        {"0x100", 0x1100},  {"Close", 0xDEAD},   {"Mouse Middle", 0x2001}, {"", 65},
        {"", 0x3000},       {"comma", 0x1033},
    };
    for (const NameCase& c : cases) EXPECT_EQ(name_for_code(names, c.code), c.name) << c.code;
    // Every fixed name leads back to its code.
    for (const KeyName& k : fixed_key_names())
        EXPECT_EQ(code_for_name(names, name_for_code(names, key_code(k.scan))), key_code(k.scan));
}

const char* fake_system_names(int scan) {
    if (scan == 0x2a) return "Shift";
    if (scan == 0x1c) return "Return";
    if (scan == 0x1e) return "Left Shift";  // a desktop name shadowing a fixed one
    return nullptr;
}

TEST(KeyNames, DesktopNamesComeFirst) {
    set_system_key_names(fake_system_names);
    InputNames names;
    EXPECT_EQ(code_for_name(names, "Return"), 0x101c);
    EXPECT_EQ(code_for_name(names, "Enter"), 0x101c);
    EXPECT_EQ(code_for_name(names, "Left Shift"), 0x101e);
    EXPECT_EQ(code_for_name(names, "left_shift"), 0x101e);
    EXPECT_EQ(name_for_code(names, 0x102a), "Shift");
    EXPECT_EQ(name_for_code(names, 0x1001), "Esc");
    set_system_key_names(nullptr);
    EXPECT_EQ(code_for_name(names, "Left Shift"), 0x102a);
}

TEST(TypedChars, KeysAndText) {
    EXPECT_EQ(typed_char_for_scan(SCAN_BACKSPACE), 8);
    EXPECT_EQ(typed_char_for_scan(SCAN_TAB), 9);
    EXPECT_EQ(typed_char_for_scan(SCAN_ENTER), 13);
    EXPECT_EQ(typed_char_for_scan(SCAN_KEYPAD_ENTER), 13);
    EXPECT_EQ(typed_char_for_scan(SCAN_ESC), 27);
    EXPECT_EQ(typed_char_for_scan(SCAN_DELETE), 127);
    EXPECT_EQ(typed_char_for_scan(0x1e), -1);

    std::vector<int> out;
    // a, e-acute (2 bytes), euro sign (3 bytes, above 255: skipped), a stray
    // continuation byte, a truncated 2-byte sequence, then z.
    typed_chars_from_utf8("a\xc3\xa9\xe2\x82\xac\x80\xc3z", out);
    EXPECT_EQ(out, (std::vector<int>{'a', 0xe9, 'z'}));
}

TEST(Devices, NamesAndBases) {
    InputNames names;
    int a = add_input_device(names, "Joystick 1", 12, 4, false);
    int b = add_input_device(names, "Joy.stick 1", 8, 2, false);
    int c = add_input_device(names, "Joystick 1", 12, 4, false);
    EXPECT_EQ(names.devices[a].name, "Joystick1");
    EXPECT_EQ(names.devices[b].name, "Joystick1#2");
    EXPECT_EQ(names.devices[c].name, "Joystick1#3");
    EXPECT_EQ(names.devices[a].base, device_code_base_for_name("Joystick1"));
    for (const InputDevice& d : names.devices) {
        EXPECT_NE(d.base, 0);
        EXPECT_EQ(d.base & 0x8000FFFF, 0);
    }
    EXPECT_NE(names.devices[a].base, names.devices[b].base);
    EXPECT_NE(names.devices[b].base, names.devices[c].base);
    EXPECT_EQ(device_name_from(" . "), "Device");
    EXPECT_EQ(device_name_from(std::string(100, 'x')).size(), 60u);
}

TEST(Devices, CodeBaseFromName) {
    // "AB": a = 'B' (66), b = 'A' (65) -> ((66 * 256 + 65) << 16) & 0x7FFF0000.
    EXPECT_EQ(device_code_base_for_name("AB"), static_cast<int>(((66u * 256 + 65) << 16) & 0x7FFF0000u));
    // 8-bit and 16-bit wrap of the sums: 1026 characters 0xff.
    std::string big(1026, '\xff');
    unsigned a = (513u * 255) & 0xff, b = (513u * 255) & 0xffff;
    EXPECT_EQ(device_code_base_for_name(big), static_cast<int>(((a * 256 + b) << 16) & 0x7FFF0000u));
}

TEST(Devices, ZeroBaseNeverCollidesWithTypedCharacters) {
    // a = 'A' + '>' = 127, b = 'd' + 'N' + 'N' = 256: a * 256 + b = 0x8000,
    // whose base masks to 0; its buttons would read as typed characters.
    EXPECT_EQ(device_code_base_for_name("dAN>N"), 0);
    InputNames names;
    int i = add_input_device(names, "dAN>N", 4, 0, false);
    EXPECT_EQ(names.devices[i].base, DEVICE_BASE_STEP);
    EXPECT_EQ(code_for_name(names, "dAN>N button 0"), DEVICE_BASE_STEP);
}

TEST(Devices, ButtonAndAxisBindingStrings) {
    InputNames names;
    add_default_aliases(names);
    int j = add_input_device(names, "Joystick 1", 12, 4, false);
    int x = add_input_device(names, "XInputGamepad0", 16, 6, false);
    int base = names.devices[j].base;
    const NameCase cases[] = {
        {"Joystick1.key[0]", base},       {"Joystick1 button 11", base + 11},
        {"Joystick1  button\t3", base + 3}, {"joystick-a-2", base + 1},
        {"Joystick1.key[12]", CODE_NONE}, {"Joystick1 button -1", CODE_NONE},
        {"Joystick1.key[-1]", CODE_NONE}, {"Joystick1.key[2", CODE_NONE},
        {"Joystick2.key[0]", CODE_NONE},  {"mouse-left", CODE_NONE},
        {"Joystick1 button", CODE_NONE},  {"Joystick1 button 1x", CODE_NONE},
        {"cursor-left", CODE_MOUSE_LEFT},
    };
    for (const NameCase& c : cases) EXPECT_EQ(code_for_name(names, c.name), c.code) << c.name;
    EXPECT_EQ(name_for_code(names, base + 7), "Joystick1 button 7");
    EXPECT_EQ(code_for_name(names, name_for_code(names, names.devices[x].base + 15)),
              names.devices[x].base + 15);

    // A mouse device with relative axes makes "mouse-left" and "mouse-x" resolve.
    int m = add_input_device(names, "Mouse", 3, 2, true);
    EXPECT_EQ(code_for_name(names, "mouse-left"), names.devices[m].base);
    int dev = -1, axis = -1;
    EXPECT_TRUE(parse_axis_name(names, "mouse-y", &dev, &axis));
    EXPECT_EQ(dev, m);
    EXPECT_EQ(axis, 1);

    struct AxisCase {
        const char* name;
        int device, axis;
    };
    const AxisCase axes[] = {
        {"XInputGamepad0 axis 5", x, 5}, {"XInputGamepad0.axis[0]", x, 0},
        {"joystick-a-y", j, 1},          {"XInputGamepad0 axis 6", -1, -1},
        {"XInputGamepad0 axis -1", -1, -1}, {"Nothing axis 0", -1, -1},
        {"XInputGamepad0", -1, -1},
    };
    for (const AxisCase& c : axes) {
        int d = -1, a = -1;
        bool ok = parse_axis_name(names, c.name, &d, &a);
        EXPECT_EQ(ok, c.device >= 0) << c.name;
        if (ok) {
            EXPECT_EQ(d * 100 + a, c.device * 100 + c.axis) << c.name;
        }
    }
    // Offered names are absolute axes only, and each one opens again.
    std::vector<std::string> offered = axis_names(names);
    ASSERT_EQ(offered.size(), 10u);
    EXPECT_EQ(offered[0], "Joystick1 axis 0");
    for (const std::string& s : offered) EXPECT_TRUE(parse_axis_name(names, s, &dev, &axis)) << s;
}

TEST(Devices, LongNamesStillMatchTheirAxisNames) {
    InputNames names;
    int i = add_input_device(names, std::string(300, 'Q'), 2, 3, false);
    std::string n = axis_name(names.devices[i].name, 2);
    int d = -1, a = -1;
    EXPECT_TRUE(parse_axis_name(names, n, &d, &a));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(code_for_name(names, button_name(names.devices[i].name, 1)), names.devices[i].base + 1);
}

TEST(Devices, UnpluggedDeviceReturnsToItsEntry) {
    InputNames names;
    int a = add_input_device(names, "Pad", 10, 2, false);
    int base = names.devices[a].base;
    names.devices[a].present = false;
    EXPECT_TRUE(axis_names(names).empty());
    EXPECT_EQ(add_input_device(names, "Pad", 10, 2, false), a);
    EXPECT_EQ(names.devices[a].base, base);
    EXPECT_EQ(names.devices.size(), 1u);
}

TEST(Aliases, SecondAliasRefused) {
    InputNames names;
    EXPECT_TRUE(add_input_alias(names, "go", "X"));
    EXPECT_FALSE(add_input_alias(names, "go", "Y"));
    EXPECT_EQ(code_for_name(names, "go"), 0x102d);
    add_default_aliases(names);
    EXPECT_EQ(names.aliases.size(), 19u);
    EXPECT_EQ(resolve_input_alias(names, "cursor-y"), "cursor.axis[1]");
}

}  // namespace
