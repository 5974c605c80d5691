// Where the fields of a signed sample's block lie, found from its markers, and small writers for
// them: the tests change one field of a file that the signing tool signed.
#pragma once

#include <signature/verify_format.h>

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace kysig_test {
namespace block {

using Bytes = std::vector<uint8_t>;

inline size_t LastOf(const Bytes& b, const char* marker) {
    auto it = std::find_end(b.begin(), b.end(), marker, marker + 16);
    if (it == b.end()) throw std::runtime_error("marker missing in sample");
    return static_cast<size_t>(it - b.begin());
}
inline size_t Begin(const Bytes& b) { return LastOf(b, kysig::kBeginMarker); }
inline size_t End(const Bytes& b) { return LastOf(b, kysig::kEndMarker); }
inline bool IsText(const Bytes& b) { return b[End(b) - 1] == 'T'; }

inline void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetLe32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline void PutHex(Bytes& b, size_t at, uint32_t v, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < digits; ++i) b[at + i] = kDigits[(v >> (4 * (digits - 1 - i))) & 15];
}

// A numeric field of the block, in either form: binary offset and text offset from the begin
// marker (or, for trailer fields, negative offsets from the end marker).
struct Field {
    int binary;
    int text;
    int width;  // bytes in the binary form
    bool fromEnd;
};
constexpr Field kLeadIn{17, 18, 4, false};
constexpr Field kExcludedLength{22, 28, 4, false};
constexpr Field kEntryCount{26, 36, 1, false};
constexpr Field kEntryType{39, 62, 1, false};
constexpr Field kDataOffset{41, 66, 4, false};
constexpr Field kDataLength{46, 76, 4, false};
constexpr Field kDistance{-11, -21, 4, true};
constexpr Field kPadding{-6, -11, 4, true};

inline size_t FieldAt(const Bytes& b, const Field& f) {
    const bool text = IsText(b);
    return (f.fromEnd ? End(b) : Begin(b)) + (text ? f.text : f.binary);
}
inline void SetField(Bytes& b, const Field& f, uint32_t v) {
    const size_t at = FieldAt(b, f);
    if (IsText(b)) {
        PutHex(b, at, v, 2 * f.width);
    } else if (f.width == 1) {
        b[at] = static_cast<uint8_t>(v);
    } else {
        PutLe32(b, at, v);
    }
}
inline size_t SelectorAt(const Bytes& b) { return Begin(b) + (IsText(b) ? 84 : 50); }
inline size_t SignatureAt(const Bytes& b) { return Begin(b) + (IsText(b) ? 101 : 59); }

inline size_t PeOffset(const Bytes& b) { return GetLe32(b, 60); }
inline size_t CertificateEntryAt(const Bytes& b) {
    const size_t pe = PeOffset(b);
    return pe + ((b[pe + 24] | (b[pe + 25] << 8)) == 0x10B ? 152 : 168);
}

inline void Flip(Bytes& b, size_t at) { b[at] ^= 0x5A; }

// The text form's fields as numbers.
inline uint32_t GetField(const Bytes& b, const Field& f) {
    const size_t at = FieldAt(b, f);
    if (!IsText(b)) return f.width == 1 ? b[at] : GetLe32(b, at);
    uint32_t v = 0;
    for (int i = 0; i < 2 * f.width; ++i) {
        const uint8_t c = b[at + i];
        v = (v << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return v;
}

}  // namespace block
}  // namespace kysig_test
