// Fuzzes the "tileinfo" reader, then the older "texturelist" reader on the
// same text.
#include <cstdint>
#include <string>

#include "terrain/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    Terrain t;
    read_tileinfo(t, text);
    read_texturelist(t, text);
    return 0;
}
