// The per-tic bike update: rider springs, crashes and recovery, dabbing,
// backing up, realigning, and the order of the whole update.
#include <algorithm>
#include <cmath>

#include "physics/physics_local.h"
#include "physics/ride_local.h"
#include "terrain/terrain.h"

namespace {

int crash_delays[16] = {};

const float HIP_CENTRE[3] = {0, -0.57089f, 0.67061f};
const float FORK_HOLD_POINT[3] = {0, 1.145f, 10.753f};
constexpr float TETHER_KP = 5000, TETHER_KD = 500;

Vec3 v3(const float* p) { return {p[0], p[1], p[2]}; }


// A one-step frictionless soft contact between a and b (b may be null); the
// normal points from b's side into a.
void soft_contact(dBodyID a, dBodyID b, Vec3 pos, Vec3 normal, float depth, double kp, double kd) {
    SoftContact c;
    c.position = pos, c.normal = normal, c.depth = depth;
    c.mu = 0, c.kp = kp, c.kd = kd;
    make_contact(a, b, c);
}

// Pulls two body points together when they are farther apart than `len`.
void tether(dBodyID a, Vec3 pa, dBodyID b, Vec3 pb, float len) {
    Vec3 wa = body_point(a, pa), wb = body_point(b, pb);
    Vec3 d = wb - wa;
    float dist = length(d);
    if (dist <= len) return;
    soft_contact(a, b, wa, d, dist - len, TETHER_KP, TETHER_KD);
}

// A one-step angular motor about a world axis.
void spin_motor(dBodyID b, Vec3 axis, float rate, float fmax) {
    dJointID m = dJointCreateAMotor(physics_world(), contact_group());
    dJointAttach(m, b, nullptr);
    dJointSetAMotorNumAxes(m, 1);
    dJointSetAMotorAxis(m, 0, 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(m, dParamVel, rate);
    dJointSetAMotorParam(m, dParamFMax, fmax);
}

void add_force(dBodyID b, Vec3 f) { dBodyAddForce(b, f.x, f.y, f.z); }

float frame_speed(const Bike& bike) { return length(body_velocity(bike.bodies[FRAME])); }
bool front_down(const Bike& b) { return b.front_tire.depth > 0; }
bool rear_down(const Bike& b) { return b.rear_tire.depth > 0; }

// Where the rider sits on the frame, in the frame's body axes.
Vec3 seat_offset(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    return s.rider_position - s.frame_position;
}

void place_feet(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    for (int i = 0; i < 2; i++) {
        RideFoot& f = bike.ride.feet[i];
        f.position = body_point(bike.bodies[FRAME], v3(&s.rider_pose[21 + 3 * i]));
        f.velocity = body_velocity(bike.bodies[FRAME]);
        f.placed = false;
    }
}

Vec3 peg_point(const Bike& bike, int foot) {
    return body_point(bike.bodies[FRAME], v3(&bike_spec(bike.spec).rider_pose[21 + 3 * foot]));
}

// Drawing only: the foot on the side the bike leans to goes to the ground
// half a foot out from its peg.
void dab_foot(Bike& bike, float lean) {
    int foot = lean >= 0 ? 0 : 1;  // leaning left: the left foot
    Vec3 out = ride_to_world(bike.bodies[FRAME], {foot == 0 ? -0.5f : 0.5f, 0, 0});
    RideFoot& f = bike.ride.feet[foot];
    f.position = peg_point(bike, foot) + out;
    f.position.y = ground_height_at(f.position.x, f.position.z) + 0.25f;
    f.velocity = {};
    f.placed = true;
}

// Drawing only: the dab level; feet on the pegs while riding, falling to the
// ground when free, drawn back to the pegs late in a crash.
void animate_feet(Bike& bike) {
    RideState& r = bike.ride;
    r.dab_amount = std::fmax(0.0f, r.dab_amount - 4 * RIDE_TIC);
    for (int i = 0; i < 2; i++) {
        RideFoot& f = r.feet[i];
        if (f.placed) continue;
        if (!rider_crashed(bike) && r.dab_amount == 0) {
            f.position = peg_point(bike, i);
            f.velocity = body_velocity(bike.bodies[FRAME]);
            continue;
        }
        if (rider_crashed(bike) && r.crash_counter < 320) {
            f.position = f.position + (peg_point(bike, i) - f.position) * (1.0f / 16);
            f.velocity = {};
            continue;
        }
        f.velocity.y -= 32 * RIDE_TIC;
        f.position = f.position + f.velocity * RIDE_TIC;
        float floor = ground_height_at(f.position.x, f.position.z) + 0.25f;
        if (f.position.y < floor) f.position.y = floor, f.velocity = {};
    }
}

void raise_dab(RideState& r) { r.dab_amount = std::fmin(1.0f, r.dab_amount + 8 * RIDE_TIC); }

void rider_springs(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    const BikeTuning& t = bike.tuning;
    dBodyID frame = bike.bodies[FRAME], rider = bike.bodies[RIDER];
    float m = s.rider_mass * 0.21333334f;
    Vec3 y = ride_to_world(frame, {0, 1, 0}), z = ride_to_world(frame, {0, 0, 1});
    Vec3 rp = body_position(rider);
    Vec3 d = body_point(frame, seat_offset(bike)) - rp;
    float dy = dot(d, y), dz = dot(d, z);
    float sit = bike.ride.sit_dab_now;
    float ey = dy + 0.125f - 0.5f * sit;
    float tz = clampv((sit + 1) / 2 * dy - bike.ride.lean, -0.75f, 0.75f);
    float ez = dz - tz;

    float kp = (std::fabs(ez) * 100 + t.rider_zspring * 600) * m, kd = 0;
    if (std::fabs(dz) > 0.75f) kp = kd = 2500 * m;
    if (kp > 0 && ez != 0) soft_contact(rider, frame, rp, ez > 0 ? z : -z, std::fabs(ez), kp, kd);

    kp = t.rider_yspring * 400 * m, kd = t.rider_ydamping * 100 * m;
    if (dy > 0.5f || dy < -0.75f) kp = kd = 2500 * m;
    if (kp + kd > 0 && ey != 0) soft_contact(rider, frame, rp, ey > 0 ? y : -y, std::fabs(ey), kp, kd);

    dJointID mount = bike.joints[RIDER_MOUNT];
    if (mount && m > 0) {
        dJointSetHinge2Param(mount, dParamSuspensionERP, 0);
        dJointSetHinge2Param(mount, dParamSuspensionCFM, 1.0 / (m * (t.rider_zdamping * 30 + 5)));
    }
}

void detect_crash(Bike& bike, int tic) {
    RideState& r = bike.ride;
    if (rider_crashed(bike) || bike.tuning.arcade) return;
    CrashLimits lim = crash_limits(tic, r.airborne_tic, r.landed_tic);
    dBodyID rider = bike.bodies[RIDER];
    Vec3 rp = body_position(rider), rv = body_velocity(rider);
    Vec3 rel = rv - point_velocity(bike.bodies[FRAME], rp);
    if (length(rel) > lim.speed) {
        start_crash(bike);
        return;
    }
    Vec3 old = r.rider_velocity_history[((tic % 4) + 4) % 4];
    Vec3 accel = (rv - old) * (1.0f / (4 * RIDE_TIC)) + Vec3{0, 32, 0};
    if (length(accel) > lim.accel) start_crash(bike);
}

// While crashed the rider's shape meets the frame and the upper fork as any
// two touching spheres do (the softer of the pair, at most 2500 lbf).
void rider_against_own_parts(Bike& bike) {
    const PartShape& rider = bike.shapes[PART_RIDER];
    if (rider.spheres.empty()) return;
    refresh_shape_centres(bike, PART_RIDER);
    for (int part : {PART_FRAME, PART_FORK_UPPER}) {
        const PartShape& other = bike.shapes[part];
        if (other.spheres.empty()) continue;
        refresh_shape_centres(bike, part);
        for (size_t i = 0; i < rider.spheres.size(); i++)
            for (size_t k = 0; k < other.spheres.size(); k++) {
                const ShapeSphere &a = rider.spheres[i], &b = other.spheres[k];
                Vec3 d = rider.world_centres[i] - other.world_centres[k];
                float reach = a.radius + b.radius, dist2 = dot(d, d);
                if (!(dist2 < reach * reach) || dist2 < 1.0f / 256) continue;
                float dist = std::sqrt(dist2);
                SoftContact c;
                c.depth = reach - dist;
                c.normal = d * (1 / dist);  // from the part into the rider
                c.position = other.world_centres[k] + d * ((b.radius - c.depth / 2) / dist);
                c.mu = std::fmin(a.friction, b.friction);
                c.kd = std::fmin(a.damping, b.damping);
                c.kp = std::fmin(std::fmin(a.stiffness, b.stiffness), 2500.0f / c.depth);
                make_contact(bike.bodies[RIDER], part_body(bike, part), c);
            }
    }
}

void crashed_tic(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    RideState& r = bike.ride;
    dBodyID rider = bike.bodies[RIDER], frame = bike.bodies[FRAME], fork = bike.bodies[FORK_UPPER];
    raise_dab(r);
    rider_against_own_parts(bike);
    if (length(body_velocity(rider)) < 2) {
        r.crash_counter--;
    } else {
        float arm = (s.rider_pose[27] + s.rider_pose[28]) * 0.875f;
        for (int i = 0; i < 2; i++)
            tether(rider, v3(&s.rider_pose[3 + 3 * i]), fork, v3(&s.rider_pose[15 + 3 * i]), arm);
        if (r.crash_counter > 511) tether(rider, v3(HIP_CENTRE), fork, v3(FORK_HOLD_POINT), 8);
    }
    if (r.crash_counter <= 511 && r.crash_counter > 0) {
        float len = 5 * clampv((r.crash_counter - 128) / 384.0f, 0.0f, 1.0f);
        Vec3 seat = seat_offset(bike);
        const Vec3 shifts[3] = {{0, 0, 0}, {-5, 10, 0}, {5, 10, 0}};
        for (Vec3 sh : shifts) tether(frame, seat + sh, rider, sh, len);
    }
    if (r.crash_counter < 320)
        for (RideFoot& f : r.feet) f.placed = false;  // steered back to the pegs (animate_feet)
    if (r.crash_counter <= 0) {
        r.crash_counter = 0;
        reseat_rider(bike);
    }
}

// Returns true when the back-up push acted.
bool back_up(Bike& bike, const RideClock& clock) {
    RideState& r = bike.ride;
    dBodyID frame = bike.bodies[FRAME];
    if (!(r.back_up > 0 && frame_speed(bike) < 5)) return false;
    if (!rider_crashed(bike)) r.sit_dab_now = 1;
    int phase = ((clock.tic % 128) + 128) % 128;
    float w = (1 - std::cos(phase * 2 * RIDE_PI / 127)) / 2;
    int first_push = ((clock.gate_drop_tic + 127) / 128) * 128;
    if (clock.tic < first_push && ((clock.tic % 512) + 512) % 512 >= 128) w = 0;
    Vec3 back = ride_to_world(frame, {0, 0, 1});
    back.y = 0;
    back = normalize(back) * (4 * w);
    add_force(frame, velocity_hold_force(body_velocity(frame), back, 2000));
    spin_motor(frame, {0, 1, 0}, -r.steer * RIDE_PI / 2 * w, 2000);
    return true;
}

void auto_dab(Bike& bike) {
    RideState& r = bike.ride;
    const BikeTuning& t = bike.tuning;
    if (!t.auto_dab) return;
    float s = frame_speed(bike), lean = std::fabs(lean_angle(bike));
    if (s > t.max_dab_speed) return;
    if (s > 15 && !(lean > clampv((s - 15) / 15, 0.0f, 1.0f) * RIDE_PI / 4)) return;
    if (!(r.throttle == 0 || r.clutch == 0 || s < 5 || lean > RIDE_PI / 16)) return;
    r.sit_dab_now = rider_crashed(bike)
                        ? 0
                        : clampv(std::fmax((t.max_dab_speed - s) / t.max_dab_speed, r.sit_dab), 0.0f, 1.0f);
    if (s < 5 && (r.throttle == 0 || r.clutch == 0) && front_down(bike) && rear_down(bike)) {
        r.front_brake_now = r.rear_brake_now = 1;
        add_force(bike.bodies[FRAME], velocity_hold_force(body_velocity(bike.bodies[FRAME]), {}, 1000));
    }
}

// Cancels the net force and moment that the joints put into the bike as a
// whole in the last step.
void joint_reaction_correction(Bike& bike) {
    Vec3 p = body_position(bike.bodies[FRAME]);
    Vec3 fsum, tsum;
    for (int i = 0; i < JOINT_COUNT; i++) {
        dJointID j = bike.joints[i];
        if (!j) continue;
        const dJointFeedback& fb = bike.joint_feedback[i];
        dBodyID b1 = dJointGetBody(j, 0), b2 = dJointGetBody(j, 1);
        Vec3 f1 = to_vec3(fb.f1), f2 = to_vec3(fb.f2);
        fsum = fsum + f1 + f2;
        tsum = tsum + to_vec3(fb.t1) + to_vec3(fb.t2);
        if (b1) tsum = tsum + cross(body_position(b1) - p, f1);
        if (b2) tsum = tsum + cross(body_position(b2) - p, f2);
    }
    add_force(bike.bodies[FRAME], -fsum);
    ride_add_torque(bike.bodies[FRAME], -tsum);
}

// Turns a fallen bike towards the clock's target; false when the push must
// be skipped this tic.
bool realign(Bike& bike, const RideClock& clock) {
    dBodyID frame = bike.bodies[FRAME];
    if (!clock.has_realign_target) return true;
    Vec3 h = ride_to_world(frame, {0, 0, 1});
    h.y = 0;
    h = normalize(h);
    Vec3 p0 = body_position(frame);
    Vec3 off{clock.realign_target_x - p0.x, 0, clock.realign_target_z - p0.z};
    float e = dot(off, h);
    float side = dot(off, Vec3{-h.z, 0, h.x});  // positive: turning about +y brings it ahead
    float rate = side >= 0 ? RIDE_PI / 2 : -RIDE_PI / 2;
    bool ahead = std::fabs(side) < -0.25f * e;
    if (ahead && e != 0) rate *= std::fabs(4 * side / e);
    spin_motor(frame, {0, 1, 0}, rate, 320 * bike.total_mass);
    if (ahead) return true;
    if (front_down(bike)) add_force(bike.bodies[FRONT_WHEEL], {0, 32 * bike.total_mass, 0});
    if (rear_down(bike)) add_force(bike.bodies[REAR_WHEEL], {0, 32 * bike.total_mass, 0});
    return false;
}

void dab_push(Bike& bike, const RideClock& clock) {
    RideState& r = bike.ride;
    const BikeTuning& t = bike.tuning;
    const BikeSpec& spec = bike_spec(bike.spec);
    if (rider_crashed(bike) || r.sit_dab_now == 0 || t.arcade) return;
    dBodyID frame = bike.bodies[FRAME];
    const Terrain* ground = physics_ground();
    bool ground_near =
        ground && sphere_ground_contact(*ground, body_position(bike.bodies[RIDER]), spec.rider_position.y + 1).hit;
    if (!front_down(bike) && !ground_near) return;
    float s = frame_speed(bike), lean = lean_angle(bike), al = std::fabs(lean);
    if (s > t.max_dab_speed) return;
    if (s > 15 && !(front_down(bike) && rear_down(bike) && al >= 3 * RIDE_PI / 16)) return;
    raise_dab(r);
    dab_foot(bike, lean);

    if (t.auto_align && r.bump_timer <= 0 && s < 5 && al > RIDE_PI / 8 && al < 0.35f * RIDE_PI && r.back_up <= 0.125f &&
        clock.dab_realign_allowed && !realign(bike, clock))
        return;
    if (s >= 5 && r.bump_timer != 0) return;

    float push = lean < 0 ? RIDE_PI / 8 : -RIDE_PI / 8;
    if (al < RIDE_PI / 16) push *= 16 / RIDE_PI * al;
    float rho = ride_from_world(frame, to_vec3(dBodyGetAngularVel(frame))).z;
    float e = push > 0 && rho < push ? -400.0f : (push < 0 && rho > push ? 400.0f : 0.0f);
    if (al < RIDE_PI / 32) e *= 32 / RIDE_PI * al;
    if (r.back_up < 0.125f || s > 5) {
        float g = clampv(4 * (al - dab_push_threshold(t.roll_limit_angle, t.max_dab_speed, s)), 0.0f, 1.0f);
        float sigma = lean < 0 ? -r.steer : r.steer;
        float rr = clampv(2 * (sigma - 0.5f), 0.0f, 1.0f);
        e *= rr * (1 - g) + g;
        if (s > 5) e *= r.steer_limit_amount;
    }
    if (e == 0) return;
    if (ride_to_world(frame, {0, 1, 0}).y < 0.707f) {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(e), 0, 0, 4, 0);
    } else {
        Vec3 at = body_point(frame, {0, 4, 0});
        dBodyAddForceAtPos(frame, 0, std::fabs(e) / 8, 0, at.x, at.y, at.z);
        dBodyAddRelForceAtRelPos(frame, e, 0, 0, 0, 4, 0);
    }
}

void air_and_landing(Bike& bike, int tic) {
    RideState& r = bike.ride;
    bool any = front_down(bike) || rear_down(bike);
    if (any && r.landed_tic < r.airborne_tic) r.landed_tic = tic;
    if (!any && body_velocity(bike.bodies[FRAME]).y < 0 && r.airborne_tic <= r.landed_tic) r.airborne_tic = tic;
}

}  // namespace

