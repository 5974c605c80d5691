// Conversions, resizing and modular exponentiation of the library's multi-precision integers.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <signature/bignum.h>

#include "fixture_key.h"
#include "test_util.h"

namespace {

using kysig::BigNum;
using kysig_test::PatternBytes;
using kysig_test::ToHex;

// Owns one BigNum for the length of a test.
class Number {
public:
    Number() : number_(kysig::BigNumCreate()) {}
    explicit Number(const std::vector<uint8_t>& bytes) : Number() { Set(bytes); }
    explicit Number(uint64_t value) : Number() {
        std::vector<uint8_t> bytes(8);
        for (int i = 0; i < 8; ++i) {
            bytes[7 - i] = static_cast<uint8_t>(value >> (8 * i));
        }
        Set(bytes);
    }
    ~Number() { kysig::BigNumRelease(&number_); }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;

    void Set(const std::vector<uint8_t>& bytes) {
        ASSERT_NE(number_, nullptr);
        kysig::BigNumFromBytes(number_, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes(kysig::BigNumToBytes(number_, nullptr, 0));
        kysig::BigNumToBytes(number_, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return bytes;
    }
    uint64_t Value() const {
        uint64_t value = 0;
        for (uint8_t b : Bytes()) {
            value = value << 8 | b;
        }
        return value;
    }
    BigNum* get() const { return number_; }
    BigNum* operator->() const { return number_; }

private:
    BigNum* number_;
};

// Checks the invariants that every operation must leave behind.
void ExpectWellFormed(const BigNum* n) {
    ASSERT_GE(n->allocated, 1u);
    ASSERT_LE(n->used, n->allocated);
    if (n->used > 0) {
        EXPECT_NE(n->words[n->used - 1], 0u) << "top used word is zero";
    }
    for (uint32_t i = n->used; i < n->allocated; ++i) {
        EXPECT_EQ(n->words[i], 0u) << "word " << i << " above used";
    }
}

TEST(BigNumCreate, HoldsZeroInOneWord) {
    Number n;
    ASSERT_NE(n.get(), nullptr);
    EXPECT_EQ(n->used, 0u);
    EXPECT_EQ(n->allocated, 1u);
    EXPECT_EQ(n->words[0], 0u);
}

TEST(BigNumRelease, SetsThePointerToNullAndAcceptsNull) {
    BigNum* n = kysig::BigNumCreate();
    ASSERT_NE(n, nullptr);
    kysig::BigNumRelease(&n);
    EXPECT_EQ(n, nullptr);
    kysig::BigNumRelease(&n);
    kysig::BigNumRelease(nullptr);
}

struct FromBytesCase {
    const char* label;
    std::vector<uint8_t> bytes;
    uint32_t wordsWritten;
    uint32_t used;
    uint32_t length;  // what to-bytes reports
};

std::vector<uint8_t> WithLeadingZeros(size_t total, size_t zeros) {
    std::vector<uint8_t> bytes = PatternBytes(total, static_cast<uint32_t>(zeros));
    for (size_t i = 0; i < zeros; ++i) {
        bytes[i] = 0;
    }
    bytes[zeros] |= 0x01;  // the first byte after the zeros is not zero
    return bytes;
}

const FromBytesCase kFromBytesCases[] = {
    {"Empty", {}, 0, 0, 0},
    {"OneByte", {0x01}, 1, 1, 1},
    {"AllZero", std::vector<uint8_t>(8, 0), 2, 0, 0},
    {"FiveBytes", {0x01, 0x02, 0x03, 0x04, 0x05}, 2, 2, 5},
    {"TopBitOfWord", {0x80, 0x00, 0x00, 0x00}, 1, 1, 4},
    {"Key256FirstByteZero", WithLeadingZeros(256, 1), 64, 64, 255},
    {"Key256FirstFourBytesZero", WithLeadingZeros(256, 4), 64, 63, 252},
};

class FromBytesTest : public ::testing::TestWithParam<FromBytesCase> {};

TEST_P(FromBytesTest, SetsUsedWordsAndLength) {
    const FromBytesCase& c = GetParam();
    Number n;
    EXPECT_EQ(
        kysig::BigNumFromBytes(n.get(), c.bytes.data(), static_cast<uint32_t>(c.bytes.size())),
        c.wordsWritten);
    EXPECT_EQ(n->used, c.used);
    EXPECT_EQ(kysig::BigNumToBytes(n.get(), nullptr, 0), c.length);
    ExpectWellFormed(n.get());
}

TEST_P(FromBytesTest, RoundTripsThroughToBytes) {
    const FromBytesCase& c = GetParam();
    Number n(c.bytes);
    std::vector<uint8_t> out(c.bytes.size(), 0xee);
    kysig::BigNumToBytes(n.get(), out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(ToHex(out), ToHex(c.bytes));
}

TEST_P(FromBytesTest, ReplacesALargerPreviousValue) {
    const FromBytesCase& c = GetParam();
    Number n(PatternBytes(300, 1));
    kysig::BigNumFromBytes(n.get(), c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(n->used, c.used);
    ExpectWellFormed(n.get());
}

INSTANTIATE_TEST_SUITE_P(BigNum, FromBytesTest, ::testing::ValuesIn(kFromBytesCases),
                         [](const ::testing::TestParamInfo<FromBytesCase>& info) {
                             return info.param.label;
                         });

TEST(BigNumFromBytes, PutsTheLastByteInTheLowestWord) {
    Number n(std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(n->words[0], 0x02030405u);
    EXPECT_EQ(n->words[1], 0x01u);
}

TEST(BigNumToBytes, ZeroFillsTheFrontOfALargerBuffer) {
    Number n(std::vector<uint8_t>{0x12, 0x34, 0x56});
    std::vector<uint8_t> out(7, 0xee);
    EXPECT_EQ(kysig::BigNumToBytes(n.get(), out.data(), 7), 3u);
    EXPECT_EQ(ToHex(out), "00000000123456");
}

TEST(BigNumToBytes, KeepsTheLeastSignificantBytesInASmallerBuffer) {
    Number n(std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9a});
    std::vector<uint8_t> out(3, 0xee);
    EXPECT_EQ(kysig::BigNumToBytes(n.get(), out.data(), 3), 5u);
    EXPECT_EQ(ToHex(out), "56789a");
}

TEST(BigNumToBytes, WritesNothingWithSizeZero) {
    Number n(std::vector<uint8_t>{0x12, 0x34});
    uint8_t out[2] = {0xee, 0xee};
    EXPECT_EQ(kysig::BigNumToBytes(n.get(), out, 0), 2u);
    EXPECT_EQ(ToHex(out, 2), "eeee");
}

TEST(BigNumResize, WideningKeepsTheValueAndZeroesNewWords) {
    Number n(std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0x05});
    ASSERT_EQ(kysig::BigNumResize(n.get(), 10), 0);
    EXPECT_EQ(n->allocated, 10u);
    EXPECT_EQ(n->used, 2u);
    EXPECT_EQ(ToHex(n.Bytes()), "0102030405");
    ExpectWellFormed(n.get());
}

TEST(BigNumResize, NarrowingDropsTheHighWords) {
    Number n(std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07});
    ASSERT_EQ(n->used, 3u);
    ASSERT_EQ(kysig::BigNumResize(n.get(), 1), 0);
    EXPECT_EQ(n->used, 1u);
    EXPECT_EQ(n.Value(), 7u);
    ExpectWellFormed(n.get());
    // Narrowing past the remaining value leaves zero, still well formed.
    Number m(std::vector<uint8_t>{0x01, 0x00, 0x00, 0x00, 0x00});
    ASSERT_EQ(kysig::BigNumResize(m.get(), 1), 0);
    EXPECT_EQ(m->used, 0u);
    ExpectWellFormed(m.get());
}

struct ModExpCase {
    const char* label;
    uint64_t base;
    uint64_t exponent;
    uint64_t modulus;
    uint64_t expected;
};

const ModExpCase kModExpCases[] = {
    {"BaseEqualsModulus", 3233, 65537, 3233, 0},
    {"BaseOne", 1, 65537, 3233, 1},
    {"Base65", 65, 65537, 3233, 2790},
    {"BaseMinusOne", 3232, 65537, 3233, 3232},
    {"BaseAboveModulusExponentOne", 7, 1, 5, 2},
    {"BaseAboveModulusSeveralWords", 0x123456789abcdefull, 3, 1000003,
     (0x123456789abcdefull % 1000003) * (0x123456789abcdefull % 1000003) % 1000003 *
         (0x123456789abcdefull % 1000003) % 1000003},
    {"ModulusOne", 12345, 65537, 1, 0},
    {"ExponentZero", 12345, 0, 3233, 1},
    {"TwoWordModulus", 2, 128, 0xfffffffffffffffbull, 25},  // 2^64 = 5 mod (2^64 - 5), squared
};

class ModExpTest : public ::testing::TestWithParam<ModExpCase> {};

TEST_P(ModExpTest, GivesTheResidue) {
    const ModExpCase& c = GetParam();
    Number base(c.base);
    Number exponent(c.exponent);
    Number modulus(c.modulus);
    Number result;
    kysig::BigNumModExp(result.get(), base.get(), exponent.get(), modulus.get());
    EXPECT_EQ(result.Value(), c.expected);
    ExpectWellFormed(result.get());
}

TEST_P(ModExpTest, ResultMayBeTheBase) {
    const ModExpCase& c = GetParam();
    Number base(c.base);
    Number exponent(c.exponent);
    Number modulus(c.modulus);
    kysig::BigNumModExp(base.get(), base.get(), exponent.get(), modulus.get());
    EXPECT_EQ(base.Value(), c.expected);
    ExpectWellFormed(base.get());
}

INSTANTIATE_TEST_SUITE_P(BigNum, ModExpTest, ::testing::ValuesIn(kModExpCases),
                         [](const ::testing::TestParamInfo<ModExpCase>& info) {
                             return info.param.label;
                         });

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    const size_t odd = hex.size() % 2;
    if (odd) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(0, 1), nullptr, 16)));
    }
    for (size_t i = odd; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Reductions whose quotient digit estimate is too large even after the corrections with the
// divisor's second word, so that the divisor has to be added back (found by simulating the
// division digit by digit; remainders from an independent big-integer implementation).
struct ReductionCase {
    const char* label;
    const char* dividendHex;
    const char* divisorHex;
    const char* remainderHex;
};

const ReductionCase kReductionCases[] = {
    {"AddBackAfterTwoCorrections", "fffffffe7fffffffffffffffffffffff80000001",
     "7fffffff7fffffffffffffff40000000", "7fffffff000000017ffffffe00000001"},
    {"AddBackWithoutCorrection", "ffffffff80000000ffffffff00000002", "8000000040000000fffffffe",
     "7fffffffc0000005fffffffc"},
    {"AddBackAfterOneCorrection", "40000000800000000000000200000000ffffffff",
     "8000000000000002ffffffff", "7fffffff8000000dfffffffb"},
    {"AddBackInALongerDividend", "800000018000000100000001000000008000000000000000",
     "40000000800000000000000080000000", "400000007fffffff8000000080000000"},
};

class ReductionTest : public ::testing::TestWithParam<ReductionCase> {};

TEST_P(ReductionTest, ExponentOneReducesTheBase) {
    const ReductionCase& c = GetParam();
    Number base(FromHex(c.dividendHex));
    Number modulus(FromHex(c.divisorHex));
    Number one(uint64_t{1});
    Number result;
    kysig::BigNumModExp(result.get(), base.get(), one.get(), modulus.get());
    EXPECT_EQ(ToHex(result.Bytes()), c.remainderHex);
}

INSTANTIATE_TEST_SUITE_P(BigNum, ReductionTest, ::testing::ValuesIn(kReductionCases),
                         [](const ::testing::TestParamInfo<ReductionCase>& info) {
                             return info.param.label;
                         });

TEST(BigNumModExp, LeavesTheResultAloneForModulusZero) {
    Number base(uint64_t{5});
    Number exponent(uint64_t{3});
    Number modulus(uint64_t{0});
    Number result(uint64_t{42});
    kysig::BigNumModExp(result.get(), base.get(), exponent.get(), modulus.get());
    EXPECT_EQ(result.Value(), 42u);
}

std::vector<uint8_t> FixtureBytes(const uint8_t (&bytes)[256]) {
    return std::vector<uint8_t>(bytes, bytes + 256);
}

TEST(BigNumModExp, OpensTheFixtureSignatureToItsMessage) {
    // The signature was made by another implementation; s^65537 mod n must give back its message.
    Number s(FixtureBytes(kysig_test::kFixtureSignature));
    Number n(FixtureBytes(kysig_test::kFixtureModulus));
    Number e(uint64_t{65537});
    Number m;
    kysig::BigNumModExp(m.get(), s.get(), e.get(), n.get());
    const std::vector<uint8_t> message = m.Bytes();
    ASSERT_EQ(message.size(), 256u);
    const size_t payloadLength = strlen(kysig_test::kFixturePayload);
    EXPECT_EQ(std::string(message.begin(), message.begin() + payloadLength),
              kysig_test::kFixturePayload);
    EXPECT_EQ(message[240], payloadLength);
}

TEST(BigNumModExp, PrivateThenPublicExponentGivesBackTheMessage) {
    Number n(FixtureBytes(kysig_test::kFixtureModulus));
    Number d(FixtureBytes(kysig_test::kFixturePrivateExponent));
    Number e(uint64_t{65537});
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::vector<uint8_t> message = PatternBytes(256, seed);
        message[0] &= 0x7f;  // below the modulus, whose top byte is 0xb6
        Number m(message);
        Number s;
        Number back;
        kysig::BigNumModExp(s.get(), m.get(), d.get(), n.get());
        kysig::BigNumModExp(back.get(), s.get(), e.get(), n.get());
        EXPECT_EQ(ToHex(back.Bytes()), ToHex(m.Bytes())) << "seed " << seed;
    }
}

}  // namespace
