// CheckFileSignature's and CheckScriptSignature's mapping of the verifier's outcomes, natively
// over the verification samples, so that the mutation check of the gate covers it too (the Wine
// tests cover it on real programs).
#include "check_signature.h"
#include "sample_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using kysig_test::SampleDir;
using kysig_test::WorkDir;

struct Mapping {
    const char* name;
    fs::path (*file)();  // null: no path at all
    int fileCode;        // CheckFileSignature
    int fileDetail;
    int scriptCode;  // CheckScriptSignature
};

fs::path Written(const char* name, const kysig_test::Bytes& bytes) {
    const fs::path path = WorkDir() / name;
    kysig_test::WriteBytes(path, bytes);
    return path;
}

const Mapping kMappings[] = {
    {"PrimaryKeyIsAccepted", [] { return SampleDir() / "payload.b"; }, 0, 3, 5},
    {"LegacyKeySelectorIsAcceptedWithDetail3", [] { return SampleDir() / "payload.d"; }, 0, 3, 5},
    {"LegacyTrailerIsAcceptedWithDetail2", [] { return SampleDir() / "payload.legacy-b"; }, 0, 2,
     5},
    {"TextScriptRuns", [] { return SampleDir() / "script.vbs"; }, 0, 3, 0},
    {"TextBlockPayloadPassesAsScript", [] { return SampleDir() / "payload.t"; }, 0, 3, 0},
    {"BinaryBlockScriptIsRefused", [] { return SampleDir() / "script.b.vbs"; }, 0, 3, 5},
    {"ProgramIsNoScript", [] { return SampleDir() / "pe64.b.exe"; }, 0, 3, 5},
    {"ProgramWithTextBlockIsNoScript", [] { return SampleDir() / "pe64.t.exe"; }, 0, 3, 5},
    {"MismatchGives5", [] { return SampleDir() / "payload.wrong-sha256"; }, 5, 5, 5},
    {"MalformedBlockGives5", [] { return SampleDir() / "payload.wrong-tag"; }, 5, 5, 5},
    {"UnsignedFileGives6", [] { return SampleDir() / "payload.bin"; }, 6, 6, 6},
    {"MissingFileGives2", [] { return WorkDir() / "missing.bin"; }, 2, 2, 2},
    {"EmptyFileGives1", [] { return Written("empty.bin", {}); }, 1, 1, 1},
    {"FolderGives4", [] { return WorkDir(); }, 4, 3, 4},
    {"ShortFileGives10", [] { return Written("short.bin", kysig_test::Bytes(10, 'x')); }, 10, 10,
     10},
    {"NoPathGives8", nullptr, 8, 8, 8},
};

class CheckSignatureMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(CheckSignatureMapping, GivesItsCodeAndDetail) {
    const Mapping& m = GetParam();
    const std::wstring path = m.file ? m.file().wstring() : std::wstring();
    const wchar_t* p = m.file ? path.c_str() : nullptr;
    int detail = -1;
    EXPECT_EQ(CheckFileSignature(p, &detail), m.fileCode);
    EXPECT_EQ(detail, m.fileDetail);
    detail = -1;
    EXPECT_EQ(CheckScriptSignature(p, &detail), m.scriptCode);
    EXPECT_EQ(detail, m.scriptCode == 0 ? 3 : m.scriptCode == m.fileCode ? m.fileDetail : 5);
}

INSTANTIATE_TEST_SUITE_P(Files, CheckSignatureMapping, ::testing::ValuesIn(kMappings),
                         [](const ::testing::TestParamInfo<Mapping>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
