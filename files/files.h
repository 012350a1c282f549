// Files and settings: the search folders (home folder, data folder, installed
// data folder), the file index over them and their ".saf" archives, the one
// stream type every data file is read and written through (with transparent
// gzip, a scanf-style scanner and a printf-style writer), safe replacement of
// files, the track list, and the "config" file with its settings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/common.h"
#include "input/input.h"

// ---------------------------------------------------------------------------
// Search folders. Computed on first use, each ending in "/", in this order:
//   0. the home folder: $XDG_DATA_HOME/Rutline/ (~/.local/share/Rutline/ when
//      XDG_DATA_HOME is unset or relative);
//   1. the data folder: $QZ_HOME/ when set, else the executable's folder;
//   2. the installed data folder, when it exists.
// A folder that cannot be determined is left out and the list stays dense.
// Lower folder numbers win. Run-wide state.
const char* search_folder(int i);  // null past the end
int search_folder_count();
std::string home_folder();         // "" when the home folder is unknown
// Forgets the folders and the file index, so the next use
// computes them again from the environment (tests point XDG_DATA_HOME and
// QZ_HOME at temporary folders and call this).
void reset_search_folders();

// ---------------------------------------------------------------------------
// Open streams. A name beginning with "@" is looked up through the search
// folders (plain, then ".gz", in each folder in order) and then through the
// file index (archive members); any other name is a path. An "@" name with
// a ".." component is refused, so it never leaves the folders. Modes are fopen
// modes; a mode that starts with "~" keeps a numbered backup ("name.~1~" …)
// of a file it replaces. Writes never compress.
struct DataFile;
using data_file = DataFile;

DataFile* open_data_file(const char* name, const char* mode);
void close_data_file(DataFile* file);  // also abandons an uncommitted replacement
int read_data_char(DataFile* file);    // 0..255, −1 at the end
// Like fgets: at most size − 1 bytes, stops after "\n"; null when nothing was
// read before the end.
char* read_data_line(DataFile* file, char* buffer, int size);
int read_data_bytes(DataFile* file, void* buffer, int count);  // bytes read
// The scanner: whitespace in the format skips any whitespace; "%d %i %o %x
// %f %s %c %[set] %n %%" with "*", widths and the size letters h, l, ll, L.
// Numbers saturate instead of overflowing. Returns the values assigned, or −1
// when the input ends before the first conversion.
[[gnu::format(scanf, 2, 3)]] int scan_data_file(DataFile* file, const char* format, ...);
// Only for uncompressed streams and positions below the stream's length.
bool seek_data_file(DataFile* file, int position);
bool write_data_char(DataFile* file, int c);
bool write_data_text(DataFile* file, const char* text);
bool write_data_bytes(DataFile* file, const void* bytes, int count);
[[gnu::format(printf, 2, 3)]] bool print_data_file(DataFile* file, const char* format, ...);
bool flush_data_file(DataFile* file);
bool data_file_failed(const DataFile* file);  // a read or write error happened

// Replacing a file safely: the data goes to a temporary file in the target's
// folder, which commit_replacement_file renames over the target only when
// every write succeeded. The old file stays intact until then, and whatever
// goes wrong (a full disk, a failed rename) leaves it as it was.
// An "@" name lands in the first search folder that accepts the temporary
// file (normally the home folder); missing folders are created.
DataFile* open_replacement_file(const char* name);
bool commit_replacement_file(DataFile* file);  // always frees the handle
// Writes a whole file through the above.
bool replace_file_contents(const char* name, const std::string& contents);

// The whole file as a string; files of 16 MiB (16777216 bytes) or more are
// refused with a message.
inline constexpr int FILE_TO_STRING_CAP = 16777216;
std::optional<std::string> file_to_string(const char* name);

// Renames with "@" names resolved to the home folder; the target is replaced
// in one step (never deleted first).
bool rename_data_file(const char* from, const char* to);

