// A small world for physics tests: flat ground at height 0 and bikes that
// are destroyed with the fixture.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "physics/physics.h"
#include "terrain/terrain.h"

class PhysicsWorld : public ::testing::Test {
protected:
    Terrain ground;
    std::vector<Bike*> bikes;

    void SetUp() override {
        ASSERT_TRUE(create_physics_world());
        // 64 × 64 cells of 2 ft, all at height 0.
        ASSERT_TRUE(make_terrain(ground, 5, 2.0f, {}));
        set_physics_ground(&ground);
        set_physics_tic(0);
        reset_roost_particles();
    }
    void TearDown() override {
        for (Bike* b : bikes) destroy_bike(b);
        set_physics_ground(nullptr);
        destroy_physics_world();
    }
    Bike& bike(const char* model = "cr125", int slot = 0) {
        Bike* b = create_bike(slot, model, true);
        EXPECT_NE(b, nullptr);
        bikes.push_back(b);
        return *b;
    }
    void run(int tics) {
        RideClock clock;
        for (int t = 0; t < tics; t++) {
            clock.tic = t;
            run_physics_tic(bikes.data(), static_cast<int>(bikes.size()), clock);
        }
    }
};

inline bool finite_bike(const Bike& b) { return bike_is_finite(b); }
