#include "core/core.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

namespace {
// A wall clock the test moves: sleeping advances it exactly.
struct FakeClock {
    double t = 100.0;
    Clock clock() {
        return {[this] { return t; }, [this](double s) { t += s; }};
    }
};

// One frame of the loop: timing, the frame's share, the tic loop.
int frame(FrameTiming& ft, FakeClock& fc, const FrameSettings& s, double render_seconds,
          std::deque<std::pair<double, int>>* events = nullptr, std::vector<std::pair<int, int>>* landed = nullptr) {
    fc.t += render_seconds;
    FrameStep step = frame_timing_step(ft, s, fc.clock());
    advance_frame(ft, step.duration);
    int tic = 0;
    int n = run_tic_loop(
        ft, step.now,
        [&](double instant, bool all) {
            if (!events) return;
            while (!events->empty() && (all || events->front().first <= instant)) {
                landed->push_back({events->front().second, tic});
                events->pop_front();
            }
        },
        [&] { tic++; });
    ft.last_frame_time = step.now;
    return n;
}
}  // namespace

TEST(FrameTiming, LongFrameIsCappedAt16Tics) {
    FakeClock fc;
    FrameTiming ft;
    ft.last_frame_time = fc.t;
    EXPECT_EQ(frame(ft, fc, {}, 1.0), 16);
    EXPECT_EQ(ft.histogram[7], 1);  // 1 s is 128 tics: the last bucket
    EXPECT_DOUBLE_EQ(ft.longest, 0.125);
    // A quick frame sleeps up to one tic and runs exactly one.
    EXPECT_EQ(frame(ft, fc, {}, 0.001), 1);
    EXPECT_EQ(ft.histogram[0], 1);
}

TEST(FrameTiming, LockFpsAndWarp) {
    FakeClock fc;
    FrameTiming ft;
    ft.last_frame_time = fc.t;
    FrameSettings lock{30, false, false};
    int total = 0;
    for (int i = 0; i < 30; i++) total += frame(ft, fc, lock, i % 3 ? 0.001 : 0.05);
    EXPECT_NEAR(total, 128, 1);

    // A tiny rate still never runs more than 16 tics a frame, nor sleeps longer.
    FrameTiming tiny;
    tiny.last_frame_time = fc.t;
    double before = fc.t;
    EXPECT_EQ(frame(tiny, fc, {0.001f, false, false}, 0), 16);
    EXPECT_LE(fc.t - before, 0.125 + 1e-9);

    FrameTiming warp;
    warp.last_frame_time = fc.t;
    EXPECT_EQ(frame(warp, fc, {0, true, false}, 0.002), 100);
    EXPECT_EQ(frame(warp, fc, {0, true, false}, 0.5), 100);
}

TEST(FrameTiming, EventsLandInTheTicTheyPrecede) {
    FakeClock fc;
    FrameTiming ft;
    ft.last_frame_time = fc.t;
    // The frame ends at t0 + 0.125 and covers 16 tics ending then: tic k
    // (0-based) stands for the instant t0 + (k + 1) / 128.
    double t0 = fc.t;
    std::deque<std::pair<double, int>> events = {
        {t0 + 0.5 / 128, 0}, {t0 + 1.0 / 128, 1}, {t0 + 1.5 / 128, 2}, {t0 + 10.2 / 128, 3}, {t0 + 0.2, 4}};
    std::vector<std::pair<int, int>> landed;
    EXPECT_EQ(frame(ft, fc, {}, 0.125, &events, &landed), 16);
    // The last tic's instant is now: everything still pending is taken.
    std::vector<std::pair<int, int>> expect = {{0, 0}, {1, 0}, {2, 1}, {3, 10}, {4, 15}};
    EXPECT_EQ(landed, expect);
    EXPECT_TRUE(events.empty());
}

TEST(FrameTiming, NetworkScaling) {
    double tic = TIC_SECONDS;
    EXPECT_DOUBLE_EQ(net_time_scale(0.01, 1000, 1001, 0), 0.01);       // in step
    EXPECT_DOUBLE_EQ(net_time_scale(0.01, 1000, 800, 0), 0.005);        // far ahead: half speed
    EXPECT_DOUBLE_EQ(net_time_scale(0.01, 10, 400, 1700), 0.04);        // behind before the start: 4x
    EXPECT_DOUBLE_EQ(net_time_scale(0.01, 2000, 2100, 1700), 0.01125);  // behind in the race: 1.125x
    EXPECT_NEAR(net_time_scale(1.0, 2000, 2002, 1700), 1 + 8 * tic * 0.125, 1e-12);
}

