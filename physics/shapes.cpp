// Part collision shapes: ".shp" text files of spheres, cached by name.
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "physics/physics_local.h"

namespace {

// Scans numbers one at a time from a NUL-terminated text, as the data-file
// scanner does with "%d" and "%f".
struct NumberScanner {
    const char* p;
    bool integer(int& v) {
        int used = 0;
        if (std::sscanf(p, " %d%n", &v, &used) != 1) return false;
        p += used;
        return true;
    }
    bool number(float& v) {
        int used = 0;
        if (std::sscanf(p, " %f%n", &v, &used) != 1) return false;
        p += used;
        return std::isfinite(v);
    }
};

// Parts and track objects are feet across; a value beyond this is a broken
// file (and its square would overflow).
const float MAX_SHAPE_EXTENT = 1e6f;

bool scan_sphere(NumberScanner& in, ShapeSphere& s) {
    if (!(in.number(s.centre.x) && in.number(s.centre.y) && in.number(s.centre.z) && in.number(s.radius) &&
          in.number(s.friction) && in.number(s.stiffness) && in.number(s.damping)))
        return false;
    for (float v : {s.centre.x, s.centre.y, s.centre.z})
        if (std::fabs(v) > MAX_SHAPE_EXTENT) return false;
    return s.radius >= 0 && s.radius <= MAX_SHAPE_EXTENT;
}

std::map<std::string, std::optional<PartShape>>& shape_cache() {
    static std::map<std::string, std::optional<PartShape>> cache;
    return cache;
}

}  // namespace

bool parse_part_shape(const char* text, size_t size, PartShape& shape) {
    shape = PartShape{};
    std::string copy(text, size);  // the scanner needs a terminated text
    NumberScanner in{copy.c_str()};
    int count = 0;
    if (!in.integer(count)) return false;
    if (count < 0 || count > MAX_SHAPE_SPHERES) {
        con_printf("Bad sphere count %d in shape (0 to %d)\n", count, MAX_SHAPE_SPHERES);
        return false;
    }
    shape.spheres.resize(static_cast<size_t>(count));
    for (ShapeSphere& s : shape.spheres) {
        if (!scan_sphere(in, s)) {
            shape = PartShape{};
            return false;
        }
        shape.bounding_radius = std::fmax(shape.bounding_radius, length(s.centre) + s.radius);
    }
    return true;
}

const PartShape* find_part_shape(const char* name) {
    auto& cache = shape_cache();
    auto it = cache.find(name);
    if (it == cache.end()) {
        std::optional<PartShape> shape;
        if (std::optional<std::string> text = read_data_text(name)) {
            PartShape s;
            if (parse_part_shape(text->data(), text->size(), s)) shape = std::move(s);
            else con_printf("Bad shape file '%.900s'\n", name);
        }
        it = cache.emplace(name, std::move(shape)).first;
    }
    return it->second ? &*it->second : nullptr;
}

void clear_part_shape_cache() { shape_cache().clear(); }

dBodyID part_body(const Bike& bike, int part) {
    static const int bodies[PART_COUNT] = {FRAME, FORK_UPPER, FORK_LOWER, SWINGARM,
                                           RIDER, FRONT_WHEEL, REAR_WHEEL};
    return bike.bodies[bodies[part]];
}

void refresh_shape_centres(Bike& bike, int part) {
    PartShape& s = bike.shapes[part];
    dBodyID body = part_body(bike, part);
    dReal pose[15];
    std::memcpy(pose, dBodyGetPosition(body), 3 * sizeof(dReal));
    std::memcpy(pose + 3, dBodyGetRotation(body), 12 * sizeof(dReal));
    // The same body at a bit-identical pose gives the same centres.
    if (s.centres_body == body && s.world_centres.size() == s.spheres.size() &&
        std::memcmp(pose, s.centres_pose, sizeof pose) == 0)
        return;
    s.centres_body = body;
    std::memcpy(s.centres_pose, pose, sizeof pose);
    s.world_centres.resize(s.spheres.size());
    for (size_t k = 0; k < s.spheres.size(); k++) s.world_centres[k] = body_point(body, s.spheres[k].centre);
}
