// Loading and saving a track's terrain files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include <unistd.h>
#include <zlib.h>

#include "files/files.h"

#include "image/image.h"
#include "terrain/terrain.h"

namespace {

using Files = std::map<std::string, std::string>;

TrackFileReader reader(const Files& files) {
    return [&files](const char* name, std::string& bytes) {
        auto it = files.find(name);
        if (it == files.end()) return false;
        bytes = it->second;
        return true;
    };
}

std::string ppm(const char* magic, int w, int h, int channels, uint8_t value) {
    std::string s = std::string(magic) + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    return s + std::string(static_cast<size_t>(w) * h * channels, static_cast<char>(value));
}

// Sample q of vertex k of the 9 x 9 fixture.
uint16_t fixture_sample(int k) { return static_cast<uint16_t>((k * 7919) % 65536); }

std::string inline_samples(int n) {
    std::string s = ":";
    for (int k = 0; k < n * n; k++) {
        s += static_cast<char>(fixture_sample(k) & 255);
        s += static_cast<char>(fixture_sample(k) >> 8);
    }
    return s;
}

// A complete 9 x 9 track (e = 2, cell 1.5, heights -2..6) with two tiles.
Files fixture() {
    Files f;
    f["terrain.hf"] = "2 1.5 -2 6\n" + inline_samples(9);
    f["shadingx2.ppm"] = ppm("P6", 9, 9, 3, 100);
    f["shadows.pgm"] = ppm("P5", 9, 9, 1, 55);
    f["tileinfo"] = "name dirt\ntexture @dirt.png\naddtile\ntexture @grass.png\naddtile\n";
    std::string map(16, '\0');
    map[5] = 1;
    f["tilemap"] = map;
    return f;
}

float fixture_height(int k) { return -2.0f + 8.0f * static_cast<float>(fixture_sample(k)) / 65535.0f; }

TEST(TerrainLoad, FixtureLoadsWithoutAWord) {
    Files f = fixture();
    Terrain t;
    console_reset_count();
    ASSERT_EQ(load_terrain_from(t, "@tracks/fix", reader(f), 0), 1);
    EXPECT_EQ(console_message_count(), 0);
    ASSERT_EQ(t.vertices_per_side, 9);
    for (int k = 0; k < 81; k++) EXPECT_FLOAT_EQ(t.heights[k], fixture_height(k)) << k;
    EXPECT_EQ(t.base_heights, t.heights);
    EXPECT_EQ(t.shading[40], 100);
    EXPECT_EQ(t.shadow[40], 200);
    ASSERT_EQ(terrain_tile_count(t), 2);
    EXPECT_EQ(t.tiles[0].name, "dirt");
    EXPECT_EQ(t.tiles[1].name, "@grass.png");
    EXPECT_EQ(terrain_tile_at(t, 1.0f * 3.0f + 0.1f, 3.1f), 1);  // tile (1, 1)
    EXPECT_EQ(t.folder, "@tracks/fix");
    // The digest covers the samples, low byte first.
    std::string raw = inline_samples(9).substr(1);
    EXPECT_EQ(t.digest, ripemd160(raw.data(), raw.size()));
}

// A 16-bit greyscale PNG made by a tool outside the program.
bool python_png(const std::filesystem::path& file, int w, int h, const std::function<int(int, int)>& value) {
    std::string rows;
    for (int j = 0; j < h; j++) {
        rows += "[";
        for (int i = 0; i < w; i++) rows += std::to_string(value(i, j)) + ",";
        rows += "],";
    }
    std::filesystem::path script = file.string() + ".py";
    std::ofstream(script) << "import struct, zlib\n"
                             "rows = [" << rows << "]\n"
                             "w, h = " << w << ", " << h << "\n"
                             "raw = b''.join(b'\\x00' + b''.join(struct.pack('>H', v) for v in r) for r in rows)\n"
                             "def chunk(t, b):\n"
                             "    return struct.pack('>I', len(b)) + t + b + struct.pack('>I', zlib.crc32(t + b) & 0xffffffff)\n"
                             "png = b'\\x89PNG\\r\\n\\x1a\\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 16, 0, 0, 0, 0))\n"
                             "png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')\n"
                             "open('" << file.string() << "', 'wb').write(png)\n";
    std::string cmd = "python3 '" + script.string() + "'";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(file);
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() / ("terrain_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
};

TEST(TerrainLoad, OutsidePngGivesTheSameFieldAsInlineSamples) {
    TempDir dir;
    if (!python_png(dir.path / "terrain.png", 9, 9, [](int i, int j) { return fixture_sample(i + 9 * j); }))
        GTEST_SKIP() << "python3 is not available";
    Files f = fixture();
    for (auto& [name, bytes] : f)
        if (name != "terrain.hf") dir.put(name, bytes);
    dir.put("terrain.hf", "2 1.5 -2 6\n");
    Terrain from_png, from_inline;
    console_reset_count();
    ASSERT_EQ(load_terrain(from_png, dir.path.string(), 0), 1);  // through the files module
    EXPECT_EQ(console_message_count(), 0);
    ASSERT_EQ(load_terrain_from(from_inline, "x", reader(f), 0), 1);
    EXPECT_EQ(from_png.heights, from_inline.heights);
    EXPECT_EQ(from_png.digest, from_inline.digest);

    // A smaller image repeats its last column and row.
    ASSERT_TRUE(python_png(dir.path / "terrain.png", 3, 2, [](int i, int j) { return 1000 * (i + 3 * j); }));
    Terrain small;
    ASSERT_EQ(load_terrain(small, dir.path.string(), 0), 1);
    const struct {
        int i, j, q;
    } cases[] = {{0, 0, 0}, {2, 0, 2000}, {8, 0, 2000}, {1, 1, 4000}, {8, 8, 5000}, {0, 8, 3000}};
    for (auto c : cases)
        EXPECT_FLOAT_EQ(terrain_vertex_height(small, c.i, c.j), -2.0f + 8.0f * c.q / 65535.0f) << c.i << "," << c.j;
}

TEST(TerrainLoad, FindsAGzippedHeightFieldThroughTheDataFolders) {
    TempDir dir;
    std::filesystem::create_directories(dir.path / "data/tracks/gz");
    std::filesystem::create_directories(dir.path / "home");
    Files f = fixture();
    for (auto& [name, bytes] : f)
        if (name != "terrain.hf") dir.put("data/tracks/gz/" + name, bytes);
    gzFile gz = gzopen((dir.path / "data/tracks/gz/terrain.hf.gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, f["terrain.hf"].data(), static_cast<unsigned>(f["terrain.hf"].size()));
    gzclose(gz);
    std::string old_home = getenv("QZ_HOME") ? getenv("QZ_HOME") : "";
    std::string old_xdg = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
    setenv("QZ_HOME", (dir.path / "data").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir.path / "home").c_str(), 1);
    reset_search_folders();
    Terrain t, want;
    console_reset_count();
    int ok = load_terrain(t, "@tracks/gz", 0);
    int messages = console_message_count();
    setenv("QZ_HOME", old_home.c_str(), 1);
    if (old_xdg.empty()) unsetenv("XDG_DATA_HOME");
    else setenv("XDG_DATA_HOME", old_xdg.c_str(), 1);
    reset_search_folders();
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(messages, 0);
    ASSERT_EQ(load_terrain_from(want, "x", reader(f), 0), 1);
    EXPECT_EQ(t.heights, want.heights);
}

TEST(TerrainSave, SaveThenLoadKeepsHeightsWithinHalfAStep) {
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> d(-3.0f, 17.0f);
    std::vector<float> h(81);
    for (float& v : h) v = d(rng);
    for (bool flat : {false, true}) {
        Terrain t;
        ASSERT_TRUE(make_terrain(t, 2, 0.75f, flat ? std::vector<float>(81, 4.25f) : h));
        t.shading[7] = 200;
        t.shading[8] = 60;
        t.tiles.push_back(default_surface_tile());
        t.tile_map[3] = 1;
        Files out;
        auto writer = [&out](const char* name, const std::string& bytes) {
            out[name] = bytes;
            return true;
        };
        ASSERT_EQ(save_terrain_to(t, writer), 1);
        EXPECT_EQ(out["terrain.hf"].back(), '\n');
        out["tileinfo"] = "addtile\naddtile\n";
        Terrain back;
        console_reset_count();
        ASSERT_EQ(load_terrain_from(back, "x", reader(out), 0), 1);
        EXPECT_EQ(console_message_count(), 0);
        float tol = (t.highest - t.lowest) / 131070.0f + 1e-5f;
        for (int k = 0; k < 81; k++) EXPECT_NEAR(back.heights[k], t.heights[k], tol) << k;
        EXPECT_EQ(back.shading, t.shading);  // from shadingx2.ppm, unchanged
        EXPECT_EQ(back.tile_map, t.tile_map);
        // shading.ppm holds the doubled bytes, 255 from 128 up.
        Image img;
        ASSERT_TRUE(decode_image(out["shading.ppm"], img));
        EXPECT_EQ(img.pixels[7], 255);
        EXPECT_EQ(img.pixels[8], 120);
    }
}

TEST(TerrainSave, WritesIntoItsFolderAndRefusesAnEmptyTerrain) {
    TempDir dir;
    Terrain t;
    ASSERT_TRUE(make_terrain(t, 2, 1.0f, std::vector<float>(81, 1.0f)));
    t.folder = (dir.path / "track").string();
    ASSERT_EQ(save_terrain(t), 1);
    for (const char* name : {"terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm", "tilemap"})
        EXPECT_TRUE(std::filesystem::exists(dir.path / "track" / name)) << name;
    Terrain empty;
    console_reset_count();
    EXPECT_EQ(save_terrain(empty), 0);
    EXPECT_GT(console_message_count(), 0);
}

TEST(TerrainLoad, BadOrMissingFilesGiveTheirMessage) {
    const std::string F = "@tracks/fix";
    const struct {
        const char* what;
        std::function<void(Files&)> change;
        int result;
        const char* message;  // expected among the messages printed
    } cases[] = {
        {"no terrain.hf", [](Files& f) { f.erase("terrain.hf"); }, 0, "Can't open '@tracks/fix/terrain.hf'\n"},
        {"three numbers", [](Files& f) { f["terrain.hf"] = "2 1.5 -2"; }, 0, "Error reading heights\n"},
        {"empty header", [](Files& f) { f["terrain.hf"] = ""; }, 0, "Bad height field parameters\n"},
        {"huge exponent", [](Files& f) { f["terrain.hf"] = "40 1 0 1 :"; }, 0, "Bad height field parameters\n"},
        {"negative exponent", [](Files& f) { f["terrain.hf"] = "-1 1 0 1 :"; }, 0, "Bad height field parameters\n"},
        {"zero spacing", [](Files& f) { f["terrain.hf"] = "2 0 0 1 :"; }, 0, "Bad height field parameters\n"},
        {"nan spacing", [](Files& f) { f["terrain.hf"] = "2 nan 0 1 :"; }, 0, "Bad height field parameters\n"},
        {"infinite height", [](Files& f) { f["terrain.hf"] = "2 1 0 inf :"; }, 0, "Bad height field parameters\n"},
        {"short samples", [](Files& f) { f["terrain.hf"] = "2 1.5 -2 6 :\x01\x02\x03"; }, 1,
         "Height field has 1 of 81 samples: the rest are at the lowest height\n"},
        {"header only, no png", [](Files& f) { f["terrain.hf"] = "2 1.5 -2 6"; }, 1,
         "Can't read '@tracks/fix/terrain.png': the ground is flat at the lowest height\n"},
        {"broken png", [](Files& f) { f["terrain.hf"] = "2 1.5 -2 6\n"; f["terrain.png"] = "\x89PNG junk"; }, 1,
         "Can't read '@tracks/fix/terrain.png': the ground is flat at the lowest height\n"},
        {"no shading", [](Files& f) { f.erase("shadingx2.ppm"); }, 0, "Can't open '@tracks/fix/shading.ppm'\n"},
        {"shading garbage", [](Files& f) { f["shadingx2.ppm"] = "P6 9 9 255 "; }, 0, "Error reading shading\n"},
        {"shading grey", [](Files& f) { f["shadingx2.ppm"] = ppm("P5", 9, 9, 1, 1); }, 0, "Error reading shading\n"},
        {"shading size", [](Files& f) { f["shadingx2.ppm"] = ppm("P6", 8, 8, 3, 1); }, 0, "Bad shading dimensions (8x8)\n"},
        {"shadows garbage", [](Files& f) { f["shadows.pgm"] = "P5 9"; }, 0, "Error reading shadows\n"},
        {"shadows size", [](Files& f) { f["shadows.pgm"] = ppm("P5", 9, 10, 1, 1); }, 0, "Bad shadow dimensions (9x10)\n"},
        {"no surfaces", [](Files& f) { f.erase("tileinfo"); }, 0, "Can't open '@tracks/fix/texturelist'\n"},
        {"zero tiles", [](Files& f) { f["tileinfo"] = "name nothing\n"; }, 1, "No surface tiles: using the default surface\n"},
        {"no tilemap", [](Files& f) { f.erase("tilemap"); }, 0, "Can't open '@tracks/fix/tilemap'\n"},
        {"short tilemap", [](Files& f) { f["tilemap"] = "\x01"; }, 1, "tilemap has 1 of 16 bytes: the rest are tile 0\n"},
    };
    for (auto& c : cases) {
        Files f = fixture();
        c.change(f);
        Terrain t;
        console_clear_history();
        EXPECT_EQ(load_terrain_from(t, F, reader(f), 0), c.result) << c.what;
        bool found = false;
        for (int k = 0; k < console_history_count(); k++) found = found || console_history_line(k) == std::string(c.message);
        EXPECT_TRUE(found) << c.what << ": got\n" << console_last_messages(5);
        if (c.result == 0) {
            EXPECT_EQ(t.vertices_per_side, 0) << c.what;
            EXPECT_TRUE(t.heights.empty()) << c.what;
        } else {
            // Usable: every tile number names a tile, sampling works.
            for (uint8_t b : t.tile_map) EXPECT_LT(b, terrain_tile_count(t)) << c.what;
            EXPECT_TRUE(std::isfinite(terrain_height(t, 4.0f, 4.0f))) << c.what;
        }
    }
}

TEST(TerrainLoad, DefaultsAndCompanions) {
    // Missing samples and a missing image give the lowest height; shading.ppm
    // is halved; no shadows means fully lit; tile numbers past the count are
    // clamped; the older texturelist works when there is no tileinfo.
    Files f = fixture();
    f["terrain.hf"] = "2 1.5 -2 6 :\x01\x02";
    f.erase("shadingx2.ppm");
    f["shading.ppm"] = ppm("P6", 9, 9, 3, 201);
    f.erase("shadows.pgm");
    f.erase("tileinfo");
    f["texturelist"] = "0.5 4 9 dirt.png\ngrass.png\n";
    f["tilemap"] = std::string(16, static_cast<char>(200));
    Terrain t;
    ASSERT_EQ(load_terrain_from(t, "x", reader(f), 0), 1);
    EXPECT_FLOAT_EQ(t.heights[80], -2.0f);
    EXPECT_EQ(t.shading[0], 100);
    EXPECT_EQ(t.shadow[0], 0);
    EXPECT_EQ(terrain_tile_count(t), 2);
    EXPECT_EQ(t.tile_map[15], 1);
    EXPECT_FLOAT_EQ(t.tiles[0].friction_coefficient[7], 0.5f);
}

int g_textures = 0;
std::string g_log;

TEST(TerrainLoad, HooksGiveTexturesAndVertexNormals) {
    TerrainHooks hooks;
    hooks.load_texture = [](const char*) { return ++g_textures; };
    hooks.setup_rendering = [](Terrain&, int method) { return method == 3; };
    hooks.log = [](const char* text) { g_log += text; };
    hooks.verbose = 2;
    hooks.texture_memory = [] { return static_cast<unsigned long>(g_textures) * 1000ul; };
    set_terrain_hooks(hooks);
    Files f = fixture();
    Terrain t;
    ASSERT_EQ(load_terrain_from(t, "x", reader(f), 3), 1);
    set_terrain_hooks(TerrainHooks{});
    EXPECT_NE(t.tiles[0].texture, 0);
    EXPECT_NE(t.tiles[0].roost[0].texture, 0);
    EXPECT_NE(g_log.find(digest_hex(t.digest) + "\n"), std::string::npos) << g_log;
    EXPECT_NE(g_log.find("bytes texture memory used before ground tiles loaded\n"), std::string::npos) << g_log;
    EXPECT_NE(g_log.find("bytes texture memory used after ground tiles loaded\n"), std::string::npos) << g_log;
    ASSERT_TRUE(t.shader_path);
    ASSERT_EQ(t.vertex_normals.size(), 81u * 3u);
    Vec3 n = terrain_vertex_normal(t, 4, 4);
    EXPECT_EQ(t.vertex_normals[3 * 40], static_cast<uint8_t>(n.x * 127.0f + 128.0f));
    EXPECT_EQ(t.vertex_normals[3 * 40 + 1], 55);  // the light fraction
    EXPECT_EQ(t.vertex_normals[3 * 40 + 2], static_cast<uint8_t>(n.z * 127.0f + 128.0f));
}

}  // namespace
