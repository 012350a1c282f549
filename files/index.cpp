// The file index over the search folders and their ".saf" archives, lookups,
// and the track list.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "files/files_local.h"

namespace {

constexpr int ARCHIVE_LINE_MAX = 1023;  // bytes of a member line, "\n" included

// Run-wide: built once by build_file_index.
struct FileIndex {
    bool built = false;
    std::vector<FileIndexEntry> entries;
    std::vector<std::string> unique_names;
};
FileIndex g_index;
void (*g_tick)() = nullptr;

void tick() {
    if (g_tick) g_tick();
}

bool entry_less(const FileIndexEntry& a, const FileIndexEntry& b) {
    int c = compare_names(a.name, b.name);
    return c != 0 ? c < 0 : a.source < b.source;
}

bool ends_with_ci(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (tolower((unsigned char)s[s.size() - n + i]) != tolower((unsigned char)suffix[i]))
            return false;
    return true;
}

// Walks one folder recursively; `visited` guards against link loops.
void walk(const std::string& root, const std::string& dir, int source,
          std::set<std::pair<dev_t, ino_t>>& visited) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    tick();
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        std::string path = dir + (dir.back() == '/' ? "" : "/") + e->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (visited.insert({st.st_dev, st.st_ino}).second) walk(root, path, source, visited);
        } else if (S_ISREG(st.st_mode)) {
            FileIndexEntry entry;
            entry.container = path;
            entry.name = path.substr(root.size());
            entry.size = (int32_t)std::min<long long>(st.st_size, STREAM_UNLIMITED);
            entry.source = source;
            g_index.entries.push_back(std::move(entry));
        }
    }
    closedir(d);
}

// Reads one header line (at most ARCHIVE_LINE_MAX bytes including "\n");
// false when it lacks its "\n".
bool read_header_line(FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((int)line.size() < ARCHIVE_LINE_MAX && (c = getc(f)) != EOF) {
        line += (char)c;
        if (c == '\n') return true;
    }
    return false;
}

void read_archive(const FileIndexEntry& archive, int source) {
    tick();
    FILE* f = fopen(archive.container.c_str(), "rb");
    if (!f) return;
    struct stat st;
    std::vector<ArchiveMember> members;
    bool ok = fstat(fileno(f), &st) == 0 &&
              read_archive_header(f, st.st_size, archive.container.c_str(), members);
    fclose(f);
    if (!ok) return;
    for (ArchiveMember& m : members) {
        FileIndexEntry e;
        e.container = archive.container;
        e.name = std::move(m.name);
        e.offset = m.offset;
        e.size = m.size;
        e.source = source;
        g_index.entries.push_back(std::move(e));
    }
}

}  // namespace

