// Fuzz target: a gzip stream read through the data file layer, whole and
// line by line.
#include <cstdint>
#include <cstdlib>

#include "files/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DataFile* f = open_memory_data_file(data, size, true)) {
        char block[300];
        long total = 0;
        for (int n; (n = read_data_bytes(f, block, sizeof block)) > 0;) total += n;
        if (read_data_char(f) != -1) abort();  // a finished stream stays finished
        close_data_file(f);
        (void)total;
    }
    if (DataFile* f = open_memory_data_file(data, size, true)) {
        char line[64];
        while (read_data_line(f, line, sizeof line)) {
        }
        close_data_file(f);
    }
    return 0;
}