TEST(Controls, ApplyingTheControls) {
    std::map<BikeInput, float> set;
    float clutch = 0;
    BikeInputHooks bike{[&](int, BikeInput in, float v) {
                            set[in] = v;
                            if (in == INPUT_CLUTCH) clutch = v;
                        },
                        [&](int) { return clutch; }};
    ControlState st;
    ControlSettings s;
    s.reverse_steering = true;
    s.sticky_dab = true;
    ControlVector c;
    c.v[CONTROL_STEER] = 0.5f;
    c.v[CONTROL_SHIFT] = 0.6f;
    c.v[CONTROL_SIT_DAB] = 1;
    apply_controls(st, c, s, 0, bike, {});
    EXPECT_FLOAT_EQ(set[INPUT_STEER], -0.5f);
    EXPECT_FLOAT_EQ(set[INPUT_GEAR], 1);
    EXPECT_FLOAT_EQ(set[INPUT_SIT_DAB], 1);       // rising edge: on
    EXPECT_FLOAT_EQ(clutch, 4 * float(TIC_SECONDS));  // engaging from 0
    apply_controls(st, c, s, 0, bike, {});
    EXPECT_FLOAT_EQ(set[INPUT_SIT_DAB], 1);       // held: stays
    c.v[CONTROL_SIT_DAB] = 0;
    apply_controls(st, c, s, 0, bike, {});
    c.v[CONTROL_SIT_DAB] = 1;
    apply_controls(st, c, s, 0, bike, {});
    EXPECT_FLOAT_EQ(set[INPUT_SIT_DAB], 0);       // second rising edge: off
    for (int i = 0; i < 40; i++) apply_controls(st, c, s, 0, bike, {});
    EXPECT_FLOAT_EQ(clutch, 1);                   // full engagement after 0.25 s
    c.v[CONTROL_CLUTCH] = 0.5f;
    apply_controls(st, c, s, 0, bike, {});
    EXPECT_FLOAT_EQ(clutch, 1 - 0.5f * 8 / 7);    // letting out is immediate

    // Time-trial abort: once per press of back up.
    int restarts = 0;
    s.time_trial = s.time_trial_abort = true;
    c.v[CONTROL_BACK_UP] = 1;
    apply_controls(st, c, s, 0, bike, [&] { restarts++; });
    apply_controls(st, c, s, 0, bike, [&] { restarts++; });
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(st.restart_depth, 3);
    c.v[CONTROL_BACK_UP] = 0;
    c.v[CONTROL_THROTTLE] = 1;
    apply_controls(st, c, s, 0, bike, [&] { restarts++; });
    c.v[CONTROL_BACK_UP] = 1;
    apply_controls(st, c, s, 0, bike, [&] { restarts++; });
    EXPECT_EQ(restarts, 2);
}

TEST(Controls, PreviousAndNextBike) {
    std::vector<int> order = {7, 3, 12};
    EXPECT_EQ(step_viewed_slot(order, 3, 1), 12);
    EXPECT_EQ(step_viewed_slot(order, 12, 1), 12);  // not past the last
    EXPECT_EQ(step_viewed_slot(order, 7, -1), 7);   // not before the first
    EXPECT_EQ(step_viewed_slot(order, 3, -1), 7);
    // The viewed slot is not in the order: the first entry, never index -1.
    EXPECT_EQ(step_viewed_slot(order, 99, -1), 7);
    EXPECT_EQ(step_viewed_slot(order, 99, 1), 7);
    EXPECT_EQ(step_viewed_slot({}, 5, 1), 5);
}

TEST(Controls, ChaseOrbitAndViewModes) {
    ChaseCamera cam;
    ControlVector c;
    c.v[CONTROL_STEER] = 1;
    c.v[CONTROL_THROTTLE] = 1;
    for (int i = 0; i < 1024; i++) chase_controls(cam, c);
    EXPECT_NEAR(std::abs(cam.angle), 0, 1e-3);   // two half turns wrap round
    EXPECT_FLOAT_EQ(cam.distance, 0.25f);        // never closer

    EXPECT_EQ(next_view_mode(ViewMode::RIDER, true), ViewMode::EDITOR);
    EXPECT_EQ(next_view_mode(ViewMode::RIDER, false), ViewMode::CHASE);
    EXPECT_EQ(next_view_mode(ViewMode::CHASE, false), ViewMode::TRACKSIDE);
    EXPECT_EQ(next_view_mode(ViewMode::TRACKSIDE, false), ViewMode::RIDER);
    EXPECT_EQ(next_view_mode(ViewMode::NO_TRACK, false), ViewMode::RIDER);

    EXPECT_EQ(select_view_mode(ViewMode::NO_TRACK, {true, true, false, false}), ViewMode::RIDER);
    EXPECT_EQ(select_view_mode(ViewMode::NO_TRACK, {true, false, false, false}), ViewMode::TRACKSIDE);
    EXPECT_EQ(select_view_mode(ViewMode::TRACKSIDE, {true, true, true, false}), ViewMode::RIDER);
    EXPECT_EQ(select_view_mode(ViewMode::TRACKSIDE, {true, true, true, true}), ViewMode::TRACKSIDE);  // spy
    EXPECT_EQ(select_view_mode(ViewMode::CHASE, {true, true, true, false}), ViewMode::CHASE);
    EXPECT_EQ(select_view_mode(ViewMode::RIDER, {true, false, false, false}), ViewMode::TRACKSIDE);
    EXPECT_EQ(select_view_mode(ViewMode::RIDER, {false, true, true, false}), ViewMode::NO_TRACK);

    EXPECT_EQ(engine_sound_factor(false, ViewMode::RIDER, false, true), 1);
    EXPECT_EQ(engine_sound_factor(false, ViewMode::RIDER, true, true), 0);
    EXPECT_EQ(engine_sound_factor(false, ViewMode::RIDER, true, false), 0.25f);
    EXPECT_EQ(engine_sound_factor(true, ViewMode::RIDER, false, true), 0);
}

