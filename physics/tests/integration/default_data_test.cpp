// Bikes with the part shapes of the generated data tree.
#include <gtest/gtest.h>

#include <cmath>

#include "physics/physics.h"
#include "terrain/terrain.h"

namespace {

class DefaultData : public ::testing::Test {
protected:
    Terrain ground;
    Bike* bike = nullptr;
    void SetUp() override {
        ASSERT_TRUE(create_physics_world());
        ASSERT_TRUE(make_terrain(ground, 5, 2.0f, {}));
        set_physics_ground(&ground);
        bike = create_bike(0, "crf250(2007)", true);
        ASSERT_NE(bike, nullptr);
        move_bike(*bike, 30, 0, 30);
    }
    void TearDown() override {
        destroy_bike(bike);
        set_physics_ground(nullptr);
        destroy_physics_world();
    }
    void run(int tics) {
        RideClock clock;
        clock.gate_drop_tic = 1 << 20;  // before the race: standing still is no fall
        for (int t = 0; t < tics; t++) {
            clock.tic = t;
            run_physics_tic(&bike, 1, clock);
        }
    }
};

TEST_F(DefaultData, EveryPartHasItsShape) {
    for (int p = 0; p < PART_COUNT; p++) {
        EXPECT_FALSE(bike->shapes[p].spheres.empty()) << p;
        EXPECT_GT(bike->shapes[p].bounding_radius, 0) << p;
    }
}

TEST_F(DefaultData, UprightBikeTouchesOnlyWithItsTires) {
    EXPECT_TRUE(collide_bike_with_ground(*bike));
    EXPECT_NEAR(bike->front_tire.depth, 0.07667, 1e-4);
    EXPECT_NEAR(bike->rear_tire.depth, 0.04333, 1e-4);
    EXPECT_EQ(bike->ride.rider_down, 0);
    dJointGroupEmpty(contact_group());
    set_ride_flag(*bike, FLAG_AUTO_DAB, true);
    move_bike(*bike, 0, 1, 0);
    run(4 * TICS_PER_SECOND);
    EXPECT_EQ(bike->ride.rider_down, 0);
    EXPECT_GT(body_position(bike->bodies[FRAME]).y, 1.0f);
}

TEST_F(DefaultData, BikeOnItsSideRestsOnItsParts) {
    turn_bike(*bike, {0, 0, 1}, static_cast<float>(M_PI / 2));
    move_bike(*bike, 3, 1, 0);
    run(3 * TICS_PER_SECOND);
    for (dBodyID b : bike->bodies) ASSERT_TRUE(std::isfinite(dBodyGetPosition(b)[1]));
    EXPECT_EQ(bike->ride.rider_down, 1);
    Vec3 frame = body_position(bike->bodies[FRAME]);
    EXPECT_GT(frame.y, 0.0f);  // held up by its spheres, not sunk into the ground
    EXPECT_LT(frame.y, 1.5f);
}

}  // namespace
