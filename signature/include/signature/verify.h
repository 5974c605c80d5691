// Verification of the signature block appended to a signed file (or of the older legacy trailer).
//
// Every entry opens the file, reads what it needs, closes it and releases every buffer before it
// returns. The result is a 16-bit boolean; the status goes through the optional out-parameter.
// Status kSigVerifiedWithLegacyKey comes with a false result and still means verified: callers
// that accept either key test for it explicitly.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Status values. 2 and 3 mean one thing with a false result and another with a true result.
constexpr int32_t kSigFileMissing = 1;
constexpr int32_t kSigCannotOpen = 2;             // result false
constexpr int32_t kSigVerifiedLegacyTrailer = 2;  // result true
constexpr int32_t kSigOutOfMemory = 3;            // result false
constexpr int32_t kSigVerifiedPrimary = 3;        // result true (key selector 'P')
constexpr int32_t kSigBadArgument = 4;
constexpr int32_t kSigBadHeaders = 5;
constexpr int32_t kSigNoBlock = 7;
constexpr int32_t kSigMalformedBlock = 8;
constexpr int32_t kSigMismatch = 9;
constexpr int32_t kSigNoSignatureEntry = 10;
constexpr int32_t kSigVerifiedWithLegacyKey = 11;  // result false, but verified (key selector 'D')
constexpr int32_t kSigReadFailed = 13;

// mode 1 or 2: when the check against a signature block fails, a legacy trailer is tried.
// mode 0 or above 2: no legacy fallback.
constexpr uint32_t kSigModeBlockOnly = 0;
constexpr uint32_t kSigModeWithLegacy = 2;

// The caller-key entries take a 2048-bit modulus, big-endian: exactly this many bytes.
constexpr uint32_t kSigKeyLength = 256;

// path: UTF-16 on Windows; natively the wide string is converted to UTF-8 before it is opened.
// Full check with the built-in primary key for key selector 'P'.
uint16_t VerifyEmbeddedSignature(const wchar_t* path, int32_t* status, uint32_t mode);
// Quick check (signed length and the MD5 of the signed bytes among the first 4096 bytes).
uint16_t VerifyEmbeddedSignatureQuick(const wchar_t* path, int32_t* status, uint32_t mode);
// As above with the caller's modulus for key selector 'P'. A key of any length but 256 bytes is
// refused with kSigBadArgument.
uint16_t VerifyEmbeddedSignatureWithKey(const wchar_t* path, int32_t* status, uint32_t mode,
                                        const uint8_t* key, uint32_t keyLength);
uint16_t VerifyEmbeddedSignatureQuickWithKey(const wchar_t* path, int32_t* status, uint32_t mode,
                                             const uint8_t* key, uint32_t keyLength);

// The form of the signature block nearest the end of the file, as the entries find it: 'B'
// (binary), 'T' (text), or 0 when there is none that parses (a legacy trailer included). Says
// nothing of whether the block verifies: ask the entries first, then this.
char SigBlockForm(const wchar_t* path);

// True when the entry's outcome counts as verified for a caller that accepts either key.
inline bool SigAccepted(uint16_t result, int32_t status) {
    return result != 0 || status == kSigVerifiedWithLegacyKey;
}
