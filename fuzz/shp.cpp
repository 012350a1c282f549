// Part shape files (".shp"): any bytes must parse or be refused cleanly.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "physics/physics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PartShape shape;
    bool ok = parse_part_shape(reinterpret_cast<const char*>(data), size, shape);
    if (!ok && !shape.spheres.empty()) std::abort();
    if (shape.spheres.size() > static_cast<size_t>(MAX_SHAPE_SPHERES)) std::abort();
    for (const ShapeSphere& s : shape.spheres)
        if (!std::isfinite(s.radius) || s.radius < 0 || !(s.centre.x == s.centre.x)) std::abort();
    if (!std::isfinite(shape.bounding_radius)) std::abort();
    return 0;
}
