// The suspension, steering, drivetrain and aid formulas against worked values.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "physics/ride_local.h"

namespace {

constexpr float DEG = 0.017453292519943295f;
// The built-in linkage: travel at knot, at full stroke, maximum angle, knot,
// slopes at 0, knot and full stroke.
constexpr float LINK[7] = {0.28365156f, 0.41338584f, 0.53030413f, 0.75f,
                           0.31503919f, 0.46047905f, 0.60704893f};

TEST(RideDamping, WorkedValues) {
    struct Case {
        float v, kc, cc, kr, cr, want;
    } cases[] = {
        {-1, 60, -60, 30, 30, 7.5f},    // low-speed term would cancel: kept at a/8
        {-1, 60, 60, 30, 30, 120},      // shifted up, inside 8a
        {-0.01f, 60, 60, 30, 30, 4.8f}, // capped at 8a
        {0, 60, 60, 30, 30, 0},         // at rest: nothing
        {1, 60, 60, 30, 30, -60},       // rebound a = −30, minus 30
        {1, 60, 60, 30, -60, -3.75f},   // rebound kept at a/8
    };
    for (const Case& c : cases)
        EXPECT_NEAR(damping_force(c.v, c.kc, c.cc, c.kr, c.cr), c.want, 1e-4) << c.v << " " << c.cc;
}

TEST(RideFork, AirSpringAndTopOut) {
    EXPECT_NEAR(air_spring_force(-1, 0.41666666f, 1), 375.0f, 1.0f);
    EXPECT_NEAR(air_spring_force(-1, 0.25f, 1), 702.0f, 1.0f);
    EXPECT_NEAR(air_spring_force(-5, 0.25f, 1), air_spring_force(-1, 0.25f, 1), 1e-3);  // capped
    EXPECT_EQ(air_spring_force(0, 0.25f, 1), 0.0f);

    BikeTuning t;
    t.fork_spring_rate = 500, t.fork_preload = 0.05f, t.fork_air_gap = 0.3f;
    t.fork_compression = 60, t.fork_slow_compression = 60, t.fork_rebound = 30, t.fork_slow_rebound = 30;
    EXPECT_EQ(fork_force(t, 1, 0, 0), 0.0f);  // fully extended: no force whatever the spring says
    float x = -1.0f / 64;
    float unfaded = 500 * (0.05f - x) + air_spring_force(x, 0.3f, 1);
    EXPECT_NEAR(fork_force(t, 1, x, 0), 0.5f * unfaded, 1e-3);
    EXPECT_NEAR(fork_force(t, 1, -0.5f, 0), 500 * 0.55f + air_spring_force(-0.5f, 0.3f, 1), 1e-3);
}

TEST(RideShock, LinkageCurve) {
    struct Case {
        float u, s, r;
    } cases[] = {
        {0, 0, 0.31503919f},
        {0.75f, 0.283652f, 0.460479f},
        {1, 0.41338584f, 0.60704893f},
    };
    for (const Case& c : cases) {
        LinkagePoint p = linkage_at(LINK, c.u);
        EXPECT_NEAR(p.s, c.s, 1e-5) << c.u;
        EXPECT_NEAR(p.r, c.r, 1e-5) << c.u;
    }
    // The curve is continuous and rising across the knot.
    LinkagePoint a = linkage_at(LINK, 0.7499f), b = linkage_at(LINK, 0.7501f);
    EXPECT_NEAR(a.s, b.s, 1e-4);
    EXPECT_NEAR(a.r, b.r, 1e-3);

    BikeTuning t;
    t.shock_spring_rate = 3000, t.shock_preload = 0.1f;
    EXPECT_EQ(shock_force(t, LINK, 0, 0), 0.0f);  // fully extended: faded out
    float theta = -0.75f * LINK[2];
    EXPECT_NEAR(shock_force(t, LINK, theta, 0), 0.460479f * 3000 * (0.1f + 0.283652f), 0.5f);
}

TEST(RideSteering, LockAngle) {
    BikeTuning t;  // restricted lock 5°, full lock 10 ft/s, restricted 50 ft/s
    struct Case {
        float mu, speed, want_deg;
    } cases[] = {
        {0.5f, 60, 10},   // widened on slippery ground
        {0.1f, 60, 40},   // the division uses 0.125
        {1.0f, 60, 5},
        {1.0f, 5, 45},    // full lock at walking pace
        {1.0f, 10, 45},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(lock_angle(t, c.mu, c.speed) / DEG, c.want_deg, 1e-3) << c.mu << " " << c.speed;
    float mid = lock_angle(t, 1.0f, 25) / DEG;
    EXPECT_GT(mid, 5);
    EXPECT_LT(mid, 45);
}

TEST(RideSteering, ZeroRestrictedLockStaysFinite) {
    BikeTuning t;
    t.restricted_lock = 0;
    float lock = lock_angle(t, 1.0f, 80);
    EXPECT_EQ(lock, 0.0f);
    for (float beta : {-0.2f, 0.0f, 0.2f})
        for (float lean : {-0.3f, 0.3f}) {
            float a = steer_limit_amount_of(80, lock, lean, beta, 0);
            EXPECT_TRUE(std::isfinite(a)) << beta << " " << lean;
            EXPECT_GE(a, 0.0f);
            EXPECT_LE(a, 1.0f);
        }
    // Sliding outwards past a zero lock is being at the limit.
    EXPECT_EQ(steer_limit_amount_of(80, lock, -0.3f, 0.2f, 0), 1.0f);
    TorqueLimits lim = steering_limits(400, lock, 0.2f, 80, 0);
    EXPECT_TRUE(std::isfinite(lim.lo) && std::isfinite(lim.hi));
}

TEST(RideSteering, TorqueLimitsWhenSlidingPastLock) {
    float lock = 10 * DEG;
    TorqueLimits free = steering_limits(400, lock, 0.5f, 0.5f, 0);  // too slow: no limit
    EXPECT_EQ(free.lo, -400.0f);
    EXPECT_EQ(free.hi, 400.0f);
    TorqueLimits air = steering_limits(400, lock, 0.5f, 30, 0.6f);  // wheel high above ground
    EXPECT_EQ(air.lo, -400.0f);
    TorqueLimits past = steering_limits(400, lock, 0.5f, 30, 0);  // far past the lock
    EXPECT_NEAR(past.lo, 100, 1e-3);
    EXPECT_EQ(past.hi, 400.0f);
    TorqueLimits other = steering_limits(400, lock, -0.5f, 30, 0);
    EXPECT_NEAR(other.hi, -100, 1e-3);
    EXPECT_EQ(other.lo, -400.0f);
}

TEST(RideSteering, LeanRateControllerOffWithDirectSteering) {
    BikeTuning t;
    t.direct_steering = 1;
    EXPECT_EQ(lean_rate_input(t, 0.7f, 0.3f, -1.0f, 52.5f), 52.5f);
    t.direct_steering = 0;
    // Rolling too fast to the left (positive roll rate) while asked upright: full opposite torque.
    EXPECT_NEAR(lean_rate_input(t, 0, 0, 2.0f, 0), t.steering_strength, 1e-4);
}

TEST(RideSteering, LandingDamping) {
    BikeTuning t;  // factor 2, ramp-up 1/16 s, fall-off 1/4 s
    float d = 1;
    for (int i = 0; i < 4; i++) d = landing_damping_in_air(t, d);
    EXPECT_NEAR(d, 1.5f, 1e-5);
    for (int i = 0; i < 8; i++) d = landing_damping_in_air(t, d);
    EXPECT_EQ(d, 2.0f);
    d = landing_damping_rolling(t, d);
    EXPECT_NEAR(d, 2.0f - 1.0f / 32, 1e-5);
    t.land_damping_rampup = 0, t.land_damping_falloff = 0;
    EXPECT_EQ(landing_damping_in_air(t, 1), 2.0f);
    EXPECT_EQ(landing_damping_rolling(t, 2), 1.0f);
}

// A four-stroke closed-throttle table and a simple full-throttle table.
void four_stroke_tables(float closed[50], float full[50]) {
    const float start[4] = {2, 2, 1, 0};
    for (int i = 0; i < 50; i++) {
        closed[i] = i < 4 ? start[i] : -(float)((i - 4) / 2 + 1);
        full[i] = i <= 26 ? 5 + i * 0.5f : (i == 27 ? 0 : -13 - (i - 28) * 0.5f);
    }
}

TEST(RideEngine, TorqueTable) {
    float closed[50], full[50];
    four_stroke_tables(closed, full);
    EXPECT_NEAR(table_torque(closed, full, 1250, 0), 0.5f, 1e-5);
    EXPECT_NEAR(table_torque(closed, full, 1000, 0.5f), (1 + full[2]) / 2, 1e-5);
    EXPECT_EQ(table_torque(closed, full, 30000, 1), full[49]);  // reads the last entries
    EXPECT_EQ(table_torque(closed, full, -100, 0), closed[0]);
}

TEST(RideEngine, IdlesNear1500WithClutchIn) {
    float closed[50], full[50];
    four_stroke_tables(closed, full);
    DriveInputs in{};
    in.ratio = 2.14286f * 3.16667f * 51 / 13.0f;
    in.clutch = 0, in.auto_clutch_rpms = 5000;
    in.stiffness = 7500, in.damping = 0.75f, in.inertia = 0.0048828125f;
    for (int i = 0; i < 128 * 10; i++) {
        in.engine_torque = table_torque(closed, full, in.engine_speed * (float)RPM_PER_RAD_S, 0);
        DriveResult r = drive_step(in);
        EXPECT_EQ(r.torque, 0.0f);  // clutch out: nothing reaches the wheel
        in.engine_speed = r.engine_speed, in.engine_angle = r.engine_angle;
    }
    EXPECT_NEAR(in.engine_speed * RPM_PER_RAD_S, 1500, 5);
}

TEST(RideEngine, ClutchWindUpNeverExceedsSlipAngle) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0, 1);
    DriveInputs in{};
    in.ratio = 10, in.auto_clutch_rpms = 0;
    in.stiffness = 7500, in.damping = 0.75f, in.inertia = 0.005f;
    for (int i = 0; i < 5000; i++) {
        in.clutch = u(rng) < 0.2f ? 0 : u(rng);
        in.axle_angle = (u(rng) * 2 - 1) * RIDE_PI;
        in.axle_rate = (u(rng) * 2 - 1) * 60;
        in.engine_torque = (u(rng) * 2 - 1) * 40;
        DriveResult r = drive_step(in);
        ASSERT_LE(std::fabs(r.windup), RIDE_PI / 4 * in.clutch + 1e-5f) << i;
        ASSERT_TRUE(std::isfinite(r.engine_speed));
        if (in.clutch == 0) {
            ASSERT_EQ(r.torque, 0.0f);
        }
        in.engine_speed = r.engine_speed, in.engine_angle = r.engine_angle;
    }
}

