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
// Forgets the folders, the file index and the track list, so the next use
// computes them again from the environment (tests point XDG_DATA_HOME and
// QZ_HOME at temporary folders and call this).
void reset_search_folders();

// ---------------------------------------------------------------------------
// Open streams. A name beginning with "@" is looked up through the search
// folders (plain, then ".gz", in each folder in order) and then through the
// file index (archive members); any other name is a path. Modes are fopen
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

// Start-up: creates the home folder. Returns the log file path (home folder +
// "lastlog.txt"), or "" when the home folder is unknown.
std::string prepare_home_folder();
