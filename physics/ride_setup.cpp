// The rider setup: its key table, the stability preset, reading and writing
// "setups/" files, and applying the values to the local bike.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "files/files.h"
#include "physics/physics_local.h"
#include "physics/ride_local.h"

namespace {

const char* const NO_YES[] = {"No", "Yes", nullptr};
const char* const BRAKE_CHOICES[] = {"Normal", "Antilock", nullptr};
const char* const WHEELIE_CHOICES[] = {"No", "Yes", "Front Only", nullptr};

#define NUM(k, label, def, lo, hi, step) {k, label, SETUP_NUMBER, def, lo, hi, step, nullptr, nullptr, 0}
#define CHOICE(k, label, def, list) {k, label, SETUP_CHOICE, 0, 0, 0, 0, def, list, 0}
#define TEXT(k, label, def, len) {k, label, SETUP_TEXT, 0, 0, 0, 0, def, nullptr, len}

const SetupKey KEYS[] = {
    CHOICE("bike", "Bike", "yz250f(2017)", nullptr),
    TEXT("name", "Name", "Joe Motocross", 63),
    TEXT("number", "Number", "999", 3),
    TEXT("rider_texture", "Riding Gear", "default", 1023),
    TEXT("head_texture", "Helmet", "default", 1023),
    TEXT("bike_texture", "Bike Graphics", "default", 1023),
    TEXT("wheel_texture", "Wheel Graphics", "default", 1023),
    NUM("stability", "Stability", 100, 0, 100, 1),
    NUM("leveling", "Leveling", 20, 0, 100, 1),
    NUM("roll_damping", "Roll Damping", 60, 0, 100, 1),
    NUM("roll_limit_angle", "Roll Limit Angle", 45, 0, 180, 1),
    NUM("roll_limit_factor", "Roll Limit Factor", 10, 0, 64, 1),
    NUM("steering_damping", "Steering Damping", 45, 0, 100, 1),
    NUM("steering_strength", "Steering Strength", 75, 0, 100, 1),
    NUM("max_steering_force", "Max Steering Force", 400, 0, 1000, 5),
    NUM("direct_steering", "Direct Steering", 1, 0, 1, 0.125),
    NUM("slow_damping_speed", "Slow Damping Speed", 40, 0, 100, 1),
    NUM("slow_damping_factor", "Slow Damping Factor", 2, 1, 10, 0.25),
    NUM("land_damping_rampup", "Landing Damping Ramp Up", 0.0625, 0, 0.5, 0.0078125),
    NUM("land_damping_falloff", "Landing Damping Falloff", 0.25, 0, 0.5, 0.0625),
    NUM("land_damping_factor", "Landing Damping Factor", 2, 1, 3, 0.25),
    NUM("full_lock_speed", "Full Lock Speed", 10, 1, 100, 1),
    NUM("restricted_lock_speed", "Restricted Lock Speed", 50, 1, 100, 1),
    NUM("restricted_lock", "Restricted Lock Angle", 7.5, 0, 45, 0.125),
    CHOICE("arcade", "Arcade Physics", "Yes", NO_YES),
    CHOICE("front_brake", "Front Brake", "Antilock", BRAKE_CHOICES),
    CHOICE("rear_brake", "Rear Brake", "Normal", BRAKE_CHOICES),
    CHOICE("stop_wheelies", "Stop Wheelies", "Yes", WHEELIE_CHOICES),
    CHOICE("auto_shift", "Automatic Shifting", "Yes", NO_YES),
    CHOICE("auto_dab", "Dab When Stopped", "Yes", NO_YES),
    CHOICE("auto_align", "Realign After Fall", "Yes", NO_YES),
    CHOICE("sticky_dab", "Sticky Sit/Dab", "No", NO_YES),
    CHOICE("reverse_steering", "Reversed Steering", "Yes", NO_YES),
    CHOICE("lean_indicator", "Lean Indicator", "Yes", NO_YES),
    NUM("auto_clutch_rpms", "Auto Clutch RPMs", 5000, 0, 5000, 100),
    NUM("brake_torque", "Braking Torque (Front)", 500, 0, 500, 10),
    NUM("rear_brake_torque", "Braking Torque (Rear)", 250, 0, 500, 10),
    NUM("max_dab_speed", "Max Dab Speed (MPH)", 60, 5, 60, 1),
    NUM("front_sprocket_adjustment", "Countershaft Sprocket", 0, -2, 2, 1),
    NUM("rear_sprocket_adjustment", "Rear Sprocket", 0, -2, 2, 1),
    NUM("fork_compression_adjustment", "Fork High Speed Compression Damping", 50, 0, 100, 1),
    NUM("fork_slow_compression_adjustment", "Fork Low Speed Compression Damping", 50, 0, 100, 1),
    NUM("fork_rebound_adjustment", "Fork High Speed Rebound Damping", 50, 0, 100, 1),
    NUM("fork_slow_rebound_adjustment", "Fork Low Speed Rebound Damping", 50, 0, 100, 1),
    NUM("fork_spring_rate_adjustment", "Fork Spring Rate", 50, 0, 100, 1),
    NUM("fork_preload_adjustment", "Fork Preload", 50, 0, 100, 1),
    NUM("fork_oil_level_adjustment", "Fork Oil Level", 50, 0, 100, 1),
    NUM("shock_compression_adjustment", "Shock High Speed Compression Damping", 75, 0, 100, 1),
    NUM("shock_slow_compression_adjustment", "Shock Low Speed Compression Damping", 50, 0, 100, 1),
    NUM("shock_rebound_adjustment", "Shock High Speed Rebound Damping", 75, 0, 100, 1),
    NUM("shock_slow_rebound_adjustment", "Shock Low Speed Rebound Damping", 50, 0, 100, 1),
    NUM("shock_spring_rate_adjustment", "Shock Spring Rate", 50, 0, 100, 1),
    NUM("shock_preload_adjustment", "Shock Preload", 50, 0, 100, 1),
    NUM("rider_yspring", "Rider Vertical Spring", 50, 0, 100, 1),
    NUM("rider_ydamping", "Rider Vertical Damping", 50, 0, 100, 1),
    NUM("rider_zspring", "Rider Forward Spring", 50, 0, 100, 1),
    NUM("rider_zdamping", "Rider Forward Damping", 50, 0, 100, 1),
    NUM("rider_mass_distribution", "Rider Mass Distribution", 0.33, 0.33, 0.5, 0.01),
};
#undef NUM
#undef CHOICE
#undef TEXT
constexpr int KEY_COUNT = sizeof(KEYS) / sizeof(KEYS[0]);

// The stability preset: the advanced values at Stability 0, 20, 40, 60, 80, 100.
struct PresetRow {
    const char* key;
    double p[6];
};
const PresetRow PRESET[] = {
    {"leveling", {20, 20, 20, 20, 20, 20}},
    {"roll_damping", {40, 50, 60, 70, 75, 80}},
    {"roll_limit_angle", {90, 45, 45, 45, 45, 45}},
    {"roll_limit_factor", {0, 5, 10, 32, 32, 32}},
    {"steering_damping", {45, 45, 45, 45, 50, 60}},
    {"steering_strength", {75, 75, 75, 75, 75, 75}},
    {"max_steering_force", {400, 400, 400, 400, 400, 400}},
    {"direct_steering", {1, 1, 1, 1, 1, 0.125}},
    {"slow_damping_speed", {40, 40, 40, 40, 40, 40}},
    {"slow_damping_factor", {1, 1, 1.5, 2, 2, 2}},
    {"land_damping_rampup", {0.0625, 0.0625, 0.0625, 0.0625, 0.0625, 0.0625}},
    {"land_damping_falloff", {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {"land_damping_factor", {1, 1.5, 2, 2, 2, 2}},
    {"full_lock_speed", {10, 10, 10, 10, 10, 10}},
    {"restricted_lock_speed", {50, 50, 50, 50, 50, 50}},
    {"restricted_lock", {45, 15, 10, 5, 2.5, 1}},
};

// Run-wide: the setup values, indexed like KEYS.
struct RiderSetup {
    double number[KEY_COUNT] = {};
    int choice[KEY_COUNT] = {};
    std::string text[KEY_COUNT];
    bool description_changed = false;
    bool arcade_disabled = false;
    double last_refused = -1e30;  // real time of the last refused apply
    SkinExists skin_exists = nullptr;
    bool ready = false;
};

RiderSetup& setup() {
    static RiderSetup s;
    if (!s.ready) {
        s.ready = true;
        reset_rider_setup();
    }
    return s;
}

int choice_count(const SetupKey& k) {
    if (!k.choices) return BIKE_MODEL_COUNT;
    int n = 0;
    while (k.choices[n]) n++;
    return n;
}

const char* choice_text(const SetupKey& k, int i) {
    if (!k.choices) return model_name(i);
    return k.choices[i];
}

int find_choice(const SetupKey& k, const char* text) {
    int n = choice_count(k);
    for (int i = 0; i < n; i++)
        if (std::strcmp(choice_text(k, i), text) == 0) return i;
    return -1;
}

double num(const char* key) { return setup_number(key); }
int chosen(const char* key) { return setup_choice(key); }

// A setup name stays inside "setups/": no absolute path, no ".." part.
bool safe_setup_name(const char* name) {
    if (!name || !*name || name[0] == '/' || std::strchr(name, '\\')) return false;
    std::string n = name;
    size_t start = 0;
    while (start <= n.size()) {
        size_t end = n.find('/', start);
        if (end == std::string::npos) end = n.size();
        std::string part = n.substr(start, end - start);
        if (part == "..") return false;
        start = end + 1;
    }
    return n.back() != '/';
}

const char* const SKIN_KEYS[4] = {"rider_texture", "head_texture", "bike_texture", "wheel_texture"};

}  // namespace

int setup_key_count() { return KEY_COUNT; }
const SetupKey& setup_key(int i) { return KEYS[clampv(i, 0, KEY_COUNT - 1)]; }

int find_setup_key(const char* key) {
    if (!key) return -1;
    for (int i = 0; i < KEY_COUNT; i++)
        if (std::strcmp(KEYS[i].key, key) == 0) return i;
    return -1;
}

void reset_rider_setup() {
    RiderSetup& s = setup();
    for (int i = 0; i < KEY_COUNT; i++) {
        const SetupKey& k = KEYS[i];
        s.number[i] = k.def;
        s.text[i] = k.def_text ? k.def_text : "";
        s.choice[i] = k.kind == SETUP_CHOICE ? std::max(find_choice(k, k.def_text), 0) : 0;
    }
    s.description_changed = false;
    apply_stability_preset(100);
}

double setup_number(const char* key) {
    int i = find_setup_key(key);
    return i >= 0 && KEYS[i].kind == SETUP_NUMBER ? setup().number[i] : 0;
}

int setup_choice(const char* key) {
    int i = find_setup_key(key);
    return i >= 0 && KEYS[i].kind == SETUP_CHOICE ? setup().choice[i] : -1;
}

std::string setup_text(const char* key) {
    int i = find_setup_key(key);
    if (i < 0) return "";
    if (KEYS[i].kind == SETUP_CHOICE) return choice_text(KEYS[i], setup().choice[i]);
    if (KEYS[i].kind == SETUP_TEXT) return setup().text[i];
    return "";
}

void apply_stability_preset(double stability) {
    RiderSetup& s = setup();
    double u = clampv(stability * 5 * 0.01, 0.0, 5.0);
    int i = clampv((int)std::floor(u), 0, 4);
    double f = u - i;
    for (const PresetRow& row : PRESET)
        s.number[find_setup_key(row.key)] = row.p[i] + (row.p[i + 1] - row.p[i]) * f;
}

bool read_setup_line(const char* key, const char* value) {
    int i = find_setup_key(key);
    if (i < 0) return false;
    if (!value) return true;
    RiderSetup& s = setup();
    const SetupKey& k = KEYS[i];
    switch (k.kind) {
    case SETUP_NUMBER: {
        float f;
        if (std::sscanf(value, "%f", &f) != 1 || std::isnan(f)) break;
        s.number[i] = clampv(f, (float)k.min, (float)k.max);
        if (std::strcmp(k.key, "stability") == 0) apply_stability_preset((int)s.number[i]);
        break;
    }
    case SETUP_CHOICE: {
        const char* v = value;
        if (!k.choices) v = map_legacy_bike_name(value);
        int c = find_choice(k, v);
        if (c >= 0) s.choice[i] = c;
        break;
    }
    case SETUP_TEXT:
        s.text[i] = std::string(value).substr(0, (size_t)k.max_length);
        break;
    }
    return true;
}

std::string write_setup() {
    RiderSetup& s = setup();
    std::string out;
    char line[1200];
    for (int i = 0; i < KEY_COUNT; i++) {
        const SetupKey& k = KEYS[i];
        if (k.kind == SETUP_NUMBER)
            std::snprintf(line, sizeof line, "%s=%f\n", k.key, s.number[i]);
        else
            std::snprintf(line, sizeof line, "%s=%s\n", k.key,
                          k.kind == SETUP_CHOICE ? choice_text(k, s.choice[i]) : s.text[i].c_str());
        out += line;
    }
    return out;
}

void set_setup_skin_check(SkinExists check) { setup().skin_exists = check; }

bool setup_description_changed() {
    bool c = setup().description_changed;
    setup().description_changed = false;
    return c;
}

void read_setup_text(const std::string& text) {
    // Lines as the stream reader gives them: at most 1023 bytes, a longer
    // line continuing as the next one.
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        size_t len = (end == std::string::npos ? text.size() : end + 1) - pos;
        if (len > 1023) len = 1023;
        std::string line = text.substr(pos, len);
        line.resize(std::strlen(line.c_str()));  // a NUL byte ends the line's text
        pos += len;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
        read_setup_line(key.c_str(), value.c_str());
    }
}

bool read_setup_file(const char* name) {
    RiderSetup& s = setup();
    std::optional<std::string> text;
    if (safe_setup_name(name)) text = file_to_string((std::string("@setups/") + name).c_str());
    if (!text) {
        con_printf("Error reading setup\n");
        return false;
    }
    std::string skins[4];
    for (int i = 0; i < 4; i++) skins[i] = s.text[find_setup_key(SKIN_KEYS[i])];
    read_setup_text(*text);
    // A stored skin name the bike does not have leaves the earlier choice.
    std::string bike = setup_text("bike");
    for (int i = 0; i < 4; i++) {
        int k = find_setup_key(SKIN_KEYS[i]);
        if (s.skin_exists && !s.skin_exists(i, bike.c_str(), s.text[k].c_str())) s.text[k] = skins[i];
    }
    con_printf("Setup updated\n");
    s.description_changed = true;
    return true;
}

bool write_setup_file(const char* name) {
    if (!safe_setup_name(name)) {
        con_printf("Error writing setup\n");
        return false;
    }
    std::string path = std::string("@setups/") + name;
    if (!replace_file_contents(path.c_str(), write_setup())) {
        con_printf("Error writing setup\n");
        return false;
    }
    con_printf("Setup written\n");
    return true;
}

void set_arcade_disabled_by_server(bool disabled) { setup().arcade_disabled = disabled; }

static float adjustment_multiplier(double a) { return (float)std::pow(2.0, a * 0.04 - 2); }
static float adjustment_low_speed(double a) { return (float)(a * 0.02 - 1); }
static float adjustment_fraction(double a) { return (float)(a * 0.01); }

void apply_setup(Bike& bike) {
    const double DEG = 0.017453292519943295;
    set_leveling(bike, (float)num("leveling"));
    set_roll_damping(bike, (float)num("roll_damping"));
    set_roll_limit_angle(bike, (float)(num("roll_limit_angle") * DEG));
    set_roll_limit_factor(bike, (float)num("roll_limit_factor"));
    set_steering_damping(bike, (float)num("steering_damping"));
    set_steering_strength(bike, (float)num("steering_strength"));
    set_max_steering_force(bike, (float)num("max_steering_force"));
    set_direct_steering(bike, (float)num("direct_steering"));
    set_slow_damping_speed(bike, (float)num("slow_damping_speed"));
    set_slow_damping_factor(bike, (float)num("slow_damping_factor"));
    set_land_damping_rampup(bike, (float)num("land_damping_rampup"));
    set_land_damping_falloff(bike, (float)num("land_damping_falloff"));
    set_land_damping_factor(bike, (float)num("land_damping_factor"));
    set_full_lock_speed(bike, (float)num("full_lock_speed"));
    set_restricted_lock_speed(bike, (float)num("restricted_lock_speed"));
    set_restricted_lock(bike, (float)(num("restricted_lock") * DEG));
    set_auto_clutch_rpms(bike, (float)num("auto_clutch_rpms"));
    set_brake_torque(bike, (float)num("brake_torque"));
    set_rear_brake_torque(bike, (float)num("rear_brake_torque"));
    set_max_dab_speed(bike, (float)(num("max_dab_speed") * FT_PER_S_PER_MPH));
    set_arcade(bike, !setup().arcade_disabled && chosen("arcade") == 1);
    set_ride_flag(bike, FLAG_FRONT_ANTILOCK, chosen("front_brake") == 1);
    set_ride_flag(bike, FLAG_REAR_ANTILOCK, chosen("rear_brake") == 1);
    set_ride_flag(bike, FLAG_AUTO_SHIFT, chosen("auto_shift") == 1);
    set_ride_flag(bike, FLAG_AUTO_DAB, chosen("auto_dab") == 1);
    set_ride_flag(bike, FLAG_AUTO_ALIGN, chosen("auto_align") == 1);
    int wheelies = chosen("stop_wheelies");  // "No", "Yes", "Front Only"
    set_ride_flag(bike, FLAG_WHEELIE_PREVENTION, wheelies == 1);
    set_ride_flag(bike, FLAG_STOPPIE_PREVENTION, wheelies == 1 || wheelies == 2);
    set_final_drive(bike, (float)num("front_sprocket_adjustment"), (float)num("rear_sprocket_adjustment"));
    set_fork_tuning(bike, adjustment_multiplier(num("fork_compression_adjustment")),
                    adjustment_low_speed(num("fork_slow_compression_adjustment")),
                    adjustment_multiplier(num("fork_rebound_adjustment")),
                    adjustment_low_speed(num("fork_slow_rebound_adjustment")),
                    adjustment_fraction(num("fork_spring_rate_adjustment")),
                    adjustment_fraction(num("fork_preload_adjustment")),
                    adjustment_fraction(num("fork_oil_level_adjustment")));
    set_shock_tuning(bike, adjustment_multiplier(num("shock_compression_adjustment")),
                     adjustment_low_speed(num("shock_slow_compression_adjustment")),
                     adjustment_multiplier(num("shock_rebound_adjustment")),
                     adjustment_low_speed(num("shock_slow_rebound_adjustment")),
                     adjustment_fraction(num("shock_spring_rate_adjustment")),
                     adjustment_fraction(num("shock_preload_adjustment")));
    set_rider_springs(bike, adjustment_fraction(num("rider_yspring")), adjustment_fraction(num("rider_zspring")));
    set_rider_dampings(bike, adjustment_fraction(num("rider_ydamping")),
                       adjustment_fraction(num("rider_zdamping")));
    set_rider_mass_distribution(bike, (float)num("rider_mass_distribution"));
}

bool apply_setup_when_stopped(Bike& bike, double real_time) {
    RiderSetup& s = setup();
    float speed = bike.bodies[FRAME] ? length(to_vec3(dBodyGetLinearVel(bike.bodies[FRAME]))) : 0;
    if (speed <= 0.125f) {
        apply_setup(bike);
        return true;
    }
    if (real_time - s.last_refused < 10)
        con_printf("Settings not applied.  Mechanic can't keep up error.\n");
    s.last_refused = real_time;
    return false;
}
