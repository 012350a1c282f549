#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <string>

#include "files/files_local.h"

// The tables below pass their formats as data.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

// A memory stream that closes itself.
struct Text {
    DataFile* f;
    explicit Text(const std::string& s) : f(open_memory_data_file(s.data(), s.size())) {}
    ~Text() { close_data_file(f); }
};

}  // namespace

TEST(Scanner, Integers) {
    struct Case {
        const char* format;
        const char* input;
        int ret, value, next;  // next: the character left after the scan
    } cases[] = {
        {"%d", "42,", 1, 42, ','},
        {"%d", "  -17 ", 1, -17, ' '},
        {"%d", "+5", 1, 5, -1},
        {"%i", "0x1Fz", 1, 31, 'z'},
        {"%i", "017", 1, 15, -1},
        {"%i", "-12", 1, -12, -1},
        {"%o", "178", 1, 15, '8'},
        {"%x", "fFg", 1, 255, 'g'},
        {"%3d", "12345", 1, 123, '4'},
        {"%d", "99999999999999999999999", 1, INT_MAX, -1},    // saturates
        {"%d", "-99999999999999999999999", 1, INT_MIN, -1},
        {"%d", "abc", 0, 0, 'a'},
        {"%d", "-x", 0, 0, 'x'},
        {"%d", "", -1, 0, -1},
        {"%d", " \n\t ", -1, 0, -1},
    };
    for (const Case& c : cases) {
        Text t(c.input);
        int v = 0;
        EXPECT_EQ(scan_data_file(t.f, c.format, &v), c.ret) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(v, c.value) << c.input;
        EXPECT_EQ(read_data_char(t.f), c.next) << c.input;
    }
    // Every size saturates at its own limits.
    Text t("70000 -70000 99999999999999999999 ffffffffff");
    short h1 = 0, h2 = 0;
    long long ll = 0;
    unsigned u = 0;
    EXPECT_EQ(scan_data_file(t.f, "%hd %hd %lld %x", &h1, &h2, &ll, &u), 4);
    EXPECT_EQ(h1, SHRT_MAX);
    EXPECT_EQ(h2, SHRT_MIN);
    EXPECT_EQ(ll, LLONG_MAX);
    EXPECT_EQ(u, UINT_MAX);
}

TEST(Scanner, Reals) {
    std::string huge_mantissa = "1" + std::string(6000, '0');
    struct Case {
        std::string input;
        int ret;
        double value;
        int next;
    } cases[] = {
        {"1.5", 1, 1.5, -1},
        {"2.5E+2x", 1, 250, 'x'},
        {".25", 1, 0.25, -1},
        {"-3.", 1, -3, -1},
        {"1e", 1, 1, -1},        // the "e" is consumed
        {"1ex", 1, 1, 'x'},
        {"1e-x", 1, 1, 'x'},
        {"1e999", 1, FLT_MAX, -1},  // saturates at the largest float
        {"-1e99999999999999", 1, -FLT_MAX, -1},
        {"1e-999", 1, 0, -1},
        {huge_mantissa, 1, FLT_MAX, -1},
        {"0." + std::string(5000, '0') + "1e5000", 1, 0.1, -1},
        {".", 0, 0, -1},
        {"e5", 0, 0, 'e'},
        {"", -1, 0, -1},
    };
    for (const Case& c : cases) {
        Text t(c.input);
        float v = 0;
        EXPECT_EQ(scan_data_file(t.f, "%f", &v), c.ret) << c.input.substr(0, 40);
        EXPECT_NEAR(v, c.value, std::abs(c.value) * 1e-6) << c.input.substr(0, 40);
        EXPECT_EQ(read_data_char(t.f), c.next) << c.input.substr(0, 40);
    }
    Text t("0.1 0.1 1e400");
    double d = 0;
    long double ld = 0;
    float f = 0;
    EXPECT_EQ(scan_data_file(t.f, "%lf %Lf %f", &d, &ld, &f), 3);
    EXPECT_EQ(d, 0.1);
    EXPECT_NEAR((double)ld, 0.1, 1e-18);
    EXPECT_EQ(f, FLT_MAX);
}

TEST(Scanner, MixedFormatsVectorsSetsAndCounts) {
    {
        Text t("7 1.5e2 -3 .25");
        int i = 0;
        float a = 0, b = 0, c = 0;
        EXPECT_EQ(scan_data_file(t.f, "%d %f %f %f", &i, &a, &b, &c), 4);
        EXPECT_EQ(i, 7);
        EXPECT_EQ(a, 150.0f);
        EXPECT_EQ(b, -3.0f);
        EXPECT_EQ(c, 0.25f);
        EXPECT_EQ(scan_data_file(t.f, "%d", &i), -1);  // −1 at the end of input
    }
    {
        Text t("gate [ 1 2.5 -3 ]\n[4 5 6]\nname: the rest of it\n");
        char word[16];
        float v[6];
        int n1 = 0, n2 = 0;
        EXPECT_EQ(scan_data_file(t.f, "%15s [ %f %f %f ]%n", word, &v[0], &v[1], &v[2], &n1), 4);
        EXPECT_STREQ(word, "gate");
        EXPECT_EQ(v[2], -3.0f);
        EXPECT_EQ(n1, 17);
        EXPECT_EQ(scan_data_file(t.f, " [ %f %f %f ]", &v[3], &v[4], &v[5]), 3);
        EXPECT_EQ(v[5], 6.0f);
        char rest[64];
        EXPECT_EQ(scan_data_file(t.f, " %*[a-z]:%n %[^\n]", &n2, rest), 1);
        EXPECT_STREQ(rest, "the rest of it");
        EXPECT_EQ(n2, 6);
    }
    {
        Text t("ab% 12 |x");
        char two[2];
        int i = 0;
        char bar[4];
        EXPECT_EQ(scan_data_file(t.f, "%2c%% %d %[|]", two, &i, bar), 3);
        EXPECT_EQ(std::string(two, 2), "ab");
        EXPECT_EQ(i, 12);
        EXPECT_STREQ(bar, "|");
        EXPECT_EQ(scan_data_file(t.f, "%[|]", bar), 0);  // no match ends the scan
        EXPECT_EQ(scan_data_file(t.f, "%d", &i), 0);
    }
    {
        // Names longer than the buffer are cut at 1023 characters.
        std::string name(2000, 'n');
        Text t(name + " next");
        char buf[1024], tail[1024], after[8];
        EXPECT_EQ(scan_data_file(t.f, "%1023s%1023s %7s", buf, tail, after), 3);
        EXPECT_EQ(strlen(buf), 1023u);
        EXPECT_EQ(strlen(tail), 977u);
        EXPECT_STREQ(after, "next");
    }
    {
        // "e", "g" and "a" are not conversions; a literal mismatch stops.
        Text t("1.5 x");
        float f = 0;
        EXPECT_EQ(scan_data_file(t.f, "%f y", &f), 1);
        EXPECT_EQ(read_data_char(t.f), 'x');
        Text u("2.5");
        double d = 0;
        EXPECT_EQ(scan_data_file(u.f, "%e", reinterpret_cast<float*>(&d)), 0);
    }
}
