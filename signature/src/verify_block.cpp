// Finding and reading the signature block. Every offset and length the block states is checked
// against the bytes actually read before it is used.
#include "verify_internal.h"

#include <signature/verify.h>
#include <signature/verify_format.h>

#include <string.h>

namespace kysig {
namespace detail {

namespace {

// Field readers for the two forms: the text form stores each byte as two digits and each 32-bit
// field as eight, most significant digit first.
uint32_t Field8(const uint8_t* p, bool text) { return text ? HexNumber(p, 2) : p[0]; }
uint32_t Field32(const uint8_t* p, bool text) { return text ? HexNumber(p, 8) : LoadLe32(p); }

bool IsLineBreak(uint8_t c) { return c == '\r' || c == '\n'; }
bool IsBlank(uint8_t c) { return c == ' ' || c == '\t'; }

// The text form's rule (verify_format.h): a script host that reads the file sees the lead-in as
// empty lines, the block as one comment line and the padding as blanks, so that no byte the
// signature does not cover can be a statement.
int32_t CheckTextLayout(SigFile* file, const SignatureBlock* block, const uint8_t* head,
                        uint32_t have, uint32_t distance) {
    // Begin marker to end marker: printable characters only, so no line break and nothing that a
    // script host might take for the end of the line or of the file.
    const uint64_t blockLength = static_cast<uint64_t>(distance) + kMarkerLength;
    if (blockLength > have) return kSigMalformedBlock;
    for (uint32_t i = 0; i < blockLength; ++i) {
        if (head[i] < 0x20 || head[i] > 0x7E) return kSigMalformedBlock;
    }
    // The comment mark right before the begin marker, first on its line; before it, the lead-in
    // holds only line breaks and blanks.
    const uint32_t begin = block->beginOffset;
    if (begin == 0) return kSigMalformedBlock;
    uint8_t before[kMaxLeadIn + 2];
    const uint32_t count = begin < block->leadIn + 2 ? begin : block->leadIn + 2;
    if (!ReadSigFileAt(file, begin - count, before, count)) return kSigReadFailed;
    if (before[count - 1] != kTextCommentMark) return kSigMalformedBlock;
    if (count >= 2 && !IsLineBreak(before[count - 2])) return kSigMalformedBlock;
    for (uint32_t i = count - block->leadIn; i + 1 < count; ++i) {
        if (!IsLineBreak(before[i]) && !IsBlank(before[i])) return kSigMalformedBlock;
    }
    // After the end marker: line breaks and blanks.
    uint8_t after[kMaxTrailingPadding];
    const uint64_t paddingStart = static_cast<uint64_t>(begin) + blockLength;
    if (paddingStart + block->trailingPadding > file->length) return kSigMalformedBlock;
    if (block->trailingPadding > 0 &&
        !ReadSigFileAt(file, static_cast<uint32_t>(paddingStart), after, block->trailingPadding)) {
        return kSigReadFailed;
    }
    for (uint32_t i = 0; i < block->trailingPadding; ++i) {
        if (!IsLineBreak(after[i]) && !IsBlank(after[i])) return kSigMalformedBlock;
    }
    return 0;
}

}  // namespace

uint32_t HexDigit(uint8_t c) { return HexDigitValue(c); }

uint32_t HexNumber(const uint8_t* text, uint32_t digits) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < digits; ++i) value = (value << 4) | HexDigit(text[i]);
    return value;
}

