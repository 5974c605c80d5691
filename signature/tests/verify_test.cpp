// The verification entries over a table of crafted files: the signed samples that the signing tool
// makes at build time (bin/verify-samples), and variants of them changed here byte by byte. The
// same table runs natively and under Wine.
#include "sample_files.h"
#include "tampered_files.h"
#include "verify_internal.h"

#include <signature/verify.h>
#include <signature/verify_format.h>

#include <kysig_builtin_keys.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kysig_test::Bytes;
using kysig_test::ProgramDir;
using kysig_test::ReadBytes;
using kysig_test::WorkDir;
using kysig_test::WriteBytes;

using namespace kysig_test::block;
using kysig_test::SampleDir;

// --- The table ----------------------------------------------------------------------------------

enum class Entry {
    kFull,
    kQuick,
    kFullWithKey,
    kQuickWithKey
};
enum class KeyArg {
    kPrimary,
    kLegacy,
    kNone,
    kEmpty,
    kShort,
    kLong
};

// Where the file comes from: a sample, or one of the special paths.
constexpr const char* kMissing = "<missing>";
constexpr const char* kFolder = "<folder>";
constexpr const char* kNoPath = "<no path>";
constexpr const char* kNothing = "<new file>";

struct Case {
    const char* name;
    const char* sample;
    void (*change)(Bytes&);
    Entry entry;
    uint32_t mode;
    uint16_t result;
    int32_t status;
    KeyArg key = KeyArg::kPrimary;
};

