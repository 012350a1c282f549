// Search folders, opening by "@" name or path, reading (plain and gzip),
// writing, backups and safe replacement.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "files/files_local.h"

#ifndef RUTLINE_INSTALLED_DATA_DIR
#define RUTLINE_INSTALLED_DATA_DIR "/usr/local/share/rutline"
#endif

namespace {

constexpr int MAX_JOINED_PATH = 511;  // folder + "@" rest is cut to this
constexpr int BACKUP_PATH_LIMIT = 1000;
constexpr int MAX_BACKUPS = 9999;

// Run-wide: the search folders, computed on first use.
struct Folders {
    bool computed = false;
    bool home_known = false;
    std::vector<std::string> list;
};
Folders g_folders;
std::string g_installed = RUTLINE_INSTALLED_DATA_DIR;
long long g_fail_after = -1;  // simulated full disk, −1 off
void (*g_log)(const char*) = nullptr;

bool is_dir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string as_folder(std::string p) {
    p = collapse_slashes(p + "/");
    return p;
}

std::string find_home() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return as_folder(std::string(xdg) + "/Rutline");
    const char* home = getenv("HOME");
    if (home && home[0] == '/') return as_folder(std::string(home) + "/.local/share/Rutline");
    return "";
}

std::string find_data() {
    const char* qz = getenv("QZ_HOME");
    if (qz && qz[0]) return as_folder(qz);
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || n >= (ssize_t)sizeof buf) return "";
    std::string exe(buf, (size_t)n);
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return "";
    return as_folder(exe.substr(0, slash));
}

void compute_folders() {
    if (g_folders.computed) return;
    g_folders = Folders{};
    g_folders.computed = true;
    std::string home = find_home();
    if (!home.empty()) {
        g_folders.list.push_back(home);
        g_folders.home_known = true;
    }
    std::string data = find_data();
    if (!data.empty()) g_folders.list.push_back(data);
    if (!g_installed.empty()) {
        std::string inst = as_folder(g_installed);
        if (is_dir(inst) && std::find(g_folders.list.begin(), g_folders.list.end(), inst) ==
                                g_folders.list.end())
            g_folders.list.push_back(inst);
    }
}

bool is_write_mode(const char* mode) {
    return !strchr(mode, 'r') || strchr(mode, '+');
}

// --- gzip ------------------------------------------------------------------

// Reads the next compressed block into the input buffer; false at the end
// of the stored data.
bool refill_input(DataFile* f) {
    int32_t left = f->compressed_length - f->compressed_consumed;
    int want = std::min<int32_t>(GZ_INPUT_BLOCK, left);
    if (want <= 0) return false;
    size_t got = fread(f->input, 1, (size_t)want, f->file);
    if (got == 0) return false;
    f->compressed_consumed += (int32_t)got;
    f->inflater.next_in = f->input;
    f->inflater.avail_in = (uInt)got;
    return true;
}

// Parses the gzip header at the start of the first block; returns the
// header's length or −1.
int parse_gzip_header(const unsigned char* p, int n) {
    if (n < 10 || p[0] != 31 || p[1] != 139 || p[2] != 8 || p[3] >= 32) return -1;
    int flags = p[3];
    int at = 10;
    if (flags & 4) {
        if (at + 2 > n) return -1;
        at += 2 + (p[at] | p[at + 1] << 8);
    }
    for (int flag : {8, 16}) {
        if (!(flags & flag)) continue;
        while (at < n && p[at]) at++;
        if (at >= n) return -1;
        at++;
    }
    if (flags & 2) at += 2;
    return at <= n ? at : -1;
}

bool start_inflater(DataFile* f) {
    f->compressed_length = f->length;
    f->length = STREAM_UNLIMITED;
    f->compressed_consumed = 0;
    f->compressed = true;
    if (!refill_input(f)) return false;
    int header = parse_gzip_header(f->input, (int)f->inflater.avail_in);
    if (header < 0) return false;
    f->inflater.next_in = f->input + header;
    f->inflater.avail_in -= (uInt)header;
    if (inflateInit2(&f->inflater, -15) != Z_OK) return false;
    f->crc = crc32(0, Z_NULL, 0);
    f->inflater_started = true;
    return true;
}

