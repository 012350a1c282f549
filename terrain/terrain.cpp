// The height field: grid set-up, sampling, normals and height writes.
#include "terrain/terrain.h"

#include <cmath>

#include "terrain/terrain_local.h"

namespace {

TerrainHooks g_hooks;

// A grid coordinate (x / s) made safe for conversion to int: NaN becomes 0 and
// anything beyond one cell outside the grid is pulled in to it. Heights are
// flat beyond the edges, so the clamp changes no result.
float safe_grid_coord(float u, int n) {
    if (!(u >= -1.0f)) return u != u ? 0.0f : -1.0f;  // NaN or below
    if (u > static_cast<float>(n)) return static_cast<float>(n);
    return u;
}

struct CellPoint {
    int i, j;      // cell
    float fu, fv;  // position inside the cell, 0..1
};

CellPoint cell_point(const Terrain& t, float x, float z) {
    float u = safe_grid_coord(x / t.cell_size, t.vertices_per_side);
    float v = safe_grid_coord(z / t.cell_size, t.vertices_per_side);
    CellPoint c;
    c.i = static_cast<int>(std::floor(u));
    c.j = static_cast<int>(std::floor(v));
    c.fu = u - static_cast<float>(c.i);
    c.fv = v - static_cast<float>(c.j);
    return c;
}

// Which triangle of the cell holds the point (0 or 1).
int triangle_of(const CellPoint& c) {
    if ((c.i + c.j) & 1) return c.fu + c.fv <= 1.0f ? 0 : 1;
    return (1.0f - c.fu) + c.fv <= 1.0f ? 1 : 0;
}

}  // namespace

void set_terrain_hooks(const TerrainHooks& hooks) { g_hooks = hooks; }
const TerrainHooks& terrain_hooks() { return g_hooks; }

// Height change across one cell along x (dx) and z (dz) on the plane of
// triangle tri of cell (i, j); vertex indices are clamped.
void triangle_slopes(const Terrain& t, int i, int j, int tri, float& dx, float& dz) {
    auto H = [&](int a, int b) { return terrain_vertex_height(t, a, b); };
    if ((i + j) & 1) {
        if (tri == 0) {
            dx = H(i + 1, j) - H(i, j);
            dz = H(i, j + 1) - H(i, j);
        } else {
            dx = H(i + 1, j + 1) - H(i, j + 1);
            dz = H(i + 1, j + 1) - H(i + 1, j);
        }
    } else {
        if (tri == 1) {
            dx = H(i + 1, j) - H(i, j);
            dz = H(i + 1, j + 1) - H(i + 1, j);
        } else {
            dx = H(i + 1, j + 1) - H(i, j + 1);
            dz = H(i, j + 1) - H(i, j);
        }
    }
}

// Linear interpolation over the triangle holding (x, z), from one of the
// terrain's height arrays (current or base), with vertex indices clamped.
static float interpolate(const Terrain& t, const std::vector<float>& heights, float x, float z) {
    if (t.vertices_per_side == 0) return 0.0f;
    CellPoint c = cell_point(t, x, z);
    int i = c.i, j = c.j, n = t.vertices_per_side;
    float fu = c.fu, fv = c.fv;
    auto H = [&](int a, int b) {
        a = a < 0 ? 0 : (a >= n ? n - 1 : a);
        b = b < 0 ? 0 : (b >= n ? n - 1 : b);
        return heights[static_cast<size_t>(a) + static_cast<size_t>(n) * static_cast<size_t>(b)];
    };
    if ((i + j) & 1) {
        if (fu + fv <= 1.0f)
            return H(i, j) + fu * (H(i + 1, j) - H(i, j)) + fv * (H(i, j + 1) - H(i, j));
        return H(i + 1, j + 1) + (1.0f - fu) * (H(i, j + 1) - H(i + 1, j + 1)) +
               (1.0f - fv) * (H(i + 1, j) - H(i + 1, j + 1));
    }
    // The same plane as from corner (i+1, j), written from corner (i, j) so
    // that vertices come back exactly.
    if ((1.0f - fu) + fv <= 1.0f)
        return H(i, j) + fu * (H(i + 1, j) - H(i, j)) + fv * (H(i + 1, j + 1) - H(i + 1, j));
    return H(i, j + 1) + fu * (H(i + 1, j + 1) - H(i, j + 1)) + (1.0f - fv) * (H(i, j) - H(i, j + 1));
}

