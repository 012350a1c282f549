// Core: the command line, the frame timing and tic loop, start-up and
// shutdown in their order, the game-state record and the simulation tic.
// Everything here is headless; the program (core/app) drives it over the
// platform layer, and the steps that belong to other modules are hooks that
// do nothing while unset.
#pragma once

#include "common/common.h"
#include "files/files.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct Bike;  // the simulated bike of a slot, defined by the physics module

// ===========================================================================
// Command line.

// Rendering tuning derived at start-up; options replace single values.
struct RenderTuning {
    float ground_grid_detail = 0;        // 0.125 / ground_detail
    int ground_texture_reduction = 0;    // 0..10
    int model_texture_reduction = 0;     // 0..10
    int ground_texture_size = 64;        // texels
    float model_lod_scale = 1;
    float model_lod_bias = 0;
    int roost_frequency = 1000;          // 0..1000
    int texture_compress = 0;
    bool reflections = true;
    float detail_distance = 70;          // ground detail fade starts (units)
    float detail_fade_distance = 75;     // and ends
};
RenderTuning derive_render_tuning(const Config& c);

// Everything the command line can set. Fields whose option "leaves the value"
// on a bad number (window size, HUD switches, lineup rotation) start from the
// configuration (options_from_config).
struct Options {
    bool fugly = false;
    bool nosound = false;
    bool novertexarrays = false;
    int learn = -1;            // -1 not given, 0 --nolearn, 1 --learn
    int verbose = 0;           // --debug 1, --super-debug 2
    bool practice = false;
    bool warp = false;
    bool erode_given = false;
    int erosion_rate = 0;      // floor(clamp(value, 0, 100) * 1024)
    float lock_fps = 0;        // 0 = off
    double fake_lag = 0;       // seconds, 0..1
    int fake_loss = 0;         // percent, 0..100
    std::string record_audio;  // empty: off
    bool record_video = false;
    int rotate_lineup = 0;
    bool editor = false;
    bool hidden_pause = false;
    bool hidden_hud = false;
    int width = 640, height = 480;
    int depth = 16, zdepth = 16;
    int draw_fps = 0, draw_time = 0, draw_ping = 0, draw_speed = 0, draw_render_stats = 0;
    bool accurate_skip = false;
    std::string track;        // empty: the configured track
    std::string connect;      // empty: not connecting; "rutline:" removed
    bool connect_given = false;
    std::string password;
    Vec3 chase_center{0, 2.52f, 0.52f};
    bool open_home = false;
    bool glfinish = false;
    bool print_orientation = false;
    std::string file;         // the demo named on the command line
};

enum OptionStatus {
    OPTIONS_OK = 0,
    OPTIONS_OPEN_HOME = 1,  // open the home folder and end with status 0
    OPTIONS_BAD = 2,        // the message is on standard error; end with status 1
};
// Parses argv[1..argc); messages go to standard error. Never exits.
OptionStatus parse_options(int argc, const char* const* argv, Options& opt, RenderTuning& tuning);
// Options as the configuration leaves them before the command line is read.
Options options_from_config(const Config& c);

// ===========================================================================
// Frame timing and the tic loop.

enum class ViewMode { RIDER = 0, EDITOR = 2, CHASE = 3, TRACKSIDE = 4, NO_TRACK = 5 };

// An injected wall clock: seconds on one monotonic origin, and a sleep.
struct Clock {
    std::function<double()> now;
    std::function<void(double seconds)> sleep;
};

inline constexpr int FRAME_HISTOGRAM_BUCKETS = 8;
inline constexpr double MAX_FRAME_SECONDS = 0.125;  // 16 tics
inline constexpr int WARP_TICS_PER_FRAME = 100;

