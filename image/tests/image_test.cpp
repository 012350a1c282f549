// Image decoders and writers over small pictures built by the tests.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

#include "common/common.h"
#include "image/image.h"

using namespace std::string_literals;

namespace {

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A minimal PNG writer that shares nothing with the program's: raw
// scanlines (filter 0), one zlib stream, chunks with CRCs.
void put32(std::string& s, uint32_t v) {
    for (int k = 3; k >= 0; k--) s += static_cast<char>((v >> (8 * k)) & 255);
}
void chunk(std::string& png, const char* type, const std::string& body) {
    put32(png, static_cast<uint32_t>(body.size()));
    std::string tb = std::string(type, 4) + body;
    png += tb;
    put32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(tb.data()), tb.size())));
}
// rows: the already packed sample bytes of each row (big-endian for 16 bits).
std::string tiny_png(int w, int h, int depth, int colour_type, const std::vector<std::string>& rows,
                     const std::vector<std::pair<const char*, std::string>>& extra = {}) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    put32(ihdr, w);
    put32(ihdr, h);
    ihdr += static_cast<char>(depth);
    ihdr += static_cast<char>(colour_type);
    ihdr += std::string(3, '\0');
    chunk(png, "IHDR", ihdr);
    for (auto& e : extra) chunk(png, e.first, e.second);
    std::string raw;
    for (auto& r : rows) raw += '\0' + r;
    uLongf len = compressBound(raw.size());
    std::string z(len, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &len, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    z.resize(len);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    return png;
}

TEST(Png, OutsideWriterSixteenBitGreyWithText) {
    // 3 x 2 greyscale, 16 bits, big-endian samples.
    const uint16_t v[6] = {0, 1, 65535, 258, 40000, 12345};
    std::vector<std::string> rows(2);
    for (int k = 0; k < 6; k++) {
        rows[k / 3] += static_cast<char>(v[k] >> 8);
        rows[k / 3] += static_cast<char>(v[k] & 255);
    }
    std::string png = tiny_png(3, 2, 16, 0, rows, {{"tEXt", std::string("Comment\0[compress] [mip_max_alpha]", 35)}});
    Image img;
    ASSERT_TRUE(decode_png(bytes_of(png), png.size(), img));
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.channels, 1);
    EXPECT_EQ(img.bit_depth, 16);
    for (int k = 0; k < 6; k++) EXPECT_EQ(image_sample(img, k % 3, k / 3, 0), v[k]) << k;
    EXPECT_TRUE(image_info_has(img.info, "[compress]"));
    EXPECT_TRUE(image_info_has(img.info, "[mip_max_alpha]"));
    EXPECT_FALSE(image_info_has(img.info, "[mip_custom]"));
}

TEST(Png, PaletteTransparencyAndLowBitGreyExpand) {
    // 2 x 1 palette image: entry 1 is half transparent.
    std::string plte = std::string("\x10\x20\x30\x40\x50\x60", 6);
    std::string png = tiny_png(2, 1, 8, 3, {std::string("\x00\x01", 2)},
                               {{"PLTE", plte}, {"tRNS", std::string("\xff\x80", 2)}});
    Image img;
    ASSERT_TRUE(decode_png(bytes_of(png), png.size(), img));
    ASSERT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xff, 0x40, 0x50, 0x60, 0x80}));
    // 1-bit grey, 8 pixels in one byte.
    png = tiny_png(8, 1, 1, 0, {std::string("\xa5", 1)});
    ASSERT_TRUE(decode_png(bytes_of(png), png.size(), img));
    EXPECT_EQ(img.bit_depth, 8);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{255, 0, 255, 0, 0, 255, 0, 255}));
}

TEST(Png, WriterRoundTripsEveryLayout) {
    std::mt19937 rng(1);
    for (int depth : {8, 16})
        for (int ch = 1; ch <= 4; ch++) {
            const int w = 5, h = 3;
            std::vector<uint8_t> p8(w * h * ch);
            std::vector<uint16_t> p16(w * h * ch);
            for (auto& v : p8) v = static_cast<uint8_t>(rng());
            for (auto& v : p16) v = static_cast<uint16_t>(rng());
            const void* src = depth == 8 ? static_cast<const void*>(p8.data()) : p16.data();
            std::string png;
            ASSERT_TRUE(encode_png(src, w, h, ch, depth, png));
            Image img;
            ASSERT_TRUE(decode_png(bytes_of(png), png.size(), img)) << depth << " " << ch;
            EXPECT_EQ(img.channels, ch);
            EXPECT_EQ(img.bit_depth, depth);
            if (depth == 8) EXPECT_EQ(img.pixels, p8);
            else EXPECT_EQ(img.pixels16, p16);
        }
    std::string out;
    uint8_t px[4] = {};
    EXPECT_FALSE(encode_png(px, 0, 1, 1, 8, out));
    EXPECT_FALSE(encode_png(px, 1, 1, 5, 8, out));
    EXPECT_FALSE(encode_png(px, 1, 1, 1, 12, out));
}

