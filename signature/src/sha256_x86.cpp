// SHA-256's compression functions for x86 processors: on the SHA instructions, and for processors
// without them, the portable rounds with the message schedule in vector registers (SSSE3, and
// BMI2's rotates where the processor has them). Each is compiled for its instructions per
// function (target attribute), so the rest of the library stays portable; sha256.cpp calls one
// only when cpuid reports its instructions.
#include "sha256_internal.h"
#include "sha256_rounds.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

namespace kysig {
namespace detail {

bool Sha256HasShaInstructions() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (!ssse3 || !sse41 || __get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & (1u << 29)) != 0;
}

Sha256VectorLevel Sha256VectorScheduleLevel() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & (1u << 9)) == 0) {
        return Sha256VectorLevel::kNone;
    }
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        if ((ebx & (1u << 8)) != 0) return Sha256VectorLevel::kSsse3Bmi2;
    }
    return Sha256VectorLevel::kSsse3;
}

namespace {

// The small sigma functions on four words at once (SSE2 shifts; x86 has no vector rotate here).
__attribute__((target("ssse3"), always_inline)) inline __m128i SmallSigma0(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(_mm_or_si128(_mm_srli_epi32(x, 7), _mm_slli_epi32(x, 25)),
                                       _mm_or_si128(_mm_srli_epi32(x, 18), _mm_slli_epi32(x, 14))),
                         _mm_srli_epi32(x, 3));
}

__attribute__((target("ssse3"), always_inline)) inline __m128i SmallSigma1(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(_mm_or_si128(_mm_srli_epi32(x, 17), _mm_slli_epi32(x, 15)),
                                       _mm_or_si128(_mm_srli_epi32(x, 19), _mm_slli_epi32(x, 13))),
                         _mm_srli_epi32(x, 10));
}

// Words t to t + 3 of the schedule from x0 = W[t-16..t-13], ..., x3 = W[t-4..t-1]. W[t+2] and
// W[t+3] depend on W[t] and W[t+1], so sigma1 is applied in two halves.
__attribute__((target("ssse3"), always_inline)) inline __m128i ScheduleStep(__m128i x0, __m128i x1,
                                                                            __m128i x2,
                                                                            __m128i x3) {
    const __m128i w15 = _mm_alignr_epi8(x1, x0, 4);  // W[t-15..t-12]
    const __m128i w7 = _mm_alignr_epi8(x3, x2, 4);   // W[t-7..t-4]
    __m128i t = _mm_add_epi32(_mm_add_epi32(x0, w7), SmallSigma0(w15));
    const __m128i w2 = _mm_shuffle_epi32(x3, 0xFE);  // W[t-2], W[t-1] in the low half
    t = _mm_add_epi32(t, _mm_move_epi64(SmallSigma1(w2)));
    const __m128i w0 = _mm_shuffle_epi32(t, 0x44);  // W[t], W[t+1] in the high half too
    return _mm_add_epi32(t, _mm_slli_si128(SmallSigma1(w0), 8));
}

// A round whose majority function takes b ^ ((a ^ b) & (b ^ c)): a ^ b is the next round's
// b ^ c, so it is carried in bc and the round needs one operation less than the shared macro.
#define KY_SHA_ROUND_CARRY(a, b, c, d, e, f, g, h, w)                      \
    do {                                                                   \
        const uint32_t t1 = (h) + KY_SHA_S1(e) + KY_SHA_CH(e, f, g) + (w); \
        const uint32_t ab = (a) ^ (b);                                     \
        const uint32_t t2 = KY_SHA_S0(a) + ((ab & bc) ^ (b));              \
        bc = ab;                                                           \
        (d) += t1;                                                         \
        (h) = t1 + t2;                                                     \
    } while (0)

