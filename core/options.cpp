// The command line and the rendering tuning it can override.
#include "core/core.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

RenderTuning derive_render_tuning(const Config& c) {
    RenderTuning t;
    float ground_detail = float(c.ground_detail.value);
    // A ground detail of 0 would make an infinite grid step: use the finest.
    t.ground_grid_detail = ground_detail > 0 ? 0.125f / ground_detail : 0.125f;
    t.ground_texture_reduction = int(clampf(10 - float(c.ground_texture_detail.value), 0, 10));
    t.model_texture_reduction = int(clampf(10 - float(c.model_texture_detail.value), 0, 10));
    int dim = c.ground_texture_dim.selected;
    t.ground_texture_size = 32 << (dim < 0 ? 0 : dim > 5 ? 5 : dim);
    float model_detail = float(c.model_detail.value);
    float s = clampf(100 - model_detail, 0, 100) * 0.02f;
    t.model_lod_scale = s > 1 ? s * s * s : s;
    t.model_lod_bias = clampf((model_detail - 10) * 0.05f, 0, 1) * -50 + 50;
    t.roost_frequency = int(c.roost_density.value);
    t.texture_compress = c.texture_compress.selected;
    t.reflections = c.reflections.selected == 1;
    return t;
}

Options options_from_config(const Config& c) {
    Options o;
    o.width = c.xres;
    o.height = c.yres;
    o.draw_fps = c.draw_fps;
    o.draw_time = c.draw_time;
    o.draw_ping = c.draw_ping;
    o.draw_speed = c.draw_speed;
    return o;
}

namespace {
// The argument cursor the matchers walk.
struct Cursor {
    int argc;
    const char* const* argv;
    int pos = 1;
    bool end_of_options = false;
    const char* cur() const { return argv[pos]; }
};

bool match_flag(Cursor& c, const char* name) {
    if (c.end_of_options || std::strcmp(c.cur(), name) != 0) return false;
    c.pos++;
    return true;
}

enum ValueMatch { NO_MATCH, MATCHED, MISSING };
// "name value" or "name=value".
ValueMatch match_value(Cursor& c, const char* name, const char*& value) {
    if (c.end_of_options) return NO_MATCH;
    const char* a = c.cur();
    size_t n = std::strlen(name);
    if (std::strncmp(a, name, n) != 0) return NO_MATCH;
    if (a[n] == '=') {
        value = a + n + 1;
        c.pos++;
        return MATCHED;
    }
    if (a[n] != 0) return NO_MATCH;
    if (c.pos + 1 >= c.argc) {
        c.pos++;
        return MISSING;
    }
    value = c.argv[c.pos + 1];
    c.pos += 2;
    return MATCHED;
}

bool trailing_blank(const char* end) {
    while (*end == ' ' || *end == '\t') end++;
    return *end == 0;
}
// A whole decimal integer.
bool parse_int(const char* s, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || !trailing_blank(end) || errno == ERANGE || v < -2147483647L || v > 2147483647L) return false;
    out = int(v);
    return true;
}
// A whole finite number.
bool parse_real(const char* s, double& out) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || !trailing_blank(end) || !std::isfinite(v)) return false;
    out = v;
    return true;
}
// The leading integer, as the C library's scanf reads it; false leaves out.
void scan_int(const char* s, int& out) {
    int v;
    if (std::sscanf(s, "%d", &v) == 1) out = v;
}

OptionStatus bad_arg(const char* name) {
    std::fprintf(stderr, "Bad arg for %s\n", name);
    return OPTIONS_BAD;
}