TEST(Png, BrokenOrOversizedInputFails) {
    std::string good = tiny_png(2, 2, 8, 0, {"ab", "cd"});
    Image img;
    ASSERT_TRUE(decode_png(bytes_of(good), good.size(), img));
    for (size_t cut : {size_t(0), size_t(8), size_t(20), good.size() - 13}) {
        EXPECT_FALSE(decode_png(bytes_of(good), cut, img)) << cut;
        EXPECT_EQ(img.width, 0);
    }
    std::string bad_crc = good;
    bad_crc[30] ^= 1;
    EXPECT_FALSE(decode_png(bytes_of(bad_crc), bad_crc.size(), img));
    // Bigger than the limits: refused before any pixel is allocated.
    ImageLimits saved = image_limits();
    set_image_limits({1, 1u << 20});
    EXPECT_FALSE(decode_png(bytes_of(good), good.size(), img));
    set_image_limits(saved);
    std::string huge = tiny_png(100000, 100000, 16, 6, {});
    EXPECT_FALSE(decode_png(bytes_of(huge), huge.size(), img));
}

TEST(Pnm, ReadsEveryKind) {
    const struct {
        std::string file;
        int channels, depth;
        std::vector<int> samples;
    } cases[] = {
        {"P6\n2 1\n255\n\x01\x02\x03\xff\x00\x7f"s, 3, 8, {1, 2, 3, 255, 0, 127}},
        {"P3\n# a comment\n2 1 # more\n255\n1 2 3\n 255 0 127\n", 3, 8, {1, 2, 3, 255, 0, 127}},
        {"P5 3 1 255 \x00\x80\xff"s, 1, 8, {0, 128, 255}},
        {"P2\n3 1\n100\n0 50 300\n", 1, 8, {0, 50, 100}},  // above the maximum: clamped
        {"P5\n2 1\n65535\n\x12\x34\xff\xfe"s, 1, 16, {0x1234, 0xfffe}},
    };
    for (auto& c : cases) {
        Image img;
        ASSERT_TRUE(decode_pnm(bytes_of(c.file), c.file.size(), img)) << c.file;
        EXPECT_EQ(img.channels, c.channels);
        EXPECT_EQ(img.bit_depth, c.depth);
        ASSERT_EQ(static_cast<size_t>(img.width * img.height * img.channels), c.samples.size());
        for (size_t k = 0; k < c.samples.size(); k++)
            EXPECT_EQ(image_sample(img, static_cast<int>(k / c.channels), 0, static_cast<int>(k % c.channels)),
                      c.samples[k]) << c.file << " " << k;
    }
}

TEST(Pnm, BadFilesFailWithTheirMessage) {
    const struct {
        std::string file;
        const char* message;  // null: fails without one
    } cases[] = {
        {"", "Can't parse PPM header\n"},
        {"PX 1 1 255\n", "Can't parse PPM header\n"},
        {"\x89PNG", "Can't parse PPM header\n"},
        {"P6\n2\n", "Can't get PPM dimensions\n"},
        {"P6\n0 1 255\n", "Can't get PPM dimensions\n"},
        {"P6\n99999999 1 255\n", "Can't get PPM dimensions\n"},
        {"P5\nx 1 255\n", "Can't get PGM dimensions\n"},
        {"P6\n2 2\n255\n\x01\x02", nullptr},  // short samples
        {"P3\n2 1\n255\n1 2 3 4\n", nullptr},
        {"P6\n8192 8192\n255\n", nullptr},
    };
    for (auto& c : cases) {
        Image img;
        console_clear_history();
        console_reset_count();
        EXPECT_FALSE(decode_pnm(bytes_of(c.file), c.file.size(), img)) << c.file;
        EXPECT_TRUE(img.pixels.empty());
        if (c.message) EXPECT_EQ(console_last_messages(1), c.message) << c.file;
        else EXPECT_EQ(console_message_count(), 0) << c.file;
    }
}