void set_crash_delays(const int delays[16]) {
    for (int i = 0; i < 16; i++) crash_delays[i] = clampv(delays[i], 0, 460800);
}

void start_crash(Bike& bike) {
    RideState& r = bike.ride;
    if (bike.joints[RIDER_MOUNT]) dJointAttach(bike.joints[RIDER_MOUNT], nullptr, nullptr);
    place_feet(bike);
    r.crash_counter = 512 + crash_delays[std::min(r.crash_count, 15)];
    r.crash_count++;
    r.throttle = r.sit_dab = r.back_up = r.lean = 0;
}

void update_bike(Bike& bike, const RideClock& clock) {
    RideState& r = bike.ride;
    if (!bike.bodies[FRAME]) return;
    r.front_brake_now = r.front_brake, r.rear_brake_now = r.rear_brake;
    r.sit_dab_now = rider_crashed(bike) ? 0 : r.sit_dab;
    if (!rider_crashed(bike))
        for (RideFoot& f : r.feet) f.placed = false;  // a dab places its foot again this tic

    if (r.rider_down == 0 && (clock.tic - clock.gate_drop_tic) * RIDE_TIC > 2 && frame_speed(bike) < 5)
        r.rider_down = 1;
    if (bike.activity <= 0.25f) {
        animate_feet(bike);
        return;
    }
    r.bump_timer = std::fabs(r.bump_timer) < 1 ? 0 : r.bump_timer - (r.bump_timer > 0 ? 1 : -1);
    air_and_landing(bike, clock.tic);
    detect_crash(bike, clock.tic);
    if (rider_crashed(bike)) crashed_tic(bike);
    if (!back_up(bike, clock)) auto_dab(bike);
    // A crashed rider is off the bike: his seat springs would hold him in
    // place and make the fall and the reeling-in pointless.
    if (!rider_crashed(bike)) rider_springs(bike);
    update_suspension(bike);
    update_steering(bike);
    update_drivetrain(bike, clock.tic);
    apply_steering_damping(bike);
    if (clock.tic >= 1 && !rider_crashed(bike)) joint_reaction_correction(bike);
    dab_push(bike, clock);
    r.sit_dab_now = rider_crashed(bike) ? 0 : clampv(r.sit_dab, 0.0f, 1.0f);
    r.front_brake_now = clampv(r.front_brake, 0.0f, 1.0f);
    r.rear_brake_now = clampv(r.rear_brake, 0.0f, 1.0f);
    r.rider_velocity_history[((clock.tic % 4) + 4) % 4] = body_velocity(bike.bodies[RIDER]);
    animate_feet(bike);
}
