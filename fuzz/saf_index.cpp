// Fuzz target: a ".saf" archive header; every member it accepts must lie
// inside the archive.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/files_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    copy.push_back(0);  // fmemopen wants at least one byte
    FILE* f = fmemopen(copy.data(), size ? size : 1, "rb");
    if (!f) return 0;
    std::vector<ArchiveMember> members;
    if (read_archive_header(f, (int64_t)size, "fuzz.saf", members)) {
        for (const ArchiveMember& m : members)
            if (m.size < 0 || m.offset < 0 || (int64_t)m.offset + m.size > (int64_t)size) abort();
    } else if (!members.empty()) {
        abort();
    }
    fclose(f);
    return 0;
}
