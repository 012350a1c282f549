// Fuzzes loading a terrain from its track files. The input holds the files
// one after another, separated by "|||", in this order: terrain.hf,
// terrain.png, shadingx2.ppm, shadows.pgm, tileinfo, tilemap, texturelist,
// shading.ppm. An empty part is a missing file. After a load, sampling,
// normals, writes and saving run over the result.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/image.h"
#include "terrain/terrain.h"

namespace {
const char* const NAMES[] = {"terrain.hf", "terrain.png", "shadingx2.ppm", "shadows.pgm",
                             "tileinfo",   "tilemap",     "texturelist",   "shading.ppm"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        set_image_limits({512, 4u << 20});
        return true;
    }();
    (void)once;
    std::string in(reinterpret_cast<const char*>(data), size);
    std::string parts[8];
    size_t p = 0;
    for (int k = 0; k < 8 && p <= in.size(); k++) {
        size_t e = in.find("|||", p);
        if (e == std::string::npos) e = in.size();
        parts[k] = in.substr(p, e - p);
        p = e + 3;
    }
    // Grids above 2^7 cells a side only cost time here.
    if (std::strtol(parts[0].c_str(), nullptr, 10) > 6) return 0;
    auto read = [&](const char* name, std::string& bytes) {
        std::string n = name;
        int k = -1;
        for (int i = 0; i < 8 && k < 0; i++)
            if (n == NAMES[i]) k = i;
        if (k < 0 || parts[k].empty()) return false;
        bytes = parts[k];
        return true;
    };
    Terrain t;
    if (!load_terrain_from(t, "@fuzz", read, 0)) return 0;
    const float pts[][2] = {{0, 0}, {1.3f, 2.7f}, {-5, 1e9f}, {t.extent, t.extent * 0.5f}};
    for (auto& q : pts) {
        terrain_height(t, q[0], q[1]);
        terrain_surface_normal(t, q[0], q[1]);
        terrain_surface_at(t, q[0], q[1]);
    }
    set_terrain_vertex_height(t, 1, 1, 3.0f);
    terrain_vertex_normal(t, 1, 2);
    terrain_vertex_normal(t, t.vertices_per_side, 0);
    save_terrain_to(t, [](const char*, const std::string&) { return true; });
    return 0;
}