TEST(SetupReport, LettersOfChangedParameters) {
    ASSERT_EQ(std::string(WATCHED_SETUP_LETTERS).size(), size_t(WATCHED_SETUP_COUNT));
    SetupWatch w;
    std::array<float, WATCHED_SETUP_COUNT> v{};
    EXPECT_EQ(setup_change_report(w, 0, v), "");
    v[0] = 1;   // Leveling
    v[22] = 3;  // Fork High Speed Compression Damping
    v[39] = 2;  // Rider Mass Distribution
    EXPECT_EQ(setup_change_report(w, 4.9, v), "");  // not yet time
    EXPECT_EQ(setup_change_report(w, 5.0, v), "[SPAM] Setup change l---------------------C----------------m\n");
    EXPECT_EQ(setup_change_report(w, 10.0, v), "");  // recorded: no change since
}

TEST(Warp, RotatingTheStartList) {
    StartList l{};
    l[0] = 1;
    l[159] = 2;
    StartList r = rotate_start_list(l);
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(r[0], 2);
}

TEST(Controls, TracksideCamerasScreenshotsAndStutter) {
    TracksideControl t;
    ControlVector c;
    c.v[CONTROL_SIT_DAB] = 1;
    c.v[CONTROL_THROTTLE] = 1;
    float moved = 0;
    for (int i = 0; i < 2 * 128; i++) moved += trackside_controls(t, c);
    EXPECT_TRUE(t.auto_switch);  // one rising edge
    EXPECT_NEAR(t.zoom_velocity, 2 * (80 - 60), 0.01);
    EXPECT_GT(moved, 0);
    c = ControlVector{};
    for (int i = 0; i < 128; i++) trackside_controls(t, c);
    EXPECT_FLOAT_EQ(t.zoom_velocity, 0);  // decays to rest

    EXPECT_EQ(camera_for_digit(0, 3), -1);  // the free camera
    EXPECT_EQ(camera_for_digit(2, 3), 1);
    EXPECT_EQ(camera_for_digit(9, 3), 2);
    EXPECT_EQ(camera_for_digit(5, 0), -1);

    EXPECT_EQ(first_screenshot_number({}), 0);
    EXPECT_EQ(first_screenshot_number({"screenshot003.png", "demos/x.qzdemo", "screenshot012.ppm", "screenshotx"}), 13);

    StutterCheck s{0.05, 1.0};
    int before = console_message_count();
    check_stutter(s, 1.01, "draw");
    EXPECT_EQ(console_message_count(), before);
    check_stutter(s, 1.2, "flip");
    EXPECT_EQ(console_message_count(), before + 1);
    EXPECT_NE(std::string(console_last_messages(1)).find("Stutter in flip - 0.19"), std::string::npos);
}

TEST(Warp, RestartWhenTheLeaderReachesTheFinishLap) {
    struct Case {
        int gates, first, normal, finish;
        bool due;
    } cases[] = {{4, 5, 4, 1, false}, {5, 5, 4, 1, true}, {8, 5, 4, 2, false}, {9, 5, 4, 2, true},
                 {50, 5, 0, 1, false}};  // no normal lap: never a lap, no division by zero
    for (const Case& c : cases) EXPECT_EQ(warp_restart_due(c.gates, c.first, c.normal, c.finish), c.due) << c.gates;
}

TEST(Startup, ServerHistoryPush) {
    std::array<std::string, SERVER_HISTORY_COUNT> h{};
    push_server_history(h, "a");
    push_server_history(h, "a");
    push_server_history(h, "");
    push_server_history(h, "b");
    EXPECT_EQ(h[0], "b");
    EXPECT_EQ(h[1], "a");
    EXPECT_EQ(h[2], "");
    for (int i = 0; i < 20; i++) push_server_history(h, "s" + std::to_string(i));
    EXPECT_EQ(h[0], "s19");
    EXPECT_EQ(h[15], "s4");
}
