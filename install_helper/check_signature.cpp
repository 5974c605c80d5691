#include "check_signature.h"

#include <signature/verify.h>

#include <stdio.h>

#include <string>

namespace {

struct Refusal {
    int status;
    int code;
    int detail;
};

// Outcomes of a refused check, by status; every status not listed gives 10.
constexpr Refusal kRefusals[] = {
    {kSigReadFailed, 1, 1},       {kSigFileMissing, 2, 2},    {kSigCannotOpen, 4, 3},
    {kSigOutOfMemory, 4, 4},      {kSigMalformedBlock, 5, 5}, {kSigMismatch, 5, 5},
    {kSigNoSignatureEntry, 5, 5}, {kSigNoBlock, 6, 6},        {kSigBadArgument, 8, 8},
};

// Whether the file's first two bytes are "MZ"; true as well when they cannot be read, so that a
// file that cannot be looked at is never taken for a script.
bool StartsLikeAProgram(const wchar_t* path) {
#ifdef _WIN32
    FILE* file = _wfopen(path, L"rb");
#else
    // The native build (tests of the gate's mapping only) has ASCII paths.
    std::string narrow;
    for (const wchar_t* p = path; *p; ++p) narrow += *p < 0x80 ? static_cast<char>(*p) : '?';
    FILE* file = fopen(narrow.c_str(), "rb");
#endif
    if (file == nullptr) return true;
    char head[2] = {};
    const bool program = fread(head, 1, 2, file) != 2 || (head[0] == 'M' && head[1] == 'Z');
    fclose(file);
    return program;
}

}  // namespace

int CheckFileSignature(const wchar_t* path, int* detail) {
    int code = 8;
    int detailCode = 8;
    if (path != nullptr) {
        int32_t status = 0;
        const uint16_t result = VerifyEmbeddedSignature(path, &status, kSigModeWithLegacy);
        if (result) {
            code = 0;
            detailCode = status;
        } else if (status == kSigVerifiedWithLegacyKey) {
            code = 0;
            detailCode = kSigVerifiedPrimary;
        } else {
            code = 10;
            detailCode = 10;
            for (const Refusal& r : kRefusals) {
                if (r.status == status) {
                    code = r.code;
                    detailCode = r.detail;
                }
            }
        }
    }
    if (detail != nullptr) *detail = detailCode;
    return code;
}

int CheckScriptSignature(const wchar_t* path, int* detail) {
    const int code = CheckFileSignature(path, detail);
    if (code != 0) return code;
    if (!StartsLikeAProgram(path) && SigBlockForm(path) == 'T') return 0;
    if (detail != nullptr) *detail = 5;
    return 5;
}