// Options taking a value. Returns OPTIONS_OK when matched and handled, sets
// matched; OPTIONS_BAD on a bad value.
OptionStatus value_option(Cursor& c, Options& o, RenderTuning& t, bool& matched) {
    const char* v = nullptr;
    const char* name = nullptr;
    auto is = [&](const char* n) {
        if (matched) return false;
        ValueMatch m = match_value(c, n, v);
        if (m == NO_MATCH) return false;
        matched = true;
        name = n;
        if (m == MISSING) v = nullptr;
        return true;
    };
    int i = 0;
    double d = 0;
    if (is("--texture-detail")) {
        if (!v || !parse_int(v, i)) return bad_arg(name);
        t.ground_texture_reduction = t.model_texture_reduction = i < 0 ? 0 : i > 4 ? 4 : i;
    } else if (is("--ground-texture-detail")) {
        if (!v || !parse_int(v, i)) return bad_arg(name);
        t.ground_texture_reduction = i < 0 ? 0 : i > 4 ? 4 : i;
    } else if (is("--roostfrequency")) {
        if (!v || !parse_int(v, i)) return bad_arg(name);
        t.roost_frequency = i < 0 ? 0 : i > 1000 ? 1000 : i;
    } else if (is("--erode")) {
        if (!v || !parse_real(v, d)) return bad_arg(name);
        o.erode_given = true;
        o.erosion_rate = int(std::floor(clampd(d, 0, 100) * 1024));
    } else if (is("--detail")) {
        // The grid spacing factor: it must be positive.
        if (!v || !parse_real(v, d) || !(d > 0)) return bad_arg(name);
        t.ground_grid_detail = float(d);
    } else if (is("--max-detail-distance")) {
        if (!v || !parse_real(v, d)) return bad_arg(name);
        t.detail_distance = float(d);
        t.detail_fade_distance = float(d + 5);
    } else if (is("--lod-scale")) {
        if (!v || !parse_real(v, d)) return bad_arg(name);
        t.model_lod_scale = float(clampd(d, 0.000001, 1000000));
    } else if (is("--lod-bias")) {
        if (!v || !parse_real(v, d)) return bad_arg(name);
        t.model_lod_bias = float(d);
    } else if (is("--lock-fps")) {
        if (!v || !parse_real(v, d) || d < 0) return bad_arg(name);
        o.lock_fps = float(d);
    } else if (is("--fake-lag")) {
        if (!v || !parse_real(v, d)) return bad_arg(name);
        o.fake_lag = clampd(d * 0.001, 0, 1);
    } else if (is("--fake-loss")) {
        if (!v || !parse_int(v, i)) return bad_arg(name);
        o.fake_loss = i < 0 ? 0 : i > 100 ? 100 : i;
    } else if (is("--record-audio")) {
        if (!v || !*v) return bad_arg(name);
        o.record_audio = v;
    } else if (is("--rotate-lineup")) {
        if (!v) return bad_arg(name);
        scan_int(v, o.rotate_lineup);
    } else if (is("--bikes")) {
        if (!v) return bad_arg(name);
        std::fputs("--bikes doesn't do anything anymore\n", stderr);
    } else if (is("--width") || is("--height")) {
        if (!v) return bad_arg(name);
        scan_int(v, name[2] == 'w' ? o.width : o.height);
    } else if (is("--depth") || is("--zdepth")) {
        if (!v) return bad_arg(name);
        (name[2] == 'd' ? o.depth : o.zdepth) = std::atoi(v);
    } else if (is("--draw-fps") || is("--draw-time") || is("--draw-ping") || is("--draw-speed") ||
               is("--draw-render-stats")) {
        if (!v) return bad_arg(name);
        int* target = !std::strcmp(name, "--draw-fps")    ? &o.draw_fps
                      : !std::strcmp(name, "--draw-time")  ? &o.draw_time
                      : !std::strcmp(name, "--draw-ping")  ? &o.draw_ping
                      : !std::strcmp(name, "--draw-speed") ? &o.draw_speed
                                                           : &o.draw_render_stats;
        scan_int(v, *target);
    } else if (is("--track")) {
        if (!v) return bad_arg(name);
        o.track = v;
    } else if (is("--connect")) {
        if (!v) return bad_arg(name);
        if (std::strncmp(v, "rutline:", 8) == 0) v += 8;
        o.connect = v;
        o.connect_given = true;
    } else if (is("--password")) {
        if (!v) return bad_arg(name);
        o.password = v;
    } else if (is("--chase-center")) {
        Vec3 cc;
        if (!v || std::sscanf(v, "%f,%f,%f", &cc.x, &cc.y, &cc.z) != 3) return bad_arg(name);
        o.chase_center = cc;
    }
    return OPTIONS_OK;
}

bool flag_option(Cursor& c, Options& o) {
    struct Flag {
        const char* name;
        bool Options::*field;
    };
    static const Flag flags[] = {
        {"--fugly", &Options::fugly},           {"--nosound", &Options::nosound},
        {"--novertexarrays", &Options::novertexarrays}, {"--practice", &Options::practice},
        {"--warp", &Options::warp},             {"--record-video", &Options::record_video},
        {"--editor", &Options::editor},         {"--hidden-pause", &Options::hidden_pause},
        {"--hidden-hud", &Options::hidden_hud}, {"--accurate-skip", &Options::accurate_skip},
        {"--open-home", &Options::open_home},   {"--glfinish", &Options::glfinish},
        {"--print-orientation", &Options::print_orientation},
    };
    for (const Flag& f : flags)
        if (match_flag(c, f.name)) {
            o.*f.field = true;
            return true;
        }
    if (match_flag(c, "--learn")) o.learn = 1;
    else if (match_flag(c, "--nolearn")) o.learn = 0;
    else if (match_flag(c, "--debug")) o.verbose = 1;
    else if (match_flag(c, "--super-debug")) o.verbose = 2;
    else if (match_flag(c, "--nommx")) {
    } else return false;
    return true;
}
}  // namespace

OptionStatus parse_options(int argc, const char* const* argv, Options& o, RenderTuning& t) {
    Cursor c{argc, argv};
    while (c.pos < argc) {
        if (!c.end_of_options && std::strcmp(c.cur(), "--") == 0) {
            c.end_of_options = true;
            c.pos++;
            continue;
        }
        if (flag_option(c, o)) {
            if (o.open_home) return OPTIONS_OPEN_HOME;
            continue;
        }
        bool matched = false;
        if (value_option(c, o, t, matched) == OPTIONS_BAD) return OPTIONS_BAD;
        if (matched) continue;
        const char* a = c.cur();
        c.pos++;
        if (a[0] == '-' && !c.end_of_options) {
            std::fprintf(stderr, "bad option '%s'\n", a);
            return OPTIONS_BAD;
        }
        if (!o.file.empty()) {
            std::fputs("Too many files!\n", stderr);
            return OPTIONS_BAD;
        }
        o.file = a;
    }
    return OPTIONS_OK;
}