TEST(RideEngine, AutoClutchLimitsDriveButNotEngineBraking) {
    DriveInputs in{};
    in.ratio = 10, in.clutch = 1, in.auto_clutch_rpms = 5000;
    in.stiffness = 100, in.damping = 0, in.inertia = 0.005f;
    in.engine_speed = 5500 / (float)RPM_PER_RAD_S;
    in.engine_angle = 0.1f;  // wound up forwards: driving
    DriveResult drive = drive_step(in);
    EXPECT_NEAR(drive.torque, 100 * 0.1f * 0.0625f, 1e-4);
    in.engine_angle = -0.1f;  // wound backwards: engine braking
    DriveResult brake = drive_step(in);
    EXPECT_NEAR(brake.torque, -100 * 0.1f, 1e-4);
}

TEST(RideGears, ManualAndAutomaticShifts) {
    const float five[6] = {2.14f, 1.75f, 1.45f, 1.23f, 1.04f, -1};
    const float gappy[6] = {2.0f, -1, 1.5f, -1, -1, -1};
    struct Case {
        const float* ratios;
        int gear, a, want;
    } manual[] = {
        {five, 0, -1, 0}, {five, 0, 1, 1}, {five, 4, 1, 4},  // no sixth gear: stays in fifth
        {five, 3, -1, 2}, {gappy, 0, 1, 0}, {gappy, 2, 1, 2}, {gappy, 2, -1, 0},
    };
    for (const Case& c : manual)
        EXPECT_EQ(shifted_gear(c.ratios, c.gear, c.a), c.want) << c.gear << " " << c.a;
    EXPECT_EQ(auto_shifted_gear(five, 3, 5000, 6000, 10500), 2);
    EXPECT_EQ(auto_shifted_gear(five, 1, 5000, 6000, 10500), 0);
    EXPECT_EQ(auto_shifted_gear(five, 2, 11000, 6000, 10500), 3);
    EXPECT_EQ(auto_shifted_gear(five, 4, 11000, 6000, 10500), 4);
    EXPECT_EQ(auto_shifted_gear(five, 2, 8000, 6000, 10500), 2);
}

