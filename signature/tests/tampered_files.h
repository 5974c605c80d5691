// Files that the signing tool signed and that were changed afterwards in bytes the signature does
// not cover, each with the status the verifier must give it; the untouched samples are the
// controls. One table for every caller of the gate: the four entries, CheckFileSignature and the
// install helper's script check.
#pragma once

#include "block_fields.h"

#include <stdint.h>

#include <string>

namespace kysig_test {

struct TamperedFile {
    const char* name;
    const char* sample;
    void (*change)(block::Bytes&);  // null: the control, unchanged
    int32_t status;                 // of the full check: 3 verified, 8 or 13 refused
};

namespace tamper {

using namespace block;

inline void Append(Bytes& b, const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
}

// Bytes appended after the block, with the excluded length grown to cover them.
inline void AppendCovered(Bytes& b, const std::string& text) {
    const uint32_t excluded = GetField(b, kExcludedLength);
    Append(b, text);
    SetField(b, kExcludedLength, excluded + static_cast<uint32_t>(text.size()));
}

// Writes text over the bytes at `at` (same length, so no field changes).
inline void Overwrite(Bytes& b, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// Inserts text right before the lead-in and makes it part of the lead-in.
inline void GrowLeadIn(Bytes& b, const std::string& text) {
    const uint32_t leadIn = GetField(b, kLeadIn);
    const uint32_t excluded = GetField(b, kExcludedLength);
    SetField(b, kLeadIn, leadIn + static_cast<uint32_t>(text.size()));
    SetField(b, kExcludedLength, excluded + static_cast<uint32_t>(text.size()));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(Begin(b) - leadIn), text.begin(), text.end());
}

// Appends text after the end marker's padding and makes it part of the padding.
inline void GrowPadding(Bytes& b, const std::string& text) {
    const uint32_t padding = GetField(b, kPadding);
    SetField(b, kPadding, padding + static_cast<uint32_t>(text.size()));
    AppendCovered(b, text);
}

inline void SetCertificateEntry(Bytes& b, uint32_t offset, uint32_t size) {
    PutLe32(b, CertificateEntryAt(b), offset);
    PutLe32(b, CertificateEntryAt(b) + 4, size);
}

constexpr const char* kStatement = "\r\nWScript.Echo 1\r\n";
// Text-form offsets from the begin marker: the reserved header digits and the unused digits
// between the signature data and the trailer.
constexpr size_t kTextReserved = 38;
constexpr size_t kTextGapFromEnd = 21 + 24;

}  // namespace tamper

using namespace block;

inline const TamperedFile kTamperedFiles[] = {
    // Controls: as the signing tool wrote them.
    {"ScriptControl", "script.vbs", nullptr, 3},
    {"PaddedScriptControl", "script.padded.vbs", nullptr, 3},
    {"BinaryBlockScriptControl", "script.b.vbs", nullptr, 3},
    {"TextPayloadControl", "payload.t", nullptr, 3},
    {"BinaryPayloadControl", "payload.b", nullptr, 3},
    {"Pe64Control", "pe64.b.exe", nullptr, 3},
    {"Pe32Control", "pe32.b.exe", nullptr, 3},
    {"SmallPe32Control", "pe32.small.b.exe", nullptr, 3},
    {"AuthenticodeControl", "pe64.authenticode.exe", nullptr, 3},

    // Bytes after the block: covered by a longer excluded length, or simply appended.
    {"ScriptLineAppendedAndExcluded", "script.vbs",
     +[](Bytes& b) { tamper::AppendCovered(b, "WScript.Echo 1\r\n"); }, 8},
    {"ScriptLineAppended", "script.vbs", +[](Bytes& b) { tamper::Append(b, tamper::kStatement); },
     8},
    {"TextPayloadBytesAppendedAndExcluded", "payload.t",
     +[](Bytes& b) { tamper::AppendCovered(b, tamper::kStatement); }, 8},
    {"ProgramBytesAppendedAndExcluded", "pe64.b.exe",
     +[](Bytes& b) { tamper::AppendCovered(b, std::string(64, '\xCC')); }, 8},
    {"Pe32BytesAppended", "pe32.b.exe", +[](Bytes& b) { tamper::Append(b, std::string(8, 'x')); },
     8},
    {"BinaryPayloadBytesAppendedAndExcluded", "payload.b",
     +[](Bytes& b) { tamper::AppendCovered(b, "appended"); }, 8},
    {"BytesAppendedAfterCertificateTable", "pe64.authenticode.exe",
     +[](Bytes& b) { tamper::Append(b, std::string(16, 'x')); }, 13},

    // Free fields of a text block holding a statement.
    {"LeadInHoldsStatement", "script.padded.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, Begin(b) - 6, "\nX=1\n"); }, 8},
    {"LeadInGrownByStatement", "script.vbs", +[](Bytes& b) { tamper::GrowLeadIn(b, "\r\nX=1"); },
     8},
    {"PaddingHoldsStatement", "script.padded.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, b.size() - 8, "\r\nX=1\r\n"); }, 8},
    {"PaddingGrownByStatement", "script.vbs",
     +[](Bytes& b) { tamper::GrowPadding(b, tamper::kStatement); }, 8},
    {"ReservedHeaderHoldsStatement", "script.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, Begin(b) + tamper::kTextReserved, "\r\nX=1\r\n'"); }, 8},
    {"GapBeforeTrailerHoldsStatement", "script.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, End(b) - tamper::kTextGapFromEnd, "\r\nX=1\r\n'"); }, 8},
    {"LeadInContinuesSignedLine", "script.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, Begin(b) - 3, "  '"); }, 8},
    {"BlockLineWithoutCommentMark", "script.vbs",
     +[](Bytes& b) { tamper::Overwrite(b, Begin(b) - 3, "\r\n "); }, 8},
    {"ReservedHeaderHoldsNul", "payload.t",
     +[](Bytes& b) { b[Begin(b) + tamper::kTextReserved] = 0; }, 8},

    // The certificate-table entry, an excluded range itself, pointed elsewhere.
    {"CertificateEntryPointsIntoImage", "pe64.b.exe",
     +[](Bytes& b) { tamper::SetCertificateEntry(b, 0x400, 0x200); }, 13},
    {"BytesInsertedIntoImageAndExcluded", "pe64.b.exe",
     +[](Bytes& b) {
         b.insert(b.begin() + 0x400, 0x200, 0xCC);
         tamper::SetCertificateEntry(b, 0x400, 0x200);
     },
     13},
    {"CertificateEntryBeforeBlockNotAtEnd", "pe64.authenticode.exe",
     +[](Bytes& b) {
         const uint32_t leadIn = GetField(b, kLeadIn);
         tamper::SetCertificateEntry(b, static_cast<uint32_t>(Begin(b) - leadIn - 16), 16);
     },
     13},
    {"CertificateEntryShortOfTheEnd", "pe64.authenticode.exe",
     +[](Bytes& b) {
         tamper::SetCertificateEntry(b, GetLe32(b, CertificateEntryAt(b)),
                                     GetLe32(b, CertificateEntryAt(b) + 4) - 8);
     },
     13},
};

// Whether the install helper may run the file as its uninstall script: verified, with a text
// block, not an "MZ" file.
inline bool RunsAsScript(const TamperedFile& f, const block::Bytes& bytes) {
    return f.status == 3 && block::IsText(bytes) && !(bytes[0] == 'M' && bytes[1] == 'Z');
}

}  // namespace kysig_test