// The whole schedule of a block, W + K, is written to wk in vector steps; the 64 rounds then read
// it. The rounds stay scalar: their chain of dependencies has no four-wide parallelism.
__attribute__((target("ssse3"), always_inline)) inline void CompressVectorSchedule(
    uint32_t state[8], const uint8_t* data, uint32_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    const __m128i* k = reinterpret_cast<const __m128i*>(kSha256RoundConstants);
    uint32_t wk[64];
    __m128i* wkv = reinterpret_cast<__m128i*>(wk);
    while (blocks--) {
        __m128i x[4];
        for (int i = 0; i < 4; ++i) {
            x[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            _mm_storeu_si128(wkv + i, _mm_add_epi32(x[i], _mm_loadu_si128(k + i)));
        }
#pragma GCC unroll 12
        for (int i = 4; i < 16; ++i) {
            const __m128i next =
                ScheduleStep(x[i & 3], x[(i + 1) & 3], x[(i + 2) & 3], x[(i + 3) & 3]);
            x[i & 3] = next;
            _mm_storeu_si128(wkv + i, _mm_add_epi32(next, _mm_loadu_si128(k + i)));
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        uint32_t bc = b ^ c;
        for (int i = 0; i < 64; i += 8) {
            KY_SHA_ROUND_CARRY(a, b, c, d, e, f, g, h, wk[i + 0]);
            KY_SHA_ROUND_CARRY(h, a, b, c, d, e, f, g, wk[i + 1]);
            KY_SHA_ROUND_CARRY(g, h, a, b, c, d, e, f, wk[i + 2]);
            KY_SHA_ROUND_CARRY(f, g, h, a, b, c, d, e, wk[i + 3]);
            KY_SHA_ROUND_CARRY(e, f, g, h, a, b, c, d, wk[i + 4]);
            KY_SHA_ROUND_CARRY(d, e, f, g, h, a, b, c, wk[i + 5]);
            KY_SHA_ROUND_CARRY(c, d, e, f, g, h, a, b, wk[i + 6]);
            KY_SHA_ROUND_CARRY(b, c, d, e, f, g, h, a, wk[i + 7]);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
        data += 64;
    }
    // The schedule is derived from the message: it does not stay on the stack.
    volatile uint32_t* wipe = wk;
    for (int i = 0; i < 64; ++i) wipe[i] = 0;
}

}  // namespace

// One body, compiled twice: with BMI2 the compiler rotates with rorx, which leaves its source
// alone and saves the copies that the rounds' rotates otherwise need.
__attribute__((target("ssse3"))) void Sha256CompressVectorScheduleSsse3(uint32_t state[8],
                                                                        const uint8_t* data,
                                                                        uint32_t blocks) {
    CompressVectorSchedule(state, data, blocks);
}

__attribute__((target("ssse3,bmi2"))) void Sha256CompressVectorScheduleBmi2(uint32_t state[8],
                                                                            const uint8_t* data,
                                                                            uint32_t blocks) {
    CompressVectorSchedule(state, data, blocks);
}

// Four rounds at a time: sha256rnds2 does two, on the state split into ABEF and CDGH. The message
// schedule is kept as four vectors of four words; w[(i + 1) & 3] is completed with sha256msg2
// while rounds 4i to 4i + 3 run, and w[(i - 1) & 3] started with sha256msg1.
__attribute__((target("sha,sse4.1,ssse3"))) void Sha256CompressShaInstructions(uint32_t state[8],
                                                                               const uint8_t* data,
                                                                               uint32_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));     // ABCD
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));  // EFGH
    tmp = _mm_shuffle_epi32(tmp, 0xB1);                                             // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);                                       // HGFE
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);                               // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);                                    // CDGH

    while (blocks--) {
        const __m128i savedAbef = state0;
        const __m128i savedCdgh = state1;
        __m128i w[4];
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
        }
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            const __m128i k =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kSha256RoundConstants[4 * i]));
            __m128i message = _mm_add_epi32(w[i & 3], k);
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            if (i >= 3 && i <= 14) {
                const __m128i carried = _mm_alignr_epi8(w[i & 3], w[(i - 1) & 3], 4);
                w[(i + 1) & 3] = _mm_add_epi32(w[(i + 1) & 3], carried);
                w[(i + 1) & 3] = _mm_sha256msg2_epu32(w[(i + 1) & 3], w[i & 3]);
            }
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
            if (i >= 1 && i <= 12) w[(i - 1) & 3] = _mm_sha256msg1_epu32(w[(i - 1) & 3], w[i & 3]);
        }
        state0 = _mm_add_epi32(state0, savedAbef);
        state1 = _mm_add_epi32(state1, savedCdgh);
        data += 64;
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

}  // namespace detail
}  // namespace kysig

#else

namespace kysig {
namespace detail {

bool Sha256HasShaInstructions() { return false; }
void Sha256CompressShaInstructions(uint32_t*, const uint8_t*, uint32_t) {}
Sha256VectorLevel Sha256VectorScheduleLevel() { return Sha256VectorLevel::kNone; }
void Sha256CompressVectorScheduleSsse3(uint32_t*, const uint8_t*, uint32_t) {}
void Sha256CompressVectorScheduleBmi2(uint32_t*, const uint8_t*, uint32_t) {}

}  // namespace detail
}  // namespace kysig

#endif
