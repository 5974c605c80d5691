#include "bmp_format.h"

#include <cstring>

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
// Larger pictures are refused before anything is allocated for them (256 MiB of rows).
constexpr uint64_t kMaxBitsSize = 256ull << 20;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The info header and colour table at data[0..size): everything but where the rows are.
DibCheck CheckInfo(const uint8_t* data, size_t size, DibLayout* out) {
    if (size < 4) return DibCheck::kTooShort;
    uint32_t headerSize = Read32(data);
    if (headerSize < kInfoHeaderSize) return DibCheck::kOldHeader;
    if (headerSize > size) return DibCheck::kHeaderOutside;
    int32_t width = static_cast<int32_t>(Read32(data + 4));
    int32_t height = static_cast<int32_t>(Read32(data + 8));
    uint16_t planes = Read16(data + 12);
    uint16_t bitCount = Read16(data + 14);
    uint32_t compression = Read32(data + 16);
    uint32_t clrUsed = Read32(data + 32);
    if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1) return DibCheck::kBadSize;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return DibCheck::kBadDepth;
    }
    if (compression != 0) return DibCheck::kCompressed;  // BI_RGB only
    uint32_t maxEntries = bitCount <= 8 ? (1u << bitCount) : 256;
    if (clrUsed > maxEntries) return DibCheck::kTooManyColors;
    uint32_t entries = clrUsed ? clrUsed : (bitCount <= 8 ? (1u << bitCount) : 0);
    uint64_t colorsEnd = static_cast<uint64_t>(headerSize) + 4ull * entries;
    if (colorsEnd > size) return DibCheck::kColorsOutside;

    uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    uint64_t stride = DibStride(static_cast<uint32_t>(width), bitCount);
    if (stride == 0 || stride * rows > kMaxBitsSize) return DibCheck::kBadSize;

    out->width = width;
    out->height = height;
    out->bitCount = bitCount;
    out->headerSize = headerSize;
    out->colorEntries = entries;
    out->colorsOffset = headerSize;
    out->bitsOffset = static_cast<size_t>(colorsEnd);
    out->stride = static_cast<size_t>(stride);
    out->bitsSize = static_cast<size_t>(stride * rows);
    return DibCheck::kOk;
}

}  // namespace

size_t DibStride(uint32_t width, uint32_t bitCount) {
    uint64_t bits = static_cast<uint64_t>(width) * bitCount;
    return static_cast<size_t>((bits + 31) / 32 * 4);
}

DibCheck CheckPackedDib(const uint8_t* data, size_t size, DibLayout* layout) {
    DibLayout l;
    DibCheck check = CheckInfo(data, size, &l);
    if (check != DibCheck::kOk) return check;
    if (l.bitsSize > size - l.bitsOffset) return DibCheck::kPixelsShort;
    *layout = l;
    return DibCheck::kOk;
}

DibCheck CheckBmpFile(const uint8_t* data, size_t size, DibLayout* layout) {
    if (size < kFileHeaderSize + 4) return DibCheck::kTooShort;
    if (data[0] != 'B' || data[1] != 'M') return DibCheck::kNotBmp;
    uint32_t fileSize = Read32(data + 2);
    uint32_t bitsOffset = Read32(data + 10);
    DibLayout l;
    DibCheck check = CheckInfo(data + kFileHeaderSize, size - kFileHeaderSize, &l);
    if (check != DibCheck::kOk) return check;
    // The rows must start after the colour table and inside the file.
    if (bitsOffset < kFileHeaderSize + l.bitsOffset || bitsOffset > size) {
        return DibCheck::kBitsOffsetOutside;
    }
    if (fileSize != 0 && fileSize < bitsOffset) return DibCheck::kFileSizeBelowBits;
    if (l.bitsSize > size - bitsOffset) return DibCheck::kPixelsShort;
    l.colorsOffset += kFileHeaderSize;
    l.bitsOffset = bitsOffset;
    *layout = l;
    return DibCheck::kOk;
}

DibCheck ReadBmpFile(const uint8_t* data, size_t size, DibCopy* out) {
    DibLayout layout;
    DibCheck check = CheckBmpFile(data, size, &layout);
    if (check != DibCheck::kOk) return check;
    DibCopy copy;
    copy.info.assign(kInfoHeaderSize + 256 * 4, 0);
    memcpy(copy.info.data(), data + kFileHeaderSize, kInfoHeaderSize);
    memcpy(copy.info.data() + kInfoHeaderSize, data + layout.colorsOffset, 4 * layout.colorEntries);
    const size_t rows = layout.bitsSize / layout.stride;
    const uint32_t height = static_cast<uint32_t>(rows);
    const uint32_t headerSize = kInfoHeaderSize;
    memcpy(copy.info.data(), &headerSize, 4);  // a longer header's extra fields are not kept
    memcpy(copy.info.data() + 8, &height, 4);
    if (layout.bitCount > 8) memset(copy.info.data() + 32, 0, 4);  // no colour table kept
    copy.bits.resize(layout.bitsSize);
    for (size_t row = 0; row < rows; ++row) {
        size_t from = layout.height < 0 ? rows - 1 - row : row;
        memcpy(copy.bits.data() + row * layout.stride,
               data + layout.bitsOffset + from * layout.stride, layout.stride);
    }
    *out = std::move(copy);
    return DibCheck::kOk;
}
