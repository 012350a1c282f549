// Frame timing, the tic loop, the controls and the per-frame view rules.
#include "core/core.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
int histogram_bucket(double elapsed) {
    double tics = elapsed / TIC_SECONDS;
    int b = 0;
    for (double limit = 1; b < FRAME_HISTOGRAM_BUCKETS - 1 && tics >= limit; limit *= 2) b++;
    return b;
}
}  // namespace

FrameStep frame_timing_step(FrameTiming& t, const FrameSettings& s, const Clock& clock) {
    double now = clock.now();
    double elapsed = now - t.last_frame_time;
    t.histogram[size_t(histogram_bucket(elapsed))]++;
    double duration;
    if (!s.connected && s.lock_fps > 0) {
        // A tiny rate would ask for minutes per frame: no frame is longer
        // than the cap, neither in sleep nor in simulated time.
        double period = std::fmin(1.0 / s.lock_fps, MAX_FRAME_SECONDS);
        if (elapsed < period && clock.sleep) clock.sleep(period - elapsed);
        duration = period;
        now = clock.now();
    } else if (!s.connected && s.warp) {
        duration = WARP_TICS_PER_FRAME * TIC_SECONDS;
    } else {
        while (elapsed < TIC_SECONDS) {
            if (clock.sleep) clock.sleep(TIC_SECONDS - elapsed);
            double later = clock.now();
            if (later <= now) {  // a clock that does not move: do not spin
                elapsed = TIC_SECONDS;
                break;
            }
            now = later;
            elapsed = now - t.last_frame_time;
        }
        duration = std::fmin(elapsed, MAX_FRAME_SECONDS);
    }
    t.shortest = std::fmin(t.shortest, duration);
    t.longest = std::fmax(t.longest, duration);
    return {now, duration};
}

double net_time_scale(double duration, int local_tic, int server_tic, int gate_drop_tic) {
    double d = (server_tic - local_tic - 1) * TIC_SECONDS;
    if (d < 0) return duration * (clampd(d + 1, 0, 1) + 1) * 0.5;
    if (local_tic < gate_drop_tic) return duration * (clampd(d, 0, 1) * 3 + 1);
    return duration * (clampd(8 * d, 0, 1) * 0.125 + 1);
}

void advance_frame(FrameTiming& t, double duration) {
    t.target_sim_time += duration;
    t.real_time += duration;
}

int run_tic_loop(FrameTiming& t, double now, const std::function<void(double, bool)>& take_events,
                 const std::function<void()>& tic) {
    int tics = 0;
    while (t.simulated_time < t.target_sim_time) {
        t.simulated_time += TIC_SECONDS;
        double instant = now - t.target_sim_time + t.simulated_time;
        if (take_events) take_events(instant, instant >= now);
        if (tic) tic();
        tics++;
    }
    return tics;
}

// ---------------------------------------------------------------------------

void apply_controls(ControlState& st, const ControlVector& c, const ControlSettings& s, int slot,
                    const BikeInputHooks& bike, const std::function<void()>& restart_run) {
    const float* v = c.v;
    if (s.time_trial) {
        if (st.abort_armed) {
            if (v[CONTROL_BACK_UP] > 0.5f && s.time_trial_abort) {
                if (restart_run) restart_run();
                st.restart_depth++;
                st.abort_armed = false;
            }
        } else if (v[CONTROL_BACK_UP] < 0.5f) {
            st.abort_armed = true;
        }
        if (v[CONTROL_THROTTLE] > 0.5f) st.restart_depth = 2;
    }
    auto set = [&](BikeInput in, float value) {
        if (bike.set) bike.set(slot, in, value);
    };
    set(INPUT_STEER, s.reverse_steering ? -v[CONTROL_STEER] : v[CONTROL_STEER]);
    set(INPUT_THROTTLE, v[CONTROL_THROTTLE]);
    set(INPUT_FRONT_BRAKE, v[CONTROL_FRONT_BRAKE]);
    set(INPUT_REAR_BRAKE, v[CONTROL_REAR_BRAKE]);
    float dab = v[CONTROL_SIT_DAB];
    if (s.sticky_dab) {
        if (st.last_dab_control <= 0.5f && dab > 0.5f) st.sit_dab = st.sit_dab > 0 ? 0.0f : 1.0f;
        dab = st.sit_dab;
    }
    st.last_dab_control = v[CONTROL_SIT_DAB];
    set(INPUT_SIT_DAB, dab);
    set(INPUT_BACK_UP, v[CONTROL_BACK_UP]);
    set(INPUT_LEAN, v[CONTROL_LEAN]);
    float target = clampf(1 - v[CONTROL_CLUTCH] * 8.0f / 7.0f, 0, 1);
    float present = bike.clutch ? bike.clutch(slot) : target;
    // Engaging takes 0.25 s from fully out; letting out is immediate.
    set(INPUT_CLUTCH, present < target ? std::fmin(present + 4 * float(TIC_SECONDS), target) : target);
    float shift = v[CONTROL_SHIFT];
    set(INPUT_GEAR, shift > 0.5f ? 1.0f : shift < -0.5f ? -1.0f : 0.0f);
}

void chase_controls(ChaseCamera& cam, const ControlVector& c) {
    cam.angle = wrap_angle(cam.angle + c.v[CONTROL_STEER] * float(M_PI / 512));
    if (c.v[CONTROL_THROTTLE] > 0.5f) cam.distance = std::fmax(cam.distance - 1.0f / 64, 0.25f);
    if (c.v[CONTROL_FRONT_BRAKE] > 0.5f) cam.distance += 1.0f / 64;
    cam.height += c.v[CONTROL_SHIFT] * float(TIC_SECONDS);
}

