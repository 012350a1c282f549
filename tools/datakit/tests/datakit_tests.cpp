// The data kit: deterministic output, files that the program's own readers
// take without a warning, and a track that can be ridden and scored.
#include "tools/datakit/datakit_local.h"

#include "common/common.h"
#include "files/files.h"
#include "image/image.h"
#include "physics/physics.h"
#include "terrain/terrain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include <unistd.h>
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
    // The shading is lit from the lighting file's sun: ground facing it is
    // brighter than ground facing away, and the jumps cast some shadow.
    float sun[3];
    ASSERT_EQ(std::sscanf(file("veviredoze/lighting").c_str(), "sun_vector [ %f %f %f ]", &sun[0], &sun[1], &sun[2]), 3);
    Vec3 to_sun = normalize({sun[0], sun[1], sun[2]});
    double facing = 0, away = 0;
    int facing_n = 0, away_n = 0, shadowed = 0;
    const int n = t.vertices_per_side;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            size_t v = size_t(j) * n + i;
            if (t.shadow[v] > 128) ++shadowed;
            if (t.shadow[v] != 0) continue;
            float light = dot(terrain_vertex_normal(t, i, j), to_sun);
            if (light > 0.6f) facing += t.shading[3 * v + 1], ++facing_n;
            if (light < 0.4f) away += t.shading[3 * v + 1], ++away_n;
        }
    ASSERT_GT(facing_n, 0);
    ASSERT_GT(away_n, 0);
    EXPECT_GT(facing / facing_n, away / away_n + 20);
    EXPECT_GT(shadowed, 20);
    EXPECT_LT(shadowed, n * n / 10);
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

}  // namespace

namespace {

// Race pace over the loop: straights up to 70 ft/s (48 mph), turns at the
// speed a lateral grip of 1.1 g allows, 14 ft/s^2 of drive and 22 ft/s^2 of
// braking. Returns the speed at each loop sample (1 ft apart).
std::vector<double> race_pace(const std::vector<datakit::CentreSample>& loop) {
    const int n = int(loop.size());
    std::vector<double> limit(static_cast<size_t>(n)), v;
    for (int i = 0; i < n; ++i) {
        double k = std::abs(loop[size_t(i)].curvature);
        limit[size_t(i)] = k > 0 ? std::min(70.0, std::sqrt(1.1 * 32 / k)) : 70.0;
    }
    v = limit;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 1; i <= n; ++i)
            v[size_t(i % n)] = std::min(v[size_t(i % n)], std::sqrt(v[size_t(i - 1)] * v[size_t(i - 1)] + 2 * 14.0));
        for (int i = n - 1; i >= 0; --i)
            v[size_t(i)] = std::min(v[size_t(i)], std::sqrt(v[size_t((i + 1) % n)] * v[size_t((i + 1) % n)] + 2 * 22.0));
    }
    return v;
}

double centre_height(const datakit::TrackDesign& d, double s) {
    const auto& l = d.loop;
    int n = int(l.size()), i = int(std::floor(s));
    double f = s - i;
    const auto& a = l[size_t(((i % n) + n) % n)];
    const auto& b = l[size_t((((i + 1) % n) + n) % n)];
    return d.height_at(a.x + (b.x - a.x) * f, a.z + (b.z - a.z) * f);
}

// Where a bike leaving the lip at speed v lands, as loop arc length: a
// point following the face's angle, under gravity, until it meets the ground
// along the centre line.
double landing_s(const datakit::TrackDesign& d, double lip_s, double v) {
    // The lip as the ground has it: the crest within a few feet of the plan.
    double crest = lip_s;
    for (double s = lip_s - 3; s <= lip_s + 3; s += 0.25)
        if (centre_height(d, s) > centre_height(d, crest)) crest = s;
    lip_s = crest;
    // The bike leaves pitched like the face under its wheelbase: the
    // steepest 2 ft stretch of the last 5 ft before the crest.
    double rise = 0;
    for (double back = 1; back <= 5; back += 0.5)
        rise = std::max(rise, centre_height(d, lip_s - back + 1) - centre_height(d, lip_s - back - 1));
    double face = std::atan2(rise, 2.0);
    double x = 0, y = centre_height(d, lip_s) + 0.05, vx = v * std::cos(face), vy = v * std::sin(face);
    const double dt = 1.0 / 512;
    for (int k = 0; k < 512 * 5; ++k) {
        x += vx * dt;
        vy -= 32 * dt;
        y += vy * dt;
        if (y <= centre_height(d, lip_s + x)) break;
    }
    return lip_s + x;
}

}  // namespace