float terrain_height(const Terrain& t, float x, float z) { return interpolate(t, t.heights, x, z); }

float terrain_base_height(const Terrain& t, float x, float z) { return interpolate(t, t.base_heights, x, z); }

Vec3 terrain_surface_normal(const Terrain& t, float x, float z) {
    if (t.vertices_per_side == 0) return {0.0f, 1.0f, 0.0f};
    CellPoint c = cell_point(t, x, z);
    float dx, dz;
    triangle_slopes(t, c.i, c.j, triangle_of(c), dx, dz);
    float s = t.cell_size;
    return {-dx * s, s * s, -dz * s};
}

// Triangle index from a triangle column (0 .. 2n-3) and cell row (0 .. n-2).
static size_t triangle_index(const Terrain& t, int col, int row) {
    return static_cast<size_t>(col) + static_cast<size_t>(2 * (t.vertices_per_side - 1)) * row;
}

static Vec3 triangle_normal(Terrain& t, int col, int row) {
    size_t k = triangle_index(t, col, row);
    if (t.triangle_normal_stale[k]) {
        float dx, dz;
        triangle_slopes(t, col >> 1, row, col & 1, dx, dz);
        float s = t.cell_size;
        t.triangle_normals[k] = normalize(Vec3{-dx * s, s * s, -dz * s});
        t.triangle_normal_stale[k] = 0;
    }
    return t.triangle_normals[k];
}

