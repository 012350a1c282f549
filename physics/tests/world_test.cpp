// Building, placing and stepping bikes.
#include <cmath>
#include <algorithm>
#include <cstring>
#include <random>

#include "physics_fixture.h"

namespace {

struct MassCase {
    BikeBody body;
    double mass, ixx, iyy_izz;
};

TEST_F(PhysicsWorld, WheelMassesAndInertias) {
    Bike& b = bike();
    const MassCase cases[] = {{FRONT_WHEEL, 0.5625, 0.31580, 0.17474}, {REAR_WHEEL, 0.78125, 0.31576, 0.18392}};
    for (const MassCase& c : cases) {
        dMass m;
        dBodyGetMass(b.bodies[c.body], &m);
        EXPECT_NEAR(m.mass, c.mass, 1e-4) << c.body;
        EXPECT_NEAR(m.I[0], c.ixx, 1e-4) << c.body;
        EXPECT_NEAR(m.I[5], c.iyy_izz, 1e-4) << c.body;
        EXPECT_NEAR(m.I[10], c.iyy_izz, 1e-4) << c.body;
    }
    dMass m;
    float sum = 0;
    for (dBodyID body : b.bodies) {
        dBodyGetMass(body, &m);
        sum += static_cast<float>(m.mass);
    }
    EXPECT_NEAR(b.total_mass, sum, 1e-5);
}

TEST_F(PhysicsWorld, SlotOutsideTheTableMakesNoBike) {
    for (int slot : {-1, -160, 160, 1000}) EXPECT_EQ(create_bike(slot, "cr125", true), nullptr) << slot;
    Bike& b = bike(nullptr, 159);  // no name: the fallback model
    EXPECT_STREQ(model_name(b.spec), "kx250f(2007)");
    EXPECT_EQ(b.slot, 159);
}

TEST_F(PhysicsWorld, WorldOutlivesItsBikes) {
    Bike& b = bike();
    destroy_physics_world();  // refused: the bike still has bodies in it
    ASSERT_NE(physics_world(), nullptr);
    step_physics_world();
    EXPECT_TRUE(finite_bike(b));
}

TEST_F(PhysicsWorld, NewBikeRestsWithTiresPressedIn) {
    Bike& b = bike();
    EXPECT_TRUE(collide_bike_with_ground(b));
    EXPECT_NEAR(b.front_tire.depth, 0.07667, 1e-4);
    EXPECT_NEAR(b.rear_tire.depth, 0.04333, 1e-4);
    EXPECT_NEAR(b.front_tire.normal.y, 1, 1e-6);
    EXPECT_TRUE(bike_collides(b));
    move_bike(b, 0, 0.125f, 0);
    EXPECT_FALSE(bike_collides(b));
}

TEST_F(PhysicsWorld, DroppedBikeSettlesWithoutDrifting) {
    Bike& b = bike();
    move_bike(b, 30, 1, 30);
    set_ride_flag(b, FLAG_AUTO_DAB, true);  // a stopped rider keeps a foot down
    Vec3 start = body_position(b.bodies[FRAME]);
    run(10 * TICS_PER_SECOND);
    ASSERT_TRUE(finite_bike(b));
    Vec3 end = body_position(b.bodies[FRAME]);
    EXPECT_LT(std::hypot(end.x - start.x, end.z - start.z), 0.1);
    EXPECT_LT(length(body_velocity(b.bodies[FRAME])), 0.05);
    EXPECT_GT(b.front_tire.depth, 0);
    EXPECT_GT(b.rear_tire.depth, 0);
}

TEST_F(PhysicsWorld, JointStopsHoldUnderRandomTorques) {
    Bike& b = bike();
    move_bike(b, 30, 0, 30);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> torque(-100, 100);
    const BikeSpec& s = bike_spec(b.spec);
    // A stop acts once a joint has passed it, so one tic's motion may show.
    const float slack = 0.05f;
    for (int t = 0; t < 3 * TICS_PER_SECOND; t++) {
        for (BikeBody body : {FORK_UPPER, FORK_LOWER, SWINGARM, FRONT_WHEEL})
            dBodyAddTorque(b.bodies[body], torque(rng), torque(rng), torque(rng));
        RideClock clock;
        clock.tic = t;
        run_physics_tic(bikes.data(), 1, clock);
        float steer = static_cast<float>(dJointGetHingeAngle(b.joints[STEERING]));
        float slide = static_cast<float>(dJointGetSliderPosition(b.joints[FORK_SLIDE]));
        float arm = static_cast<float>(dJointGetHingeAngle(b.joints[SWINGARM_PIVOT]));
        ASSERT_LE(std::fabs(steer), M_PI / 4 + slack) << t;
        ASSERT_LE(slide, slack) << t;
        ASSERT_GE(slide, -s.fork_travel - slack) << t;
        ASSERT_LE(arm, slack) << t;
        ASSERT_GE(arm, -s.linkage[LINK_MAX_ANGLE] - slack) << t;
    }
    EXPECT_TRUE(finite_bike(b));
}

TEST_F(PhysicsWorld, LiftingClearsTheGround) {
    struct Case {
        float sink, ground;
        bool ok;
    } cases[] = {{0, 0, true}, {3, 0, true}, {0, 5000, false}};
    for (const Case& c : cases) {
        std::fill(ground.heights.begin(), ground.heights.end(), c.ground);
        Bike& b = bike();
        move_bike(b, 30, -c.sink, 30);
        EXPECT_EQ(lift_bike_clear_of_ground(b), c.ok) << c.sink;
        if (c.ok) {
            // It ends 0.125 below the first clear height: just touching at most.
            move_bike(b, 0, 0.125f, 0);
            EXPECT_FALSE(bike_collides(b));
            move_bike(b, 0, -0.375f, 0);
            EXPECT_TRUE(bike_collides(b));
        }
    }
}

TEST_F(PhysicsWorld, TurnIsAboutTheWorldOrigin) {
    Bike& b = bike();
    Vec3 before[BODY_COUNT];
    for (int k = 0; k < BODY_COUNT; k++) before[k] = body_position(b.bodies[k]);
    turn_bike(b, {0, 1, 0}, static_cast<float>(M_PI / 2));
    for (int k = 0; k < BODY_COUNT; k++) {
        Vec3 p = body_position(b.bodies[k]);
        // A quarter turn about +y takes (x, y, z) to (z, y, -x).
        EXPECT_NEAR(p.x, before[k].z, 1e-5) << k;
        EXPECT_NEAR(p.y, before[k].y, 1e-5) << k;
        EXPECT_NEAR(p.z, -before[k].x, 1e-5) << k;
        const dReal* q = dBodyGetQuaternion(b.bodies[k]);
        EXPECT_NEAR(q[0], std::sqrt(0.5), 1e-6);
        EXPECT_NEAR(q[2], std::sqrt(0.5), 1e-6);
    }
}

TEST_F(PhysicsWorld, InactiveBikeStaysPut) {
    Bike& b = bike();
    move_bike(b, 30, 3, 30);
    set_activity(b, 0);
    Vec3 before = body_position(b.bodies[FRAME]);
    for (int t = 0; t < TICS_PER_SECOND; t++) step_physics_world();
    Vec3 after = body_position(b.bodies[FRAME]);
    EXPECT_EQ(before.y, after.y);
    set_activity(b, 2);  // clamped to 1: simulated again
    EXPECT_EQ(b.activity, 1);
    for (int t = 0; t < 16; t++) step_physics_world();
    EXPECT_LT(body_position(b.bodies[FRAME]).y, before.y);
}

TEST_F(PhysicsWorld, ResetPutsEverythingBack) {
    Bike& b = bike();
    move_bike(b, 30, 2, 30);
    run(64);
    reset_bike(b);
    const BikeSpec& s = bike_spec(b.spec);
    Vec3 f = body_position(b.bodies[FRAME]), r = body_position(b.bodies[RIDER]);
    EXPECT_NEAR(f.y, s.frame_position.y, 1e-6);
    EXPECT_NEAR(r.y, s.rider_position.y, 1e-6);
    EXPECT_NEAR(r.z, s.rider_position.z, 1e-6);
    EXPECT_EQ(length(body_velocity(b.bodies[REAR_WHEEL])), 0);
}

}  // namespace

