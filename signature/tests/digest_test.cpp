// MD5 and SHA-256 against the published test values, fed whole, split and byte by byte.
#include <string.h>

#include <string>
#include <vector>

#include "digest_path.h"
#include "sha256_internal.h"

#include <gtest/gtest.h>
#include <signature/md5.h>
#include <signature/sha256.h>

#include "test_util.h"

namespace {

using kysig_test::PatternBytes;
using kysig_test::ToHex;

// Both digests behind one face, so that every case runs through both.
struct Algorithm {
    const char* name;
    size_t digestSize;
    std::vector<uint8_t> (*oneShot)(const std::vector<uint8_t>& message);
    // Feeds the message in chunks of chunkSize bytes (the last one shorter); 0 means one update.
    std::vector<uint8_t> (*chunked)(const std::vector<uint8_t>& message, size_t chunkSize);
};

template <typename Context, size_t kSize, void (*Init)(Context*),
          void (*Update)(Context*, const void*, uint32_t), void (*Final)(Context*, uint8_t*)>
std::vector<uint8_t> Chunked(const std::vector<uint8_t>& message, size_t chunkSize) {
    Context ctx;
    Init(&ctx);
    // An empty update first: it must change nothing.
    Update(&ctx, message.data(), 0);
    if (chunkSize == 0) {
        chunkSize = message.size() + 1;
    }
    for (size_t offset = 0; offset < message.size(); offset += chunkSize) {
        size_t n = message.size() - offset < chunkSize ? message.size() - offset : chunkSize;
        Update(&ctx, message.data() + offset, static_cast<uint32_t>(n));
    }
    std::vector<uint8_t> digest(kSize);
    Final(&ctx, digest.data());
    return digest;
}

std::vector<uint8_t> Md5OneShot(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> digest(16);
    kysig::Md5(message.data(), static_cast<uint32_t>(message.size()), digest.data());
    return digest;
}

std::vector<uint8_t> Sha256OneShot(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> digest(32);
    kysig::Sha256(message.data(), static_cast<uint32_t>(message.size()), digest.data());
    return digest;
}

const Algorithm kMd5 = {
    "MD5", 16, Md5OneShot,
    Chunked<kysig::Md5Context, 16, kysig::Md5Init, kysig::Md5Update, kysig::Md5Final>};
const Algorithm kSha256 = {
    "SHA256", 32, Sha256OneShot,
    Chunked<kysig::Sha256Context, 32, kysig::Sha256Init, kysig::Sha256Update, kysig::Sha256Final>};

// The update sizes around the 64-byte block and the 56-byte room for the length field.
const size_t kChunkSizes[] = {1, 55, 56, 63, 64, 65};

struct PublishedVector {
    const Algorithm* algorithm;
    const char* label;
    const char* text;
    uint32_t repeat;  // the text repeated this many times
    const char* digestHex;
};

std::vector<uint8_t> MessageOf(const PublishedVector& v) {
    std::vector<uint8_t> message;
    size_t length = strlen(v.text);
    for (uint32_t i = 0; i < v.repeat; ++i) {
        message.insert(message.end(), v.text, v.text + length);
    }
    return message;
}

// RFC 1321, appendix A.5, and FIPS 180-2, appendix B (plus the empty message).
const PublishedVector kPublishedVectors[] = {
    {&kMd5, "Empty", "", 1, "d41d8cd98f00b204e9800998ecf8427e"},
    {&kMd5, "a", "a", 1, "0cc175b9c0f1b6a831c399e269772661"},
    {&kMd5, "abc", "abc", 1, "900150983cd24fb0d6963f7d28e17f72"},
    {&kMd5, "MessageDigest", "message digest", 1, "f96b697d7cb7938d525a2f31aaf161d0"},
    {&kMd5, "Alphabet", "abcdefghijklmnopqrstuvwxyz", 1, "c3fcd3d76192e4007dfb496cca67e13b"},
    {&kMd5, "Alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", 1,
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {&kMd5, "Digits80", "1234567890", 8, "57edf4a22be3c955ac49da2e2107b67a"},
    {&kSha256, "Empty", "", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {&kSha256, "abc", "abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {&kSha256, "TwoBlock", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {&kSha256, "MillionA", "a", 1000000,
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class PublishedVectorTest : public ::testing::TestWithParam<PublishedVector> {};

TEST_P(PublishedVectorTest, OneShotGivesPublishedDigest) {
    const PublishedVector& v = GetParam();
    EXPECT_EQ(ToHex(v.algorithm->oneShot(MessageOf(v))), v.digestHex);
}

TEST_P(PublishedVectorTest, OneUpdateGivesPublishedDigest) {
    const PublishedVector& v = GetParam();
    EXPECT_EQ(ToHex(v.algorithm->chunked(MessageOf(v), 0)), v.digestHex);
}

TEST_P(PublishedVectorTest, EverySplitGivesPublishedDigest) {
    const PublishedVector& v = GetParam();
    const std::vector<uint8_t> message = MessageOf(v);
    for (size_t chunk : kChunkSizes) {
        EXPECT_EQ(ToHex(v.algorithm->chunked(message, chunk)), v.digestHex)
            << "updates of " << chunk << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Digests, PublishedVectorTest, ::testing::ValuesIn(kPublishedVectors),
                         [](const ::testing::TestParamInfo<PublishedVector>& info) {
                             return std::string(info.param.algorithm->name) + "_" +
                                    info.param.label;
                         });

// Message lengths on both sides of every boundary: 55 bytes leave room for the length field in the
// last block, 56 need a second padding block, 64 fill a block exactly.
const size_t kBoundaryLengths[] = {0,  1,   54,  55,  56,  57,  63,  64,
                                   65, 119, 120, 121, 127, 128, 129, 1000};

class SplitTest : public ::testing::TestWithParam<const Algorithm*> {};

TEST_P(SplitTest, SplitUpdatesAgreeWithOneUpdate) {
    const Algorithm& algorithm = *GetParam();
    for (size_t length : kBoundaryLengths) {
        const std::vector<uint8_t> message = PatternBytes(length, static_cast<uint32_t>(length));
        const std::string whole = ToHex(algorithm.chunked(message, 0));
        EXPECT_EQ(ToHex(algorithm.oneShot(message)), whole) << length << " bytes";
        for (size_t chunk : kChunkSizes) {
            EXPECT_EQ(ToHex(algorithm.chunked(message, chunk)), whole)
                << length << " bytes in updates of " << chunk;
        }
    }
}

TEST_P(SplitTest, DigestDependsOnEveryLength) {
    // Messages of zeros that differ only in length around the padding boundary must all differ:
    // a padding fault at 55/56 bytes would make neighbours collide.
    const Algorithm& algorithm = *GetParam();
    std::vector<std::string> seen;
    for (size_t length = 0; length <= 130; ++length) {
        std::string digest = ToHex(algorithm.oneShot(std::vector<uint8_t>(length, 0)));
        for (const std::string& other : seen) {
            ASSERT_NE(digest, other) << length << " bytes";
        }
        seen.push_back(digest);
    }
}

INSTANTIATE_TEST_SUITE_P(Digests, SplitTest, ::testing::Values(&kMd5, &kSha256),
                         [](const ::testing::TestParamInfo<const Algorithm*>& info) {
                             return std::string(info.param->name);
                         });

TEST(Sha256LengthField, CarriesBitCountModulo2To32) {
    // Pretend that 512 MiB more than the first block went through the context: the bit count then
    // wraps to the same low 32 bits, and with the high half of the field always zero the digest is
    // the standard digest of the short message. (The chaining words are those of the first block
    // only, so nothing but the length field could tell the two apart.)
    const std::vector<uint8_t> message = PatternBytes(64 + 21, 7);
    kysig::Sha256Context ctx;
    kysig::Sha256Init(&ctx);
    kysig::Sha256Update(&ctx, message.data(), 64);
    ASSERT_EQ(ctx.completedBytes, 64u);
    ctx.completedBytes += 1u << 29;
    kysig::Sha256Update(&ctx, message.data() + 64, 21);
    uint8_t digest[32];
    kysig::Sha256Final(&ctx, digest);
    EXPECT_EQ(ToHex(digest, 32), ToHex(kSha256.oneShot(message)));
}

TEST(Sha256LengthField, CountsCompletedBlocksAndPendingBytes) {
    const std::vector<uint8_t> message = PatternBytes(200, 3);
    kysig::Sha256Context ctx;
    kysig::Sha256Init(&ctx);
    kysig::Sha256Update(&ctx, message.data(), 70);
    EXPECT_EQ(ctx.completedBytes, 64u);
    EXPECT_EQ(ctx.pending, 6u);
    kysig::Sha256Update(&ctx, message.data() + 70, 130);
    EXPECT_EQ(ctx.completedBytes, 192u);
    EXPECT_EQ(ctx.pending, 8u);
}

TEST(Md5BitCount, CarriesFromLowIntoHighHalf) {
    kysig::Md5Context ctx;
    kysig::Md5Init(&ctx);
    // 2^32 - 512 bits, a whole number of blocks, so that the partial block stays empty.
    ctx.count[0] = 0xfffffe00u;
    const std::vector<uint8_t> message = PatternBytes(100, 5);
    kysig::Md5Update(&ctx, message.data(), 100);
    EXPECT_EQ(ctx.count[0], 800u - 512u);
    EXPECT_EQ(ctx.count[1], 1u);
}

TEST(Md5BitCount, HighHalfEntersTheLengthField) {
    kysig::Md5Context low;
    kysig::Md5Context high;
    kysig::Md5Init(&low);
    kysig::Md5Init(&high);
    high.count[1] = 1;
    uint8_t a[16];
    uint8_t b[16];
    kysig::Md5Final(&low, a);
    kysig::Md5Final(&high, b);
    EXPECT_NE(ToHex(a, 16), ToHex(b, 16));
}

template <typename Context>
bool AllZero(const Context& ctx) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&ctx);
    for (size_t i = 0; i < sizeof(ctx); ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(DigestFinal, ClearsTheContext) {
    const std::vector<uint8_t> message = PatternBytes(100, 9);
    uint8_t digest[32];
    kysig::Md5Context md5;
    kysig::Md5Init(&md5);
    kysig::Md5Update(&md5, message.data(), 100);
    kysig::Md5Final(&md5, digest);
    EXPECT_TRUE(AllZero(md5));
    kysig::Sha256Context sha;
    kysig::Sha256Init(&sha);
    kysig::Sha256Update(&sha, message.data(), 100);
    kysig::Sha256Final(&sha, digest);
    EXPECT_TRUE(AllZero(sha));
}

// --- Each SHA-256 compression function against a textbook one ---------------------------------

// FIPS 180-2's compression written as plainly as it reads, apart from every function of the
// library, so that each of the library's versions is checked against code it does not share.
void TextbookCompress(uint32_t state[8], const uint8_t* data, uint32_t blocks) {
    auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    for (; blocks != 0; --blocks, data += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t) {
            w[t] = uint32_t{data[4 * t]} << 24 | uint32_t{data[4 * t + 1]} << 16 |
                   uint32_t{data[4 * t + 2]} << 8 | uint32_t{data[4 * t + 3]};
        }
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t v[8];
        memcpy(v, state, sizeof(v));
        for (int t = 0; t < 64; ++t) {
            const uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
            const uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const uint32_t t1 = v[7] + s1 + ch + kysig::detail::kSha256RoundConstants[t] + w[t];
            const uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
            const uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            memmove(v + 1, v, 7 * sizeof(uint32_t));
            v[4] += t1;
            v[0] = t1 + s0 + maj;
        }
        for (int i = 0; i < 8; ++i) state[i] += v[i];
    }
}

struct CompressFunction {
    const char* name;
    void (*compress)(uint32_t state[8], const uint8_t* data, uint32_t blocks);
    bool (*available)();
};

const CompressFunction kCompressFunctions[] = {
    {"ShaInstructions", kysig::detail::Sha256CompressShaInstructions,
     kysig::detail::Sha256HasShaInstructions},
    {"VectorScheduleSsse3", kysig::detail::Sha256CompressVectorScheduleSsse3,
     [] {
         return kysig::detail::Sha256VectorScheduleLevel() >=
                kysig::detail::Sha256VectorLevel::kSsse3;
     }},
    {"VectorScheduleBmi2", kysig::detail::Sha256CompressVectorScheduleBmi2,
     [] {
         return kysig::detail::Sha256VectorScheduleLevel() ==
                kysig::detail::Sha256VectorLevel::kSsse3Bmi2;
     }},
};

class CompressTest : public ::testing::TestWithParam<CompressFunction> {};

// Runs of 1 to 9 blocks from every offset within 16 bytes (the vector loads take any alignment),
// from the standard initial state and from states that are all ones, all zeros and patterned.
TEST_P(CompressTest, AgreesWithTheTextbookCompression) {
    const CompressFunction& f = GetParam();
    if (!f.available()) GTEST_SKIP() << f.name << ": the processor lacks its instructions";
    const std::vector<uint8_t> message = PatternBytes(9 * 64 + 16, 31);
    const uint32_t patterned[8] = {0x01234567, 0x89abcdef, 0xfedcba98, 0x76543210,
                                   0x0f1e2d3c, 0x4b5a6978, 0x8796a5b4, 0xc3d2e1f0};
    const uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const uint32_t ones[8] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    const uint32_t zeros[8] = {};
    int compared = 0;
    for (const uint32_t* start : {initial, ones, zeros, patterned}) {
        for (uint32_t blocks = 1; blocks <= 9; ++blocks) {
            for (size_t offset = 0; offset < 16; ++offset) {
                uint32_t ours[8], expected[8];
                memcpy(ours, start, sizeof(ours));
                memcpy(expected, start, sizeof(expected));
                f.compress(ours, message.data() + offset, blocks);
                TextbookCompress(expected, message.data() + offset, blocks);
                ASSERT_EQ(0, memcmp(ours, expected, sizeof(ours)))
                    << f.name << ": " << blocks << " blocks from offset " << offset;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 4 * 9 * 16);
}

INSTANTIATE_TEST_SUITE_P(Sha256, CompressTest, ::testing::ValuesIn(kCompressFunctions),
                         [](const ::testing::TestParamInfo<CompressFunction>& info) {
                             return std::string(info.param.name);
                         });

// The textbook compression itself: one block of "abc", padded, gives the published digest's
// state, so that a fault shared by it and the library could not pass as agreement.
TEST(TextbookCompress, GivesThePublishedStateForAbc) {
    uint8_t block[64] = {'a', 'b', 'c', 0x80};
    block[63] = 24;
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    TextbookCompress(state, block, 1);
    const uint32_t published[8] = {0xba7816bf, 0x8f01cfea, 0x414140de, 0x5dae2223,
                                   0xb00361a3, 0x96177a9c, 0xb410ff61, 0xf20015ad};
    EXPECT_EQ(0, memcmp(state, published, sizeof(state)));
}

}  // namespace
