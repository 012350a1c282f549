// Input devices over SDL: the keyboard through a fixed scancode table, typed
// characters, mouse buttons and the cursor, joysticks as "dinput" devices
// and the first four game controllers as "XInputGamepad0".."XInputGamepad3",
// plugged in and out while the game runs.
#include <algorithm>

#include "platform/window_local.h"

namespace {

struct ScanPair {
    SDL_Scancode sdl;
    int scan;
};
// SDL scancodes to the key codes' scan codes (0x100 marks extended keys).
constexpr ScanPair SCAN_TABLE[] = {
    {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04}, {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08}, {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0a}, {SDL_SCANCODE_0, 0x0b}, {SDL_SCANCODE_MINUS, 0x0c},
    {SDL_SCANCODE_EQUALS, 0x0d}, {SDL_SCANCODE_BACKSPACE, 0x0e}, {SDL_SCANCODE_TAB, 0x0f},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13}, {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17}, {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19}, {SDL_SCANCODE_LEFTBRACKET, 0x1a}, {SDL_SCANCODE_RIGHTBRACKET, 0x1b},
    {SDL_SCANCODE_RETURN, 0x1c}, {SDL_SCANCODE_LCTRL, 0x1d}, {SDL_SCANCODE_A, 0x1e},
    {SDL_SCANCODE_S, 0x1f}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25}, {SDL_SCANCODE_L, 0x26}, {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28}, {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2a},
    {SDL_SCANCODE_BACKSLASH, 0x2b}, {SDL_SCANCODE_NONUSHASH, 0x2b}, {SDL_SCANCODE_Z, 0x2c},
    {SDL_SCANCODE_X, 0x2d}, {SDL_SCANCODE_C, 0x2e}, {SDL_SCANCODE_V, 0x2f},
    {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33}, {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_CAPSLOCK, 0x3a}, {SDL_SCANCODE_F1, 0x3b},
    {SDL_SCANCODE_F2, 0x3c}, {SDL_SCANCODE_F3, 0x3d}, {SDL_SCANCODE_F4, 0x3e},
    {SDL_SCANCODE_F5, 0x3f}, {SDL_SCANCODE_F6, 0x40}, {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_PAUSE, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46}, {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49}, {SDL_SCANCODE_KP_MINUS, 0x4a},
    {SDL_SCANCODE_KP_4, 0x4b}, {SDL_SCANCODE_KP_5, 0x4c}, {SDL_SCANCODE_KP_6, 0x4d},
    {SDL_SCANCODE_KP_PLUS, 0x4e}, {SDL_SCANCODE_KP_1, 0x4f}, {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51}, {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_KP_EQUALS, 0x59}, {SDL_SCANCODE_KP_ENTER, 0x11c}, {SDL_SCANCODE_RCTRL, 0x11d},
    {SDL_SCANCODE_KP_DIVIDE, 0x135}, {SDL_SCANCODE_PRINTSCREEN, 0x137}, {SDL_SCANCODE_RALT, 0x138},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x145}, {SDL_SCANCODE_HOME, 0x147}, {SDL_SCANCODE_UP, 0x148},
    {SDL_SCANCODE_PAGEUP, 0x149}, {SDL_SCANCODE_LEFT, 0x14b}, {SDL_SCANCODE_RIGHT, 0x14d},
    {SDL_SCANCODE_END, 0x14f}, {SDL_SCANCODE_DOWN, 0x150}, {SDL_SCANCODE_PAGEDOWN, 0x151},
    {SDL_SCANCODE_INSERT, 0x152}, {SDL_SCANCODE_DELETE, 0x153}, {SDL_SCANCODE_LGUI, 0x15b},
    {SDL_SCANCODE_RGUI, 0x15c}, {SDL_SCANCODE_APPLICATION, 0x15d},
};

// SDL's own names for the keys, by our scan code (the first SDL scancode of
// each scan code wins).
const char* sdl_key_name(int scan) {
    for (const ScanPair& p : SCAN_TABLE)
        if (p.scan == scan) return SDL_GetScancodeName(p.sdl);
    return nullptr;
}

