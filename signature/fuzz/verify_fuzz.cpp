// libFuzzer target over the four verification entries: the fuzzer's bytes are the file. Seeded
// with the signed samples of every form, so that mutations start from blocks that parse.
#include <signature/verify.h>

#include <kysig_builtin_keys.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace {

std::string g_path;
std::wstring g_widePath;

void PreparePath() {
    const char* tmp = getenv("TMPDIR");
    g_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kysig-verify-fuzz-" +
             std::to_string(getpid()) + ".bin";
    g_widePath.assign(g_path.begin(), g_path.end());
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
    if (g_path.empty()) {
        PreparePath();
        atexit([] { unlink(g_path.c_str()); });
    }
    FILE* f = fopen(g_path.c_str(), "wb");
    if (f == nullptr) abort();
    if (size != 0 && fwrite(data, 1, size, f) != size) abort();
    fclose(f);

    const wchar_t* path = g_widePath.c_str();
    const uint8_t* key = kysig::detail::kBuiltinPrimaryModulus;
    for (uint32_t mode : {0u, 2u}) {
        int32_t status = -1;
        CheckOutcome(VerifyEmbeddedSignature(path, &status, mode), status);
        CheckOutcome(VerifyEmbeddedSignatureQuick(path, &status, mode), status);
        CheckOutcome(VerifyEmbeddedSignatureWithKey(path, &status, mode, key, kSigKeyLength),
                     status);
        VerifyEmbeddedSignatureQuickWithKey(path, nullptr, mode, key, kSigKeyLength);
    }
    return 0;
}