const Case kCases[] = {
    // Verified.
    {"BinaryBlockVerifies", "payload.b", nullptr, Entry::kFull, 2, 1, 3},
    {"TextBlockVerifies", "payload.t", nullptr, Entry::kFull, 2, 1, 3},
    {"SignedScriptVerifies", "script.vbs", nullptr, Entry::kFull, 2, 1, 3},
    {"ShortFileVerifies", "short.b", nullptr, Entry::kFull, 0, 1, 3},
    {"ShortFileVerifiesQuick", "short.b", nullptr, Entry::kQuick, 0, 1, 3},
    {"QuickCheckVerifies", "payload.b", nullptr, Entry::kQuick, 0, 1, 3},
    {"QuickTextCheckVerifies", "payload.t", nullptr, Entry::kQuick, 0, 1, 3},
    {"Pe64BlockVerifies", "pe64.b.exe", nullptr, Entry::kFull, 2, 1, 3},
    {"Pe32BlockVerifies", "pe32.b.exe", nullptr, Entry::kFull, 2, 1, 3},
    {"AuthenticodeAfterBlockStillVerifies", "pe64.authenticode.exe", nullptr, Entry::kFull, 2, 1, 3},
    {"AuthenticodeAfterBlockStillVerifiesQuick", "pe64.authenticode.exe", nullptr, Entry::kQuick, 2, 1, 3},
    {"LeadInAndPaddingVerify", "payload.padded", nullptr, Entry::kFull, 0, 1, 3},
    {"CallerKeyVerifies", "payload.b", nullptr, Entry::kFullWithKey, 0, 1, 3},
    {"CallerKeyVerifiesQuick", "payload.t", nullptr, Entry::kQuickWithKey, 0, 1, 3},
    {"LowerCaseHexVerifies", "payload.t",
     +[](Bytes& b) {
       for (size_t i = Begin(b) + 16; i < End(b); ++i) {
         if (b[i] >= 'A' && b[i] <= 'F') b[i] = static_cast<uint8_t>(b[i] - 'A' + 'a');
       }
     },
     Entry::kFull, 0, 1, 3},
    {"ChangedPaddingAfterEndMarkerVerifies", "payload.padded",
     +[](Bytes& b) { std::fill(b.end() - 6, b.end(), 0xEE); }, Entry::kFull, 0, 1, 3},
    {"ChangedLeadInBytesVerify", "payload.padded",
     +[](Bytes& b) { std::fill(b.begin() + Begin(b) - 4, b.begin() + Begin(b), 0xEE); }, Entry::kFull, 0, 1, 3},
    {"ChangedPeChecksumVerifies", "pe64.b.exe", +[](Bytes& b) { Flip(b, PeOffset(b) + 88); }, Entry::kFull,
     0, 1, 3},
    {"BlockNearestTheEndIsChecked", "payload.two", nullptr, Entry::kFull, 0, 1, 3},
    {"ByteBeyondQuickLimitPassesQuickCheck", "payload.b", +[](Bytes& b) { Flip(b, 5000); }, Entry::kQuick,
     0, 1, 3},

    // Key selector 'D': verified, reported as false with status 11.
    {"LegacyKeySelectorGivesStatus11", "payload.d", nullptr, Entry::kFull, 0, 0, 11},
    {"LegacyKeySelectorGivesStatus11WithFallback", "payload.d", nullptr, Entry::kFull, 2, 0, 11},
    {"LegacyKeySelectorTextGivesStatus11", "payload.td", nullptr, Entry::kFull, 2, 0, 11},
    {"LegacyKeySelectorQuickGivesStatus11", "payload.d", nullptr, Entry::kQuick, 0, 0, 11},
    {"LegacyKeySelectorPeGivesStatus11", "pe64.d.exe", nullptr, Entry::kFull, 2, 0, 11},
    {"LegacyKeySelectorIgnoresCallerKey", "payload.d", nullptr, Entry::kFullWithKey, 0, 0, 11, KeyArg::kLegacy},

    // Legacy trailers.
    {"LegacyBinaryTrailerVerifiesWithMode2", "payload.legacy-b", nullptr, Entry::kFull, 2, 1, 2},
    {"LegacyBinaryTrailerVerifiesWithMode1", "payload.legacy-b", nullptr, Entry::kFull, 1, 1, 2},
    {"LegacyBinaryTrailerRefusedWithMode0", "payload.legacy-b", nullptr, Entry::kFull, 0, 0, 7},
    {"LegacyBinaryTrailerRefusedWithMode3", "payload.legacy-b", nullptr, Entry::kFull, 3, 0, 7},
    {"LegacyTextTrailerVerifiesWithMode2", "payload.legacy-t", nullptr, Entry::kFull, 2, 1, 2},
    {"LegacyTextTrailerRefusedWithMode0", "payload.legacy-t", nullptr, Entry::kFull, 0, 0, 7},
    {"LegacyBinaryTrailerVerifiesQuick", "payload.legacy-b", nullptr, Entry::kQuick, 2, 1, 2},
    {"LegacyTextTrailerRefusedQuick", "payload.legacy-t", nullptr, Entry::kQuick, 2, 0, 7},
    {"LegacyTrailerWithChangedByteRefused", "payload.legacy-b", +[](Bytes& b) { Flip(b, 3000); },
     Entry::kFull, 2, 0, 7},
    {"LegacyQuickSampleCoversFirst512Bytes", "payload.legacy-b", +[](Bytes& b) { Flip(b, 100); },
     Entry::kQuick, 2, 0, 7},
    {"LegacyQuickSampleEndsAt512Bytes", "payload.legacy-b", +[](Bytes& b) { Flip(b, 3000); },
     Entry::kQuick, 2, 1, 2},
    {"LegacyPe32TrailerVerifies", "pe32.legacy-b.exe", nullptr, Entry::kFull, 2, 1, 2},
    {"LegacyPe32TrailerVerifiesQuick", "pe32.legacy-b.exe", nullptr, Entry::kQuick, 2, 1, 2},
    {"LegacyPe32QuickSampleComesFromSections", "pe32.legacy-b.exe", +[](Bytes& b) { Flip(b, 2); },
     Entry::kQuick, 2, 1, 2},
    {"LegacyPe32FullCheckSeesHeaderChange", "pe32.legacy-b.exe", +[](Bytes& b) { Flip(b, 2); },
     Entry::kFull, 2, 0, 7},
    {"LegacyPe64QuickSampleIsDosEntryParagraph", "pe64.legacy-b.exe", nullptr, Entry::kQuick, 2, 1, 2},
    {"LegacyPe64QuickSampleSeesDosStub", "pe64.legacy-b.exe", +[](Bytes& b) { Flip(b, 70); },
     Entry::kQuick, 2, 0, 7},

    // Status 1, 2, 4, 13: the file and the arguments.
    {"MissingFileGivesStatus1", kMissing, nullptr, Entry::kFull, 2, 0, 1},
    {"MissingFileGivesStatus1Quick", kMissing, nullptr, Entry::kQuickWithKey, 2, 0, 1},
    {"FolderCannotBeOpened", kFolder, nullptr, Entry::kFull, 2, 0, 2},
    {"NoPathGivesStatus4", kNoPath, nullptr, Entry::kFull, 2, 0, 4},
    {"NoPathGivesStatus4Quick", kNoPath, nullptr, Entry::kQuick, 2, 0, 4},
    {"NoKeyGivesStatus4", "payload.b", nullptr, Entry::kFullWithKey, 2, 0, 4, KeyArg::kNone},
    {"KeyLength0GivesStatus4", "payload.b", nullptr, Entry::kQuickWithKey, 2, 0, 4, KeyArg::kEmpty},
    {"KeyLength128GivesStatus4", "payload.b", nullptr, Entry::kFullWithKey, 2, 0, 4, KeyArg::kShort},
    {"KeyLength257GivesStatus4", "payload.b", nullptr, Entry::kFullWithKey, 2, 0, 4, KeyArg::kLong},
    {"BadKeyIsNotRescuedByLegacyTrailer", "payload.legacy-b", nullptr, Entry::kFullWithKey, 2, 0, 4,
     KeyArg::kNone},
    {"EmptyFileGivesStatus13", kNothing, nullptr, Entry::kFull, 2, 0, 13},

    // Status 5: the first 64 bytes or the PE headers.
    {"FileShorterThan64BytesGivesStatus5", kNothing, +[](Bytes& b) { b.assign(63, 'x'); }, Entry::kFull, 2,
     0, 5},
    {"PeHeaderBeyondFileGivesStatus5", "pe64.b.exe", +[](Bytes& b) { PutLe32(b, 60, 0x7FFFFF00); },
     Entry::kFull, 2, 0, 5},

    // Status 7: no block.
    {"UnsignedFileGivesStatus7", "payload.bin", nullptr, Entry::kFull, 2, 0, 7},
    {"UnsignedFileGivesStatus7WithoutFallback", "payload.bin", nullptr, Entry::kFull, 0, 0, 7},
    {"UnsignedExecutableGivesStatus7", "pe64.exe", nullptr, Entry::kFull, 2, 0, 7},
    {"Exactly64BytesWithoutBlockGivesStatus7", kNothing, +[](Bytes& b) { b.assign(64, 0); }, Entry::kFull,
     2, 0, 7},
    {"EndMarkerOutsideWindowGivesStatus7", "payload.b", +[](Bytes& b) { b.resize(b.size() + 656521, 0); },
     Entry::kFull, 2, 0, 7},
    {"UnknownFormatCharacterGivesStatus7", "payload.b", +[](Bytes& b) { b[End(b) - 1] = 'Q'; },
     Entry::kFull, 2, 0, 7},
    {"NoBeginMarkerAtDistanceGivesStatus7", "payload.b", +[](Bytes& b) { Flip(b, Begin(b) + 3); },
     Entry::kFull, 2, 0, 7},
    {"DistanceIntoContentGivesStatus7", "payload.b", +[](Bytes& b) { SetField(b, kDistance, 1000); },
     Entry::kFull, 2, 0, 7},

    // Status 8: malformed block.
    {"EndMarkerNearWindowStartGivesStatus8", "payload.b", +[](Bytes& b) { b.resize(b.size() + 656515, 0); },
     Entry::kFull, 2, 0, 8},
    {"EndMarkerTenBytesInGivesStatus8", kNothing,
     +[](Bytes& b) {
       b.assign(10, 'x');
       b.insert(b.end(), kysig::kEndMarker, kysig::kEndMarker + 16);
       b.resize(120, 'y');
     },
     Entry::kFull, 2, 0, 8},
    {"RefusesLeadInAboveLimit", "payload.b", +[](Bytes& b) { SetField(b, kLeadIn, 33); }, Entry::kFull, 2, 0,
     8},
    {"RefusesTextLeadInAboveLimit", "payload.t", +[](Bytes& b) { SetField(b, kLeadIn, 33); }, Entry::kFull,
     2, 0, 8},
    {"RefusesTrailingPaddingAboveLimit", "payload.b", +[](Bytes& b) { SetField(b, kPadding, 33); },
     Entry::kFull, 2, 0, 8},
    {"RefusesUnknownKeySelector", "payload.b", +[](Bytes& b) { b[SelectorAt(b)] = 'X'; }, Entry::kFull, 2, 0,
     8},
    {"RefusesSignatureLength128", "payload.b", +[](Bytes& b) { SetField(b, kDataLength, 128); },
     Entry::kFull, 2, 0, 8},
    {"RefusesTextSignatureLength256Digits", "payload.t", +[](Bytes& b) { SetField(b, kDataLength, 256); },
     Entry::kFull, 2, 0, 8},
    {"RefusesEntryTableBeyondFile", "payload.b", +[](Bytes& b) { SetField(b, kEntryCount, 255); },
     Entry::kFull, 2, 0, 8},
    {"RefusesEntryDataBeyondFile", "payload.b", +[](Bytes& b) { SetField(b, kDataOffset, 0x7FFFF000); },
     Entry::kFull, 2, 0, 8},
    {"RefusesEntryDataPartlyBeyondFile", "payload.t", +[](Bytes& b) { SetField(b, kDataOffset, 400); },
     Entry::kFull, 2, 0, 8},
    {"RefusesChangedSignature", "payload.b", +[](Bytes& b) { Flip(b, SignatureAt(b) + 100); }, Entry::kFull,
     2, 0, 8},
    {"RefusesSignatureOfOtherKey", "payload.b", nullptr, Entry::kFullWithKey, 2, 0, 8, KeyArg::kLegacy},
    {"LastOfTwoBlocksIsParsed", "payload.two", +[](Bytes& b) { b[SelectorAt(b)] = 'X'; }, Entry::kFull, 2, 0,
     8},

    // Status 9: mismatch.
    {"ChangedContentGivesStatus9", "payload.b", +[](Bytes& b) { Flip(b, 100); }, Entry::kFull, 2, 0, 9},
    {"ChangedContentGivesStatus9Quick", "payload.b", +[](Bytes& b) { Flip(b, 100); }, Entry::kQuick, 2, 0, 9},
    {"ByteBeyondQuickLimitFailsFullCheck", "payload.b", +[](Bytes& b) { Flip(b, 5000); }, Entry::kFull, 0, 0,
     9},
    {"ChangedTextContentGivesStatus9", "payload.t", +[](Bytes& b) { Flip(b, 0); }, Entry::kFull, 2, 0, 9},
    {"ChangedScriptGivesStatus9", "script.vbs", +[](Bytes& b) { Flip(b, 20); }, Entry::kFull, 2, 0, 9},
    {"ByteBeforeLeadInGivesStatus9", "payload.padded", +[](Bytes& b) { Flip(b, Begin(b) - 5); },
     Entry::kFull, 0, 0, 9},
    {"AppendedByteGivesStatus8", "payload.padded", +[](Bytes& b) { b.push_back(0); }, Entry::kFull, 0, 0, 8},
    {"ShorterExcludedLengthGivesStatus8", "payload.padded",
     +[](Bytes& b) { SetField(b, kExcludedLength, 354 + 4 + 6 - 1); }, Entry::kFull, 0, 0, 8},
    {"EndMarkerInsideWindowIsFound", "payload.b", +[](Bytes& b) { b.resize(b.size() + 656499, 0); },
     Entry::kFull, 2, 0, 8},
    {"ChangedCodeAfterAuthenticodeGivesStatus9", "pe64.authenticode.exe", +[](Bytes& b) { Flip(b, 0x600); },
     Entry::kFull, 2, 0, 9},
    {"ChangedDosStubGivesStatus9", "pe32.b.exe", +[](Bytes& b) { Flip(b, 70); }, Entry::kFull, 2, 0, 9},
    {"FirstOfTwoBlocksIsSigned", "payload.two", +[](Bytes& b) { Flip(b, End(b) - 400); }, Entry::kFull, 2, 0,
     9},

    // One field of the record wrong, the rest of the message consistent: each comparison has a
    // file that only it refuses. The quick check compares the length and the quick MD5 only.
    {"WrongSignedLengthLowGivesStatus9", "payload.wrong-length-low", nullptr, Entry::kFull, 0, 0, 9},
    {"WrongSignedLengthLowGivesStatus9Quick", "payload.wrong-length-low", nullptr, Entry::kQuick, 0, 0, 9},
    {"WrongSignedLengthHighGivesStatus9", "payload.wrong-length-high", nullptr, Entry::kFull, 0, 0, 9},
    {"WrongSignedLengthHighGivesStatus9Quick", "payload.wrong-length-high", nullptr, Entry::kQuick, 0, 0, 9},
    {"WrongQuickMd5GivesStatus9Quick", "payload.wrong-quick-md5", nullptr, Entry::kQuick, 0, 0, 9},
    {"WrongQuickMd5IsNotComparedByFullCheck", "payload.wrong-quick-md5", nullptr, Entry::kFull, 0, 1, 3},
    {"WrongFullMd5GivesStatus9", "payload.wrong-full-md5", nullptr, Entry::kFull, 0, 0, 9},
    {"WrongFullMd5IsNotComparedByQuickCheck", "payload.wrong-full-md5", nullptr, Entry::kQuick, 0, 1, 3},
    {"WrongSha256GivesStatus9", "payload.wrong-sha256", nullptr, Entry::kFull, 0, 0, 9},
    {"WrongSha256GivesStatus9WithKey", "payload.wrong-sha256", nullptr, Entry::kFullWithKey, 0, 0, 9},
    {"WrongSha256IsNotComparedByQuickCheck", "payload.wrong-sha256", nullptr, Entry::kQuick, 0, 1, 3},
    {"WrongRecordTagGivesStatus8", "payload.wrong-tag", nullptr, Entry::kFull, 0, 0, 8},
    {"WrongRecordTagGivesStatus8Quick", "payload.wrong-tag", nullptr, Entry::kQuick, 0, 0, 8},

    // The record's own MD5 (after it in the message) must match too: a message that only
    // happens to start with the tag is not a record.
    {"WrongInnerMd5GivesStatus8", "payload.wrong-inner-md5", nullptr, Entry::kFull, 0, 0, 8},
    // Limits and keys that only their own check refuses: the lengths are adjusted to match.
    {"RefusesUnknownSelectorOnLegacySignedFile", "payload.d",
     +[](Bytes& b) { b[SelectorAt(b)] = 'X'; }, Entry::kFull, 0, 0, 8},
    {"RefusesLeadInAboveLimitWithLengthsAdjusted", "payload.b",
     +[](Bytes& b) {
         SetField(b, kLeadIn, 33);
         SetField(b, kExcludedLength, GetField(b, kExcludedLength) + 33);
     },
     Entry::kFull, 0, 0, 8},
    {"RefusesPaddingAboveLimitWithLengthsAdjusted", "payload.b",
     +[](Bytes& b) {
         SetField(b, kPadding, 33);
         SetField(b, kExcludedLength, GetField(b, kExcludedLength) + 33);
         b.resize(b.size() + 33, 0);
     },
     Entry::kFull, 0, 0, 8},
    {"CertificateTableOverHeadersUpToTheBlockGivesStatus13", "pe64.b.exe",
     +[](Bytes& b) {
         PutLe32(b, CertificateEntryAt(b), 16);
         PutLe32(b, CertificateEntryAt(b) + 4, static_cast<uint32_t>(Begin(b) - 16));
     },
     Entry::kFull, 0, 0, 13},

    // Status 10: no signature entry.
    {"EntryOfType2GivesStatus10", "payload.b", +[](Bytes& b) { SetField(b, kEntryType, 2); }, Entry::kFull,
     2, 0, 10},
    {"TextEntryOfType2GivesStatus10", "payload.t", +[](Bytes& b) { SetField(b, kEntryType, 2); },
     Entry::kFull, 2, 0, 10},
    {"EmptyEntryTableGivesStatus10", "payload.b", +[](Bytes& b) { SetField(b, kEntryCount, 0); },
     Entry::kFull, 2, 0, 10},

    // Status 13: read failures and inconsistent excluded ranges.
    {"DistanceBeforeFileStartGivesStatus13", "payload.b", +[](Bytes& b) { SetField(b, kDistance, 0x7FFFFFF0); },
     Entry::kFull, 2, 0, 13},
    {"BlockInsideCertificateTableGivesStatus13", "pe64.b.exe",
     +[](Bytes& b) {
       PutLe32(b, CertificateEntryAt(b), static_cast<uint32_t>(Begin(b) - 8));
       PutLe32(b, CertificateEntryAt(b) + 4, 100);
     },
     Entry::kFull, 2, 0, 13},
    {"CertificateTableInHeadersGivesStatus13", "pe64.b.exe",
     +[](Bytes& b) {
       PutLe32(b, CertificateEntryAt(b), 16);
       PutLe32(b, CertificateEntryAt(b) + 4, 8);
     },
     Entry::kFull, 2, 0, 13},
    {"CertificateTableBeyondFileGivesStatus13", "pe64.authenticode.exe",
     +[](Bytes& b) { PutLe32(b, CertificateEntryAt(b) + 4, GetLe32(b, CertificateEntryAt(b) + 4) + 1); },
     Entry::kFull, 2, 0, 13},
    {"ExcludedLengthBeyondBlockGivesStatus8", "payload.b", +[](Bytes& b) { SetField(b, kExcludedLength, 355); },
     Entry::kFull, 2, 0, 8},
};

