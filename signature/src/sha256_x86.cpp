// SHA-256's compression function on the x86 SHA instructions. Compiled for the instructions per
// function (target attribute), so the rest of the library stays portable; sha256.cpp calls it
// only when cpuid reports them.
#include "sha256_internal.h"

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

}  // namespace detail
}  // namespace kysig

#endif
