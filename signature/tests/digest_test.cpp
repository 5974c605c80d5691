// MD5 and SHA-256 against the published test values, fed whole, split and byte by byte.
#include <string.h>

#include <string>
#include <vector>

#include "digest_path.h"

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

}  // namespace
