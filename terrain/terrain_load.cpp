// Loading a track's terrain from its files and saving it back.
//
// Track files: "terrain.hf" (header, then inline ":" samples or none, in which
// case "terrain.png" holds them), "shadingx2.ppm" or "shading.ppm",
// "shadows.pgm" (optional), "tileinfo" or "texturelist", "tilemap".
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/files.h"
#include "image/image.h"
#include "terrain/terrain_local.h"

namespace {

// The biggest track file read: inline samples of the largest grid.
constexpr size_t MAX_TRACK_FILE = 48u << 20;

void loading_step(const char* label) {
    if (auto hook = terrain_hooks().loading_step) hook(label);
}

[[gnu::format(printf, 2, 3)]] void log_at(int level, const char* fmt, ...) {
    const TerrainHooks& h = terrain_hooks();
    if (!h.log || h.verbose < level) return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    h.log(buf);
}

void log_texture_memory(const char* when) {
    if (auto mem = terrain_hooks().texture_memory)
        log_at(1, "%lu bytes texture memory used %s ground tiles loaded\n", mem(), when);
}

struct HfHeader {
    int e = 0;
    float s = 0, lowest = 0, highest = 0;
    size_t end = 0;  // first byte after the header and the white space after it
};

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// "%d %f %f %f ": four numbers, then all white space after them.
bool parse_hf_header(const std::string& hf, HfHeader& h) {
    std::string head = hf.substr(0, 512);
    const char* p = head.c_str();
    char* end = nullptr;
    long e = std::strtol(p, &end, 10);
    if (end == p) return false;
    p = end;
    float v[3];
    for (float& f : v) {
        f = std::strtof(p, &end);
        if (end == p) return false;
        p = end;
    }
    h.e = static_cast<int>(e < -1 ? -1 : (e > 1000 ? 1000 : e));
    h.s = v[0];
    h.lowest = v[1];
    h.highest = v[2];
    size_t pos = static_cast<size_t>(p - head.c_str());
    while (pos < hf.size() && is_white(hf[pos])) pos++;
    h.end = pos;
    return true;
}

// Samples 0..65535 for every vertex, from inline bytes or from "terrain.png".
void read_samples(const Terrain& t, const std::string& folder, const TrackFileReader& read, const std::string& hf,
                  const HfHeader& h, std::vector<uint16_t>& q) {
    int n = t.vertices_per_side;
    size_t count = static_cast<size_t>(n) * n;
    q.assign(count, 0);
    if (h.end < hf.size() && hf[h.end] == ':') {
        size_t have = (hf.size() - h.end - 1) / 2;
        if (have < count)
            con_printf("Height field has %zu of %zu samples: the rest are at the lowest height\n", have, count);
        const auto* b = reinterpret_cast<const uint8_t*>(hf.data()) + h.end + 1;
        for (size_t k = 0; k < count && k < have; k++) q[k] = static_cast<uint16_t>(b[2 * k] | b[2 * k + 1] << 8);
        return;
    }
    std::string png;
    Image img;
    if (!read("terrain.png", png) || !decode_png(reinterpret_cast<const uint8_t*>(png.data()), png.size(), img)) {
        con_printf("Can't read '%.900s/terrain.png': the ground is flat at the lowest height\n", folder.c_str());
        return;
    }
    // A smaller image repeats its last column and row; a larger one is cropped.
    // Grey (or the first channel) is used; 8-bit samples are spread to 16 bits.
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            int v = image_sample(img, i < img.width ? i : img.width - 1, j < img.height ? j : img.height - 1, 0);
            q[static_cast<size_t>(i) + static_cast<size_t>(n) * j] =
                static_cast<uint16_t>(img.bit_depth == 16 ? v : v * 257);
        }
}

