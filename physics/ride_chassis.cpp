// Fork and shock forces through the joint motors, the steering torque with
// its assists, the drivetrain and brakes, and the steering damping.
#include <cmath>

#include "physics/physics_local.h"
#include "physics/ride_local.h"
#include "terrain/terrain.h"

// --- Small body helpers (ODE in double precision) ----------------------------

Vec3 ride_to_world(dBodyID b, Vec3 v) {
    dVector3 r;
    dBodyVectorToWorld(b, v.x, v.y, v.z, r);
    return to_vec3(r);
}

Vec3 ride_from_world(dBodyID b, Vec3 v) {
    dVector3 r;
    dBodyVectorFromWorld(b, v.x, v.y, v.z, r);
    return to_vec3(r);
}

void ride_add_torque(dBodyID b, Vec3 t) { dBodyAddTorque(b, t.x, t.y, t.z); }

float ground_height_at(float x, float z) {
    const Terrain* g = physics_ground();
    return g ? terrain_height(*g, x, z) : 0.0f;
}

// A joint motor that pushes towards extension with exactly F when F ≥ 0 and
// only resists motion with up to |F| when F < 0.
static void set_hinge_force(dJointID j, float f) {
    dJointSetHingeParam(j, dParamVel, f >= 0 ? 100 : 0);
    dJointSetHingeParam(j, dParamFMax, std::fabs(f));
}

void update_suspension(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    dJointID fork = bike.joints[FORK_SLIDE];
    if (fork) {
        float x = (float)dJointGetSliderPosition(fork);
        float v = (float)dJointGetSliderPositionRate(fork);
        float f = fork_force(bike.tuning, s.fork_travel, x, v);
        dJointSetSliderParam(fork, dParamVel, f >= 0 ? 100 : 0);
        dJointSetSliderParam(fork, dParamFMax, std::fabs(f));
    }
    dJointID pivot = bike.joints[SWINGARM_PIVOT];
    if (pivot) {
        float theta = (float)dJointGetHingeAngle(pivot);
        float omega = (float)dJointGetHingeAngleRate(pivot);
        set_hinge_force(pivot, shock_force(bike.tuning, s.linkage, theta, omega));
    }
}

float lean_angle(const Bike& bike) {
    dBodyID f = bike.bodies[FRAME];
    if (!f) return 0;
    return lean_from_points(to_vec3(dBodyGetPosition(f)), body_point(f, {0, 1, 0}),
                            body_point(f, {0, 0, -1}));
}

// The steering axis in world coordinates (upper minus lower fork position,
// carried by the frame).
static Vec3 steering_axis(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    return ride_to_world(bike.bodies[FRAME], normalize(s.fork_upper_position - s.fork_lower_position));
}

static void apply_steering_torque(Bike& bike, float t) {
    Vec3 axis = steering_axis(bike);
    ride_add_torque(bike.bodies[FORK_UPPER], axis * t);
    ride_add_torque(bike.bodies[FRAME], axis * -t);
}

// Front slip angle: the front wheel's velocity in the upper fork's frame,
// forward being the in-plane direction perpendicular to the steering axis.
static float front_slip_angle(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    Vec3 v = ride_from_world(bike.bodies[FORK_UPPER], to_vec3(dBodyGetLinearVel(bike.bodies[FRONT_WHEEL])));
    Vec3 a = normalize(s.fork_upper_position - s.fork_lower_position);
    Vec3 fwd = normalize(Vec3{0, a.z, -a.y});
    float forward = dot(v, fwd), lateral = v.x;
    if (forward * forward + lateral * lateral < 1) return 0;
    return -std::atan2(lateral, forward);
}

static float front_rolling_speed(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    return (float)dJointGetHingeAngleRate(bike.joints[FRONT_AXLE]) *
           (s.front_wheel.ring_radius + s.front_wheel.ring_sphere_radius);
}

static float front_ground_friction(const Bike& bike) {
    const Terrain* g = physics_ground();
    if (!g) return 1;
    Vec3 p = to_vec3(dBodyGetPosition(bike.bodies[FRONT_WHEEL]));
    return terrain_surface_at(*g, p.x, p.z).friction_coefficient[0];
}

static float front_clearance(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    Vec3 p = to_vec3(dBodyGetPosition(bike.bodies[FRONT_WHEEL]));
    return p.y - ground_height_at(p.x, p.z) - s.front_wheel.ring_radius - s.front_wheel.ring_sphere_radius;
}

