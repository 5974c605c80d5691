// BMP files that must be refused (and two that must not), each one field away from a valid file,
// with the check that refuses it. Shared by the native test under ASan, which holds each file in
// an allocation of exactly its size, and by the Windows test of CDIBitmap::Load.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bmp_format.h"

struct BitmapCase {
    std::string name;
    std::vector<uint8_t> bytes;
    DibCheck expected;
};

namespace malformed {

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 4 x 2 file of the given depth with a full colour table (none above 8 bits) and its rows.
inline std::vector<uint8_t> ValidFile(uint16_t bits) {
    const uint32_t entries = bits <= 8 ? (1u << bits) : 0;
    const uint32_t stride = (4 * bits + 31) / 32 * 4;
    const uint32_t offset = 14 + 40 + 4 * entries;
    std::vector<uint8_t> b(offset + 2 * stride, 0x5A);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 6, 0);
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, 4);  // width
    Put32(b, 22, 2);  // height
    Put16(b, 26, 1);  // planes
    Put16(b, 28, bits);
    Put32(b, 30, 0);  // BI_RGB
    for (size_t at = 34; at < 54; ++at) b[at] = 0;
    return b;
}

}  // namespace malformed

inline std::vector<BitmapCase> BitmapCases() {
    using namespace malformed;
    std::vector<BitmapCase> cases;
    auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v, int width) {
        if (width == 2) {
            Put16(b, at, static_cast<uint16_t>(v));
        } else {
            Put32(b, at, v);
        }
        return b;
    };
    const std::vector<uint8_t> rgb = ValidFile(24), indexed = ValidFile(8), mono = ValidFile(1);

    cases.push_back({"valid 24-bit", rgb, DibCheck::kOk});
    cases.push_back(
        {"valid top-down 8-bit", with(indexed, 22, static_cast<uint32_t>(-2), 4), DibCheck::kOk});
    cases.push_back({"empty", {}, DibCheck::kTooShort});
    cases.push_back({"file header only", std::vector<uint8_t>(rgb.begin(), rgb.begin() + 14),
                     DibCheck::kTooShort});
    cases.push_back({"not BM", with(rgb, 0, 'B' | ('A' << 8), 2), DibCheck::kNotBmp});
    cases.push_back({"12-byte OS/2 header", with(rgb, 14, 12, 4), DibCheck::kOldHeader});
    cases.push_back(
        {"header larger than the file", with(rgb, 14, 0x10000, 4), DibCheck::kHeaderOutside});
    cases.push_back({"zero width", with(rgb, 18, 0, 4), DibCheck::kBadSize});
    cases.push_back(
        {"negative width", with(rgb, 18, static_cast<uint32_t>(-4), 4), DibCheck::kBadSize});
    cases.push_back({"zero height", with(rgb, 22, 0, 4), DibCheck::kBadSize});
    cases.push_back({"lowest height", with(rgb, 22, 0x80000000u, 4), DibCheck::kBadSize});
    cases.push_back({"two planes", with(rgb, 26, 2, 2), DibCheck::kBadSize});
    cases.push_back({"rows beyond 256 MiB", with(with(rgb, 18, 0x7FFFFFFF, 4), 22, 0x7FFFFFFF, 4),
                     DibCheck::kBadSize});
    cases.push_back({"width x depth past 32 bits", with(with(rgb, 18, 0x40000000, 4), 28, 32, 2),
                     DibCheck::kBadSize});
    cases.push_back({"depth 7", with(rgb, 28, 7, 2), DibCheck::kBadDepth});
    cases.push_back({"depth 0", with(rgb, 28, 0, 2), DibCheck::kBadDepth});
    cases.push_back({"run-length compressed", with(indexed, 30, 1, 4), DibCheck::kCompressed});
    cases.push_back({"bit fields", with(rgb, 30, 3, 4), DibCheck::kCompressed});
    cases.push_back({"257 colours", with(indexed, 46, 257, 4), DibCheck::kTooManyColors});
    cases.push_back({"3 colours at 1 bit", with(mono, 46, 3, 4), DibCheck::kTooManyColors});
    cases.push_back({"colour table cut short",
                     std::vector<uint8_t>(indexed.begin(), indexed.begin() + 14 + 40 + 100),
                     DibCheck::kColorsOutside});
    cases.push_back(
        {"pixel offset past the file", with(rgb, 10, 0x10000, 4), DibCheck::kBitsOffsetOutside});
    cases.push_back({"pixel offset inside the colour table", with(indexed, 10, 60, 4),
                     DibCheck::kBitsOffsetOutside});
    cases.push_back(
        {"file size below the pixel offset", with(rgb, 2, 20, 4), DibCheck::kFileSizeBelowBits});
    cases.push_back({"last row one byte short", std::vector<uint8_t>(rgb.begin(), rgb.end() - 1),
                     DibCheck::kPixelsShort});
    cases.push_back({"height larger than the rows", with(rgb, 22, 3, 4), DibCheck::kPixelsShort});
    return cases;
}
