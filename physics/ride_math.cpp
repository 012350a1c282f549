// The ride formulas as functions of numbers: suspension, steering limits,
// torque tables, gears, clutch, and the aids' thresholds.
#include <cmath>

#include "physics/ride_local.h"

float damping_force(float v, float kc, float cc, float kr, float cr) {
    if (v < 0) {
        float a = -v * kc;  // ≥ 0
        return clampv(cc + a, a / 8, 8 * a);
    }
    float a = -v * kr;  // ≤ 0
    return clampv(a - cr, 8 * a, a / 8);
}

float air_spring_force(float x, float air_gap, float travel) {
    if (x > 0) return 0;
    float g = air_gap + travel;
    float c = std::fmin(-x, travel);  // capped so g − c ≥ air gap
    if (g - c <= 0) return 0;         // a zero air gap at full travel: no air left to compress
    return (std::pow(g / (g - c), 1.4f) - 1.0f) * 82.4616928100586f;
}

float fork_force(const BikeTuning& t, float travel, float x, float v) {
    float f = t.fork_spring_rate * (t.fork_preload - x) +
              damping_force(v, t.fork_compression, t.fork_slow_compression, t.fork_rebound,
                            t.fork_slow_rebound);
    f += air_spring_force(x, t.fork_air_gap, travel);
    if (travel <= 0) return 0;
    return f * clampv(-32.0f * x / travel, 0.0f, 1.0f);
}

LinkagePoint linkage_at(const float link[7], float u) {
    float k = link[3];
    float p0, p1, d0, d1, len, t;
    if (u <= k) {
        len = k;
        t = k > 0 ? u / k : 1;
        p0 = 0, p1 = link[0], d0 = link[4] * k, d1 = link[5] * k;
    } else {
        len = 1 - k;
        t = (u - k) / len;
        p0 = link[0], p1 = link[1], d0 = link[5] * len, d1 = link[6] * len;
    }
    float c2 = 3 * (p1 - p0) - 2 * d0 - d1;
    float c3 = d0 + d1 - 2 * (p1 - p0);
    float s = p0 + d0 * t + c2 * t * t + c3 * t * t * t;
    float r = len > 0 ? (d0 + 2 * c2 * t + 3 * c3 * t * t) / len : 0;
    return {s, r};
}

float shock_force(const BikeTuning& t, const float link[7], float theta, float omega) {
    float max_angle = link[2];
    if (max_angle <= 0) return 0;
    float u = clampv(-theta / max_angle, 0.0f, 1.0f);
    LinkagePoint lp = linkage_at(link, u);
    float fade = clampv(-32.0f * theta / max_angle, 0.0f, 1.0f);
    float d = damping_force(omega * lp.r, t.shock_compression, t.shock_slow_compression,
                            t.shock_rebound, t.shock_slow_rebound);
    return fade * lp.r * (t.shock_spring_rate * (t.shock_preload + lp.s) + d);
}

float lock_angle(const BikeTuning& t, float mu0, float rolling_speed) {
    const float quarter = RIDE_PI / 4;
    float lr = std::fmin(t.restricted_lock / std::fmax(mu0, 0.125f), quarter);
    float q = 1.0f / std::fmax(1 + t.full_lock_speed, t.restricted_lock_speed);
    float w = (1.0f / std::fmax(1.0f, rolling_speed) - q) / (1.0f / t.full_lock_speed - q);
    w = clampv(w, 0.0f, 1.0f);
    return lr + (quarter - lr) * w;
}

TorqueLimits steering_limits(float max_force, float lock, float beta, float rolling_speed,
                             float clearance) {
    TorqueLimits lim{-max_force, max_force};
    if (!(rolling_speed > 1 && clearance < 0.5f)) return lim;
    float p = lock + (RIDE_PI / 4 - lock) * clampv(2 * clearance, 0.0f, 1.0f);
    float s = 1.125f * p + 0.015f;
    if (beta > p)
        lim.lo = (0.25f - 1.25f * clampv((beta - s) / (p - s), 0.0f, 1.0f)) * max_force;
    else if (beta < -p)
        lim.hi = (1.25f * clampv((beta + s) / (s - p), 0.0f, 1.0f) - 0.25f) * max_force;
    return lim;
}

// a = min(1, num / m); a lock of zero makes m zero, where the ratio's limit is
// 1 for any slip past the centre and 0 otherwise (instead of ±inf or NaN).
static float lock_ratio(float num, float m) {
    if (m < 1e-9f) return num > 0 ? 1.0f : 0.0f;
    return std::fmin(1.0f, num / m);
}

float steer_limit_amount_of(float rolling_speed, float lock, float lean, float beta,
                            float steer_angle) {
    float v = clampv((rolling_speed - 5) / (15 - 5), 0.0f, 1.0f);
    float c2 = 0.25f * v * lock;
    float m = (0.125f + 0.375f * v) * lock;
    float a, b;
    if (lean < 0) {
        a = lock_ratio(beta - c2, m);
        b = clampv((steer_angle + 0.2617994f) * -3.8197186f, 0.0f, 1.0f);
    } else {
        a = lock_ratio(-(beta + c2), m);
        b = clampv((steer_angle - 0.2617994f) * 3.8197186f, 0.0f, 1.0f);
    }
    return std::fmax(a, b);
}

static float toward_zero(float v, float by) {
    if (v > by) return v - by;
    if (v < -by) return v + by;
    return 0;
}

