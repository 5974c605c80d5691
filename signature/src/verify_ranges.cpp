// The excluded ranges: the parts of a Windows executable that Authenticode signing rewrites, and
// the signature block itself. Everything else below the limit is a signed byte.
#include "verify_internal.h"

#include <signature/verify.h>

namespace kysig {
namespace detail {

namespace {

constexpr uint32_t kPeChecksumOffset = 88;
constexpr uint32_t kPe32CertificateEntry = 152;
constexpr uint32_t kPe32PlusCertificateEntry = 168;
constexpr uint16_t kPe32Magic = 0x10B;

uint64_t End(const ExcludedRange& r) { return static_cast<uint64_t>(r.first) + r.length; }

}  // namespace

uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t CollectPeRanges(SigFile* file, ExcludedRanges* ranges) {
    ranges->count = 0;
    ranges->hasCertificateTable = false;
    uint8_t dosHeader[64];
    if (!SeekSigFile(file, 0) || ReadSigFile(file, dosHeader, sizeof dosHeader) != 64) {
        return kSigBadHeaders;
    }
    if (dosHeader[0] != 'M' || dosHeader[1] != 'Z') return 0;
    const uint64_t peOffset = LoadLe32(dosHeader + 60);
    // Offsets past the 32-bit range cannot lie inside a file this library accepts. Only as much
    // of the headers is required as the optional header's kind needs: a small PE32 file may end
    // right after its certificate-table entry.
    if (peOffset + 26 > file->length) return kSigBadHeaders;
    uint8_t magicBytes[2];
    if (!ReadSigFileAt(file, static_cast<uint32_t>(peOffset + 24), magicBytes, 2)) {
        return kSigBadHeaders;
    }
    const uint16_t magic = static_cast<uint16_t>(magicBytes[0] | (magicBytes[1] << 8));
    const uint64_t entryOffset =
        peOffset + (magic == kPe32Magic ? kPe32CertificateEntry : kPe32PlusCertificateEntry);
    if (entryOffset + 8 > file->length) return kSigBadHeaders;
    uint8_t entry[8];
    if (!ReadSigFileAt(file, static_cast<uint32_t>(entryOffset), entry, 8)) return kSigBadHeaders;
    ranges->items[ranges->count++] = {static_cast<uint32_t>(peOffset + kPeChecksumOffset), 4};
    ranges->items[ranges->count++] = {static_cast<uint32_t>(entryOffset), 8};
    const uint32_t tableOffset = LoadLe32(entry);
    if (tableOffset != 0) {
        ranges->items[ranges->count++] = {tableOffset, LoadLe32(entry + 4)};
        ranges->hasCertificateTable = true;
    }
    return 0;
}

int32_t CheckBlockPlacement(const ExcludedRanges* ranges, uint32_t first, uint32_t length,
                            uint32_t fileLength) {
    const uint64_t extentEnd = static_cast<uint64_t>(first) + length;
    if (!ranges->hasCertificateTable) {
        // Bytes after the block would be signed bytes that nobody looks for there; a block in
        // the middle of a script would turn the rest of its line into a comment.
        return extentEnd == fileLength ? 0 : kSigMalformedBlock;
    }
    // Authenticode puts its certificate table at the end of the file: after the block when it
    // signs a file that carries one, before it when the block was added afterwards. A table
    // anywhere else would let its directory entry, an unsigned field, take signed bytes out of
    // the check.
    const ExcludedRange& table = ranges->items[2];
    const uint64_t tableEnd = End(table);
    const bool tableAfter = table.first == extentEnd && tableEnd == fileLength;
    const bool tableBefore = tableEnd == first && extentEnd == fileLength;
    return tableAfter || tableBefore ? 0 : kSigReadFailed;
}

int32_t AddBlockRange(ExcludedRanges* ranges, uint32_t first, uint32_t length,
                      uint32_t fileLength) {
    // The PE ranges come from the file's own headers: a certificate table that reaches back into
    // the headers, or past the end of the file, would make the signed bytes ambiguous.
    for (uint32_t i = 0; i < ranges->count; ++i) {
        if (End(ranges->items[i]) > fileLength) return kSigReadFailed;
        if (i > 0 && ranges->items[i].first < End(ranges->items[i - 1])) return kSigReadFailed;
    }
    ExcludedRange block{first, length};
    if (End(block) > fileLength || ranges->count >= 4) return kSigReadFailed;
    uint32_t at = 0;
    while (at < ranges->count && ranges->items[at].first <= first) ++at;
    if (at > 0 && End(ranges->items[at - 1]) > first) return kSigReadFailed;
    if (at < ranges->count && End(block) > ranges->items[at].first) return kSigReadFailed;
    for (uint32_t i = ranges->count; i > at; --i) ranges->items[i] = ranges->items[i - 1];
    ranges->items[at] = block;
    ++ranges->count;
    return 0;
}

#ifdef KY_TEST_HOOKS
namespace {
ExcludedRangesObserver g_rangesObserver = nullptr;
}  // namespace

void SetExcludedRangesObserverForTesting(ExcludedRangesObserver observer) {
    g_rangesObserver = observer;
}

void ObserveExcludedRanges(const ExcludedRanges* ranges) {
    if (g_rangesObserver != nullptr) g_rangesObserver(ranges);
}
#endif

uint32_t SignedLength(const ExcludedRanges* ranges, uint32_t fileLength) {
    uint32_t length = fileLength;
    for (uint32_t i = 0; i < ranges->count; ++i) length -= ranges->items[i].length;
    return length;
}

SignedBytesReader::SignedBytesReader(SigFile* file, const ExcludedRanges* ranges, uint32_t limit)
    : m_pFile(file), m_pRanges(ranges), m_limit(limit), m_position(0), m_range(0) {}

int32_t SignedBytesReader::Next(uint8_t* out, uint32_t capacity, uint32_t* count) {
    uint32_t filled = 0;
    while (filled < capacity && m_position < m_limit) {
        uint32_t stop = m_limit;
        if (m_range < m_pRanges->count) {
            const ExcludedRange& r = m_pRanges->items[m_range];
            if (r.first <= m_position) {
                // At or inside the next range: step over it.
                const uint64_t end = End(r);
                if (end > m_position)
                    m_position = end < m_limit ? static_cast<uint32_t>(end) : m_limit;
                ++m_range;
                continue;
            }
            if (r.first < m_limit) stop = r.first;
        }
        uint32_t n = stop - m_position;
        if (n > capacity - filled) n = capacity - filled;
        if (!SeekSigFile(m_pFile, m_position) || ReadSigFile(m_pFile, out + filled, n) != n) {
            return kSigReadFailed;
        }
        filled += n;
        m_position += n;
    }
    *count = filled;
    return 0;
}

}  // namespace detail
}  // namespace kysig