TEST(RideAids, AntilockSwitchesAtSlipSquaredFour) {
    EXPECT_FALSE(antilock_releases({2, 0, 0}));
    EXPECT_FALSE(antilock_releases({0, 1.2f, 1.6f}));  // exactly 4
    EXPECT_TRUE(antilock_releases({2.001f, 0, 0}));
    EXPECT_TRUE(antilock_releases({0, 0, -3}));
}

TEST(RideAids, VelocityHoldAndCrashLimits) {
    EXPECT_EQ(length(velocity_hold_force({0.2f, 0, 0}, {}, 1000)), 0.0f);
    Vec3 f = velocity_hold_force({0, 5, 10}, {}, 1000);  // vertical part ignored, full force
    EXPECT_NEAR(f.z, -1000 * 10 / std::sqrt(125.0f), 1e-2);
    EXPECT_EQ(f.y, 0.0f);

    CrashLimits air = crash_limits(100, 90, 50);
    EXPECT_EQ(air.speed, 46.5f);
    EXPECT_EQ(air.accel, 2064.0f);
    CrashLimits fresh = crash_limits(1000 + 16, 900, 1000);  // 0.9 s flight, landed 1/8 s ago
    EXPECT_NEAR(fresh.speed, 31, 1e-4);
    EXPECT_NEAR(fresh.accel, 1376, 1e-2);
    CrashLimits settled = crash_limits(1000 + 64, 900, 1000);
    EXPECT_NEAR(settled.speed, 46.5f, 1e-4);
}

TEST(RideAids, LeanAndDabThreshold) {
    float a = 0.3f;
    Vec3 up{-std::sin(a), std::cos(a), 0};  // leaning towards the rider's left (−x)
    EXPECT_NEAR(lean_from_points({}, up, {0, 0, -1}), a, 1e-5);
    EXPECT_NEAR(lean_from_points({}, {0, 1, 0}, {0, 0, -1}), 0, 1e-6);
    EXPECT_NEAR(dab_push_threshold(0.785f, 44, 0), 0, 1e-6);
    EXPECT_NEAR(dab_push_threshold(0.785f, 44, 44), 5 * RIDE_PI / 2, 1e-6);
    EXPECT_NEAR(dab_push_threshold(0.785f, 15, 15), 5 * RIDE_PI / 2, 1e-6);
}

}  // namespace