// Pad button bits as the XInputGamepad devices number them.
int pad_button_bit(int sdl_button) {
    switch (sdl_button) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return 0;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return 1;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return 2;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return 3;
    case SDL_CONTROLLER_BUTTON_START: return 4;
    case SDL_CONTROLLER_BUTTON_BACK: return 5;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK: return 6;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK: return 7;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return 8;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return 9;
    case SDL_CONTROLLER_BUTTON_GUIDE: return 10;
    case SDL_CONTROLLER_BUTTON_A: return 12;
    case SDL_CONTROLLER_BUTTON_B: return 13;
    case SDL_CONTROLLER_BUTTON_X: return 14;
    case SDL_CONTROLLER_BUTTON_Y: return 15;
    default: return -1;
    }
}

constexpr int PAD_BUTTONS = 16;
constexpr int PAD_AXES = 6;
constexpr int PAD_COUNT = 4;

// Pad axes: 0..3 the sticks with y up, 4 and 5 the triggers 0..32767.
int pad_axis_value(int sdl_axis, int v) {
    if (sdl_axis == SDL_CONTROLLER_AXIS_LEFTY || sdl_axis == SDL_CONTROLLER_AXIS_RIGHTY) v = -v - 1;
    return std::clamp(v, -32768, 32767);
}

DeviceLink* link_for(ZumiWindow* w, SDL_JoystickID id) {
    for (DeviceLink& l : w->links)
        if (l.instance == id) return &l;
    return nullptr;
}

int free_pad_number(ZumiWindow* w) {
    for (int n = 0; n < PAD_COUNT; n++) {
        bool used = false;
        for (const DeviceLink& l : w->links) used |= l.pad_number == n;
        if (!used) return n;
    }
    return -1;
}

void add_pad(ZumiWindow* w, int index, int number) {
    SDL_GameController* pad = SDL_GameControllerOpen(index);
    if (!pad) return;
    char name[32];
    std::snprintf(name, sizeof name, "XInputGamepad%d", number);
    DeviceLink l;
    l.pad = pad;
    l.joystick = SDL_GameControllerGetJoystick(pad);
    l.instance = SDL_JoystickInstanceID(l.joystick);
    l.pad_number = number;
    l.device = add_input_device(w->names, name, PAD_BUTTONS, PAD_AXES, false);
    l.axes.assign(PAD_AXES, 0);
    l.buttons.assign(PAD_BUTTONS, 0);
    w->links.push_back(l);
    zumi_log("%s found\n", name);
}

void add_stick(ZumiWindow* w, int index) {
    SDL_Joystick* j = SDL_JoystickOpen(index);
    if (!j) return;
    const char* product = SDL_JoystickName(j);
    if (!product) product = "Joystick";
    zumi_log("%s (%s)\n", product, product);
    int axes = std::max(SDL_JoystickNumAxes(j), 0);
    int buttons = std::max(SDL_JoystickNumButtons(j), 0);
    const int hat_base = buttons;
    buttons += 4 * std::max(SDL_JoystickNumHats(j), 0);  // a hat reads as four buttons
    zumi_log("%d axes, %d keys\n", axes, buttons);
    if (axes == 0 && buttons == 0) {
        zumi_log("Ignoring Dunsel device\n");
        SDL_JoystickClose(j);
        return;
    }
    if (axes > 100) {
        zumi_log("Wow! This thing has a lot of axes!\n");
        axes = 100;
    }
    if (buttons > 500) {
        zumi_log("Wow! This thing has a lot of buttons!\n");
        buttons = 500;
    }
    DeviceLink l;
    l.joystick = j;
    l.instance = SDL_JoystickInstanceID(j);
    l.hat_base = hat_base;
    l.device = add_input_device(w->names, product, buttons, axes, false);
    l.axes.assign(static_cast<size_t>(axes), 0);
    l.buttons.assign(static_cast<size_t>(buttons), 0);
    for (int a = 0; a < axes; a++) {
        zumi_log("axis %d is %s\n", a, "absolute");
        zumi_log("Adding axis \"%s\"\n", axis_name(w->names.devices[l.device].name, a).c_str());
    }
    w->links.push_back(l);
}

