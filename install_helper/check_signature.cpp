#include "check_signature.h"

#include <signature/verify.h>

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
