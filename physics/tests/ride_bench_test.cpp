// Riding on the headless bench: a bike on flat dirt driven by scripted
// controls accelerates, brakes, turns, idles, shifts, crashes and recovers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "physics/physics.h"

namespace {

constexpr float MPH = 1.4666666666666666f;

ControlVector controls(float throttle, float brakes = 0, float steer = 0) {
    ControlVector c;
    c.v[CONTROL_THROTTLE] = throttle;
    c.v[CONTROL_FRONT_BRAKE] = c.v[CONTROL_REAR_BRAKE] = brakes;
    c.v[CONTROL_STEER] = steer;
    return c;
}

// The frame's heading about the vertical, from its forward (−z) axis.
float heading_of(const Bike& b) {
    const dReal* r = dBodyGetRotation(b.bodies[FRAME]);
    return std::atan2((float)-r[2], (float)r[10]);
}

class RideBenchTest : public ::testing::Test {
protected:
    RideBench bench;
    // The rider's default setup with simulation physics, settled for a second.
    void start(const char* model = "crf250(2007)", bool setup = true, float drop = 0) {
        ASSERT_TRUE(start_ride_bench(bench, model, nullptr, drop));
        if (setup) {
            reset_rider_setup();
            read_setup_line("arcade", "No");
            apply_setup(*bench.bike);
        }
        if (drop == 0) run(128, controls(0));
    }
    void run(int tics, const ControlVector& c) {
        for (int i = 0; i < tics; i++) ride_bench_tic(bench, c);
    }
    void run_until(float mph, int max_tics) {
        for (int i = 0; i < max_tics && ride_bench_speed(bench) < mph * MPH; i++) ride_bench_tic(bench, controls(1));
    }
    Bike& bike() { return *bench.bike; }
    void TearDown() override {
        stop_ride_bench(bench);
        reset_rider_setup();
    }
};

TEST_F(RideBenchTest, FullThrottleAcceleratesThroughTheGearsUprightAndStraight) {
    start();
    std::vector<int> shift_tics;
    float max_lean = 0;
    for (int i = 0; i < 128 * 12; i++) {
        int gear = bike().ride.gear;
        ride_bench_tic(bench, controls(1));
        if (bike().ride.gear != gear) shift_tics.push_back(bench.clock.tic - 1);
        max_lean = std::fmax(max_lean, std::fabs(lean_angle(bike())));
    }
    EXPECT_GE(bike().ride.gear, 3);
    EXPECT_GT(ride_bench_speed(bench), 60 * MPH);
    EXPECT_LT(max_lean, 0.05f);
    Vec3 p = ride_bench_frame_position(bench);
    EXPECT_LT(std::fabs(p.x - bench.start.x), 1.0f);
    EXPECT_LT(p.z - bench.start.z, -500.0f);  // forward is −z
    EXPECT_FALSE(rider_crashed(bike()));
    ASSERT_FALSE(shift_tics.empty());
    for (size_t i = 0; i < shift_tics.size(); i++) {
        EXPECT_EQ(shift_tics[i] % 32, 0) << shift_tics[i];
        if (i > 0) {
            EXPECT_GE(shift_tics[i] - shift_tics[i - 1], 32);
        }
    }
}

TEST_F(RideBenchTest, BrakingFrom40MphStops) {
    start();
    run_until(40, 128 * 10);
    Vec3 p0 = ride_bench_frame_position(bench);
    run(128 * 5, controls(0, 1));
    Vec3 p = ride_bench_frame_position(bench);
    EXPECT_LT(ride_bench_speed(bench), 0.5f);
    EXPECT_LT(std::hypot(p.x - p0.x, p.z - p0.z), 100.0f);
    EXPECT_LT(std::fabs(lean_angle(bike())), 0.3f);
    EXPECT_FALSE(rider_crashed(bike()));
}

TEST_F(RideBenchTest, FrontAntilockReleasesWhileTheTireSlips) {
    for (bool antilock : {true, false}) {
        start();
        set_ride_flag(bike(), FLAG_FRONT_ANTILOCK, antilock);
        set_ride_flag(bike(), FLAG_STOPPIE_PREVENTION, false);
        run_until(40, 128 * 10);
        ControlVector front = controls(0);
        front.v[CONTROL_FRONT_BRAKE] = 1;
        int released = 0, slipping_braked = 0;
        for (int i = 0; i < 128 * 2; i++) {
            ride_bench_tic(bench, front);
            const TireContact& t = bike().front_tire;
            float fmax = (float)dJointGetHingeParam(bike().joints[FRONT_AXLE], dParamFMax);
            bool slipping = t.depth > 0 && length_squared(t.slip_velocity) > 4;
            if (fmax == 0) released++;
            if (slipping && fmax > 0) slipping_braked++;
        }
        if (antilock) {
            EXPECT_EQ(slipping_braked, 0);
            EXPECT_GT(released, 0);
        } else {
            EXPECT_EQ(released, 0);
        }
        EXPECT_LT(ride_bench_speed(bench), 40 * MPH * 0.5f) << antilock;
        stop_ride_bench(bench);
    }
}

// A 6 ft tabletop 160 ft ahead of the bench's start (the bike rides towards −z).
float tabletop(float, float z) {
    float s = 3896 - z;
    if (s < 160 || s >= 256) return 0;
    if (s < 192) return (s - 160) / 32 * 6;
    if (s < 208) return 6;
    return 6 * (1 - (s - 208) / 48);
}

TEST_F(RideBenchTest, JumpsATabletopAndLandsRiding) {
    ASSERT_TRUE(start_ride_bench(bench, "crf250(2007)", tabletop));
    reset_rider_setup();
    read_setup_line("arcade", "No");
    apply_setup(bike());
    run(128, controls(0));
    for (int i = 0; i < 128 * 10; i++) {
        float v = ride_bench_speed(bench);
        ride_bench_tic(bench, controls(v < 45 * MPH ? 1.0f : 0.2f));
    }
    const RideState& r = bike().ride;
    EXPECT_GT(r.airborne_tic, 0);             // both wheels left the ground
    EXPECT_GT(r.landed_tic, r.airborne_tic);  // and came down again
    EXPECT_EQ(r.crash_count, 0);
    Vec3 p = ride_bench_frame_position(bench);
    EXPECT_GT(bench.start.z - p.z, 400.0f);
    EXPECT_LT(std::fabs(p.x - bench.start.x), 1.0f);
    EXPECT_LT(std::fabs(lean_angle(bike())), 0.05f);
}

TEST_F(RideBenchTest, SteeringTurnsTheBike) {
    struct Case {
        float steer, side;  // side: +1 the bike ends up towards +x (its right)
    } cases[] = {{1, 1}, {-1, -1}};
    for (const Case& c : cases) {
        start();
        run_until(15, 128 * 5);
        float turned = 0, heading = heading_of(bike());
        for (int i = 0; i < 128 * 3; i++) {
            float v = ride_bench_speed(bench);
            ride_bench_tic(bench, controls(v < 15 * MPH ? 0.5f : 0.1f, 0, c.steer));
            float h = heading_of(bike());
            turned += wrap_angle(h - heading);
            heading = h;
        }
        Vec3 p = ride_bench_frame_position(bench);
        EXPECT_GT((p.x - bench.start.x) * c.side, 10.0f) << c.steer;
        EXPECT_GT(std::fabs(turned), 1.5708f) << c.steer;  // more than a quarter circle in 3 s
        EXPECT_GT(-lean_angle(bike()) * c.side, 0.3f) << c.steer;  // leaning into the turn
        EXPECT_FALSE(rider_crashed(bike())) << c.steer;
        stop_ride_bench(bench);
    }
}

TEST_F(RideBenchTest, IdlesNear1500WithTheClutchIn) {
    start();
    ControlVector c = controls(0);
    c.v[CONTROL_CLUTCH] = 1;
    run(128 * 4, c);
    EXPECT_NEAR(engine_rpm(bike()), 1500, 30);
    EXPECT_EQ(bike().ride.clutch, 0.0f);
}

TEST_F(RideBenchTest, ShiftsAreEdgeTriggered) {
    start("crf250(2007)", false);
    ControlVector up = controls(0), none = controls(0), down = controls(0);
    up.v[CONTROL_SHIFT] = 1, down.v[CONTROL_SHIFT] = -1;
    run(20, up);
    EXPECT_EQ(bike().ride.gear, 1);
    run(1, none);
    run(5, up);
    EXPECT_EQ(bike().ride.gear, 2);
    run(5, down);
    EXPECT_EQ(bike().ride.gear, 1);
    for (int i = 0; i < 10; i++) run(1, i % 2 ? none : up);  // five presses: stops in fifth gear
    EXPECT_EQ(bike().ride.gear, 4);
    set_gear(bike(), 5);  // this model has no sixth gear
    EXPECT_EQ(bike().ride.gear, 4);
    set_gear(bike(), 1);
    EXPECT_EQ(bike().ride.gear, 1);
}

TEST_F(RideBenchTest, DropFromHeightCrashesAndTheRiderGetsBackOn) {
    struct Case {
        int delay, still_tics;
    } cases[] = {{0, 512}, {256, 768}};
    for (const Case& c : cases) {
        int delays[16] = {c.delay};
        set_crash_delays(delays);
        start("crf250(2007)", false, 40);
        int crash_tic = -1, counted = 0;
        for (int i = 0; i < 128 * 30 && !(crash_tic >= 0 && !rider_crashed(bike())); i++) {
            int before = bike().ride.crash_counter;
            ride_bench_tic(bench, controls(0));
            if (crash_tic < 0 && rider_crashed(bike())) {
                crash_tic = i;
                before = 512 + c.delay;  // the counter starts here and may count in this tic
            }
            if (before > 0 && bike().ride.crash_counter == before - 1) counted++;
        }
        EXPECT_GE(crash_tic, 0) << c.delay;
        EXPECT_LT(crash_tic, 128 * 3) << c.delay;  // on landing
        EXPECT_FALSE(rider_crashed(bike())) << c.delay;
        EXPECT_EQ(counted, c.still_tics) << c.delay;
        EXPECT_EQ(bike().ride.crash_count, 1);
        EXPECT_EQ(dJointGetBody(bike().joints[RIDER_MOUNT], 0), bike().bodies[RIDER]);
        Vec3 rider = body_position(bike().bodies[RIDER]), frame = ride_bench_frame_position(bench);
        EXPECT_LT(length(rider - frame), 4.0f);  // seated again
        stop_ride_bench(bench);
    }
    int zero[16] = {};
    set_crash_delays(zero);
}

TEST_F(RideBenchTest, StandingStillTheRiderDabsAndStaysUp) {
    start();
    EXPECT_EQ(bike().ride.rider_down, 0);  // standing still is no fall in the first 2 s
    run(128 * 10, controls(0));
    EXPECT_EQ(bike().ride.rider_down, 1);  // later it counts as down (stopped on track)
    EXPECT_LT(std::fabs(lean_angle(bike())), 0.05f);
    EXPECT_LT(ride_bench_speed(bench), 0.1f);
    EXPECT_GT(bike().ride.dab_amount, 0.5f);
    const RideFoot& foot = bike().ride.feet[lean_angle(bike()) >= 0 ? 0 : 1];
    EXPECT_TRUE(foot.placed);
    EXPECT_NEAR(foot.position.y, 0.25f, 1e-4);  // on the ground
    EXPECT_EQ(bike().ride.front_brake, 0.0f);  // the dab's braking lasts one tic only
    EXPECT_EQ(bike().ride.rear_brake, 0.0f);
}

TEST_F(RideBenchTest, BackingUpPushesOncePerSecondAndOnlyEveryFourBeforeTheGate) {
    ASSERT_TRUE(start_ride_bench(bench, "crf250(2007)"));
    bench.clock.gate_drop_tic = 900;  // the first pushing multiple of 128 after it: 1024
    ControlVector back = controls(0);
    back.v[CONTROL_BACK_UP] = 1;
    std::vector<float> z;  // frame z at every second
    for (int s = 0; s < 10; s++) {
        z.push_back(ride_bench_frame_position(bench).z);
        run(128, back);
    }
    z.push_back(ride_bench_frame_position(bench).z);
    auto moved = [&](int s) { return z[s + 1] - z[s]; };  // backwards is +z
    EXPECT_GT(moved(0), 1.0f);
    for (int s : {1, 2, 3, 5, 6, 7}) EXPECT_LT(moved(s), 0.3f) << s;
    EXPECT_GT(moved(4), 1.0f);
    EXPECT_GT(moved(8), 1.0f);  // after the gate: every second
    EXPECT_GT(moved(9), 1.0f);
    EXPECT_LT(std::fabs(lean_angle(bike())), 0.1f);
}

TEST_F(RideBenchTest, ArcadeModeSkipsSpeedCrashesAndStillSteers) {
    start("crf250(2007)", false, 40);
    set_arcade(bike(), true);
    run(128 * 4, controls(0));
    EXPECT_FALSE(rider_crashed(bike()));
    EXPECT_EQ(bike().ride.crash_count, 0);
    stop_ride_bench(bench);

    start();
    set_arcade(bike(), true);
    run_until(15, 128 * 5);
    for (int i = 0; i < 128 * 2; i++) ride_bench_tic(bench, controls(0.3f, 0, 1));
    EXPECT_LT(lean_angle(bike()), -0.3f);  // rolled towards −π/4 × steer
    EXPECT_GT(ride_bench_frame_position(bench).x - bench.start.x, 5.0f);
    EXPECT_FALSE(rider_crashed(bike()));
}

// Rider height above the frame, along the frame's up axis.
float rider_height(const Bike& b) {
    Vec3 d = body_position(b.bodies[RIDER]) - body_position(b.bodies[FRAME]);
    const dReal* r = dBodyGetRotation(b.bodies[FRAME]);
    return d.x * (float)r[1] + d.y * (float)r[5] + d.z * (float)r[9];
}

// The seat target drops by 0.5 ft; the rider, free to move along the mount's
// slanted axis against the fore-aft spring too, settles a little less low.
TEST_F(RideBenchTest, SittingLowersTheRider) {
    start();
    run_until(20, 128 * 5);
    ControlVector ride = controls(0.4f);
    run(128, ride);
    float standing = rider_height(bike());
    ride.v[CONTROL_SIT_DAB] = 1;
    run(128, ride);
    float sitting = rider_height(bike());
    EXPECT_GT(standing - sitting, 0.3f);
    EXPECT_LT(standing - sitting, 0.6f);
}

TEST_F(RideBenchTest, AFallenBikeIsRealignedTowardsItsTarget) {
    for (float side : {1.0f, -1.0f}) {
        start("crf250(2007)", false);  // robot aids: realign on, no automatic dab
        for (int i = 0; i < 128 * 20 && std::fabs(lean_angle(bike())) < 0.45f; i++) run(1, controls(0));
        ASSERT_GE(std::fabs(lean_angle(bike())), 0.45f);
        Vec3 p = ride_bench_frame_position(bench);
        bench.clock.dab_realign_allowed = bench.clock.has_realign_target = true;
        bench.clock.realign_target_x = p.x + 30 * side;  // beside the bike
        bench.clock.realign_target_z = p.z;
        ControlVector dab = controls(0);
        dab.v[CONTROL_SIT_DAB] = 1;
        run(128 * 4, dab);
        const dReal* r = dBodyGetRotation(bike().bodies[FRAME]);
        EXPECT_GT((float)-r[2] * side, 0.9f) << side;  // the frame's forward (−z) axis points at it
        EXPECT_LT(std::fabs(lean_angle(bike())), 0.2f) << side;
        stop_ride_bench(bench);
    }
}

TEST_F(RideBenchTest, SetupIsRefusedWhileMoving) {
    start();
    run_until(20, 128 * 5);
    read_setup_line("brake_torque", "100");
    console_reset_count();
    EXPECT_FALSE(apply_setup_when_stopped(bike(), 100.0));
    EXPECT_EQ(console_message_count(), 0);  // the first refusal is silent
    EXPECT_FALSE(apply_setup_when_stopped(bike(), 105.0));
    EXPECT_NE(console_last_messages(1).find("Mechanic can't keep up"), std::string::npos);
    EXPECT_EQ(bike().tuning.brake_torque, 500.0f);
    run(128 * 6, controls(0, 1));
    EXPECT_TRUE(apply_setup_when_stopped(bike(), 120.0));
    EXPECT_EQ(bike().tuning.brake_torque, 100.0f);
}

TEST_F(RideBenchTest, ZeroRestrictedLockRidesWithoutNaN) {
    start();
    set_restricted_lock(bike(), 0);
    run_until(35, 128 * 6);
    for (int i = 0; i < 128 * 3; i++) ride_bench_tic(bench, controls(0.2f, 0, i < 128 ? 1.0f : 0.0f));
    Vec3 p = ride_bench_frame_position(bench);
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    EXPECT_TRUE(std::isfinite(bike().ride.steer_limit_amount));
}

TEST_F(RideBenchTest, SameInputsGiveTheSameRide) {
    auto ride = [&]() {
        start();
        for (int i = 0; i < 128 * 4; i++) ride_bench_tic(bench, controls(1, 0, i > 256 ? 0.5f : 0.0f));
        Vec3 p = ride_bench_frame_position(bench);
        float rpm = engine_rpm(bike());
        stop_ride_bench(bench);
        return std::vector<float>{p.x, p.y, p.z, rpm};
    };
    std::vector<float> a = ride(), b = ride();
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}

}  // namespace