TEST(Veviredoze, ALapTakesSixtyToNinetySecondsAtRacePace) {
    const auto& loop = design().loop;
    for (const auto& c : loop) ASSERT_GE(2 * c.half_width, 20.0) << "at " << c.s;
    std::vector<double> v = race_pace(loop);
    double time = 0;
    for (double speed : v) time += 1.0 / speed;
    std::printf("loop %zu ft, lap %.1f s at race pace, top speed %.0f mph\n", loop.size(), time,
                *std::max_element(v.begin(), v.end()) / FT_PER_S_PER_MPH);
    EXPECT_GE(time, 60.0);
    EXPECT_LE(time, 90.0);
}

TEST(Veviredoze, EverySlopeOfTheRidingSurfaceIsRideable) {
    const auto& d = design();
    double worst = 0, worst_s = 0;
    for (const auto* line : {&d.loop, &d.chute})
        for (const auto& c : *line)
            for (double u = -c.half_width; u <= c.half_width; u += 1) {
                double x = c.x - c.dz * u, z = c.z + c.dx * u;
                double gx = (d.height_at(x + 1, z) - d.height_at(x - 1, z)) / 2;
                double gz = (d.height_at(x, z + 1) - d.height_at(x, z - 1)) / 2;
                double slope = std::atan(std::hypot(gx, gz)) * 180 / 3.14159265358979;
                if (slope > worst) worst = slope, worst_s = c.s;
            }
    std::printf("steepest riding slope %.1f degrees (at %.0f ft)\n", worst, worst_s);
    EXPECT_LE(worst, 32.0);
    // Off the track too: no bank anywhere on the field a bike cannot climb.
    const int n = d.vertices;
    double field = 0;
    auto H = [&](int i, int j) { return double(d.heights[size_t(j) * n + i]); };
    for (int j = 1; j + 1 < n; ++j)
        for (int i = 1; i + 1 < n; ++i) {
            double gx = (H(i + 1, j) - H(i - 1, j)) / (2 * d.cell), gz = (H(i, j + 1) - H(i, j - 1)) / (2 * d.cell);
            field = std::max(field, std::atan(std::hypot(gx, gz)) * 180 / 3.14159265358979);
        }
    std::printf("steepest slope on the field %.1f degrees\n", field);
    EXPECT_LE(field, 32.0);
}

TEST(Veviredoze, EveryJumpLandsWithinReachOfItsApproach) {
    const auto& d = design();
    std::vector<double> pace = race_pace(d.loop);
    ASSERT_GE(d.jumps.size(), 3u);
    for (const auto& j : d.jumps) {
        double approach = pace[size_t(j.lip_s)];
        double v_min = 0, v_max = 0;
        for (double v = 10; v <= 80; v += 0.25) {
            double s = landing_s(d, j.lip_s, v);
            bool lands = s >= j.land_from_s && s <= j.land_to_s;
            if (lands && v_min == 0) v_min = v;
            if (lands) v_max = v;
        }
        std::printf("%-9s lip at %.0f ft: lands from %.0f to %.0f ft/s, the approach allows %.0f ft/s\n", j.name,
                    j.lip_s, v_min, v_max, approach);
        EXPECT_GT(v_min, 0) << j.name;
        EXPECT_LE(v_min, approach) << j.name << " cannot be cleared";
        EXPECT_GE(v_max - v_min, 6.0) << j.name << " has too small a window";
    }
}

