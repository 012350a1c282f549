// RIPEMD-160, written from the algorithm's published description.
#include "common/common.h"

#include <cstring>

namespace {
inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t f(int j, uint32_t x, uint32_t y, uint32_t z) {
    switch (j / 16) {
        case 0: return x ^ y ^ z;
        case 1: return (x & y) | (~x & z);
        case 2: return (x | ~y) ^ z;
        case 3: return (x & z) | (y & ~z);
        default: return x ^ (y | ~z);
    }
}

constexpr uint32_t K_LEFT[5] = {0x00000000u, 0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xA953FD4Eu};
constexpr uint32_t K_RIGHT[5] = {0x50A28BE6u, 0x5C4DD124u, 0x6D703EF3u, 0x7A6D76E9u, 0x00000000u};

// Message word order and rotations of the left and right lines.
constexpr uint8_t R_LEFT[80] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1, 10, 6, 15, 3, 12, 0, 9, 5, 2, 14, 11, 8,
    3, 10, 14, 4, 9, 15, 8, 1, 2, 7, 0, 6, 13, 11, 5, 12,
    1, 9, 11, 10, 0, 8, 12, 4, 13, 3, 7, 15, 14, 5, 6, 2,
    4, 0, 5, 9, 7, 12, 2, 10, 14, 1, 3, 8, 11, 6, 15, 13};
constexpr uint8_t R_RIGHT[80] = {
    5, 14, 7, 0, 9, 2, 11, 4, 13, 6, 15, 8, 1, 10, 3, 12,
    6, 11, 3, 7, 0, 13, 5, 10, 14, 15, 8, 12, 4, 9, 1, 2,
    15, 5, 1, 3, 7, 14, 6, 9, 11, 8, 12, 2, 10, 0, 4, 13,
    8, 6, 4, 1, 3, 11, 15, 0, 5, 12, 2, 13, 9, 7, 10, 14,
    12, 15, 10, 4, 1, 5, 8, 7, 6, 2, 13, 14, 0, 3, 9, 11};
constexpr uint8_t S_LEFT[80] = {
    11, 14, 15, 12, 5, 8, 7, 9, 11, 13, 14, 15, 6, 7, 9, 8,
    7, 6, 8, 13, 11, 9, 7, 15, 7, 12, 15, 9, 11, 7, 13, 12,
    11, 13, 6, 7, 14, 9, 13, 15, 14, 8, 13, 6, 5, 12, 7, 5,
    11, 12, 14, 15, 14, 15, 9, 8, 9, 14, 5, 6, 8, 6, 5, 12,
    9, 15, 5, 11, 6, 8, 13, 12, 5, 12, 13, 14, 11, 8, 5, 6};
constexpr uint8_t S_RIGHT[80] = {
    8, 9, 9, 11, 13, 15, 15, 5, 7, 7, 8, 11, 14, 14, 12, 6,
    9, 13, 15, 7, 12, 8, 9, 11, 7, 7, 12, 7, 6, 15, 13, 11,
    9, 7, 15, 11, 8, 6, 6, 14, 12, 13, 5, 14, 13, 13, 7, 5,
    15, 5, 8, 11, 14, 14, 6, 14, 6, 9, 12, 9, 12, 5, 15, 8,
    8, 5, 12, 9, 12, 5, 14, 6, 8, 13, 6, 5, 15, 13, 11, 11};

void compress(uint32_t h[5], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
               uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;
    uint32_t al = h[0], bl = h[1], cl = h[2], dl = h[3], el = h[4];
    uint32_t ar = h[0], br = h[1], cr = h[2], dr = h[3], er = h[4];
    for (int j = 0; j < 80; j++) {
        uint32_t t = rol(al + f(j, bl, cl, dl) + x[R_LEFT[j]] + K_LEFT[j / 16], S_LEFT[j]) + el;
        al = el, el = dl, dl = rol(cl, 10), cl = bl, bl = t;
        t = rol(ar + f(79 - j, br, cr, dr) + x[R_RIGHT[j]] + K_RIGHT[j / 16], S_RIGHT[j]) + er;
        ar = er, er = dr, dr = rol(cr, 10), cr = br, br = t;
    }
    uint32_t t = h[1] + cl + dr;
    h[1] = h[2] + dl + er;
    h[2] = h[3] + el + ar;
    h[3] = h[4] + al + br;
    h[4] = h[0] + bl + cr;
    h[0] = t;
}
}  // namespace

void ripemd160_init(Ripemd160& ctx) {
    ctx.h[0] = 0x67452301u;
    ctx.h[1] = 0xEFCDAB89u;
    ctx.h[2] = 0x98BADCFEu;
    ctx.h[3] = 0x10325476u;
    ctx.h[4] = 0xC3D2E1F0u;
    ctx.length = 0;
    ctx.used = 0;
}

void ripemd160_update(Ripemd160& ctx, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    ctx.length += size;
    while (size > 0) {
        size_t n = 64 - ctx.used < size ? 64 - ctx.used : size;
        std::memcpy(ctx.block + ctx.used, p, n);
        ctx.used += n, p += n, size -= n;
        if (ctx.used == 64) {
            compress(ctx.h, ctx.block);
            ctx.used = 0;
        }
    }
}

Digest160 ripemd160_final(Ripemd160& ctx) {
    uint64_t bits = ctx.length * 8;
    uint8_t pad[72] = {0x80};
    size_t pad_len = ctx.used < 56 ? 56 - ctx.used : 120 - ctx.used;
    for (int i = 0; i < 8; i++) pad[pad_len + i] = uint8_t(bits >> (8 * i));
    ripemd160_update(ctx, pad, pad_len + 8);
    Digest160 out;
    for (int i = 0; i < 5; i++)
        for (int b = 0; b < 4; b++) out[4 * i + b] = uint8_t(ctx.h[i] >> (8 * b));
    return out;
}

Digest160 ripemd160(const void* data, size_t size) {
    Ripemd160 ctx;
    ripemd160_init(ctx);
    ripemd160_update(ctx, data, size);
    return ripemd160_final(ctx);
}

std::string digest_hex(const Digest160& d) {
    static const char hex[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += hex[b >> 4];
        s += hex[b & 15];
    }
    return s;
}
