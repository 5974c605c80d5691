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

// Shortcut names come from the unchecked resource library: anything but a plain file name gives
// the built-in name, so that no link is written or deleted outside the desktop folder.
struct LinkNameCase {
    const char* name;
    const wchar_t* link;
    bool kept;
};

void PrintTo(const LinkNameCase& c, std::ostream* out) { *out << c.name; }

const LinkNameCase kLinkNames[] = {
    {"PlainNameIsKept", L"Orvane Brisco", true},
    {"NameWithDotsInsideIsKept", L"Brisco v2.1 (beta)", true},
    {"EmptyNameIsKept", L"", true},
    {"BackslashIsReplaced", L"..\\..\\Startup\\evil", false},
    {"ForwardSlashIsReplaced", L"sub/evil", false},
    {"ParentFolderIsReplaced", L"..", false},
    {"DotsInsideAreReplaced", L"a..b", false},
    {"DriveIsReplaced", L"C:evil", false},
    {"AbsolutePathIsReplaced", L"C:\\Windows\\evil", false},
    {"UncPathIsReplaced", L"\\\\server\\share\\evil", false},
    {"StreamIsReplaced", L"link:stream", false},
    {"WildcardIsReplaced", L"*", false},
    {"QuoteIsReplaced", L"a\"b", false},
    {"AngleBracketIsReplaced", L"a<b", false},
    {"PipeIsReplaced", L"a|b", false},
    {"ControlCharacterIsReplaced", L"a\nb", false},
    {"TrailingDotIsReplaced", L"name.", false},
    {"TrailingBlankIsReplaced", L"name ", false},
    {"DeviceNameIsReplaced", L"NUL", false},
    {"DeviceNameWithExtensionIsReplaced", L"com1.txt", false},
    {"DeviceNameWithBlankIsReplaced", L"con ", false},
    {"NameStartingLikeADeviceIsKept", L"Console", true},
};

class SafeLinkNameTest : public testing::TestWithParam<LinkNameCase> {};

TEST_P(SafeLinkNameTest, KeepsOnlyPlainNames) {
    const LinkNameCase& c = GetParam();
    EXPECT_EQ(SafeLinkName(c.link, L"Built-in"), c.kept ? std::wstring(c.link) : L"Built-in");
}

INSTANTIATE_TEST_SUITE_P(Names, SafeLinkNameTest, testing::ValuesIn(kLinkNames),
                         [](const testing::TestParamInfo<LinkNameCase>& info) {
                             return std::string(info.param.name);
                         });

// Windows XP refuses LOAD_LIBRARY_AS_IMAGE_RESOURCE with ERROR_INVALID_PARAMETER; the helper
// then maps its strings as a plain data file.
struct LoadAttempts {
    int calls = 0;
    DWORD flags[2] = {};
} g_attempts;

HMODULE WINAPI LoadLikeWindowsXp(LPCWSTR path, HANDLE file, DWORD flags) {
    if (g_attempts.calls < 2) g_attempts.flags[g_attempts.calls] = flags;
    ++g_attempts.calls;
    if (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryExW(path, file, flags);
}

HMODULE WINAPI LoadCounted(LPCWSTR path, HANDLE file, DWORD flags) {
    ++g_attempts.calls;
    return LoadLibraryExW(path, file, flags);
}

std::wstring OwnResourceLibrary() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"briscoinstallrc.dll";
}

TEST(LoadResourceLibrary, FallsBackToADataFileWhereImageResourcesAreUnknown) {
    g_attempts = LoadAttempts();
    HMODULE module = LoadResourceLibrary(OwnResourceLibrary().c_str(), LoadLikeWindowsXp);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(g_attempts.calls, 2);
    EXPECT_EQ(g_attempts.flags[0],
              DWORD{LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE});
    EXPECT_EQ(g_attempts.flags[1], DWORD{LOAD_LIBRARY_AS_DATAFILE});
    EXPECT_FALSE(LoadResourceString(module, kIdsCaption).empty());
    FreeLibrary(module);
}

TEST(LoadResourceLibrary, TakesTheImageResourceMappingFirst) {
    g_attempts = LoadAttempts();
    HMODULE module = LoadResourceLibrary(OwnResourceLibrary().c_str(), LoadCounted);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(g_attempts.calls, 1);
    FreeLibrary(module);
}

TEST(LoadResourceLibrary, GivesNullForAMissingLibrary) {
    EXPECT_EQ(LoadResourceLibrary(L"C:\\no-such-folder\\briscoinstallrc.dll"), nullptr);
}

}  // namespace