bool load_heights(Terrain& t, const std::string& folder, const TrackFileReader& read) {
    loading_step("Loading terrain");
    std::string hf;
    if (!read("terrain.hf", hf)) {
        con_printf("Can't open '%.950s'\n", (folder + "/terrain.hf").c_str());
        return false;
    }
    HfHeader h;
    if (!parse_hf_header(hf, h) || !std::isfinite(h.lowest) || !std::isfinite(h.highest) ||
        !setup_terrain_grid(t, h.e, h.s)) {
        con_printf("Bad height field parameters\n");
        con_printf("Error reading heights\n");
        return false;
    }
    loading_step("Loading heights");
    std::vector<uint16_t> q;
    read_samples(t, folder, read, hf, h, q);
    Ripemd160 digest;
    ripemd160_init(digest);
    for (size_t k = 0; k < q.size(); k++) {
        uint8_t b[2] = {static_cast<uint8_t>(q[k] & 255), static_cast<uint8_t>(q[k] >> 8)};
        ripemd160_update(digest, b, 2);
        t.heights[k] = h.lowest + (h.highest - h.lowest) * static_cast<float>(q[k]) / 65535.0f;
    }
    t.digest = ripemd160_final(digest);
    log_at(2, "%s\n", digest_hex(t.digest).c_str());
    t.base_heights = t.heights;
    update_height_range(t);
    return true;
}

bool load_shading(Terrain& t, const std::string& folder, const TrackFileReader& read) {
    loading_step("Loading shading");
    std::string bytes;
    bool halve = false;
    if (!read("shadingx2.ppm", bytes)) {
        if (!read("shading.ppm", bytes)) {
            con_printf("Can't open '%.950s'\n", (folder + "/shading.ppm").c_str());
            return false;
        }
        halve = true;
    }
    Image img;
    if (!decode_pnm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), img) || img.channels != 3 ||
        img.bit_depth != 8) {
        con_printf("Error reading shading\n");
        return false;
    }
    if (img.width != t.vertices_per_side || img.height != t.vertices_per_side) {
        con_printf("Bad shading dimensions (%dx%d)\n", img.width, img.height);
        return false;
    }
    for (size_t k = 0; k < t.shading.size(); k++)
        t.shading[k] = halve ? static_cast<uint8_t>(img.pixels[k] >> 1) : img.pixels[k];
    return true;
}

bool load_shadows(Terrain& t, const TrackFileReader& read) {
    loading_step("Loading shadows");
    std::string bytes;
    if (!read("shadows.pgm", bytes)) return true;  // every vertex fully lit
    Image img;
    if (!decode_pnm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), img) || img.channels != 1 ||
        img.bit_depth != 8) {
        con_printf("Error reading shadows\n");
        return false;
    }
    if (img.width != t.vertices_per_side || img.height != t.vertices_per_side) {
        con_printf("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
        return false;
    }
    for (size_t k = 0; k < t.shadow.size(); k++) t.shadow[k] = static_cast<uint8_t>(255 - img.pixels[k]);
    return true;
}

bool load_tiles(Terrain& t, const std::string& folder, const TrackFileReader& read) {
    loading_step("Loading tileinfo");
    log_texture_memory("before");
    std::string text;
    if (read("tileinfo", text)) {
        read_tileinfo(t, text);
    } else if (read("texturelist", text)) {
        read_texturelist(t, text);
    } else {
        con_printf("Can't open '%.950s'\n", (folder + "/texturelist").c_str());
        return false;
    }
    log_texture_memory("after");
    loading_step("Loading tilemap");
    std::string map;
    if (!read("tilemap", map)) {
        con_printf("Can't open '%.950s'\n", (folder + "/tilemap").c_str());
        return false;
    }
    if (map.size() < t.tile_map.size())
        con_printf("tilemap has %zu of %zu bytes: the rest are tile 0\n", map.size(), t.tile_map.size());
    for (size_t k = 0; k < t.tile_map.size() && k < map.size(); k++) t.tile_map[k] = static_cast<uint8_t>(map[k]);
    check_tiles(t);
    return true;
}

void fill_vertex_normals(Terrain& t) {
    loading_step("Creating terrain normals");
    int n = t.vertices_per_side;
    t.vertex_normals.assign(static_cast<size_t>(n) * n * 3, 0);
    t.vertex_normal_stale.assign(static_cast<size_t>(n) * n, 0);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            size_t v = static_cast<size_t>(i) + static_cast<size_t>(n) * j;
            Vec3 nv = terrain_vertex_normal(t, i, j);
            auto pack = [](float c) { return static_cast<uint8_t>(clampf(c * 127.0f, -127.0f, 127.0f) + 128.0f); };
            t.vertex_normals[3 * v] = pack(nv.x);
            t.vertex_normals[3 * v + 1] = static_cast<uint8_t>(255 - t.shadow[v]);
            t.vertex_normals[3 * v + 2] = pack(nv.z);
        }
}

