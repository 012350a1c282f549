// The command line: the input is split at NUL bytes into arguments.
#include "core/core.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"rutline"};
    std::string cur;
    for (size_t i = 0; i < size && args.size() < 64; i++) {
        if (data[i] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += char(data[i]);
        }
    }
    if (!cur.empty()) args.push_back(cur);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    Options o;
    RenderTuning t;
    parse_options(int(argv.size()), argv.data(), o, t);
    if (t.ground_texture_reduction < 0 || t.ground_texture_reduction > 10 || o.fake_loss < 0 || o.fake_loss > 100 ||
        t.roost_frequency < 0 || t.roost_frequency > 1000 || o.fake_lag < 0 || o.fake_lag > 1 || o.erosion_rate < 0)
        __builtin_trap();
    return 0;
}