class VerifyTable : public ::testing::TestWithParam<Case> {};

const uint8_t* KeyBytes(KeyArg key, uint32_t* length) {
    static const uint8_t kLonger[257] = {};
    switch (key) {
        case KeyArg::kPrimary:
            *length = 256;
            return kysig::detail::kBuiltinPrimaryModulus;
        case KeyArg::kLegacy:
            *length = 256;
            return kysig::detail::kBuiltinLegacyModulus;
        case KeyArg::kNone:
            *length = 256;
            return nullptr;
        case KeyArg::kEmpty:
            *length = 0;
            return kysig::detail::kBuiltinPrimaryModulus;
        case KeyArg::kShort:
            *length = 128;
            return kysig::detail::kBuiltinPrimaryModulus;
        case KeyArg::kLong:
            *length = 257;
            return kLonger;
    }
    return nullptr;
}

uint16_t RunEntry(Entry entry, const wchar_t* path, int32_t* status, uint32_t mode, KeyArg key) {
    uint32_t length;
    const uint8_t* bytes = KeyBytes(key, &length);
    switch (entry) {
        case Entry::kFull:
            return VerifyEmbeddedSignature(path, status, mode);
        case Entry::kQuick:
            return VerifyEmbeddedSignatureQuick(path, status, mode);
        case Entry::kFullWithKey:
            return VerifyEmbeddedSignatureWithKey(path, status, mode, bytes, length);
        case Entry::kQuickWithKey:
            return VerifyEmbeddedSignatureQuickWithKey(path, status, mode, bytes, length);
    }
    return 0;
}

