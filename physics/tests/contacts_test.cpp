// Tires, part spheres, bike–bike and object contacts, shapes and roost.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "physics/physics_local.h"
#include "physics_fixture.h"

namespace {

const float E = 1048576.0f;  // empty friction key

TEST(TireFriction, TableLookups) {
    struct Case {
        float f[8], k[8];
        int slip_function;
        float slip, want;
    } cases[] = {
        {{1, 1, 1, 1, 1, 1, 1, 1}, {1, E, E, E, E, E, E, E}, 0, 7, 1},
        {{1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, {2, 6, E, E, E, E, E, E}, 0, 4, 1.05f},
        {{1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, {2, 6, E, E, E, E, E, E}, 1, 4, 1.0f},
        {{1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, {2, 6, E, E, E, E, E, E}, 0, 1, 1.2f},   // below the first key
        {{1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, {2, 6, E, E, E, E, E, E}, 0, 50, 0.8f},  // past the last key
        {{1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, {2, 6, E, E, E, E, E, E}, 7, 4, 1.05f},  // unknown acts like 0
        {{1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}, 1, 9, 8},
    };
    for (const Case& c : cases) {
        Vec3 slip{c.slip, 0, 0};
        EXPECT_NEAR(tire_friction(c.f, c.k, c.slip_function, slip, slip), c.want, 1e-5)
            << c.slip_function << " " << c.slip;
    }
    // Slip function 2 uses the slip without the wheel's spin, clamped to |slip|.
    float f[8] = {1.2f, 0.8f, 1, 1, 1, 1, 1, 1}, k[8] = {2, 6, E, E, E, E, E, E};
    EXPECT_NEAR(tire_friction(f, k, 2, {4, 0, 0}, {0.5f, 3, 0}), 1.2f, 1e-5);
    EXPECT_NEAR(tire_friction(f, k, 2, {4, 0, 0}, {40, 0, 0}), 1.0f, 1e-5);
}

TEST(SoftContact, ErpAndCfmFromSpringAndDamper) {
    struct Case {
        double kp, kd;
    } cases[] = {{25000, 2500}, {4000, 487.5}, {2500, 250}};
    for (const Case& c : cases) {
        double erp, cfm, h = 1.0 / 128;
        spring_to_erp_cfm(c.kp, c.kd, erp, cfm);
        EXPECT_NEAR(erp, h * c.kp / (h * c.kp + c.kd), 1e-12);
        EXPECT_NEAR(cfm, 1 / (h * c.kp + c.kd), 1e-12);
    }
}

TEST(SoftContact, TireStiffensAsItCompresses) {
    struct Case {
        float depth;
        double kp, kd;
    } cases[] = {{1.0f / 3, 25000, 2500}, {1.0f / 6, 4000, 487.5}, {1.0f, 25000, 2500}, {0, 1000, 200}};
    for (const Case& c : cases) {
        double kp, kd;
        tire_stiffness(c.depth, 1.0f / 3, kp, kd);
        EXPECT_NEAR(kp, c.kp, 1e-3) << c.depth;
        EXPECT_NEAR(kd, c.kd, 1e-4) << c.depth;
    }
}

TEST(PartShapes, ParsingAndItsFailures) {
    struct Case {
        const char* text;
        bool ok;
        size_t spheres;
        float bound;
    } cases[] = {
        {"2\n0 0 0\n0.5 1 2500 250\n3 4 0\n1 0.8 2500 250\n", true, 2, 6},
        {"0\n", true, 0, 0},
        {"2\n0 0 0\n0.5 1 2500 250\n", false, 0, 0},        // second sphere missing
        {"1\n0 0 x\n0.5 1 2500 250\n", false, 0, 0},        // not a number
        {"-3\n", false, 0, 0},                              // negative count
        {"2000000000\n0 0 0 1 1 1 1\n", false, 0, 0},       // count without bound
        {"1\n0 0 0\nnan 1 1 1\n", false, 0, 0},             // not finite
        {"1\n0 0 0\n-1 1 1 1\n", false, 0, 0},              // negative radius
        {"1\n1e20 -2 0\n1 0 0 0\n", false, 0, 0},           // far beyond any part
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        PartShape s;
        EXPECT_EQ(parse_part_shape(c.text, std::strlen(c.text), s), c.ok) << c.text;
        EXPECT_EQ(s.spheres.size(), c.spheres) << c.text;
        EXPECT_NEAR(s.bounding_radius, c.bound, 1e-6) << c.text;
    }
}

PartShape shape_of(const char* text) {
    PartShape s;
    EXPECT_TRUE(parse_part_shape(text, std::strlen(text), s));
    s.world_centres.resize(s.spheres.size());
    return s;
}

TEST_F(PhysicsWorld, RollingResistanceGrowsWithSpeedUpToOneFootPerSecond) {
    Bike& b = bike();
    move_bike(b, 30, 0, 30);
    float force[2];
    const float speeds[2] = {0.5f, 1.0f};
    for (int k = 0; k < 2; k++) {
        dBodySetLinearVel(b.bodies[REAR_WHEEL], speeds[k], 0, 0);
        dBodySetForce(b.bodies[REAR_WHEEL], 0, 0, 0);
        collide_bike_with_ground(b);
        force[k] = static_cast<float>(dBodyGetForce(b.bodies[REAR_WHEEL])[0]);
        dJointGroupEmpty(contact_group());
    }
    // Default roll pair (5, 15) at depth 0.04333 of a tube radius 0.33333.
    float expected = 5 + 0.04333f / 0.33333f * 10;
    EXPECT_NEAR(force[1], -expected, 1e-2);
    EXPECT_NEAR(force[0], force[1] / 2, 1e-3);
}

TEST_F(PhysicsWorld, DownwardNormalsPushSidewaysOrUp) {
    struct Case {
        Vec3 in, out;
    } cases[] = {{{0.6f, -0.8f, 0}, {1, 0, 0}}, {{0, -1, 0}, {0, 1, 0}}, {{0, 0.8f, 0.6f}, {0, 0.8f, 0.6f}}};
    for (const Case& c : cases) {
        Vec3 n = c.in;
        apply_normal_rule(n);
        EXPECT_NEAR(n.x, c.out.x, 1e-6);
        EXPECT_NEAR(n.y, c.out.y, 1e-6);
        EXPECT_NEAR(n.z, c.out.z, 1e-6);
    }
}

TEST_F(PhysicsWorld, PartOnTheGroundMarksTheRiderDown) {
    Bike& b = bike();
    b.shapes[PART_SWINGARM] = shape_of("1\n0 0 0\n0.5 1 2500 250\n");
    b.shapes[PART_FRAME] = shape_of("1\n0 0 0\n0.5 1 2500 250\n");
    move_bike(b, 30, 0, 30);
    collide_bike_with_ground(b);
    EXPECT_EQ(b.ride.rider_down, 0);  // swingarm centre 1.34 ft up
    move_bike(b, 0, -1.0f, 0);
    EXPECT_TRUE(bike_collides(b));
    EXPECT_EQ(b.ride.rider_down, 0);  // placement tests change nothing
    collide_bike_with_ground(b);
    EXPECT_EQ(b.ride.rider_down, 1);
}

// Two bikes side by side, 0.5 ft apart at their centre planes, so that their
// one-sphere parts of radius `r` overlap.
struct Pair {
    Bike* a;
    Bike* b;
};

TEST_F(PhysicsWorld, CoincidentSpheresTouchWithoutAContact) {
    Bike& a = bike("cr125", 0);
    Bike& b = bike("cr125", 1);
    for (const char* text : {"1\n0 0 0\n0.5 1 2500 250\n", "1\n0 0 0\n0 1 2500 250\n"}) {
        a.shapes[PART_FRAME] = shape_of(text);
        b.shapes[PART_FRAME] = shape_of("1\n0 0 0\n0.5 1 2500 250\n");
        set_physics_tic(1);
        EXPECT_TRUE(collide_bikes(a, b, 0)) << text;  // every part sits on top of its twin
        step_physics_world();
        EXPECT_TRUE(finite_bike(a));
        EXPECT_TRUE(finite_bike(b));
        reset_bike(a);
        reset_bike(b);
    }
}

TEST_F(PhysicsWorld, BikesPushApartAndFrontHitsRaiseTimers) {
    struct Case {
        int part_a, part_b;  // parts given a sphere; all others bare
        float speed_a;
        float want_a, want_b;
    } cases[] = {
        {PART_SWINGARM, PART_SWINGARM, 20, 0, 0},  // rear parts only: no timers
        {PART_FORK_LOWER, PART_FORK_LOWER, 20, 64, 0},  // both front ends: only the fast one
        {PART_FORK_LOWER, PART_FRAME, 20, 0, 0},   // striker at speed, the struck is slow
    };
    for (const Case& c : cases) {
        Bike& a = bike("cr125", 0);
        Bike& b = bike("cr125", 1);
        // Hide the wheels from each other: far apart sideways, parts reach across.
        move_bike(a, 10, 0, 10);
        move_bike(b, 12, 0, 10);
        for (int p = 0; p < PART_COUNT; p++) a.shapes[p] = PartShape{}, b.shapes[p] = PartShape{};
        a.shapes[c.part_a] = shape_of("1\n0.8 0 0\n0.6 1 2500 250\n");
        b.shapes[c.part_b] = shape_of("1\n-0.8 0 0\n0.6 1 2500 250\n");
        if (c.part_a != c.part_b) {
            // Put the struck part at the striker's height and place.
            const BikeSpec& s = bike_spec(0);
            Vec3 off = (c.part_a == PART_FORK_LOWER ? s.fork_lower_position : s.frame_position) -
                       (c.part_b == PART_FORK_LOWER ? s.fork_lower_position : s.frame_position);
            b.shapes[c.part_b].spheres[0].centre = b.shapes[c.part_b].spheres[0].centre + off;
            b.shapes[c.part_b].bounding_radius = length(b.shapes[c.part_b].spheres[0].centre) + 0.6f;
        }
        b.shapes[c.part_b].world_centres.resize(1);
        for (dBodyID body : a.bodies) dBodySetLinearVel(body, 0, 0, -c.speed_a);
        set_physics_tic(5);
        SCOPED_TRACE(c.part_a * 10 + c.part_b);
        EXPECT_TRUE(collide_bikes(a, b, 0));
        EXPECT_EQ(a.last_bike_contact_tic, 5);
        EXPECT_EQ(b.last_bike_contact_tic, 5);
        EXPECT_EQ(a.ride.bump_timer, c.want_a);
        EXPECT_EQ(b.ride.bump_timer, c.want_b);
        float gap = body_position(b.bodies[FRAME]).x - body_position(a.bodies[FRAME]).x;
        step_physics_world();
        EXPECT_GT(body_position(b.bodies[FRAME]).x - body_position(a.bodies[FRAME]).x, gap);
        for (Bike* x : bikes) destroy_bike(x);
        bikes.clear();
    }
}

TEST_F(PhysicsWorld, ObjectContactsReportTheParts) {
    Bike& b = bike();
    move_bike(b, 30, 0, 30);
    const BikeSpec& s = bike_spec(0);
    // A static post just ahead of the front tire, touching it.
    PartShape post = shape_of("1\n0 0 0\n0.3 1 2500 250\n");
    post.spheres[0].centre = Vec3{30, s.front_wheel.position.y, 30 + s.front_wheel.position.z - 1.3f};
    EXPECT_EQ(collide_bike_with_object(b, post, nullptr), PART_BIT_FRONT_WHEEL);
    post.spheres[0].centre = Vec3{60, 1, 60};
    EXPECT_EQ(collide_bike_with_object(b, post, nullptr), 0);
}

TEST_F(PhysicsWorld, RoostFliesLandsAndNeverTurnsNaN) {
    RoostSlot slot;
    slot.kind = ROOST_ROOST;
    struct Case {
        float drag;
    } cases[] = {{0.5f}, {128.0f}, {1000.0f}, {1e30f}};
    for (const Case& c : cases) {
        reset_roost_particles();
        slot.drag = c.drag;
        spawn_particle({30, 1, 30}, {10, 20, 0}, slot);
        ASSERT_EQ(roost_active_count(), 1);
        for (int t = 0; t < 10 * TICS_PER_SECOND && roost_active_count(); t++) {
            fly_roost();
            int i = roost_active_first();
            if (i < 0) break;
            const RoostParticle& p = roost_particle(i);
            ASSERT_TRUE(std::isfinite(p.position.y) && std::isfinite(p.velocity.y)) << c.drag;
        }
        EXPECT_EQ(roost_active_count(), 0) << c.drag;  // landed and retired
    }
    // The pool drops particles once it is full.
    reset_roost_particles();
    for (int k = 0; k < ROOST_PARTICLES + 10; k++) spawn_particle({30, 5, 30}, {}, slot);
    EXPECT_EQ(roost_active_count(), ROOST_PARTICLES);
}

TEST_F(PhysicsWorld, SpinningRearWheelThrowsRoost) {
    ground.tiles[0].roost[0].kind = ROOST_ROOST;
    Bike& b = bike();
    move_bike(b, 30, 0, 30);
    set_roost_frequency(1000);
    dBodySetAngularVel(b.bodies[REAR_WHEEL], -60, 0, 0);
    collide_bike_with_ground(b);
    emit_roost(b);
    EXPECT_GT(roost_active_count(), 0);
    dJointGroupEmpty(contact_group());
}

}  // namespace

namespace {

// A shape file read once through the data folders and cached by name; a bad
// file leaves the part without collisions.
TEST(PartShapes, FilesAreCachedByName) {
    std::string dir = testing::TempDir() + "physics_shapes/";
    std::string cmd = "mkdir -p " + dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto write = [&](const char* name, const char* text) {
        FILE* f = std::fopen((dir + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    };
    write("good.shp", "1\n0 1 0\n0.5 1 2500 250\n");
    write("bad.shp", "3\n0 1 0\n");
    clear_part_shape_cache();
    const PartShape* good = find_part_shape((dir + "good.shp").c_str());
    ASSERT_NE(good, nullptr);
    EXPECT_NEAR(good->bounding_radius, 1.5f, 1e-6);
    write("good.shp", "0\n");  // cached: the file is not read again
    EXPECT_EQ(find_part_shape((dir + "good.shp").c_str()), good);
    EXPECT_EQ(find_part_shape((dir + "bad.shp").c_str()), nullptr);
    EXPECT_EQ(find_part_shape((dir + "missing.shp").c_str()), nullptr);
    clear_part_shape_cache();
}

}  // namespace

namespace {

TEST_F(PhysicsWorld, CrashedRiderMeetsHisOwnBike) {
    Bike& b = bike();
    move_bike(b, 30, 0, 30);
    b.shapes[PART_RIDER] = shape_of("1\n0 0 0\n0.6 1 2500 250\n");
    b.shapes[PART_FRAME] = shape_of("1\n0 0 0\n0.6 1 2500 250\n");
    EXPECT_FALSE(collide_bike_parts(b, PART_RIDER, PART_FRAME));  // seated 2.5 ft above the frame
    Vec3 f = body_position(b.bodies[FRAME]);
    dBodySetPosition(b.bodies[RIDER], f.x, f.y + 0.8, f.z);
    EXPECT_TRUE(collide_bike_parts(b, PART_RIDER, PART_FRAME));
    EXPECT_FALSE(collide_bike_parts(b, PART_RIDER, PART_RIDER));
    EXPECT_FALSE(collide_bike_parts(b, PART_RIDER, 99));
    dJointGroupEmpty(contact_group());
}

}  // namespace
