// Height, normal and tile sampling over small in-memory fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "terrain/terrain.h"

namespace {

// A 9 x 9 field (e = 2) with cell size s and random heights in -5..5.
Terrain random_field(float s, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-5.0f, 5.0f);
    std::vector<float> h(81);
    for (float& v : h) v = d(rng);
    Terrain t;
    EXPECT_TRUE(make_terrain(t, 2, s, h));
    return t;
}

Terrain planar_field(float s, float a, float b, float c) {
    std::vector<float> h(81);
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) h[i + 9 * j] = a * i * s + b * j * s + c;
    Terrain t;
    EXPECT_TRUE(make_terrain(t, 2, s, h));
    return t;
}

TEST(TerrainGrid, QuantitiesFollowTheExponent) {
    Terrain t;
    ASSERT_TRUE(make_terrain(t, 7, 0.5f, {}));
    EXPECT_EQ(t.vertices_per_side, 257);
    EXPECT_EQ(terrain_tiles_per_side(t), 128);
    EXPECT_EQ(t.tile_map.size(), 128u * 128u);
    EXPECT_FLOAT_EQ(t.extent, 128.0f);
    EXPECT_FLOAT_EQ(t.tile_size, 1.0f);
}

TEST(TerrainGrid, UnusableExponentOrSpacingIsRefused) {
    const struct {
        int e;
        float s;
    } bad[] = {{-1, 1.0f}, {TERRAIN_MAX_EXPONENT + 1, 1.0f}, {40, 1.0f}, {2, 0.0f}, {2, -1.0f},
               {2, std::numeric_limits<float>::quiet_NaN()}, {2, std::numeric_limits<float>::infinity()},
               {2, 1e38f}};
    for (auto c : bad) {
        Terrain t;
        console_reset_count();
        EXPECT_FALSE(make_terrain(t, c.e, c.s, {})) << c.e << " " << c.s;
        EXPECT_EQ(t.vertices_per_side, 0);
        EXPECT_GT(console_message_count(), 0);
    }
}

TEST(TerrainHeight, ExactAtVertices) {
    for (float s : {1.0f, 0.5f, 0.3f, 2.75f}) {
        Terrain t = random_field(s, 7);
        for (int j = 0; j < 9; j++)
            for (int i = 0; i < 9; i++)
                EXPECT_EQ(terrain_height(t, i * s, j * s), t.heights[i + 9 * j]) << s << " " << i << "," << j;
    }
}

TEST(TerrainHeight, ExactOnPlanarFieldsAndFlatOutside) {
    Terrain t = planar_field(1.5f, 0.3f, -0.7f, 2.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-4.0f, 16.0f);
    auto clampx = [&](float x) { return std::fmin(std::fmax(x, 0.0f), t.extent); };
    for (int k = 0; k < 2000; k++) {
        float x = d(rng), z = d(rng);
        float want = 0.3f * clampx(x) - 0.7f * clampx(z) + 2.0f;
        EXPECT_NEAR(terrain_height(t, x, z), want, 1e-4f) << x << " " << z;
    }
}

TEST(TerrainHeight, ContinuousAcrossDiagonals) {
    // Walk random lines in small steps: a wrong triangle choice shows up as a
    // jump bigger than the steepest slope allows.
    Terrain t = random_field(1.0f, 11);
    float steep = 0;
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 8; i++) {
            steep = std::fmax(steep, std::fabs(t.heights[i + 1 + 9 * j] - t.heights[i + 9 * j]));
            steep = std::fmax(steep, std::fabs(t.heights[j + 9 * (i + 1)] - t.heights[j + 9 * i]));
        }
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(0.0f, 8.0f);
    const float step = 1e-3f;
    for (int line = 0; line < 50; line++) {
        float x0 = d(rng), z0 = d(rng), x1 = d(rng), z1 = d(rng);
        float len = std::hypot(x1 - x0, z1 - z0);
        int steps = static_cast<int>(len / step);
        float prev = terrain_height(t, x0, z0);
        for (int k = 1; k <= steps; k++) {
            float f = static_cast<float>(k) / steps;
            float h = terrain_height(t, x0 + f * (x1 - x0), z0 + f * (z1 - z0));
            ASSERT_LE(std::fabs(h - prev), 2.0f * steep * len / steps + 1e-4f) << line << " " << k;
            prev = h;
        }
    }
    // Points exactly on diagonals of both kinds of cells.
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++) {
            float f = 0.375f;
            bool even = ((i + j) & 1) == 0;
            float x = i + f, z = even ? j + f : j + 1 - f;
            float a = even ? t.heights[i + 9 * j] : t.heights[i + 9 * (j + 1)];
            float b = even ? t.heights[i + 1 + 9 * (j + 1)] : t.heights[i + 1 + 9 * j];
            EXPECT_NEAR(terrain_height(t, x, z), a + f * (b - a), 1e-5f);
        }
}

TEST(TerrainHeight, AnyInputIsSafe) {
    Terrain t = random_field(1.0f, 2);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float xs[] = {nan, inf, -inf, 3e38f, -3e38f, 2147483648.0f, -1e-30f, 8.0f, 8.0000005f};
    for (float x : xs)
        for (float z : xs) {
            EXPECT_TRUE(std::isfinite(terrain_height(t, x, z))) << x << " " << z;
            Vec3 n = terrain_surface_normal(t, x, z);
            EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.z)) << x << " " << z;
            int tile = terrain_tile_at(t, x, z);
            EXPECT_EQ(tile, 0);
        }
    EXPECT_EQ(terrain_height(t, inf, -inf), t.heights[8]);
    Terrain empty;
    EXPECT_EQ(terrain_height(empty, 1.0f, 1.0f), 0.0f);
    EXPECT_EQ(terrain_tile_at(empty, 1.0f, 1.0f), 0);
}

