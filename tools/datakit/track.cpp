// The default track "veviredoze": a motocross loop of about 3000 ft on a
// 1024 ft square (size exponent 8, 2 ft cells), with a start chute behind a
// 40-place starting gate that joins the loop before a wide first turn.
//
// The loop is built from straights and arcs (a turtle path that closes on
// itself); feature profiles (tabletop, double, step-up, whoops, rollers) are
// heights along the arc length, turns carry berms or an off-camber slope
// across the track, and everything blends into gently rolling ground.
#include "tools/datakit/datakit_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace datakit {
namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int SIZE_EXPONENT = 8;
constexpr double CELL = 2.0;
constexpr int VERTICES = (2 << SIZE_EXPONENT) + 1;  // 513
constexpr int TILES = 1 << SIZE_EXPONENT;          // 256
constexpr double EXTENT = (2 << SIZE_EXPONENT) * CELL;

constexpr double LOOP_HALF_WIDTH = 13;   // a 26 ft wide loop
constexpr double PAD_HALF_WIDTH = 76;    // start pad, wider than the gate
constexpr double SHOULDER = 24;          // ground blend beyond the shaped band
constexpr double GATE_X = 130, GATE_Z = 860, GATE_SPACING = 3.5;
constexpr int GATE_COUNT = 40;
constexpr double CHUTE_START_X = 80;     // the pad reaches 50 ft behind the gate
constexpr double MERGE_X = 460;          // where the chute joins the loop (loop s = 0)

enum TurnKind { PLAIN, BERM, OFF_CAMBER };

struct Piece {
    double length;      // straight length, or 0 for an arc
    double angle_deg;   // arc: turn, positive to the right
    double radius;
    TurnKind kind;
    double bank_deg;    // berm: steepest bank at the outside edge; off-camber: fall to the outside
};

// Indices of the straights named below are used by the features and gates.
enum {
    P_START = 0, P_T1, P_TABLE, P_T2, P_ROLLERS, P_T3, P_WHOOPS, P_T4, P_HAIRPIN_EXIT, P_T5, P_DOUBLE, P_T6,
    P_DIP, P_T7, P_OFF_CAMBER_EXIT, P_T8, P_STEP_UP, P_T9, P_BACK, P_T10, P_CROSS, P_T11, P_FINISH, P_T12, PIECE_COUNT
};

// The two straights P_BACK and P_CROSS get the lengths that close the loop.
std::vector<Piece> loop_pieces() {
    return {
        {100, 0, 0, PLAIN, 0},        // start straight, shared with the chute
        {0, -90, 80, BERM, 16},       // turn 1: wide left-hander
        {240, 0, 0, PLAIN, 0},        // tabletop
        {0, 90, 35, BERM, 24},        // turn 2: bermed right
        {150, 0, 0, PLAIN, 0},        // rollers
        {0, -90, 30, PLAIN, 0},       // turn 3
        {220, 0, 0, PLAIN, 0},        // whoops
        {0, -180, 55, BERM, 26},      // turn 4: bermed hairpin
        {60, 0, 0, PLAIN, 0},
        {0, 90, 40, BERM, 22},        // turn 5
        {250, 0, 0, PLAIN, 0},        // double
        {0, -90, 35, BERM, 20},       // turn 6: bermed left into the infield
        {130, 0, 0, PLAIN, 0},
        {0, 180, 45, OFF_CAMBER, 6},  // turn 7: off-camber right-hand hairpin
        {230, 0, 0, PLAIN, 0},
        {0, -90, 35, PLAIN, 0},       // turn 8
        {135, 0, 0, PLAIN, 0},        // step-up
        {0, -90, 55, BERM, 22},       // turn 9
        {0, 0, 0, PLAIN, 0},          // back straight (closing length), big rollers
        {0, -90, 40, BERM, 20},       // turn 10
        {0, 0, 0, PLAIN, 0},          // cross straight (closing length)
        {0, 90, 35, PLAIN, 0},        // turn 11
        {100, 0, 0, PLAIN, 0},        // finish straight
        {0, -90, 40, PLAIN, 0},       // turn 12, onto the start straight
    };
}

struct Pose {
    double x, z, heading;  // heading: angle of (dx, dz) = (cos, sin)
};

// Walks a piece from pose p by distance t along it.
Pose advance(const Piece& piece, Pose p, double t) {
    if (piece.angle_deg == 0)
        return {p.x + std::cos(p.heading) * t, p.z + std::sin(p.heading) * t, p.heading};
    double side = piece.angle_deg > 0 ? 1 : -1;
    double rx = -std::sin(p.heading), rz = std::cos(p.heading);  // right-hand normal
    double cx = p.x + rx * piece.radius * side, cz = p.z + rz * piece.radius * side;
    double h = p.heading + side * t / piece.radius;
    return {cx - (-std::sin(h)) * piece.radius * side, cz - std::cos(h) * piece.radius * side, h};
}

double piece_length(const Piece& p) { return p.angle_deg == 0 ? p.length : std::abs(p.angle_deg) * PI / 180 * p.radius; }

// Fills the two closing lengths so that the loop ends where it started.
void close_loop(std::vector<Piece>& pieces) {
    Pose p{MERGE_X, GATE_Z, 0};
    for (const Piece& piece : pieces) p = advance(piece, p, piece_length(piece));
    // P_BACK runs south (+z), P_CROSS east (+x).
    pieces[P_BACK].length = GATE_Z - p.z;
    pieces[P_CROSS].length = MERGE_X - p.x;
}