float lean_rate_input(const BikeTuning& t, float steer, float lean, float roll_rate,
                      float input_torque) {
    float want = -(steer * t.roll_limit_angle + lean) * 2.5f;
    bool back_to_upright = (lean < 0 && want >= 0) || (lean >= 0 && want < 0);
    float limit = back_to_upright ? 9.817477f : 3.926991f;
    want = clampv(want, -limit, limit);
    float e = toward_zero(roll_rate - want, 0.125f);
    float c0 = e < -0.25f ? -t.steering_strength
               : e > 0.25f ? t.steering_strength
                           : 4 * t.steering_strength * e;
    return (input_torque - c0) * t.direct_steering + c0;
}

float landing_damping_in_air(const BikeTuning& t, float current) {
    if (t.land_damping_rampup == 0) return t.land_damping_factor;
    return std::fmin(t.land_damping_factor,
                     current + (t.land_damping_factor - 1) * RIDE_TIC / t.land_damping_rampup);
}

float landing_damping_rolling(const BikeTuning& t, float current) {
    if (current <= 1) return current;
    if (t.land_damping_falloff == 0) return 1;
    return std::fmax(1.0f,
                     current - (t.land_damping_factor - 1) * RIDE_TIC / t.land_damping_falloff);
}

float table_torque(const float closed[50], const float full[50], float rpm, float throttle) {
    float x = clampv(rpm * 0.002f, 0.0f, 49.0f);
    int i = (int)std::floor(x);
    int j = std::min(i + 1, 49);
    float f = x - (float)i;
    float c = closed[i] + (closed[j] - closed[i]) * f;
    float o = full[i] + (full[j] - full[i]) * f;
    return c + (o - c) * throttle;
}

// The highest gear g (1 ≤ g ≤ top) that the model has, else 0.
static int highest_gear(const float ratios[6], int top) {
    for (int g = std::min(top, 5); g >= 1; g--)
        if (ratios[g] > 0) return g;
    return 0;
}

int shifted_gear(const float ratios[6], int gear, int a) {
    int n = gear + a;
    if (n <= 0) return 0;
    return highest_gear(ratios, n);
}

int auto_shifted_gear(const float ratios[6], int gear, float rpm, float down_rpm, float up_rpm) {
    if (rpm < down_rpm) return gear < 2 ? 0 : highest_gear(ratios, gear - 1);
    if (rpm > up_rpm) return highest_gear(ratios, gear + 1);
    return gear;
}

DriveResult drive_step(const DriveInputs& in) {
    float rpm = in.engine_speed * (float)RPM_PER_RAD_S;
    float w = wrap_angle(in.engine_angle - in.axle_angle);
    float k = in.clutch;
    float k_auto = k;
    if (rpm <= in.auto_clutch_rpms + 2000)
        k_auto = std::fmin(k, clampv((rpm - in.auto_clutch_rpms) * 0.0005f, 0.0f, 1.0f));
    float tc = clampv((in.engine_speed - in.axle_rate * in.ratio) * in.damping, -500.0f, 500.0f) +
               in.stiffness * w;
    if (tc >= 0) k = k_auto;  // engine braking always uses the full engagement
    tc = clampv(tc, -1000000.0f, 1000000.0f);

    float angle = in.engine_angle;
    float s = RIDE_PI / 4 * k;
    if (w > s) angle = in.axle_angle + s;
    if (w < -s) angle = in.axle_angle - s;

    DriveResult out;
    out.torque = tc * k * k;
    out.windup = wrap_angle(angle - in.axle_angle);
    float g = in.ratio != 0 ? in.ratio : 1;
    out.engine_speed = in.engine_speed + RIDE_TIC * (in.engine_torque - out.torque / g) / in.inertia;
    out.engine_angle = wrap_angle(angle + out.engine_speed * RIDE_TIC / g);
    return out;
}

bool antilock_releases(Vec3 slip) { return dot(slip, slip) > 4; }

Vec3 velocity_hold_force(Vec3 v, Vec3 target, float max_force) {
    Vec3 d = v - target;
    float d2 = dot(d, d);
    if (d2 < 1.0f / 16) return {};
    float len = std::sqrt(d2);
    float s = clampv((len - 0.25f) * 0.8f, 0.0f, 1.0f) * max_force / len;
    return {-d.x * s, 0, -d.z * s};
}

CrashLimits crash_limits(int tic, int airborne_tic, int landed_tic) {
    if (landed_tic < airborne_tic) return {46.5f, 2064.0f};
    float a = clampv(((float)(landed_tic - airborne_tic) * RIDE_TIC - 0.559f) * 7.9365087f, 0.0f,
                     1.0f);
    float b = clampv(((float)(tic - landed_tic) * RIDE_TIC - 0.25f) * -8.0f, 0.0f, 1.0f);
    float t = 1.5f - 0.5f * a * b;
    return {31 * t, 1376 * t};
}

float dab_push_threshold(float roll_limit_angle, float max_dab_speed, float s) {
    if (s >= max_dab_speed) return 5 * RIDE_PI / 2;
    float m2 = max_dab_speed * max_dab_speed;
    if (s <= 15) return roll_limit_angle * 1.25f * (1 - std::pow(1 - s * s / m2, 32.0f));
    float q = clampv((s * s - 225) / (m2 - 225), 0.0f, 1.0f);
    return (q * (2 * RIDE_PI - roll_limit_angle) + roll_limit_angle) * 1.25f;
}

float lean_from_points(Vec3 position, Vec3 up_point, Vec3 forward_point) {
    float fx = forward_point.x - position.x, fz = forward_point.z - position.z;
    float len = std::sqrt(fx * fx + fz * fz);
    if (len > 0) fx /= len, fz /= len;
    float l = (up_point.z - position.z) * fx - fz * (up_point.x - position.x);
    return std::acos(clampv(l, -1.0f, 1.0f)) - RIDE_PI / 2;
}