// ---------------------------------------------------------------------------
// Part shapes, checked against the shared bike geometry (bike coordinates:
// +y up, forward -z, +x to the rider's right).
namespace {

struct Ball {
    double x, y, z, r;
};

std::vector<Ball> read_shape(const std::string& text) {
    std::istringstream in(text);
    int count = 0;
    in >> count;
    std::vector<Ball> out;
    for (int i = 0; i < count; ++i) {
        Ball b{};
        double friction, stiffness, damping;
        in >> b.x >> b.y >> b.z >> b.r >> friction >> stiffness >> damping;
        EXPECT_TRUE(in) << "sphere " << i;
        EXPECT_GT(b.r, 0);
        EXPECT_GT(friction, 0);
        EXPECT_GT(stiffness, 0);
        EXPECT_GT(damping, 0);
        out.push_back(b);
    }
    std::string rest;
    EXPECT_FALSE(in >> rest) << "text after the spheres";
    return out;
}

// Whether a point of the bike (bike coordinates) is inside a shape whose
// body sits at `origin`.
bool covers(const std::vector<Ball>& shape, std::array<double, 3> origin, std::array<double, 3> p) {
    for (const Ball& b : shape)
        if (std::hypot(p[0] - origin[0] - b.x, p[1] - origin[1] - b.y, p[2] - origin[2] - b.z) <= b.r + 0.05) return true;
    return false;
}

double lowest(const std::vector<Ball>& shape, std::array<double, 3> origin) {
    double low = 1e9;
    for (const Ball& b : shape) low = std::min(low, origin[1] + b.y - b.r);
    return low;
}

}  // namespace

TEST(PartShapes, MatchTheSharedBikeGeometry) {
    const std::array<double, 3> frame{0, 1.98, 3.6}, fork_upper{0, 2.9, 2.16}, fork_lower{0, 1.77, 1.59},
        swingarm{0, 1.34, 4.99}, rider{0, 4.5, 4.12};
    auto frame_s = read_shape(file("generic_frame.shp"));
    auto upper_s = read_shape(file("generic_fork_upper.shp"));
    auto lower_s = read_shape(file("generic_fork_lower.shp"));
    auto arm_s = read_shape(file("generic_swingarm.shp"));
    auto rider_s = read_shape(file("generic_rider.shp"));
    // The bars reach both grips, the rider covers the helmet, hands and hips,
    // the frame the foot pegs.
    for (double side : {-1.0, 1.0}) {
        EXPECT_TRUE(covers(upper_s, fork_upper, {side * 1.097, 2.9 + 1.145, 2.16 + 0.753}));
        EXPECT_TRUE(covers(rider_s, rider, {side * 0.556, 4.5 + 0.58038, 4.12 - 0.65451}));
        EXPECT_TRUE(covers(rider_s, rider, {side * 0.269, 4.5 - 0.57089, 4.12 + 0.67061}));
        EXPECT_TRUE(covers(frame_s, frame, {side * 0.6, 1.98 - 0.557, 3.6 + 0.584}));
        EXPECT_TRUE(covers(lower_s, fork_lower, {side * 0.4166, 1.77, 1.59}));    // fork tubes
        EXPECT_TRUE(covers(arm_s, swingarm, {side * 0.4166, 1.6, 4.08}));         // pivot end
        EXPECT_TRUE(covers(arm_s, swingarm, {side * 0.4166, 1.04, 6.0}));         // axle end
    }
    EXPECT_TRUE(covers(rider_s, rider, {0, 4.5 + 0.80838, 4.12 - 0.94337}));
    // Standing on flat ground, only the wheels touch it: the skid plate rides
    // about a foot up, and nothing of the bike hangs lower.
    EXPECT_NEAR(lowest(frame_s, frame), 1.05, 0.1);
    for (const auto& [shape, origin] : {std::pair{upper_s, fork_upper}, {lower_s, fork_lower}, {arm_s, swingarm},
                                        {rider_s, rider}})
        EXPECT_GT(lowest(shape, origin), 0.85);
    // Wheels: the spheres run around the tire's tube, centred on the ring.
    for (auto [name, ring] : {std::pair{"front_wheel.shp", 0.8333333}, {"rear_wheel.shp", 0.75}}) {
        auto w = read_shape(file(name));
        ASSERT_GE(w.size(), 8u) << name;
        for (const Ball& b : w) {
            EXPECT_NEAR(b.x, 0, 1e-6) << name;
            EXPECT_NEAR(std::hypot(b.y, b.z), ring, 1e-3) << name;
            EXPECT_NEAR(b.r, 0.3333333, 1e-3) << name;
        }
    }
}

