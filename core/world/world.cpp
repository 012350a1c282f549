// The loaded track and the race on it: the reset's and the tic's hooks filled
// with the files, terrain and physics modules.
#include "core/world/world_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace {
// The bike chosen when a plan names none (the program's preset choice).
constexpr const char* DEFAULT_BIKE = "yz250f(2017)";

// Assists of a bike that follows recorded states.
constexpr float REMOTE_ROLL_DAMPING = 100;
constexpr float REMOTE_FULL_LOCK_SPEED = 5;
constexpr float REMOTE_RESTRICTED_LOCK_SPEED = 50;
constexpr float REMOTE_RESTRICTED_LOCK = 0.04363323f;  // 2.5°

Bike* bike_in(const World& w, int slot) {
    if (!w.game || slot < 0 || slot >= SLOT_COUNT) return nullptr;
    return w.game->slots[size_t(slot)].bike;
}

const char* or_null(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// Height of the nearest height sample: where a bike is first put down.
float nearest_sample_height(const Terrain& t, float x, float z) {
    if (t.vertices_per_side == 0 || !(t.cell_size > 0)) return 0;
    float fi = std::round(x * t.inverse_cell_size), fj = std::round(z * t.inverse_cell_size);
    // terrain_vertex_height clamps the indices; keep the float in int range first.
    float limit = float(t.vertices_per_side);
    int i = std::isfinite(fi) ? int(std::clamp(fi, -1.0f, limit)) : 0;
    int j = std::isfinite(fj) ? int(std::clamp(fj, -1.0f, limit)) : 0;
    return terrain_vertex_height(t, i, j);
}

void free_loaded_track(World& w) {
    set_physics_ground(nullptr);
    free_terrain(w.track.terrain);
    w.track.gate.clear();
}

Bike* create_planned_bike(int slot, const SlotPlan& plan) {
    const char* model = plan.bike.empty() ? DEFAULT_BIKE : plan.bike.c_str();
    const std::array<std::string, SKIN_COUNT>& k = plan.skins;
    return create_bike(slot, model, plan.kind != REMOTE, plan.number.c_str(), or_null(k[SKIN_RIDER_BODY]),
                       or_null(k[SKIN_RIDER_HEAD]), or_null(k[SKIN_BIKE]), or_null(k[SKIN_WHEELS]));
}

void configure_planned_bike(Bike& b, const SlotPlan& plan) {
    if (plan.kind != REMOTE) {
        set_activity(b, 1);
        return;
    }
    set_activity(b, 0);
    set_roll_damping(b, REMOTE_ROLL_DAMPING);
    set_full_lock_speed(b, REMOTE_FULL_LOCK_SPEED);
    set_restricted_lock_speed(b, REMOTE_RESTRICTED_LOCK_SPEED);
    set_restricted_lock(b, REMOTE_RESTRICTED_LOCK);
}

// Spheres around each part of a bike: every shape sphere and tire of the part
// lies inside its part's sphere.
struct PartBound {
    Vec3 centre;
    float radius = -1;  // below 0: the part cannot touch anything
};
void bike_part_bounds(const Bike& b, PartBound out[PART_COUNT]) {
    static const BikeBody BODY_OF[PART_COUNT] = {FRAME, FORK_UPPER, FORK_LOWER, SWINGARM, RIDER, FRONT_WHEEL, REAR_WHEEL};
    for (int p = 0; p < PART_COUNT; p++) {
        float r = b.shapes[p].spheres.empty() ? -1 : b.shapes[p].bounding_radius;
        if (p == PART_FRONT_WHEEL) r = std::fmax(r, b.front_tire.ring_radius + b.front_tire.tube_radius);
        if (p == PART_REAR_WHEEL) r = std::fmax(r, b.rear_tire.ring_radius + b.rear_tire.tube_radius);
        out[p] = {body_position(b.bodies[BODY_OF[p]]), r};
    }
}

// The object's spheres that reach into a part's sphere: the others cannot
// touch the bike, and testing them one by one against every part sphere is
// the most of a standing start's cost.
void spheres_near_bike(const PartShape& object, const PartBound bounds[PART_COUNT], PartShape& out) {
    out.spheres.clear();
    out.bounding_radius = object.bounding_radius;
    for (const ShapeSphere& s : object.spheres)
        for (int p = 0; p < PART_COUNT; p++) {
            float r = bounds[p].radius + s.radius;
            if (bounds[p].radius >= 0 && length_squared(s.centre - bounds[p].centre) <= r * r) {
                out.spheres.push_back(s);
                break;
            }
        }
}

// Step 4 of the tic for one bike: its ground contacts (when it is simulated
// here) and the track objects near it. True when an object was touched.
bool collide_with_objects(World& w, int slot, bool gate_only) {
    Bike* b = bike_in(w, slot);
    if (!b) return false;
    if (!gate_only && b->simulated && b->activity > 0.25f) collide_bike_with_ground(*b);
    const LoadedTrack& t = w.track;
    if (t.gate.empty()) return false;
    Vec3 p = body_position(b->bodies[FRAME]);
    PartBound bounds[PART_COUNT];
    bike_part_bounds(*b, bounds);
    float reach = 0;  // around the frame, holding every part's sphere
    for (const PartBound& pb : bounds)
        if (pb.radius >= 0) reach = std::fmax(reach, distance(pb.centre, p) + pb.radius);
    objects_near(t.state.grid, p.x, p.z, reach, w.scratch);
    if (w.scratch.empty()) return false;
    if (!w.near_spheres) w.near_spheres = std::make_shared<PartShape>();
    bool hit = false;
    for (int i : w.scratch) {
        if (i < 0 || i >= int(t.gate.size())) continue;
        GateObject& o = w.track.gate[size_t(i)];
        if (!o.world || o.world->spheres.empty()) continue;
        float apart = reach + o.radius;
        if (length_squared(o.centre - p) > apart * apart) continue;
        spheres_near_bike(*o.world, bounds, *w.near_spheres);
        if (w.near_spheres->spheres.empty()) continue;
        if (collide_bike_with_object(*b, *w.near_spheres, nullptr)) {
            o.touched_tic = w.game->tic;
            hit = true;
        }
    }
    return hit;
}

void set_input(World& w, int slot, BikeInput input, float v) {
    Bike* b = bike_in(w, slot);
    if (!b) return;
    switch (input) {
        case INPUT_STEER: set_steer(*b, v); break;
        case INPUT_THROTTLE: set_throttle(*b, v); break;
        case INPUT_FRONT_BRAKE: set_front_brake(*b, v); break;
        case INPUT_REAR_BRAKE: set_rear_brake(*b, v); break;
        case INPUT_SIT_DAB: set_sit_dab(*b, v); break;
        case INPUT_BACK_UP: set_back_up(*b, v); break;
        case INPUT_LEAN: set_lean(*b, v); break;
        case INPUT_CLUTCH: set_clutch(*b, v); break;
        case INPUT_GEAR: shift(*b, v > 0.5f ? 1 : (v < -0.5f ? -1 : 0)); break;
    }
}

void hash_body(Ripemd160& d, dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    const dReal* q = dBodyGetQuaternion(body);
    double v[7] = {double(p[0]), double(p[1]), double(p[2]), double(q[0]), double(q[1]), double(q[2]), double(q[3])};
    ripemd160_update(d, v, sizeof v);
}
}  // namespace

