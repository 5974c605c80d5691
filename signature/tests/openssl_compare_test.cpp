// Our digests and arithmetic against OpenSSL's on many random inputs (native build only).
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level MD5/SHA-256 contexts let tests forge long counts
#include "digest_path.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <signature/bignum.h>
#include <signature/md5.h>
#include <signature/sha256.h>

#include "sample_files.h"
#include "test_util.h"
#include "verify_internal.h"

namespace {

using kysig_test::ToHex;

// Fixed seeds: a failure must reproduce.
std::mt19937 MakeRandom(uint32_t seed) { return std::mt19937(seed); }

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

std::string OpenSslDigest(const EVP_MD* md, const std::vector<uint8_t>& message) {
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest, &size, md, nullptr), 1);
    return ToHex(digest, size);
}

template <typename Context, size_t kSize, void (*Init)(Context*),
          void (*Update)(Context*, const void*, uint32_t), void (*Final)(Context*, uint8_t*)>
std::string RandomlySplit(std::mt19937& rng, const std::vector<uint8_t>& message) {
    Context ctx;
    Init(&ctx);
    size_t offset = 0;
    while (offset < message.size()) {
        // Mostly short pieces, now and then a long one, so that partial blocks meet whole blocks.
        size_t piece = rng() % 4 == 0 ? rng() % 5000 : rng() % 130;
        if (piece > message.size() - offset) {
            piece = message.size() - offset;
        }
        Update(&ctx, message.data() + offset, static_cast<uint32_t>(piece));
        offset += piece;
    }
    uint8_t digest[kSize];
    Final(&ctx, digest);
    return ToHex(digest, kSize);
}

struct DigestUnderTest {
    const char* name;
    const EVP_MD* (*openssl)();
    std::string (*oneShot)(const std::vector<uint8_t>&);
    std::string (*split)(std::mt19937&, const std::vector<uint8_t>&);
};

const DigestUnderTest kDigests[] = {
    {"MD5", EVP_md5,
     [](const std::vector<uint8_t>& m) {
         uint8_t d[16];
         kysig::Md5(m.data(), static_cast<uint32_t>(m.size()), d);
         return ToHex(d, 16);
     },
     RandomlySplit<kysig::Md5Context, 16, kysig::Md5Init, kysig::Md5Update, kysig::Md5Final>},
    {"SHA256", EVP_sha256,
     [](const std::vector<uint8_t>& m) {
         uint8_t d[32];
         kysig::Sha256(m.data(), static_cast<uint32_t>(m.size()), d);
         return ToHex(d, 32);
     },
     RandomlySplit<kysig::Sha256Context, 32, kysig::Sha256Init, kysig::Sha256Update,
                   kysig::Sha256Final>},
};

class DigestCompareTest : public ::testing::TestWithParam<DigestUnderTest> {};

TEST_P(DigestCompareTest, EveryShortLengthMatchesOpenSsl) {
    const DigestUnderTest& d = GetParam();
    std::mt19937 rng = MakeRandom(1);
    for (size_t length = 0; length <= 300; ++length) {
        const std::vector<uint8_t> message = RandomBytes(rng, length);
        const std::string expected = OpenSslDigest(d.openssl(), message);
        ASSERT_EQ(d.oneShot(message), expected) << length << " bytes";
        ASSERT_EQ(d.split(rng, message), expected) << length << " bytes, split";
    }
}

TEST_P(DigestCompareTest, RandomLengthsAndContentsMatchOpenSsl) {
    const DigestUnderTest& d = GetParam();
    std::mt19937 rng = MakeRandom(2);
    for (int i = 0; i < 200; ++i) {
        // A few lengths in the megabytes, the rest up to a few blocks of 4 KiB.
        const size_t length = i % 50 == 0 ? rng() % (6u << 20) : rng() % 20000;
        const std::vector<uint8_t> message = RandomBytes(rng, length);
        const std::string expected = OpenSslDigest(d.openssl(), message);
        ASSERT_EQ(d.oneShot(message), expected) << length << " bytes";
        ASSERT_EQ(d.split(rng, message), expected) << length << " bytes, split";
    }
}