int32_t LocateBlock(SigFile* file, SignatureBlock* block) {
    memset(block, 0, sizeof *block);
    const uint32_t windowLength = file->length < kSearchWindow ? file->length : kSearchWindow;
    const uint32_t windowStart = file->length - windowLength;
    SigBuffer window;
    if (!window.Allocate(windowLength)) return kSigOutOfMemory;
    if (!ReadSigFileAt(file, windowStart, window.data, windowLength)) return kSigReadFailed;

    // The marker nearest the end of the file wins, so a second block appended later replaces the
    // first one.
    if (windowLength < kMarkerLength) return kSigNoBlock;
    uint32_t match = windowLength - kMarkerLength + 1;
    for (uint32_t at = windowLength - kMarkerLength + 1; at-- > 0;) {
        if (memcmp(window.data + at, kEndMarker, kMarkerLength) == 0) {
            match = at;
            break;
        }
    }
    if (match > windowLength - kMarkerLength) return kSigNoBlock;
    if (match < kTextTrailerLength) return kSigMalformedBlock;

    const uint8_t format = window.data[match - 1];
    uint32_t distance;
    if (format == 'B') {
        distance = LoadLe32(window.data + match - kBinaryTrailerLength);
        block->trailingPadding = LoadLe32(window.data + match - kBinaryTrailerLength + 5);
    } else if (format == 'T') {
        distance = HexNumber(window.data + match - kTextTrailerLength, 8);
        block->trailingPadding = HexNumber(window.data + match - kTextTrailerLength + 10, 8);
    } else {
        return kSigNoBlock;
    }
    block->text = format == 'T';
    const uint32_t endOffset = windowStart + match;
    if (distance > endOffset) return kSigReadFailed;  // the seek would land before the file's start
    block->beginOffset = endOffset - distance;

    // Read the block again from its start: it may begin before the search window.
    const uint32_t available = file->length - block->beginOffset;
    const uint32_t readLength = available < windowLength ? available : windowLength;
    SigBuffer head;
    if (!head.Allocate(readLength)) return kSigOutOfMemory;
    if (!SeekSigFile(file, block->beginOffset)) return kSigReadFailed;
    int64_t got = ReadSigFile(file, head.data, readLength);
    if (got < 0) return kSigReadFailed;
    const uint32_t have = static_cast<uint32_t>(got);

    if (have < kMarkerLength || memcmp(head.data, kBeginMarker, kMarkerLength) != 0)
        return kSigNoBlock;
    const bool text = block->text;
    const uint32_t headerLength = text ? kTextHeaderLength : kBinaryHeaderLength;
    const uint32_t entryLength = text ? kTextEntryLength : kBinaryEntryLength;
    if (have < headerLength) return kSigMalformedBlock;
    const uint8_t* h = head.data;
    block->leadIn = Field32(h + (text ? 18 : 17), text);
    block->excludedLength = Field32(h + (text ? 28 : 22), text);
    const uint32_t entryCount = Field8(h + (text ? 36 : 26), text);
    if (static_cast<uint64_t>(headerLength) + static_cast<uint64_t>(entryCount) * entryLength >
        have) {
        return kSigMalformedBlock;
    }
    for (uint32_t i = 0; i < entryCount && !block->hasSignatureEntry; ++i) {
        const uint8_t* e = h + headerLength + i * entryLength;
        if (Field8(e, text) != kSignatureEntryType) continue;
        block->hasSignatureEntry = true;
        block->dataOffset = Field32(e + (text ? 4 : 2), text);
        const uint32_t length = Field32(e + (text ? 14 : 7), text);
        block->dataLength = text ? length / 2 : length;
        block->selector = e[text ? 22 : 11];
    }
    if (block->leadIn > kMaxLeadIn || block->trailingPadding > kMaxTrailingPadding) {
        return kSigMalformedBlock;
    }
    // The excluded range is the block and nothing else: lead-in, block, end marker, padding. A
    // longer one would leave bytes appended after the block out of the digests.
    const uint64_t extent =
        static_cast<uint64_t>(block->leadIn) + distance + kMarkerLength + block->trailingPadding;
    if (block->excludedLength != extent) return kSigMalformedBlock;
    if (block->leadIn > block->beginOffset) return kSigReadFailed;
    if (text) return CheckTextLayout(file, block, head.data, have, distance);
    return 0;
}

int32_t ReadBlockSignature(SigFile* file, const SignatureBlock* block, uint8_t signature[256]) {
    const uint64_t start = static_cast<uint64_t>(block->beginOffset) + block->dataOffset;
    if (start > 0x7FFFFFFF || !SeekSigFile(file, static_cast<uint32_t>(start)))
        return kSigOutOfMemory;
    if (!block->text) {
        return ReadSigFile(file, signature, kSignatureLength) == kSignatureLength ? 0
                                                                                  : kSigReadFailed;
    }
    uint8_t hex[2 * kSignatureLength];
    if (ReadSigFile(file, hex, sizeof hex) != static_cast<int64_t>(sizeof hex))
        return kSigReadFailed;
    for (uint32_t i = 0; i < kSignatureLength; ++i) {
        signature[i] = static_cast<uint8_t>((HexDigit(hex[2 * i]) << 4) | HexDigit(hex[2 * i + 1]));
    }
    return 0;
}

}  // namespace detail
}  // namespace kysig
