// Key, button and axis names as the configuration file gives them: name to
// code and back, axis names, over a device list with repeats and aliases.
#include <cstddef>
#include <cstdint>
#include <string>

#include "input/input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const InputNames names = [] {
        InputNames n;
        add_input_device(n, "Joystick 1", 12, 4, false);
        add_input_device(n, "Joystick 1", 3, 2, false);
        add_input_device(n, "Mouse", 5, 3, true);
        add_input_device(n, "XInputGamepad0", 16, 6, false);
        add_default_aliases(n);
        return n;
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    int code = code_for_name(names, text);
    if (code != CODE_NONE) {
        std::string back = name_for_code(names, code);
        if (!back.empty() && code_for_name(names, back) != code) __builtin_trap();
    }
    int device = -1, axis = -1;
    if (parse_axis_name(names, text, &device, &axis) &&
        (device < 0 || device >= static_cast<int>(names.devices.size()) || axis < 0 ||
         axis >= names.devices[static_cast<size_t>(device)].axes))
        __builtin_trap();
    std::vector<int> chars;
    typed_chars_from_utf8(text.c_str(), chars);
    for (int c : chars)
        if (c < 0 || c > 255) __builtin_trap();
    return 0;
}
