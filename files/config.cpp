// The "config" file: defaults, reading, writing in a fixed order, graphics
// presets, and input bindings.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <iterator>

#include "files/files_local.h"

namespace {

constexpr int CONFIG_LINE_CHARS = 1024;
const char* const DEFAULT_SERVER = "localhost";

const std::vector<std::string> NO_YES = {"No", "Yes"};
const std::vector<std::string> GATE_CHOICES = {"Empty", "Human", "Robot", "Robot (2 stroke)",
                                               "Robot (4 stroke)"};
const char* const GATE_LABELS[GATE_COUNT] = {
    "Gate 1",  "Gate 2",  "Gate 3",  "Gate 4",  "Gate 5",  "Gate 6",  "Gate 7",  "Gate 8",
    "Gate 9",  "Gate 10", "Gate 11", "Gate 12", "Gate 13", "Gate 14", "Gate 15", "Gate 16",
    "Gate 17", "Gate 18", "Gate 19", "Gate 20", "Gate 21", "Gate 22", "Gate 23", "Gate 24",
    "Gate 25", "Gate 26", "Gate 27", "Gate 28", "Gate 29", "Gate 30", "Gate 31", "Gate 32",
    "Gate 33", "Gate 34", "Gate 35", "Gate 36", "Gate 37", "Gate 38", "Gate 39", "Gate 40"};

NumberItem number(const char* label, double value, double step, double min, double max) {
    return NumberItem{label, value, step, min, max};
}
ListItem list(const char* label, std::vector<std::string> choices, int selected) {
    return ListItem{label, std::move(choices), selected};
}

struct BindingDefault {
    const char* key;
    const char* label;
    const char* key_name;
    int control;
    float sign;
};
const BindingDefault BINDING_DEFAULTS[BINDING_COUNT] = {
    {"throttle_key", "Throttle", "x", CONTROL_THROTTLE, 1},
    {"front_brake_key", "Front Brake", "c", CONTROL_FRONT_BRAKE, 1},
    {"rear_brake_key", "Rear Brake", "v", CONTROL_REAR_BRAKE, 1},
    {"left_key", "Left", "left", CONTROL_STEER, 1},
    {"right_key", "Right", "right", CONTROL_STEER, -1},
    {"clutch_key", "Clutch", "z", CONTROL_CLUTCH, 1},
    {"upshift_key", "Upshift", "up", CONTROL_SHIFT, 1},
    {"downshift_key", "Downshift", "down", CONTROL_SHIFT, -1},
    {"dab_key", "Sit/Dab", "right ctrl", CONTROL_SIT_DAB, 1},
    {"back_up_key", "Back up", "b", CONTROL_BACK_UP, 1},
    {"lean_forward_key", "Lean Forward", "n", CONTROL_LEAN, -1},
    {"lean_backward_key", "Lean Backward", "m", CONTROL_LEAN, 1},
    {"pause_key", "Pause", "pause", -1, 1},
    {"step_key", "Step", ".", -1, 1},
    {"rewind_key", "Rewind", "\\", -1, 1},
    {"skip_key", "Skip", "/", -1, 1},
    {"prev_key", "Previous Bike", "[", -1, 1},
    {"next_key", "Next Bike", "]", -1, 1},
    {"console_key", "Chat", "t", -1, 1},
    {"screenshot_key", "Screenshot", "s", -1, 1},
};

// The settings written as one block (step 7 of the write order), also the
// lookup table for reading them.
struct SettingKey {
    const char* key;
    NumberItem Config::*number;
    ListItem Config::*list;
    int Config::*integer;
};
#define NUM(k) {#k, &Config::k, nullptr, nullptr}
#define LIST(k) {#k, nullptr, &Config::k, nullptr}
#define INT(k) {#k, nullptr, nullptr, &Config::k}
const SettingKey DISPLAY_KEYS[] = {INT(xres), INT(yres), INT(draw_fps), INT(draw_time),
                                   INT(draw_ping), INT(draw_speed), INT(spy)};
const SettingKey RACE_KEYS[] = {LIST(record), LIST(skill), NUM(minutes), NUM(laps)};
const SettingKey GHOST_KEYS[] = {NUM(ghost_fade_distance), LIST(time_trial_abort)};
const SettingKey GRAPHICS_KEYS[] = {
    NUM(ground_detail), NUM(ground_texture_detail), LIST(ground_texture_dim),
    LIST(ground_mipmaps), LIST(texture_compress), LIST(render_texture), LIST(use_shader),
    NUM(roost_density), NUM(reshade_delay), LIST(lens_flare), LIST(reflections),
    LIST(hide_rider), LIST(rigid_camera), NUM(model_detail), NUM(model_texture_detail),
    NUM(fov), NUM(first_person_height), NUM(first_person_angle), NUM(first_person_gimbal),
    NUM(third_person_height), NUM(third_person_distance), NUM(volume), NUM(comp_volume),
    LIST(playback_mode), INT(billboard_optimize_lookahead), INT(message_lines),
    INT(demo_backups)};
#undef NUM
#undef LIST
#undef INT

struct KeyTable {
    const SettingKey* keys;
    size_t count;
};
const KeyTable KEY_TABLES[] = {{DISPLAY_KEYS, std::size(DISPLAY_KEYS)},
                               {RACE_KEYS, std::size(RACE_KEYS)},
                               {GHOST_KEYS, std::size(GHOST_KEYS)},
                               {GRAPHICS_KEYS, std::size(GRAPHICS_KEYS)}};

const SettingKey* find_key(const char* key) {
    for (const KeyTable& t : KEY_TABLES)
        for (size_t i = 0; i < t.count; i++)
            if (!strcmp(t.keys[i].key, key)) return &t.keys[i];
    return nullptr;
}

// Integer settings whose range the file may not break.
void clamp_integers(Config& c) {
    c.xres = std::clamp(c.xres, 64, 16384);
    c.yres = std::clamp(c.yres, 64, 16384);
    c.billboard_optimize_lookahead = std::max(c.billboard_optimize_lookahead, 0);
    c.message_lines = std::max(c.message_lines, 0);
    c.demo_backups = std::max(c.demo_backups, 0);
}

bool scan_number(const char* text, double& out) {
    DataFile* f = open_memory_data_file(text, strlen(text));
    double v = 0;
    int n = scan_data_file(f, "%lf", &v);
    close_data_file(f);
    if (n != 1) return false;
    out = v;
    return true;
}

bool scan_integer(const char* text, int& out) {
    DataFile* f = open_memory_data_file(text, strlen(text));
    int v = 0;
    int n = scan_data_file(f, "%d", &v);
    close_data_file(f);
    if (n != 1) return false;
    out = v;
    return true;
}

// "prefixNN" with two digits below `count`; the number or −1.
int numbered_key(const char* key, const char* prefix, int count) {
    size_t n = strlen(prefix);
    if (strncmp(key, prefix, n) || strlen(key) != n + 2) return -1;
    char a = key[n], b = key[n + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    int i = (a - '0') * 10 + (b - '0');
    return i < count ? i : -1;
}

void read_pair(Config& c, const char* key, const char* value) {
    if (const SettingKey* k = find_key(key)) {
        if (k->number) {
            NumberItem& item = c.*(k->number);
            double v;
            if (scan_number(value, v)) item.value = std::clamp(v, item.min, item.max);
        } else if (k->list) {
            (c.*(k->list)).select(value);
        } else {
            scan_integer(value, c.*(k->integer));
        }
        return;
    }
    if (!strcmp(key, "track")) {
        c.track = value;
    } else if (!strcmp(key, "video_mode")) {
        c.video_mode.select(value);
    } else if (!strcmp(key, "use_fbo")) {
        if (!strcmp(value, "Yes")) c.render_texture.select("Hardware/Direct");
        else if (!strcmp(value, "No")) c.render_texture.select("Hardware/Copy");
    } else if (!strcmp(key, "map_scale")) {
        double v;
        if (scan_number(value, v)) c.map_scale = std::clamp(v, 0.125, 8.0);
    } else if (!strcmp(key, "server_name")) {
        c.server_name.assign(value, strnlen(value, SERVER_NAME_CHARS));
    } else if (int h = numbered_key(key, "server_name_hist", SERVER_HISTORY_COUNT); h >= 0) {
        if (strlen(value) <= SERVER_HISTORY_CHARS) c.server_name_hist[(size_t)h] = value;
    } else if (int g = numbered_key(key, "slot", GATE_COUNT); g >= 0) {
        c.slots[(size_t)g].select(value);
    } else {
        for (InputBinding& b : c.bindings)
            if (!strcmp(key, b.key)) parse_binding(b, value);
    }
}

void append(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& out, const char* fmt, ...) {
    char buf[CONFIG_LINE_CHARS * 2];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) out.append(buf, (size_t)std::min<int>(n, (int)sizeof buf - 1));
}

void append_keys(std::string& out, const Config& c, const SettingKey* keys, size_t n) {
    for (size_t i = 0; i < n; i++) {
        const SettingKey& k = keys[i];
        if (k.number) append(out, "%s=%f\n", k.key, (c.*(k.number)).value);
        else if (k.list) append(out, "%s=%s\n", k.key, (c.*(k.list)).text());
        else append(out, "%s=%d\n", k.key, c.*(k.integer));
    }
}

// --- graphics presets ---------------------------------------------------------

struct Preset {
    double reshade_delay, roost_density, model_detail;
    bool effects;  // use_shader, lens_flare, reflections
    const char* render_texture;
    bool texture_compress;
    const char* ground_texture_dim;
    double texture_detail, ground_detail;
};
const Preset PRESETS[GRAPHICS_PRESET_COUNT] = {
    {8, 1000, 50, true, "Software", false, "64x64", 9, 70},
    {10, 0, 25, false, "Hardware/Direct", true, "64x64", 7, 50},
    {8, 1000, 50, true, "Shaders/Direct", true, "128x128", 9, 70},
    {0, 1000, 75, true, "Shaders/Direct", false, "256x256", 10, 90},
};
const char* const PRESET_CAPTIONS[GRAPHICS_PRESET_COUNT] = {
    "Current Settings: Compatibility", "Current Settings: High FPS", "Current Settings: Normal",
    "Current Settings: High Detail"};

bool preset_matches(const Config& c, const Preset& p) {
    const char* yes_no = p.effects ? "Yes" : "No";
    return c.reshade_delay.value == p.reshade_delay && c.roost_density.value == p.roost_density &&
           c.model_detail.value == p.model_detail && !strcmp(c.use_shader.text(), yes_no) &&
           !strcmp(c.lens_flare.text(), yes_no) && !strcmp(c.reflections.text(), yes_no) &&
           !strcmp(c.render_texture.text(), p.render_texture) &&
           !strcmp(c.texture_compress.text(), p.texture_compress ? "Yes" : "No") &&
           !strcmp(c.ground_mipmaps.text(), "Yes") &&
           !strcmp(c.ground_texture_dim.text(), p.ground_texture_dim) &&
           c.ground_texture_detail.value == p.texture_detail &&
           c.model_texture_detail.value == p.texture_detail &&
           c.ground_detail.value == p.ground_detail;
}

}  // namespace

