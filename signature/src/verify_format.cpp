// The two parts of the legacy trailer's message that both sides compute the same way: the length
// mask and the 512-byte sample of the quick legacy check.
#include <signature/verify_format.h>

#include <string.h>

namespace kysig {

namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

struct ClippedReader {
    ContentReader read;
    void* context;
    uint32_t length;
    // Reads what lies inside the content; the rest of out keeps its zeros.
    uint32_t At(uint64_t offset, uint8_t* out, uint32_t count) const {
        if (offset >= length) return 0;
        uint64_t left = length - offset;
        if (count > left) count = static_cast<uint32_t>(left);
        return read(context, static_cast<uint32_t>(offset), out, count);
    }
};

constexpr uint32_t kMaxSections = 96;  // the loader refuses images with more

// Fills the sample from the first up to three sections of a PE32 i386 image; false when the
// content is not such an image or has no section with raw data inside it.
bool SampleSections(const ClippedReader& in, const uint8_t dos[64], uint8_t sample[512]) {
    const uint64_t pe = Le32(dos + 60);
    uint8_t header[26] = {};
    if (in.At(pe, header, sizeof header) != sizeof header) return false;
    if (memcmp(header, "PE\0\0", 4) != 0 || Le16(header + 4) != 0x14C ||
        Le16(header + 24) != 0x10B) {
        return false;
    }
    const uint32_t sectionCount = Le16(header + 6) < kMaxSections ? Le16(header + 6) : kMaxSections;
    const uint64_t table = pe + 24 + Le16(header + 20);
    uint32_t offsets[3];
    uint32_t sizes[3];
    uint32_t chosen = 0;
    for (uint32_t i = 0; i < sectionCount && chosen < 3; ++i) {
        uint8_t section[40] = {};
        if (in.At(table + 40ull * i, section, sizeof section) != sizeof section) break;
        const uint32_t rawSize = Le32(section + 16);
        const uint32_t rawOffset = Le32(section + 20);
        if (rawSize == 0 || rawOffset >= in.length) continue;
        offsets[chosen] = rawOffset;
        sizes[chosen] = rawSize;
        ++chosen;
    }
    if (chosen == 0) return false;
    const uint32_t share = kLegacySampleLength / chosen;
    for (uint32_t k = 0; k < chosen; ++k) {
        const uint32_t slot = k + 1 == chosen ? kLegacySampleLength - k * share : share;
        in.At(offsets[k], sample + k * share, sizes[k] < slot ? sizes[k] : slot);
    }
    return true;
}

}  // namespace

void LegacyLengthMask(uint8_t bytes[4], uint32_t seed) {
    uint32_t state = seed;
    for (int i = 0; i < 4; ++i) {
        const uint32_t k = state % 255 + 1;
        bytes[i] = static_cast<uint8_t>(bytes[i] ^ k);
        state = state + state / 255 + k;
    }
}

void LegacyQuickSample(ContentReader read, void* context, uint32_t contentLength,
                       uint8_t sample[512]) {
    const ClippedReader in{read, context, contentLength};
    memset(sample, 0, kLegacySampleLength);
    uint8_t dos[64] = {};
    const uint32_t have = in.At(0, dos, sizeof dos);
    const bool executable =
        have >= 2 && ((dos[0] == 'M' && dos[1] == 'Z') || (dos[0] == 'Z' && dos[1] == 'M'));
    if (!executable) {
        in.At(0, sample, kLegacySampleLength);
        return;
    }
    if (have == sizeof dos) {
        uint8_t sections[512] = {};
        if (SampleSections(in, dos, sections)) {
            memcpy(sample, sections, kLegacySampleLength);
            return;
        }
    }
    const uint64_t entry =
        ((static_cast<uint64_t>(Le16(dos + 8)) + Le16(dos + 22)) * 16) % 0x100000;
    in.At(entry, sample, kLegacySampleLength);
}

}  // namespace kysig