// Reads a whole file through the files module; false when it cannot be
// opened (or is larger than any track file can be).
bool read_whole_file(const std::string& name, std::string& out) {
    out.clear();
    DataFile* f = open_data_file(name.c_str(), "rb");
    if (!f) return false;
    char block[65536];
    int got;
    while ((got = read_data_bytes(f, block, sizeof block)) > 0) {
        out.append(block, static_cast<size_t>(got));
        if (out.size() > MAX_TRACK_FILE) {
            con_printf("'%.900s' is too large\n", name.c_str());
            out.clear();
            break;
        }
    }
    close_data_file(f);
    return true;
}

}  // namespace

int load_terrain_from(Terrain& t, const std::string& folder, const TrackFileReader& read, int requested_method) {
    free_terrain(t);
    if (!load_heights(t, folder, read)) {
        free_terrain(t);
        return 0;
    }
    if (auto hook = terrain_hooks().setup_rendering) t.shader_path = hook(t, requested_method);
    if (!load_shading(t, folder, read) || !load_shadows(t, read) || !load_tiles(t, folder, read)) {
        free_terrain(t);
        return 0;
    }
    if (t.shader_path) fill_vertex_normals(t);
    t.folder = folder;
    return 1;
}

int load_terrain(Terrain& t, const std::string& folder, int requested_method) {
    TrackFileReader read = [&](const char* name, std::string& bytes) {
        return read_whole_file(folder + "/" + name, bytes);
    };
    return load_terrain_from(t, folder, read, requested_method);
}

int save_terrain_to(Terrain& t, const TrackFileWriter& write) {
    int n = t.vertices_per_side;
    if (n == 0) {
        con_printf("No terrain to save\n");
        return 0;
    }
    update_height_range(t);
    char head[160];
    std::snprintf(head, sizeof head, "%d %f %f %f\n", t.size_exponent, static_cast<double>(t.cell_size),
                  static_cast<double>(t.lowest), static_cast<double>(t.highest));
    if (!write("terrain.hf", head)) {
        con_printf("Can't open 'terrain.hf'\n");
        return 0;
    }
    // A flat field has no range: every sample is 0 (the lowest height).
    std::vector<uint16_t> q(static_cast<size_t>(n) * n, 0);
    double range = static_cast<double>(t.highest) - t.lowest;
    if (range > 0)
        for (size_t k = 0; k < q.size(); k++) {
            double v = std::floor((t.heights[k] - static_cast<double>(t.lowest)) / range * 65535.0 + 0.5);
            q[k] = static_cast<uint16_t>(v >= 0 ? (v <= 65535 ? v : 65535) : 0);
        }
    std::string png;
    if (!encode_png(q.data(), n, n, 1, 16, png) || !write("terrain.png", png)) {
        con_printf("Can't open 'terrain.png'\n");
        return 0;
    }
    if (auto hook = terrain_hooks().update_shading) hook(t);
    std::vector<uint8_t> doubled(t.shading.size());
    for (size_t k = 0; k < doubled.size(); k++)
        doubled[k] = t.shading[k] >= 128 ? 255 : static_cast<uint8_t>(t.shading[k] << 1);
    std::string ppm;
    if (!encode_pnm(doubled.data(), n, n, 3, ppm) || !write("shading.ppm", ppm)) {
        con_printf("Can't open 'shading.ppm'\n");
        return 0;
    }
    if (!encode_pnm(t.shading.data(), n, n, 3, ppm) || !write("shadingx2.ppm", ppm)) {
        con_printf("Can't open 'shadingx2.ppm'\n");
        return 0;
    }
    if (!write("tilemap", std::string(t.tile_map.begin(), t.tile_map.end()))) {
        con_printf("Can't open 'tilemap'\n");
        return 0;
    }
    return 1;
}

int save_terrain(Terrain& t) {
    // Back where it was loaded from: an "@" folder name lands in the home
    // folder, a path in place.
    TrackFileWriter write = [&](const char* name, const std::string& bytes) {
        return replace_file_contents((t.folder + "/" + name).c_str(), bytes);
    };
    return save_terrain_to(t, write);
}