// After the deflate data: the gzip trailer's CRC-32 and length must match
// what was inflated, so a damaged stream is reported.
void check_trailer(DataFile* f) {
    unsigned char t[8];
    int got = 0;
    while (got < 8) {
        if (f->inflater.avail_in == 0 && !refill_input(f)) break;
        int n = std::min<int>(8 - got, (int)f->inflater.avail_in);
        memcpy(t + got, f->inflater.next_in, (size_t)n);
        f->inflater.next_in += n;
        f->inflater.avail_in -= (uInt)n;
        got += n;
    }
    auto le32 = [&](int at) {
        return (uLong)t[at] | (uLong)t[at + 1] << 8 | (uLong)t[at + 2] << 16 | (uLong)t[at + 3] << 24;
    };
    if (got < 8) {
        con_printf("Compressed data in '%.900s' ends early\n", f->name.c_str());
        f->failed = true;
    } else if (le32(0) != f->crc || le32(4) != (f->inflater.total_out & 0xffffffffUL)) {
        con_printf("Compressed data in '%.900s' is corrupt\n", f->name.c_str());
        f->failed = true;
    }
}

// Fills the output window; false when the stream has ended.
bool fill_window(DataFile* f) {
    f->window_pos = f->window_len = 0;
    while (!f->at_end && f->window_len == 0) {
        if (f->inflater.avail_in == 0 && !refill_input(f)) {
            con_printf("Compressed data in '%.900s' ends early\n", f->name.c_str());
            f->at_end = f->failed = true;
            break;
        }
        f->inflater.next_out = f->window;
        f->inflater.avail_out = GZ_OUTPUT_WINDOW;
        int r = inflate(&f->inflater, Z_NO_FLUSH);
        f->window_len = GZ_OUTPUT_WINDOW - (int)f->inflater.avail_out;
        f->crc = crc32(f->crc, f->window, (uInt)f->window_len);
        if (r == Z_STREAM_END) {
            f->at_end = true;
            check_trailer(f);
        } else if (r != Z_OK && r != Z_BUF_ERROR) {
            con_printf("Compressed data in '%.900s' is corrupt\n", f->name.c_str());
            f->at_end = f->failed = true;
        }
    }
    return f->window_len > 0;
}

// --- raw reads ---------------------------------------------------------------

int read_raw(DataFile* f, unsigned char* out, int count) {
    if (count <= 0) return 0;
    if (f->compressed) {
        int done = 0;
        while (done < count) {
            if (f->window_pos >= f->window_len && !fill_window(f)) break;
            int n = std::min(count - done, f->window_len - f->window_pos);
            memcpy(out + done, f->window + f->window_pos, (size_t)n);
            f->window_pos += n;
            done += n;
        }
        return done;
    }
    int n = std::min<int32_t>(count, f->length - f->position);
    if (n <= 0) return 0;
    size_t got = fread(out, 1, (size_t)n, f->file);
    if (got < (size_t)n && ferror(f->file)) f->failed = true;
    return (int)got;
}

// --- opening -----------------------------------------------------------------

DataFile* open_gz_path(const std::string& path, const char* mode) {
    FILE* fp = fopen((path + ".gz").c_str(), mode);
    if (!fp) return nullptr;
    return open_data_stream(fp, (path + ".gz").c_str(), 0, STREAM_UNLIMITED, true);
}

// Copies path to the first free "path.~N~"; false when that fails.
bool make_backup(const std::string& path) {
    FILE* in = fopen(path.c_str(), "rb");
    if (!in) return false;
    std::string backup;
    for (int i = 1; i <= MAX_BACKUPS && backup.empty(); i++) {
        std::string candidate = path + ".~" + std::to_string(i) + "~";
        if (access(candidate.c_str(), F_OK) != 0) backup = candidate;
    }
    FILE* out = backup.empty() ? nullptr : fopen(backup.c_str(), "wb");
    bool ok = out != nullptr;
    std::vector<char> block(65536);
    while (ok) {
        size_t n = fread(block.data(), 1, block.size(), in);
        if (n == 0) break;
        ok = fwrite(block.data(), 1, n, out) == n;
    }
    ok = ok && !ferror(in);
    fclose(in);
    if (out && fclose(out) != 0) ok = false;
    if (!ok && out) remove(backup.c_str());
    return ok;
}