bool read_whole_data_file(const std::string& path, std::string& bytes) {
    bytes.clear();
    DataFile* f = open_data_file(path.c_str(), "rb");
    if (!f) return false;
    char block[65536];
    int n;
    while ((n = read_data_bytes(f, block, int(sizeof block))) > 0) bytes.append(block, size_t(n));
    close_data_file(f);
    return true;
}

bool world_start(World& w) {
    if (!create_physics_world()) return false;
    if (!w.game) w.game = new_game_state();
    return true;
}

void world_shutdown(World& w) {
    if (w.game)
        for (RiderSlot& s : w.game->slots) {
            destroy_bike(s.bike);
            s.bike = nullptr;
        }
    free_loaded_track(w);
    w.track.state = TrackState{};
    set_roost_random(nullptr);
    destroy_physics_world();
}

std::string find_track_folder(const std::vector<TrackListEntry>& tracks, const std::string& name) {
    auto same = [](const std::string& a, const std::string& b) {
        return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
    };
    for (const TrackListEntry& t : tracks)
        if (same(t.folder, name)) return t.folder;
    for (const TrackListEntry& t : tracks) {
        size_t slash = t.folder.rfind('/');
        if (slash != std::string::npos && same(t.folder.substr(slash + 1), name)) return t.folder;
    }
    for (const TrackListEntry& t : tracks)
        if (same(t.display_name, name)) return t.folder;
    return "";
}

