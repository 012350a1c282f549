// The data kit: builds the default data tree in memory, then writes the files
// whose bytes changed. Everything here is deterministic: fixed seeds, the
// kit's own noise and random generator, fixed number formats.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "terrain/terrain.h"

namespace datakit {

// The whole tree: path relative to the data folder -> file bytes.
using FileTree = std::map<std::string, std::string>;

FileTree build_data_tree();
void add_track_veviredoze(FileTree& tree);
void add_part_shapes(FileTree& tree);
void add_shared_pictures(FileTree& tree);

// Writes every file of the tree under root (creating folders) unless a file
// with the same bytes is already there. Returns the number of files written,
// or -1 after printing a message when a file cannot be written.
int write_tree(const FileTree& tree, const std::string& root);

// ---------------------------------------------------------------------------
// Random numbers and noise (the kit's own, so the data never depends on a
// library's generator).
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next();          // splitmix64 step
    double uniform();         // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
};
// Value noise in about [-1, 1] with features of `cell` units, smooth
// (quintic fade). With period > 0 the noise repeats every `period` cells, for
// seamless textures.
double value_noise(double x, double y, double cell, uint32_t seed, int period = 0);
// Sum of octaves, each half the cell size and half the amplitude.
double fractal_noise(double x, double y, double cell, int octaves, uint32_t seed, int period = 0);

// ---------------------------------------------------------------------------
// Pictures.
struct Picture {
    int width = 0, height = 0, channels = 3;  // 1 grey, 3 RGB, 4 RGBA
    std::vector<uint8_t> pixels;              // row 0 first
    Picture() = default;
    Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
    const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * channels]; }
};
std::string png_file(const Picture& p);   // 8-bit grey, RGB or RGBA
std::string pnm_file(const Picture& p);   // binary PGM (1 channel) or PPM (3 channels)

// Formats a number with a fixed "%.4f"-style format, no locale.
[[gnu::format(printf, 1, 2)]] std::string fmt(const char* format, ...);

}  // namespace datakit

namespace datakit {

// ---------------------------------------------------------------------------
// The track "veviredoze", as designed before it is written out; tests walk it.
struct CentreSample {
    double x, z;        // world position of the centre line
    double dx, dz;      // unit heading
    double s;           // arc length from the line's start, feet
    double curvature;   // 1/radius, positive in a right-hand turn
    double half_width;  // riding surface each side of the centre
};
struct Checkpoint {
    double x, z, dx, dz, radius;
};
// One jump: where its lip is on the loop, the face angle there, and the
// stretch of the loop it should land on.
struct Jump {
    const char* name;
    double lip_s;                    // loop arc length of the lip
    double land_from_s, land_to_s;   // landing surface (slope or table)
};
struct TrackDesign {
    int size_exponent = 0;
    double cell = 0;
    int vertices = 0;                      // per side
    std::vector<float> heights;            // vertices x vertices, index i + n j
    std::vector<CentreSample> loop, chute; // 1 ft spacing; the chute ends where it joins loop s = 0
    std::vector<Checkpoint> checkpoints;
    std::vector<int> first_lap, normal_lap;
    std::vector<Jump> jumps;
    double gate_x = 0, gate_z = 0, gate_angle = 0, gate_spacing = 0;
    int gate_count = 0;
    Terrain ground;                        // the same heights, for sampling
    double height_at(double x, double z) const;  // the game's own sampling
};
TrackDesign design_veviredoze();

}  // namespace datakit
