// String 106 comes from a file that nobody checks: its format is filled by hand, never by printf.
#include <gtest/gtest.h>

#include <ostream>

#include "install_helper.h"

namespace {

struct FormatCase {
    const char* name;
    const wchar_t* format;
    const wchar_t* expected;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

const FormatCase kFormatCases[] = {
    {"FillsTheOneArgument", L"The file %s is damaged.",
     L"The file C:\\a b\\fetchwell.exe is damaged."},
    {"FillsOnlyTheFirstArgument", L"%s and %s", L"C:\\a b\\fetchwell.exe and %s"},
    {"KeepsConversionsThatAreNotStrings", L"%n%x%d %s", L"%n%x%d C:\\a b\\fetchwell.exe"},
    {"TurnsDoublePercentIntoOne", L"100%% %s", L"100% C:\\a b\\fetchwell.exe"},
    {"KeepsATrailingPercent", L"%s 50%", L"C:\\a b\\fetchwell.exe 50%"},
    {"LeavesAFormatWithoutArgumentAsItIs", L"Damaged file.", L"Damaged file."},
    {"GivesNothingForAnEmptyFormat", L"", L""},
};

class FormatWithFileNameTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatWithFileNameTest, FillsExactlyAsExpected) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatWithFileName(c.format, L"C:\\a b\\fetchwell.exe"), std::wstring(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatWithFileNameTest, testing::ValuesIn(kFormatCases),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FormatWithFileName, DoesNotReadAFileNameAsAFormat) {
    EXPECT_EQ(FormatWithFileName(L"[%s]", L"C:\\100%s\\x.exe"),
              std::wstring(L"[C:\\100%s\\x.exe]"));
}

}  // namespace