TEST(PartShapes, TheRaisedStartingGateStandsJustAheadOfTheFrontTire) {
    auto gate = read_shape(file("startgate.shp"));
    ASSERT_FALSE(gate.empty());
    // A gate part's object sits 3 ft ahead of its position; a bike waits with
    // its origin 0.625 ft behind it, and its front tire (radius 1.1667 about
    // the axle 1.11 ft ahead of the origin) reaches forward to 3.57 ft behind
    // the object in the object's frame (+z towards the bike).
    const double tire_front = 3 + 0.625 + 1.11 - 1.1666667;
    const double up = 0.5890486225480862;
    double top = 0, back = 0, down_top = 0;
    for (const Ball& b : gate) {
        double y = b.y * std::cos(up) + b.z * std::sin(up), z = -b.y * std::sin(up) + b.z * std::cos(up);
        top = std::max(top, y + b.r);
        back = std::max(back, z + b.r);
        down_top = std::max(down_top, b.y + b.r);
    }
    EXPECT_GT(top, 1.1);                  // above the front axle: it holds the bike
    EXPECT_LT(back, tire_front);          // and does not push into it
    EXPECT_GT(back, tire_front - 1.5);    // the bike rolls at most a foot and a half to touch it
    EXPECT_LT(down_top, 0.5);             // down, it is a low bump
}

TEST(PartShapes, EveryShapeTheCatalogueNamesIsWrittenAndParses) {
    std::set<std::string> names{"@startgate.shp"};
    for (int m = 0; m < BIKE_MODEL_COUNT; ++m)
        for (const auto& part : bike_spec(m).part_files)
            if (std::string_view(part).ends_with(".shp")) names.insert(part);
    EXPECT_GE(names.size(), 8u);
    for (const std::string& name : names) {
        ASSERT_EQ(name[0], '@');
        const std::string& text = file(name.substr(1));
        PartShape shape;
        console_reset_count();
        EXPECT_TRUE(parse_part_shape(text.data(), text.size(), shape)) << name;
        EXPECT_EQ(console_message_count(), 0) << name;
        EXPECT_GT(shape.bounding_radius, 0.3f) << name;
    }
}

TEST(DataTree, TheGameFindsTheDefaultTrackInTheDataFolder) {
    fs::path root = temp_folder("vfs");
    ASSERT_GT(datakit::write_tree(kit(), root.string()), 0);
    const char* old_home = std::getenv("QZ_HOME");
    std::string saved = old_home ? old_home : "";
    setenv("QZ_HOME", root.c_str(), 1);
    reset_search_folders();
    bool found = false;
    for (const TrackListEntry& t : list_tracks())
        if (t.folder == "veviredoze") found = t.display_name == "Veviredoze";
    EXPECT_TRUE(found);
    Terrain t;
    console_reset_count();
    EXPECT_EQ(load_terrain(t, "@veviredoze", 0), 1);
    EXPECT_EQ(console_message_count(), 0) << console_last_messages(5);
    free_terrain(t);
    if (old_home) setenv("QZ_HOME", saved.c_str(), 1); else unsetenv("QZ_HOME");
    reset_search_folders();
    fs::remove_all(root);
}

// ---------------------------------------------------------------------------
// The trackside files, scanned with the data-file scanner and the formats the
// game reads them with.
namespace {

struct Scan {
    DataFile* f;
    explicit Scan(const std::string& text) : f(open_memory_data_file(text.data(), text.size())) {}
    ~Scan() { close_data_file(f); }
};

bool picture_exists(std::string name) {
    if (name.size() > 8 && name[0] == '#' && name[7] == '#') name = name.substr(8);  // colour prefix
    return name[0] == '@' && kit().count(name.substr(1)) == 1;
}

// Whether a point stands clear of the riding surface of both lines.
bool off_track(double x, double z, double margin) {
    for (const auto* line : {&design().loop, &design().chute})
        for (const auto& c : *line)
            if (std::hypot(x - c.x, z - c.z) <= c.half_width + margin) return false;
    return true;
}

}  // namespace