// Frame-loop state: one run of the main loop.
struct FrameTiming {
    double last_frame_time = 0;   // wall clock at the end of the previous timing step
    double target_sim_time = 0;   // scaled real time since start
    double simulated_time = 0;    // covered by the tics run so far
    double real_time = 0;         // the real-time clock (message expiry, time-outs)
    std::array<int, FRAME_HISTOGRAM_BUCKETS> histogram{};  // <1, <2, <4 ... <64, >=64 tics
    double shortest = 1.0, longest = 0;
};
struct FrameSettings {
    float lock_fps = 0;
    bool warp = false;
    bool connected = false;
};
struct FrameStep {
    double now;       // the wall clock read by the step (instant of the tic loop)
    double duration;  // simulated seconds this frame, before network scaling
};
// Measures the frame, sleeping as needed: lock-fps frames last exactly
// 1/lock_fps (never more than 0.125 s), warp frames 100 tics, other frames
// their wall time, at least one tic and at most 0.125 s.
FrameStep frame_timing_step(FrameTiming& t, const FrameSettings& s, const Clock& clock);
// While connected: scales the duration to track the server's tic.
double net_time_scale(double duration, int local_tic, int server_tic, int gate_drop_tic);
// Adds the frame's duration to the simulation target and the real-time clock.
void advance_frame(FrameTiming& t, double duration);

// Runs whole tics until simulated time catches up with the target. Before
// each tic, take_events(instant, all) is called: it must apply every pending
// event time-stamped no later than the tic's wall-clock instant (all of them
// when `all` is set, i.e. the instant is not in the past). Returns tics run.
int run_tic_loop(FrameTiming& t, double now, const std::function<void(double instant, bool all)>& take_events,
                 const std::function<void()>& tic);

// Applies, from a time-ordered queue of records with a `time` field, those
// due by `instant` (all when `all`), in order.
template <class Event, class Handle>
void take_due_events(std::deque<Event>& queue, double instant, bool all, Handle handle) {
    while (!queue.empty() && (all || queue.front().time <= instant)) {
        Event e = queue.front();
        queue.pop_front();
        handle(e);
    }
}

// ===========================================================================
// Controls.

// What the controls act on: the bike's inputs (physics fills these in).
enum BikeInput {
    INPUT_STEER, INPUT_THROTTLE, INPUT_FRONT_BRAKE, INPUT_REAR_BRAKE, INPUT_SIT_DAB,
    INPUT_BACK_UP, INPUT_LEAN, INPUT_CLUTCH, INPUT_GEAR,
};
struct BikeInputHooks {
    std::function<void(int slot, BikeInput input, float value)> set;
    std::function<float(int slot)> clutch;  // present clutch engagement 0..1
};
// Per-run state of applying the controls.
struct ControlState {
    bool abort_armed = true;   // time-trial abort
    int restart_depth = 2;
    float sit_dab = 0;         // the sticky dab's latched value
    float last_dab_control = 0;
};
struct ControlSettings {
    bool reverse_steering = false;
    bool sticky_dab = false;
    bool time_trial = false;
    bool time_trial_abort = false;
};
// Applies the control vector to the local bike in `slot`. restart_run is
// called when a time-trial run is aborted.
void apply_controls(ControlState& st, const ControlVector& c, const ControlSettings& s, int slot,
                    const BikeInputHooks& bike, const std::function<void()>& restart_run);

struct ChaseCamera {
    float angle = 0;      // radians, -pi..pi
    float distance = 10;
    float height = 5;
};
// The chase view's orbit driven by the controls (the viewed rider not local).
void chase_controls(ChaseCamera& cam, const ControlVector& c);

// The trackside view's controls: sit/dab's rising edge toggles automatic
// camera switching; throttle and front brake push the free camera's zoom
// velocity (units per second, within +-100), which decays toward 0.
struct TracksideControl {
    bool auto_switch = false;
    float zoom_velocity = 0;
    float last_dab = 0;
};
// Returns how far to move the free camera along its view direction this tic.
float trackside_controls(TracksideControl& t, const ControlVector& c);

// Digit keys: the track camera to select (-1: the free camera).
int camera_for_digit(int digit, int camera_count);

