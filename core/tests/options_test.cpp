#include "core/core.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {
struct Parsed {
    OptionStatus status;
    Options o;
    RenderTuning t;
    std::string err;
};
Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "rutline");
    Parsed p;
    testing::internal::CaptureStderr();
    p.status = parse_options(int(args.size()), args.data(), p.o, p.t);
    p.err = testing::internal::GetCapturedStderr();
    return p;
}
}  // namespace

TEST(Options, EveryValueOptionWithAGoodValue) {
    struct Case {
        std::vector<const char*> args;
        std::function<bool(const Parsed&)> check;
    };
    const Case cases[] = {
        {{"--texture-detail", "9"}, [](const Parsed& p) { return p.t.ground_texture_reduction == 4 && p.t.model_texture_reduction == 4; }},
        {{"--texture-detail=-3"}, [](const Parsed& p) { return p.t.ground_texture_reduction == 0 && p.t.model_texture_reduction == 0; }},
        {{"--ground-texture-detail", "2"}, [](const Parsed& p) { return p.t.ground_texture_reduction == 2; }},
        {{"--roostfrequency", "5000"}, [](const Parsed& p) { return p.t.roost_frequency == 1000; }},
        {{"--erode", "0.5"}, [](const Parsed& p) { return p.o.erode_given && p.o.erosion_rate == 512; }},
        {{"--erode", "500"}, [](const Parsed& p) { return p.o.erosion_rate == 102400; }},
        {{"--detail", "0.25"}, [](const Parsed& p) { return p.t.ground_grid_detail == 0.25f; }},
        {{"--max-detail-distance=100"}, [](const Parsed& p) { return p.t.detail_distance == 100 && p.t.detail_fade_distance == 105; }},
        {{"--lod-scale", "0"}, [](const Parsed& p) { return p.t.model_lod_scale == 0.000001f; }},
        {{"--lod-bias", "-7.5"}, [](const Parsed& p) { return p.t.model_lod_bias == -7.5f; }},
        {{"--lock-fps", "30"}, [](const Parsed& p) { return p.o.lock_fps == 30; }},
        {{"--fake-lag", "250"}, [](const Parsed& p) { return std::abs(p.o.fake_lag - 0.25) < 1e-12; }},
        {{"--fake-lag", "5000"}, [](const Parsed& p) { return p.o.fake_lag == 1; }},
        {{"--fake-loss", "150"}, [](const Parsed& p) { return p.o.fake_loss == 100; }},
        {{"--record-audio", "out.raw"}, [](const Parsed& p) { return p.o.record_audio == "out.raw"; }},
        {{"--rotate-lineup", "3"}, [](const Parsed& p) { return p.o.rotate_lineup == 3; }},
        {{"--rotate-lineup", "x"}, [](const Parsed& p) { return p.o.rotate_lineup == 0; }},
        {{"--width", "800", "--height=600"}, [](const Parsed& p) { return p.o.width == 800 && p.o.height == 600; }},
        {{"--width", "wide"}, [](const Parsed& p) { return p.o.width == 640; }},
        {{"--depth", "32", "--zdepth", "abc"}, [](const Parsed& p) { return p.o.depth == 32 && p.o.zdepth == 0; }},
        {{"--draw-fps", "1", "--draw-time=1", "--draw-ping", "1", "--draw-speed", "1", "--draw-render-stats", "1"},
         [](const Parsed& p) { return p.o.draw_fps + p.o.draw_time + p.o.draw_ping + p.o.draw_speed + p.o.draw_render_stats == 5; }},
        {{"--track", "veviredoze"}, [](const Parsed& p) { return p.o.track == "veviredoze"; }},
        {{"--connect", "rutline:host"}, [](const Parsed& p) { return p.o.connect == "host" && p.o.connect_given; }},
        {{"--connect=other:19800"}, [](const Parsed& p) { return p.o.connect == "other:19800"; }},
        {{"--password", "pw"}, [](const Parsed& p) { return p.o.password == "pw"; }},
        {{"--chase-center", "1,2,3"}, [](const Parsed& p) { return p.o.chase_center.x == 1 && p.o.chase_center.z == 3; }},
        {{"--bikes", "5"}, [](const Parsed& p) { return p.err == "--bikes doesn't do anything anymore\n"; }},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_EQ(p.status, OPTIONS_OK) << c.args[0] << " " << p.err;
        EXPECT_TRUE(c.check(p)) << c.args[0];
    }
}

