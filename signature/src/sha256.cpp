// SHA-256 as FIPS 180-2 defines it, except for the length field (see sha256.h).
#include <signature/sha256.h>

#include <string.h>

#include <atomic>

#include "sha256_internal.h"
#include "sha256_rounds.h"
#include "steady_clock.h"

#include <signature/wipe.h>

namespace kysig {
namespace detail {

const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

}  // namespace detail

namespace {

using detail::kSha256RoundConstants;

inline uint32_t Load32BE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

inline void Store32BE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The message schedule is kept as a ring of 16 words.
#define KY_SHA_W(i) \
    (w[(i)&15] += KY_SHA_s1(w[((i)-2) & 15]) + w[((i)-7) & 15] + KY_SHA_s0(w[((i)-15) & 15]))

void CompressPortable(uint32_t state[8], const uint8_t* data, uint32_t blocks) {
    uint32_t w[16];
    while (blocks--) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 16; i += 8) {
            w[i + 0] = Load32BE(data + 4 * (i + 0));
            KY_SHA_ROUND(a, b, c, d, e, f, g, h, kSha256RoundConstants[i + 0], w[i + 0]);
            w[i + 1] = Load32BE(data + 4 * (i + 1));
            KY_SHA_ROUND(h, a, b, c, d, e, f, g, kSha256RoundConstants[i + 1], w[i + 1]);
            w[i + 2] = Load32BE(data + 4 * (i + 2));
            KY_SHA_ROUND(g, h, a, b, c, d, e, f, kSha256RoundConstants[i + 2], w[i + 2]);
            w[i + 3] = Load32BE(data + 4 * (i + 3));
            KY_SHA_ROUND(f, g, h, a, b, c, d, e, kSha256RoundConstants[i + 3], w[i + 3]);
            w[i + 4] = Load32BE(data + 4 * (i + 4));
            KY_SHA_ROUND(e, f, g, h, a, b, c, d, kSha256RoundConstants[i + 4], w[i + 4]);
            w[i + 5] = Load32BE(data + 4 * (i + 5));
            KY_SHA_ROUND(d, e, f, g, h, a, b, c, kSha256RoundConstants[i + 5], w[i + 5]);
            w[i + 6] = Load32BE(data + 4 * (i + 6));
            KY_SHA_ROUND(c, d, e, f, g, h, a, b, kSha256RoundConstants[i + 6], w[i + 6]);
            w[i + 7] = Load32BE(data + 4 * (i + 7));
            KY_SHA_ROUND(b, c, d, e, f, g, h, a, kSha256RoundConstants[i + 7], w[i + 7]);
        }
        for (int i = 16; i < 64; i += 8) {
            KY_SHA_ROUND(a, b, c, d, e, f, g, h, kSha256RoundConstants[i + 0], KY_SHA_W(i + 0));
            KY_SHA_ROUND(h, a, b, c, d, e, f, g, kSha256RoundConstants[i + 1], KY_SHA_W(i + 1));
            KY_SHA_ROUND(g, h, a, b, c, d, e, f, kSha256RoundConstants[i + 2], KY_SHA_W(i + 2));
            KY_SHA_ROUND(f, g, h, a, b, c, d, e, kSha256RoundConstants[i + 3], KY_SHA_W(i + 3));
            KY_SHA_ROUND(e, f, g, h, a, b, c, d, kSha256RoundConstants[i + 4], KY_SHA_W(i + 4));
            KY_SHA_ROUND(d, e, f, g, h, a, b, c, kSha256RoundConstants[i + 5], KY_SHA_W(i + 5));
            KY_SHA_ROUND(c, d, e, f, g, h, a, b, kSha256RoundConstants[i + 6], KY_SHA_W(i + 6));
            KY_SHA_ROUND(b, c, d, e, f, g, h, a, kSha256RoundConstants[i + 7], KY_SHA_W(i + 7));
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
    SecureWipe(w, sizeof(w));
}

#undef KY_SHA_W
#undef KY_SHA_ROUND
#undef KY_SHA_MAJ
#undef KY_SHA_CH
#undef KY_SHA_s1
#undef KY_SHA_s0
#undef KY_SHA_S1
#undef KY_SHA_S0
#undef KY_SHA_ROTR

using CompressFunction = void (*)(uint32_t state[8], const uint8_t* data, uint32_t blocks);

// How long compress takes over blocks, the best of a few tries, in nanoseconds.
long long BestTime(CompressFunction compress, const uint8_t* blocks, uint32_t count) {
    uint32_t state[8] = {};
    long long best = -1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const long long start = detail::SteadyNanoseconds();
        compress(state, blocks, count);
        const long long took = detail::SteadyNanoseconds() - start;
        if (best < 0 || took < best) best = took;
    }
    return best;
}

// The best code without the SHA instructions, found once. The vector schedule needs SSSE3
// (Windows XP era processors may lack it); where it is there, whether it beats the portable code
// depends on the processor (it does on the Intel cores measured, and lost on an AMD one with its
// SHA instructions masked), so both are timed over 16 KiB, alternately, and the faster one kept.
// Either gives the same digests; the choice costs about a fifth of a millisecond, once.
CompressFunction FindWithoutShaInstructions() {
    CompressFunction vector = nullptr;
    switch (detail::Sha256VectorScheduleLevel()) {
        case detail::Sha256VectorLevel::kSsse3Bmi2:
            vector = detail::Sha256CompressVectorScheduleBmi2;
            break;
        case detail::Sha256VectorLevel::kSsse3:
            vector = detail::Sha256CompressVectorScheduleSsse3;
            break;
        case detail::Sha256VectorLevel::kNone:
            return CompressPortable;
    }
    static uint8_t sample[16384];  // zeros: the work per block does not depend on the data
    const uint32_t count = sizeof(sample) / 64;
    long long vectorTime = -1, portableTime = -1;
    for (int round = 0; round < 2; ++round) {
        long long v = BestTime(vector, sample, count),
                  p = BestTime(CompressPortable, sample, count);
        if (vectorTime < 0 || v < vectorTime) vectorTime = v;
        if (portableTime < 0 || p < portableTime) portableTime = p;
    }
    return portableTime < vectorTime ? CompressPortable : vector;
}

std::atomic<CompressFunction> g_withoutShaInstructions{nullptr};

CompressFunction WithoutShaInstructions() {
    CompressFunction chosen = g_withoutShaInstructions.load(std::memory_order_relaxed);
    if (chosen == nullptr) {
        chosen = FindWithoutShaInstructions();
        g_withoutShaInstructions.store(chosen, std::memory_order_relaxed);
    }
    return chosen;
}

// Chosen once: the SHA instructions where the processor has them (Windows XP era processors do
// not), the best code without them otherwise.
// Racing first callers compute the same answer; the atomic only keeps the race well defined.
std::atomic<CompressFunction> g_chosen{nullptr};

CompressFunction Chosen() {
    CompressFunction chosen = g_chosen.load(std::memory_order_relaxed);
    if (chosen == nullptr) {
        chosen = detail::Sha256HasShaInstructions() ? detail::Sha256CompressShaInstructions
                                                    : WithoutShaInstructions();
        g_chosen.store(chosen, std::memory_order_relaxed);
    }
    return chosen;
}

#ifdef KY_TEST_HOOKS
std::atomic<CompressFunction> g_forced{nullptr};
#endif

void Compress(uint32_t state[8], const uint8_t* data, uint32_t blocks) {
#ifdef KY_TEST_HOOKS
    if (CompressFunction forced = g_forced.load(std::memory_order_relaxed)) {
        return forced(state, data, blocks);
    }
#endif
    Chosen()(state, data, blocks);
}

}  // namespace