// The first screenshot number: one more than the largest N of the names
// that scan as "screenshot%u".
int first_screenshot_number(const std::vector<std::string>& names);

// Stutter checkpoints: with a threshold set, a gap longer than it since the
// previous checkpoint prints "Stutter in <label> - <seconds> seconds".
struct StutterCheck {
    double threshold = 0;  // seconds, 0 = off
    double last = 0;
};
void check_stutter(StutterCheck& s, double now, const char* label);

// Previous (-1) or Next (+1) Bike over the running order's slots; a viewed
// slot that is not in the order moves to the first entry.
int step_viewed_slot(const std::vector<int>& order_slots, int viewed, int direction);

// Tab: the next view mode (leaving the editor is the caller's).
ViewMode next_view_mode(ViewMode mode, bool editor_enabled);

// Main-loop view selection (step 1 of a frame).
struct ViewInputs {
    bool track_loaded = false;
    bool viewed_has_bike = false;
    bool viewed_is_local = false;
    bool spy = false;
};
ViewMode select_view_mode(ViewMode mode, const ViewInputs& in);

// The master engine-sound factor of a frame.
float engine_sound_factor(bool paused, ViewMode mode, bool menu_shown, bool viewed_is_local);

// ===========================================================================
// Setup-change report: the 40 watched setup parameters.

inline constexpr int WATCHED_SETUP_COUNT = 40;
extern const char WATCHED_SETUP_LETTERS[WATCHED_SETUP_COUNT + 1];
struct SetupWatch {
    std::array<float, WATCHED_SETUP_COUNT> recorded{};
    double next_report = 0;  // real-time clock
};
// The 40-character string: the parameter's letter where it changed, else '-'.
std::string setup_change_string(const SetupWatch& w, const std::array<float, WATCHED_SETUP_COUNT>& current);
// When the real-time clock reaches the next report time: returns the line to
// print or send ("[SPAM] Setup change ...\n"), empty when nothing changed,
// and records the current values.
std::string setup_change_report(SetupWatch& w, double real_time, const std::array<float, WATCHED_SETUP_COUNT>& current);

// ===========================================================================
// The game-state record and the tic.

enum SlotKind { LOCAL = 0, REMOTE = 1, ROBOT = 2 };

struct RiderSlot {
    Bike* bike = nullptr;  // created and destroyed through the reset's bike hooks
    SlotKind kind = REMOTE;
    float activity = 0;    // 0..1, counted down in seconds while connected
    StateHistory history;
};

inline constexpr int SUSPENSION_GRAPH_SAMPLES = 1024;
struct SuspensionSample {
    float fork_position, fork_speed, fork_low_share;
    float shock_position, shock_speed, shock_low_share;
};
struct SuspensionGraph {
    bool enabled = false;
    bool started = false;  // a sample was taken since enabling
    int index = 0;
    std::array<SuspensionSample, SUSPENSION_GRAPH_SAMPLES> samples{};
};
// The low-speed share of a damper speed: c / (|v| k + c); 1 when both terms are 0.
float low_speed_share(float speed, float k, float c);

// The game state: one race, from one reset to the next.
struct GameState {
    int tic = 0;
    int gate_drop_tic = 0;
    int playback_delay = 0;   // tics; 127 when watching a server race without a place
    int race_length_tics = 0;
    int race_laps = 0;
    std::array<RiderSlot, SLOT_COUNT> slots;
    int viewed_slot = 0;
    int local_slot = NO_SLOT;  // this computer's slot on a race server
    bool race_place = false;   // the local rider holds a place in the server race
    bool time_trial = false;
    bool results_final = false;
    int demo_version = 0;      // 0: no demo playing
    float collision_grace = 10;      // seconds after the gate drop
    float lapping_margin = 1.5f;
    Vec3 false_start_position{};
    int hold_counter = 0;             // tics
    int finish_lap = 0, halfway_lap = 0;  // 1000000 each when the race runs on time
    SuspensionGraph suspension;
    // Seeded at every reset (from the clock in the game, from a fixed seed in
    // the runner); the roster shuffle, the gate drop and roost draw from it in
    // that order, so a seed replays the same race.
    Mt19937 random;
};
// A fresh record (tic 0, every slot remote and empty).
std::unique_ptr<GameState> new_game_state();

