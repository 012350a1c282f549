// The kit's generator, noise, picture encoders and the quiet tree writer.
#include "tools/datakit/datakit_local.h"

#include "common/common.h"

#include "image/image.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace datakit {

uint64_t Rng::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

namespace {

uint32_t hash3(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x27D4EB2Du ^ uint32_t(x) * 0x85EBCA6Bu ^ uint32_t(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double lattice(int32_t x, int32_t y, uint32_t seed, int period) {
    if (period > 0) {
        x = ((x % period) + period) % period;
        y = ((y % period) + period) % period;
    }
    return double(hash3(x, y, seed) & 0xFFFFFF) / double(0x7FFFFF) - 1.0;
}

double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

}  // namespace

double value_noise(double x, double y, double cell, uint32_t seed, int period) {
    double u = x / cell, v = y / cell;
    double fu = std::floor(u), fv = std::floor(v);
    int32_t i = int32_t(fu), j = int32_t(fv);
    double a = fade(u - fu), b = fade(v - fv);
    double n00 = lattice(i, j, seed, period), n10 = lattice(i + 1, j, seed, period);
    double n01 = lattice(i, j + 1, seed, period), n11 = lattice(i + 1, j + 1, seed, period);
    double top = n00 + (n10 - n00) * a, bottom = n01 + (n11 - n01) * a;
    return top + (bottom - top) * b;
}

double fractal_noise(double x, double y, double cell, int octaves, uint32_t seed, int period) {
    double sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * value_noise(x, y, cell, seed + uint32_t(o) * 101u, period);
        norm += amp;
        amp *= 0.5;
        cell *= 0.5;
        period *= 2;
    }
    return sum / norm;
}

std::string fmt(const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) return {};
    if (size_t(n) < sizeof buf) return std::string(buf, size_t(n));
    std::string big(size_t(n) + 1, '\0');
    va_start(ap, format);
    std::vsnprintf(big.data(), big.size(), format, ap);
    va_end(ap);
    big.resize(size_t(n));
    return big;
}

// ---------------------------------------------------------------------------
// Pictures go through the image module's writers.

std::string png_file(const Picture& p) {
    std::string out;
    encode_png(p.pixels.data(), p.width, p.height, p.channels, 8, out);
    return out;
}

std::string pnm_file(const Picture& p) {
    std::string out;
    encode_pnm(p.pixels.data(), p.width, p.height, p.channels, out);
    return out;
}

// ---------------------------------------------------------------------------

int write_tree(const FileTree& tree, const std::string& root) {
    namespace fs = std::filesystem;
    int written = 0;
    for (const auto& [name, bytes] : tree) {
        fs::path path = fs::path(root) / name;
        {
            std::ifstream in(path, std::ios::binary);
            if (in) {
                std::ostringstream old;
                old << in.rdbuf();
                if (old.str() == bytes) continue;
            }
        }
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        // Write beside the target and rename, so a reader never sees half a file.
        fs::path temp = path;
        temp += ".tmp";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), std::streamsize(bytes.size()));
            if (!out) {
                con_printf("datakit: can't write '%s'\n", temp.c_str());
                return -1;
            }
        }
        fs::rename(temp, path, ec);
        if (ec) {
            con_printf("datakit: can't rename '%s': %s\n", temp.c_str(), ec.message().c_str());
            return -1;
        }
        ++written;
    }
    return written;
}

FileTree build_data_tree() {
    FileTree tree;
    add_shared_pictures(tree);
    add_part_shapes(tree);
    add_track_veviredoze(tree);
    return tree;
}

}  // namespace datakit