TEST(TerrainNormal, SurfaceNormalMatchesFiniteDifferences) {
    const float s = 0.75f;
    Terrain t = random_field(s, 9);
    const float eps = 1e-3f;
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++)
            for (float off : {1.0f / 3.0f, 2.0f / 3.0f}) {
                // Centroids of the two triangles of the cell.
                float x = (i + off) * s, z = (j + ((i + j) & 1 ? off : 1.0f - off)) * s;
                Vec3 n = terrain_surface_normal(t, x, z);
                EXPECT_FLOAT_EQ(n.y, s * s);
                float dhdx = (terrain_height(t, x + eps, z) - terrain_height(t, x - eps, z)) / (2 * eps);
                float dhdz = (terrain_height(t, x, z + eps) - terrain_height(t, x, z - eps)) / (2 * eps);
                EXPECT_NEAR(-n.x / n.y, dhdx, 2e-2f) << i << "," << j;
                EXPECT_NEAR(-n.z / n.y, dhdz, 2e-2f) << i << "," << j;
            }
    // Outside the grid the field is flat across the border.
    Vec3 n = terrain_surface_normal(t, -3.0f, -3.0f);
    EXPECT_FLOAT_EQ(n.x, 0.0f);
    EXPECT_FLOAT_EQ(n.z, 0.0f);
}

TEST(TerrainNormal, VertexNormalsOfAPlaneAndAfterAWrite) {
    const float a = 0.4f, b = -0.2f;
    Terrain t = planar_field(1.0f, a, b, 0.0f);
    Vec3 want = normalize(Vec3{-a, 1.0f, -b});
    for (int j : {-1, 0, 3, 4, 8, 9})
        for (int i : {-1, 0, 3, 4, 8, 9}) {
            Vec3 n = terrain_vertex_normal(t, i, j);
            EXPECT_NEAR(n.x, want.x, 1e-5f);
            EXPECT_NEAR(n.y, want.y, 1e-5f);
            EXPECT_NEAR(n.z, want.z, 1e-5f);
        }
    // Raising one vertex tilts the normals of its neighbours (stale cache refreshed).
    set_terrain_vertex_height(t, 4, 4, 10.0f);
    EXPECT_GT(terrain_vertex_normal(t, 5, 4).x, want.x + 0.1f);
    EXPECT_LT(terrain_vertex_normal(t, 3, 4).x, want.x - 0.1f);
    EXPECT_NEAR(length(terrain_vertex_normal(t, 4, 4)), 1.0f, 1e-5f);
}

TEST(TerrainWrite, UpdatesRangeFlagsAndIgnoresOutside) {
    Terrain t = planar_field(1.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(t.unsaved_changes, 0);
    set_terrain_vertex_height(t, 9, 0, 50.0f);
    set_terrain_vertex_height(t, -1, 0, 50.0f);
    set_terrain_vertex_height(t, 2, 2, std::numeric_limits<float>::quiet_NaN());
    set_terrain_vertex_height(t, 2, 2, std::numeric_limits<float>::infinity());
    EXPECT_EQ(t.unsaved_changes, 0);
    EXPECT_FLOAT_EQ(t.heights[20], 1.0f);
    EXPECT_FLOAT_EQ(t.highest, 1.0f);
    set_terrain_vertex_height(t, 8, 8, -3.0f);
    EXPECT_EQ(t.unsaved_changes, 7);
    EXPECT_FLOAT_EQ(t.lowest, -3.0f);
    EXPECT_FLOAT_EQ(terrain_height(t, 8.0f, 8.0f), -3.0f);
    EXPECT_FLOAT_EQ(terrain_height(t, 7.5f, 8.0f), -1.0f);
    EXPECT_FLOAT_EQ(terrain_base_height(t, 7.5f, 8.0f), 1.0f);
    EXPECT_FLOAT_EQ(t.base_heights[80], 1.0f);
    EXPECT_EQ(t.shading_stale[80], 1);
    EXPECT_EQ(t.shading_stale[70], 1);
    EXPECT_EQ(t.shading_stale[60], 0);
}

TEST(TerrainTiles, TileUnderAPointIsClamped) {
    Terrain t;
    ASSERT_TRUE(make_terrain(t, 2, 0.5f, {}));  // 4 x 4 tiles of 1 unit
    for (int k = 0; k < 16; k++) t.tile_map[k] = static_cast<uint8_t>(k);
    const struct {
        float x, z;
        int tile;
    } cases[] = {{0.5f, 0.5f, 0},  {1.0f, 0.0f, 1},  {3.99f, 0.2f, 3}, {0.2f, 3.5f, 12},
                 {-5.0f, -5.0f, 0}, {100.0f, 1.5f, 7}, {2.5f, 100.0f, 14}};
    for (auto c : cases) EXPECT_EQ(terrain_tile_at(t, c.x, c.z), c.tile) << c.x << " " << c.z;
    // Only tile 0 exists: the surface lookup never leaves the table.
    EXPECT_EQ(&terrain_surface_at(t, 3.5f, 3.5f), &terrain_surface_at(t, 100.0f, 1.0f));
}

}  // namespace