struct LineData {
    std::vector<CentreSample> samples;
    std::vector<double> grade, feature, lip;
    std::vector<double> berm_slope;    // steepest berm slope (tan), 0 = none
    std::vector<double> camber_slope;  // off-camber fall (tan)
    std::vector<int> outside;          // +1 the turn's outside is to the right, -1 left
    bool closed = false;
};

double smoothstep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Rolling ground around the track: a hill to the north-west, gentle noise
// and a rim rising towards the edges of the square.
double ground(double x, double z) {
    double hill = 10 * std::exp(-((x - 260) * (x - 260) + (z - 300) * (z - 300)) / (2 * 170.0 * 170.0));
    double noise = 2.5 * fractal_noise(x, z, 160, 3, 2024);
    double edge = std::min({x, z, EXTENT - x, EXTENT - z});
    double rim = 12 * smoothstep(1 - edge / 50);
    return hill + noise + rim;
}

// Piecewise-linear profile through (distance, height) points; 0 outside.
double profile(const std::vector<std::pair<double, double>>& pts, double d) {
    if (d <= pts.front().first || d >= pts.back().first) return 0;
    for (size_t i = 1; i < pts.size(); ++i)
        if (d <= pts[i].first) {
            double t = (d - pts[i - 1].first) / (pts[i].first - pts[i - 1].first);
            return pts[i - 1].second + (pts[i].second - pts[i - 1].second) * t;
        }
    return 0;
}

double deg(double a) { return std::tan(a * PI / 180); }

struct Feature {
    int piece;
    double offset;  // from the start of the piece
    std::vector<std::pair<double, double>> points;
    // Jumps: the name, the point that is the lip and the point where the
    // landing (table, slope or plateau) begins; the landing ends with the profile.
    const char* jump = nullptr;
    int lip = 0, landing = 0;
};

// Jump and rhythm profiles. Face and landing angles are chosen for the speed
// the approach allows (see the Jump records below).
std::vector<Feature> loop_features() {
    std::vector<Feature> f;
    // Tabletop: 22 degree face to 5.4 ft, a 32 ft table, 12.7 degree landing.
    f.push_back({P_TABLE, 60, {{0, 0}, {13.4, 5.4}, {45.4, 5.4}, {69.4, 0}}, "tabletop", 1, 1});
    // Double: 26 degree take-off to 4.6 ft, 30 degree sides, a landing
    // mound 0.8 ft lower whose crest is 18 ft after the lip, and a long
    // 10 degree landing.
    f.push_back({P_DOUBLE, 80, {{0, 0}, {9.4, 4.6}, {17.4, 0}, {18.5, 0}, {25.1, 3.8}, {27.4, 3.8}, {49, 0}}, "double", 1, 4});
    // Step-up: 26 degree face to 4.2 ft, a shallow gap, a 26 degree wall up
    // to a 5.8 ft plateau 12 ft after the lip, then a long 7 degree ramp down.
    f.push_back({P_STEP_UP, 30, {{0, 0}, {8.6, 4.2}, {12.1, 2.4}, {13.6, 2.4}, {20.6, 5.8}, {55, 5.8}, {102, 0}},
                 "step-up", 1, 4});
    // Whoops: 13 bumps, 1.4 ft high, 12 ft apart.
    {
        std::vector<std::pair<double, double>> w;
        for (double d = 0; d <= 156; d += 1) w.push_back({d, 0.7 * (1 - std::cos(2 * PI * d / 12))});
        f.push_back({P_WHOOPS, 40, w});
    }
    // Rollers: three 2.4 ft rollers 36 ft apart; two big 3 ft ones on the back straight.
    {
        std::vector<std::pair<double, double>> r;
        for (double d = 0; d <= 108; d += 1) r.push_back({d, 1.2 * (1 - std::cos(2 * PI * d / 36))});
        f.push_back({P_ROLLERS, 20, r});
        std::vector<std::pair<double, double>> big;
        for (double d = 0; d <= 120; d += 1) big.push_back({d, 1.5 * (1 - std::cos(2 * PI * d / 60))});
        f.push_back({P_BACK, 120, big});
    }
    return f;
}

void fill_samples(LineData& line, const std::vector<Piece>& pieces, Pose start, std::vector<double>& piece_start) {
    double total = 0;
    piece_start.clear();
    for (const Piece& p : pieces) {
        piece_start.push_back(total);
        total += piece_length(p);
    }
    size_t k = 0;
    Pose p = start;
    for (int i = 0; double(i) < total - 1e-9; ++i) {
        double s = i;
        while (k + 1 < pieces.size() && s >= piece_start[k + 1]) {
            p = advance(pieces[k], p, piece_length(pieces[k]));
            ++k;
        }
        Pose q = advance(pieces[k], p, s - piece_start[k]);
        double curvature = pieces[k].angle_deg == 0 ? 0 : (pieces[k].angle_deg > 0 ? 1 : -1) / pieces[k].radius;
        line.samples.push_back({q.x, q.z, std::cos(q.heading), std::sin(q.heading), s, curvature, LOOP_HALF_WIDTH});
    }
}

// Gaussian smoothing of the ground along the line, so the track's grade
// follows the land without its small bumps.
std::vector<double> smooth_grade(const LineData& line, double sigma) {
    const int n = int(line.samples.size()), reach = int(3 * sigma);
    std::vector<double> raw(n), out(n);
    for (int i = 0; i < n; ++i) raw[i] = ground(line.samples[i].x, line.samples[i].z);
    for (int i = 0; i < n; ++i) {
        double sum = 0, weight = 0;
        for (int k = -reach; k <= reach; ++k) {
            int j = i + k;
            if (line.closed)
                j = ((j % n) + n) % n;
            else if (j < 0 || j >= n)
                continue;
            double w = std::exp(-0.5 * k * k / (sigma * sigma));
            sum += w * raw[j];
            weight += w;
        }
        out[i] = sum / weight;
    }
    return out;
}

