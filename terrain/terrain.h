// Terrain: the height field over a square grid, the tile map laid over it,
// and the surface tile records that say how each tile grips, rolls, throws
// roost and deforms.
//
// Coordinates: world x runs along grid columns, world z along grid rows, y is
// up. Vertex (column i, row j) lies at x = i * s, z = j * s (s = cell size).
// Each cell (i, j) is split into two triangles along a diagonal that
// alternates like a chessboard: from (i, j) to (i+1, j+1) when i + j is even,
// from (i+1, j) to (i, j+1) when odd. Triangle 0 of a cell has its
// off-diagonal corner in column i, triangle 1 in column i+1. Every consumer of
// the ground (sampling, colliders, rendering, editor) uses this same split.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/common.h"

// ---------------------------------------------------------------------------
// Surface tiles (per track; read from "tileinfo" or "texturelist").

inline constexpr int MAX_SURFACE_TILES = 256;
inline constexpr int FRICTION_POINTS = 8;
inline constexpr int ROLL_RESIST_POINTS = 8;
inline constexpr int ROOST_SLOTS = 4;
inline constexpr int ERODE_LIMITS = 8;
inline constexpr float FRICTION_SPEED_EMPTY = 1048576.0f;  // marks an unused friction entry
inline constexpr float ROLL_SPEED_EMPTY = 0.0f;             // marks an unused roll entry

enum RoostKind : int32_t { ROOST_OFF = 0, ROOST_ROOST = 1, ROOST_SPLASH = 2 };

// One kind of particle thrown up by a wheel on this surface.
struct RoostSlot {
    int32_t kind = ROOST_OFF;
    int32_t texture = 0;                 // texture handle (0 headless)
    std::string texture_name = "@roost.png";
    float count = 10.0f;
    float dig = 1.0f;
    float slip_threshold = 4.0f;         // ft/s
    float slow_angle = 1.5707964f;       // radians
    float fast_angle = 0.19634955f;      // radians
    float slow_speed = 0.0f;             // ft/s
    float fast_speed = 64.0f;            // ft/s
    float size = 0.25f;
    float grow = 4.0f;
    float drag = 0.5f;
    float vscale = 1.0f;
    float randomize = 15.0f;
    std::array<uint8_t, 4> colour = {255, 255, 255, 255};  // r, g, b, a
    std::array<int8_t, 4> fade = {0, 0, 0, -2};            // change per tic, r, g, b, a
};

// How the ground under a wheel deforms (read by the deformation code).
struct ErodeParams {
    float erode_depth = 1.0f;
    float erode_lower = 50.0f;
    float erode_upper = 150.0f;
    float erode_displacement = 2.0f;
    float erode_radius = 4.0f;
    float erode_inner_depth = 0.125f;
    float erode_inner_radius = 2.0f;
    float erode_min_slope = -0.5f;
    float erode_max_slope = 0.5f;
    float erode_off_speed = 10.0f;
    float erode_on_speed = 15.0f;
    float erode_slip_lower = 0.0f;
    float erode_slip_upper = 5.0f;
    float erode_slip_base_scale = 1.0f;
    float erode_slip_scale = 1.5f;
    float erode_downhill_scale = 0.0f;
    std::array<float, ERODE_LIMITS> limit_depth = {};   // ascending
    std::array<float, ERODE_LIMITS> limit_outer = {};
    std::array<float, ERODE_LIMITS> limit_inner = {};
    float erode_project_to_ground = 1.0f;
    float erode_lateral_scale = 1.0f;
    float erode_front_scale = 1.0f;
    int32_t limit_count = 0;  // a finished tile has at least the limit (0, 1, 1)
};

struct SurfaceTile {
    std::string name;          // at most 47 characters; defaults to the texture name
    std::string texture_name;  // as given, e.g. "@dirt.png"
    int32_t texture = 0;       // texture handle from the hooks (0 headless)
    int32_t friction_count = 0;
    std::array<float, FRICTION_POINTS> friction_coefficient;  // default 1.0 each
    std::array<float, FRICTION_POINTS> friction_speed;        // ascending, ft/s; empty = FRICTION_SPEED_EMPTY
    int32_t slip_function = 0;                                // 0, 1 or 2 (other values act as 0)
    int32_t roll_resist_count = 0;
    std::array<float, ROLL_RESIST_POINTS> roll_low;           // default 5.0 each
    std::array<float, ROLL_RESIST_POINTS> roll_high;          // default 15.0 each
    std::array<float, ROLL_RESIST_POINTS> roll_speed;         // ascending, ft/s; empty = 0
    std::array<RoostSlot, ROOST_SLOTS> roost;
    ErodeParams erode;
    int32_t transition_code = 0;  // editor's automatic tile painting
};

// A record filled with every default (friction 1.0 from 1 ft/s, roll (5, 15),
// roost slots off, default erode record without limits).
SurfaceTile default_surface_tile();
void reset_tile_defaults(SurfaceTile& tile);

// ---------------------------------------------------------------------------
// The terrain (lives from one track load to the next).

