// PPM/PGM and the predictive "Q6"/"Q7" images.
#include <cstdio>

#include "common/common.h"
#include "image/image.h"

namespace {

bool is_white(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A cursor over a header: skips white space and "#" comment lines, reads
// decimal numbers.
struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool at_end() const { return pos >= size; }
    void skip_white() {
        while (pos < size && is_white(data[pos])) pos++;
    }
    void skip_white_and_comments() {
        for (;;) {
            skip_white();
            if (pos >= size || data[pos] != '#') return;
            while (pos < size && data[pos] != '\n') pos++;
        }
    }
    // A non-negative decimal number up to limit; false when there is none or
    // it is larger.
    bool number(long limit, long& out) {
        if (pos >= size || data[pos] < '0' || data[pos] > '9') return false;
        long v = 0;
        while (pos < size && data[pos] >= '0' && data[pos] <= '9') {
            v = v * 10 + (data[pos++] - '0');
            if (v > limit) return false;
        }
        out = v;
        return true;
    }
};

bool size_allowed(long w, long h, int channels, int bytes_per_sample) {
    const ImageLimits& lim = image_limits();
    if (w < 1 || h < 1 || w > lim.max_side || h > lim.max_side) return false;
    return static_cast<size_t>(w) * h * channels * bytes_per_sample <= lim.max_bytes;
}

void set_size(Image& img, long w, long h, int channels, int depth) {
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.channels = channels;
    img.bit_depth = depth;
    size_t n = static_cast<size_t>(w) * h * channels;
    if (depth == 16) img.pixels16.assign(n, 0);
    else img.pixels.assign(n, 0);
}

int predict(const uint8_t* px, int x, int y, int w, int c, int channels) {
    size_t stride = static_cast<size_t>(w) * channels;
    const uint8_t* p = px + (static_cast<size_t>(y) * w + x) * channels + c;
    if (x == 0 && y == 0) return 0;
    if (y == 0) return p[-channels];
    if (x == 0) return p[-static_cast<std::ptrdiff_t>(stride)];
    int v = p[-channels] + p[-static_cast<std::ptrdiff_t>(stride)] - p[-static_cast<std::ptrdiff_t>(stride) - channels];
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

}  // namespace

bool decode_pnm(const uint8_t* data, size_t size, Image& out) {
    out = Image{};
    Cursor cur{data, size};
    cur.skip_white();
    if (cur.pos + 2 > size || data[cur.pos] != 'P' || data[cur.pos + 1] < '2' || data[cur.pos + 1] > '6' ||
        data[cur.pos + 1] == '4') {
        con_printf("Can't parse PPM header\n");
        return false;
    }
    char kind = static_cast<char>(data[cur.pos + 1]);
    cur.pos += 2;
    bool grey = kind == '2' || kind == '5';
    bool binary = kind == '5' || kind == '6';
    int channels = grey ? 1 : 3;
    long w = 0, h = 0, maxval = 0;
    bool ok = true;
    for (long* v : {&w, &h, &maxval}) {
        cur.skip_white_and_comments();
        ok = ok && cur.number(65535, *v);
    }
    if (!ok || w < 1 || h < 1 || maxval < 1) {
        con_printf(grey ? "Can't get PGM dimensions\n" : "Can't get PPM dimensions\n");
        return false;
    }
    int depth = maxval > 255 ? 16 : 8;
    if (!size_allowed(w, h, channels, depth / 8)) return false;
    size_t samples = static_cast<size_t>(w) * h * channels;
    if (binary) {
        // Exactly one white space byte ends the header.
        if (cur.at_end() || !is_white(data[cur.pos])) return false;
        cur.pos++;
        size_t bytes = samples * (depth / 8);
        if (size - cur.pos < bytes) return false;
        set_size(out, w, h, channels, depth);
        const uint8_t* p = data + cur.pos;
        for (size_t k = 0; k < samples; k++) {
            int v = depth == 16 ? (p[2 * k] << 8 | p[2 * k + 1]) : p[k];
            if (v > maxval) v = static_cast<int>(maxval);
            if (depth == 16) out.pixels16[k] = static_cast<uint16_t>(v);
            else out.pixels[k] = static_cast<uint8_t>(v);
        }
        return true;
    }
    // Text samples take at least two bytes each: refuse what cannot be there
    // before allocating.
    if (samples > (size - cur.pos + 1) / 2) return false;
    set_size(out, w, h, channels, depth);
    for (size_t k = 0; k < samples; k++) {
        long v;
        cur.skip_white_and_comments();
        if (!cur.number(1L << 30, v)) {
            out = Image{};
            return false;
        }
        if (v > maxval) v = maxval;
        if (depth == 16) out.pixels16[k] = static_cast<uint16_t>(v);
        else out.pixels[k] = static_cast<uint8_t>(v);
    }
    return true;
}

bool decode_q_image(const uint8_t* data, size_t size, Image& out) {
    out = Image{};
    Cursor cur{data, size};
    cur.skip_white();
    if (cur.pos + 2 > size || data[cur.pos] != 'Q' || (data[cur.pos + 1] != '6' && data[cur.pos + 1] != '7'))
        return false;
    int channels = data[cur.pos + 1] == '7' ? 4 : 3;
    cur.pos += 2;
    if (!cur.at_end() && !is_white(data[cur.pos])) return false;
    long w = 0, h = 0;
    for (long* v : {&w, &h}) {
        cur.skip_white_and_comments();
        if (!cur.number(1L << 30, *v)) return false;
    }
    if (cur.at_end()) return false;
    cur.pos++;  // the one separator byte
    if (!size_allowed(w, h, channels, 1)) return false;
    size_t bytes = static_cast<size_t>(w) * h * channels;
    if (size - cur.pos < bytes) return false;
    set_size(out, w, h, channels, 8);
    const uint8_t* src = data + cur.pos;
    uint8_t* px = out.pixels.data();
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++)
            for (int c = 0; c < channels; c++) {
                size_t k = (static_cast<size_t>(y) * out.width + x) * channels + c;
                px[k] = static_cast<uint8_t>(src[k] + predict(px, x, y, out.width, c, channels));
            }
    return true;
}

bool encode_pnm(const uint8_t* pixels, int width, int height, int channels, std::string& out) {
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || (channels != 1 && channels != 3)) {
        con_printf("Can't write PPM: bad image (%dx%d, %d channels)\n", width, height, channels);
        return false;
    }
    char head[64];
    std::snprintf(head, sizeof head, "%s\n%d %d\n255\n", channels == 1 ? "P5" : "P6", width, height);
    out = head;
    out.append(reinterpret_cast<const char*>(pixels), static_cast<size_t>(width) * height * channels);
    return true;
}

bool encode_q_image(const uint8_t* pixels, int width, int height, int channels, std::string& out) {
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) {
        con_printf("Can't write Q image: bad image (%dx%d, %d channels)\n", width, height, channels);
        return false;
    }
    char head[64];
    std::snprintf(head, sizeof head, "%s %d %d\n", channels == 4 ? "Q7" : "Q6", width, height);
    out = head;
    size_t base = out.size();
    out.resize(base + static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++) {
                size_t k = (static_cast<size_t>(y) * width + x) * channels + c;
                out[base + k] = static_cast<char>(pixels[k] - predict(pixels, x, y, width, c, channels));
            }
    return true;
}