// ---------------------------------------------------------------------------
// The file index: every file in the search folders and in the ".saf" archives
// found in them, sorted by name (case-insensitive) then by source number
// (search folder i is source i, archives follow in the order they are read).
// Built once per run; not refreshed when files are written later.
struct FileIndexEntry {
    std::string container;  // the real file: the file itself or its archive
    std::string name;       // lookup name relative to a folder root, e.g. tracks/foo/terrain.hf
    int32_t offset = 0;     // data offset inside the container
    int32_t size = 0;       // bytes of data
    int32_t source = 0;
};
// Builds the index on the first call; returns the unique names list (one per
// distinct name, case-insensitive, in index order).
const std::vector<std::string>& build_file_index();
int find_in_file_index(const char* name);  // entry number (lowest source) or −1
bool file_index_contains(const char* name);
const FileIndexEntry* file_index_entry(int number);  // null past the end
int file_index_size();
// "name -> container", cut to fit; false past the end.
bool describe_file_index_entry(int number, char* buffer, int size);
void free_file_index();
// Called once per folder opened and once per archive read while the index
// is built (the loading screen's tick); none by default.
void set_file_index_tick(void (*tick)());
// Where the layer's log lines go ("Listing directories" …); none by default.
void set_files_log(void (*log)(const char* text));

// ---------------------------------------------------------------------------
// Installed tracks: every folder holding "terrain.hf" or "terrain.hf.gz",
// named by the first line of its "desc" file (else the folder name), sorted
// by display name. Empty when there is no track.
struct TrackListEntry {
    std::string folder;        // e.g. tracks/veviredoze, opened as "@" + folder + "/terrain.hf"
    std::string display_name;
};
std::vector<TrackListEntry> list_tracks(bool verbose = false);

// After a track load: logs the physical memory and the working-set range it
// allows, and asks for a higher process priority (logging the outcome).
void tune_process_memory();

// Start-up: creates the home folder. Returns the log file path (home folder +
// "lastlog.txt"), or "" when the home folder is unknown.
std::string prepare_home_folder();

// Reading text already in memory through the same stream (and scanner):
// the bytes are copied. `compressed` treats them as gzip data.
DataFile* open_memory_data_file(const void* bytes, size_t size, bool compressed = false);

// ---------------------------------------------------------------------------
// Settings. Most settings are menu items: a number item (value, step, range)
// or a list item (choice texts and the selected index). The record is plain:
// the core derives its rendering values from it, the menus edit it, and it is
// read at start-up and written at shutdown as "@config".
struct NumberItem {
    const char* label = "";
    double value = 0, step = 1, min = 0, max = 0;
};
struct ListItem {
    const char* label = "";
    std::vector<std::string> choices;
    int selected = 0;
    const char* text() const;  // the selected choice, "" when out of range
    bool select(const std::string& choice);  // first exact match; false leaves it
};

// One input binding: a key (by the platform layer's key name) or an axis (by
// its axis name, with the raw range low..high mapped to 0..1).
struct InputBinding {
    const char* key = "";      // configuration key, e.g. "throttle_key"
    const char* label = "";
    std::string key_name;      // empty: no key
    int key_code = -1;         // resolved from key_name at start-up
    float value = 0;           // current value 0..1
    std::string axis_name;     // empty: no axis
    int axis_handle = -1;      // the platform's open axis, −1 none
    float low = 0, high = 1;
    int control = -1;          // ControlIndex it drives, −1 for the other keys
    float sign = 1;            // +1 or −1 into its control
    bool is_axis() const { return !axis_name.empty(); }
    bool is_bound() const { return !key_name.empty() || !axis_name.empty(); }
};

enum BindingIndex {
    BIND_THROTTLE, BIND_FRONT_BRAKE, BIND_REAR_BRAKE, BIND_LEFT, BIND_RIGHT, BIND_CLUTCH,
    BIND_UPSHIFT, BIND_DOWNSHIFT, BIND_DAB, BIND_BACK_UP, BIND_LEAN_FORWARD,
    BIND_LEAN_BACKWARD, BIND_PAUSE, BIND_STEP, BIND_REWIND, BIND_SKIP, BIND_PREV, BIND_NEXT,
    BIND_CONSOLE, BIND_SCREENSHOT, BINDING_COUNT
};
inline constexpr int RIDING_BINDING_COUNT = BIND_PAUSE;  // the first 12 drive controls
inline constexpr int GATE_COUNT = 40;
inline constexpr int SERVER_HISTORY_COUNT = 16;
inline constexpr int SERVER_NAME_CHARS = 31;       // stored in a 32-character field
inline constexpr int SERVER_HISTORY_CHARS = 126;   // longer history entries are refused