// A joystick SDL reports at index: a game controller becomes the next free
// XInputGamepad while one of the four is free; anything else (and controllers
// when pads are off) a "dinput" device.
void attach(ZumiWindow* w, int index, bool pads_pass) {
    if (link_for(w, SDL_JoystickGetDeviceInstanceID(index))) return;
    bool controller = SDL_IsGameController(index);
    int number = controller && w->use_xinput ? free_pad_number(w) : -1;
    if (pads_pass) {
        if (number >= 0) add_pad(w, index, number);
    } else if (number < 0 && w->use_dinput) {
        add_stick(w, index);
    }
}

void detach(ZumiWindow* w, SDL_JoystickID id) {
    for (size_t i = 0; i < w->links.size(); i++) {
        DeviceLink& l = w->links[i];
        if (l.instance != id) continue;
        zumi_log("Killing %s\n", w->names.devices[l.device].name.c_str());
        w->names.devices[l.device].present = false;
        if (l.pad)
            SDL_GameControllerClose(l.pad);
        else
            SDL_JoystickClose(l.joystick);
        w->links.erase(w->links.begin() + static_cast<long>(i));
        return;
    }
}

void device_button(ZumiWindow* w, DeviceLink& l, int button, bool down, Uint32 timestamp) {
    if (button < 0 || button >= static_cast<int>(l.buttons.size())) return;
    uint8_t state = down ? 0x80 : 0;
    if (l.buttons[static_cast<size_t>(button)] == state) return;
    l.buttons[static_cast<size_t>(button)] = state;
    if (button < DEVICE_BUTTON_LIMIT)
        queue_event(w, w->names.devices[l.device].base + button, down, sdl_event_time(w, timestamp));
}

int mouse_button_code(int sdl_button) {
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return CODE_MOUSE_LEFT;
    case SDL_BUTTON_MIDDLE: return CODE_MOUSE_MIDDLE;
    case SDL_BUTTON_RIGHT: return CODE_MOUSE_RIGHT;
    default: return CODE_NONE;
    }
}

// The "Mouse" device numbers its buttons left 0, right 1, middle 2, then
// the side buttons.
int mouse_device_button(int sdl_button) {
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
    }
}

void translate(ZumiWindow* w, const SDL_Event& ev) {
    switch (ev.type) {
    case SDL_QUIT:
        queue_event(w, CODE_CLOSE, true, sdl_event_time(w, ev.quit.timestamp));
        break;
    case SDL_WINDOWEVENT:
        switch (ev.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            queue_event(w, CODE_CLOSE, true, sdl_event_time(w, ev.window.timestamp));
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            std::lock_guard<std::mutex> hold(w->size_lock);
            w->width = ev.window.data1;
            w->height = ev.window.data2;
            zumi_log("WM_SIZE message %dx%d\n", w->width, w->height);
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN: w->visible = false; break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED: w->visible = true; break;
        default: break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int scan = scan_for_sdl_scancode(ev.key.keysym.scancode);
        if (scan < 0) break;
        bool down = ev.type == SDL_KEYDOWN;
        double t = sdl_event_time(w, ev.key.timestamp);
        queue_event(w, key_code(scan), down, t);
        int c = down ? typed_char_for_scan(scan) : -1;
        if (c >= 0) queue_event(w, c, true, t);
        break;
    }
    case SDL_TEXTINPUT: {
        std::vector<int> chars;
        typed_chars_from_utf8(ev.text.text, chars);
        double t = sdl_event_time(w, ev.text.timestamp);
        for (int c : chars) queue_event(w, c, true, t);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = ev.type == SDL_MOUSEBUTTONDOWN;
        double t = sdl_event_time(w, ev.button.timestamp);
        int code = mouse_button_code(ev.button.button);
        if (code != CODE_NONE) queue_event(w, code, down, t);
        int b = mouse_device_button(ev.button.button);
        if (w->mouse_device >= 0 && b >= 0 && b < w->names.devices[w->mouse_device].buttons)
            queue_event(w, w->names.devices[w->mouse_device].base + b, down, t);
        break;
    }
    case SDL_MOUSEMOTION:
        w->cursor_x = ev.motion.x;
        w->cursor_y = ev.motion.y;
        if (w->mouse_device >= 0) {
            w->mouse_axes[0] += ev.motion.xrel;
            w->mouse_axes[1] += ev.motion.yrel;
        }
        break;
    case SDL_MOUSEWHEEL:
        if (w->mouse_device >= 0) w->mouse_axes[2] += ev.wheel.y * 120;
        break;
    case SDL_JOYDEVICEADDED:
        attach(w, ev.jdevice.which, true);
        attach(w, ev.jdevice.which, false);
        break;
    case SDL_JOYDEVICEREMOVED:
        detach(w, ev.jdevice.which);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        DeviceLink* l = link_for(w, ev.jbutton.which);
        if (l && !l->pad) device_button(w, *l, ev.jbutton.button, ev.type == SDL_JOYBUTTONDOWN, ev.jbutton.timestamp);
        break;
    }
    case SDL_JOYHATMOTION: {
        DeviceLink* l = link_for(w, ev.jhat.which);
        if (!l || l->pad) break;
        static constexpr Uint8 DIRECTIONS[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};
        for (int k = 0; k < 4; k++)
            device_button(w, *l, l->hat_base + 4 * ev.jhat.hat + k, (ev.jhat.value & DIRECTIONS[k]) != 0,
                          ev.jhat.timestamp);
        break;
    }
    case SDL_JOYAXISMOTION: {
        DeviceLink* l = link_for(w, ev.jaxis.which);
        if (l && !l->pad && ev.jaxis.axis < l->axes.size())
            l->axes[ev.jaxis.axis] = std::max<int>(ev.jaxis.value, -32767);
        break;
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        DeviceLink* l = link_for(w, ev.cbutton.which);
        if (l && l->pad)
            device_button(w, *l, pad_button_bit(ev.cbutton.button), ev.type == SDL_CONTROLLERBUTTONDOWN,
                          ev.cbutton.timestamp);
        break;
    }
    case SDL_CONTROLLERAXISMOTION: {
        DeviceLink* l = link_for(w, ev.caxis.which);
        if (l && l->pad && ev.caxis.axis < PAD_AXES) l->axes[ev.caxis.axis] = pad_axis_value(ev.caxis.axis, ev.caxis.value);
        break;
    }
    default: break;
    }
}

}  // namespace