TEST(Options, EveryValueOptionWithABadValue) {
    const char* names[] = {"--texture-detail", "--ground-texture-detail", "--roostfrequency", "--erode",
                           "--detail", "--max-detail-distance", "--lod-scale", "--lod-bias", "--lock-fps",
                           "--fake-lag", "--fake-loss", "--chase-center"};
    for (const char* n : names) {
        Parsed p = parse({n, "bogus"});
        EXPECT_EQ(p.status, OPTIONS_BAD) << n;
        EXPECT_EQ(p.err, std::string("Bad arg for ") + n + "\n");
    }
    EXPECT_EQ(parse({"--chase-center", "1,2"}).status, OPTIONS_BAD);
    EXPECT_EQ(parse({"--erode", "nan"}).status, OPTIONS_BAD);
    EXPECT_EQ(parse({"--lock-fps", "-5"}).status, OPTIONS_BAD);
}

TEST(Options, ValueOptionGivenLastIsABadValue) {
    for (const char* n : {"--texture-detail", "--track", "--connect", "--width", "--record-audio", "--bikes"}) {
        Parsed p = parse({"--fugly", n});
        EXPECT_EQ(p.status, OPTIONS_BAD) << n;
        EXPECT_EQ(p.err, std::string("Bad arg for ") + n + "\n");
    }
}

TEST(Options, FlagsFilesAndTheEndOfOptions) {
    Parsed p = parse({"--fugly", "--nosound", "--novertexarrays", "--nolearn", "--nommx", "--super-debug",
                      "--practice", "--warp", "--record-video", "--editor", "--hidden-pause", "--hidden-hud",
                      "--accurate-skip", "--glfinish", "--print-orientation", "race.qzdemo"});
    EXPECT_EQ(p.status, OPTIONS_OK);
    EXPECT_TRUE(p.o.fugly && p.o.nosound && p.o.novertexarrays && p.o.practice && p.o.warp && p.o.record_video &&
                p.o.editor && p.o.hidden_pause && p.o.hidden_hud && p.o.accurate_skip && p.o.glfinish &&
                p.o.print_orientation);
    EXPECT_EQ(p.o.learn, 0);
    EXPECT_EQ(p.o.verbose, 2);
    EXPECT_EQ(p.o.file, "race.qzdemo");

    p = parse({"--frobnicate"});
    EXPECT_EQ(p.status, OPTIONS_BAD);
    EXPECT_EQ(p.err, "bad option '--frobnicate'\n");

    p = parse({"one.qzdemo", "two.qzdemo"});
    EXPECT_EQ(p.status, OPTIONS_BAD);
    EXPECT_EQ(p.err, "Too many files!\n");

    p = parse({"--", "-minus.qzdemo"});
    EXPECT_EQ(p.status, OPTIONS_OK) << p.err;
    EXPECT_EQ(p.o.file, "-minus.qzdemo");

    p = parse({"--", "--fugly"});  // no option matches after "--"
    EXPECT_FALSE(p.o.fugly);
    EXPECT_EQ(p.o.file, "--fugly");

    EXPECT_EQ(parse({"--debug", "--open-home"}).status, OPTIONS_OPEN_HOME);
}

TEST(Options, DerivedRenderingValues) {
    Config c = default_config();
    c.ground_detail.value = 70;
    c.ground_texture_detail.value = 9;
    c.model_texture_detail.value = 9;
    c.ground_texture_dim.selected = 1;
    c.model_detail.value = 50;
    c.roost_density.value = 1000;
    RenderTuning t = derive_render_tuning(c);
    EXPECT_FLOAT_EQ(t.ground_grid_detail, 0.125f / 70);
    EXPECT_EQ(t.ground_texture_reduction, 1);
    EXPECT_EQ(t.model_texture_reduction, 1);
    EXPECT_EQ(t.ground_texture_size, 64);
    EXPECT_FLOAT_EQ(t.model_lod_scale, 1.0f);
    EXPECT_FLOAT_EQ(t.model_lod_bias, 0.0f);  // clamp((50 - 10) * 0.05) = 1
    EXPECT_EQ(t.roost_frequency, 1000);
    c.model_detail.value = 0;  // s = 2, cubed
    c.ground_texture_dim.selected = 3;
    c.ground_texture_detail.value = 10;
    c.ground_detail.value = 0;  // no division by zero
    t = derive_render_tuning(c);
    EXPECT_FLOAT_EQ(t.model_lod_scale, 8.0f);
    EXPECT_FLOAT_EQ(t.model_lod_bias, 50.0f);
    EXPECT_EQ(t.ground_texture_size, 256);
    EXPECT_EQ(t.ground_texture_reduction, 0);
    EXPECT_FLOAT_EQ(t.ground_grid_detail, 0.125f);

    c.xres = 1024;
    c.draw_ping = 0;
    Options o = options_from_config(c);
    EXPECT_EQ(o.width, 1024);
    EXPECT_EQ(o.draw_ping, 0);
}