ResetHooks world_reset_hooks(World& w) {
    ResetHooks h;
    h.destroy_bike = [](int, Bike* bike) { destroy_bike(bike); };
    h.selected_track = [&w] { return w.selected_track; };
    h.free_track = [&w] { free_loaded_track(w); };
    h.read = read_whole_data_file;
    h.load_terrain = [&w](TrackState& t) {
        if (!load_terrain(w.track.terrain, "@" + t.dir, 0)) return false;
        t.extent = w.track.terrain.extent;
        set_physics_ground(&w.track.terrain);
        return true;
    };
    h.load_timing_gates = [&w](TrackState& t) {
        std::string text;
        w.track.gate.clear();
        if (read_whole_data_file("@" + t.dir + "/timing_gates", text)) w.track.gate = parse_starting_gate(text);
        t.gates.clear();
        for (const GateObject& o : w.track.gate) t.gates.push_back(o.part);
    };
    h.create_roost_pool = [] { reset_roost_particles(); };
    h.object_bounds = [&w] {
        std::vector<ObjectBounds> b;
        for (const GateObject& o : w.track.gate) b.push_back(o.bounds);
        return b;
    };
    h.object_models = [&w] {
        std::vector<std::string> m;
        for (const GateObject& o : w.track.gate) m.push_back(o.model);
        return m;
    };
    h.create_bike = [](int slot, const SlotPlan& plan) { return create_planned_bike(slot, plan); };
    h.place_bike = [&w](int slot, float x, float y, float z, float angle) {
        Bike* b = bike_in(w, slot);
        if (!b) return;
        reset_bike(*b);
        turn_bike(*b, Vec3{0, 1, 0}, angle);
        move_bike(*b, x, y, z);
    };
    h.ground_height = [&w](float x, float z) { return nearest_sample_height(w.track.terrain, x, z); };
    h.intersects_ground = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        return b && bike_collides(*b);
    };
    h.bike_position = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        return b ? body_position(b->bodies[FRAME]) : Vec3{};
    };
    h.configure_bike = [&w](int slot, const SlotPlan& plan) {
        if (Bike* b = bike_in(w, slot)) configure_planned_bike(*b, plan);
    };
    h.after_bikes = [] { reset_roost_particles(); };
    h.raise_gate = [&w] { raise_starting_gate(w.track.gate, w.track.terrain); };
    // The player's own rider setup (dab when stopped, shifting, stability and
    // the rest) goes onto a local viewed bike; it stands still just after
    // placing, so the moving-bike refusal does not apply here.
    h.finish = [&w] {
        int s = w.game->viewed_slot;
        if (s < 0 || s >= SLOT_COUNT || w.game->slots[size_t(s)].kind != LOCAL) return;
        if (Bike* b = bike_in(w, s)) apply_setup_when_stopped(*b, 0);
    };
    return h;
}