const char* ListItem::text() const {
    return selected >= 0 && selected < (int)choices.size() ? choices[(size_t)selected].c_str() : "";
}

bool ListItem::select(const std::string& choice) {
    auto it = std::find(choices.begin(), choices.end(), choice);
    if (it == choices.end()) return false;
    selected = (int)(it - choices.begin());
    return true;
}

Config default_config() {
    Config c;
    c.record = list("Record Demo", NO_YES, 0);
    c.skill = list("Robot Skill", {"Novice", "Amateur", "Expert"}, 0);
    c.minutes = number("Minutes", 0, 1, 0, 60);
    c.laps = number("Laps", 5, 1, 0, 50);
    for (int i = 0; i < GATE_COUNT; i++) {
        int gate = i + 1;
        int choice = gate == 20 ? 1 : (gate == 18 || gate == 19 || (gate >= 21 && gate <= 23)) ? 2 : 0;
        c.slots[(size_t)i] = list(GATE_LABELS[i], GATE_CHOICES, choice);
    }
    c.ghost_fade_distance = number("Ghost Fade Distance", 10, 1, 0, 40);
    c.time_trial_abort = list("Backing Up Aborts Attempt", NO_YES, 1);
    c.video_mode = list("Video Mode", {"Default Fullscreen", "Windowed"}, 0);
    c.server_name = DEFAULT_SERVER;
    c.ground_detail = number("Ground Geometric Detail", 70, 1, 0, 100);
    c.ground_texture_detail = number("Ground Texture Levels", 9, 1, 0, 10);
    c.ground_texture_dim = list("Ground Texture Resolution",
                                {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"}, 1);
    c.ground_mipmaps = list("Enable Ground Mipmaps", NO_YES, 1);
    c.texture_compress = list("Compress Textures", {"No", "Yes", "Always"}, 0);
    c.render_texture = list("Terrain Rendering Method",
                            {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                             "Shaders/Direct"},
                            0);
    c.use_shader = list("Use Shader Programs", NO_YES, 1);
    c.roost_density = number("Roost Density", 1000, 10, 0, 1000);
    c.reshade_delay = number("Reshade Delay", 8, 1, 0, 20);
    c.lens_flare = list("Enable Lens Flares", NO_YES, 1);
    c.reflections = list("Enable Reflections", NO_YES, 1);
    c.hide_rider = list("Hide 1st Person Rider", NO_YES, 0);
    c.rigid_camera = list("Rigid 3rd person camera", NO_YES, 0);
    c.model_detail = number("Model Geometric Detail", 50, 1, 0, 100);
    c.model_texture_detail = number("Model Texture Detail", 9, 1, 0, 10);
    c.fov = number("Field Of View", 110, 1, 10, 170);
    c.first_person_height = number("1st Person Height", 0, 0.03125, 0, 1);
    c.first_person_angle = number("1st Person Angle", 0, 1, 0, 40);
    c.first_person_gimbal = number("1st Person Gimbal", 0, 1, 0, 100);
    c.third_person_height = number("3rd Person Height", 5, 1, 0, 20);
    c.third_person_distance = number("3rd Person Distance", 10, 1, 5, 40);
    c.volume = number("Volume", 10, 1, 0, 10);
    c.comp_volume = number("Competitor Volume", 8, 1, 0, 10);
    c.playback_mode = list("Playback Mode", {"Playback Only", "Race Against"}, 0);
    for (int i = 0; i < BINDING_COUNT; i++) {
        const BindingDefault& d = BINDING_DEFAULTS[i];
        InputBinding& b = c.bindings[(size_t)i];
        b.key = d.key;
        b.label = d.label;
        b.key_name = d.key_name;
        b.control = d.control;
        b.sign = d.sign;
    }
    apply_graphics_preset(c, 0);
    return c;
}

void read_config_from(DataFile* f, Config& c, const ConfigHooks& hooks) {
    char line[CONFIG_LINE_CHARS + 1];
    while (read_data_line(f, line, sizeof line)) {
        size_t len = strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            // An overlong line: its rest is not a line of its own.
            int ch;
            while ((ch = read_data_char(f)) >= 0 && ch != '\n') {
            }
        }
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
        char* eq = strchr(line, '=');
        if (!eq) continue;
        *eq = 0;
        const char* key = line;
        const char* value = eq + 1;
        if (hooks.read_setup_line && hooks.read_setup_line(key, value)) continue;
        read_pair(c, key, value);
    }
    clamp_integers(c);
}

bool read_config(Config& c, const ConfigHooks& hooks) {
    DataFile* f = open_data_file("@config", "rb");
    if (!f) return false;
    read_config_from(f, c, hooks);
    close_data_file(f);
    return true;
}

std::string format_config(const Config& c, const ConfigHooks& hooks) {
    std::string out;
    append_keys(out, c, DISPLAY_KEYS, std::size(DISPLAY_KEYS));
    append(out, "track=%s\n", c.track.c_str());
    append_keys(out, c, RACE_KEYS, std::size(RACE_KEYS));
    for (int i = 0; i < GATE_COUNT; i++) append(out, "slot%02d=%s\n", i, c.slots[(size_t)i].text());
    append_keys(out, c, GHOST_KEYS, std::size(GHOST_KEYS));
    if (hooks.write_setup) out += hooks.write_setup();
    append(out, "video_mode=%s\n", c.video_mode.text());
    append(out, "server_name=%s\n", c.server_name.c_str());
    for (int i = 0; i < SERVER_HISTORY_COUNT; i++)
        append(out, "server_name_hist%02d=%s\n", i, c.server_name_hist[(size_t)i].c_str());
    append_keys(out, c, GRAPHICS_KEYS, std::size(GRAPHICS_KEYS));
    append(out, "map_scale=%f\n", c.map_scale);
    for (const InputBinding& b : c.bindings) out += format_binding(b.key, b);
    return out;
}

bool write_config(const Config& c, const ConfigHooks& hooks) {
    return replace_file_contents("@config", format_config(c, hooks));
}

void parse_binding(InputBinding& b, const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') text++;
    b.key_name.clear();
    b.key_code = -1;
    b.axis_name.clear();
    b.axis_handle = -1;
    b.low = 0;
    b.high = 1;
    b.value = 0;
    const char* close = text[0] == '(' ? strchr(text, ')') : nullptr;
    if (close) {
        DataFile* f = open_memory_data_file(text, (size_t)(close + 1 - text));
        float low = 0, high = 1;
        int n = scan_data_file(f, "(%f,%f)", &low, &high);
        close_data_file(f);
        if (n == 2) {
            b.low = low;
            b.high = high;
            b.axis_name = close + 1;
            return;
        }
    }
    b.key_name = strncmp(text, "(k)", 3) ? text : text + 3;
}

std::string format_binding(const char* name, const InputBinding& b) {
    std::string out;
    if (b.is_axis())
        append(out, "%s=(%f,%f)%s\n", name, (double)b.low, (double)b.high, b.axis_name.c_str());
    else if (!b.key_name.empty())
        append(out, "%s=(k)%s\n", name, b.key_name.c_str());
    else
        append(out, "%s=\n", name);  // unbound stays unbound when read back
    return out;
}

std::string binding_display_text(const InputBinding& b) {
    if (b.is_axis()) return b.axis_name + (b.high < 0 ? " (Negative)" : " (Positive)");
    return b.key_name.empty() ? "None" : b.key_name;
}

float axis_binding_value(const InputBinding& b, int raw) {
    float x = (float)raw / 32768.0f;
    if (b.high == b.low) return x >= b.low ? 1.0f : 0.0f;
    return std::clamp((x - b.low) / (b.high - b.low), 0.0f, 1.0f);
}

void fill_control_vector(const Config& c, ControlVector& controls) {
    controls = ControlVector{};
    for (int i = 0; i < RIDING_BINDING_COUNT; i++) {
        const InputBinding& b = c.bindings[(size_t)i];
        if (b.control >= 0 && b.control < CONTROL_COUNT) controls.v[b.control] += b.value * b.sign;
    }
}

void apply_graphics_preset(Config& c, int preset) {
    if (preset < 0 || preset >= GRAPHICS_PRESET_COUNT) return;
    const Preset& p = PRESETS[preset];
    const char* yes_no = p.effects ? "Yes" : "No";
    c.reshade_delay.value = p.reshade_delay;
    c.roost_density.value = p.roost_density;
    c.model_detail.value = p.model_detail;
    c.use_shader.select(yes_no);
    c.lens_flare.select(yes_no);
    c.reflections.select(yes_no);
    c.render_texture.select(p.render_texture);
    c.texture_compress.select(p.texture_compress ? "Yes" : "No");
    c.ground_mipmaps.select("Yes");
    c.ground_texture_dim.select(p.ground_texture_dim);
    c.ground_texture_detail.value = p.texture_detail;
    c.model_texture_detail.value = p.texture_detail;
    c.ground_detail.value = p.ground_detail;
}

int matching_graphics_preset(const Config& c) {
    for (int i = GRAPHICS_PRESET_COUNT - 1; i >= 0; i--)
        if (preset_matches(c, PRESETS[i])) return i;
    return -1;
}

const char* graphics_preset_caption(const Config& c) {
    int i = matching_graphics_preset(c);
    return i < 0 ? "Current Settings: Custom" : PRESET_CAPTIONS[i];
}

void resolve_binding_codes(Config& c, const InputNames& names) {
    for (InputBinding& b : c.bindings)
        b.key_code = b.key_name.empty() ? -1 : code_for_name(names, b.key_name);
}
