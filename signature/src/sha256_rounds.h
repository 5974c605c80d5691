// The round function of SHA-256, shared by the portable compression function and the one whose
// message schedule runs in vector registers. Macros, so that each compression function keeps its
// eight working variables in registers and its own instruction set.
#pragma once

// x >> n | x << (32 - n) for 0 < n < 32, which compilers turn into one rotate instruction.
#define KY_SHA_ROTR(x, n) (((x) >> (n)) | ((x) << (32 - (n))))
#define KY_SHA_S0(x) (KY_SHA_ROTR(x, 2) ^ KY_SHA_ROTR(x, 13) ^ KY_SHA_ROTR(x, 22))
#define KY_SHA_S1(x) (KY_SHA_ROTR(x, 6) ^ KY_SHA_ROTR(x, 11) ^ KY_SHA_ROTR(x, 25))
#define KY_SHA_s0(x) (KY_SHA_ROTR(x, 7) ^ KY_SHA_ROTR(x, 18) ^ ((x) >> 3))
#define KY_SHA_s1(x) (KY_SHA_ROTR(x, 17) ^ KY_SHA_ROTR(x, 19) ^ ((x) >> 10))
#define KY_SHA_CH(x, y, z) ((((y) ^ (z)) & (x)) ^ (z))
#define KY_SHA_MAJ(x, y, z) (((x) & (y)) | (((x) | (y)) & (z)))

// One round; the caller rotates the roles of the eight working variables instead of moving them.
#define KY_SHA_ROUND(a, b, c, d, e, f, g, h, k, w)                         \
    do {                                                                   \
        uint32_t t1 = (h) + KY_SHA_S1(e) + KY_SHA_CH(e, f, g) + (k) + (w); \
        uint32_t t2 = KY_SHA_S0(a) + KY_SHA_MAJ(a, b, c);                  \
        (d) += t1;                                                         \
        (h) = t1 + t2;                                                     \
    } while (0)