int scan_for_sdl_scancode(int sdl_scancode) {
    for (const ScanPair& p : SCAN_TABLE)
        if (p.sdl == sdl_scancode) return p.scan;
    return -1;
}

double sdl_event_time(ZumiWindow* w, Uint32 timestamp) {
    // The event's age on SDL's tick clock, taken from our clock's now. Ticks
    // are whole milliseconds, so two events a moment apart may come out in the
    // wrong order; SDL delivers them in order, and so never earlier than the
    // event before.
    Uint32 age = SDL_GetTicks() - timestamp;
    if (age > 60000) age = 0;  // a time stamp from the future or a wrapped clock
    double t = zumi_time() - age * 0.001;
    if (t < w->last_sdl_event_time) t = w->last_sdl_event_time;
    w->last_sdl_event_time = t;
    return t;
}

void queue_event(ZumiWindow* w, int code, bool pressed, double time) {
    ZumiEvent e;
    e.code = code;
    e.pressed = pressed;
    e.time = time;
    std::lock_guard<std::mutex> hold(w->event_lock);
    event_queue_push(w->queue, e);
}

void translate_pending_events(ZumiWindow* w) {
    SDL_Event ev;
    while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        // Window events take the size lock, which a frame holds from begin to
        // end; they never hold the device lock, so a frame may read axes.
        if (ev.type == SDL_WINDOWEVENT || ev.type == SDL_QUIT) {
            translate(w, ev);
        } else {
            std::lock_guard<std::recursive_mutex> hold(w->device_lock);
            translate(w, ev);
        }
    }
}

