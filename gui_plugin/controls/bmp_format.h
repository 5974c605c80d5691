// The checks a device-independent bitmap must pass before anything reads it: every size and
// offset of the header, the colour table and the pixel rows is compared with the bytes actually
// present. Plain C++ over a byte buffer, so that it is also built natively and run under ASan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class DibCheck {
    kOk,
    kTooShort,           // fewer bytes than the headers
    kNotBmp,             // a file not starting with "BM"
    kOldHeader,          // a header shorter than BITMAPINFOHEADER (the 12-byte OS/2 one)
    kHeaderOutside,      // a header size larger than the data
    kBadSize,            // width not positive, height 0, planes not 1, or too large a picture
    kBadDepth,           // not 1, 4, 8, 16, 24 or 32 bits per pixel
    kCompressed,         // anything but uncompressed rows
    kTooManyColors,      // more colour-table entries than 256 or than the depth can index
    kColorsOutside,      // the colour table runs past the data
    kBitsOffsetOutside,  // the file's pixel offset lies inside the headers or past the data
    kFileSizeBelowBits,  // the file header's size is smaller than its pixel offset
    kPixelsShort,        // fewer pixel bytes than stride x height
};

struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;  // as stored: negative for top-down rows
    uint16_t bitCount = 0;
    uint32_t headerSize = 0;    // biSize
    uint32_t colorEntries = 0;  // entries of the colour table present in the data
    size_t colorsOffset = 0;    // offset of the colour table in the data
    size_t bitsOffset = 0;      // offset of the first pixel row in the data
    size_t stride = 0;          // bytes per row, a multiple of 4
    size_t bitsSize = 0;        // stride x rows
};

// Bytes per row of a picture of that width and depth: ((w x b + 31) / 32) x 4.
size_t DibStride(uint32_t width, uint32_t bitCount);

// A packed DIB as a bitmap resource holds it: BITMAPINFOHEADER, colour table, rows.
DibCheck CheckPackedDib(const uint8_t* data, size_t size, DibLayout* layout);
// A BMP file: BITMAPFILEHEADER, then a packed DIB whose rows start at bfOffBits.
DibCheck CheckBmpFile(const uint8_t* data, size_t size, DibLayout* layout);

// What a BMP file's reader keeps: the 40-byte info header followed by room for 256 colour-table
// entries (those of the file copied, the rest zero; biSize set to 40, biHeight positive), and the
// rows bottom-up whatever the file's order.
struct DibCopy {
    std::vector<uint8_t> info;
    std::vector<uint8_t> bits;
};

// Checks the file, then copies what it checked; out is left alone unless the file passes.
DibCheck ReadBmpFile(const uint8_t* data, size_t size, DibCopy* out);