void world_reset(World& w, const ResetRequest& req, const ResetHooks& h) {
    reset_track(w.game, w.track.state, req, h);
    set_roost_random(&w.game->random);
    if (w.track.state.dir.empty()) free_loaded_track(w);
    set_physics_ground(w.track.state.dir.empty() ? nullptr : &w.track.terrain);
    // Nothing of the old race may act in the first step of the new one.
    if (contact_group()) dJointGroupEmpty(contact_group());
    set_physics_tic(w.game->tic);
}

TicHooks world_tic_hooks(World& w) {
    TicHooks h;
    h.bike_speed = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        return b ? length(body_velocity(b->bodies[FRAME])) : 0.0f;
    };
    h.collide_objects = [&w](int slot, bool gate_only) { return collide_with_objects(w, slot, gate_only); };
    h.collide_bikes = [&w](int a, int b, bool one_sided) {
        Bike* ba = bike_in(w, a);
        Bike* bb = bike_in(w, b);
        return ba && bb && collide_bikes(*ba, *bb, one_sided ? 1 : 0);
    };
    h.emit_roost = [&w](int slot) {
        if (Bike* b = bike_in(w, slot)) emit_roost(*b);
    };
    h.world_step = [] { step_physics_world(); };
    h.inputs.set = [&w](int slot, BikeInput input, float v) { set_input(w, slot, input, v); };
    h.inputs.clutch = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        return b ? b->ride.clutch : 0.0f;
    };
    h.bike_position = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        return b ? body_position(b->bodies[FRAME]) : Vec3{};
    };
    h.update_bike = [&w](int slot) {
        Bike* b = bike_in(w, slot);
        if (!b) return;
        RideClock clock;
        clock.tic = w.game->tic;
        clock.gate_drop_tic = w.game->gate_drop_tic;
        update_bike(*b, clock);
    };
    h.flying_roost = [] { fly_roost(); };
    h.gate_animation = [&w] { animate_starting_gate(w.track.gate, *w.game, w.track.terrain); };
    return h;
}

void world_tic(World& w, const TicHooks& h) {
    if (!w.game) return;
    set_physics_tic(w.game->tic);
    run_tic(*w.game, h);
}

Bike* world_bike(const World& w, int slot) { return bike_in(w, slot); }

Vec3 world_frame_position(const World& w, int slot) {
    Bike* b = bike_in(w, slot);
    return b ? body_position(b->bodies[FRAME]) : Vec3{};
}

Vec3 world_frame_velocity(const World& w, int slot) {
    Bike* b = bike_in(w, slot);
    return b ? body_velocity(b->bodies[FRAME]) : Vec3{};
}

int world_crash_count(const World& w, int slot) {
    Bike* b = bike_in(w, slot);
    return b ? b->ride.crash_count : 0;
}

bool world_bike_touches_ground(const World& w, int slot) {
    Bike* b = bike_in(w, slot);
    return b && bike_collides(*b);
}

void world_apply_controls(World& w, int slot, ControlState& st, const ControlVector& c) {
    BikeInputHooks inputs;
    inputs.set = [&w](int s, BikeInput input, float v) { set_input(w, s, input, v); };
    inputs.clutch = [&w](int s) {
        Bike* b = bike_in(w, s);
        return b ? b->ride.clutch : 0.0f;
    };
    apply_controls(st, c, ControlSettings{}, slot, inputs, nullptr);
}

Digest160 world_body_hash(const World& w) {
    Ripemd160 d;
    ripemd160_init(d);
    for (int s = 0; s < SLOT_COUNT; s++)
        if (Bike* b = bike_in(w, s))
            for (dBodyID body : b->bodies) hash_body(d, body);
    return ripemd160_final(d);
}

bool world_bodies_finite(const World& w) {
    for (int s = 0; s < SLOT_COUNT; s++) {
        Bike* b = bike_in(w, s);
        if (b && !bike_is_finite(*b)) return false;
    }
    return true;
}