LineData build_loop(std::vector<double>& piece_start) {
    std::vector<Piece> pieces = loop_pieces();
    close_loop(pieces);
    LineData line;
    line.closed = true;
    fill_samples(line, pieces, {MERGE_X, GATE_Z, 0}, piece_start);
    const int n = int(line.samples.size());
    const double total = n;
    line.grade = smooth_grade(line, 50);
    line.feature.assign(n, 0);
    line.lip.assign(n, 2);
    line.berm_slope.assign(n, 0);
    line.camber_slope.assign(n, 0);
    line.outside.assign(n, 0);
    for (const Feature& f : loop_features()) {
        for (int i = 0; i < n; ++i) line.feature[i] += profile(f.points, i - piece_start[f.piece] - f.offset);
        // Under a feature the grade runs straight from its start to its end,
        // so a landing is not lifted by a rise in the land.
        int a = int(piece_start[f.piece] + f.offset), b = int(std::ceil(a + f.points.back().first));
        for (int i = a + 1; i < b; ++i) line.grade[i] = line.grade[a] + (line.grade[b] - line.grade[a]) * (i - a) / (b - a);
    }
    // Banking ramps in over 25 ft before an arc and out over 25 ft after it.
    const double ramp = 25;
    for (int k = 0; k < PIECE_COUNT; ++k) {
        const Piece& p = pieces[k];
        if (p.angle_deg == 0 || p.kind == PLAIN) continue;
        double a = piece_start[k], b = a + piece_length(p);
        for (int i = 0; i < n; ++i) {
            double s = i, d = 0;
            double da = std::min(std::abs(s - a), total - std::abs(s - a));
            double db = std::min(std::abs(s - b), total - std::abs(s - b));
            bool inside = s >= a && s <= b;
            if (!inside) d = std::min(da, db);
            double k_ramp = inside ? 1 : 1 - d / ramp;
            if (k_ramp <= 0) continue;
            line.outside[i] = p.angle_deg > 0 ? -1 : 1;
            if (p.kind == BERM) {
                line.berm_slope[i] = std::max(line.berm_slope[i], deg(p.bank_deg) * k_ramp);
                line.lip[i] = 2 + 2 * k_ramp;
            } else {
                line.camber_slope[i] = std::max(line.camber_slope[i], deg(p.bank_deg) * k_ramp);
            }
        }
    }
    return line;
}

// The chute runs east from behind the gate to the loop's start; the pad is
// wide and flat at height 0 up to 70 ft past the gate, then it narrows and
// climbs to the loop's grade where they meet.
LineData build_chute(const LineData& loop) {
    LineData line;
    std::vector<double> unused;
    fill_samples(line, {{MERGE_X - CHUTE_START_X, 0, 0, PLAIN, 0}}, {CHUTE_START_X, GATE_Z, 0}, unused);
    const int n = int(line.samples.size());
    const double pad_end = GATE_X - CHUTE_START_X + 70, narrow_end = 330;
    for (int i = 0; i < n; ++i) {
        double t = smoothstep((i - pad_end) / (narrow_end - pad_end));
        line.samples[i].half_width = PAD_HALF_WIDTH + (LOOP_HALF_WIDTH - PAD_HALF_WIDTH) * t;
        line.grade.push_back(loop.grade[0] * smoothstep((i - pad_end) / (n - pad_end)));
    }
    line.feature.assign(n, 0);
    line.lip.assign(n, 2);
    line.berm_slope.assign(n, 0);
    line.camber_slope.assign(n, 0);
    line.outside.assign(n, 0);
    return line;
}

// Height of the shaped track at arc length index i, lateral offset u
// (positive to the right).
double track_height(const LineData& line, int i, double u) {
    const CentreSample& c = line.samples[i];
    double band = c.half_width + line.lip[i];
    u = std::clamp(u, -band, band);
    double h = line.grade[i] + line.feature[i];
    double uo = u * line.outside[i];
    double b = line.berm_slope[i], w = c.half_width;
    if (b > 0 && uo > 0) h += uo <= w ? b * uo * uo / (2 * w) : b * w / 2 + b * (uo - w);
    h -= line.camber_slope[i] * uo;
    return h;
}

// Nearest centre-line point of every vertex (within reach of a line).
struct Nearest {
    float d2 = 1e30f;
    int line = -1;
    float s = 0, u = 0;
};

void stamp(const LineData& line, int id, std::vector<Nearest>& near) {
    const int n = int(line.samples.size());
    const int segments = line.closed ? n : n - 1;
    for (int k = 0; k < segments; ++k) {
        const CentreSample& a = line.samples[k];
        const CentreSample& b = line.samples[(k + 1) % n];
        double reach = a.half_width + line.lip[k] + SHOULDER + 4;
        int i0 = std::max(0, int(std::floor((std::min(a.x, b.x) - reach) / CELL)));
        int i1 = std::min(VERTICES - 1, int(std::ceil((std::max(a.x, b.x) + reach) / CELL)));
        int j0 = std::max(0, int(std::floor((std::min(a.z, b.z) - reach) / CELL)));
        int j1 = std::min(VERTICES - 1, int(std::ceil((std::max(a.z, b.z) + reach) / CELL)));
        double ex = b.x - a.x, ez = b.z - a.z, len2 = ex * ex + ez * ez;
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                double px = i * CELL - a.x, pz = j * CELL - a.z;
                double t = std::clamp((px * ex + pz * ez) / len2, 0.0, 1.0);
                double qx = px - ex * t, qz = pz - ez * t;
                double d2 = qx * qx + qz * qz;
                if (d2 > reach * reach) continue;
                Nearest& v = near[size_t(j) * VERTICES + i];
                if (d2 < v.d2) v = {float(d2), id, float(k + t), float(px * -a.dz + pz * a.dx)};
            }
    }
}

