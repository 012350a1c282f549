// Internals of the files module shared by its sources, its tests and its
// fuzz targets. Other modules include files/files.h only.
#pragma once

#include <zlib.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "files/files.h"

inline constexpr int32_t STREAM_UNLIMITED = 2147483647;
inline constexpr int GZ_INPUT_BLOCK = 16384;
inline constexpr int GZ_OUTPUT_WINDOW = 1024;

struct DataFile {
    FILE* file = nullptr;
    std::string name;                  // for messages
    int32_t offset = 0;                // where the stream's data begins in the file
    int32_t length = STREAM_UNLIMITED; // bytes that may be delivered
    int32_t position = 0;              // bytes delivered so far
    int pushback = -1;                 // one character of look-ahead
    bool compressed = false;
    int32_t compressed_length = STREAM_UNLIMITED;
    int32_t compressed_consumed = 0;
    bool at_end = false;               // compressed: the deflate data ended (or broke)
    bool failed = false;               // a read or write error happened
    bool inflater_started = false;
    uLong crc = 0;                     // CRC-32 of the bytes inflated so far
    z_stream inflater{};
    unsigned char input[GZ_INPUT_BLOCK];
    unsigned char window[GZ_OUTPUT_WINDOW];
    int window_pos = 0, window_len = 0;
    // Replacement files: the temporary file and the target it will replace.
    std::string temp_path, target_path;
    std::string memory;  // the bytes of a memory stream
};

// Wraps an open FILE* (positioned at the stream's data) in a stream; with
// `compressed` the gzip header is parsed and the inflater started, and null
// is returned (the FILE* closed) when that fails. `length` is the stored
// size of the data (STREAM_UNLIMITED for a whole plain file).
DataFile* open_data_stream(FILE* f, const char* name, int32_t offset, int32_t length,
                           bool compressed);

// Puts one character back in front of the stream (one at most).
void unread_data_char(DataFile* file, int c);
int vscan_data_file(DataFile* file, const char* format, va_list ap);

// One ".saf" member as read from an archive header.
struct ArchiveMember {
    std::string name;
    int32_t offset = 0;
    int32_t size = 0;
};
// Reads an archive header from f (at its start). file_size is the archive's
// byte length; a member that would lie outside it makes the archive
// malformed. Returns false (members cleared, a console message) when the
// header is malformed.
bool read_archive_header(FILE* f, int64_t file_size, const char* archive_name,
                         std::vector<ArchiveMember>& members);

// Collapses runs of "/" into one.
std::string collapse_slashes(const std::string& path);
// An "@" name's rest made relative and checked: false when it would leave
// the search folders (an empty name or a ".." component).
bool clean_data_name(const char* rest, std::string& out);
int compare_names(const std::string& a, const std::string& b);  // case-insensitive
void files_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Creates every missing folder along path (each prefix ending before a "/").
void make_folders_along(const std::string& path);

// Test hooks: every write after `bytes` more bytes fails as on a full disk
// (−1 turns the simulation off); the installed data folder used when the
// search folders are next computed ("" for none).
void simulate_write_failure_after(long long bytes);
void set_installed_data_folder(const char* folder);