struct Config {
    int xres = 640, yres = 480;  // windowed size, 64..16384
    int draw_fps = 0, draw_time = 0, draw_ping = 1, draw_speed = 0, spy = 0;
    std::string track = "veviredoze";
    ListItem record, skill;
    NumberItem minutes, laps;
    std::array<ListItem, GATE_COUNT> slots;  // "Gate 1" … "Gate 40"
    NumberItem ghost_fade_distance;
    ListItem time_trial_abort;
    ListItem video_mode;  // the core appends "%dx%d" modes before reading
    std::string server_name;
    std::array<std::string, SERVER_HISTORY_COUNT> server_name_hist;  // most recent first
    NumberItem ground_detail, ground_texture_detail;
    ListItem ground_texture_dim, ground_mipmaps, texture_compress, render_texture, use_shader;
    NumberItem roost_density, reshade_delay;
    ListItem lens_flare, reflections, hide_rider, rigid_camera;
    NumberItem model_detail, model_texture_detail, fov;
    NumberItem first_person_height, first_person_angle, first_person_gimbal;
    NumberItem third_person_height, third_person_distance, volume, comp_volume;
    ListItem playback_mode;
    int billboard_optimize_lookahead = 8, message_lines = 5, demo_backups = 0;  // ≥ 0
    double map_scale = 1.0;  // 0.125..8
    std::array<InputBinding, BINDING_COUNT> bindings;
};

// The settings in force before the file is read (graphics preset 0 applied).
Config default_config();

// The rider setup's lines live in the same file; the setup module supplies
// them through these (either may be null).
struct ConfigHooks {
    bool (*read_setup_line)(const char* key, const char* value) = nullptr;
    std::string (*write_setup)() = nullptr;  // "key=value\n" lines
};

// Reads "@config"; a missing file leaves everything as it was. Out-of-range
// numbers clamp; unknown keys and unmatched choices are ignored.
bool read_config(Config& config, const ConfigHooks& hooks = {});
void read_config_from(DataFile* file, Config& config, const ConfigHooks& hooks = {});
// Writes "@config" through a temporary file, so a failed write keeps the
// previous file.
bool write_config(const Config& config, const ConfigHooks& hooks = {});
std::string format_config(const Config& config, const ConfigHooks& hooks = {});

void parse_binding(InputBinding& binding, const char* text);
// "name=(k)key\n", "name=(low,high)axis\n", or "name=\n" for an unbound control.
std::string format_binding(const char* name, const InputBinding& binding);
// What a binding row shows: the key name; the axis name with " (Negative)"
// when the range's high end is below 0, else " (Positive)"; "None" unbound.
std::string binding_display_text(const InputBinding& binding);
// An axis binding's value from the raw axis reading (−32768..32767):
// clamp((raw / 32768 − low) / (high − low), 0, 1); when low equals high the
// binding is a step: 1 from that value up, else 0.
float axis_binding_value(const InputBinding& binding, int raw);
// Key codes from the key names (the platform layer's names and devices).
void resolve_binding_codes(Config& config, const InputNames& names);
// Zeroes the control vector and adds each riding binding's value × sign.
void fill_control_vector(const Config& config, ControlVector& controls);

// Graphics presets: 0 Compatibility, 1 High FPS, 2 Normal, 3 High Detail.
inline constexpr int GRAPHICS_PRESET_COUNT = 4;
void apply_graphics_preset(Config& config, int preset);
int matching_graphics_preset(const Config& config);  // tested 3, 2, 1, 0; −1 for custom
const char* graphics_preset_caption(const Config& config);  // "Current Settings: …"