INSTANTIATE_TEST_SUITE_P(OpenSsl, DigestCompareTest, ::testing::ValuesIn(kDigests),
                         [](const ::testing::TestParamInfo<DigestUnderTest>& info) {
                             return info.param.name;
                         });

TEST(Md5CountCompare, FullBitCountMatchesOpenSslBeyond4GiBits) {
    // Forge both contexts as if 2^32 - 512 + k * 2^32 bits had gone by, then cross the carry.
    std::mt19937 rng = MakeRandom(3);
    for (uint32_t high : {0u, 1u, 7u, 0xffffffffu}) {
        const std::vector<uint8_t> message = RandomBytes(rng, 200);
        MD5_CTX theirs;
        MD5_Init(&theirs);
        theirs.Nl = 0xfffffe00u;
        theirs.Nh = high;
        MD5_Update(&theirs, message.data(), message.size());
        uint8_t expected[16];
        MD5_Final(expected, &theirs);

        kysig::Md5Context ours;
        kysig::Md5Init(&ours);
        ours.count[0] = 0xfffffe00u;
        ours.count[1] = high;
        kysig::Md5Update(&ours, message.data(), 200);
        uint8_t digest[16];
        kysig::Md5Final(&ours, digest);
        EXPECT_EQ(ToHex(digest, 16), ToHex(expected, 16)) << "high half " << high;
    }
}

TEST(Sha256LengthFieldCompare, DeviatesFromTheStandardOnlyAbove512MiB) {
    std::mt19937 rng = MakeRandom(4);
    const std::vector<uint8_t> message = RandomBytes(rng, 64 + 30);

    // The standard's context after 512 MiB more: the bit count's high word goes up by one.
    SHA256_CTX standard;
    SHA256_Init(&standard);
    SHA256_Update(&standard, message.data(), 64);
    SHA256_CTX below = standard;
    standard.Nh += 1;
    SHA256_Update(&standard, message.data() + 64, 30);
    uint8_t standardDigest[32];
    SHA256_Final(standardDigest, &standard);
    // The same chaining words with the high word left at zero, which is what we must write.
    SHA256_Update(&below, message.data() + 64, 30);
    uint8_t zeroHighDigest[32];
    SHA256_Final(zeroHighDigest, &below);

    kysig::Sha256Context ours;
    kysig::Sha256Init(&ours);
    kysig::Sha256Update(&ours, message.data(), 64);
    ours.completedBytes += 1u << 29;
    kysig::Sha256Update(&ours, message.data() + 64, 30);
    uint8_t digest[32];
    kysig::Sha256Final(&ours, digest);

    EXPECT_EQ(ToHex(digest, 32), ToHex(zeroHighDigest, 32));
    EXPECT_NE(ToHex(digest, 32), ToHex(standardDigest, 32));
}

// --- big numbers ---

