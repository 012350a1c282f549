// Collision shapes of the bike parts and the starting gate.
//
// Each shape is a list of spheres in its part's body frame. A part's body
// frame has its origin at the part's position in the shared bike geometry
// (bike coordinates: +y up, forward is -z, +x to the rider's right, feet),
// so a point P of the bike is P - part position in the part's frame.
#include "tools/datakit/datakit_local.h"

#include <cmath>

namespace datakit {
namespace {

struct Sphere {
    double x, y, z, radius, friction, stiffness, damping;
};

struct Material {
    double friction, stiffness, damping;
};
// Hard parts (frame, bars, fork, swingarm) slide; the rider grips a little
// more and is softer; tires grip.
constexpr Material HARD{0.5, 20000, 500};
constexpr Material BODY{0.8, 10000, 400};
constexpr Material TIRE{1.0, 25000, 2500};

struct Point {
    double x, y, z;
};

// The shared geometry of every built-in bike (bike coordinates).
constexpr Point FRONT_WHEEL{0, 1.09, 1.11}, REAR_WHEEL{0, 1.04, 6.0};
constexpr Point FRAME{0, 1.98, 3.6}, FORK_UPPER{0, 2.9, 2.16}, FORK_LOWER{0, 1.77, 1.59};
constexpr Point SWINGARM{0, 1.34, 4.99}, SWINGARM_PIVOT{0, 1.6, 4.08}, RIDER{0, 4.5, 4.12};
constexpr double FRONT_RING = 0.8333333, REAR_RING = 0.75, RING_SPHERE = 0.3333333;
constexpr double FORK_SPACING = 0.8333333, FRAME_WIDTH = 0.8333333;

Point rel(Point p, Point origin) { return {p.x - origin.x, p.y - origin.y, p.z - origin.z}; }

void add(std::vector<Sphere>& s, Point p, double r, Material m) {
    s.push_back({p.x, p.y, p.z, r, m.friction, m.stiffness, m.damping});
}

// n spheres evenly from a to b (both ends included).
void add_line(std::vector<Sphere>& s, Point a, Point b, int n, double r, Material m) {
    for (int i = 0; i < n; ++i) {
        double t = n == 1 ? 0.5 : double(i) / (n - 1);
        add(s, {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t}, r, m);
    }
}

std::string shape_text(const std::vector<Sphere>& spheres) {
    std::string out = fmt("%d\n", int(spheres.size()));
    for (const Sphere& s : spheres)
        out += fmt("%.4f %.4f %.4f %.4f %.2f %.1f %.1f\n", s.x, s.y, s.z, s.radius, s.friction, s.stiffness,
                   s.damping);
    return out;
}

// Frame body: engine and skid plate low between the wheels, tank and
// shrouds, seat and rear fender, and the foot pegs. The skid plate sits
// about 13 inches above flat ground, so a cased jump lands on it.
std::vector<Sphere> frame_shape() {
    std::vector<Sphere> s;
    auto at = [](double y, double z) { return rel({0, y, z}, FRAME); };
    add_line(s, at(1.35, 3.05), at(1.35, 4.1), 3, 0.3, HARD);     // skid plate
    add(s, at(1.8, 3.3), 0.45, HARD);                            // engine
    add_line(s, at(2.85, 2.7), at(2.95, 3.4), 2, 0.4, HARD);      // tank and shrouds
    add_line(s, at(3.05, 3.9), at(3.1, 5.2), 3, 0.3, HARD);       // seat
    add(s, at(3.0, 6.2), 0.25, HARD);                            // rear fender
    for (double side : {-0.6, 0.6}) add(s, rel({side, 1.423, 4.184}, FRAME), 0.12, HARD);  // pegs
    return s;
}

// Upper fork: the handlebar between the grips (about 26 inches wide, well
// above the front wheel), the bar pad and the front number plate.
std::vector<Sphere> fork_upper_shape() {
    std::vector<Sphere> s;
    add_line(s, {-1.097, 1.145, 0.753}, {1.097, 1.145, 0.753}, 7, 0.13, HARD);
    add(s, {0, 0.9, 0.55}, 0.22, HARD);   // bar pad and clamp
    add(s, {0, 0.2, -0.35}, 0.3, HARD);   // number plate over the fork crown
    return s;
}

// Lower fork: the two legs from the crown down to just above the axle, and
// the front fender over the tire.
std::vector<Sphere> fork_lower_shape() {
    std::vector<Sphere> s;
    Point axle = rel(FRONT_WHEEL, FORK_LOWER);
    for (double side : {-FORK_SPACING / 2, FORK_SPACING / 2})
        add_line(s, {side, 0.35, 0.25}, {side, axle.y + 0.2, axle.z + 0.14}, 4, 0.14, HARD);
    Point fender = rel({0, 2.45, 0.9}, FORK_LOWER);
    add(s, fender, 0.22, HARD);
    return s;
}

// Swingarm: its two arms from the pivot to the rear axle.
std::vector<Sphere> swingarm_shape() {
    std::vector<Sphere> s;
    Point pivot = rel(SWINGARM_PIVOT, SWINGARM), axle = rel(REAR_WHEEL, SWINGARM);
    for (double side : {-FRAME_WIDTH / 2, FRAME_WIDTH / 2})
        add_line(s, {side, pivot.y, pivot.z}, {side, axle.y, axle.z}, 5, 0.13, HARD);
    return s;
}

// Rider body, standing on the pegs: helmet, shoulders, torso down to the
// hips, arms towards the hands and thighs towards the knees. The shins and
// boots are left out so that a rider leaning hard through a turn does not
// count as down.
std::vector<Sphere> rider_shape() {
    std::vector<Sphere> s;
    add(s, {0, 0.81, -0.94}, 0.45, BODY);                         // helmet
    add_line(s, {0, 0.35, -0.45}, {0, -0.45, 0.55}, 4, 0.45, BODY);  // torso
    for (double side : {-1.0, 1.0}) {
        add(s, {side * 0.42, 0.38, -0.4}, 0.28, BODY);                                // shoulder
        add_line(s, {side * 0.5, 0.45, -0.5}, {side * 0.556, 0.58038, -0.65451}, 2, 0.2, BODY);  // arm
        add_line(s, {side * 0.269, -0.57089, 0.67061}, {side * 0.45, -1.35, -0.15}, 3, 0.25, BODY);  // thigh
    }
    return s;
}

// Wheels: a ring of spheres over the tire's tube, in the wheel's frame.
std::vector<Sphere> wheel_shape(double ring) {
    std::vector<Sphere> s;
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 12; ++i) {
        double a = i * pi / 6;
        add(s, {0, ring * std::cos(a), ring * std::sin(a)}, RING_SPHERE, TIRE);
    }
    return s;
}

// One starting-gate part, in the frame of its track object: the hinge axis
// runs along x through the origin on the ground, and the plate is shown
// lying down, reaching from the hinge back towards the waiting bike (+z).
// Raising the gate turns the plate about the hinge by 33.75 degrees so that
// its back edge rises (a point (0, 0, d) goes to (0, d sin t, d cos t)); raised,
// its edge stands about 1.6 ft high, a foot ahead of the front tire of a
// bike placed at its gate.
std::vector<Sphere> starting_gate_shape() {
    std::vector<Sphere> s;
    for (int row = 0; row < 5; ++row)
        add_line(s, {-1.2, 0.15, 0.3 + row * 0.6}, {1.2, 0.15, 0.3 + row * 0.6}, 5, 0.2, HARD);
    return s;
}

}  // namespace

void add_part_shapes(FileTree& tree) {
    tree["generic_frame.shp"] = shape_text(frame_shape());
    tree["generic_fork_upper.shp"] = shape_text(fork_upper_shape());
    tree["generic_fork_lower.shp"] = shape_text(fork_lower_shape());
    tree["generic_swingarm.shp"] = shape_text(swingarm_shape());
    tree["generic_rider.shp"] = shape_text(rider_shape());
    tree["front_wheel.shp"] = shape_text(wheel_shape(FRONT_RING));
    tree["rear_wheel.shp"] = shape_text(wheel_shape(REAR_RING));
    tree["startgate.shp"] = shape_text(starting_gate_shape());
}

}  // namespace datakit
