// Fuzzes the PPM/PGM decoder.
#include <cstdint>

#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        set_image_limits({1024, 8u << 20});
        return true;
    }();
    (void)once;
    Image img;
    if (decode_pnm(data, size, img)) image_to_rgb8(img, 3);
    return 0;
}