static void simulation_steering(Bike& bike) {
    const BikeTuning& t = bike.tuning;
    RideState& r = bike.ride;
    dBodyID frame = bike.bodies[FRAME];
    float rolling = front_rolling_speed(bike);
    float lean = lean_angle(bike);
    float delta = (float)dJointGetHingeAngle(bike.joints[STEERING]);
    float beta = front_slip_angle(bike);
    float lock = lock_angle(t, front_ground_friction(bike), rolling);
    TorqueLimits lim = steering_limits(t.max_steering_force, lock, beta, rolling, front_clearance(bike));

    float t_in = r.steer * t.steering_strength * t.direct_steering;
    float t_assist;
    float axle_rate = (float)dJointGetHingeAngleRate(bike.joints[FRONT_AXLE]);
    if (bike.front_tire.depth <= 0 || axle_rate <= RIDE_PI / 4) {
        r.landing_damping = landing_damping_in_air(t, r.landing_damping);
        t_assist = -50 * delta;  // the bars centre themselves
        if (!t.air_steering) t_in = 0;
    } else {
        float before = r.landing_damping;
        r.landing_damping = landing_damping_rolling(t, r.landing_damping);
        float rho = ride_from_world(frame, to_vec3(dBodyGetAngularVel(frame))).z;
        float td = t.roll_damping * before * rho;
        float tl = t.leveling * lean;
        float speed = length(to_vec3(dBodyGetLinearVel(frame)));
        if (speed < t.slow_damping_speed) {
            float g = clampv(speed / t.slow_damping_speed, 0.0f, 1.0f) * (1 - t.slow_damping_factor) +
                      t.slow_damping_factor;
            td *= g, tl *= g;
        }
        bool same_sign = (lean >= 0 && rho >= 0) || (lean < 0 && rho < 0);
        if (same_sign && std::fabs(lean) > t.roll_limit_angle)
            td *= 1 + t.roll_limit_factor * (std::fabs(lean) - t.roll_limit_angle);
        t_assist = td + tl;
        if (t.direct_steering < 1) t_in = lean_rate_input(t, r.steer, lean, rho, t_in);
    }
    if (r.bump_timer > 0) {
        float cap = 200 * clampv((64 - r.bump_timer) / 64, 0.0f, 1.0f);
        t_assist = clampv(t_assist, -cap, cap);
    }
    r.steer_limit_amount = steer_limit_amount_of(rolling, lock, lean, beta, delta);
    apply_steering_torque(bike, clampv(1.5f * (t_assist + t_in), lim.lo, lim.hi));
}

static float toward_zero(float v, float by) { return v > by ? v - by : (v < -by ? v + by : 0); }

