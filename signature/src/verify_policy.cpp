// The verification entries: which key opens which signature, which bytes are compared, and which
// status each failure reports. Reads in the order of the status table.
#include "verify_internal.h"

#include <signature/md5.h>
#include <signature/rsa.h>
#include <signature/sha256.h>
#include <signature/verify.h>
#include <signature/verify_format.h>
#include <signature/wipe.h>

#include <kysig_builtin_keys.h>  // generated at configure time from the public key files

#include <string.h>

namespace kysig {
namespace detail {

namespace {

constexpr uint32_t kModulusBits = 2048;

enum class CheckKind {
    kFull,
    kQuick
};

// Owns the open file of one check.
struct OpenFile {
    SigFile file;
    OpenFile() {
        memset(&file, 0, sizeof file);
        file.fd = -1;
    }
    ~OpenFile() { CloseSigFile(&file); }
};

// Opens a 256-byte signature into a zeroed heap buffer of the key's length. The message is
// written left-aligned, so a message with a zero leading byte moves one place forward; the record
// tag then fails to match, as the signing side never writes such a message.
bool OpenSignature(const uint8_t signature[256], const uint8_t* modulus, SigBuffer* message,
                   uint32_t* payloadLength) {
    if (!message->Allocate(kSigKeyLength)) return false;
    memset(message->data, 0, kSigKeyLength);
    uint8_t innerMd5[16];
    *payloadLength = RsaOpenSignature(signature, message->data, modulus, kModulusBits, innerMd5);
    SecureWipe(innerMd5, sizeof innerMd5);
    return true;
}

bool CheckBlock(const wchar_t* path, CheckKind kind, const uint8_t* primaryKey, int32_t* status) {
    OpenFile open;
    SigFile* file = &open.file;
    if (int32_t s = OpenSigFile(path, file)) return *status = s, false;
    if (file->length == 0) return *status = kSigReadFailed, false;

    ExcludedRanges ranges;
    if (int32_t s = CollectPeRanges(file, &ranges)) return *status = s, false;

    SignatureBlock block;
    if (int32_t s = LocateBlock(file, &block)) return *status = s, false;
    if (!block.hasSignatureEntry) return *status = kSigNoSignatureEntry, false;
    const uint8_t* key;
    if (block.selector == 'P') {
        key = primaryKey;
    } else if (block.selector == 'D') {
        key = kBuiltinLegacyModulus;
    } else {
        return *status = kSigMalformedBlock, false;
    }
    if (block.dataLength != kSignatureLength) return *status = kSigMalformedBlock, false;
    // The entry's data must lie inside the file: it is read from the block's start onwards.
    const uint64_t dataEnd = static_cast<uint64_t>(block.dataOffset) +
                             (block.text ? 2 * kSignatureLength : kSignatureLength);
    if (dataEnd > file->length - block.beginOffset) return *status = kSigMalformedBlock, false;

    uint8_t signature[kSignatureLength];
    int32_t s = ReadBlockSignature(file, &block, signature);
    SigBuffer message;
    uint32_t payloadLength = 0;
    if (s == 0 && !OpenSignature(signature, key, &message, &payloadLength)) s = kSigOutOfMemory;
    SecureWipe(signature, sizeof signature);
    if (s) return *status = s, false;
    // Besides the tag, the signing side's layout must hold (record length and its inner MD5): a
    // message that only happens to start with the tag is not a record.
    if (memcmp(message.data, kRecordTag, kRecordTagLength) != 0 || payloadLength != kRecordLength) {
        return *status = kSigMalformedBlock, false;
    }

    const uint32_t extentStart = block.beginOffset - block.leadIn;
    if (int32_t r = CheckBlockPlacement(&ranges, extentStart, block.excludedLength, file->length)) {
        return *status = r, false;
    }
    if (int32_t r = AddBlockRange(&ranges, extentStart, block.excludedLength, file->length)) {
        return *status = r, false;
    }
#ifdef KY_TEST_HOOKS
    ObserveExcludedRanges(&ranges);
#endif

    const uint32_t signedLength = SignedLength(&ranges, file->length);
    const uint8_t* record = message.data;
    bool same = LoadLe32(record + kRecordSignedLengthLow) == signedLength &&
                LoadLe32(record + kRecordSignedLengthHigh) == 0;
    if (kind == CheckKind::kFull) {
        uint8_t md5[16];
        uint8_t sha256[32];
        uint32_t produced;
        if (int32_t r = DigestSignedBytes(file, &ranges, file->length, md5, sha256, &produced)) {
            return *status = r, false;
        }
        // Fewer or more bytes than the ranges leave would mean ranges that overlap.
        if (produced != signedLength) return *status = kSigReadFailed, false;
        same = same && memcmp(record + kRecordFullMd5, md5, 16) == 0 &&
               memcmp(record + kRecordSha256, sha256, 32) == 0;
    } else {
        const uint32_t limit = file->length < kQuickLimit ? file->length : kQuickLimit;
        uint8_t md5[16];
        uint32_t produced;
        if (int32_t r = DigestSignedBytes(file, &ranges, limit, md5, nullptr, &produced)) {
            return *status = r, false;
        }
        same = same && memcmp(record + kRecordQuickMd5, md5, 16) == 0;
    }
    if (!same) return *status = kSigMismatch, false;
    if (block.selector == 'D') return *status = kSigVerifiedWithLegacyKey, false;
    *status = kSigVerifiedPrimary;
    return true;
}

uint32_t ReadFromFile(void* context, uint32_t offset, uint8_t* out, uint32_t count) {
    SigFile* file = static_cast<SigFile*>(context);
    if (!SeekSigFile(file, offset)) return 0;
    int64_t got = ReadSigFile(file, out, count);
    return got < 0 ? 0 : static_cast<uint32_t>(got);
}

bool CheckLegacyTrailer(const wchar_t* path, CheckKind kind) {
    OpenFile open;
    SigFile* file = &open.file;
    if (path == nullptr || OpenSigFile(path, file) != 0 || file->length == 0) return false;
    uint8_t format;
    if (!ReadSigFileAt(file, file->length - 1, &format, 1)) return false;
    if (format != 'B' && (format != 'T' || kind == CheckKind::kQuick)) return false;
    const uint32_t trailerLength = format == 'B' ? kSignatureLength + 1 : 2 * kSignatureLength + 1;
    if (file->length <= trailerLength) return false;
    const uint32_t contentLength = file->length - trailerLength;

    uint8_t signature[kSignatureLength];
    if (format == 'B') {
        if (!ReadSigFileAt(file, contentLength, signature, kSignatureLength)) return false;
    } else {
        uint8_t hex[2 * kSignatureLength];
        if (!ReadSigFileAt(file, contentLength, hex, sizeof hex)) return false;
        for (uint32_t i = 0; i < kSignatureLength; ++i) {
            signature[i] =
                static_cast<uint8_t>((HexDigit(hex[2 * i]) << 4) | HexDigit(hex[2 * i + 1]));
        }
    }
    SigBuffer message;
    uint32_t payloadLength;
    const bool opened = OpenSignature(signature, kBuiltinLegacyModulus, &message, &payloadLength);
    SecureWipe(signature, sizeof signature);
    if (!opened) return false;

    uint8_t length[4];
    memcpy(length, message.data + kLegacyMaskedLength, 4);
    LegacyLengthMask(length, kLegacyLengthSeed);
    if (LoadLe32(length) != file->length) return false;

    uint8_t md5[16];
    if (kind == CheckKind::kFull) {
        // Every byte before the trailer, streamed like the signed bytes of a block.
        ExcludedRanges none{};
        uint32_t produced;
        if (DigestSignedBytes(file, &none, contentLength, md5, nullptr, &produced) != 0 ||
            produced != contentLength) {
            return false;
        }
        return memcmp(message.data + kLegacyFullMd5, md5, 16) == 0;
    }
    uint8_t sample[kLegacySampleLength];
    LegacyQuickSample(ReadFromFile, file, contentLength, sample);
    Md5(sample, sizeof sample, md5);
    return memcmp(message.data + kLegacyQuickMd5, md5, 16) == 0;
}

uint16_t Verify(const wchar_t* path, int32_t* status, uint32_t mode, const uint8_t* key,
                uint32_t keyLength, CheckKind kind) {
    int32_t result = kSigBadArgument;
    bool verified = false;
    // A bad argument ends the call at once: a caller that passed no usable key must not see a
    // success through the legacy fallback, which never looks at its key.
    if (path != nullptr && key != nullptr && keyLength == kSigKeyLength) {
        verified = CheckBlock(path, kind, key, &result);
        if (!verified && (mode == 1 || mode == 2) && CheckLegacyTrailer(path, kind)) {
            result = kSigVerifiedLegacyTrailer;
            verified = true;
        }
    }
    if (status != nullptr) *status = result;
    return verified ? 1 : 0;
}

}  // namespace
}  // namespace detail
}  // namespace kysig

