// Geometry against the triangulated height field: spheres and wheel tori.
#include <algorithm>
#include <cmath>

#include "physics/physics_local.h"
#include "terrain/terrain.h"

namespace {

Vec3 vertex(const Terrain& t, int i, int j) {
    float s = t.cell_size;
    return {static_cast<float>(i) * s, terrain_vertex_height(t, i, j), static_cast<float>(j) * s};
}

// Barycentric test: does p (already on the plane) lie inside the triangle?
bool inside(const GroundTriangle& tri, Vec3 p) {
    for (int k = 0; k < 3; k++) {
        Vec3 a = tri.v[k], b = tri.v[(k + 1) % 3];
        if (dot(cross(b - a, p - a), tri.normal) < 0) return false;
    }
    return true;
}

Vec3 nearest_on_segment(Vec3 a, Vec3 b, Vec3 p, bool& within) {
    Vec3 d = b - a;
    float dd = dot(d, d);
    float u = dd > 0 ? dot(p - a, d) / dd : 0;
    within = u >= 0 && u <= 1;
    return a + d * clampf(u, 0, 1);
}

struct Circle {
    Vec3 centre, axis;
    float radius;
};

// Nearest point of the circle to p.
Vec3 circle_point_near(const Circle& c, Vec3 p) {
    Vec3 v = p - c.centre;
    Vec3 radial = v - c.axis * dot(v, c.axis);
    float len = length(radial);
    if (len < 1e-12f) {
        // On the axis every circle point is as near: take one across the axis.
        Vec3 any = std::fabs(c.axis.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        radial = cross(c.axis, any);
        len = length(radial);
    }
    return c.centre + radial * (c.radius / len);
}

// Nearest approach of segment a–b to the circle. With P(t) = a + t (b − a),
// q = |P − c|², h the axial offset and g = q − h² the squared radial
// distance, the squared distance to the circle is f = q − 2 R √g + R²; its
// stationary points are the roots of the quartic q'² g = R² g'². The best of
// five samples of f starts at most four Newton steps on f' (with exact
// derivatives), which stop as soon as the residual stops shrinking.
Vec3 segment_point_near_circle(const Circle& c, Vec3 a, Vec3 b) {
    Vec3 d = b - a, e = a - c.centre;
    double dd = dot(d, d), ed = dot(e, d), ee = dot(e, e);
    double h0 = dot(e, c.axis), h1 = dot(d, c.axis), R = c.radius;
    struct F {
        double f, f1, f2;
    };
    auto eval = [&](double t) {
        double q = ee + 2 * t * ed + t * t * dd, q1 = 2 * ed + 2 * t * dd, q2 = 2 * dd;
        double h = h0 + t * h1;
        double g = q - h * h, g1 = q1 - 2 * h * h1, g2 = q2 - 2 * h1 * h1;
        if (g < 1e-12) g = 1e-12;
        double rho = std::sqrt(g);
        return F{q - 2 * R * rho + R * R, q1 - R * g1 / rho, q2 - R * (g2 / rho - g1 * g1 / (2 * g * rho))};
    };
    double best_t = 0, best = eval(0).f;
    for (int k = 1; k <= 4; k++) {
        double t = k / 4.0, v = eval(t).f;
        if (v < best) best = v, best_t = t;
    }
    double t = best_t, residual = INFINITY;
    for (int step = 0; step < 4; step++) {
        F v = eval(t);
        if (!(std::fabs(v.f1) < residual) || v.f2 <= 0) break;
        residual = std::fabs(v.f1);
        double next = std::clamp(t - v.f1 / v.f2, 0.0, 1.0);
        if (eval(next).f > v.f) break;
        t = next;
    }
    return a + d * static_cast<float>(t);
}

// Can the triangle reach the torus at all? The torus lies within R + r of its
// centre and within r of the circle's plane.
bool torus_may_touch(const GroundTriangle& tri, const Circle& c, float r) {
    float reach = c.radius + r;
    int above = 0, below = 0;
    for (const Vec3& v : tri.v) {
        float h = dot(v - c.centre, c.axis);
        above += h > r;
        below += h < -r;
    }
    if (above == 3 || below == 3) return false;
    // Far above the plane nothing touches; below it the wheel is buried,
    // which is the deepest contact of all.
    float height = dot(c.centre - tri.v[0], tri.normal);
    if (height > reach) return false;
    Vec3 lo = tri.v[0], hi = tri.v[0];
    for (const Vec3& v : tri.v) {
        lo = {std::fmin(lo.x, v.x), std::fmin(lo.y, v.y), std::fmin(lo.z, v.z)};
        hi = {std::fmax(hi.x, v.x), std::fmax(hi.y, v.y), std::fmax(hi.z, v.z)};
    }
    return c.centre.x + reach >= lo.x && c.centre.x - reach <= hi.x && c.centre.z + reach >= lo.z &&
           c.centre.z - reach <= hi.z && c.centre.y - reach <= hi.y;
}

// One triangle against the torus; depth may be <= 0 (no contact).
GroundHit torus_triangle(const GroundTriangle& tri, const Circle& c, float r, bool refine) {
    GroundHit hit;
    Vec3 n = tri.normal;
    // The circle point lowest against the plane, and its foot on the plane.
    Vec3 across = n - c.axis * dot(n, c.axis);
    float len = length(across);
    Vec3 low = len > 1e-6f ? c.centre - across * (c.radius / len) : c.centre;
    float height = dot(low - tri.v[0], n);
    Vec3 foot = low - n * height;
    if (inside(tri, foot)) {
        hit.depth = r - height;
        hit.point = foot;
        hit.normal = n;
        return hit;
    }
    Vec3 candidates[6];
    int count = 0;
    for (int k = 0; k < 3; k++) {
        Vec3 a = tri.v[k], b = tri.v[(k + 1) % 3];
        if (refine) {
            candidates[count++] = segment_point_near_circle(c, a, b);
        } else {
            bool within;
            candidates[count++] = nearest_on_segment(a, b, circle_point_near(c, a * 0.5f + b * 0.5f), within);
        }
        candidates[count++] = a;
    }
    float best = INFINITY;
    Vec3 best_p, best_q;
    for (int k = 0; k < count; k++) {
        Vec3 q = circle_point_near(c, candidates[k]);
        float d2 = length_squared(candidates[k] - q);
        if (d2 < best) best = d2, best_p = candidates[k], best_q = q;
    }
    // The normal points from the ground point to the circle, unless the
    // circle has passed below the ground's plane.
    Vec3 dir = best_q - best_p;
    float dist = std::sqrt(best);
    bool below = dot(best_q - tri.v[0], n) < 0;
    hit.depth = below ? r + dist : r - dist;
    hit.point = best_p;
    hit.normal = dist > 1e-9f ? dir * ((below ? -1.0f : 1.0f) / dist) : n;
    return hit;
}

GroundHit sphere_triangle(const GroundTriangle& tri, Vec3 p, float rho) {
    GroundHit hit;
    float height = dot(p - tri.v[0], tri.normal);
    Vec3 foot = p - tri.normal * height;
    if (inside(tri, foot)) {
        hit.depth = rho - height;
        hit.normal = tri.normal;
    } else {
        float best = INFINITY;
        Vec3 nearest;
        bool any_edge = false;
        for (int k = 0; k < 3; k++) {
            bool within;
            Vec3 q = nearest_on_segment(tri.v[k], tri.v[(k + 1) % 3], p, within);
            float d2 = length_squared(p - q);
            if (within && d2 < best) best = d2, nearest = q, any_edge = true;
        }
        if (!any_edge)
            for (const Vec3& v : tri.v) {
                float d2 = length_squared(p - v);
                if (d2 < best) best = d2, nearest = v;
            }
        float dist = std::sqrt(best);
        hit.depth = rho - dist;
        hit.normal = dist > 1e-9f ? (p - nearest) * (1 / dist) : tri.normal;
    }
    hit.point = p - hit.normal * rho;
    return hit;
}

struct CellRange {
    int i0, i1, j0, j1;  // cells i0 ≤ i < i1, j0 ≤ j < j1
};

CellRange cells_around(const Terrain& t, Vec3 p, float extent) {
    auto lo = [&](float v) { return static_cast<int>(std::floor(clampf((v - extent) / t.cell_size, -1e6f, 1e6f))); };
    auto hi = [&](float v) { return static_cast<int>(std::ceil(clampf((v + extent) / t.cell_size, -1e6f, 1e6f))); };
    return {lo(p.x), hi(p.x), lo(p.z), hi(p.z)};
}

void keep_deepest(GroundHit& best, const GroundHit& h) {
    if (h.depth > 0 && (!best.hit || h.depth > best.depth)) {
        best = h;
        best.hit = true;
    }
}

}  // namespace

void ground_cell_triangles(const Terrain& t, int i, int j, GroundTriangle out[2]) {
    Vec3 a = vertex(t, i, j), b = vertex(t, i + 1, j), c = vertex(t, i, j + 1), d = vertex(t, i + 1, j + 1);
    if ((i + j) & 1) {
        out[0] = {{a, c, b}, {}};  // off-diagonal corner (i, j)
        out[1] = {{d, b, c}, {}};  // off-diagonal corner (i+1, j+1)
    } else {
        out[0] = {{c, d, a}, {}};  // off-diagonal corner (i, j+1)
        out[1] = {{b, a, d}, {}};  // off-diagonal corner (i+1, j)
    }
    for (int k = 0; k < 2; k++) {
        Vec3 n = normalize(cross(out[k].v[1] - out[k].v[0], out[k].v[2] - out[k].v[0]));
        if (n.y < 0) {
            n = -n;
            std::swap(out[k].v[1], out[k].v[2]);
        }
        out[k].normal = n;
    }
}

void apply_normal_rule(Vec3& normal) {
    if (normal.y >= 0) return;
    Vec3 flat{normal.x, 0, normal.z};
    float len = length(flat);
    normal = len < 1.0f / 1024 ? Vec3{0, 1, 0} : flat * (1 / len);
}

GroundHit sphere_ground_contact(const Terrain& t, Vec3 p, float rho) {
    GroundHit best;
    if (t.vertices_per_side == 0) return best;
    CellRange r = cells_around(t, p, rho);
    GroundTriangle tris[2];
    for (int j = r.j0; j < r.j1; j++)
        for (int i = r.i0; i < r.i1; i++) {
            ground_cell_triangles(t, i, j, tris);
            for (const GroundTriangle& tri : tris) keep_deepest(best, sphere_triangle(tri, p, rho));
        }
    if (best.hit) apply_normal_rule(best.normal);
    return best;
}

bool ground_may_reach(const Terrain& t, float x0, float x1, float z0, float z1, float lowest) {
    if (t.vertices_per_side == 0) return false;
    // The cells each sphere test visits lie inside this range (floor and
    // ceil are monotone), and their triangles' corners are these vertices.
    CellRange r = cells_around(t, Vec3{x0, 0, z0}, 0);
    CellRange hi = cells_around(t, Vec3{x1, 0, z1}, 0);
    r.i1 = hi.i1, r.j1 = hi.j1;
    // A huge or odd footprint is not worth bounding: test sphere by sphere.
    if (!(r.i1 - r.i0 <= 64 && r.j1 - r.j0 <= 64)) return true;
    float top = -INFINITY;
    for (int j = r.j0; j <= r.j1; j++)
        for (int i = r.i0; i <= r.i1; i++) top = std::fmax(top, terrain_vertex_height(t, i, j));
    // A sphere wholly above every corner is above every triangle (their
    // normals point up); the margin covers rounding in the sphere tests.
    float margin = 1.0f / 64 + std::fabs(top) * (1.0f / 4096);
    return !(lowest > top + margin);
}

GroundHit torus_ground_contact(const Terrain& t, Vec3 centre, Vec3 axis, float R, float r, bool refine) {
    GroundHit best;
    if (t.vertices_per_side == 0) return best;
    Circle c{centre, normalize(axis), R};
    CellRange cr = cells_around(t, centre, R + r);
    GroundTriangle tris[2];
    for (int j = cr.j0; j < cr.j1; j++)
        for (int i = cr.i0; i < cr.i1; i++) {
            ground_cell_triangles(t, i, j, tris);
            for (const GroundTriangle& tri : tris)
                if (torus_may_touch(tri, c, r)) keep_deepest(best, torus_triangle(tri, c, r, refine));
        }
    if (best.hit) apply_normal_rule(best.normal);
    return best;
}

// The first touching triangle, searching outwards from the centre cell
// (offsets 0, +1, −1, +2, −2 … on columns and rows alternately).
GroundHit torus_ground_first(const Terrain& t, Vec3 centre, Vec3 axis, float R, float r) {
    GroundHit none;
    if (t.vertices_per_side == 0) return none;
    Circle c{centre, normalize(axis), R};
    CellRange cr = cells_around(t, centre, R + r);
    int ci = (cr.i0 + cr.i1) / 2, cj = (cr.j0 + cr.j1) / 2;
    int reach = std::max(cr.i1 - cr.i0, cr.j1 - cr.j0) / 2 + 1;
    auto offset = [](int k) { return (k & 1) ? (k + 1) / 2 : -(k / 2); };
    GroundTriangle tris[2];
    for (int a = 0; a < 2 * reach + 1; a++)
        for (int b = 0; b < 2 * reach + 1; b++) {
            int i = ci + offset(a), j = cj + offset(b);
            if (i < cr.i0 || i >= cr.i1 || j < cr.j0 || j >= cr.j1) continue;
            ground_cell_triangles(t, i, j, tris);
            for (const GroundTriangle& tri : tris) {
                if (!torus_may_touch(tri, c, r)) continue;
                GroundHit h = torus_triangle(tri, c, r, false);
                if (h.depth > 0) {
                    h.hit = true;
                    apply_normal_rule(h.normal);
                    return h;
                }
            }
        }
    return none;
}