TEST(Veviredoze, MarshalsBillboardsCamerasAndLightingScanCompletely) {
    const auto& d = design();
    const int gates = int(d.checkpoints.size());
    char n[5][1024];
    float v[9];
    {
        Scan s(file("veviredoze/flaggers"));
        ASSERT_EQ(scan_data_file(s.f, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                                 &v[6], &v[7], &v[8]),
                  9);
        for (auto& name : n) ASSERT_EQ(scan_data_file(s.f, " %1023s ", name), 1);
        for (auto& name : n) EXPECT_TRUE(picture_exists(name)) << name;
        ASSERT_EQ(scan_data_file(s.f, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]), 5);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(scan_data_file(s.f, " %1023s ", n[k]), 1);
        int marshals = 0, g[4];
        while (scan_data_file(s.f, " [ %f %f %f ] %f %f %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &g[0], &g[1],
                              &g[2], &g[3]) == 9) {
            for (int k : g) EXPECT_TRUE(k >= -1 && k < gates) << k;
            EXPECT_TRUE(off_track(v[0], v[2], 4)) << "marshal at " << v[0] << " " << v[2];
            ASSERT_EQ(scan_data_file(s.f, " %1023s  %1023s", n[0], n[1]), 2);
            EXPECT_TRUE(picture_exists(n[0]) && picture_exists(n[1]));
            ++marshals;
        }
        EXPECT_GE(marshals, 4);
        EXPECT_EQ(read_data_char(s.f), -1);  // nothing left unread
    }
    {
        Scan s(file("veviredoze/billboards"));
        int count = 0;
        while (scan_data_file(s.f, "[ %f %f %f ] %f %f %1023s ", &v[0], &v[1], &v[2], &v[3], &v[4], n[0]) == 6) {
            EXPECT_TRUE(picture_exists(n[0])) << n[0];
            ASSERT_TRUE(off_track(v[0], v[2], 4)) << "billboard " << count;  // nothing on the riding surface
            ++count;
        }
        EXPECT_EQ(read_data_char(s.f), -1);
        EXPECT_GT(count, 100);
    }
    {
        std::istringstream in(file("veviredoze/cameras"));
        std::string line;
        int cameras = 0;
        std::set<int> watched;
        while (std::getline(in, line)) {
            float x, y, z;
            if (std::sscanf(line.c_str(), "addcamera %f %f %f", &x, &y, &z) == 3) {
                EXPECT_GT(y, 4.0f);
                EXPECT_TRUE(off_track(x, z, 8)) << line;
                ++cameras;
            } else if (line.rfind("gate", 0) == 0) {
                std::istringstream nums(line.substr(4));
                int g;
                while (nums >> g) watched.insert(g);
            } else {
                EXPECT_TRUE(line.rfind("fov ", 0) == 0 || line.rfind("autofovsize ", 0) == 0) << line;
            }
        }
        EXPECT_GE(cameras, 6);
        EXPECT_EQ(int(watched.size()), gates);  // every gate switches to some camera
    }
    {
        std::istringstream in(file("veviredoze/lighting"));
        std::string key, value;
        const std::set<std::string> vectors{"sun_vector", "sun_color", "ambient", "global_ambient"};
        const std::set<std::string> skies{"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"};
        int seen = 0;
        while (in >> key && std::getline(in, value)) {
            float r, g, b, density;
            if (vectors.count(key)) EXPECT_EQ(std::sscanf(value.c_str(), " [ %f %f %f ] ", &r, &g, &b), 3) << key;
            else if (skies.count(key)) EXPECT_TRUE(picture_exists(value.substr(value.find('@')))) << key;
            else if (key == "fog") EXPECT_EQ(std::sscanf(value.c_str(), " [ %f %f %f ] %f ", &r, &g, &b, &density), 4);
            else EXPECT_TRUE(key == "near_plane" || key == "far_plane") << key;
            ++seen;
        }
        EXPECT_EQ(seen, 13);
    }
}