TEST_P(VerifyTable, ReachesItsStatus) {
    const Case& c = GetParam();
    fs::path path;
    const std::string sample = c.sample;
    if (sample == kMissing) {
        path = WorkDir() / "no-such-folder" / "missing.bin";
    } else if (sample == kFolder) {
        path = WorkDir();
    } else if (sample != kNoPath) {
        Bytes bytes;
        if (sample != kNothing) {
            bytes = ReadBytes(SampleDir() / sample);
            ASSERT_FALSE(bytes.empty()) << "sample " << sample << " missing";
        }
        if (c.change) c.change(bytes);
        path = WorkDir() / c.name;
        WriteBytes(path, bytes);
    }
    const std::wstring wide = path.wstring();
    int32_t status = -1;
    const uint16_t result =
        RunEntry(c.entry, sample == kNoPath ? nullptr : wide.c_str(), &status, c.mode, c.key);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(status, c.status);
    // The out-parameter is optional: the same call without it gives the same result.
    EXPECT_EQ(RunEntry(c.entry, sample == kNoPath ? nullptr : wide.c_str(), nullptr, c.mode, c.key),
              c.result);
    if (sample != kFolder && sample != kNoPath && sample != kMissing) fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Files, VerifyTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// Every status of the table is reached by at least one case.
TEST(VerifyTableCoverage, ReachesEveryStatus) {
    for (int32_t status : {1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 13}) {
        EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases),
                                [&](const Case& c) { return c.status == status; }))
            << "status " << status;
    }
    for (uint16_t result : {0, 1}) {
        EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases), [&](const Case& c) {
            return c.status == 2 && c.result == result;
        }));
    }
}