static void arcade_steering(Bike& bike) {
    const BikeTuning& t = bike.tuning;
    const RideState& r = bike.ride;
    const BikeSpec& s = bike_spec(bike.spec);
    dBodyID frame = bike.bodies[FRAME];
    float delta = (float)dJointGetHingeAngle(bike.joints[STEERING]);
    Vec3 p = to_vec3(dBodyGetPosition(frame)), v = to_vec3(dBodyGetLinearVel(frame));
    if (bike.front_tire.depth <= 0 &&
        p.y + v.y - 16 - ground_height_at(p.x + v.x, p.z + v.z) >= s.frame_size.y) {
        apply_steering_torque(bike, 1.5f * (-50 * delta + t.direct_steering * r.steer * t.steering_strength));
        return;
    }
    // Roll the frame straight to the lean −π/4 × steer.
    float lean = lean_angle(bike);
    float rate = std::fmin(std::fabs(RIDE_PI / 4 * r.steer + lean), 0.0625f) *
                 (1.5f - 0.5f * clampv((t.roll_damping - 40) * 0.025f, 0.0f, 1.0f)) * 16;
    if (lean >= -RIDE_PI / 4 * r.steer) rate = -rate;
    Vec3 axis = ride_to_world(frame, {0, 0, 1});
    dJointID m = dJointCreateAMotor(physics_world(), contact_group());
    dJointAttach(m, frame, nullptr);
    dJointSetAMotorNumAxes(m, 1);
    dJointSetAMotorAxis(m, 0, 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(m, dParamVel, rate);
    dJointSetAMotorParam(m, dParamFMax, 1000);

    float e = toward_zero(clampv(front_slip_angle(bike) - 0.5f * r.steer - delta, -0.25f, 0.25f), 0.03125f);
    float f = toward_zero(8 * e - (float)dJointGetHingeAngleRate(bike.joints[STEERING]),
                          0.0004166666666666667f);
    float torque = std::fabs(f) > 1.3333334f ? (f > 0 ? 0.6666667f : -0.6666667f) : 0.5f * f;
    apply_steering_torque(bike, torque * t.steering_strength);

    // Tail stabiliser 20 ft behind the frame.
    Vec3 tail = body_point(frame, {0, 0, 20});
    Vec3 tv = point_velocity(frame, tail) * -0.25f;
    dBodyAddForceAtRelPos(frame, tv.x, tv.y, tv.z, 0, 0, 20);
}

void update_steering(Bike& bike) {
    if (rider_crashed(bike)) {
        if (!bike.tuning.arcade) bike.ride.steer_limit_amount = 0;
        return;
    }
    if (bike.tuning.arcade)
        arcade_steering(bike);
    else
        simulation_steering(bike);
}

// Front wheel non-spin rotation is damped against the frame.
void apply_steering_damping(Bike& bike) {
    dBodyID w = bike.bodies[FRONT_WHEEL];
    Vec3 omega = to_vec3(dBodyGetAngularVel(w));
    Vec3 a = ride_to_world(w, {1, 0, 0});
    Vec3 tau = (omega - a * dot(omega, a)) * -bike.tuning.steering_damping;
    ride_add_torque(w, tau);
    ride_add_torque(bike.bodies[FRAME], -tau);
}

// --- Drivetrain -------------------------------------------------------------------

static float overall_ratio(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    return s.gear_ratios[bike.ride.gear] * s.primary_ratio * bike.tuning.final_drive;
}

float engine_rpm(const Bike& bike) { return bike.ride.engine_speed * (float)RPM_PER_RAD_S; }

float engine_torque(const Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    float te = table_torque(s.closed_torque, s.full_torque, engine_rpm(bike), bike.ride.throttle);
    if (bike.tuning.wheelie_prevention && bike.front_tire.depth <= 0 && bike.rear_tire.depth > 0 &&
        bike.bodies[FRAME]) {
        dBodyID f = bike.bodies[FRAME];
        float pitch = ride_from_world(f, to_vec3(dBodyGetAngularVel(f))).x;
        if (pitch > -1.0f / 32) te = std::fmin(te, 0.0f);
    }
    return te;
}

static void automatic_shift(Bike& bike, int tic) {
    const BikeSpec& s = bike_spec(bike.spec);
    if (!bike.tuning.auto_shift || tic % 32 != 0) return;
    if (dJointGetHingeAngle(bike.joints[SWINGARM_PIVOT]) >= -0.01) return;
    const TireContact& rear = bike.rear_tire;
    if (rear.depth > 0 && dot(rear.slip_velocity, rear.slip_velocity) > 4) return;
    float rpm = s.primary_ratio * s.gear_ratios[bike.ride.gear] * bike.tuning.final_drive * 9.549296f *
                (float)dJointGetHingeAngleRate(bike.joints[REAR_AXLE]);
    bike.ride.gear = auto_shifted_gear(s.gear_ratios, bike.ride.gear, rpm, s.downshift_rpm, s.upshift_rpm);
}

static void engine_and_clutch(Bike& bike) {
    const BikeSpec& s = bike_spec(bike.spec);
    RideState& r = bike.ride;
    DriveInputs in;
    in.engine_speed = r.engine_speed, in.engine_angle = r.engine_angle;
    in.axle_angle = (float)dJointGetHingeAngle(bike.joints[REAR_AXLE]);
    in.axle_rate = (float)dJointGetHingeAngleRate(bike.joints[REAR_AXLE]);
    in.ratio = overall_ratio(bike);
    in.clutch = r.clutch;
    in.auto_clutch_rpms = bike.tuning.auto_clutch_rpms;
    in.stiffness = s.drivetrain_stiffness, in.damping = s.drivetrain_damping;
    in.inertia = s.engine_inertia;
    in.engine_torque = engine_torque(bike);
    DriveResult out = drive_step(in);
    dBodyAddRelTorque(bike.bodies[REAR_WHEEL], -out.torque, 0, 0);
    dBodyAddRelTorque(bike.bodies[FRAME], out.torque, 0, 0);
    r.engine_speed = out.engine_speed, r.engine_angle = out.engine_angle;
}

static void brakes(Bike& bike) {
    const BikeTuning& t = bike.tuning;
    const RideState& r = bike.ride;
    bool front_down = bike.front_tire.depth > 0, rear_down = bike.rear_tire.depth > 0;
    float front = r.front_brake_now * t.brake_torque;
    if (t.front_antilock && front_down && antilock_releases(bike.front_tire.slip_velocity)) front = 0;
    // Stoppie prevention (with or without anti-lock the rule comes out the same).
    if (t.stoppie_prevention && front_down && !rear_down) front = 0;
    float rear = r.rear_brake_now * t.rear_brake_torque;
    if (t.rear_antilock && rear_down && antilock_releases(bike.rear_tire.slip_velocity)) rear = 0;
    dJointSetHingeParam(bike.joints[FRONT_AXLE], dParamVel, 0);
    dJointSetHingeParam(bike.joints[FRONT_AXLE], dParamFMax, front);
    dJointSetHingeParam(bike.joints[REAR_AXLE], dParamVel, 0);
    dJointSetHingeParam(bike.joints[REAR_AXLE], dParamFMax, rear);
}

void update_drivetrain(Bike& bike, int tic) {
    automatic_shift(bike, tic);
    engine_and_clutch(bike);
    brakes(bike);
}