struct Built {
    TrackDesign design;
    LineData loop, chute;
    std::vector<double> piece_start;
    std::vector<Nearest> near;
    std::vector<double> raw_heights;
};

// How far a vertex lies beyond the shaped band of its line (0 inside). The
// chute ends square behind the pad rather than round.
double beyond_band(const LineData& line, const Nearest& nv, double margin) {
    int i = std::min(int(nv.s), int(line.samples.size()) - 1);
    double band = line.samples[size_t(i)].half_width + line.lip[size_t(i)] + margin;
    if (!line.closed && nv.s <= 0) {
        double behind = std::sqrt(std::max(0.0, double(nv.d2) - double(nv.u) * nv.u));
        return std::max(std::max(0.0, std::abs(double(nv.u)) - band), behind);
    }
    return std::max(0.0, std::sqrt(double(nv.d2)) - band);
}

double shaped_height(const Built& b, size_t v, double x, double z) {
    const Nearest& nv = b.near[v];
    double g = ground(x, z);
    if (nv.line < 0) return g;
    const LineData& line = nv.line == 0 ? b.loop : b.chute;
    const int n = int(line.samples.size());
    int i = std::min(int(nv.s), n - 1);
    double f = nv.s - i;
    int i2 = line.closed ? (i + 1) % n : std::min(i + 1, n - 1);
    double ht = track_height(line, i, nv.u) * (1 - f) + track_height(line, i2, nv.u) * f;
    return ht + (g - ht) * smoothstep(beyond_band(line, nv, 0) / SHOULDER);
}

void build_heights(Built& b) {
    TrackDesign& d = b.design;
    b.near.assign(size_t(VERTICES) * VERTICES, Nearest{});
    stamp(b.loop, 0, b.near);
    stamp(b.chute, 1, b.near);
    b.raw_heights.resize(b.near.size());
    for (int j = 0; j < VERTICES; ++j)
        for (int i = 0; i < VERTICES; ++i) {
            size_t v = size_t(j) * VERTICES + i;
            b.raw_heights[v] = shaped_height(b, v, i * CELL, j * CELL);
        }
    d.size_exponent = SIZE_EXPONENT;
    d.cell = CELL;
    d.vertices = VERTICES;
}

// The 16-bit samples, and the heights the game will decode from them.
struct Quantised {
    double lowest, highest;
    std::vector<uint16_t> samples;
};

Quantised quantise(Built& b) {
    Quantised q;
    auto [lo, hi] = std::minmax_element(b.raw_heights.begin(), b.raw_heights.end());
    q.lowest = std::floor(*lo) - 1;
    q.highest = std::ceil(*hi) + 1;
    const double range = q.highest - q.lowest;
    q.samples.reserve(b.raw_heights.size());
    b.design.heights.resize(b.raw_heights.size());
    for (size_t v = 0; v < b.raw_heights.size(); ++v) {
        long s = std::lround((b.raw_heights[v] - q.lowest) / range * 65535);
        q.samples.push_back(uint16_t(std::clamp(s, 0L, 65535L)));
        b.design.heights[v] = float(q.lowest + range * q.samples.back() / 65535.0);
    }
    make_terrain(b.design.ground, SIZE_EXPONENT, float(CELL), b.design.heights);
    return q;
}

