// Internals shared by the terrain's source files.
#pragma once

#include "terrain/terrain.h"

const TerrainHooks& terrain_hooks();
void triangle_slopes(const Terrain& t, int i, int j, int tri, float& dx, float& dz);
bool setup_terrain_grid(Terrain& t, int e, float s);
void update_height_range(Terrain& t);
// The last steps of "addtile": name from the texture, points sorted by speed,
// the single erode limit (0, 1, 1) when none was given.
void finish_tile(SurfaceTile& tile);
// Makes sure there is at least one tile and every tile map byte names one.
void check_tiles(Terrain& t);