// ---------------------------------------------------------------------------
// A bike built from the kit's shapes on the kit's track: upright at its gate
// only its tires touch; upside down it lands on its rider and bars.
TEST(PartShapes, ABikeOnTheTrackTouchesDownWithItsRiderAndBarsOnly) {
    fs::path root = temp_folder("bike");
    ASSERT_GT(datakit::write_tree(kit(), root.string()), 0);
    const char* old_home = std::getenv("QZ_HOME");
    std::string saved = old_home ? old_home : "";
    setenv("QZ_HOME", root.c_str(), 1);
    reset_search_folders();
    clear_part_shape_cache();
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@veviredoze", 0), 1);
    ASSERT_TRUE(create_physics_world());
    set_physics_ground(&t);
    const auto& d = design();
    Gates g = read_gates(file("veviredoze/timing_gates"));
    const auto& part = g.parts[20];

    auto place = [&](Bike& bike) {
        reset_bike(bike);
        turn_bike(bike, {0, 1, 0}, float(part[3]));
        double x = part[0] + std::sin(part[3]) * 0.625, z = part[2] + std::cos(part[3]) * 0.625;
        move_bike(bike, float(x), float(d.height_at(x, z)), float(z));
        while (bike_collides(bike)) move_bike(bike, 0, 0.25f, 0);
    };
    Bike* bike = create_bike(0, "crf250(2008)", true);
    ASSERT_NE(bike, nullptr);
    for (int p = 0; p < PART_COUNT; ++p) EXPECT_FALSE(bike->shapes[p].spheres.empty()) << "part " << p;
    place(*bike);
    for (int tic = 0; tic < 48; ++tic) {
        collide_bike_with_ground(*bike);
        step_physics_world();
    }
    EXPECT_GT(bike->front_tire.depth + bike->rear_tire.depth, 0.0f);  // standing on its wheels
    EXPECT_EQ(bike->ride.rider_down, 0);

    // Upside down with the helmet just in the ground: the rider is down, and
    // nothing else of the bike (but the bars beside the helmet) is what touched.
    // Facing the gate's way, rolled over: a half turn about the horizontal
    // axis (sin a/2, 0, cos a/2) is the heading a composed with a roll.
    reset_bike(*bike);
    turn_bike(*bike, {float(std::sin(part[3] / 2)), 0, float(std::cos(part[3] / 2))}, 3.14159265f);
    move_bike(*bike, float(part[0]) + 3, 0, float(part[2]));
    Vec3 p = body_position(bike->bodies[RIDER]);
    EXPECT_NEAR(p.x, part[0] + 3 - 4.12 * std::sin(-part[3]), 0.01);  // where the gate's bike would stand
    EXPECT_GT(body_position(bike->bodies[FRAME]).y, p.y);  // the rider hangs below the frame
    double ground = d.height_at(p.x, p.z);
    move_bike(*bike, 0, float(ground - p.y + 0.81 + 0.45 - 0.05), 0);
    bike->ride.rider_down = 0;
    collide_bike_with_ground(*bike);
    EXPECT_NE(bike->ride.rider_down, 0);
    dJointGroupEmpty(contact_group());

    destroy_bike(bike);
    set_physics_ground(nullptr);
    free_terrain(t);
    if (old_home) setenv("QZ_HOME", saved.c_str(), 1); else unsetenv("QZ_HOME");
    reset_search_folders();
    clear_part_shape_cache();
    fs::remove_all(root);
}

TEST(Veviredoze, TheMapShowsTheLoopTheStartAndTheJumps) {
    Image map;
    ASSERT_TRUE(decode_image(file("veviredoze/map.png"), map));
    ASSERT_EQ(map.channels, 4);
    const auto& d = design();
    const double per_pixel = (d.vertices - 1) * d.cell / map.width;  // the map covers the whole square
    auto px = [&](double x, double z, int c) { return image_sample(map, int(x / per_pixel), int(z / per_pixel), c); };
    // The riding surface is opaque and brown all round the loop (arrows aside).
    int brown = 0;
    for (const auto& c : d.loop) {
        double x = c.x - c.dz * 8, z = c.z + c.dx * 8;  // off the centre, clear of the arrows
        EXPECT_EQ(px(x, z, 3), 255) << "loop at " << c.s;
        if (px(x, z, 0) > px(x, z, 1) && px(x, z, 1) > px(x, z, 2)) ++brown;
    }
    EXPECT_GT(brown, int(d.loop.size()) * 9 / 10);
    // Grass lets the game show through; the gate is a white bar.
    EXPECT_LT(px(d.gate_x, 40, 3), 255);
    for (int c = 0; c < 3; ++c) EXPECT_GE(px(d.gate_x, d.gate_z, c), 240);
    // Jump faces stand out red-orange against the dirt.
    for (const auto& j : d.jumps) {
        const auto& c = d.loop[size_t(j.lip_s)];
        EXPECT_GE(px(c.x, c.z, 0), 200) << j.name;
        EXPECT_LT(px(c.x, c.z, 2), 80) << j.name;
    }
}