std::string terrain_file(const Quantised& q) {
    std::string out = fmt("%d %.6f %.6f %.6f\n:", SIZE_EXPONENT, CELL, q.lowest, q.highest);
    out.reserve(out.size() + q.samples.size() * 2);
    for (uint16_t s : q.samples) {
        out.push_back(char(s & 0xFF));
        out.push_back(char(s >> 8));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Surfaces.
enum Tile { TILE_DIRT = 0, TILE_HARDPACK = 1, TILE_GRASS = 2 };

int surface_at(const Built& b, size_t v) {
    const Nearest& nv = b.near[v];
    if (nv.line < 0) return TILE_GRASS;
    const LineData& line = nv.line == 0 ? b.loop : b.chute;
    if (beyond_band(line, nv, 1.5) > 0) return TILE_GRASS;
    // The pad is hard-packed from behind the gate to 60 ft past it.
    if (nv.line == 1 && nv.s < GATE_X - CHUTE_START_X + 60) return TILE_HARDPACK;
    return TILE_DIRT;
}

std::string tilemap_file(const Built& b) {
    std::string out(size_t(TILES) * TILES, '\0');
    for (int tj = 0; tj < TILES; ++tj)
        for (int ti = 0; ti < TILES; ++ti)
            out[size_t(tj) * TILES + ti] = char(surface_at(b, size_t(2 * tj + 1) * VERTICES + 2 * ti + 1));
    return out;
}

// Loose dirt grips well until the tire spins hard, throws plenty of roost
// and ruts up to about a foot deep; hard-pack grips best and never erodes;
// grass is slippery, throws little and digs shallow.
const char* const TILEINFO =
    "name dirt\n"
    "texture @dirt.png\n"
    "friction 1.10 2\n"
    "friction 1.00 10\n"
    "friction 0.85 30\n"
    "slip_function 1\n"
    "roll_resist 8 22 1\n"
    "roost count=12 dig=1.0 size=0.3 grow=3 drag=0.6 r=150 g=118 b=84 fade_a=-180\n"
    "roost count=4 dig=0.5 size=0.6 grow=6 drag=1.5 vscale=0.5 r=190 g=170 b=140 a=140 fade_a=-90\n"
    "erode_depth 1.0\n"
    "erode_inner_depth 0.125\n"
    "erode_limit 0 1 1\n"
    "erode_limit 0.5 0.6 0.6\n"
    "erode_limit 1.0 0.15 0.15\n"
    "addtile\n"
    "\n"
    "name hardpack\n"
    "texture @hardpack.png\n"
    "friction 1.20 2\n"
    "friction 1.05 10\n"
    "friction 0.90 30\n"
    "slip_function 1\n"
    "roll_resist 4 12 1\n"
    "roost count=3 dig=0.2 size=0.5 grow=6 drag=1.5 vscale=0.4 r=200 g=185 b=160 a=120 fade_a=-90\n"
    "erode_depth 0\n"
    "erode_inner_depth 0\n"
    "erode_displacement 0\n"
    "addtile\n"
    "\n"
    "name grass\n"
    "texture @grass.png\n"
    "friction 0.85 2\n"
    "friction 0.75 10\n"
    "friction 0.65 30\n"
    "slip_function 1\n"
    "roll_resist 6 18 1\n"
    "roost count=5 dig=0.6 size=0.25 grow=2 drag=0.6 r=90 g=110 b=60 fade_a=-200\n"
    "erode_depth 0.4\n"
    "erode_inner_depth 0.05\n"
    "erode_limit 0 1 1\n"
    "erode_limit 0.25 0.3 0.3\n"
    "addtile\n";

// ---------------------------------------------------------------------------
// Lighting and the baked shading.
constexpr double SUN[3] = {-0.9, 0.32, -0.2};  // towards the sun: evening, low in the west
constexpr double SUN_COLOUR[3] = {1.0, 0.96, 0.88};
constexpr double AMBIENT[3] = {0.45, 0.47, 0.52};

std::string lighting_file() {
    return "sun_vector [ -0.9 0.32 -0.2 ]\n"
           "sun_color [ 1.0 0.96 0.88 ]\n"
           "ambient [ 0.45 0.47 0.52 ]\n"
           "global_ambient [ 0.2 0.2 0.2 ]\n"
           "sky_n @sky-n.ppm\n"
           "sky_e @sky-e.ppm\n"
           "sky_s @sky-s.ppm\n"
           "sky_w @sky-w.ppm\n"
           "sky_u @sky-u.ppm\n"
           "sky_env @sky-env.ppm\n"
           "fog [ 0.74 0.8 0.87 ] 0.0006\n"
           "near_plane 0.25\n"
           "far_plane 5000\n";
}

struct Light {
    Picture shading{VERTICES, VERTICES, 3};
    Picture shadows{VERTICES, VERTICES, 1};
};

Light bake_light(const TrackDesign& d) {
    Light out;
    double len = std::sqrt(SUN[0] * SUN[0] + SUN[1] * SUN[1] + SUN[2] * SUN[2]);
    const double lx = SUN[0] / len, ly = SUN[1] / len, lz = SUN[2] / len;
    const double horizontal = std::sqrt(lx * lx + lz * lz);
    auto H = [&](int i, int j) {
        return double(d.heights[size_t(std::clamp(j, 0, VERTICES - 1)) * VERTICES + std::clamp(i, 0, VERTICES - 1)]);
    };
    for (int j = 0; j < VERTICES; ++j)
        for (int i = 0; i < VERTICES; ++i) {
            double nx = -(H(i + 1, j) - H(i - 1, j)) / (2 * CELL), nz = -(H(i, j + 1) - H(i, j - 1)) / (2 * CELL);
            double nl = std::sqrt(nx * nx + 1 + nz * nz);
            double diffuse = std::max(0.0, (nx * lx + ly + nz * lz) / nl);
            // March towards the sun; the light fades as the ground rises above the ray.
            double x = i * CELL, z = j * CELL, h0 = H(i, j) + 0.05, block = 0;
            for (double t = 3; t < 260; t += 3) {
                double px = x + lx / horizontal * t, pz = z + lz / horizontal * t;
                if (px < 0 || pz < 0 || px > EXTENT || pz > EXTENT) break;
                double above = d.height_at(px, pz) - (h0 + ly / horizontal * t);
                block = std::max(block, above);
            }
            double lit = 1 - std::clamp(block / 0.75, 0.0, 1.0);
            out.shadows.at(i, j)[0] = uint8_t(std::lround(lit * 255));
            for (int c = 0; c < 3; ++c) {
                double light = AMBIENT[c] + SUN_COLOUR[c] * diffuse * lit;
                out.shading.at(i, j)[c] = uint8_t(std::clamp(std::lround(light * 127.5), 0L, 255L));
            }
        }
    return out;
}

// ---------------------------------------------------------------------------
// Gates, cameras, marshals, trackside objects.

double loop_s(const Built& b, int piece, double offset) { return b.piece_start[piece] + offset; }

const CentreSample& loop_at(const Built& b, double s) {
    const auto& l = b.loop.samples;
    int n = int(l.size());
    int i = int(std::floor(s));
    return l[size_t(((i % n) + n) % n)];
}

// A point beside the loop: lateral offset to the right of the centre line.
void beside(const Built& b, double s, double offset, double& x, double& z) {
    const CentreSample& c = loop_at(b, s);
    x = c.x - c.dz * offset;
    z = c.z + c.dx * offset;
}

struct GatePlan {
    int piece;
    double offset;
};

// Checkpoints on the loop in lap order: the start straight, each turn's
// exit, the middle of the long back straight, and the finish line last.
const GatePlan LOOP_GATES[] = {
    {P_START, 60},    {P_TABLE, 20},   {P_ROLLERS, 20}, {P_WHOOPS, 20}, {P_HAIRPIN_EXIT, 30}, {P_DOUBLE, 20},
    {P_DIP, 20}, {P_OFF_CAMBER_EXIT, 20}, {P_STEP_UP, 20}, {P_BACK, 20}, {P_BACK, 230}, {P_CROSS, 20},  {P_FINISH, 50},
};

void plan_gates(Built& b) {
    TrackDesign& d = b.design;
    // Chute: one just past the gate across the whole pad, one where it narrows.
    const double chute_s[] = {GATE_X - CHUTE_START_X + 40, 300};
    const double chute_r[] = {PAD_HALF_WIDTH + 6, 36};
    for (int k = 0; k < 2; ++k) {
        const CentreSample& c = b.chute.samples[size_t(chute_s[k])];
        d.checkpoints.push_back({c.x, c.z, c.dx, c.dz, chute_r[k]});
        d.first_lap.push_back(k);
    }
    for (const GatePlan& g : LOOP_GATES) {
        const CentreSample& c = loop_at(b, loop_s(b, g.piece, g.offset));
        int index = int(d.checkpoints.size());
        d.checkpoints.push_back({c.x, c.z, c.dx, c.dz, 30});
        d.first_lap.push_back(index);
        d.normal_lap.push_back(index);
    }
}

// Rounding noise such as -1e-17 would print as "-0.000000".
double tidy(double v) { return std::abs(v) < 5e-7 ? 0.0 : v; }

std::string timing_gates_file(const Built& b) {
    const TrackDesign& d = b.design;
    std::string out = "startinggate:\n";
    for (int g = 0; g < GATE_COUNT; ++g)
        out += fmt("[%.6f %.6f %.6f] %.6f @startgate.qm @startgate.ppm @startgate.shp\n", d.gate_x, 0.0,
                   d.gate_z - GATE_SPACING * (GATE_COUNT - 1) / 2 + GATE_SPACING * g, d.gate_angle);
    out += "checkpoints:\n";
    for (const Checkpoint& c : d.checkpoints)
        out += fmt("%.6f [%.6f %.6f %.6f] [%.6f %.6f %.6f]\n", c.radius, c.x, d.height_at(c.x, c.z), c.z, tidy(c.dx), 0.0,
                   tidy(c.dz));
    out += "firstlap:\n";
    for (int i : d.first_lap) out += fmt("%d ", i);
    out += "\nnormallap:\n";
    for (int i : d.normal_lap) out += fmt("%d ", i);
    out += "\n";
    return out;
}

struct CameraPlan {
    int piece;
    double offset, side, height, fov;
};

// Trackside cameras, each watching a feature from outside the loop.
const CameraPlan CAMERAS[] = {
    {P_T1, 20, -45, 14, 60},         {P_TABLE, 100, 45, 12, 55},     {P_ROLLERS, 70, -40, 10, 60},
    {P_WHOOPS, 110, 40, 10, 60},     {P_DOUBLE, 95, 40, 10, 50},     {P_T7, 70, 60, 12, 60},
    {P_STEP_UP, 90, -42, 12, 55},    {P_BACK, 200, -42, 10, 60},     {P_FINISH, 40, -40, 12, 60},
};

std::string cameras_file(const Built& b) {
    const TrackDesign& d = b.design;
    // The start camera stands north of the pad, level with the gate; the
    // others beside the loop.
    const int count = int(std::size(CAMERAS)) + 1;
    std::vector<double> cx(count), cz(count), height(count), fov(count);
    cx[0] = GATE_X + 70, cz[0] = GATE_Z - PAD_HALF_WIDTH - 14, height[0] = 12, fov[0] = 70;
    for (int k = 1; k < count; ++k) {
        const CameraPlan& c = CAMERAS[k - 1];
        beside(b, loop_s(b, c.piece, c.offset), c.side, cx[k], cz[k]);
        height[k] = c.height, fov[k] = c.fov;
    }
    // Each checkpoint goes to the nearest camera, so the view follows a
    // rider to whichever camera sees the gate ahead.
    std::vector<std::vector<int>> gates(count);
    for (size_t g = 0; g < d.checkpoints.size(); ++g) {
        int best = 0;
        double best_d = 1e30;
        for (int k = 0; k < count; ++k) {
            double dd = std::hypot(cx[k] - d.checkpoints[g].x, cz[k] - d.checkpoints[g].z);
            if (dd < best_d) best_d = dd, best = k;
        }
        gates[size_t(best)].push_back(int(g));
    }
    std::string out;
    for (int k = 0; k < count; ++k) {
        if (!gates[size_t(k)].empty()) {
            out += "gate";
            for (int g : gates[size_t(k)]) out += fmt(" %d", g);
            out += "\n";
        }
        out += fmt("fov %.1f\nautofovsize 12\naddcamera %.2f %.2f %.2f\n", fov[k], cx[k], height[k], cz[k]);
    }
    return out;
}

// Index of the first checkpoint of the normal lap whose loop position comes
// after arc length s.
int gate_after(const Built& b, double s) {
    int k = 0;
    for (const GatePlan& g : LOOP_GATES) {
        if (loop_s(b, g.piece, g.offset) > s) return 2 + k;
        ++k;
    }
    return 2;
}

std::string flaggers_file(const Built& b) {
    const TrackDesign& d = b.design;
    std::string out;
    // Start marshal: in front of the middle of the gate, walking off to the
    // north side of the pad in 4 s.
    out += fmt("[ %.2f 0 %.2f ] [ %.2f 0 %.2f ] 6 0.5 4\n", d.gate_x + 12, d.gate_z, d.gate_x + 16,
               d.gate_z - PAD_HALF_WIDTH - 6);
    out += "@flagger_start1.png @flagger_start2.png @flagger_start3.png @flagger_start4.png @flagger_start5.png\n";
    double fx, fz;
    beside(b, loop_s(b, P_FINISH, 50), 20, fx, fz);
    out += fmt("[ %.2f 0 %.2f ] 6 0.5\n", fx, fz);
    out += "@flagger_finish1.png @flagger_finish2.png @flagger_finish3.png @flagger_finish4.png\n";
    // Course marshals ahead of the blind spots, warning of a rider down on
    // the stretch ahead of them.
    const CameraPlan marshals[] = {{P_TABLE, 40, 22, 0, 0},  {P_WHOOPS, 30, 22, 0, 0}, {P_DOUBLE, 60, 22, 0, 0},
                                   {P_STEP_UP, 40, -22, 0, 0}, {P_T7, 10, 24, 0, 0},   {P_T4, 40, 24, 0, 0}};
    for (const CameraPlan& m : marshals) {
        double s = loop_s(b, m.piece, m.offset), x, z;
        beside(b, s, m.side, x, z);
        int g = gate_after(b, s);
        int g2 = g + 1 < int(d.checkpoints.size()) ? g + 1 : 2;
        out += fmt("[ %.2f 0 %.2f ] 6 0.5 %d %d -1 -1\n@flagger_yellow_idle.png @flagger_yellow_wave.png\n", x, z, g, g2);
    }
    return out;
}

std::string billboards_file(const Built& b) {
    std::string out;
    // Crowd along the finish straight, the inside of turn 1 and the tabletop.
    struct Stand {
        int piece;
        double from, to, side;
    };
    const Stand stands[] = {{P_FINISH, 0, 100, -24}, {P_T1, 10, 110, 26}, {P_TABLE, 40, 130, -30}, {P_DOUBLE, 60, 140, -30}};
    for (const Stand& st : stands)
        for (double o = st.from; o < st.to; o += 12) {
            double x, z;
            beside(b, loop_s(b, st.piece, o), st.side, x, z);
            out += fmt("[%.2f 0.00 %.2f] 5.50 2.00 @crowd.png\n", x, z);
        }
    // Trees on the grass, away from every line.
    Rng rng(9001);
    const char* tints[] = {"@tree.png", "#d8f0c0#@tree.png", "#c0d890#@tree.png", "#f0e0b0#@tree.png"};
    int placed = 0;
    for (int attempt = 0; attempt < 4000 && placed < 160; ++attempt) {
        double x = rng.range(30, EXTENT - 30), z = rng.range(30, EXTENT - 30);
        double height = rng.range(18, 34);
        int tint = int(rng.next() % 4);
        int i = int(x / CELL), j = int(z / CELL);
        if (b.near[size_t(j) * VERTICES + i].line >= 0) continue;
        out += fmt("[%.2f 0.00 %.2f] %.2f 0.50 %s\n", x, z, height, tints[tint]);
        ++placed;
    }
    return out;
}

// ---------------------------------------------------------------------------
// The overview map: the whole square, 2 ft a pixel, north up. Grass shaded
// by the light, the riding surface brown (hard-pack pale), jumps coloured by
// height from yellow to red, whoops and rollers orange, berms dark, the
// starting gate a white bar, the finish a chequered band, and white arrows
// along the loop showing the direction of the lap.
// Hill shading for the map: light from the north-west at 45 degrees, flat
// ground at 1.
double map_shade(const TrackDesign& d, int i, int j) {
    auto H = [&](int a, int c) {
        return double(d.heights[size_t(std::clamp(c, 0, VERTICES - 1)) * VERTICES + std::clamp(a, 0, VERTICES - 1)]);
    };
    double gx = (H(i + 1, j) - H(i - 1, j)) / (2 * CELL), gz = (H(i, j + 1) - H(i, j - 1)) / (2 * CELL);
    double lit = (gx * 0.5 + gz * 0.5 + 0.7071) / std::sqrt(gx * gx + gz * gz + 1);
    return lit / 0.7071;
}

Picture map_picture(const Built& b) {
    const int size = VERTICES - 1;
    Picture p(size, size, 4);
    auto set = [&](int x, int y, int r, int g, int bl, int a) {
        if (x < 0 || y < 0 || x >= size || y >= size) return;
        uint8_t* px = p.at(x, y);
        px[0] = uint8_t(std::clamp(r, 0, 255)), px[1] = uint8_t(std::clamp(g, 0, 255));
        px[2] = uint8_t(std::clamp(bl, 0, 255)), px[3] = uint8_t(a);
    };
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            size_t v = size_t(j) * VERTICES + i;
            double shade = map_shade(b.design, i, j);
            int surface = surface_at(b, v);
            const Nearest& nv = b.near[v];
            if (surface == TILE_GRASS) {
                set(i, j, int(std::min(255.0, 70 * shade)), int(std::min(255.0, 120 * shade)),
                    int(std::min(255.0, 55 * shade)), 170);
                continue;
            }
            const LineData& line = nv.line == 0 ? b.loop : b.chute;
            int k = std::min(int(nv.s), int(line.samples.size()) - 1);
            double feature = line.feature[size_t(k)];
            bool on_track = std::sqrt(double(nv.d2)) <= line.samples[size_t(k)].half_width;
            int r = 150, g = 105, bl = 65;
            if (surface == TILE_HARDPACK) r = 215, g = 195, bl = 160;
            if (!on_track) r = 110, g = 75, bl = 45;  // berm lips and edges
            if (on_track && feature > 0.3) {
                if (feature < 3.2 && (k >= b.piece_start[P_WHOOPS] && k < b.piece_start[P_T4])) r = 240, g = 140, bl = 30;
                else if (feature < 3.2 && nv.line == 0 && (k < b.piece_start[P_T5] || k > b.piece_start[P_BACK]))
                    r = 240, g = 140, bl = 30;  // rollers
                else {
                    double t = std::clamp(feature / 6.5, 0.0, 1.0);
                    r = 255, g = int(230 - 190 * t), bl = int(60 - 40 * t);
                }
            }
            if (on_track && line.berm_slope[size_t(k)] > 0.1 && nv.u * line.outside[size_t(k)] > 2)
                r = 95, g = 60, bl = 35;
            set(i, j, int(r * std::min(1.2, shade)), int(g * std::min(1.2, shade)), int(bl * std::min(1.2, shade)), 255);
        }
    // A dark edge round the riding surface, so the loop reads at a glance.
    std::vector<uint8_t> grass(size_t(size) * size);
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) grass[size_t(j) * size + i] = surface_at(b, size_t(j) * VERTICES + i) == TILE_GRASS;
    for (int j = 1; j + 1 < size; ++j)
        for (int i = 1; i + 1 < size; ++i)
            if (!grass[size_t(j) * size + i] && (grass[size_t(j) * size + i - 1] || grass[size_t(j) * size + i + 1] ||
                                                  grass[size_t(j - 1) * size + i] || grass[size_t(j + 1) * size + i]))
                set(i, j, 45, 30, 20, 255);
    const TrackDesign& d = b.design;
    // Starting gate: a white bar with a dark tick per gate.
    for (int g = 0; g < GATE_COUNT; ++g) {
        double z = d.gate_z - GATE_SPACING * (GATE_COUNT - 1) / 2 + GATE_SPACING * g;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dz = -1; dz <= 1; ++dz) set(int(d.gate_x / CELL) + dx, int(z / CELL) + dz, 255, 255, 255, 255);
        set(int(d.gate_x / CELL) - 2, int(z / CELL), 30, 30, 30, 255);
    }
    // Finish line: chequered band across the loop.
    const Checkpoint& fin = d.checkpoints[size_t(d.normal_lap.back())];
    for (double o = -LOOP_HALF_WIDTH - 2; o <= LOOP_HALF_WIDTH + 2; o += CELL)
        for (int w = -2; w <= 1; ++w) {
            double x = fin.x - fin.dz * o + fin.dx * w * CELL, z = fin.z + fin.dx * o + fin.dz * w * CELL;
            int ci = int(std::floor(o / 4)) + w;
            int c = (ci & 1) ? 20 : 250;
            set(int(x / CELL), int(z / CELL), c, c, c, 255);
        }
    // Direction arrows every 150 ft along the loop.
    const double total = double(b.loop.samples.size());
    for (double s = 75; s < total - 40; s += 150) {
        const CentreSample& c = loop_at(b, s);
        const Checkpoint& f = b.design.checkpoints[size_t(b.design.normal_lap.back())];
        if (std::hypot(c.x - f.x, c.z - f.z) < 30) continue;  // keep the finish line clear
        for (double back = 0; back <= 14; back += 0.5)
            for (int side : {-1, 1})
                for (double w = 0; w <= 1.5; w += 0.75) {
                    double x = c.x - c.dx * (back * 0.7 + w) - c.dz * side * back * 0.6,
                           z = c.z - c.dz * (back * 0.7 + w) + c.dx * side * back * 0.6;
                    set(int(x / CELL), int(z / CELL), 255, 255, 255, 255);
                }
    }
    return p;
}

