// The starting gate: its parts from "timing_gates", where they stand on the
// track, and their fall when the gate drops.
#include "core/world/world_local.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {
constexpr int MAX_GATE_PARTS = 160;
constexpr float HINGE_AHEAD = 3;               // ft from the gate place to the hinge
constexpr double RAISED_TILT = 0.5890486225480862;  // 3π/16: the tilt of a part that is up
constexpr float FALL_ACCELERATION = 32;        // fraction per second²
constexpr float FALL_SPEED_LIMIT = 8;          // fraction per second
constexpr double PI = 3.14159265358979323846;

float wrapped_angle(float a) {
    if (a >= -PI && a <= PI) return a;
    double w = std::remainder(double(a), 2 * PI);  // into [-π, π]
    return float(w);
}

bool finite_part(const GatePart& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && std::isfinite(p.angle);
}
}  // namespace

std::vector<GateObject> parse_starting_gate(const std::string& text) {
    std::vector<GateObject> gate;
    std::istringstream in(text);
    std::string word;
    if (!(in >> word) || word != "startinggate:") return gate;
    std::string line;
    std::getline(in, line);  // the rest of the heading line
    while (int(gate.size()) < MAX_GATE_PARTS && std::getline(in, line)) {
        char first[81] = {};
        if (std::sscanf(line.c_str(), " %80s", first) == 1 && std::strncmp(first, "checkpoints:", 12) == 0) break;
        GateObject o;
        GatePart& p = o.part;
        char model[1024], texture[1024], shape[1024];
        std::strcpy(model, "@startgate.qm");
        std::strcpy(texture, "@startgate.ppm");
        std::strcpy(shape, "@startgate.shp");
        int n = std::sscanf(line.c_str(), " [ %f %f %f ] %f %1023s %1023s %1023s", &p.x, &p.y, &p.z, &p.angle, model,
                            texture, shape);
        if (n < 4) break;
        if (!finite_part(p)) {
            con_printf("timing_gates: starting gate part %d is not a number; the gate ends there\n", int(gate.size()));
            break;
        }
        p.angle = wrapped_angle(p.angle);
        if (std::strcmp(model, "null") != 0) o.model = model;
        if (std::strcmp(shape, "null") != 0) o.shape = find_part_shape(shape);
        // Around the hinge, whatever the tilt.
        if (o.shape)
            o.bounds = {p.x - HINGE_AHEAD * std::sin(p.angle), p.z - HINGE_AHEAD * std::cos(p.angle),
                        o.shape->bounding_radius};
        gate.push_back(std::move(o));
    }
    return gate;
}

void place_gate_object(GateObject& o, const Terrain& ground) {
    if (!o.shape) {
        o.world.reset();
        return;
    }
    const GatePart& p = o.part;
    float sa = std::sin(p.angle), ca = std::cos(p.angle);
    double t = double(o.fraction) * RAISED_TILT;
    float st = float(std::sin(t)), ct = float(std::cos(t));
    Vec3 hinge{p.x - HINGE_AHEAD * sa, 0, p.z - HINGE_AHEAD * ca};
    // The part's height is an offset above the ground at its hinge.
    hinge.y = terrain_height(ground, hinge.x, hinge.z) + p.y;
    if (!o.world) o.world = std::make_shared<PartShape>();
    *o.world = *o.shape;
    for (ShapeSphere& s : o.world->spheres) {
        Vec3 c = s.centre;
        // Tilt about the hinge (the part's x axis), then turn by the facing.
        Vec3 tilted{c.x, c.y * ct + c.z * st, -c.y * st + c.z * ct};
        s.centre = Vec3{tilted.x * ca + tilted.z * sa, tilted.y, -tilted.x * sa + tilted.z * ca} + hinge;
    }
    // A sphere around the placed shape, so a bike far from it is not tested
    // sphere by sphere.
    Vec3 sum{};
    for (const ShapeSphere& s : o.world->spheres) sum = sum + s.centre;
    size_t n = o.world->spheres.size();
    o.centre = n ? sum * (1.0f / float(n)) : hinge;
    o.radius = 0;
    for (const ShapeSphere& s : o.world->spheres) o.radius = std::fmax(o.radius, distance(s.centre, o.centre) + s.radius);
}

void raise_starting_gate(std::vector<GateObject>& gate, const Terrain& ground) {
    for (GateObject& o : gate) {
        o.fraction = 1;
        o.speed = 0;
        o.touched_tic = -1;
        place_gate_object(o, ground);
    }
}

void animate_starting_gate(std::vector<GateObject>& gate, const GameState& g, const Terrain& ground) {
    int drop = g.gate_drop_tic + g.playback_delay;
    for (GateObject& o : gate) {
        if (g.tic < drop) {
            if (o.fraction != 1) {
                o.fraction = 1;
                place_gate_object(o, ground);
            }
            o.speed = 0;
            continue;
        }
        if (!(o.fraction > 0) || g.tic <= drop) continue;
        if (o.touched_tic == g.tic) {  // resting against a bike
            o.speed = 0;
            continue;
        }
        o.speed = std::fmin(o.speed + FALL_ACCELERATION * float(TIC_SECONDS), FALL_SPEED_LIMIT);
        o.fraction = std::fmax(o.fraction - o.speed * float(TIC_SECONDS), 0.0f);
        place_gate_object(o, ground);
    }
}
