// MD5 as RFC 1321 defines it.
#include <signature/md5.h>

#include <string.h>

#include <signature/wipe.h>

namespace kysig {
namespace {

inline uint32_t Load32LE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void Store32LE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The step functions are arranged to keep the dependency on b, the value the previous step has
// just produced, as short as possible: whatever involves only a, c, d, the message word and the
// constant is computed while that step is still running. G is split into two additions, which
// is the same as the or of RFC 1321 because the two terms have no bit in common.
#define KY_MD5_F(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define KY_MD5_H(b, c, d) ((b) ^ ((c) ^ (d)))
#define KY_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

// Compilers move the constant of a sum to its end, which would put one more addition after f on
// the critical path; the empty asm makes them add it first, together with a and the word.
#if defined(__GNUC__)
#define KY_MD5_SETTLE(v) __asm__("" : "+r"(v))
#else
#define KY_MD5_SETTLE(v) ((void)0)
#endif

#define KY_MD5_STEP(f, a, b, c, d, x, t, s) \
    a += (x) + (t);                         \
    KY_MD5_SETTLE(a);                       \
    a += f(b, c, d);                        \
    a = Rotl(a, s) + (b)
#define KY_MD5_STEP_G(a, b, c, d, x, t, s) \
    a += (x) + (t);                        \
    KY_MD5_SETTLE(a);                      \
    a += ~(d) & (c);                       \
    a += (d) & (b);                        \
    a = Rotl(a, s) + (b)

void Compress(uint32_t state[4], const uint8_t* block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = Load32LE(block + 4 * i);
    }
    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];

    // Round 1
    KY_MD5_STEP(KY_MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    KY_MD5_STEP(KY_MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    KY_MD5_STEP(KY_MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    KY_MD5_STEP(KY_MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    KY_MD5_STEP(KY_MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    KY_MD5_STEP(KY_MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    KY_MD5_STEP(KY_MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    KY_MD5_STEP(KY_MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    KY_MD5_STEP(KY_MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    KY_MD5_STEP(KY_MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    KY_MD5_STEP(KY_MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    KY_MD5_STEP(KY_MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    KY_MD5_STEP(KY_MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    KY_MD5_STEP(KY_MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    KY_MD5_STEP(KY_MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    KY_MD5_STEP(KY_MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    // Round 2
    KY_MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
    KY_MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
    KY_MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    KY_MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    KY_MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
    KY_MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
    KY_MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    KY_MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    KY_MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    KY_MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
    KY_MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    KY_MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
    KY_MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    KY_MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    KY_MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
    KY_MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    // Round 3
    KY_MD5_STEP(KY_MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    KY_MD5_STEP(KY_MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    KY_MD5_STEP(KY_MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    KY_MD5_STEP(KY_MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    KY_MD5_STEP(KY_MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    KY_MD5_STEP(KY_MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    KY_MD5_STEP(KY_MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    KY_MD5_STEP(KY_MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    KY_MD5_STEP(KY_MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    KY_MD5_STEP(KY_MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    KY_MD5_STEP(KY_MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    KY_MD5_STEP(KY_MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    KY_MD5_STEP(KY_MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    KY_MD5_STEP(KY_MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    KY_MD5_STEP(KY_MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    KY_MD5_STEP(KY_MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    // Round 4
    KY_MD5_STEP(KY_MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    KY_MD5_STEP(KY_MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    KY_MD5_STEP(KY_MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    KY_MD5_STEP(KY_MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    KY_MD5_STEP(KY_MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    KY_MD5_STEP(KY_MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    KY_MD5_STEP(KY_MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    KY_MD5_STEP(KY_MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    KY_MD5_STEP(KY_MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    KY_MD5_STEP(KY_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    KY_MD5_STEP(KY_MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    KY_MD5_STEP(KY_MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    KY_MD5_STEP(KY_MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    KY_MD5_STEP(KY_MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    KY_MD5_STEP(KY_MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    KY_MD5_STEP(KY_MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef KY_MD5_STEP
#undef KY_MD5_I
#undef KY_MD5_H
#undef KY_MD5_STEP_G
#undef KY_MD5_SETTLE
#undef KY_MD5_F

}  // namespace

void Md5Init(Md5Context* ctx) {
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    ctx->count[0] = 0;
    ctx->count[1] = 0;
}

void Md5Update(Md5Context* ctx, const void* data, uint32_t length) {
    const uint8_t* input = static_cast<const uint8_t*>(data);
    uint32_t have = (ctx->count[0] >> 3) & 63;

    // The bit count is 64 bits wide: a carry out of the low half goes into the high half, and the
    // upper three bits of the byte count go straight into the high half.
    uint32_t bitsLow = length << 3;
    ctx->count[0] += bitsLow;
    if (ctx->count[0] < bitsLow) {
        ++ctx->count[1];
    }
    ctx->count[1] += length >> 29;

    if (have != 0) {
        uint32_t need = 64 - have;
        if (length < need) {
            memcpy(ctx->buffer + have, input, length);
            return;
        }
        memcpy(ctx->buffer + have, input, need);
        Compress(ctx->state, ctx->buffer);
        input += need;
        length -= need;
    }
    // Whole blocks straight from the caller's buffer.
    while (length >= 64) {
        Compress(ctx->state, input);
        input += 64;
        length -= 64;
    }
    if (length != 0) {
        memcpy(ctx->buffer, input, length);
    }
}

void Md5Final(Md5Context* ctx, uint8_t digest[16]) {
    uint8_t lengthField[8];
    Store32LE(lengthField, ctx->count[0]);
    Store32LE(lengthField + 4, ctx->count[1]);

    static const uint8_t kPadding[64] = {0x80};
    uint32_t have = (ctx->count[0] >> 3) & 63;
    uint32_t padLength = have < 56 ? 56 - have : 120 - have;
    Md5Update(ctx, kPadding, padLength);
    Md5Update(ctx, lengthField, 8);

    for (int i = 0; i < 4; ++i) {
        Store32LE(digest + 4 * i, ctx->state[i]);
    }
    SecureWipe(ctx, sizeof(*ctx));
}

void Md5(const void* data, uint32_t length, uint8_t digest[16]) {
    Md5Context ctx;
    Md5Init(&ctx);
    Md5Update(&ctx, data, length);
    Md5Final(&ctx, digest);
}

}  // namespace kysig
