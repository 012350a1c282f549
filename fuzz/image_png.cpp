// Fuzzes the PNG decoder, and writes back what it decoded.
#include <cstdint>

#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        set_image_limits({1024, 8u << 20});
        return true;
    }();
    (void)once;
    Image img;
    if (!decode_png(data, size, img)) return 0;
    std::string out;
    const void* px = img.bit_depth == 16 ? static_cast<const void*>(img.pixels16.data()) : img.pixels.data();
    encode_png(px, img.width, img.height, img.channels, img.bit_depth, out);
    image_to_rgb8(img, 4);
    return 0;
}