Built build() {
    Built b;
    b.loop = build_loop(b.piece_start);
    b.chute = build_chute(b.loop);
    build_heights(b);
    TrackDesign& d = b.design;
    d.loop = b.loop.samples;
    d.chute = b.chute.samples;
    d.gate_x = GATE_X;
    d.gate_z = GATE_Z;
    d.gate_angle = -PI / 2;  // facing east, +x
    d.gate_spacing = GATE_SPACING;
    d.gate_count = GATE_COUNT;
    plan_gates(b);
    // Jump lips and landing stretches, from the profiles above.
    for (const Feature& f : loop_features())
        if (f.jump) {
            double start = loop_s(b, f.piece, f.offset);
            d.jumps.push_back({f.jump, start + f.points[size_t(f.lip)].first, start + f.points[size_t(f.landing)].first,
                               start + f.points.back().first});
        }
    return b;
}

}  // namespace

double TrackDesign::height_at(double x, double z) const { return terrain_height(ground, float(x), float(z)); }

TrackDesign design_veviredoze() {
    Built b = build();
    quantise(b);
    return std::move(b.design);
}

void add_track_veviredoze(FileTree& tree) {
    Built b = build();
    Quantised q = quantise(b);
    const std::string dir = "veviredoze/";
    tree[dir + "terrain.hf"] = terrain_file(q);
    tree[dir + "tilemap"] = tilemap_file(b);
    tree[dir + "tileinfo"] = TILEINFO;
    tree[dir + "lighting"] = lighting_file();
    Light light = bake_light(b.design);
    tree[dir + "shadingx2.ppm"] = pnm_file(light.shading);
    tree[dir + "shadows.pgm"] = pnm_file(light.shadows);
    tree[dir + "timing_gates"] = timing_gates_file(b);
    tree[dir + "cameras"] = cameras_file(b);
    tree[dir + "flaggers"] = flaggers_file(b);
    tree[dir + "billboards"] = billboards_file(b);
    tree[dir + "desc"] = "Veviredoze\nA dirt loop of berms, whoops, rollers, a tabletop, a double and a step-up.\n";
    tree[dir + "map.png"] = png_file(map_picture(b));
}

}  // namespace datakit
