// Image decoding and writing, pure and headless: PNG (8 and 16 bits per
// channel, with its text chunks as the image's info text), PPM/PGM (P2, P3,
// P5, P6), the program's own predictive "Q6" (RGB) / "Q7" (RGBA) images, and
// mip-map chains. Decoders work on memory buffers; uploading to the GPU is
// the renderer's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A decoded picture. Rows run from the top; samples are interleaved per pixel.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;    // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    int bit_depth = 8;   // 8: samples in pixels; 16: samples in pixels16
    std::vector<uint8_t> pixels;
    std::vector<uint16_t> pixels16;
    std::string info;    // PNG text chunks, then the ".info" file (load_image)
};

// Sample c of pixel (x, y), whatever the depth (no range check).
inline int image_sample(const Image& img, int x, int y, int c) {
    size_t k = (static_cast<size_t>(y) * img.width + x) * img.channels + c;
    return img.bit_depth == 16 ? img.pixels16[k] : img.pixels[k];
}

// Refused sizes: each side at most max_side pixels and at most max_bytes of
// decoded samples. Run-wide; the defaults (8192, 256 MiB) hold any real
// track or texture. Fuzz targets lower them.
struct ImageLimits {
    int max_side = 8192;
    size_t max_bytes = 256u << 20;
};
void set_image_limits(const ImageLimits& limits);
const ImageLimits& image_limits();

enum ImageFormat { IMAGE_PNG, IMAGE_PNM, IMAGE_Q6, IMAGE_Q7, IMAGE_ANIM, IMAGE_LINK };
// The format named by the first whitespace-separated token (at most 15
// characters): "Q7", "Q6", "P2"/"P3"/"P5"/"P6", "ANIM1", "LINK"; anything
// else is taken for a PNG.
ImageFormat image_format_of(const uint8_t* data, size_t size);

// Decoders: true on success; on failure the image is left empty. PNG keeps 8
// or 16 bits per channel (palettes become RGB, transparency becomes alpha,
// grey below 8 bits becomes 8). PPM/PGM keep the file's samples (16 bits when
// the maximum value is above 255) and print "Can't parse PPM header", "Can't
// get PPM dimensions" or "Can't get PGM dimensions" on a bad header.
bool decode_png(const uint8_t* data, size_t size, Image& out);
bool decode_pnm(const uint8_t* data, size_t size, Image& out);
bool decode_q_image(const uint8_t* data, size_t size, Image& out);
// By image_format_of; animations and alias files are not images (false).
bool decode_image(const uint8_t* data, size_t size, Image& out);
inline bool decode_image(const std::string& bytes, Image& out) {
    return decode_image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

// Reads a file through the files module ("@" names or paths) and decodes it;
// a PNG also gets the text of name + ".info" appended to its info text.
bool load_image(const char* name, Image& out);

// True when the info text holds tag, for example "[compress]".
bool image_info_has(const std::string& info, const char* tag);

// The same picture as 8-bit samples with 3 (RGB) or 4 (RGBA) channels; grey
// is spread to RGB, missing alpha is 255, 16-bit samples keep their high byte.
Image image_to_rgb8(const Image& img, int channels);

// ---------------------------------------------------------------------------
// Writers. pixels holds width * height * channels samples, rows from the top:
// bytes for bit_depth 8, native uint16_t for bit_depth 16.
// channels 1..4; bit_depth 8 or 16. False (with a message) on bad arguments.
bool encode_png(const void* pixels, int width, int height, int channels, int bit_depth,
                std::string& out);
// The same, written safely (temporary file, then rename) to a path or "@" name.
bool write_png(const char* name, const void* pixels, int width, int height, int channels,
               int bit_depth);
// Binary PGM (1 channel) or PPM (3 channels) with maximum value 255.
bool encode_pnm(const uint8_t* pixels, int width, int height, int channels, std::string& out);
// "Q6" (3 channels) or "Q7" (4 channels) predictive image.
bool encode_q_image(const uint8_t* pixels, int width, int height, int channels, std::string& out);

// ---------------------------------------------------------------------------
// Mip-map chain of an 8-bit RGB (3) or RGBA (4) picture: the base image then
// each half-size level (each side halved, at least 1) down to 1 x 1. Colour
// in RGBA levels is alpha-weighted; with max_alpha a level's alpha is the
// largest of its block instead of the average.
std::vector<uint8_t> build_mip_chain(const uint8_t* pixels, int width, int height, int channels,
                                     bool max_alpha);
// Bytes of a whole chain.
size_t mip_chain_size(int width, int height, int channels);