// Steps of the tic that belong to other modules; any may be left unset.
struct TicHooks {
    std::function<bool()> connected;
    std::function<int()> erosion_rate;                 // 0: no erosion
    std::function<bool(int slot)> collisions_enabled;  // with the local rider
    std::function<void(const char* tic_text)> script_tic;
    std::function<void(int slot, const uint8_t* state, const uint8_t* older, const uint8_t* newer,
                       int tic_distance, int version)>
        apply_states;
    std::function<void(const uint8_t* a, const uint8_t* b, float f, uint8_t* out)> blend_states;
    std::function<int(int slot)> completed_laps;
    std::function<float(int slot)> bike_speed;
    std::function<bool(int slot, bool gate_only)> collide_objects;  // true on contact
    std::function<bool(int a, int b, bool one_sided)> collide_bikes;
    std::function<void(int slot)> emit_roost;
    std::function<void()> world_step;  // the step and emptying the contact group
    std::function<void(int slot)> erode;
    std::function<void(int slot)> auto_pilot;
    BikeInputHooks inputs;
    std::function<Vec3(int slot)> bike_position;
    std::function<void(int slot)> update_bike;
    std::function<void(int slot)> score_gates;
    std::function<void()> flying_roost;
    std::function<void()> gate_animation;
    std::function<void()> recompute_results;
    std::function<void()> record_state;
    std::function<void()> read_ahead;
    std::function<void()> close_time_trial_lap;
    std::function<void()> rewind_ghost_laps;
    std::function<SuspensionSample(int slot)> sample_suspension;
};

// One simulation tic of exactly 1/128 s.
void run_tic(GameState& g, const TicHooks& h);

// Whether a rider is drawn, heard and shown on the map.
bool slot_hidden(const GameState& g, int slot, const TicHooks& h);

// Adds a rider-state record to a slot's history; a slot outside 0..159 is
// refused with a console line.
bool add_state(GameState& g, int slot, const uint8_t* record, int tic);

void suspension_graph_enable(SuspensionGraph& s, bool on);

// ===========================================================================
// Start-up and shutdown.

struct DisplayMode {
    int width, height, bits;
};
// "Default Fullscreen", "Windowed", then "%dx%d" for the modes whose colour
// depth equals the first mode's.
std::vector<std::string> video_mode_list(const std::vector<DisplayMode>& modes);

struct WindowRequest {
    int width = 0, height = 0;  // 0: the desktop size
    bool fullscreen = false;
    int depth = 16, zdepth = 16;
};
WindowRequest window_request(int video_mode, const std::vector<std::string>& mode_list, const Options& o);

inline constexpr const char* VERSION_TEXT = "2021-03-31-1566 snapshot";

using StartList = std::array<int, SLOT_COUNT>;

enum MenuPage { MENU_NONE = 0, MENU_MAIN = 1 };

// The program's run-wide state as start-up leaves it.
struct Program {
    Options options;
    Config config;
    RenderTuning tuning;
    std::vector<std::string> video_modes;
    int video_mode = 1;
    std::string track_to_load;
    StartList start_list{};
    std::unique_ptr<GameState> game;
    MenuPage menu = MENU_MAIN;
    ViewMode view = ViewMode::RIDER;
    bool paused = false;
    FrameTiming timing;
    ChaseCamera chase;
    ControlState controls;
    SetupWatch setup_watch;
};

