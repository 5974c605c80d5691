// CheckFileSignature's table: every row reached by a real file (a signed and an unsigned program,
// a signed and an unsigned script, the verification samples) under Wine.
#include "check_signature.h"
#include "sample_files.h"
#include "tampered_files.h"

#include <signature/verify.h>
#include "verify_internal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using kysig_test::ProgramDir;
using kysig_test::WorkDir;

// A copy of a file with one byte changed, or with its first bytes only.
fs::path Variant(const fs::path& from, const char* name, long flipAt, size_t keep) {
    kysig_test::Bytes bytes = kysig_test::ReadBytes(from);
    if (flipAt >= 0) bytes.at(static_cast<size_t>(flipAt)) ^= 0x5A;
    if (keep < bytes.size()) bytes.resize(keep);
    const fs::path to = WorkDir() / name;
    kysig_test::WriteBytes(to, bytes);
    return to;
}

struct Row {
    const char* name;
    fs::path (*file)();  // null: no path at all
    int code;
    int detail;
};

fs::path Checked(const char* name) { return ProgramDir() / "check-signature" / name; }
fs::path Sample(const char* name) { return ProgramDir() / "verify-samples" / name; }

// A copy of the signed payload sample with one byte of its 354-byte block changed.
fs::path BlockVariant(const char* name, long offsetInBlock) {
    const fs::path from = Sample("payload.b");
    return Variant(from, name, static_cast<long>(fs::file_size(from)) - 354 + offsetInBlock,
                   SIZE_MAX);
}

const Row kRows[] = {
    {"SignedProgramIsAccepted", [] { return Checked("program-signed.exe"); }, 0, 3},
    {"SignedScriptIsAccepted", [] { return Checked("script-signed.vbs"); }, 0, 3},
    {"LegacyKeyProgramIsAcceptedWithDetail3", [] { return Checked("program-legacy-key.exe"); }, 0,
     3},
    {"LegacyTrailerIsAcceptedWithDetail2", [] { return Sample("payload.legacy-b"); }, 0, 2},
    {"AuthenticodeSignedProgramIsAccepted", [] { return Sample("pe64.authenticode.exe"); }, 0, 3},
    {"EmptyFileGives1", [] { return Variant(Checked("program-signed.exe"), "empty.exe", -1, 0); },
     1, 1},
    {"MissingFileGives2", [] { return WorkDir() / "missing.exe"; }, 2, 2},
    {"FolderCannotBeOpenedGives4", [] { return WorkDir(); }, 4, 3},
    {"ChangedByteGives5",
     [] { return Variant(Checked("program-signed.exe"), "changed.exe", 0x500, SIZE_MAX); }, 5, 5},
    {"MalformedBlockGives5", [] { return BlockVariant("bad-selector.bin", 50); }, 5, 5},
    {"BlockWithoutSignatureEntryGives5", [] { return BlockVariant("no-entry.bin", 39); }, 5, 5},
    {"UnsignedProgramGives6", [] { return Checked("program-unsigned.exe"); }, 6, 6},
    {"UnsignedScriptGives6", [] { return Checked("script-unsigned.vbs"); }, 6, 6},
    {"NoPathGives8", nullptr, 8, 8},
    {"UnreadableHeadersGive10",
     [] { return Variant(Checked("program-signed.exe"), "short.exe", -1, 40); }, 10, 10},
};

class CheckFileSignatureTable : public ::testing::TestWithParam<Row> {};

TEST_P(CheckFileSignatureTable, MapsTheOutcome) {
    const Row& row = GetParam();
    const fs::path path = row.file ? row.file() : fs::path();
    const std::wstring wide = path.wstring();
    int detail = -1;
    EXPECT_EQ(CheckFileSignature(row.file ? wide.c_str() : nullptr, &detail), row.code);
    EXPECT_EQ(detail, row.detail);
    EXPECT_EQ(CheckFileSignature(row.file ? wide.c_str() : nullptr, nullptr), row.code);
}

INSTANTIATE_TEST_SUITE_P(Files, CheckFileSignatureTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

// Files changed after signing: CheckFileSignature refuses them, and the script check
// accepts only verified text-form scripts that a script host reads as the signed text.
class TamperedFiles : public ::testing::TestWithParam<kysig_test::TamperedFile> {};

TEST_P(TamperedFiles, AreRefused) {
    const kysig_test::TamperedFile& t = GetParam();
    kysig_test::block::Bytes bytes = kysig_test::ReadBytes(Sample(t.sample));
    ASSERT_FALSE(bytes.empty()) << t.sample;
    if (t.change) t.change(bytes);
    const fs::path path = WorkDir() / (std::string("tampered-") + t.name);
    kysig_test::WriteBytes(path, bytes);
    // Status 8 is a malformed block (5); status 13, inconsistent excluded ranges, is reported
    // like a read failure (1).
    const int code = t.status == kSigVerifiedPrimary ? 0 : t.status == kSigMalformedBlock ? 5 : 1;
    int detail = -1;
    EXPECT_EQ(CheckFileSignature(path.wstring().c_str(), &detail), code);
    EXPECT_EQ(detail, code == 0 ? 3 : code);
    const bool runs = kysig_test::RunsAsScript(t, bytes);
    const int scriptCode = runs ? 0 : code == 0 ? 5 : code;
    EXPECT_EQ(CheckScriptSignature(path.wstring().c_str(), &detail), scriptCode);
    EXPECT_EQ(detail, scriptCode == 0 ? 3 : scriptCode);
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Files, TamperedFiles, ::testing::ValuesIn(kysig_test::kTamperedFiles),
                         [](const ::testing::TestParamInfo<kysig_test::TamperedFile>& info) {
                             return std::string(info.param.name);
                         });

TEST(CheckScriptSignature, RefusesLegacyTrailersAndPassesOnOtherRefusals) {
    int detail = -1;
    EXPECT_EQ(CheckScriptSignature(Sample("payload.legacy-t").wstring().c_str(), &detail), 5);
    EXPECT_EQ(detail, 5);
    EXPECT_EQ(CheckScriptSignature((WorkDir() / "missing.vbs").wstring().c_str(), &detail), 2);
    EXPECT_EQ(CheckScriptSignature(Checked("script-signed.vbs").wstring().c_str(), &detail), 0);
}

// Out of memory (status 3) gives 4 with detail 4.
TEST(CheckFileSignature, OutOfMemoryGives4) {
    kysig::detail::SetAllocationFailureForTesting(1);
    int detail = -1;
    const int code = CheckFileSignature(Checked("program-signed.exe").wstring().c_str(), &detail);
    kysig::detail::SetAllocationFailureForTesting(0);
    EXPECT_EQ(code, 4);
    EXPECT_EQ(detail, 4);
}

}  // namespace
