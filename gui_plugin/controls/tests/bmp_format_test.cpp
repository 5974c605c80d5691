// The bitmap checks over the table of malformed files. Natively this runs under ASan with each
// file in an allocation of exactly its size: a read past the data stops the test with an error.
#include <gtest/gtest.h>

#include <memory>

#include "bmp_format.h"
#include "malformed_bitmaps.h"

namespace {

TEST(BitmapChecks, RefusesEveryMalformedFileWithItsReason) {
    for (const BitmapCase& c : BitmapCases()) {
        const size_t size = c.bytes.size();
        std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
        if (size) memcpy(exact.get(), c.bytes.data(), size);
        DibLayout layout;
        EXPECT_EQ(CheckBmpFile(exact.get(), size, &layout), c.expected) << c.name;
    }
}

TEST(BitmapReader, CopiesOnlyWhatPassedAndRefusesTheRest) {
    for (const BitmapCase& c : BitmapCases()) {
        const size_t size = c.bytes.size();
        std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
        if (size) memcpy(exact.get(), c.bytes.data(), size);
        DibCopy copy;
        EXPECT_EQ(ReadBmpFile(exact.get(), size, &copy), c.expected) << c.name;
        EXPECT_EQ(copy.bits.empty(), c.expected != DibCheck::kOk) << c.name;
    }
}

TEST(BitmapReader, StoresRowsBottomUpWhateverTheFilesOrder) {
    std::vector<uint8_t> bottomUp = malformed::ValidFile(8);
    const size_t bits = bottomUp.size() - 8;  // two rows of 4 bytes
    for (size_t i = 0; i < 8; ++i) bottomUp[bits + i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> topDown = bottomUp;
    malformed::Put32(topDown, 22, static_cast<uint32_t>(-2));
    for (size_t i = 0; i < 8; ++i) topDown[bits + i] = static_cast<uint8_t>(i < 4 ? i + 4 : i - 4);
    DibCopy a, b;
    ASSERT_EQ(ReadBmpFile(bottomUp.data(), bottomUp.size(), &a), DibCheck::kOk);
    ASSERT_EQ(ReadBmpFile(topDown.data(), topDown.size(), &b), DibCheck::kOk);
    EXPECT_EQ(a.bits, b.bits);
    EXPECT_EQ(a.info, b.info) << "both stored with a positive height";
    EXPECT_EQ(a.info.size(), 40u + 1024u);
}

TEST(BitmapChecks, PackedFormRefusesWhatTheFileFormRefuses) {
    // The same data as a bitmap resource holds it, without the file header.
    for (const BitmapCase& c : BitmapCases()) {
        if (c.bytes.size() < 14 || c.expected == DibCheck::kNotBmp ||
            c.expected == DibCheck::kBitsOffsetOutside ||
            c.expected == DibCheck::kFileSizeBelowBits) {
            continue;
        }
        const size_t size = c.bytes.size() - 14;
        std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
        memcpy(exact.get(), c.bytes.data() + 14, size);
        DibLayout layout;
        EXPECT_EQ(CheckPackedDib(exact.get(), size, &layout), c.expected) << c.name;
    }
}

TEST(BitmapChecks, LayoutOfAValidFile) {
    std::vector<uint8_t> file = malformed::ValidFile(8);
    DibLayout layout;
    ASSERT_EQ(CheckBmpFile(file.data(), file.size(), &layout), DibCheck::kOk);
    EXPECT_EQ(layout.width, 4);
    EXPECT_EQ(layout.height, 2);
    EXPECT_EQ(layout.colorEntries, 256u);
    EXPECT_EQ(layout.colorsOffset, 54u);
    EXPECT_EQ(layout.bitsOffset, 54u + 1024u);
    EXPECT_EQ(layout.stride, 4u);
    EXPECT_EQ(layout.bitsSize, 8u);
}

TEST(BitmapChecks, StrideIsPaddedToFourBytes) {
    struct {
        uint32_t width, bits;
        size_t stride;
    } cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8},  {3, 4, 4},  {9, 4, 8},
                 {5, 8, 8}, {1, 24, 4}, {5, 24, 16}, {3, 16, 8}, {7, 32, 28}};
    for (const auto& c : cases) EXPECT_EQ(DibStride(c.width, c.bits), c.stride) << c.width;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
TEST(BitmapChecks, RunsUnderAddressSanitizer) { SUCCEED(); }
#endif
#endif

}  // namespace