// --- Files changed after signing in bytes the signature does not cover --------------------------

class Tampered : public ::testing::TestWithParam<kysig_test::TamperedFile> {};

TEST_P(Tampered, EveryEntryGivesItsStatus) {
    const kysig_test::TamperedFile& t = GetParam();
    Bytes bytes = ReadBytes(SampleDir() / t.sample);
    ASSERT_FALSE(bytes.empty()) << "sample " << t.sample << " missing";
    if (t.change) t.change(bytes);
    const fs::path path = WorkDir() / (std::string("tampered-") + t.name);
    WriteBytes(path, bytes);
    const std::wstring wide = path.wstring();
    for (Entry entry : {Entry::kFull, Entry::kQuick, Entry::kFullWithKey, Entry::kQuickWithKey}) {
        int32_t status = -1;
        const uint16_t result =
            RunEntry(entry, wide.c_str(), &status, kSigModeWithLegacy, KeyArg::kPrimary);
        EXPECT_EQ(status, t.status) << "entry " << static_cast<int>(entry);
        EXPECT_EQ(result, t.status == kSigVerifiedPrimary ? 1 : 0);
    }
    // A malformed block is no block to ask about; a verified one has its form.
    if (t.status == kSigVerifiedPrimary) {
        EXPECT_EQ(SigBlockForm(wide.c_str()), IsText(bytes) ? 'T' : 'B');
    }
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Files, Tampered, ::testing::ValuesIn(kysig_test::kTamperedFiles),
                         [](const ::testing::TestParamInfo<kysig_test::TamperedFile>& info) {
                             return std::string(info.param.name);
                         });

