// Small helpers shared by the signature library's tests.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace kysig_test {

inline std::string ToHex(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
    return ToHex(bytes.data(), bytes.size());
}

// Deterministic filler for messages whose content does not matter, only that it is not uniform.
inline std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

}  // namespace kysig_test