// Steps of start-up that belong to other modules, in their order. Unset
// hooks do nothing (and report success).
struct StartupHooks {
    std::function<void()> open_home;
    std::function<bool()> locate_data;
    std::function<void(const char* caption, const char* text)> message_box;
    std::function<void(const char* line)> log;
    std::function<void()> clear_server_history;
    std::function<std::vector<DisplayMode>()> display_modes;
    std::function<void()> apply_defaults;    // bike choice, setup defaults, graphics preset 0, lighting
    std::function<void(Program&)> read_config;  // fills config (the file's settings over the defaults)
    std::function<void(Program&)> record_setup;
    std::function<bool(const WindowRequest&)> create_window;
    std::function<void()> build_file_index;
    std::function<void()> collect_skins;
    std::function<int()> build_track_list;    // number of tracks; unset counts as one
    std::function<void()> collect_demos;
    std::function<void()> collect_series;
    std::function<void(const std::string& track)> select_track;
    std::function<void(const Options&)> open_audio;
    std::function<void()> wait_mapped;
    std::function<void(const Options&)> init_gl;  // function pointers, the GL log lines, clear colour and state
    std::function<void()> load_fonts;
    std::function<void()> open_inputs;
    std::function<void()> create_world;
    std::function<bool(const std::string& file, std::string& track)> read_demo;
    std::function<void(Program&, bool playback)> load_track;  // reset with the start list, 0 tics, 1000 laps
};
inline constexpr int START_CONTINUE = -1;
// Runs start-up; returns START_CONTINUE to go on to the main loop, else the
// program's exit status.
int program_start(Program& p, int argc, const char* const* argv, const StartupHooks& h);

// Shutdown steps, in their order; show_status shows and logs each quoted line.
struct ShutdownHooks {
    std::function<void(const char* text)> show_status;
    std::function<void()> disconnect;        // when connected, and close the network state
    std::function<void()> save_and_free_race; // lines, series, demos, contact group, bikes, script, track, world
    std::function<void()> close_inputs;
    std::function<void()> close_audio;
    std::function<void()> free_texture_tiles;
    std::function<void()> write_config;
    std::function<void()> free_lists;        // series, track objects, track list
    std::function<void()> free_menus;        // skins, demo list
    std::function<void()> free_file_list;
    std::function<void()> delete_textures;
    std::function<void()> delete_models;
    std::function<void()> close_window;      // fonts, GL context and window
    std::function<void()> close_log;
    std::function<void(double seconds)> sleep;
};
int program_shutdown(Program& p, const ShutdownHooks& h);

// Warp: the leader's completed laps from its gates passed reach the finish
// lap (first_lap / normal_lap: gate counts of the first and later laps).
bool warp_restart_due(int leader_gates, int first_lap, int normal_lap, int finish_lap);
// Pushes an address onto the server-name history (newest first, 16 kept),
// unless it is empty, too long or already the newest.
void push_server_history(std::array<std::string, SERVER_HISTORY_COUNT>& hist, const std::string& address);
// Warp: rotate the start list by one slot (slot s moves to s + 1 mod 160).
StartList rotate_start_list(const StartList& list);

// ===========================================================================
// Track reset: start lists, the robot roster, the gate drop, start places,
// the track-object grid and the track digest.

// Start-list codes (one per slot).
enum StartCode {
    START_EMPTY = 0,       // empty; during demo playback the next demo rider
    START_HUMAN = 1,       // the player; only the first counts
    START_ROBOT = 2,       // a robot from the shuffled roster
    START_ROBOT_125 = 3,   // a robot on a two-stroke ("125" in the bike name)
    START_ROBOT_250 = 4,   // a robot on a four-stroke ("250")
    START_SERVER = 5,      // a rider of a server race
    START_ROSTER = 1000,   // 1000 + n: the robot with rider number n
};

