// Figures for the file layer over a generated tree in a temporary folder:
// building the index, index lookups against opening by path, reading a gzip
// stream against the same bytes stored plain, and scanning numbers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/files_local.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double read_all(const char* name, int repeats, long& bytes) {
    Clock::time_point t = Clock::now();
    char block[4096];
    bytes = 0;
    for (int r = 0; r < repeats; r++) {
        DataFile* f = open_data_file(name, "rb");
        for (int n; (n = read_data_bytes(f, block, sizeof block)) > 0;) bytes += n;
        close_data_file(f);
    }
    return seconds_since(t);
}

}  // namespace

int main() {
    char pattern[] = "/tmp/rutline-files-bench-XXXXXX";
    fs::path root = mkdtemp(pattern);
    fs::path data = root / "data";
    setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
    setenv("QZ_HOME", data.c_str(), 1);
    set_installed_data_folder("");
    reset_search_folders();

    const int tracks = 50, files_per_track = 40;
    for (int t = 0; t < tracks; t++) {
        fs::path dir = data / "tracks" / ("track" + std::to_string(t));
        fs::create_directories(dir);
        for (int i = 0; i < files_per_track; i++) std::ofstream(dir / ("file" + std::to_string(i))) << "x";
    }
    Clock::time_point t0 = Clock::now();
    build_file_index();
    double build = seconds_since(t0);
    std::printf("index: %d entries built in %.3f ms\n", file_index_size(), build * 1e3);

    std::vector<std::string> names;
    for (int i = 0; i < tracks * files_per_track; i++)
        names.push_back("TRACKS/track" + std::to_string(i % tracks) + "/FILE" + std::to_string(i % files_per_track));
    const int lookups = 200000;
    t0 = Clock::now();
    int found = 0;
    for (int i = 0; i < lookups; i++) found += file_index_contains(names[(size_t)i % names.size()].c_str());
    double lookup = seconds_since(t0) / lookups;
    const int opens = 20000;
    t0 = Clock::now();
    for (int i = 0; i < opens; i++) {
        std::string name = "@tracks/track" + std::to_string(i % tracks) + "/file" + std::to_string(i % files_per_track);
        close_data_file(open_data_file(name.c_str(), "rb"));
    }
    double open = seconds_since(t0) / opens;
    std::printf("lookup: %.0f ns (%d found), open by @ name: %.0f ns, ratio %.3f\n", lookup * 1e9,
                found, open * 1e9, lookup / open);

    std::string text;
    for (int i = 0; text.size() < 8u << 20; i++) text += "[ " + std::to_string(i * 0.37) + " 1.5 -2.25 ]\n";
    std::ofstream(data / "big.txt", std::ios::binary) << text;
    std::string cmd = "gzip -c -n " + (data / "big.txt").string() + " > " + (data / "bigz.txt.gz").string();
    if (std::system(cmd.c_str()) != 0) return 1;
    long plain_bytes = 0, gz_bytes = 0;
    double plain = read_all("@big.txt", 5, plain_bytes);
    double gz = read_all("@bigz.txt", 5, gz_bytes);
    std::printf("read: plain %.1f MB/s, gzip %.1f MB/s, gzip costs %.2fx plain\n",
                plain_bytes / plain / 1e6, gz_bytes / gz / 1e6, gz / plain);

    DataFile* f = open_data_file("@big.txt", "rb");
    float v[3];
    long values = 0;
    t0 = Clock::now();
    while (scan_data_file(f, " [ %f %f %f ]", &v[0], &v[1], &v[2]) == 3) values += 3;
    double scan = seconds_since(t0);
    close_data_file(f);
    std::printf("scan: %ld reals in %.3f s, %.1f ns per real, %.2fx a plain byte read of the text\n",
                values, scan, scan / values * 1e9, scan / (plain / 5));

    reset_search_folders();
    fs::remove_all(root);
    return 0;
}