float trackside_controls(TracksideControl& t, const ControlVector& c) {
    float dab = c.v[CONTROL_SIT_DAB];
    if (t.last_dab <= 0.5f && dab > 0.5f) t.auto_switch = !t.auto_switch;
    t.last_dab = dab;
    const float dt = float(TIC_SECONDS);
    float v = t.zoom_velocity;
    if (c.v[CONTROL_THROTTLE] > 0.5f) v += 80 * dt;
    if (c.v[CONTROL_FRONT_BRAKE] > 0.5f) v -= 80 * dt;
    v = clampf(v, -100, 100);
    float decay = 60 * dt;
    v = v > decay ? v - decay : v < -decay ? v + decay : 0;
    t.zoom_velocity = v;
    return v * dt;
}

int camera_for_digit(int digit, int camera_count) {
    int d = digit < camera_count ? digit : camera_count;
    return d - 1;
}

int first_screenshot_number(const std::vector<std::string>& names) {
    unsigned best = 0;
    for (const std::string& n : names) {
        const char* base = std::strrchr(n.c_str(), '/');
        base = base ? base + 1 : n.c_str();
        unsigned v;
        if (std::sscanf(base, "screenshot%u", &v) == 1 && v + 1 > best) best = v + 1;
    }
    return int(best);
}

void check_stutter(StutterCheck& s, double now, const char* label) {
    if (s.threshold > 0 && now - s.last > s.threshold) con_printf("Stutter in %s - %f seconds", label, now - s.last);
    s.last = now;
}

int step_viewed_slot(const std::vector<int>& order, int viewed, int direction) {
    if (order.empty()) return viewed;
    int at = -1;
    for (size_t i = 0; i < order.size(); i++)
        if (order[i] == viewed) at = int(i);
    if (at < 0) return order.front();
    int next = at + (direction < 0 ? -1 : 1);
    next = next < 0 ? 0 : next >= int(order.size()) ? int(order.size()) - 1 : next;
    return order[size_t(next)];
}

ViewMode next_view_mode(ViewMode mode, bool editor_enabled) {
    switch (mode) {
        case ViewMode::RIDER: return editor_enabled ? ViewMode::EDITOR : ViewMode::CHASE;
        case ViewMode::CHASE: return ViewMode::TRACKSIDE;
        case ViewMode::TRACKSIDE: return ViewMode::RIDER;
        default: return ViewMode::RIDER;
    }
}

ViewMode select_view_mode(ViewMode mode, const ViewInputs& in) {
    if (mode == ViewMode::NO_TRACK) {
        if (!in.track_loaded) return ViewMode::NO_TRACK;
        return in.viewed_has_bike ? ViewMode::RIDER : ViewMode::TRACKSIDE;
    }
    if (!(in.spy && mode == ViewMode::TRACKSIDE)) {
        if (mode != ViewMode::EDITOR && mode != ViewMode::CHASE && in.viewed_is_local) mode = ViewMode::RIDER;
    }
    if (!in.viewed_has_bike) mode = ViewMode::TRACKSIDE;
    if (!in.track_loaded) mode = ViewMode::NO_TRACK;
    return mode;
}

float engine_sound_factor(bool paused, ViewMode mode, bool menu_shown, bool viewed_is_local) {
    if (paused || mode == ViewMode::EDITOR) return 0;
    if (!menu_shown) return 1;
    return viewed_is_local ? 0.0f : 0.25f;
}

// ---------------------------------------------------------------------------

const char WATCHED_SETUP_LETTERS[WATCHED_SETUP_COUNT + 1] = "ldaxdsmdsxrlxlsacfrdggCcRrsplCcRrspyzYZm";

std::string setup_change_string(const SetupWatch& w, const std::array<float, WATCHED_SETUP_COUNT>& current) {
    std::string s(WATCHED_SETUP_COUNT, '-');
    for (int i = 0; i < WATCHED_SETUP_COUNT; i++)
        if (current[size_t(i)] != w.recorded[size_t(i)]) s[size_t(i)] = WATCHED_SETUP_LETTERS[i];
    return s;
}

std::string setup_change_report(SetupWatch& w, double real_time, const std::array<float, WATCHED_SETUP_COUNT>& current) {
    if (real_time < w.next_report) return {};
    w.next_report = real_time + 5;
    std::string s = setup_change_string(w, current);
    w.recorded = current;
    if (s == std::string(WATCHED_SETUP_COUNT, '-')) return {};
    return "[SPAM] Setup change " + s + "\n";
}

StartList rotate_start_list(const StartList& list) {
    StartList out{};
    for (int s = 0; s < SLOT_COUNT; s++) out[size_t((s + 1) % SLOT_COUNT)] = list[size_t(s)];
    return out;
}

bool warp_restart_due(int leader_gates, int first_lap, int normal_lap, int finish_lap) {
    int laps = 0;
    if (normal_lap > 0 && leader_gates >= first_lap) laps = (leader_gates - first_lap) / normal_lap + 1;
    return finish_lap <= laps;
}

void push_server_history(std::array<std::string, SERVER_HISTORY_COUNT>& hist, const std::string& address) {
    if (address.empty() || address.size() > size_t(SERVER_HISTORY_CHARS) || address == hist[0]) return;
    for (size_t i = hist.size() - 1; i > 0; i--) hist[i] = hist[i - 1];
    hist[0] = address;
}