void devices_open(ZumiWindow* w) {
    set_system_key_names(sdl_key_name);
    w->use_dinput = zumi_option_flag("dinput", 1) != 0;
    w->sticks_only = zumi_option_flag("dinputsticksonly", 1) != 0;
    w->use_xinput = zumi_option_flag("xinput", 1) != 0;
    bool sticks = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
    if (!sticks) zumi_log("Can't start joysticks: %s\n", SDL_GetError());
    if (!w->use_dinput) {
        zumi_log("DirectInput disabled\n");
    } else {
        zumi_log("DirectInput roll call...\n");
        if (!w->sticks_only) {
            w->mouse_device = add_input_device(w->names, "Mouse", 5, 3, true);
            w->mouse_axes.assign(3, 0);
        }
        for (int i = 0; sticks && i < SDL_NumJoysticks(); i++) attach(w, i, false);
        zumi_log("End of DirectInput roll call\n");
    }
    if (!w->use_xinput) {
        zumi_log("XInput disabled\n");
    } else {
        zumi_log("XInput roll call...\n");
        for (int i = 0; sticks && i < SDL_NumJoysticks(); i++) attach(w, i, true);
        zumi_log("End of XInput roll call\n");
    }
    // Controllers beyond the four pads become "dinput" devices.
    for (int i = 0; sticks && w->use_dinput && i < SDL_NumJoysticks(); i++) attach(w, i, false);
    w->cursor_device = add_input_device(w->names, "cursor", 0, 2, false);
    w->names.devices[w->cursor_device].offer_axes = false;
    add_default_aliases(w->names);
    w->device_refs.assign(w->names.devices.size(), 0);
}

void devices_close(ZumiWindow* w) {
    while (!w->links.empty()) detach(w, w->links.back().instance);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
}

// ---------------------------------------------------------------------------
int zumi_code_for_name(ZumiWindow* w, const char* name) {
    if (!w || !name) return CODE_NONE;
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    return code_for_name(w->names, name);
}

std::string zumi_name_for_code(ZumiWindow* w, int code) {
    if (!w) return "";
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    return name_for_code(w->names, code);
}

int zumi_open_axis(ZumiWindow* w, const char* name) {
    if (!w || !name) return -1;
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    int device = -1, axis = -1;
    if (!parse_axis_name(w->names, name, &device, &axis)) return -1;
    if (w->device_refs.size() < w->names.devices.size()) w->device_refs.resize(w->names.devices.size(), 0);
    w->device_refs[static_cast<size_t>(device)]++;
    for (size_t i = 0; i < w->handles.size(); i++) {
        if (!w->handles[i].open) {
            w->handles[i] = {device, axis, true};
            return static_cast<int>(i);
        }
    }
    w->handles.push_back({device, axis, true});
    return static_cast<int>(w->handles.size()) - 1;
}

int zumi_read_axis(ZumiWindow* w, int handle) {
    if (!w) return 0;
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    if (handle < 0 || handle >= static_cast<int>(w->handles.size()) || !w->handles[handle].open) return 0;
    const AxisHandle& h = w->handles[static_cast<size_t>(handle)];
    if (h.device == w->cursor_device) return h.axis == 0 ? w->cursor_x : w->cursor_y;
    if (h.device == w->mouse_device) {
        int v = w->mouse_axes[static_cast<size_t>(h.axis)];
        w->mouse_axes[static_cast<size_t>(h.axis)] = 0;  // motion since the previous read
        return v;
    }
    for (const DeviceLink& l : w->links)
        if (l.device == h.device && h.axis < static_cast<int>(l.axes.size())) return l.axes[static_cast<size_t>(h.axis)];
    return 0;  // unplugged: centred
}

void zumi_free_axis(ZumiWindow* w, int handle) {
    if (!w) return;
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    if (handle < 0 || handle >= static_cast<int>(w->handles.size()) || !w->handles[handle].open) return;
    AxisHandle& h = w->handles[static_cast<size_t>(handle)];
    if (h.device < static_cast<int>(w->device_refs.size()) && w->device_refs[static_cast<size_t>(h.device)] > 0)
        w->device_refs[static_cast<size_t>(h.device)]--;
    h.open = false;
}

std::vector<std::string> zumi_axis_names(ZumiWindow* w) {
    if (!w) return {};
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    return axis_names(w->names);
}

bool zumi_alias(ZumiWindow* w, const char* name, const char* target) {
    if (!w || !name || !target) return false;
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    if (!add_input_alias(w->names, name, target)) {
        zumi_log("Second alias for '%s' ('%s') ignored\n", name, target);
        return false;
    }
    return true;
}

InputNames zumi_input_names(ZumiWindow* w) {
    if (!w) return {};
    std::lock_guard<std::recursive_mutex> hold(w->device_lock);
    return w->names;
}
