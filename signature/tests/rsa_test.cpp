// The opening step: the public operation plus the check of the signing side's message layout.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <signature/bignum.h>
#include <signature/md5.h>
#include <signature/rsa.h>

#include "fixture_key.h"
#include "test_util.h"

namespace {

using kysig_test::PatternBytes;
using kysig_test::ToHex;

constexpr uint32_t kSize = 256;

// Signs a 256-byte message with the fixture's private exponent.
std::vector<uint8_t> Sign(const std::vector<uint8_t>& message) {
    kysig::BigNum* m = kysig::BigNumCreate();
    kysig::BigNum* d = kysig::BigNumCreate();
    kysig::BigNum* n = kysig::BigNumCreate();
    kysig::BigNum* s = kysig::BigNumCreate();
    kysig::BigNumFromBytes(m, message.data(), kSize);
    kysig::BigNumFromBytes(d, kysig_test::kFixturePrivateExponent, kSize);
    kysig::BigNumFromBytes(n, kysig_test::kFixtureModulus, kSize);
    kysig::BigNumModExp(s, m, d, n);
    std::vector<uint8_t> signature(kSize);
    kysig::BigNumToBytes(s, signature.data(), kSize);
    kysig::BigNumRelease(&m);
    kysig::BigNumRelease(&d);
    kysig::BigNumRelease(&n);
    kysig::BigNumRelease(&s);
    return signature;
}

void PutLength(std::vector<uint8_t>& message, uint32_t length) {
    for (int i = 0; i < 4; ++i) {
        message[kSize - 16 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

// payload, zero padding to a multiple of 16, MD5 of the payload, length 16 bytes from the end.
std::vector<uint8_t> LaidOut(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> message(kSize, 0);
    memcpy(message.data(), payload.data(), payload.size());
    kysig::Md5(payload.data(), static_cast<uint32_t>(payload.size()),
               message.data() + ((payload.size() + 15) & ~size_t{15}));
    PutLength(message, static_cast<uint32_t>(payload.size()));
    return message;
}

std::vector<uint8_t> Payload(size_t length) {
    std::vector<uint8_t> payload = PatternBytes(length, static_cast<uint32_t>(length));
    if (length > 0) {
        payload[0] = 0x41 + (payload[0] & 0x3f);  // non-zero and below the modulus's top byte 0xb6
    }
    return payload;
}

struct Opened {
    uint32_t result;
    std::vector<uint8_t> buffer;
    uint8_t innerMd5[16];
};

Opened Open(const std::vector<uint8_t>& signature, uint32_t modulusBits = 2048) {
    Opened opened;
    opened.buffer.assign(kSize, 0);
    memset(opened.innerMd5, 0, 16);
    opened.result =
        kysig::RsaOpenSignature(signature.data(), opened.buffer.data(), kysig_test::kFixtureModulus,
                                modulusBits, opened.innerMd5);
    return opened;
}

TEST(RsaOpenSignature, OpensASignatureMadeByAnotherImplementation) {
    const std::vector<uint8_t> signature(kysig_test::kFixtureSignature,
                                         kysig_test::kFixtureSignature + kSize);
    const Opened opened = Open(signature);
    const uint32_t length = static_cast<uint32_t>(strlen(kysig_test::kFixturePayload));
    ASSERT_EQ(opened.result, length);
    EXPECT_EQ(std::string(opened.buffer.begin(), opened.buffer.begin() + length),
              kysig_test::kFixturePayload);
    uint8_t expectedMd5[16];
    kysig::Md5(kysig_test::kFixturePayload, length, expectedMd5);
    EXPECT_EQ(ToHex(opened.innerMd5, 16), ToHex(expectedMd5, 16));
    const uint32_t md5Offset = (length + 15) & ~15u;
    EXPECT_EQ(ToHex(opened.buffer.data() + md5Offset, 16), ToHex(expectedMd5, 16));
    EXPECT_EQ(opened.buffer[kSize - 16], length);
}

// Payload lengths at the edges of the layout: a payload already on a 16-byte boundary needs no
// padding, 224 bytes is the largest one that leaves room for the MD5 and the length field.
class PayloadLengthTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PayloadLengthTest, GivesThePayloadLength) {
    const std::vector<uint8_t> payload = Payload(GetParam());
    const std::vector<uint8_t> message = LaidOut(payload);
    const Opened opened = Open(Sign(message));
    EXPECT_EQ(opened.result, GetParam());
    EXPECT_EQ(ToHex(opened.buffer), ToHex(message));
    uint8_t expectedMd5[16];
    kysig::Md5(payload.data(), static_cast<uint32_t>(payload.size()), expectedMd5);
    EXPECT_EQ(ToHex(opened.innerMd5, 16), ToHex(expectedMd5, 16));
}

INSTANTIATE_TEST_SUITE_P(RsaOpenSignature, PayloadLengthTest,
                         ::testing::Values(1u, 15u, 16u, 17u, 100u, 223u, 224u));

struct RefusedMessage {
    const char* label;
    std::vector<uint8_t> (*make)();
};

const RefusedMessage kRefusedMessages[] = {
    {"CorruptedInnerMd5",
     [] {
         std::vector<uint8_t> m = LaidOut(Payload(54));
         m[64] ^= 0x01;
         return m;
     }},
    {"CorruptedPayload",
     [] {
         std::vector<uint8_t> m = LaidOut(Payload(54));
         m[10] ^= 0x80;
         return m;
     }},
    {"LengthTooLargeForTheLayout",
     [] {
         std::vector<uint8_t> m = LaidOut(Payload(200));
         PutLength(m, 225);
         return m;
     }},
    {"LengthThatWouldOverflow",
     [] {
         std::vector<uint8_t> m = LaidOut(Payload(54));
         PutLength(m, 0xffffffffu);
         return m;
     }},
    {"LengthOneTooShort",
     [] {
         std::vector<uint8_t> m = LaidOut(Payload(54));
         PutLength(m, 53);
         return m;
     }},
};

class RefusedMessageTest : public ::testing::TestWithParam<RefusedMessage> {};

TEST_P(RefusedMessageTest, GivesZero) {
    const std::vector<uint8_t> message = GetParam().make();
    const Opened opened = Open(Sign(message));
    EXPECT_EQ(opened.result, 0u);
    // The public operation itself still ran: the message stands in the buffer.
    EXPECT_EQ(ToHex(opened.buffer), ToHex(message));
}

INSTANTIATE_TEST_SUITE_P(RsaOpenSignature, RefusedMessageTest,
                         ::testing::ValuesIn(kRefusedMessages),
                         [](const ::testing::TestParamInfo<RefusedMessage>& info) {
                             return info.param.label;
                         });

TEST(RsaOpenSignature, PlacesAShorterMessageAtTheStartOfTheBuffer) {
    // A message whose most significant byte is zero comes out left-aligned, one byte earlier than
    // it was laid out, so that its length field moves away from its place and the layout fails.
    std::vector<uint8_t> message = LaidOut(Payload(54));
    message[0] = 0;
    const Opened opened = Open(Sign(message));
    EXPECT_EQ(opened.result, 0u);
    EXPECT_EQ(ToHex(opened.buffer.data(), kSize - 1), ToHex(message.data() + 1, kSize - 1));
    EXPECT_EQ(opened.buffer[kSize - 1], 0u);
}

TEST(RsaOpenSignature, RefusesModulusSizesThatCannotHoldTheLayout) {
    const std::vector<uint8_t> signature(kysig_test::kFixtureSignature,
                                         kysig_test::kFixtureSignature + kSize);
    for (uint32_t bits : {0u, 100u, 2047u, 248u}) {
        const Opened opened = Open(signature, bits);
        EXPECT_EQ(opened.result, 0u) << bits << " bits";
        EXPECT_EQ(ToHex(opened.buffer), std::string(2 * kSize, '0')) << bits << " bits";
    }
}

}  // namespace