struct Terrain {
    std::vector<float> heights;       // n * n, index i + n * j
    std::vector<float> base_heights;  // as loaded; dig depth is measured against them
    std::vector<Vec3> triangle_normals;         // 2 per cell, index (2 i + t) + 2 (n-1) j
    std::vector<uint8_t> triangle_normal_stale; // 1 per triangle
    std::vector<uint8_t> shading;        // 3 bytes per vertex, half intensity (255 means 2.0)
    std::vector<uint8_t> shading_stale;  // 1 per vertex
    std::vector<uint8_t> vertex_normals;       // 3 bytes per vertex, only with the shader path
    std::vector<uint8_t> vertex_normal_stale;  // 1 per vertex, only with the shader path
    std::vector<uint8_t> shadow;    // per vertex, 255 - light fraction (0 = fully lit)
    std::vector<uint8_t> tile_map;  // 2^e * 2^e, index column + 2^e * row
    int32_t size_exponent = 0;      // e
    int32_t vertices_per_side = 0;  // n = 2^(e+1) + 1; 0 when empty
    float extent = 0;               // 2^(e+1) * s
    float cell_size = 0;            // s
    float inverse_cell_size = 0;
    float tile_size = 0;            // 2 s
    float highest = 0;              // running maximum
    float lowest = 0;               // running minimum
    std::vector<SurfaceTile> tiles; // at most MAX_SURFACE_TILES, never empty once loaded
    int32_t modification_count = 0;
    int32_t unsaved_changes = 0;    // set to 7 by every height write
    bool shader_path = false;       // vertex normals kept up to date
    std::string folder;             // "@" name of the track folder it came from
    std::array<uint8_t, 20> digest = {};  // RIPEMD-160 of the samples (filled once common has it)
};

inline constexpr int TERRAIN_MAX_EXPONENT = 11;  // n = 4097: far above any real track

inline int terrain_tiles_per_side(const Terrain& t) { return 1 << t.size_exponent; }
inline int terrain_tile_count(const Terrain& t) { return static_cast<int>(t.tiles.size()); }

// Builds a terrain in memory (tests, tools): exponent e, cell size s, heights
// n * n (n = 2^(e+1) + 1; missing values are 0), one default surface tile,
// all tiles 0, fully lit neutral shading. False (and an empty terrain) when e
// or s is unusable.
bool make_terrain(Terrain& t, int e, float s, const std::vector<float>& heights);

// Releases everything and leaves an empty terrain.
void free_terrain(Terrain& t);

// Interpolated ground height at (x, z); flat beyond the grid's edges. Any
// input (NaN, huge) is safe. 0 for an empty terrain.
float terrain_height(const Terrain& t, float x, float z);

// The same over the heights as loaded (dig depth is measured against them).
float terrain_base_height(const Terrain& t, float x, float z);

// Upward normal of the triangle under (x, z), not normalised: y equals s^2.
Vec3 terrain_surface_normal(const Terrain& t, float x, float z);

// Unit normal of vertex (i, j) (indices clamped), refreshing stale triangle
// normals on the way.
Vec3 terrain_vertex_normal(Terrain& t, int i, int j);

// The one way heights change after loading. Ignored outside the grid and for
// heights that are not finite.
void set_terrain_vertex_height(Terrain& t, int i, int j, float height);

// Tile number under (x, z), clamped to the tile map.
int terrain_tile_at(const Terrain& t, float x, float z);

// The surface record under (x, z) (a default record for an empty terrain).
const SurfaceTile& terrain_surface_at(const Terrain& t, float x, float z);

// Vertex height with indices clamped to the grid.
inline float terrain_vertex_height(const Terrain& t, int i, int j) {
    int n = t.vertices_per_side;
    i = i < 0 ? 0 : (i >= n ? n - 1 : i);
    j = j < 0 ? 0 : (j >= n ? n - 1 : j);
    return t.heights[static_cast<size_t>(i) + static_cast<size_t>(n) * static_cast<size_t>(j)];
}

// ---------------------------------------------------------------------------
// Hooks filled in by the program when something must be shown or uploaded;
// all empty when headless.
struct TerrainHooks {
    void (*loading_step)(const char* label) = nullptr;          // loading screen label
    int (*load_texture)(const char* name) = nullptr;            // texture handle, 0 on failure
    bool (*setup_rendering)(Terrain& t, int requested_method) = nullptr;  // true: shader path
    void (*free_rendering)(Terrain& t) = nullptr;
    void (*update_shading)(Terrain& t) = nullptr;  // recomputes stale shading before saving
    // The platform log and the verbose level (1 --debug, 2 --super-debug):
    // level 2 logs the height digest, level 1 the texture memory around the
    // ground tiles.
    void (*log)(const char* text) = nullptr;
    int verbose = 0;
    unsigned long (*texture_memory)() = nullptr;  // bytes of texture memory in use
};
void set_terrain_hooks(const TerrainHooks& hooks);

// ---------------------------------------------------------------------------
// Loading and saving.

// Supplies the bytes of one track file by its short name ("terrain.hf");
// false when the file does not exist.
using TrackFileReader = std::function<bool(const char* name, std::string& bytes)>;
// Stores the bytes of one track file by its short name; false on failure.
using TrackFileWriter = std::function<bool(const char* name, const std::string& bytes)>;

// Loads a track's terrain from the track folder (an "@" name). 1 on success,
// 0 on failure with the message printed and the terrain empty.
int load_terrain(Terrain& t, const std::string& folder, int requested_method);
// The same over any source of files; folder is only used in messages.
int load_terrain_from(Terrain& t, const std::string& folder, const TrackFileReader& read,
                      int requested_method);

// Writes "terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm" and
// "tilemap" into the terrain's folder. 1 on success, 0 on failure.
int save_terrain(Terrain& t);
int save_terrain_to(Terrain& t, const TrackFileWriter& write);

// Surface readers (text of the whole file). Both always succeed; problems are
// warnings on the console. They replace t.tiles.
int read_tileinfo(Terrain& t, const std::string& text);
int read_texturelist(Terrain& t, const std::string& text);
// Transition codes of all tiles from their texture names.
void compute_transition_codes(Terrain& t);