// This test and VerifyMemory below set the test variant's hooks (KY_TEST_HOOKS): linked to the
// library as it ships (the 32-bit run), the program leaves both out; the 64-bit run has them.
#ifdef KY_TEST_HOOKS
// The same files with chunks of 64 bytes: every check crosses many chunk edges and, from 128
// signed bytes on, takes the SHA-256 and the reading on a second thread.
TEST(StreamedCheck, GivesTheSameStatusesInSmallChunks) {
    kysig::detail::SetChunkSizeForTesting(64);
    for (const kysig_test::TamperedFile& t : kysig_test::kTamperedFiles) {
        Bytes bytes = ReadBytes(SampleDir() / t.sample);
        ASSERT_FALSE(bytes.empty()) << t.sample;
        if (t.change) t.change(bytes);
        const fs::path path = WorkDir() / (std::string("chunked-") + t.name);
        WriteBytes(path, bytes);
        int32_t status = -1;
        VerifyEmbeddedSignature(path.wstring().c_str(), &status, kSigModeWithLegacy);
        EXPECT_EQ(status, t.status) << t.name;
        fs::remove(path);
    }
    for (const char* sample : {"payload.legacy-b", "payload.legacy-t", "pe64.d.exe"}) {
        int32_t status = -1;
        const uint16_t result = VerifyEmbeddedSignature((SampleDir() / sample).wstring().c_str(),
                                                        &status, kSigModeWithLegacy);
        EXPECT_TRUE(SigAccepted(result, status)) << sample << " status " << status;
    }
    kysig::detail::SetChunkSizeForTesting(0);
}
#endif  // KY_TEST_HOOKS

TEST(SigBlockForm, IsZeroWithoutABlock) {
    EXPECT_EQ(SigBlockForm((SampleDir() / "payload.bin").wstring().c_str()), 0);
    EXPECT_EQ(SigBlockForm((SampleDir() / "payload.legacy-t").wstring().c_str()), 0);
    EXPECT_EQ(SigBlockForm((WorkDir() / "missing").wstring().c_str()), 0);
    EXPECT_EQ(SigBlockForm(nullptr), 0);
}

// --- The excluded-range list ------------------------------------------------------------------

