// Surface tile records and their two text formats, "tileinfo" and the older
// "texturelist", plus the transition codes used by automatic tile painting.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "terrain/terrain_local.h"

namespace {

constexpr int MAX_NAME = 47;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads up to max finite numbers separated by white space, as "%f %f ..."
// would; returns how many were read before the first that is not one.
int scan_floats(std::string_view text, float* out, int max) {
    std::string buf(text);
    const char* p = buf.c_str();
    int k = 0;
    while (k < max) {
        char* end = nullptr;
        float v = std::strtof(p, &end);
        if (end == p || !std::isfinite(v)) break;
        out[k++] = v;
        p = end;
    }
    return k;
}

bool scan_int(std::string_view text, int& out) {
    std::string buf(text);
    char* end = nullptr;
    long v = std::strtol(buf.c_str(), &end, 10);
    if (end == buf.c_str()) return false;
    out = static_cast<int>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
    return true;
}

int load_texture(const std::string& name) {
    auto hook = terrain_hooks().load_texture;
    return hook ? hook(name.c_str()) : 0;
}

template <size_t N>
void sort_points(int count, std::array<float, N>& speed, std::array<float, N>* a, std::array<float, N>* b) {
    std::array<int, N> order;
    for (size_t k = 0; k < N; k++) order[k] = static_cast<int>(k);
    std::stable_sort(order.begin(), order.begin() + count, [&](int x, int y) { return speed[x] < speed[y]; });
    auto permute = [&](std::array<float, N>& arr) {
        std::array<float, N> copy = arr;
        for (int k = 0; k < count; k++) arr[k] = copy[order[k]];
    };
    permute(speed);
    if (a) permute(*a);
    if (b) permute(*b);
}

struct FloatKey {
    const char* key;
    float RoostSlot::*field;
};
const FloatKey ROOST_FLOATS[] = {
    {"count", &RoostSlot::count},         {"dig", &RoostSlot::dig},
    {"slip_threshold", &RoostSlot::slip_threshold},
    {"slow_angle", &RoostSlot::slow_angle}, {"fast_angle", &RoostSlot::fast_angle},
    {"slow_speed", &RoostSlot::slow_speed}, {"fast_speed", &RoostSlot::fast_speed},
    {"size", &RoostSlot::size},           {"grow", &RoostSlot::grow},
    {"drag", &RoostSlot::drag},           {"vscale", &RoostSlot::vscale},
    {"randomize", &RoostSlot::randomize},
};

struct ErodeKey {
    const char* key;
    float ErodeParams::*field;
};
const ErodeKey ERODE_FLOATS[] = {
    {"erode_depth", &ErodeParams::erode_depth},
    {"erode_lower", &ErodeParams::erode_lower},
    {"erode_upper", &ErodeParams::erode_upper},
    {"erode_displacement", &ErodeParams::erode_displacement},
    {"erode_radius", &ErodeParams::erode_radius},
    {"erode_inner_depth", &ErodeParams::erode_inner_depth},
    {"erode_inner_radius", &ErodeParams::erode_inner_radius},
    {"erode_min_slope", &ErodeParams::erode_min_slope},
    {"erode_max_slope", &ErodeParams::erode_max_slope},
    {"erode_off_speed", &ErodeParams::erode_off_speed},
    {"erode_on_speed", &ErodeParams::erode_on_speed},
    {"erode_slip_lower", &ErodeParams::erode_slip_lower},
    {"erode_slip_upper", &ErodeParams::erode_slip_upper},
    {"erode_slip_base_scale", &ErodeParams::erode_slip_base_scale},
    {"erode_slip_scale", &ErodeParams::erode_slip_scale},
    {"erode_downhill_scale", &ErodeParams::erode_downhill_scale},
    {"erode_project_to_ground", &ErodeParams::erode_project_to_ground},
    {"erode_lateral_scale", &ErodeParams::erode_lateral_scale},
    {"erode_front_scale", &ErodeParams::erode_front_scale},
};

const char* const COLOUR_KEYS[4] = {"r", "g", "b", "a"};
const char* const FADE_KEYS[4] = {"fade_r", "fade_g", "fade_b", "fade_a"};

// Splits roost parameters at blanks; text between double quotes is kept as
// is, blanks included, without the quotes.
std::vector<std::string> split_roost_params(std::string_view v) {
    std::vector<std::string> out;
    std::string cur;
    bool have = false, quoted = false;
    for (char c : v) {
        if (c == '"') {
            quoted = !quoted;
            have = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\b')) {
            if (have) out.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (have) out.push_back(cur);
    return out;
}

// A number as the C library reads one; false when there is none (or it is
// not finite).
bool parse_number(const std::string& s, double& out) {
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end != s.c_str() && std::isfinite(out);
}

void read_roost_param(RoostSlot& slot, const std::string& param) {
    size_t eq = param.find('=');
    std::string key = eq == std::string::npos ? param : param.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : param.substr(eq + 1);
    if (eq != std::string::npos) {
        if (key == "texture") {
            slot.texture_name = value;
            slot.texture = load_texture(value);
            return;
        }
        double d;
        bool ok = parse_number(value, d);
        if (key == "splash") {
            if (!ok) con_printf("tileinfo warning: bad splash\n");
            else if (d != 0.0) slot.kind = ROOST_SPLASH;
            return;
        }
        for (const FloatKey& f : ROOST_FLOATS)
            if (key == f.key) {
                if (ok) slot.*f.field = static_cast<float>(d);
                else con_printf("tileinfo warning: bad %s\n", f.key);
                return;
            }
        for (int c = 0; c < 4; c++) {
            if (key == COLOUR_KEYS[c]) {
                // Bytes, truncated; values outside 0..255 are clamped, not wrapped.
                if (ok) slot.colour[c] = static_cast<uint8_t>(std::clamp(d, 0.0, 255.0));
                else con_printf("tileinfo warning: bad %s\n", COLOUR_KEYS[c]);
                return;
            }
            if (key == FADE_KEYS[c]) {
                // Given per second, stored per tic as a signed byte (clamped).
                if (ok) slot.fade[c] = static_cast<int8_t>(std::clamp(d * TIC_SECONDS, -128.0, 127.0));
                else con_printf("tileinfo warning: bad %s\n", FADE_KEYS[c]);
                return;
            }
        }
    }
    con_printf("tileinfo warning: unknown roost parameter '%.40s'\n", param.c_str());
}

struct TileReader {
    Terrain& t;
    SurfaceTile cur = default_surface_tile();
    int roost_used = 0;

    void add_friction(std::string_view v) {
        float p[2];
        if (cur.friction_count >= FRICTION_POINTS) {
            con_printf("tileinfo warning: too many friction points\n");
        } else if (scan_floats(v, p, 2) != 2) {
            con_printf("tileinfo warning: bad friction parameters\n");
        } else {
            int k = cur.friction_count++;
            cur.friction_coefficient[k] = p[0] > 0.0f ? p[0] : 0.0f;
            cur.friction_speed[k] = p[1] < 1048575.0f ? p[1] : 1048575.0f;
        }
    }
    void add_roll_resist(std::string_view v) {
        float p[3];
        if (cur.roll_resist_count >= ROLL_RESIST_POINTS) {
            con_printf("tileinfo warning: too many roll_resist points\n");
        } else if (scan_floats(v, p, 3) != 3) {
            con_printf("tileinfo warning: bad roll_resist parameters\n");
        } else {
            int k = cur.roll_resist_count++;
            const float min_speed = 0.00000095367432f;  // 2^-20 ft/s
            cur.roll_low[k] = p[0] > 0.0f ? p[0] : 0.0f;
            cur.roll_high[k] = p[1] < 0.0f ? 0.0f : p[1];
            cur.roll_speed[k] = p[2] > min_speed ? p[2] : min_speed;
        }
    }
    void add_erode_limit(std::string_view v) {
        float p[3];
        ErodeParams& e = cur.erode;
        if (e.limit_count >= ERODE_LIMITS) {
            con_printf("tileinfo warning: too many erode limits\n");
        } else if (scan_floats(v, p, 3) != 3) {
            con_printf("tileinfo warning: bad erode_limit\n");
        } else if (e.limit_count > 0 && !(p[0] > e.limit_depth[e.limit_count - 1])) {
            con_printf("tileinfo warning: erode_limit depth <= prev depth\n");
        } else {
            e.limit_depth[e.limit_count] = p[0];
            e.limit_outer[e.limit_count] = p[1];
            e.limit_inner[e.limit_count] = p[2];
            e.limit_count++;
        }
    }
    void add_roost(std::string_view v) {
        if (roost_used >= ROOST_SLOTS) {
            con_printf("tileinfo warning: too many roost types\n");
            return;
        }
        RoostSlot& slot = cur.roost[roost_used++];
        slot.kind = ROOST_ROOST;
        for (const std::string& p : split_roost_params(v)) read_roost_param(slot, p);
    }
    void add_tile() {
        finish_tile(cur);
        t.tiles.push_back(cur);
        cur = default_surface_tile();
        roost_used = 0;
    }
    bool erode_value(std::string_view key, std::string_view v) {
        for (const ErodeKey& k : ERODE_FLOATS)
            if (key == k.key) {
                float f;
                if (scan_floats(v, &f, 1) == 1) cur.erode.*k.field = f;
                else con_printf("tileinfo warning: bad %s\n", k.key);
                return true;
            }
        return false;
    }

    void line(std::string_view s) {
        size_t a = 0;
        while (a < s.size() && is_space(s[a])) a++;
        size_t b = a;
        while (b < s.size() && !is_space(s[b])) b++;
        std::string_view key = s.substr(a, b - a);
        if (key.empty()) return;
        while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) b++;
        size_t c = b;
        while (c < s.size() && s[c] != '\r' && s[c] != '\n') c++;
        std::string_view v = s.substr(b, c - b);

        if (key == "addtile") {
            add_tile();
        } else if (key == "name") {
            cur.name = std::string(v.substr(0, MAX_NAME));
        } else if (key == "texture") {
            cur.texture_name = std::string(v);
            cur.texture = load_texture(cur.texture_name);
        } else if (key == "friction") {
            add_friction(v);
        } else if (key == "slip_function") {
            int f;
            if (!scan_int(v, f)) {
                con_printf("tileinfo warning: bad slip_function\n");
            } else {
                if (f < 0 || f > 2) con_printf("tileinfo warning: bad slip_function\n");
                cur.slip_function = f;
            }
        } else if (key == "roll_resist") {
            add_roll_resist(v);
        } else if (key == "roost") {
            add_roost(v);
        } else if (key == "erode_limit") {
            add_erode_limit(v);
        } else if (!erode_value(key, v)) {
            std::string k(key);
            con_printf("tileinfo warning: Unknown identifier '%.950s'\n", k.c_str());
        }
    }
};

// Calls f for each line of text (without its "\n" or "\r\n").
template <class F>
void for_each_line(const std::string& text, F f) {
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find('\n', p);
        size_t end = e == std::string::npos ? text.size() : e;
        size_t cut = end > p && text[end - 1] == '\r' ? end - 1 : end;
        if (!f(std::string_view(text).substr(p, cut - p))) return;
        p = e == std::string::npos ? text.size() : e + 1;
    }
}

bool is_blank(std::string_view s) {
    for (char c : s)
        if (!is_space(c)) return false;
    return true;
}

std::string base_name(const std::string& texture) {
    std::string s = texture.empty() || texture[0] != '@' ? texture : texture.substr(1);
    // Names are matched on their final path component: tiles from one
    // folder pair with each other.
    size_t slash = s.find_last_of('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

int find_tile_with_stem(const std::vector<std::string>& names, std::string_view stem) {
    for (size_t k = 0; k < names.size(); k++) {
        const std::string& n = names[k];
        if (n.size() > stem.size() && n.compare(0, stem.size(), stem) == 0 && n[stem.size()] == '.')
            return static_cast<int>(k);
    }
    return -1;
}

}  // namespace

SurfaceTile default_surface_tile() {
    SurfaceTile s;
    s.friction_coefficient.fill(1.0f);
    s.friction_speed.fill(FRICTION_SPEED_EMPTY);
    s.friction_speed[0] = 1.0f;
    s.roll_low.fill(5.0f);
    s.roll_high.fill(15.0f);
    s.roll_speed.fill(ROLL_SPEED_EMPTY);
    s.roll_speed[0] = 1.0f;
    RoostSlot roost;
    roost.texture = load_texture(roost.texture_name);
    s.roost.fill(roost);
    return s;
}

void reset_tile_defaults(SurfaceTile& tile) { tile = default_surface_tile(); }

void finish_tile(SurfaceTile& tile) {
    if (tile.name.empty()) tile.name = tile.texture_name.substr(0, MAX_NAME);
    int fc = std::clamp(tile.friction_count, 0, FRICTION_POINTS);
    sort_points<FRICTION_POINTS>(fc, tile.friction_speed, &tile.friction_coefficient, nullptr);
    int rc = std::clamp(tile.roll_resist_count, 0, ROLL_RESIST_POINTS);
    sort_points(rc, tile.roll_speed, &tile.roll_low, &tile.roll_high);
    if (tile.erode.limit_count == 0) {
        tile.erode.limit_count = 1;
        tile.erode.limit_depth[0] = 0.0f;
        tile.erode.limit_outer[0] = 1.0f;
        tile.erode.limit_inner[0] = 1.0f;
    }
}

int read_tileinfo(Terrain& t, const std::string& text) {
    t.tiles.clear();
    TileReader r{t};
    for_each_line(text, [&](std::string_view line) {
        if (terrain_tile_count(t) >= MAX_SURFACE_TILES) {
            if (!is_blank(line)) {
                con_printf("tileinfo warning: more than %d tiles, the rest is ignored\n", MAX_SURFACE_TILES);
                return false;
            }
            return true;
        }
        r.line(line);
        return true;
    });
    compute_transition_codes(t);
    return 1;
}

int read_texturelist(Terrain& t, const std::string& text) {
    t.tiles.clear();
    for_each_line(text, [&](std::string_view line) {
        if (terrain_tile_count(t) >= MAX_SURFACE_TILES) return false;
        if (is_blank(line)) return true;
        float p[3] = {1.0f, 5.0f, 15.0f};
        std::string name(line);
        // Three numbers, then the name; otherwise the whole line is the name.
        std::string buf(line);
        const char* q = buf.c_str();
        float v[3];
        int k = 0;
        while (k < 3) {
            char* end = nullptr;
            float f = std::strtof(q, &end);
            if (end == q || !std::isfinite(f)) break;
            v[k++] = f;
            q = end;
        }
        if (k == 3) {
            std::copy(v, v + 3, p);
            while (*q == ' ' || *q == '\t') q++;
            name = q;
        }
        SurfaceTile tile = default_surface_tile();
        tile.texture_name = "@" + name;
        tile.texture = load_texture(tile.texture_name);
        tile.friction_count = 1;
        tile.friction_coefficient.fill(p[0]);
        tile.roll_resist_count = 1;
        tile.roll_low.fill(p[1]);
        tile.roll_high.fill(p[2]);
        tile.roost[0].kind = ROOST_ROOST;
        finish_tile(tile);
        tile.name.clear();
        t.tiles.push_back(tile);
        return true;
    });
    compute_transition_codes(t);
    return 1;
}

void compute_transition_codes(Terrain& t) {
    std::vector<std::string> names;
    for (const SurfaceTile& s : t.tiles) names.push_back(base_name(s.texture_name));
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& n = names[i];
        int self = static_cast<int>(i) * 65536 + static_cast<int>(i) * 256;
        int32_t& code = t.tiles[i].transition_code;
        size_t d1 = n.find('-');
        int j = d1 == std::string::npos ? -1 : find_tile_with_stem(names, std::string_view(n).substr(0, d1));
        if (j < 0) {
            code = self;
            continue;
        }
        std::string_view rest = std::string_view(n).substr(d1 + 1);
        if (rest.size() > 3 && rest.substr(0, 3) == "alt" && rest[3] >= '0' && rest[3] <= '9') {
            code = j * 65536 + j * 256;
            continue;
        }
        size_t d2 = rest.find('-');
        int l = find_tile_with_stem(names, rest.substr(0, d2));
        if (l < 0) {
            code = -256;
            continue;
        }
        code = j * 65536 + l * 256;
        if (d2 != std::string_view::npos && rest.size() >= d2 + 5) {
            int bits = 0;
            bool ok = true;
            for (int b = 0; b < 4; b++) {
                char c = rest[d2 + 1 + b];
                if (c != '0' && c != '1') ok = false;
                bits = bits * 2 + (c == '1');
            }
            if (ok) code += bits;
        }
    }
}

void check_tiles(Terrain& t) {
    if (t.tiles.empty()) {
        con_printf("No surface tiles: using the default surface\n");
        t.tiles.push_back(default_surface_tile());
        finish_tile(t.tiles.back());
    }
    uint8_t last = static_cast<uint8_t>(t.tiles.size() - 1);
    for (uint8_t& b : t.tile_map) b = std::min(b, last);
}
