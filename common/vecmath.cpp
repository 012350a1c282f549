#include "common/common.h"

#include <cmath>

float length(Vec3 a) { return std::sqrt(dot(a, a)); }

Vec3 normalize(Vec3 a) {
    float l = length(a);
    return l > 0 ? a * (1.0f / l) : Vec3{};
}

Quat quat_mul(Quat a, Quat b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quat quat_conj(Quat q) { return {q.w, -q.x, -q.y, -q.z}; }

Quat quat_normalize(Quat q) {
    float l = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (!(l > 0)) return Quat{};
    float k = 1.0f / l;
    return {q.w * k, q.x * k, q.y * k, q.z * k};
}

Quat quat_from_axis_angle(Vec3 axis, float radians) {
    Vec3 n = normalize(axis);
    float s = std::sin(radians * 0.5f);
    return {std::cos(radians * 0.5f), n.x * s, n.y * s, n.z * s};
}

Vec3 quat_rotate(Quat q, Vec3 v) {
    Quat p{0, v.x, v.y, v.z};
    Quat r = quat_mul(quat_mul(q, p), quat_conj(q));
    return {r.x, r.y, r.z};
}

Quat quat_blend(Quat a, Quat b, float t) {
    if (quat_dot(a, b) < 0) b = {-b.w, -b.x, -b.y, -b.z};
    return quat_normalize({a.w + (b.w - a.w) * t, a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t,
                           a.z + (b.z - a.z) * t});
}

Quat quat_from_yaw(float radians) { return quat_from_axis_angle({0, 1, 0}, radians); }

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }
double clampd(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

float wrap_angle(float radians) {
    if (!std::isfinite(radians)) return 0;
    const float pi = float(M_PI);
    float r = std::remainder(radians, 2 * pi);
    return r < -pi ? -pi : r > pi ? pi : r;
}