inline constexpr int ROSTER_SIZE = 80;
enum SkinKind { SKIN_RIDER_BODY, SKIN_RIDER_HEAD, SKIN_BIKE, SKIN_WHEELS, SKIN_COUNT };
struct RosterEntry {
    char number[4];                 // "20".."99"
    int personality;                // 1..4 (the robot controller's table)
    const char* bike;               // short model name
    const char* skins[SKIN_COUNT];  // file names; nullptr: none
};
inline constexpr int PERSONALITY_TESTER = 4;
const RosterEntry& roster_entry(int i);  // 0..79, rider numbers 20..99
// The catalogue name of a roster bike: the short 250 names gain "(2008)".
std::string full_bike_model(const std::string& short_name);

// The random draws of a reset, in their order: the roster shuffle, then the
// gate drop. Both take the reset's generator, seeded by the caller.
std::array<int, ROSTER_SIZE> shuffle_roster(Mt19937& r);
// Uniformly 13 to 15 s: always in [1664, 1920).
int draw_gate_drop_tic(Mt19937& r);

// What a reset puts in one slot.
struct SlotPlan {
    bool create = false;
    SlotKind kind = REMOTE;
    int code = START_EMPTY;
    int roster = -1;        // roster index of a robot, -1 none
    int demo_rider = -1;    // index in the demo's rider list, -1 none
    std::string number;     // rider number text
    std::string bike;       // catalogue model name
    std::array<std::string, SKIN_COUNT> skins;
    int personality = 0;    // robots: 1..4
};
struct PlanInputs {
    int demo_riders = 0;         // riders of the demo being played (0: none)
    bool practice = false;       // robots use the test personality
    std::string player_number = "999";
    std::string player_bike;     // the selected bike
    std::array<std::string, SKIN_COUNT> player_skins;
};
// Clears every "1" after the first and chooses the viewed slot: the first
// non-empty code (or slot 0), then the human's slot when there is one.
int settle_start_list(StartList& list);
// Slot plans from a settled start list and the shuffled roster.
std::array<SlotPlan, SLOT_COUNT> plan_slots(const StartList& list, const std::array<int, ROSTER_SIZE>& order,
                                            const PlanInputs& in);

// Starting-gate part as the timing-gates file gives it.
struct GatePart {
    float x = 0, y = 0, z = 0;
    float angle = 0;  // facing, radians
};
struct StartPlace {
    float x, z, angle;
};
// Place number k: behind gate k mod G in row k div G; with no starting gate
// the riders stand in a line from the middle of the track.
StartPlace start_place(int k, const std::vector<GatePart>& gates, float extent);
// Server races: the local rider with race place `place` (-1: none, stands at
// gate 0), and the n-th other rider, numbered after the gates.
StartPlace server_start_place(int place, const std::vector<GatePart>& gates, float extent);
StartPlace server_other_place(int n, int local_place, const std::vector<GatePart>& gates, float extent);

// The grid of colliding track objects, by their horizontal bounding circles,
// so a bike is tested only against the objects near it.
struct ObjectBounds {
    float x = 0, z = 0, radius = 0;
};
struct ObjectGrid {
    int cells = 0;            // per side
    float cell_size = 0;
    std::vector<std::vector<int>> buckets;  // cells * cells, object indices ascending
};
inline constexpr float OBJECT_GRID_CELL = 16;
ObjectGrid build_object_grid(const std::vector<ObjectBounds>& objects, float extent, float cell = OBJECT_GRID_CELL);
// Objects whose cells the circle (x, z, radius) touches, ascending, no repeats.
void objects_near(const ObjectGrid& g, float x, float z, float radius, std::vector<int>& out);

// The track digest, absorbed during loading in this order: the scanned files,
// then "/timing_gates", then "/statues", then every distinct model file of the
// track objects in object order. A missing file contributes nothing.
inline constexpr const char* DIGEST_SCAN_FILES[6] = {"/terrain.hf", "/terrain.png", "/texturelist",
                                                     "/tilemap", "/tileinfo", "/nofrills.js"};