DataFile* open_single_path(const std::string& path, const char* mode) {
    bool backup = mode[0] == '~';
    if (backup) mode++;
    if (is_write_mode(mode)) {
        if (path.size() < 1024) make_folders_along(path);
        if (backup && path.size() <= BACKUP_PATH_LIMIT && access(path.c_str(), F_OK) == 0 &&
            !make_backup(path))
            return nullptr;
        FILE* fp = fopen(path.c_str(), mode);
        return fp ? open_data_stream(fp, path.c_str(), 0, STREAM_UNLIMITED, false) : nullptr;
    }
    FILE* fp = fopen(path.c_str(), mode);
    if (fp) {
        struct stat st;
        if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
            fclose(fp);
            return nullptr;
        }
        return open_data_stream(fp, path.c_str(), 0, STREAM_UNLIMITED, false);
    }
    return open_gz_path(path, mode);
}

DataFile* open_index_entry(const std::string& rest) {
    int plain = find_in_file_index(rest.c_str());
    int gz = find_in_file_index((rest + ".gz").c_str());
    const FileIndexEntry* a = file_index_entry(plain);
    const FileIndexEntry* b = file_index_entry(gz);
    const FileIndexEntry* e = a;
    if (!a || (b && b->source < a->source)) e = b;
    if (!e) return nullptr;
    FILE* fp = fopen(e->container.c_str(), "rb");
    if (!fp) return nullptr;
    if (fseek(fp, e->offset, SEEK_SET) != 0) {
        fclose(fp);
        return nullptr;
    }
    return open_data_stream(fp, e->name.c_str(), e->offset, e->size, e == b);
}

std::string join_cut(const std::string& folder, const std::string& rest) {
    std::string p = folder + rest;
    if (p.size() > MAX_JOINED_PATH) p.resize(MAX_JOINED_PATH);
    return p;
}

