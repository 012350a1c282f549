#include "common/common.h"

#include <gtest/gtest.h>

namespace {
void add(StateHistory& h, int tic, uint8_t mark) {
    uint8_t rec[STATE_RECORD_BYTES] = {mark};
    history_add(h, rec, tic);
}
std::vector<int> tics(const StateHistory& h) {
    std::vector<int> out;
    for (int k = HISTORY_LENGTH - 1; k >= 0; k--)
        if (history_back(h, k).tic >= 0) out.push_back(history_back(h, k).tic);
    return out;
}
}  // namespace

TEST(StateHistory, InsertsInOrderOnceAndDropsTheOldest) {
    StateHistory h;
    add(h, 8, 1);
    add(h, 16, 2);
    add(h, 12, 3);  // late arrival goes between
    add(h, 16, 9);  // same tic again: kept once, first one wins
    EXPECT_EQ(tics(h), (std::vector<int>{8, 12, 16}));
    EXPECT_EQ(history_back(h, 0).state[0], 2);
    EXPECT_EQ(h.pending, 3);

    for (int t = 20; t < 20 + 4 * 200; t += 4) add(h, t, 0);
    std::vector<int> all = tics(h);
    ASSERT_EQ(all.size(), size_t(HISTORY_LENGTH));
    EXPECT_EQ(all.back(), 20 + 4 * 199);
    EXPECT_EQ(all.front(), 20 + 4 * (200 - HISTORY_LENGTH));
    EXPECT_EQ(h.pending, HISTORY_LENGTH);
    uint8_t rec[STATE_RECORD_BYTES] = {};
    EXPECT_FALSE(history_add(h, rec, 0));   // older than a full ring
    EXPECT_FALSE(history_add(h, rec, -5));  // negative tics mean "empty"
}

TEST(StateHistory, FindsTheEntriesAroundATic) {
    StateHistory h;
    HistoryPair p;
    EXPECT_FALSE(history_find(h, 10, p));
    add(h, 8, 1);
    ASSERT_TRUE(history_find(h, 4, p));
    EXPECT_EQ(p.older, p.newer);
    add(h, 12, 2);
    add(h, 16, 3);
    struct Case {
        int t, older, newer;
    } cases[] = {
        {100, 12, 16},  // past the newest: the last two
        {16, 12, 16}, {13, 12, 16}, {12, 8, 12}, {9, 8, 12},
        {8, 8, 12},     // at or before the oldest: the oldest and the one after it
        {0, 8, 12},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(history_find(h, c.t, p));
        EXPECT_EQ(p.older->tic, c.older) << c.t;
        EXPECT_EQ(p.newer->tic, c.newer) << c.t;
    }
}
