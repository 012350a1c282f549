// Format detection, loading by name, conversion and mip-map chains.
#include "image/image.h"

#include <cstring>

#include "common/common.h"
#include "files/files.h"

namespace {

ImageLimits g_limits;  // run-wide

bool white(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

void set_image_limits(const ImageLimits& limits) { g_limits = limits; }
const ImageLimits& image_limits() { return g_limits; }

ImageFormat image_format_of(const uint8_t* data, size_t size) {
    size_t p = 0;
    while (p < size && white(data[p])) p++;
    size_t e = p;
    while (e < size && !white(data[e]) && e - p < 16) e++;
    std::string token(reinterpret_cast<const char*>(data + p), e - p);
    if (token == "Q7") return IMAGE_Q7;
    if (token == "Q6") return IMAGE_Q6;
    if (token == "P2" || token == "P3" || token == "P5" || token == "P6") return IMAGE_PNM;
    if (token == "ANIM1") return IMAGE_ANIM;
    if (token == "LINK") return IMAGE_LINK;
    return IMAGE_PNG;
}

bool decode_image(const uint8_t* data, size_t size, Image& out) {
    switch (image_format_of(data, size)) {
    case IMAGE_Q6:
    case IMAGE_Q7: return decode_q_image(data, size, out);
    case IMAGE_PNM: return decode_pnm(data, size, out);
    case IMAGE_PNG: return decode_png(data, size, out);
    default: out = Image{}; return false;
    }
}

bool load_image(const char* name, Image& out) {
    out = Image{};
    std::optional<std::string> bytes = file_to_string(name);
    if (!bytes) return false;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes->data());
    bool png = image_format_of(data, bytes->size()) == IMAGE_PNG;
    if (!decode_image(data, bytes->size(), out)) return false;
    if (png) {
        std::string info_name = std::string(name) + ".info";
        if (std::optional<std::string> extra = file_to_string(info_name.c_str())) out.info += *extra;
    }
    return true;
}

bool image_info_has(const std::string& info, const char* tag) { return info.find(tag) != std::string::npos; }

Image image_to_rgb8(const Image& img, int channels) {
    Image out;
    if (channels != 3 && channels != 4) return out;
    out.width = img.width;
    out.height = img.height;
    out.channels = channels;
    out.bit_depth = 8;
    out.info = img.info;
    size_t count = static_cast<size_t>(img.width) * img.height;
    out.pixels.assign(count * channels, 255);
    int shift = img.bit_depth == 16 ? 8 : 0;
    for (size_t k = 0; k < count; k++) {
        int in[4] = {0, 0, 0, 255};
        for (int c = 0; c < img.channels; c++) {
            size_t s = k * img.channels + c;
            in[c] = (img.bit_depth == 16 ? img.pixels16[s] : img.pixels[s]) >> shift;
        }
        int rgba[4];
        if (img.channels <= 2) rgba[0] = rgba[1] = rgba[2] = in[0], rgba[3] = img.channels == 2 ? in[1] : 255;
        else rgba[0] = in[0], rgba[1] = in[1], rgba[2] = in[2], rgba[3] = in[3];
        for (int c = 0; c < channels; c++) out.pixels[k * channels + c] = static_cast<uint8_t>(rgba[c]);
    }
    return out;
}

bool write_png(const char* name, const void* pixels, int width, int height, int channels, int bit_depth) {
    std::string bytes;
    if (!encode_png(pixels, width, height, channels, bit_depth, bytes)) return false;
    if (!replace_file_contents(name, bytes)) {
        con_printf("Can't write '%.900s'\n", name);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Mip-map chains.

size_t mip_chain_size(int width, int height, int channels) {
    size_t total = 0;
    for (;;) {
        total += static_cast<size_t>(width) * height * channels;
        if (width == 1 && height == 1) return total;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
}

// One level from the one above: each pixel from a 2 x 2 block, or a 2 x 1
// pair when the level above is one pixel wide or tall.
static void mip_level(const uint8_t* src, int sw, int sh, uint8_t* dst, int channels, bool max_alpha) {
    int dw = sw > 1 ? sw / 2 : 1, dh = sh > 1 ? sh / 2 : 1;
    int bx = sw > 1 ? 2 : 1, by = sh > 1 ? 2 : 1;
    int n = bx * by;
    int shift = n == 4 ? 2 : (n == 2 ? 1 : 0);
    for (int y = 0; y < dh; y++)
        for (int x = 0; x < dw; x++) {
            const uint8_t* px[4];
            int k = 0;
            for (int j = 0; j < by; j++)
                for (int i = 0; i < bx; i++)
                    px[k++] = src + ((static_cast<size_t>(y) * by + j) * sw + static_cast<size_t>(x) * bx + i) * channels;
            uint8_t* out = dst + (static_cast<size_t>(y) * dw + x) * channels;
            if (channels == 3) {
                for (int c = 0; c < 3; c++) {
                    int sum = 0;
                    for (int q = 0; q < n; q++) sum += px[q][c];
                    out[c] = static_cast<uint8_t>(sum >> shift);
                }
                continue;
            }
            int asum = 0, amax = 0;
            for (int q = 0; q < n; q++) {
                asum += px[q][3];
                if (px[q][3] > amax) amax = px[q][3];
            }
            for (int c = 0; c < 3; c++) {
                int sum = 0, weighted = 0;
                for (int q = 0; q < n; q++) {
                    sum += px[q][c];
                    weighted += px[q][c] * px[q][3];
                }
                bool plain = asum == 0 || asum == 255 * n;
                out[c] = static_cast<uint8_t>(plain ? sum >> shift : weighted / asum);
            }
            out[3] = static_cast<uint8_t>(max_alpha ? amax : asum >> shift);
        }
}

std::vector<uint8_t> build_mip_chain(const uint8_t* pixels, int width, int height, int channels, bool max_alpha) {
    std::vector<uint8_t> chain;
    if (!pixels || width < 1 || height < 1 || (channels != 3 && channels != 4)) return chain;
    chain.resize(mip_chain_size(width, height, channels));
    size_t base = static_cast<size_t>(width) * height * channels;
    std::memcpy(chain.data(), pixels, base);
    size_t at = 0;
    int w = width, h = height;
    while (w > 1 || h > 1) {
        size_t next = at + static_cast<size_t>(w) * h * channels;
        mip_level(chain.data() + at, w, h, chain.data() + next, channels, max_alpha);
        at = next;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return chain;
}