TEST(QImage, PredictionMatchesStoredBytes) {
    // One pixel stored unchanged; the pixel to its right as the difference.
    std::string q6 = "Q6 2 1\n\x0a\x14\x1e\x02\x00\x00"s;
    Image img;
    ASSERT_TRUE(decode_q_image(bytes_of(q6), q6.size(), img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{10, 20, 30, 12, 20, 30}));
    std::string again;
    ASSERT_TRUE(encode_q_image(img.pixels.data(), 2, 1, 3, again));
    EXPECT_EQ(again, q6);
    // Comment lines before the numbers, and a random RGBA picture both ways.
    std::mt19937 rng(4);
    std::vector<uint8_t> px(7 * 5 * 4);
    for (auto& v : px) v = static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 128 + rng() % 5);
    std::string q7;
    ASSERT_TRUE(encode_q_image(px.data(), 7, 5, 4, q7));
    q7.replace(0, 3, "Q7\n# made by a test\n #two\n");
    ASSERT_TRUE(decode_image(q7, img));
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, px);
    EXPECT_FALSE(decode_q_image(bytes_of(q7), q7.size() - 1, img));
    std::string bad = "Q6 -1 2\n";
    EXPECT_FALSE(decode_q_image(bytes_of(bad), bad.size(), img));
}

TEST(ImageFormat, FirstTokenDecides) {
    const struct {
        const char* text;
        ImageFormat f;
    } cases[] = {{"Q7 1 1", IMAGE_Q7}, {"  Q6\n", IMAGE_Q6}, {"P3", IMAGE_PNM}, {"P6 1", IMAGE_PNM},
                 {"P5", IMAGE_PNM}, {"ANIM1 1 1", IMAGE_ANIM}, {"LINK @a.png", IMAGE_LINK},
                 {"\x89PNG", IMAGE_PNG}, {"Q66", IMAGE_PNG}, {"", IMAGE_PNG}};
    for (auto& c : cases)
        EXPECT_EQ(image_format_of(reinterpret_cast<const uint8_t*>(c.text), strlen(c.text)), c.f) << c.text;
}

TEST(MipChain, AveragesAndAlphaWeighting) {
    // 2 x 2 RGB: truncated average.
    uint8_t rgb[12] = {0, 10, 255, 1, 10, 255, 2, 10, 255, 4, 11, 254};
    auto chain = build_mip_chain(rgb, 2, 2, 3, false);
    ASSERT_EQ(chain.size(), 15u);
    EXPECT_EQ(chain[12], 1);
    EXPECT_EQ(chain[13], 10);
    EXPECT_EQ(chain[14], 254);
    // 2 x 1 RGBA pair: colour weighted by alpha, alpha averaged or maximum.
    uint8_t rgba[8] = {200, 0, 0, 255, 0, 100, 0, 0};
    chain = build_mip_chain(rgba, 2, 1, 4, false);
    EXPECT_EQ(std::vector<uint8_t>(chain.begin() + 8, chain.end()), (std::vector<uint8_t>{200, 0, 0, 127}));
    chain = build_mip_chain(rgba, 2, 1, 4, true);
    EXPECT_EQ(chain[11], 255);
    // Both fully transparent: plain average.
    uint8_t clear[8] = {200, 0, 0, 0, 0, 100, 0, 0};
    chain = build_mip_chain(clear, 2, 1, 4, false);
    EXPECT_EQ(std::vector<uint8_t>(chain.begin() + 8, chain.end()), (std::vector<uint8_t>{100, 50, 0, 0}));
    EXPECT_EQ(mip_chain_size(4, 1, 3), (4u + 2u + 1u) * 3u);
    EXPECT_EQ(mip_chain_size(300, 200, 4), build_mip_chain(std::vector<uint8_t>(300 * 200 * 4).data(), 300, 200, 4, false).size());
}

TEST(ImageFiles, WritePngThenLoadWithInfoFile) {
    auto dir = std::filesystem::temp_directory_path() / ("image_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string name = (dir / "shot.png").string();
    uint8_t px[2 * 2 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(write_png(name.c_str(), px, 2, 2, 3, 8));
    std::ofstream(name + ".info") << "[numberbackground: 1 2 3]\n";
    Image img;
    ASSERT_TRUE(load_image(name.c_str(), img));
    EXPECT_EQ(img.pixels, std::vector<uint8_t>(px, px + 12));
    EXPECT_TRUE(image_info_has(img.info, "[numberbackground:"));
    Image rgba = image_to_rgb8(img, 4);
    EXPECT_EQ(rgba.pixels[3], 255);
    EXPECT_EQ(rgba.pixels[4], 4);
    EXPECT_FALSE(load_image((dir / "missing.png").string().c_str(), img));
    std::filesystem::remove_all(dir);
}

}  // namespace
