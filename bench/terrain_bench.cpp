// Figures for ground sampling (called many times per tic by wheels and robots)
// against a bare vertex read, and for decoding a track-sized 16-bit PNG.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "image/image.h"
#include "terrain/terrain.h"

namespace {

Terrain& field() {
    static Terrain t = [] {
        Terrain f;
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(0.0f, 20.0f);
        std::vector<float> h(257 * 257);
        for (float& v : h) v = d(rng);
        make_terrain(f, 7, 0.5f, h);
        return f;
    }();
    return t;
}

std::vector<float> points() {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(-4.0f, 132.0f);
    std::vector<float> p(2048);
    for (float& v : p) v = d(rng);
    return p;
}

void BM_VertexRead(benchmark::State& state) {
    Terrain& t = field();
    std::vector<float> p = points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_vertex_height(t, static_cast<int>(p[k]), static_cast<int>(p[k + 1])));
        k = (k + 2) & 2047;
    }
}
BENCHMARK(BM_VertexRead);

void BM_Height(benchmark::State& state) {
    Terrain& t = field();
    std::vector<float> p = points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_height(t, p[k], p[k + 1]));
        k = (k + 2) & 2047;
    }
}
BENCHMARK(BM_Height);

void BM_SurfaceNormal(benchmark::State& state) {
    Terrain& t = field();
    std::vector<float> p = points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_surface_normal(t, p[k], p[k + 1]));
        k = (k + 2) & 2047;
    }
}
BENCHMARK(BM_SurfaceNormal);

void BM_DecodeTerrainPng(benchmark::State& state) {
    int n = 257;
    std::vector<uint16_t> q(static_cast<size_t>(n) * n);
    for (size_t k = 0; k < q.size(); k++) q[k] = static_cast<uint16_t>(k * 37);
    std::string png;
    encode_png(q.data(), n, n, 1, 16, png);
    for (auto _ : state) {
        Image img;
        benchmark::DoNotOptimize(decode_png(reinterpret_cast<const uint8_t*>(png.data()), png.size(), img));
    }
}
BENCHMARK(BM_DecodeTerrainPng);

}  // namespace

BENCHMARK_MAIN();