int compare_names(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : (unsigned char)c; };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++) {
        int x = lower(a[i]), y = lower(b[i]);
        if (x != y) return x - y;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool read_archive_header(FILE* f, int64_t file_size, const char* archive_name,
                         std::vector<ArchiveMember>& members) {
    members.clear();
    std::vector<int64_t> sizes;
    int64_t header = 0;
    std::string line;
    const char* problem = nullptr;
    for (;;) {
        if (!read_header_line(f, line)) {
            problem = "a header line without its end";
            break;
        }
        header += (int64_t)line.size();
        if (line == "-\n") break;
        const char* start = line.c_str();
        char* end = nullptr;
        errno = 0;
        long long size = strtoll(start, &end, 10);
        size_t sep = (size_t)(end - start);
        if (end == start || sep + 2 >= line.size()) {
            problem = "a member line without size and name";
            break;
        }
        if (size < 0 || errno == ERANGE || size > STREAM_UNLIMITED) {
            problem = "a member size out of range";
            break;
        }
        std::string name = collapse_slashes(line.substr(sep + 1, line.size() - sep - 2));
        if (name.find('\0') != std::string::npos) {
            problem = "a member name with a NUL byte";
            break;
        }
        members.push_back({std::move(name), 0, (int32_t)size});
        sizes.push_back(size);
    }
    int64_t offset = header;
    for (size_t i = 0; !problem && i < members.size(); i++) {
        if (offset + sizes[i] > file_size || offset > STREAM_UNLIMITED) {
            problem = "a member past the end of the archive";
            break;
        }
        members[i].offset = (int32_t)offset;
        offset += sizes[i];
    }
    if (problem) {
        con_printf("Archive '%.900s' is malformed (%s): its files are left out\n", archive_name,
                   problem);
        members.clear();
        return false;
    }
    return true;
}

const std::vector<std::string>& build_file_index() {
    if (g_index.built) return g_index.unique_names;
    g_index = FileIndex{};
    g_index.built = true;
    files_log("Listing directories\n");
    int folders = search_folder_count();
    for (int i = 0; i < folders; i++) {
        std::string root = search_folder(i);
        std::set<std::pair<dev_t, ino_t>> visited;
        struct stat st;
        if (stat(root.c_str(), &st) == 0) visited.insert({st.st_dev, st.st_ino});
        walk(root, root, i, visited);
    }
    std::stable_sort(g_index.entries.begin(), g_index.entries.end(), entry_less);
    files_log("Listing archives\n");
    int source = folders;
    std::vector<FileIndexEntry> archives;
    for (const FileIndexEntry& e : g_index.entries)
        if (e.name.size() > 4 && e.offset == 0 && ends_with_ci(e.name, ".saf")) archives.push_back(e);
    for (const FileIndexEntry& a : archives) read_archive(a, source++);
    std::stable_sort(g_index.entries.begin(), g_index.entries.end(), entry_less);
    files_log("Creating file list\n");
    for (const FileIndexEntry& e : g_index.entries)
        if (g_index.unique_names.empty() || compare_names(g_index.unique_names.back(), e.name) != 0)
            g_index.unique_names.push_back(e.name);
    files_log("File index complete\n");
    return g_index.unique_names;
}

int find_in_file_index(const char* name) {
    if (!name) return -1;
    std::string key = name;
    auto it = std::lower_bound(
        g_index.entries.begin(), g_index.entries.end(), key,
        [](const FileIndexEntry& e, const std::string& k) { return compare_names(e.name, k) < 0; });
    if (it == g_index.entries.end() || compare_names(it->name, key) != 0) return -1;
    return (int)(it - g_index.entries.begin());
}

bool file_index_contains(const char* name) { return find_in_file_index(name) >= 0; }

const FileIndexEntry* file_index_entry(int number) {
    if (number < 0 || number >= (int)g_index.entries.size()) return nullptr;
    return &g_index.entries[(size_t)number];
}

int file_index_size() { return (int)g_index.entries.size(); }

bool describe_file_index_entry(int number, char* buffer, int size) {
    const FileIndexEntry* e = file_index_entry(number);
    if (!e) return false;
    if (buffer && size > 0)
        snprintf(buffer, (size_t)size, "%s -> %s", e->name.c_str(), e->container.c_str());
    return true;
}

void free_file_index() { g_index = FileIndex{}; }

void set_file_index_tick(void (*t)()) { g_tick = t; }

std::vector<TrackListEntry> list_tracks(bool verbose) {
    std::vector<TrackListEntry> tracks;
    std::set<std::string> seen;
    for (const std::string& name : build_file_index()) {
        size_t slash = name.rfind('/');
        if (slash == std::string::npos) continue;
        std::string file = name.substr(slash);
        if (file != "/terrain.hf" && file != "/terrain.hf.gz") continue;
        std::string folder = name.substr(0, slash);
        if (!seen.insert(folder).second) continue;
        TrackListEntry t{folder, folder};
        if (DataFile* f = open_data_file(("@" + folder + "/desc").c_str(), "rb")) {
            std::string first;
            int c;
            while ((c = read_data_char(f)) > 0 && c != '\n' && c != '\r' && first.size() < 1023)
                first += (char)c;
            close_data_file(f);
            t.display_name = first;
        }
        tracks.push_back(std::move(t));
    }
    std::stable_sort(tracks.begin(), tracks.end(), [](const auto& a, const auto& b) {
        return compare_names(a.display_name, b.display_name) < 0;
    });
    if (verbose)
        for (const TrackListEntry& t : tracks)
            files_log("%s -> %s\n", t.folder.c_str(), t.display_name.c_str());
    return tracks;
}