// AddBlockRange's own refusals. Since the placement rule no file reaches them alone (a file that
// would is refused with the same status by the signed-bytes walk), so they are tested here.
struct RangeCase {
    const char* name;
    std::vector<kysig::detail::ExcludedRange> pe;
    kysig::detail::ExcludedRange block;
    uint32_t fileLength;
    int32_t status;
};

const RangeCase kRangeCases[] = {
    {"BlockAfterPeRangesIsAdded", {{200, 4}, {264, 8}}, {900, 100}, 1000, 0},
    {"BlockBeforeCertificateTableIsAdded", {{200, 4}, {264, 8}, {900, 100}}, {800, 100}, 1000, 0},
    {"PeRangesOutOfOrderAreRefused", {{200, 4}, {264, 8}, {16, 100}}, {900, 100}, 1000, 13},
    {"OverlappingPeRangesAreRefused", {{200, 4}, {202, 8}}, {900, 100}, 1000, 13},
    {"PeRangePastTheEndIsRefused", {{200, 4}, {264, 8}, {950, 51}}, {800, 100}, 1000, 13},
    {"BlockPastTheEndIsRefused", {{200, 4}, {264, 8}}, {900, 101}, 1000, 13},
    {"BlockOverlappingAPeRangeIsRefused", {{200, 4}, {264, 8}, {850, 150}}, {800, 100}, 1000, 13},
    {"BlockStartingInsideAPeRangeIsRefused", {{200, 4}, {264, 8}}, {266, 734}, 1000, 13},
    {"BlockAloneIsAdded", {}, {0, 1000}, 1000, 0},
};

class AddBlockRangeTable : public ::testing::TestWithParam<RangeCase> {};

