// Fuzz target: the configuration reader. Whatever it reads, the settings
// stay in range and survive being written and read again unchanged.
#include <cstdint>
#include <cstdlib>

#include "files/files.h"

namespace {
void check_ranges(const Config& c) {
    const NumberItem* items[] = {&c.minutes, &c.laps, &c.fov, &c.volume, &c.ground_detail,
                                 &c.third_person_distance, &c.first_person_height};
    for (const NumberItem* n : items)
        if (!(n->value >= n->min && n->value <= n->max)) abort();
    if (!(c.map_scale >= 0.125 && c.map_scale <= 8)) abort();
    if (c.server_name.size() > SERVER_NAME_CHARS) abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Config c = default_config();
    DataFile* f = open_memory_data_file(data, size);
    if (!f) return 0;
    read_config_from(f, c);
    close_data_file(f);
    check_ranges(c);
    std::string text = format_config(c);
    Config again = default_config();
    DataFile* g = open_memory_data_file(text.data(), text.size());
    read_config_from(g, again);
    close_data_file(g);
    if (format_config(again) != text) abort();
    return 0;
}