namespace {

uint64_t scene_hash(Terrain& ground) {
    std::vector<float> heights(65 * 65);
    for (int j = 0; j < 65; j++)
        for (int i = 0; i < 65; i++) heights[i + 65 * j] = 2 * std::sin(i * 0.4f) * std::cos(j * 0.3f);
    make_terrain(ground, 5, 2.0f, heights);
    Bike* bikes[3];
    for (int k = 0; k < 3; k++) {
        bikes[k] = create_bike(k, k == 2 ? "rs50cr" : "crf450(2011)", true);
        move_bike(*bikes[k], 20 + 1.5f * k, 4, 20 + 2.0f * k);  // close enough to touch
        set_throttle(*bikes[k], k == 0 ? 1.0f : 0.3f);
        set_clutch(*bikes[k], 1);
        set_steer(*bikes[k], 0.2f * k - 0.2f);
    }
    RideClock clock;
    for (int t = 0; t < 2 * TICS_PER_SECOND; t++) {
        clock.tic = t;
        run_physics_tic(bikes, 3, clock);
    }
    uint64_t h = 1469598103934665603ull;
    for (Bike* b : bikes) {
        for (dBodyID body : b->bodies) {
            const dReal* values[2] = {dBodyGetPosition(body), dBodyGetQuaternion(body)};
            for (int v = 0; v < 2; v++)
                for (int k = 0; k < 3 + v; k++) {
                    uint64_t bits;
                    std::memcpy(&bits, &values[v][k], sizeof bits);
                    h = (h ^ bits) * 1099511628211ull;
                }
        }
        destroy_bike(b);
    }
    return h;
}

TEST_F(PhysicsWorld, SameSceneTwiceGivesTheSameStates) {
    uint64_t first = scene_hash(ground);
    EXPECT_EQ(scene_hash(ground), first);
}

}  // namespace