TEST_P(AddBlockRangeTable, RefusesWhatWouldMakeTheSignedBytesAmbiguous) {
    const RangeCase& c = GetParam();
    kysig::detail::ExcludedRanges ranges{};
    for (const auto& r : c.pe) ranges.items[ranges.count++] = r;
    EXPECT_EQ(kysig::detail::AddBlockRange(&ranges, c.block.first, c.block.length, c.fileLength),
              c.status);
    if (c.status == 0) {
        ASSERT_EQ(ranges.count, c.pe.size() + 1);
        for (uint32_t i = 1; i < ranges.count; ++i) {
            EXPECT_LE(ranges.items[i - 1].first + ranges.items[i - 1].length,
                      ranges.items[i].first);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, AddBlockRangeTable, ::testing::ValuesIn(kRangeCases),
                         [](const ::testing::TestParamInfo<RangeCase>& info) {
                             return std::string(info.param.name);
                         });

// The callers' acceptance: a true result, or a false one with status 11, and nothing else.
TEST(SigAccepted, AcceptsEitherKeyAndNothingElse) {
    EXPECT_TRUE(SigAccepted(1, kSigVerifiedPrimary));
    EXPECT_TRUE(SigAccepted(1, kSigVerifiedLegacyTrailer));
    EXPECT_TRUE(SigAccepted(0, kSigVerifiedWithLegacyKey));
    for (int32_t status : {1, 2, 3, 4, 5, 7, 8, 9, 10, 12, 13}) {
        EXPECT_FALSE(SigAccepted(0, status)) << status;
    }
}

// --- One changed byte anywhere outside the excluded ranges ---------------------------------------

struct Span {
    size_t first, end;
};

// The excluded ranges of a sample, worked out here from its headers and its block.
std::vector<Span> ExcludedSpans(const Bytes& b) {
    std::vector<Span> spans;
    if (b[0] == 'M' && b[1] == 'Z') {
        spans.push_back({PeOffset(b) + 88, PeOffset(b) + 92});
        spans.push_back({CertificateEntryAt(b), CertificateEntryAt(b) + 8});
        const uint32_t table = GetLe32(b, CertificateEntryAt(b));
        if (table) spans.push_back({table, table + GetLe32(b, CertificateEntryAt(b) + 4)});
    }
    const size_t begin = Begin(b);
    const bool text = IsText(b);
    auto number = [&](int binary, int textAt) -> size_t {
        return text ? std::stoul(
                          std::string(b.begin() + begin + textAt, b.begin() + begin + textAt + 8),
                          nullptr, 16)
                    : GetLe32(b, begin + binary);
    };
    const size_t first = begin - number(17, 18);
    spans.push_back({first, first + number(22, 28)});
    return spans;
}

class ChangedByte : public ::testing::TestWithParam<const char*> {};

TEST_P(ChangedByte, AnywhereOutsideExcludedRangesIsRefused) {
    const Bytes original = ReadBytes(SampleDir() / GetParam());
    ASSERT_FALSE(original.empty());
    const std::vector<Span> spans = ExcludedSpans(original);
    auto excluded = [&](size_t at) {
        return std::any_of(spans.begin(), spans.end(),
                           [&](const Span& s) { return at >= s.first && at < s.end; });
    };
    // Every byte next to a range boundary, and a spread of bytes in between.
    std::vector<size_t> positions;
    for (const Span& s : spans) {
        for (size_t at : {s.first - 1, s.end}) {
            if (at < original.size()) positions.push_back(at);
        }
    }
    size_t signedCount = 0;
    for (size_t at = 0; at < original.size(); ++at) signedCount += excluded(at) ? 0 : 1;
    const size_t stride = std::max<size_t>(1, original.size() / 150);
    for (size_t at = 0; at < original.size(); at += signedCount < 300 ? 1 : stride)
        positions.push_back(at);
    const fs::path path = WorkDir() / (std::string("changed-") + GetParam());
    int checked = 0;
    for (size_t at : positions) {
        if (excluded(at)) continue;
        Bytes changed = original;
        Flip(changed, at);
        WriteBytes(path, changed);
        int32_t status = 0;
        const uint16_t result =
            VerifyEmbeddedSignature(path.wstring().c_str(), &status, kSigModeWithLegacy);
        EXPECT_FALSE(SigAccepted(result, status))
            << "changed byte at " << at << " accepted, status " << status;
        ++checked;
    }
    EXPECT_GE(checked, static_cast<int>(std::min<size_t>(signedCount, 100)));
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Samples, ChangedByte,
                         ::testing::Values("payload.b", "payload.t", "script.vbs", "pe32.b.exe",
                                           "pe64.authenticode.exe"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
                             return name;
                         });

// --- Memory ------------------------------------------------------------------------------------

#ifdef KY_TEST_HOOKS
// Each allocation of a check in turn fails: the call reports status 3 and (under the sanitizers)
// leaks nothing; once no allocation fails, the same file verifies.
TEST(VerifyMemory, EachFailedAllocationGivesStatus3) {
    const std::wstring path = (SampleDir() / "pe64.authenticode.exe").wstring();
    int failures = 0;
    for (int countdown = 1; countdown < 20; ++countdown) {
        kysig::detail::SetAllocationFailureForTesting(countdown);
        int32_t status = 0;
        const uint16_t result = VerifyEmbeddedSignature(path.c_str(), &status, kSigModeBlockOnly);
        kysig::detail::SetAllocationFailureForTesting(0);
        if (result) {
            EXPECT_EQ(status, kSigVerifiedPrimary);
            break;
        }
        EXPECT_EQ(status, kSigOutOfMemory) << "allocation " << countdown;
        ++failures;
    }
    EXPECT_GE(failures, 3);
}
#endif  // KY_TEST_HOOKS

// --- The legacy length mask -------------------------------------------------------------------

TEST(LegacyLengthMask, UnmaskingRestoresTheLength) {
    for (uint32_t seed : {0u, 1u, 254u, 255u, 0xFFFFFFFFu,
                          static_cast<uint32_t>(kysig::detail::kLegacyLengthSeed)}) {
        uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
        kysig::LegacyLengthMask(bytes, seed);
        EXPECT_FALSE(bytes[0] == 0x12 && bytes[1] == 0x34 && bytes[2] == 0x56 && bytes[3] == 0x78);
        kysig::LegacyLengthMask(bytes, seed);
        EXPECT_EQ(bytes[0], 0x12);
        EXPECT_EQ(bytes[3], 0x78);
    }
}

TEST(LegacyLengthMask, FollowsTheStateRecurrence) {
    // Seed 0: k = 1, state 1; k = 2, state 3; k = 4, state 7; k = 8.
    uint8_t zero[4] = {};
    kysig::LegacyLengthMask(zero, 0);
    EXPECT_EQ(zero[0], 1);
    EXPECT_EQ(zero[1], 2);
    EXPECT_EQ(zero[2], 4);
    EXPECT_EQ(zero[3], 8);
    // Seed 510 = 2 * 255: k = 1, state 510 + 2 + 1 = 513; k = 513 % 255 + 1 = 4.
    uint8_t two[4] = {};
    kysig::LegacyLengthMask(two, 510);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 4);
}

#ifdef _WIN32
// A file that another handle holds without sharing cannot be opened: status 2.
TEST(VerifyWindows, FileLockedByAnotherHandleGivesStatus2) {
    const fs::path path = WorkDir() / "locked.bin";
    WriteBytes(path, ReadBytes(SampleDir() / "payload.b"));
    HANDLE h =
        CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int32_t status = 0;
    EXPECT_EQ(VerifyEmbeddedSignature(path.wstring().c_str(), &status, kSigModeWithLegacy), 0);
    EXPECT_EQ(status, kSigCannotOpen);
    CloseHandle(h);
    // Shared for reading and writing by its holder, it can be checked.
    h = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(VerifyEmbeddedSignature(path.wstring().c_str(), &status, kSigModeWithLegacy), 1);
    EXPECT_EQ(status, kSigVerifiedPrimary);
    CloseHandle(h);
    fs::remove(path);
}
#endif

}  // namespace
