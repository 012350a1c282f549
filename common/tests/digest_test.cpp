#include "common/common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

TEST(Ripemd160, PublishedTestVectors) {
    struct Case {
        std::string input;
        const char* hex;
    } cases[] = {
        {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
        {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
        {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "b0e20b6e3116640286ed3a87a5713079b21f5189"},
        {std::string(80, ' '), nullptr},  // filled below: 8 times "1234567890"
    };
    std::string eight;
    for (int i = 0; i < 8; i++) eight += "1234567890";
    cases[7] = {eight, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"};
    for (const Case& c : cases) {
        EXPECT_EQ(digest_hex(ripemd160(c.input.data(), c.input.size())), c.hex) << c.input;
    }
}

TEST(Ripemd160, MillionAInUnevenPieces) {
    // Fed in pieces that straddle the 64-byte blocks, as file reads do.
    std::string a(997, 'a');
    Ripemd160 ctx;
    ripemd160_init(ctx);
    size_t left = 1000000;
    while (left > 0) {
        size_t n = std::min(left, a.size());
        ripemd160_update(ctx, a.data(), n);
        left -= n;
    }
    EXPECT_EQ(digest_hex(ripemd160_final(ctx)), "52783243c1697bdbe16d37f97f68f08325dc1528");
}

TEST(Mt19937, MatchesStandardGenerator) {
    for (uint32_t seed : {0u, 1u, 5489u, 1700000000u, 0xffffffffu}) {
        Mt19937 r;
        mt_seed(r, seed);
        std::mt19937 ref(seed);
        for (int i = 0; i < 2000; i++) ASSERT_EQ(mt_next(r), ref()) << "seed " << seed << " draw " << i;
    }
    Mt19937 unseeded;  // standard default seed
    std::mt19937 ref;
    EXPECT_EQ(mt_next(unseeded), ref());
}

TEST(RadixSort, SortsByKeyAndKeepsEqualKeysInOrder) {
    std::mt19937 gen(7);
    std::vector<KeyIndex> items;
    for (uint32_t i = 0; i < 5000; i++) items.push_back({uint32_t(gen() % 64 == 0 ? 0xffffffffu : gen() % 300), i});
    std::vector<KeyIndex> expect = items;
    std::stable_sort(expect.begin(), expect.end(),
                     [](const KeyIndex& a, const KeyIndex& b) { return a.key < b.key; });
    radix_sort(items);
    for (size_t i = 0; i < items.size(); i++) {
        ASSERT_EQ(items[i].key, expect[i].key);
        ASSERT_EQ(items[i].index, expect[i].index);
    }
    std::vector<KeyIndex> none;
    radix_sort(none);
    EXPECT_TRUE(none.empty());
}
