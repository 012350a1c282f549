// The data kit: deterministic output, files that the program's own readers
// take without a warning, and a track that can be ridden and scored.
#include "tools/datakit/datakit_local.h"

#include "common/common.h"
#include "image/image.h"
#include "terrain/terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using datakit::FileTree;
namespace fs = std::filesystem;

const FileTree& kit() {
    static const FileTree tree = datakit::build_data_tree();
    return tree;
}

const datakit::TrackDesign& design() {
    static const datakit::TrackDesign d = datakit::design_veviredoze();
    return d;
}

const std::string& file(const std::string& name) {
    auto it = kit().find(name);
    static const std::string none;
    EXPECT_NE(it, kit().end()) << name;
    return it == kit().end() ? none : it->second;
}

fs::path temp_folder(const char* tag) {
    fs::path p = fs::temp_directory_path() / ("datakit_test_" + std::string(tag) + "_" + std::to_string(getpid()));
    fs::remove_all(p);
    return p;
}

FileTree read_folder(const fs::path& root) {
    FileTree out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        out[fs::relative(e.path(), root).generic_string()] = bytes.str();
    }
    return out;
}

// ---------------------------------------------------------------------------

TEST(DataTree, TwoRunsOfTheProgramWriteTheSameBytesAndARerunWritesNothing) {
    fs::path a = temp_folder("a"), b = temp_folder("b");
    for (const fs::path& p : {a, b}) {
        std::string cmd = std::string(DATAKIT_PROGRAM) + " " + p.string() + " > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    FileTree first = read_folder(a);
    EXPECT_EQ(first, read_folder(b));
    EXPECT_EQ(first, kit());  // the program writes exactly the tree built here

    auto stamp = fs::last_write_time(a / "veviredoze" / "terrain.hf");
    EXPECT_EQ(datakit::write_tree(kit(), a.string()), 0);
    EXPECT_EQ(fs::last_write_time(a / "veviredoze" / "terrain.hf"), stamp);
    // A damaged file is put right, and only that one.
    { std::ofstream(a / "veviredoze" / "desc") << "garbage"; }
    EXPECT_EQ(datakit::write_tree(kit(), a.string()), 1);
    EXPECT_EQ(read_folder(a), kit());
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(DataTree, EveryPictureDecodes) {
    int pictures = 0;
    for (const auto& [name, bytes] : kit()) {
        std::string ext = fs::path(name).extension().string();
        if (ext != ".png" && ext != ".ppm" && ext != ".pgm") continue;
        Image img;
        EXPECT_TRUE(decode_image(bytes, img)) << name;
        EXPECT_GT(img.width, 0) << name;
        ++pictures;
    }
    EXPECT_GT(pictures, 0);
}

TEST(DataTree, GroundTexturesAreSeamless) {
    for (const char* name : {"dirt.png", "hardpack.png", "grass.png"}) {
        Image img;
        ASSERT_TRUE(decode_image(file(name), img)) << name;
        // The jump across the wrap is no bigger than between neighbours inside.
        auto step = [&](int x0, int y0, int x1, int y1) {
            int d = 0;
            for (int c = 0; c < 3; ++c) d += std::abs(image_sample(img, x0, y0, c) - image_sample(img, x1, y1, c));
            return d;
        };
        double wrap = 0, inside = 0;
        for (int k = 0; k < img.height; ++k) {
            wrap += step(img.width - 1, k, 0, k) + step(k, img.height - 1, k, 0);
            inside += step(img.width / 2 - 1, k, img.width / 2, k) + step(k, img.height / 2 - 1, k, img.height / 2);
        }
        EXPECT_LT(wrap, inside * 1.5 + 100) << name;
    }
}

// ---------------------------------------------------------------------------

TEST(Veviredoze, LoadsThroughTheTerrainReaderWithoutAWarning) {
    Terrain t;
    console_reset_count();
    auto reader = [](const char* name, std::string& bytes) {
        auto it = kit().find(std::string("veviredoze/") + name);
        if (it == kit().end()) return false;
        bytes = it->second;
        return true;
    };
    ASSERT_EQ(load_terrain_from(t, "@veviredoze", reader, 0), 1) << console_last_messages(5);
    EXPECT_EQ(console_message_count(), 0) << console_last_messages(5);
    EXPECT_GE(t.size_exponent, 8);
    ASSERT_EQ(t.heights.size(), design().heights.size());
    float worst = 0;
    for (size_t v = 0; v < t.heights.size(); ++v) worst = std::max(worst, std::abs(t.heights[v] - design().heights[v]));
    EXPECT_LE(worst, (t.highest - t.lowest) / 65535.0f);
    ASSERT_EQ(terrain_tile_count(t), 3);
    EXPECT_EQ(t.tiles[0].name, "dirt");
    EXPECT_EQ(t.tiles[1].name, "hardpack");
    EXPECT_EQ(t.tiles[2].name, "grass");
    EXPECT_EQ(t.tiles[1].erode.erode_depth, 0.0f);        // the start pad never ruts
    EXPECT_EQ(t.tiles[1].erode.erode_inner_depth, 0.0f);
    EXPECT_GT(t.tiles[0].erode.erode_depth, t.tiles[2].erode.erode_depth);  // dirt digs deeper than grass
    EXPECT_GT(t.tiles[0].friction_coefficient[0], t.tiles[2].friction_coefficient[0]);
    // Surfaces where they belong: pad at the gate, dirt on the loop, grass beside it.
    const auto& d = design();
    EXPECT_EQ(terrain_tile_at(t, float(d.gate_x), float(d.gate_z)), 1);
    const auto& c = d.loop[d.loop.size() / 3];
    EXPECT_EQ(terrain_tile_at(t, float(c.x), float(c.z)), 0);
    EXPECT_EQ(terrain_tile_at(t, float(c.x - c.dz * 60), float(c.z + c.dx * 60)), 2);
    // The shading is lit from the lighting file's sun: a slope facing it is
    // brighter than one facing away.
    EXPECT_GT(t.shading.size(), 0u);
    free_terrain(t);
}

// ---------------------------------------------------------------------------
// The timing gates, read with the file's own formats.
struct Gates {
    std::vector<std::array<double, 5>> parts;        // x, y, z, angle, files given
    std::vector<datakit::Checkpoint> checkpoints;
    std::vector<int> first_lap, normal_lap;
};

Gates read_gates(const std::string& text) {
    Gates g;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "startinggate:");
    while (std::getline(in, line) && line != "checkpoints:") {
        double x, y, z, a;
        char m[256], tx[256], sh[256];
        EXPECT_EQ(std::sscanf(line.c_str(), " [ %lf %lf %lf ] %lf %255s %255s %255s", &x, &y, &z, &a, m, tx, sh), 7)
            << line;
        EXPECT_STREQ(sh, "@startgate.shp");
        g.parts.push_back({x, y, z, a, 7});
    }
    while (std::getline(in, line) && line != "firstlap:") {
        datakit::Checkpoint c{};
        double y, dy;
        EXPECT_EQ(std::sscanf(line.c_str(), "%lf [ %lf %lf %lf ] [ %lf %lf %lf ]", &c.radius, &c.x, &y, &c.z, &c.dx,
                              &dy, &c.dz),
                  7)
            << line;
        g.checkpoints.push_back(c);
    }
    for (auto* list : {&g.first_lap, &g.normal_lap}) {
        std::getline(in, line);
        std::istringstream nums(line);
        int n;
        while (nums >> n) list->push_back(n);
        std::getline(in, line);  // "normallap:" after the first list
    }
    return g;
}

bool at_or_past(const datakit::Checkpoint& c, double x, double z) {
    double u = x - c.x, v = z - c.z;
    return u * u + v * v <= c.radius * c.radius && u * c.dx + v * c.dz >= 0;
}

TEST(Veviredoze, WalkingTheCentreLinePassesEveryCheckpointInOrder) {
    Gates g = read_gates(file("veviredoze/timing_gates"));
    const int F = int(g.first_lap.size()), N = int(g.normal_lap.size());
    ASSERT_GT(F, 2);
    ASSERT_GT(N, 2);
    EXPECT_EQ(g.first_lap.back(), g.normal_lap.back());  // both laps end on the finish line
    EXPECT_EQ(int(g.parts.size()), 40);
    auto entry = [&](int p) { return p < F ? g.first_lap[size_t(p)] : g.normal_lap[size_t(F + (p - F) % N - F)]; };
    auto lap_line = [&](int p) { return p + 1 - F >= 0 && (p + 1 - F) % N == 0; };

    // The path: the chute from behind the gate, then two laps of the loop.
    std::vector<std::pair<double, double>> path;
    for (const auto& c : design().chute) path.push_back({c.x, c.z});
    for (int lap = 0; lap < 2; ++lap)
        for (const auto& c : design().loop) path.push_back({c.x, c.z});

    // The scoring window: positions passed - 3, - 2, + 0, + 1, + 2.
    int passed = 0;
    std::vector<int> crossing;  // path index per position, -1 skipped
    for (int k = 0; k < int(path.size()); ++k) {
        bool missing = false;
        for (int j : {-3, -2, 0, 1, 2}) {
            int p = passed + j;
            if (p < 0) continue;
            if (p >= int(crossing.size()) || crossing[size_t(p)] < 0) missing = true;
            if (!at_or_past(g.checkpoints[size_t(entry(p))], path[size_t(k)].first, path[size_t(k)].second)) {
                if (lap_line(p) && (p >= int(crossing.size()) || crossing[size_t(p)] < 0)) break;
                continue;
            }
            if (j >= 0 || missing) {
                EXPECT_EQ(j, 0) << "position " << p << " credited out of order at path index " << k;
                crossing.resize(size_t(std::max(int(crossing.size()), p + 1)), -1);
                crossing[size_t(p)] = k;
                passed = p + 1;
                break;
            }
            missing = false;
        }
    }
    EXPECT_EQ(passed, F + N);  // the first lap and one normal lap; the second ends beyond the path
    for (int p = 0; p < int(crossing.size()); ++p) EXPECT_GE(crossing[size_t(p)], 0) << "position " << p;
}

TEST(Veviredoze, BikesStartBehindTheGateOnTheFlatPad) {
    Gates g = read_gates(file("veviredoze/timing_gates"));
    const auto& d = design();
    ASSERT_EQ(int(g.parts.size()), 40);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const auto& part = g.parts[size_t(slot % 40)];
        int row = slot / 40;
        double a = part[3];
        double x = part[0] + std::sin(a) * (row + 0.0625) * 10, z = part[2] + std::cos(a) * (row + 0.0625) * 10;
        // The bike's rear wheel (6 ft behind its origin) is on the pad too.
        double rx = x + std::sin(a) * 6, rz = z + std::cos(a) * 6;
        EXPECT_NEAR(d.height_at(x, z), 0.0, 0.01) << slot;
        EXPECT_NEAR(d.height_at(rx, rz), 0.0, 0.01) << slot;
    }
    // Gates one beside the other, facing down the chute.
    const auto& c = d.chute[0];
    EXPECT_NEAR(-std::sin(g.parts[0][3]), c.dx, 1e-6);
    EXPECT_NEAR(-std::cos(g.parts[0][3]), c.dz, 1e-6);
    EXPECT_NEAR(std::hypot(g.parts[1][0] - g.parts[0][0], g.parts[1][2] - g.parts[0][2]), d.gate_spacing, 1e-4);
}

}  // namespace
