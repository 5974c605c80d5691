// libFuzzer target over the four verification entries: the fuzzer's bytes are the file, read
// from memory through the verifier's own file functions. Seeded with the signed samples of every
// form, so that mutations start from blocks that parse.
//
// Two properties: every outcome is one of the status table's, and whenever a block verifies, the
// ranges the verifier left out of the digests are exactly the ones the format allows, worked out
// here by this file's own small code: the PE checksum and certificate-table entry, the block's
// extent ending the file (or next to a certificate table at the end), and, for the text form, an
// extent that a script host reads as blank lines and one comment line.
#include <signature/verify.h>
#include <signature/verify_format.h>

#include "verify_internal.h"

#include <kysig_builtin_keys.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

using kysig::detail::ExcludedRange;
using kysig::detail::ExcludedRanges;

ExcludedRanges g_seen;
bool g_wasSeen = false;

void Observe(const ExcludedRanges* ranges) {
    g_seen = *ranges;
    g_wasSeen = true;
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Hex(const uint8_t* p, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const uint8_t c = p[i];
        const uint32_t d = c >= '0' && c <= '9'   ? c - '0'
                           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : 0;
        v = (v << 4) | d;
    }
    return v;
}
bool Blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Aborts unless the ranges the verifier reported are the ones this input may leave unsigned.
void CheckLeftOut(const uint8_t* data, size_t size) {
    if (!g_wasSeen) abort();
    std::vector<ExcludedRange> allowed;
    bool hasTable = false;
    ExcludedRange table{0, 0};
    if (size >= 64 && data[0] == 'M' && data[1] == 'Z') {
        const uint64_t pe = Le32(data + 60);
        const uint64_t magicAt = pe + 24;
        if (magicAt + 2 > size) abort();
        const uint64_t entry =
            pe + ((data[magicAt] | (data[magicAt + 1] << 8)) == 0x10B ? 152 : 168);
        if (entry + 8 > size) abort();
        allowed.push_back({static_cast<uint32_t>(pe + 88), 4});
        allowed.push_back({static_cast<uint32_t>(entry), 8});
        if (Le32(data + entry) != 0) {
            hasTable = true;
            table = {Le32(data + entry), Le32(data + entry + 4)};
            allowed.push_back(table);
        }
    }
    // The end marker nearest the end, its trailer, and the block's start.
    size_t end = size;
    const size_t windowStart = size > kysig::kSearchWindow ? size - kysig::kSearchWindow : 0;
    for (size_t at = size - 16 + 1; at-- > windowStart;) {
        if (memcmp(data + at, kysig::kEndMarker, 16) == 0) {
            end = at;
            break;
        }
    }
    if (end == size || end < 21) abort();
    const bool text = data[end - 1] == 'T';
    const uint32_t distance = text ? Hex(data + end - 21, 8) : Le32(data + end - 11);
    const uint32_t padding = text ? Hex(data + end - 11, 8) : Le32(data + end - 6);
    if (distance > end) abort();
    const size_t begin = end - distance;
    const uint32_t leadIn = text ? Hex(data + begin + 18, 8) : Le32(data + begin + 17);
    if (leadIn > begin || padding > 32 || leadIn > 32) abort();
    const uint64_t first = begin - leadIn;
    const uint64_t last = static_cast<uint64_t>(end) + 16 + padding;
    const bool atEnd = last == size;
    const bool beforeTable = hasTable && table.first == last &&
                             static_cast<uint64_t>(table.first) + table.length == size;
    const bool afterTable =
        hasTable && static_cast<uint64_t>(table.first) + table.length == first && atEnd;
    if (hasTable ? !(beforeTable || afterTable) : !atEnd) abort();
    if (text) {
        if (begin == 0 || data[begin - 1] != '\'') abort();
        if (begin >= 2 && data[begin - 2] != '\r' && data[begin - 2] != '\n') abort();
        for (size_t i = first; i + 1 < begin; ++i) {
            if (!Blank(data[i])) abort();
        }
        for (size_t i = begin; i < end + 16; ++i) {
            if (data[i] < 0x20 || data[i] > 0x7E) abort();
        }
        for (size_t i = end + 16; i < last; ++i) {
            if (!Blank(data[i])) abort();
        }
    }
    allowed.push_back({static_cast<uint32_t>(first), static_cast<uint32_t>(last - first)});
    std::sort(allowed.begin(), allowed.end(),
              [](const ExcludedRange& a, const ExcludedRange& b) { return a.first < b.first; });
    if (allowed.size() != g_seen.count) abort();
    for (size_t i = 0; i < allowed.size(); ++i) {
        if (allowed[i].first != g_seen.items[i].first ||
            allowed[i].length != g_seen.items[i].length) {
            abort();
        }
    }
}

// Every outcome is one of the status table's: a true result only with one of the two success
// statuses, a false result never with a status that the table does not list.
void CheckOutcome(uint16_t result, int32_t status) {
    if (result) {
        if (status != kSigVerifiedPrimary && status != kSigVerifiedLegacyTrailer) abort();
        return;
    }
    switch (status) {
        case kSigFileMissing:
        case kSigCannotOpen:
        case kSigOutOfMemory:
        case kSigBadArgument:
        case kSigBadHeaders:
        case kSigNoBlock:
        case kSigMalformedBlock:
        case kSigMismatch:
        case kSigNoSignatureEntry:
        case kSigVerifiedWithLegacyKey:
        case kSigReadFailed:
            return;
        default:
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    kysig::detail::SetMemoryFileForTesting(data, static_cast<uint32_t>(size));
    kysig::detail::SetExcludedRangesObserverForTesting(Observe);
    // Small chunks, so that inputs cross chunk edges and, from 2 KiB of signed bytes on, take the
    // two-thread path.
    kysig::detail::SetChunkSizeForTesting(1024);
    // The path is not opened while the memory file is set.
    const wchar_t* path = L"memory";
    const uint8_t* key = kysig::detail::kBuiltinPrimaryModulus;
    // Each entry once: the built-in-key entries with the legacy fallback, the caller-key ones
    // without it (their other mode adds no path of its own).
    int32_t status = -1;
    g_wasSeen = false;
    const uint16_t full = VerifyEmbeddedSignature(path, &status, kSigModeWithLegacy);
    CheckOutcome(full, status);
    if ((full && status == kSigVerifiedPrimary) || status == kSigVerifiedWithLegacyKey) {
        CheckLeftOut(data, size);
    }
    CheckOutcome(VerifyEmbeddedSignatureQuick(path, &status, kSigModeWithLegacy), status);
    CheckOutcome(
        VerifyEmbeddedSignatureWithKey(path, &status, kSigModeBlockOnly, key, kSigKeyLength),
        status);
    VerifyEmbeddedSignatureQuickWithKey(path, nullptr, kSigModeBlockOnly, key, kSigKeyLength);
    kysig::detail::SetMemoryFileForTesting(nullptr, 0);
    return 0;
}