bool raw_write(DataFile* f, const void* bytes, size_t n) {
    if (!f || f->failed) return false;
    if (g_fail_after >= 0) {
        if ((long long)n > g_fail_after) {
            g_fail_after = 0;
            f->failed = true;
            return false;
        }
        g_fail_after -= (long long)n;
    }
    if (fwrite(bytes, 1, n, f->file) != n) f->failed = true;
    return !f->failed;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string collapse_slashes(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/') out += c;
    return out;
}

bool clean_data_name(const char* rest, std::string& out) {
    std::string name = collapse_slashes(rest);
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    if (name.empty()) return false;
    out = name;
    return true;
}

void make_folders_along(const std::string& path) {
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/' && path[i - 1] != '/') mkdir(path.substr(0, i).c_str(), 0777);
}

void files_log(const char* fmt, ...) {
    if (!g_log) return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    g_log(buf);
}

void set_files_log(void (*log)(const char*)) { g_log = log; }
void simulate_write_failure_after(long long bytes) { g_fail_after = bytes; }
void set_installed_data_folder(const char* folder) { g_installed = folder ? folder : ""; }

const char* search_folder(int i) {
    compute_folders();
    if (i < 0 || i >= (int)g_folders.list.size()) return nullptr;
    return g_folders.list[(size_t)i].c_str();
}

int search_folder_count() {
    compute_folders();
    return (int)g_folders.list.size();
}

std::string home_folder() {
    compute_folders();
    return g_folders.home_known ? g_folders.list[0] : std::string();
}

void reset_search_folders() {
    free_file_index();
    g_folders = Folders{};
}

DataFile* open_data_stream(FILE* fp, const char* name, int32_t offset, int32_t length,
                           bool compressed) {
    DataFile* f = new DataFile;
    f->file = fp;
    f->name = name;
    f->offset = offset;
    f->length = length;
    if (compressed && !start_inflater(f)) {
        close_data_file(f);
        return nullptr;
    }
    return f;
}

DataFile* open_memory_data_file(const void* bytes, size_t size, bool compressed) {
    if (size > (size_t)STREAM_UNLIMITED || (!bytes && size)) return nullptr;
    DataFile* f = new DataFile;
    f->name = "memory";
    f->length = (int32_t)size;
    f->memory.assign(size ? (const char*)bytes : "", size);
    if (f->memory.empty()) f->memory.push_back('\0');  // fmemopen wants a buffer
    f->file = fmemopen(f->memory.data(), f->memory.size(), "rb");
    if (!f->file || (compressed && !start_inflater(f))) {
        close_data_file(f);
        return nullptr;
    }
    return f;
}

DataFile* open_data_file(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    if (name[0] != '@') return open_single_path(name, mode);
    std::string rest;
    if (!clean_data_name(name + 1, rest)) {
        con_printf("Refusing file name '%.900s'\n", name);
        return nullptr;
    }
    for (int i = 0; const char* folder = search_folder(i); i++)
        if (DataFile* f = open_single_path(join_cut(folder, rest), mode)) return f;
    const char* m = mode[0] == '~' ? mode + 1 : mode;
    if (is_write_mode(m)) return nullptr;
    return open_index_entry(rest);
}

void close_data_file(DataFile* f) {
    if (!f) return;
    if (f->inflater_started) inflateEnd(&f->inflater);
    if (f->file) fclose(f->file);
    if (!f->temp_path.empty()) remove(f->temp_path.c_str());
    delete f;
}

int read_data_char(DataFile* f) {
    if (!f) return -1;
    if (f->pushback >= 0) {
        int c = f->pushback;
        f->pushback = -1;
        f->position++;
        return c;
    }
    int c;
    if (f->compressed) {
        if (f->window_pos >= f->window_len && !fill_window(f)) return -1;
        c = f->window[f->window_pos++];
    } else {
        // The scanner reads byte by byte: skip fread's per-call overhead.
        if (f->position >= f->length) return -1;
        c = getc_unlocked(f->file);
        if (c == EOF) {
            if (ferror(f->file)) f->failed = true;
            return -1;
        }
    }
    f->position++;
    return c;
}

// Puts one character back (the scanner's look-ahead).
void unread_data_char(DataFile* f, int c) {
    if (c < 0 || f->pushback >= 0) return;
    f->pushback = c;
    f->position--;
}

char* read_data_line(DataFile* f, char* buffer, int size) {
    if (!f || !buffer || size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = read_data_char(f);
        if (c < 0) break;
        buffer[n++] = (char)c;
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n ? buffer : nullptr;
}

int read_data_bytes(DataFile* f, void* buffer, int count) {
    if (!f || !buffer || count <= 0) return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int done = 0;
    if (f->pushback >= 0) {
        out[done++] = (unsigned char)read_data_char(f);
    }
    int n = read_raw(f, out + done, count - done);
    f->position += n;
    return done + n;
}

bool seek_data_file(DataFile* f, int position) {
    if (!f || f->compressed || position < 0 || position >= f->length) return false;
    if (fseek(f->file, (long)f->offset + position, SEEK_SET) != 0) return false;
    f->position = position;
    f->pushback = -1;
    return true;
}

bool write_data_char(DataFile* f, int c) {
    unsigned char b = (unsigned char)c;
    return raw_write(f, &b, 1);
}

bool write_data_text(DataFile* f, const char* text) {
    return text && raw_write(f, text, strlen(text));
}

bool write_data_bytes(DataFile* f, const void* bytes, int count) {
    return count >= 0 && raw_write(f, bytes, (size_t)count);
}

bool print_data_file(DataFile* f, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char small[1024];
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    bool ok;
    if (n < 0) {
        ok = false;
    } else if (n < (int)sizeof small) {
        ok = raw_write(f, small, (size_t)n);
    } else {
        std::string big((size_t)n + 1, '\0');
        vsnprintf(big.data(), big.size(), format, ap);
        ok = raw_write(f, big.data(), (size_t)n);
    }
    va_end(ap);
    return ok;
}

bool flush_data_file(DataFile* f) {
    if (!f || f->failed) return false;
    if (fflush(f->file) != 0) f->failed = true;
    return !f->failed;
}

bool data_file_failed(const DataFile* f) { return !f || f->failed; }

// --- replacement ---------------------------------------------------------------

namespace {

DataFile* open_temp_beside(const std::string& target) {
    make_folders_along(target);
    std::string temp = target + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return nullptr;
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* fp = fdopen(fd, "wb");
    if (!fp) {
        close(fd);
        remove(temp.c_str());
        return nullptr;
    }
    DataFile* f = open_data_stream(fp, target.c_str(), 0, STREAM_UNLIMITED, false);
    f->temp_path = temp;
    f->target_path = target;
    return f;
}

}  // namespace

DataFile* open_replacement_file(const char* name) {
    if (!name) return nullptr;
    if (name[0] != '@') return open_temp_beside(name);
    std::string rest;
    if (!clean_data_name(name + 1, rest)) {
        con_printf("Refusing file name '%.900s'\n", name);
        return nullptr;
    }
    for (int i = 0; const char* folder = search_folder(i); i++)
        if (DataFile* f = open_temp_beside(join_cut(folder, rest))) return f;
    return nullptr;
}

bool commit_replacement_file(DataFile* f) {
    if (!f) return false;
    bool ok = !f->failed && f->file && fflush(f->file) == 0 && fsync(fileno(f->file)) == 0;
    if (fclose(f->file) != 0) ok = false;
    f->file = nullptr;
    if (ok && rename(f->temp_path.c_str(), f->target_path.c_str()) != 0) ok = false;
    if (ok) f->temp_path.clear();  // renamed: nothing left to remove
    else con_printf("Can't write '%.900s'\n", f->target_path.c_str());
    close_data_file(f);
    return ok;
}

bool replace_file_contents(const char* name, const std::string& contents) {
    DataFile* f = open_replacement_file(name);
    if (!f) {
        con_printf("Can't write '%.900s'\n", name ? name : "");
        return false;
    }
    write_data_bytes(f, contents.data(), (int)contents.size());
    return commit_replacement_file(f);
}

std::optional<std::string> file_to_string(const char* name) {
    DataFile* f = open_data_file(name, "rb");
    if (!f) return std::nullopt;
    std::string s;
    char block[65536];
    while ((int)s.size() < FILE_TO_STRING_CAP) {
        int want = std::min<int>((int)sizeof block, FILE_TO_STRING_CAP - (int)s.size());
        int n = read_data_bytes(f, block, want);
        if (n <= 0) break;
        s.append(block, (size_t)n);
    }
    close_data_file(f);
    if ((int)s.size() >= FILE_TO_STRING_CAP) {
        con_printf("File %.900s too long for file_to_string\n", name);
        return std::nullopt;
    }
    return s;
}

bool rename_data_file(const char* from, const char* to) {
    auto resolve = [](const char* n, std::string& out) {
        if (n[0] != '@') {
            out = n;
            return true;
        }
        std::string rest, home = home_folder();
        if (home.empty() || !clean_data_name(n + 1, rest)) return false;
        out = join_cut(home, rest);
        return true;
    };
    std::string a, b;
    if (!from || !to || !resolve(from, a) || !resolve(to, b)) return false;
    return rename(a.c_str(), b.c_str()) == 0;
}

std::string prepare_home_folder() {
    std::string home = home_folder();
    if (home.empty() || home.size() > 1023) return "";
    make_folders_along(home);
    return home + "lastlog.txt";
}

void tune_process_memory() {
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    unsigned long long bytes = pages > 0 && page > 0 ? (unsigned long long)pages * (unsigned long long)page : 0;
    // A 32-bit count, saturated: a machine with 4 GiB or more is not "small".
    uint32_t physical = (uint32_t)std::min<unsigned long long>(bytes, 0xffffffffULL);
    if (physical < 67108864u) {
        files_log("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    uint32_t m = std::min<uint32_t>(physical, 2147483648u) - 33554432u;
    files_log("Setting working set range to %u - %u\n", std::min<uint32_t>(m, 1073741824u), m);
    // Linux keeps no per-process working-set size to request (the pages stay
    // resident unless the machine runs short), so none is asked for.
    if (setpriority(PRIO_PROCESS, 0, -10) == 0) files_log("Priority successfully set to high\n");
    else files_log("Priority set failed\n");
}