char SigBlockForm(const wchar_t* path) {
    if (path == nullptr) return 0;
    kysig::detail::OpenFile open;
    if (kysig::detail::OpenSigFile(path, &open.file) != 0 || open.file.length == 0) return 0;
    kysig::detail::SignatureBlock block;
    if (kysig::detail::LocateBlock(&open.file, &block) != 0) return 0;
    return block.text ? 'T' : 'B';
}

uint16_t VerifyEmbeddedSignature(const wchar_t* path, int32_t* status, uint32_t mode) {
    return kysig::detail::Verify(path, status, mode, kysig::detail::kBuiltinPrimaryModulus,
                                 kSigKeyLength, kysig::detail::CheckKind::kFull);
}

uint16_t VerifyEmbeddedSignatureQuick(const wchar_t* path, int32_t* status, uint32_t mode) {
    return kysig::detail::Verify(path, status, mode, kysig::detail::kBuiltinPrimaryModulus,
                                 kSigKeyLength, kysig::detail::CheckKind::kQuick);
}

uint16_t VerifyEmbeddedSignatureWithKey(const wchar_t* path, int32_t* status, uint32_t mode,
                                        const uint8_t* key, uint32_t keyLength) {
    return kysig::detail::Verify(path, status, mode, key, keyLength,
                                 kysig::detail::CheckKind::kFull);
}

uint16_t VerifyEmbeddedSignatureQuickWithKey(const wchar_t* path, int32_t* status, uint32_t mode,
                                             const uint8_t* key, uint32_t keyLength) {
    return kysig::detail::Verify(path, status, mode, key, keyLength,
                                 kysig::detail::CheckKind::kQuick);
}
