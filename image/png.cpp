// PNG reading and writing through libpng, from and to memory.
#include <bit>
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "common/common.h"
#include "image/image.h"

namespace {

constexpr bool LITTLE_ENDIAN_HOST = std::endian::native == std::endian::little;
// Ancillary chunks (text, colour profiles) a real image carries are small.
constexpr png_alloc_size_t MAX_CHUNK_BYTES = 1u << 20;
constexpr png_uint_32 MAX_CACHED_CHUNKS = 128;

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (n > src->size - src->pos) png_error(png, "unexpected end of data");
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
}

void write_to_string(png_structp png, png_bytep data, png_size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}
void flush_nothing(png_structp) {}

// libpng reports errors by jumping back to the setjmp of the reading or
// writing function; its messages are not shown (a bad image gives no picture,
// the caller says what failed).
[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

// Everything between setjmp and the end of libpng's work lives here. Only
// trivially destructible locals: a libpng error jumps straight back into this
// frame. rows must hold out->height pointers.
bool read_png_body(png_structp png, png_infop info, Image* out, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, nullptr, nullptr, nullptr);
    const ImageLimits& lim = image_limits();
    if (w == 0 || h == 0 || w > static_cast<png_uint_32>(lim.max_side) ||
        h > static_cast<png_uint_32>(lim.max_side))
        return false;
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16 && LITTLE_ENDIAN_HOST) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    int out_depth = png_get_bit_depth(png, info);
    if (channels < 1 || channels > 4 || (out_depth != 8 && out_depth != 16)) return false;
    size_t row_bytes = static_cast<size_t>(w) * channels * (out_depth / 8);
    if (png_get_rowbytes(png, info) != row_bytes) return false;
    if (row_bytes * h > lim.max_bytes) return false;
    size_t samples = static_cast<size_t>(w) * h * channels;
    png_bytep base;
    if (out_depth == 16) {
        out->pixels16.assign(samples, 0);
        base = reinterpret_cast<png_bytep>(out->pixels16.data());
    } else {
        out->pixels.assign(samples, 0);
        base = out->pixels.data();
    }
    rows->resize(h);
    for (png_uint_32 y = 0; y < h; y++) (*rows)[y] = base + row_bytes * y;
    png_read_image(png, rows->data());
    png_read_end(png, info);
    out->width = static_cast<int>(w);
    out->height = static_cast<int>(h);
    out->channels = channels;
    out->bit_depth = out_depth;
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int k = 0; k < count; k++) {
        if (text[k].text) out->info += text[k].text;
        out->info += '\n';
    }
    return true;
}

bool write_png_body(png_structp png, png_infop info, const void* pixels, int width, int height,
                    int channels, int bit_depth, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    static const int COLOUR[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                  PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, width, height, bit_depth, COLOUR[channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (bit_depth == 16 && LITTLE_ENDIAN_HOST) png_set_swap(png);
    size_t row_bytes = static_cast<size_t>(width) * channels * (bit_depth / 8);
    auto* base = static_cast<png_bytep>(const_cast<void*>(pixels));
    rows->resize(height);
    for (int y = 0; y < height; y++) (*rows)[y] = base + row_bytes * y;
    png_write_image(png, rows->data());
    png_write_end(png, nullptr);
    return true;
}

// Every chunk up to IEND must lie inside the buffer. libpng allocates a
// chunk's declared length before reading it, so a lying length would cost
// up to 2 GiB for nothing; refusing it here keeps every allocation within
// the size of the input.
bool chunks_fit(const uint8_t* data, size_t size) {
    size_t pos = 8;
    while (size - pos >= 12) {
        size_t len = static_cast<size_t>(data[pos]) << 24 | data[pos + 1] << 16 | data[pos + 2] << 8 | data[pos + 3];
        if (len > size - pos - 12) return false;
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + len;
    }
    return false;
}

}  // namespace

bool decode_png(const uint8_t* data, size_t size, Image& out) {
    out = Image{};
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0 || !chunks_fit(data, size)) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    const ImageLimits& lim = image_limits();
    png_set_user_limits(png, static_cast<png_uint_32>(lim.max_side), static_cast<png_uint_32>(lim.max_side));
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, MAX_CACHED_CHUNKS);
    MemorySource src{data, size, 0};
    png_set_read_fn(png, &src, read_from_memory);
    std::vector<png_bytep> rows;
    bool ok = read_png_body(png, info, &out, &rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) out = Image{};
    return ok;
}

bool encode_png(const void* pixels, int width, int height, int channels, int bit_depth, std::string& out) {
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || width > 1000000 || height > 1000000 || channels < 1 ||
        channels > 4 || (bit_depth != 8 && bit_depth != 16)) {
        con_printf("Can't write PNG: bad image (%dx%d, %d channels, %d bits)\n", width, height, channels,
                   bit_depth);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_set_write_fn(png, &out, write_to_string, flush_nothing);
    std::vector<png_bytep> rows;
    bool ok = write_png_body(png, info, pixels, width, height, channels, bit_depth, &rows);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        out.clear();
        con_printf("Can't write PNG\n");
    }
    return ok;
}