#ifdef KY_TEST_HOOKS
void detail::SetSha256PathForTesting(Sha256Path path) {
    CompressFunction forced = nullptr;
    if (path == Sha256Path::kNoShaInstructions) forced = WithoutShaInstructions();
    if (path == Sha256Path::kPortable) forced = CompressPortable;
    g_forced.store(forced, std::memory_order_relaxed);
}

void detail::SetSha256PortableForTesting(bool portable) {
    SetSha256PathForTesting(portable ? Sha256Path::kPortable : Sha256Path::kChosen);
}

const char* detail::Sha256PathNameForTesting() {
    CompressFunction current = g_forced.load(std::memory_order_relaxed);
    if (current == nullptr) current = Chosen();
    if (current == detail::Sha256CompressShaInstructions) return "SHA instructions";
    if (current == detail::Sha256CompressVectorScheduleBmi2) return "vector schedule, SSSE3 + BMI2";
    if (current == detail::Sha256CompressVectorScheduleSsse3) return "vector schedule, SSSE3";
    return "portable";
}
#endif

void Sha256Init(Sha256Context* ctx) {
    ctx->state[0] = 0x6a09e667;
    ctx->state[1] = 0xbb67ae85;
    ctx->state[2] = 0x3c6ef372;
    ctx->state[3] = 0xa54ff53a;
    ctx->state[4] = 0x510e527f;
    ctx->state[5] = 0x9b05688c;
    ctx->state[6] = 0x1f83d9ab;
    ctx->state[7] = 0x5be0cd19;
    ctx->completedBytes = 0;
    ctx->pending = 0;
}

void Sha256Update(Sha256Context* ctx, const void* data, uint32_t length) {
    const uint8_t* input = static_cast<const uint8_t*>(data);
    if (ctx->pending != 0) {
        uint32_t need = 64 - ctx->pending;
        if (length < need) {
            memcpy(ctx->block + ctx->pending, input, length);
            ctx->pending += length;
            return;
        }
        memcpy(ctx->block + ctx->pending, input, need);
        Compress(ctx->state, ctx->block, 1);
        ctx->completedBytes += 64;
        ctx->pending = 0;
        input += need;
        length -= need;
    }
    // Whole blocks straight from the caller's buffer.
    uint32_t blocks = length / 64;
    if (blocks != 0) {
        Compress(ctx->state, input, blocks);
        ctx->completedBytes += blocks * 64;
        input += blocks * 64;
        length -= blocks * 64;
    }
    if (length != 0) {
        memcpy(ctx->block, input, length);
        ctx->pending = length;
    }
}

void Sha256Final(Sha256Context* ctx, uint8_t digest[32]) {
    uint32_t pending = ctx->pending;
    // The signing side writes the bit count modulo 2^32 into the low half of the length field and
    // leaves the high half zero; it matches the standard for inputs below 512 MiB.
    uint32_t bits = (ctx->completedBytes + pending) << 3;
    uint32_t blocks = pending < 56 ? 1 : 2;
    uint32_t end = blocks * 64;

    ctx->block[pending] = 0x80;
    memset(ctx->block + pending + 1, 0, end - pending - 1);
    Store32BE(ctx->block + end - 4, bits);
    Compress(ctx->state, ctx->block, blocks);

    for (int i = 0; i < 8; ++i) {
        Store32BE(digest + 4 * i, ctx->state[i]);
    }
    SecureWipe(ctx, sizeof(*ctx));
}

void Sha256(const void* data, uint32_t length, uint8_t digest[32]) {
    Sha256Context ctx;
    Sha256Init(&ctx);
    Sha256Update(&ctx, data, length);
    Sha256Final(&ctx, digest);
}

}  // namespace kysig