struct BnDeleter {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnDeleter>;

class Number {
public:
    explicit Number(const std::vector<uint8_t>& bytes) : number_(kysig::BigNumCreate()) {
        EXPECT_EQ(
            kysig::BigNumFromBytes(number_, bytes.data(), static_cast<uint32_t>(bytes.size())),
            (bytes.size() + 3) / 4);
    }
    Number() : number_(kysig::BigNumCreate()) {}
    ~Number() { kysig::BigNumRelease(&number_); }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    kysig::BigNum* get() const { return number_; }
    std::string Hex() const {
        std::vector<uint8_t> bytes(kysig::BigNumToBytes(number_, nullptr, 0));
        kysig::BigNumToBytes(number_, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return ToHex(bytes);
    }

private:
    kysig::BigNum* number_;
};

Bn ToBn(const std::vector<uint8_t>& bytes) {
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

std::string BnHex(const BIGNUM* b) {
    std::vector<uint8_t> bytes(BN_num_bytes(b));
    BN_bn2bin(b, bytes.data());
    return ToHex(bytes);
}

// A random byte string with a random number of leading zero bytes.
std::vector<uint8_t> RandomNumberBytes(std::mt19937& rng, size_t length) {
    std::vector<uint8_t> bytes = RandomBytes(rng, length);
    if (length > 0 && rng() % 3 == 0) {
        size_t zeros = rng() % (length + 1);
        std::fill(bytes.begin(), bytes.begin() + zeros, 0);
    }
    return bytes;
}

TEST(BigNumConversionCompare, FromBytesAndToBytesMatchOpenSsl) {
    std::mt19937 rng = MakeRandom(5);
    for (int i = 0; i < 3000; ++i) {
        const std::vector<uint8_t> bytes = RandomNumberBytes(rng, rng() % 300);
        Number ours(bytes);
        Bn theirs = ToBn(bytes);
        ASSERT_EQ(kysig::BigNumToBytes(ours.get(), nullptr, 0),
                  static_cast<uint32_t>(BN_num_bytes(theirs.get())));
        ASSERT_EQ(ours.Hex(), BnHex(theirs.get()));

        // Into a buffer of a random size: larger ones are zero-filled in front, smaller ones keep
        // the least significant bytes.
        const size_t size = rng() % 320;
        std::vector<uint8_t> out(size, 0xee);
        kysig::BigNumToBytes(ours.get(), out.data(), static_cast<uint32_t>(size));
        std::vector<uint8_t> full(size > 300 ? size : 300);
        ASSERT_EQ(BN_bn2binpad(theirs.get(), full.data(), static_cast<int>(full.size())),
                  static_cast<int>(full.size()));
        ASSERT_EQ(ToHex(out), ToHex(std::vector<uint8_t>(full.end() - size, full.end())))
            << "buffer of " << size;
    }
}

// Random modulus of exactly `words` words (top word non-zero).
std::vector<uint8_t> RandomModulus(std::mt19937& rng, size_t words) {
    std::vector<uint8_t> bytes = RandomBytes(rng, 4 * words);
    const int shape = rng() % 4;
    if (shape == 0) {
        bytes[0] |= 0x80;  // top bit set: no normalising shift in the division
    } else if (shape == 1) {
        bytes[0] = 0;
        bytes[1] = 0;
        bytes[2] = 0;
        bytes[3] = 1 + rng() % 255;  // top word small: the largest shift
    } else if (shape == 2) {
        std::fill(bytes.begin(), bytes.begin() + bytes.size() / 2,
                  0xff);  // long runs of ones stress the estimate
    }
    if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) {
        bytes[3] = 1;
    }
    return bytes;
}

void ExpectModExpMatches(const std::vector<uint8_t>& base, const std::vector<uint8_t>& exponent,
                         const std::vector<uint8_t>& modulus, BN_CTX* ctx) {
    Number b(base);
    Number e(exponent);
    Number m(modulus);
    Number r;
    kysig::BigNumModExp(r.get(), b.get(), e.get(), m.get());
    Bn tb = ToBn(base), te = ToBn(exponent), tm = ToBn(modulus), tr(BN_new());
    ASSERT_EQ(BN_mod_exp(tr.get(), tb.get(), te.get(), tm.get(), ctx), 1);
    ASSERT_EQ(r.Hex(), BnHex(tr.get())) << "base " << ToHex(base) << "\nexponent "
                                        << ToHex(exponent) << "\nmodulus " << ToHex(modulus);
}

TEST(BigNumModExpCompare, MatchesOpenSslForModuliOf1To64Words) {
    std::mt19937 rng = MakeRandom(6);
    std::unique_ptr<BN_CTX, void (*)(BN_CTX*)> ctx(BN_CTX_new(), BN_CTX_free);
    const std::vector<uint8_t> f4 = {0x01, 0x00, 0x01};
    for (size_t words = 1; words <= 64; ++words) {
        for (int i = 0; i < 12; ++i) {
            const std::vector<uint8_t> modulus = RandomModulus(rng, words);
            // Bases below, at and above the modulus length; some longer than the modulus.
            const size_t baseLength = rng() % (8 * words + 1);
            const std::vector<uint8_t> base = RandomNumberBytes(rng, baseLength);
            std::vector<uint8_t> exponent;
            switch (i % 4) {
                case 0:
                    exponent = f4;
                    break;
                case 1:
                    exponent = {static_cast<uint8_t>(1 + rng() % 255)};
                    break;
                case 2:
                    exponent = RandomBytes(rng, 1 + rng() % 8);
                    exponent[0] |= 1;
                    break;
                default:
                    // Exponents as long as the modulus (capped so that the test stays quick).
                    exponent = RandomBytes(rng, words <= 16 ? 4 * words : 16);
                    exponent[0] |= 1;
                    break;
            }
            ExpectModExpMatches(base, exponent, modulus, ctx.get());
        }
    }
}

TEST(BigNumModExpCompare, MatchesOpenSslOnNumbersOfExtremeWords) {
    // Words drawn from a few extreme values make the division's digit estimate wrong far more often
    // than random words do, so that the corrections and the add-back step are exercised.
    static const uint32_t kWords[] = {0,          1,          2,          0x3fffffff, 0x40000000,
                                      0x7fffffff, 0x80000000, 0x80000001, 0xfffffffe, 0xffffffff};
    std::mt19937 rng = MakeRandom(8);
    std::unique_ptr<BN_CTX, void (*)(BN_CTX*)> ctx(BN_CTX_new(), BN_CTX_free);
    auto extreme = [&](size_t words) {
        std::vector<uint8_t> bytes(4 * words);
        for (size_t i = 0; i < words; ++i) {
            const uint32_t w = kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
            for (int k = 0; k < 4; ++k) {
                bytes[4 * i + k] = static_cast<uint8_t>(w >> (24 - 8 * k));
            }
        }
        return bytes;
    };
    for (int i = 0; i < 4000; ++i) {
        const size_t words = 2 + rng() % (i % 10 == 0 ? 63 : 5);
        std::vector<uint8_t> modulus = extreme(words);
        if (modulus[0] == 0 && modulus[1] == 0 && modulus[2] == 0 && modulus[3] == 0) {
            modulus[3] = 1;
        }
        const std::vector<uint8_t> base = extreme(words + rng() % (words + 2));
        const std::vector<uint8_t> exponent =
            i % 2 ? std::vector<uint8_t>{1} : std::vector<uint8_t>{0x01, 0x00, 0x01};
        ExpectModExpMatches(base, exponent, modulus, ctx.get());
    }
}

TEST(BigNumModExpCompare, MatchesOpenSslAtEdgeValues) {
    std::mt19937 rng = MakeRandom(7);
    std::unique_ptr<BN_CTX, void (*)(BN_CTX*)> ctx(BN_CTX_new(), BN_CTX_free);
    for (size_t words : {1u, 2u, 3u, 33u, 64u}) {
        const std::vector<uint8_t> modulus = RandomModulus(rng, words);
        Bn tm = ToBn(modulus);
        Bn minusOne(BN_dup(tm.get()));
        BN_sub_word(minusOne.get(), 1);
        std::vector<uint8_t> minusOneBytes(BN_num_bytes(minusOne.get()));
        BN_bn2bin(minusOne.get(), minusOneBytes.data());
        const std::vector<std::vector<uint8_t>> bases = {
            {}, {1}, {2}, modulus, minusOneBytes, std::vector<uint8_t>(4 * words + 4, 0xff)};
        for (const auto& base : bases) {
            for (const std::vector<uint8_t>& exponent :
                 std::vector<std::vector<uint8_t>>{{1}, {2}, {3}, {0x01, 0x00, 0x01}}) {
                ExpectModExpMatches(base, exponent, modulus, ctx.get());
            }
        }
    }
}

// --- The streamed digests of the signed bytes ---------------------------------------------------

// OpenSSL's MD5 and SHA-256 of the bytes no range covers, worked out here byte by byte.
void OpenSslSignedDigests(const std::vector<uint8_t>& file,
                          const std::vector<kysig::detail::ExcludedRange>& ranges, uint8_t md5[16],
                          uint8_t sha[32], size_t* count) {
    std::vector<uint8_t> kept;
    for (size_t at = 0; at < file.size(); ++at) {
        bool excluded = false;
        for (const auto& r : ranges)
            excluded = excluded || (at >= r.first && at < r.first + r.length);
        if (!excluded) kept.push_back(file[at]);
    }
    unsigned int length = 0;
    EVP_Digest(kept.data(), kept.size(), md5, &length, EVP_md5(), nullptr);
    EVP_Digest(kept.data(), kept.size(), sha, &length, EVP_sha256(), nullptr);
    *count = kept.size();
}

struct StreamCase {
    uint32_t chunk;
    uint32_t size;
    std::vector<kysig::detail::ExcludedRange> ranges;
};

std::string Describe(const StreamCase& c) {
    std::string text =
        "chunk " + std::to_string(c.chunk) + ", " + std::to_string(c.size) + " bytes";
    for (const auto& r : c.ranges) {
        text += ", [" + std::to_string(r.first) + ", +" + std::to_string(r.length) + ")";
    }
    return text;
}

std::vector<StreamCase> StreamCases() {
    std::vector<StreamCase> cases;
    for (uint32_t chunk : {64u, 4096u}) {
        for (uint32_t size : {0u, 1u, chunk - 1, chunk, chunk + 1, 2 * chunk, 3 * chunk + 5}) {
            cases.push_back({chunk, size, {}});
            if (size >= chunk + 8) {
                // A range across the first chunk edge, one that ends on it, one that starts on it.
                cases.push_back({chunk, size, {{chunk - 3, 6}}});
                cases.push_back({chunk, size, {{chunk - 8, 8}, {chunk + 2, 4}}});
                cases.push_back({chunk, size, {{0, 5}, {chunk, chunk / 2}, {size - 7, 7}}});
            }
            if (size >= 2) cases.push_back({chunk, size, {{0, size / 2}}});
        }
    }
    return cases;
}

// Over chunk edges, on one thread and on two (from two chunks on), the streamed digests are
// OpenSSL's digests of the same signed bytes.
TEST(StreamedDigestCompare, MatchesOpenSslOverChunkEdges) {
    std::mt19937 rng(20261210);
    const std::string path = (kysig_test::WorkDir() / "streamed.bin").string();
    const std::wstring wide(path.begin(), path.end());
    for (const StreamCase& c : StreamCases()) {
        std::vector<uint8_t> file(c.size);
        for (auto& b : file) b = static_cast<uint8_t>(rng());
        kysig_test::WriteBytes(path, file);
        kysig::detail::ExcludedRanges ranges{};
        for (const auto& r : c.ranges) ranges.items[ranges.count++] = r;
        kysig::detail::SigFile sigFile{};
        ASSERT_EQ(kysig::detail::OpenSigFile(wide.c_str(), &sigFile), 0);
        kysig::detail::SetChunkSizeForTesting(c.chunk);
        uint8_t md5[16], sha[32];
        uint32_t produced = 0;
        const int32_t status =
            kysig::detail::DigestSignedBytes(&sigFile, &ranges, c.size, md5, sha, &produced);
        uint8_t quickMd5[16];
        uint32_t quickProduced = 0;
        const int32_t quickStatus = kysig::detail::DigestSignedBytes(
            &sigFile, &ranges, c.size, quickMd5, nullptr, &quickProduced);
        kysig::detail::SetChunkSizeForTesting(0);
        kysig::detail::CloseSigFile(&sigFile);
        uint8_t expectedMd5[16], expectedSha[32];
        size_t expectedCount = 0;
        OpenSslSignedDigests(file, c.ranges, expectedMd5, expectedSha, &expectedCount);
        SCOPED_TRACE(Describe(c));
        ASSERT_EQ(status, 0);
        EXPECT_EQ(produced, expectedCount);
        EXPECT_EQ(ToHex(md5, 16), ToHex(expectedMd5, 16));
        EXPECT_EQ(ToHex(sha, 32), ToHex(expectedSha, 32));
        ASSERT_EQ(quickStatus, 0);
        EXPECT_EQ(ToHex(quickMd5, 16), ToHex(expectedMd5, 16));
    }
}

}  // namespace