using ReadWholeFile = std::function<bool(const std::string& path, std::string& bytes)>;
void digest_file(Ripemd160& d, const std::string& path, const ReadWholeFile& read);
void digest_models(Ripemd160& d, const std::vector<std::string>& models_in_object_order, const ReadWholeFile& read);
// The whole digest at once (what a same-track reload keeps).
Digest160 track_digest(const std::string& track, const std::vector<std::string>& models, const ReadWholeFile& read);

// ===========================================================================
// reset_track: every race starts here.

// The loaded track: lives from one load to the next.
struct TrackState {
    std::string dir;              // empty: no track loaded
    Digest160 digest{};
    float extent = 0;             // filled by the terrain load
    std::vector<GatePart> gates;  // filled by the timing-gates reader
    ObjectGrid grid;
};

struct ResetRequest {
    const StartList* start_list = nullptr;  // none: a time trial
    bool playback = false;
    bool record = false;
    int race_length_tics = 0;
    int laps = 0;
    int skill = 0;                   // 0..2: lines_novice, lines_amateur, lines_expert
    uint32_t seed = 0;               // the game passes the calendar time in seconds
    bool force_reload = false;
    bool server_race = false;
    int server_gate_drop_tic = 0;
    std::string server_track;
    int local_place = -1;            // server race place of this computer, -1 none
    PlanInputs plan;
};

// What the reset asks of other modules, in the order it asks. Unset hooks do
// nothing; load_terrain unset counts as success.
struct ResetHooks {
    std::function<void(const char* text)> show_status;
    std::function<void(const char* line)> log;
    std::function<void()> save_series_result;
    std::function<void()> write_lines;          // learned lines of the track being left
    std::function<void()> finish_recording;
    std::function<void()> close_playback;
    std::function<void(int slot, Bike* bike)> destroy_bike;  // and its sound voice
    std::function<bool(std::string& track)> demo_track;      // the demo's track when it can be read
    std::function<std::string()> selected_track;             // the track menu's choice
    std::function<void()> stop_script;                       // and the track's emitters and particles
    std::function<void()> free_track;
    ReadWholeFile read;                                      // for the digest
    std::function<bool(TrackState&)> load_terrain;           // lighting and terrain; sets extent
    std::function<void(TrackState&)> load_timing_gates;      // fills gates
    std::function<void()> create_roost_pool;
    std::function<void()> load_flaggers;
    std::function<void()> load_billboards;
    std::function<void()> load_statues;
    std::function<void()> load_map;                          // and the editor, when enabled
    std::function<std::vector<ObjectBounds>()> object_bounds;     // colliding track objects
    std::function<std::vector<std::string>()> object_models;      // model file of every object
    std::function<void()> load_cameras;
    std::function<void(int skill)> read_lines;
    std::function<Bike*(int slot, const SlotPlan& plan)> create_bike;
    // Resets the bike and puts it at (x, y, z) turned by angle about +y.
    std::function<void(int slot, float x, float y, float z, float angle)> place_bike;
    std::function<float(float x, float z)> ground_height;
    std::function<bool(int slot)> intersects_ground;
    std::function<Vec3(int slot)> bike_position;
    std::function<void(int slot, const SlotPlan& plan)> configure_bike;  // assists, personality, names
    std::function<void()> start_recording;
    std::function<void()> after_bikes;       // roost pool, line statistics, script, texture report
    std::function<void()> raise_gate;
    std::function<void()> start_time_trial;
    std::function<void()> settle_race;       // forced record, read-ahead, results
    std::function<int()> first_in_running_order;  // NO_SLOT when empty
    std::function<void()> finish;            // setup, watched values, camera, memory
};

// Tears down the race in `g`, loads the track when needed and starts a new
// race: `g` is replaced by a fresh record at tic 0 (38400 in a time trial).
void reset_track(std::unique_ptr<GameState>& g, TrackState& track, const ResetRequest& req, const ResetHooks& h);
// Settling: raised by 0.25 while intersecting the ground, at most this often.
inline constexpr int MAX_SETTLE_STEPS = 4096;
