// The layout of the signature block and the legacy trailer, shared by the verifier and the
// signing tool so that both sides agree on every constant.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace kysig {

constexpr char kBeginMarker[] = "KYCS4F3A4200C37O";
constexpr char kEndMarker[] = "62F3AB0132FKYCSE";
constexpr char kRecordTag[] = "KYSIGN";
constexpr uint32_t kMarkerLength = 16;
constexpr uint32_t kRecordTagLength = 6;
constexpr uint8_t kFieldTag = 3;
constexpr uint8_t kSignatureEntryType = 3;
constexpr uint32_t kSignatureLength = 256;  // bytes of one RSA-2048 signature
constexpr uint32_t kMaxLeadIn = 32;
constexpr uint32_t kMaxTrailingPadding = 32;

// The block's excluded range is exactly lead-in + block distance + 16 (the end marker) +
// trailing padding bytes, and it ends the file, or is followed by a certificate table that ends
// the file, or follows one when it ends the file itself.
//
// The text form ends scripts, and a script host reads the lead-in, the block and the padding as
// part of the script, so a text-form block must read as one comment line:
// - the lead-in holds only line breaks (CR, LF) and blanks (space, tab), except that its last
//   byte may be the comment mark;
// - the begin marker is directly preceded by the comment mark, and that mark is the first
//   character of its line (the file's first byte, or right after CR or LF); the mark may be the
//   signed content's last byte (lead-in 0) or the lead-in's last byte;
// - from the begin marker to the end of the end marker only printable ASCII (0x20 to 0x7E), so
//   no line break;
// - the trailing padding holds only line breaks and blanks.
// The signing tool's text blocks follow this with their default lead-in "\r\n'" and blank
// padding. Anything else is a malformed block.
constexpr uint8_t kTextCommentMark = '\'';

// Value of one hexadecimal digit of the text form, in either case; any other character counts
// as 0 (and makes the check fail later, at the latest in the comparison).
inline uint32_t HexDigitValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// Binary form: header, 20-byte entries, 11-byte trailer before the end marker.
constexpr uint32_t kBinaryHeaderLength = 39;
constexpr uint32_t kBinaryEntryLength = 20;
constexpr uint32_t kBinaryTrailerLength = 11;
// Text form: the same fields as hexadecimal text.
constexpr uint32_t kTextHeaderLength = 62;
constexpr uint32_t kTextEntryLength = 39;
constexpr uint32_t kTextTrailerLength = 21;

// The end marker is searched for in this many bytes at the end of the file.
constexpr uint32_t kSearchWindow = 656536;
// The quick check digests the signed bytes among this many leading bytes of the file.
constexpr uint32_t kQuickLimit = 4096;

// The signature record inside the opened RSA message.
constexpr uint32_t kRecordLength = 174;
constexpr uint32_t kRecordSignedLengthLow = 6;
constexpr uint32_t kRecordSignedLengthHigh = 10;
constexpr uint32_t kRecordQuickMd5 = 14;
constexpr uint32_t kRecordFullMd5 = 30;
constexpr uint32_t kRecordSha256 = 46;

// The legacy trailer's message.
constexpr uint32_t kLegacyQuickMd5 = 4;
constexpr uint32_t kLegacyMaskedLength = 20;
constexpr uint32_t kLegacyFullMd5 = 32;
constexpr uint32_t kLegacySampleLength = 512;

// XORs the four bytes with the legacy length mask driven by seed; masking and unmasking are the
// same operation.
void LegacyLengthMask(uint8_t bytes[4], uint32_t seed);

// Reads up to count bytes at offset into out and returns how many it read (0 past the end or on a
// failure). Lets the verifier sample a file through its reads and the signing tool sample memory.
using ContentReader = uint32_t (*)(void* context, uint32_t offset, uint8_t* out, uint32_t count);

// Fills sample with the 512-byte sample that the quick legacy check digests. It is taken from the
// content (the file without its 257-byte legacy trailer, so that the sample never holds the
// signature that covers it), of contentLength bytes:
// - content not starting with "MZ" or "ZM": its first 512 bytes;
// - a PE32 image for i386 (PE signature, machine 0x14C, optional-header magic 0x10B) with at least
//   one section whose raw data starts inside the content: the first up to three such sections in
//   section-table order, each filling an equal slot of the sample (512, 256 + 256 or
//   170 + 170 + 172 bytes) from the start of its raw data, as far as its raw size reaches;
// - any other "MZ"/"ZM" content: the 512 bytes at the DOS entry paragraph, (header paragraphs +
//   initial CS) * 16 taken modulo 1 MiB.
// Bytes that lie beyond the content, or beyond a section's raw data, stay zero.
void LegacyQuickSample(ContentReader read, void* context, uint32_t contentLength,
                       uint8_t sample[512]);

}  // namespace kysig
