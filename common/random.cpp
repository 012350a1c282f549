// MT19937 and the radix sort of index lists.
#include "common/common.h"

void mt_seed(Mt19937& r, uint32_t seed) {
    r.mt[0] = seed;
    for (int i = 1; i < 624; i++) r.mt[i] = 1812433253u * (r.mt[i - 1] ^ (r.mt[i - 1] >> 30)) + uint32_t(i);
    r.index = 624;
}

uint32_t mt_next(Mt19937& r) {
    if (r.index >= 624) {
        if (r.index > 624) mt_seed(r, 5489u);
        for (int i = 0; i < 624; i++) {
            uint32_t y = (r.mt[i] & 0x80000000u) | (r.mt[(i + 1) % 624] & 0x7fffffffu);
            r.mt[i] = r.mt[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
        }
        r.index = 0;
    }
    uint32_t y = r.mt[r.index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

void radix_sort(KeyIndex* items, size_t count, KeyIndex* scratch) {
    KeyIndex* from = items;
    KeyIndex* to = scratch;
    for (int shift = 0; shift < 32; shift += 8) {
        size_t start[256] = {};
        for (size_t i = 0; i < count; i++) start[(from[i].key >> shift) & 255]++;
        size_t sum = 0;
        for (size_t& s : start) {
            size_t n = s;
            s = sum;
            sum += n;
        }
        for (size_t i = 0; i < count; i++) to[start[(from[i].key >> shift) & 255]++] = from[i];
        KeyIndex* t = from;
        from = to;
        to = t;
    }
    // Four passes: the result is back in items.
}

void radix_sort(std::vector<KeyIndex>& items) {
    std::vector<KeyIndex> scratch(items.size());
    radix_sort(items.data(), items.size(), scratch.data());
}
