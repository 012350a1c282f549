#include "common/common.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {
struct CheckingOn {
    CheckingOn() { alloc_check_reset_for_tests(true); }
    ~CheckingOn() { alloc_check_reset_for_tests(false); }
};
}  // namespace

TEST(CheckedAlloc, RecordsBlocksAndRefusesUnknownFrees) {
    CheckingOn on;
    char* a = static_cast<char*>(qz_malloc(16));
    int* b = static_cast<int*>(qz_calloc(4, sizeof(int)));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(alloc_live_count(), 2);
    std::strcpy(a, "hello");
    a = static_cast<char*>(qz_realloc(a, 4096));
    EXPECT_STREQ(a, "hello");
    EXPECT_EQ(alloc_live_count(), 2);

    testing::internal::CaptureStderr();
    alloc_report_unfreed();
    std::string listed = testing::internal::GetCapturedStderr();
    EXPECT_NE(listed.find(":1\n"), std::string::npos) << listed;  // serial numbers: calloc 1,
    EXPECT_NE(listed.find(":2\n"), std::string::npos) << listed;  // the moved block 2

    void* stranger = std::malloc(8);
    testing::internal::CaptureStderr();
    qz_free(stranger);  // not recorded: reported and left alone
    std::string msg = testing::internal::GetCapturedStderr();
    EXPECT_NE(msg.find("Allocation not found for "), std::string::npos);
    EXPECT_EQ(msg.back(), '\n');
    std::free(stranger);

    qz_free(a);
    qz_free(b);
    qz_free(nullptr);
    EXPECT_EQ(alloc_live_count(), 0);
}

TEST(CheckedAlloc, PlainWhenOff) {
    alloc_check_reset_for_tests(false);
    void* p = qz_malloc(32);
    EXPECT_FALSE(alloc_checking());
    EXPECT_EQ(alloc_live_count(), 0);
    p = qz_realloc(p, 64);
    qz_free(p);
}

namespace {
int closed_audio = 0, closed_gl = 0;
void close_audio() { closed_audio++; }
void close_gl() { closed_gl++; }
void box(const char* caption, const char* text) {
    // The order of the closes and the box's texts, checked by the death test.
    std::fprintf(stderr, "audio=%d gl=%d [%s] [%s]\n", closed_audio, closed_gl, caption, text);
}
}  // namespace

TEST(FatalPathDeathTest, ClosesAudioAndGlShowsBoxExitsWithOne) {
    EXPECT_EXIT(
        {
            FatalHooks h;
            h.close_audio = close_audio;
            h.close_gl = close_gl;
            h.show_box = box;
            set_fatal_hooks(h);
            fatal_out_of_memory();
        },
        testing::ExitedWithCode(1), "audio=1 gl=1 \\[Error\\] \\[Out of virtual memory\\]");
    // Without hooks the box goes to standard error.
    EXPECT_EXIT(
        {
            set_fatal_hooks({});
            fatal_out_of_memory();
        },
        testing::ExitedWithCode(1), "Error: Out of virtual memory");
}

TEST(FatalPathDeathTest, MustAllocTakesTheFatalPath) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator aborts on impossible sizes itself";
#endif
    EXPECT_EXIT(
        {
            set_fatal_hooks({});
            volatile size_t huge = ~size_t(0) / 2;
            qz_must_malloc(huge);
        },
        testing::ExitedWithCode(1), "Out of virtual memory");
}

TEST(ErrorBox, TextIsCutAt1023Characters) {
    static std::string seen;
    FatalHooks h;
    h.show_box = [](const char*, const char* text) { seen = text; };
    set_fatal_hooks(h);
    std::string big(3000, 'x');
    error_box("Problem", "%s", big.c_str());
    EXPECT_EQ(seen.size(), 1023u);
    set_fatal_hooks({});
}