Vec3 terrain_vertex_normal(Terrain& t, int i, int j) {
    int n = t.vertices_per_side;
    if (n < 2) return {0.0f, 1.0f, 0.0f};
    i = i < 0 ? 0 : (i >= n ? n - 1 : i);
    j = j < 0 ? 0 : (j >= n ? n - 1 : j);
    // Triangles with this vertex as a corner: all 8 around it when i + j is
    // even (it lies on all four diagonals), 4 when odd. Border triangles are
    // clamped into the grid and may count twice.
    static const int even[8][2] = {{-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {-2, 0}, {-1, 0}, {0, 0}, {1, 0}};
    static const int odd[4][2] = {{-1, -1}, {0, -1}, {-1, 0}, {0, 0}};
    const int (*list)[2] = ((i + j) & 1) ? odd : even;
    int count = ((i + j) & 1) ? 4 : 8;
    Vec3 sum;
    for (int k = 0; k < count; k++) {
        int col = 2 * i + list[k][0], row = j + list[k][1];
        col = col < 0 ? 0 : (col > 2 * n - 3 ? 2 * n - 3 : col);
        row = row < 0 ? 0 : (row > n - 2 ? n - 2 : row);
        sum = sum + triangle_normal(t, col, row);
    }
    return normalize(sum);
}

void set_terrain_vertex_height(Terrain& t, int i, int j, float height) {
    int n = t.vertices_per_side;
    // A height that is not a number would poison every sample around it.
    if (i < 0 || j < 0 || i >= n || j >= n || !std::isfinite(height)) return;
    t.unsaved_changes = 7;
    if (height > t.highest) t.highest = height;
    if (height < t.lowest) t.lowest = height;
    t.heights[static_cast<size_t>(i) + static_cast<size_t>(n) * j] = height;
    for (int b = j - 1; b <= j + 1; b++)
        for (int a = i - 1; a <= i + 1; a++) {
            if (a < 0 || b < 0 || a >= n || b >= n) continue;
            size_t v = static_cast<size_t>(a) + static_cast<size_t>(n) * b;
            t.shading_stale[v] = 1;
            if (!t.vertex_normal_stale.empty()) t.vertex_normal_stale[v] = 1;
        }
    for (int row = j - 1; row <= j; row++)
        for (int col = 2 * i - 2; col <= 2 * i + 1; col++) {
            if (row < 0 || row > n - 2 || col < 0 || col > 2 * n - 3) continue;
            t.triangle_normal_stale[triangle_index(t, col, row)] = 1;
        }
}

static int clamp_tile_coord(float v, int tiles) {
    if (!(v >= 0.0f)) return 0;  // NaN or negative
    if (v >= static_cast<float>(tiles)) return tiles - 1;
    return static_cast<int>(v);
}

int terrain_tile_at(const Terrain& t, float x, float z) {
    if (t.vertices_per_side == 0 || t.tile_map.empty()) return 0;
    int tiles = terrain_tiles_per_side(t);
    int col = clamp_tile_coord(std::floor(x / t.tile_size), tiles);
    int row = clamp_tile_coord(std::floor(z / t.tile_size), tiles);
    return t.tile_map[static_cast<size_t>(col) + static_cast<size_t>(tiles) * row];
}

const SurfaceTile& terrain_surface_at(const Terrain& t, float x, float z) {
    static const SurfaceTile fallback = [] {
        SurfaceTile s = default_surface_tile();
        s.erode.limit_count = 1;
        s.erode.limit_outer[0] = 1.0f;
        s.erode.limit_inner[0] = 1.0f;
        return s;
    }();
    int k = terrain_tile_at(t, x, z);
    if (k < 0 || k >= terrain_tile_count(t)) return fallback;
    return t.tiles[k];
}

// Sets up the grid quantities and arrays; heights all 0.
bool setup_terrain_grid(Terrain& t, int e, float s) {
    if (e < 0 || e > TERRAIN_MAX_EXPONENT) {
        con_printf("Bad height field size exponent %d (0 to %d)\n", e, TERRAIN_MAX_EXPONENT);
        return false;
    }
    if (!(s > 0.0f) || !std::isfinite(s) || !std::isfinite(s * static_cast<float>(2 << e))) {
        con_printf("Bad height field cell size %g\n", static_cast<double>(s));
        return false;
    }
    int n = (2 << e) + 1;
    size_t verts = static_cast<size_t>(n) * n;
    size_t tris = 2 * static_cast<size_t>(n - 1) * (n - 1);
    t.size_exponent = e;
    t.vertices_per_side = n;
    t.cell_size = s;
    t.inverse_cell_size = 1.0f / s;
    t.tile_size = 2.0f * s;
    t.extent = static_cast<float>(n - 1) * s;
    t.heights.assign(verts, 0.0f);
    t.base_heights.assign(verts, 0.0f);
    t.triangle_normals.assign(tris, Vec3{0.0f, 1.0f, 0.0f});
    t.triangle_normal_stale.assign(tris, 1);
    t.shading.assign(verts * 3, 128);
    t.shading_stale.assign(verts, 0);
    t.shadow.assign(verts, 0);
    t.tile_map.assign(static_cast<size_t>(1) << (2 * e), 0);
    return true;
}

// Running extremes from the current heights.
void update_height_range(Terrain& t) {
    if (t.heights.empty()) return;
    t.lowest = t.highest = t.heights[0];
    for (float h : t.heights) {
        if (h < t.lowest) t.lowest = h;
        if (h > t.highest) t.highest = h;
    }
}

void free_terrain(Terrain& t) {
    if (g_hooks.free_rendering && t.vertices_per_side) g_hooks.free_rendering(t);
    t = Terrain{};
}

bool make_terrain(Terrain& t, int e, float s, const std::vector<float>& heights) {
    free_terrain(t);
    if (!setup_terrain_grid(t, e, s)) {
        t = Terrain{};
        return false;
    }
    size_t m = heights.size() < t.heights.size() ? heights.size() : t.heights.size();
    for (size_t k = 0; k < m; k++) t.heights[k] = heights[k];
    t.base_heights = t.heights;
    update_height_range(t);
    t.tiles.assign(1, default_surface_tile());
    finish_tile(t.tiles[0]);
    return true;
}
