// Fuzzes the "Q6"/"Q7" decoder and builds the mip chain of what it decoded.
#include <cstdint>

#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        set_image_limits({1024, 8u << 20});
        return true;
    }();
    (void)once;
    Image img;
    if (decode_q_image(data, size, img)) build_mip_chain(img.pixels.data(), img.width, img.height, img.channels, true);
    return 0;
}
