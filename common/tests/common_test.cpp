#include "common/common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(Console, SpamFilterAndHistoryRing) {
    console_clear_history();
    set_hide_spam(true);
    con_printf("hello %d\n", 1);
    con_print("[SPAM] noise\n");
    EXPECT_EQ(console_history_count(), 1);
    set_hide_spam(false);
    con_print("[SPAM] shown\n");
    EXPECT_EQ(console_history_count(), 2);

    console_clear_history();
    for (int i = 0; i < CONSOLE_HISTORY_LINES + 5; i++) con_printf("line %d", i);
    EXPECT_EQ(console_history_count(), CONSOLE_HISTORY_LINES);
    EXPECT_STREQ(console_history_line(0), "line 5");
    std::string long_line(600, 'x');
    con_print(long_line.c_str());
    EXPECT_EQ(std::string(console_history_line(CONSOLE_HISTORY_LINES - 1)).size(),
              size_t(CONSOLE_LINE_CHARS));
}

TEST(VecMath, QuaternionRotatesAboutAxis) {
    Quat q = quat_from_axis_angle({0, 1, 0}, float(M_PI / 2));
    Vec3 v = quat_rotate(q, {1, 0, 0});
    EXPECT_NEAR(v.x, 0, 1e-6);
    EXPECT_NEAR(v.z, -1, 1e-6);
    Quat z = quat_normalize({0, 0, 0, 0});
    EXPECT_EQ(z.w, 1);
}
