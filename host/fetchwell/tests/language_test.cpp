// Language codes: Windows language ids to GUI-language keys, and keys to the statistics form.
#include <gtest/gtest.h>

#include <string>

#include "fetchwell/loadercontrol.h"
#include "fixtures.h"
#include "kycplib/keyvalue.h"

using fetchwell_test::FixturePath;
using fetchwell_test::XmlFile;

namespace {

struct LangIdCase {
    LANGID langId;
    int flags;
    const wchar_t* code;
};

class LanguageIdConversion : public ::testing::TestWithParam<LangIdCase> {};

TEST_P(LanguageIdConversion, GivesCodeOrEmpty) {
    const LangIdCase& c = GetParam();
    wchar_t buffer[64];
    wmemset(buffer, L'X', 64);
    const int written = MyLANGIDToISO3166(c.langId, buffer, 64, c.flags);
    EXPECT_STREQ(buffer, c.code);
    EXPECT_EQ(written, static_cast<int>(wcslen(c.code)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LanguageIdConversion,
    ::testing::Values(
        LangIdCase{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0, L"en"},
        LangIdCase{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), 0, L"en"},
        LangIdCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), 0, L"de"},
        LangIdCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), 0, L"de"},
        LangIdCase{MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), 0, L"fr"},
        LangIdCase{MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), 0, L"fr"},
        LangIdCase{MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), 0, L"ru"},
        LangIdCase{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), 0, L"ja"},
        LangIdCase{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 0, L"zh"},
        LangIdCase{MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), 0, L"es"},
        LangIdCase{MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), 0, L"pl"},
        LangIdCase{MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL), 0, L"de"},
        LangIdCase{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), 0, L""},
        LangIdCase{MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), 0, L""},
        LangIdCase{MAKELANGID(LANG_INVARIANT, SUBLANG_NEUTRAL), 0, L""}, LangIdCase{0x03FF, 0, L""},
        LangIdCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), MYLANGID_WITH_COUNTRY,
                   L"de-AT"},
        LangIdCase{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MYLANGID_WITH_COUNTRY, L"en-US"},
        LangIdCase{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), MYLANGID_WITH_COUNTRY, L"ja-JP"},
        LangIdCase{MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL), MYLANGID_WITH_COUNTRY, L"de"},
        LangIdCase{MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), MYLANGID_WITH_COUNTRY, L""}));

// Whatever the user's language, the code must be one the control file's GUI languages can carry.
TEST(LanguageIdConversion, MatchesTheExampleFilesGuiLanguageKeys) {
    XmlFile file(FixturePath(L"full.xml").c_str());
    CLoaderControlFile::FreeInstance();
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(file.Get());
    ASSERT_NE(control, nullptr);
    kycplib::CKeyValueList keys;
    for (const kycplib::CKeyValueItem* item = control->getFirstGUILanguage(); item != nullptr;
         item = item->next) {
        keys.Add(item->key, item->value);
    }
    const LANGID shipped[] = {
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
        MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT),
        MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)};
    for (LANGID langId : shipped) {
        wchar_t code[64] = L"";
        MyLANGIDToISO3166(langId, code, 64, 0);
        EXPECT_NE(keys.Find(code), nullptr) << "LANGID 0x" << std::hex << langId;
    }
    EXPECT_EQ(keys.GetCount(), sizeof(shipped) / sizeof(shipped[0]));
    CLoaderControlFile::FreeInstance();
}

struct BufferCase {
    unsigned int size;
    const wchar_t* expected;
};

class LanguageIdBuffer : public ::testing::TestWithParam<BufferCase> {};

TEST_P(LanguageIdBuffer, CutsAndTerminatesWithinSize) {
    wchar_t buffer[16];
    wmemset(buffer, L'X', 16);
    const int written = MyLANGIDToISO3166(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), buffer,
                                          GetParam().size, MYLANGID_WITH_COUNTRY);
    EXPECT_STREQ(buffer, GetParam().expected);
    EXPECT_EQ(written, static_cast<int>(wcslen(GetParam().expected)));
    for (unsigned int i = GetParam().size; i < 16; ++i) {
        EXPECT_EQ(buffer[i], L'X') << "written beyond the size at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LanguageIdBuffer,
                         ::testing::Values(BufferCase{1, L""}, BufferCase{2, L"d"},
                                           BufferCase{3, L"de"}, BufferCase{5, L"de-A"},
                                           BufferCase{6, L"de-AT"}, BufferCase{7, L"de-AT"}));

TEST(LanguageIdBuffer, NullBufferOrSizeZeroWritesNothing) {
    EXPECT_EQ(MyLANGIDToISO3166(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), nullptr, 64, 0), 0);
    wchar_t buffer[4] = {L'X', L'X', L'X', L'X'};
    EXPECT_EQ(MyLANGIDToISO3166(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), buffer, 0, 0), 0);
    EXPECT_EQ(buffer[0], L'X');
}

struct UserAgentCase {
    const char* label;
    const wchar_t* language;
    unsigned long size;
    const wchar_t* expected;
};

class StatisticsLanguage : public ::testing::TestWithParam<UserAgentCase> {};

TEST_P(StatisticsLanguage, GivesPlainLowerCaseCodeOrEmpty) {
    const UserAgentCase& c = GetParam();
    wchar_t buffer[32];
    wmemset(buffer, L'X', 32);
    const int written = ConvertProductLanguageForUserAgent(c.language, buffer, c.size);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(written, static_cast<int>(wcslen(c.expected)));
    for (unsigned long i = c.size; i < 32; ++i) {
        EXPECT_EQ(buffer[i], L'X') << "written beyond the size at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatisticsLanguage,
    ::testing::Values(UserAgentCase{"Plain", L"en", 32, L"en"},
                      UserAgentCase{"UpperCase", L"DE", 32, L"de"},
                      UserAgentCase{"WithCountry", L"de-AT", 32, L"de-at"},
                      UserAgentCase{"Underscore", L"pt_BR", 32, L"pt-br"},
                      UserAgentCase{"Empty", L"", 32, L""}, UserAgentCase{"Null", nullptr, 32, L""},
                      UserAgentCase{"QueryInjectionRefused", L"en&action=x", 32, L""},
                      UserAgentCase{"BlankRefused", L"e n", 32, L""},
                      UserAgentCase{"PercentRefused", L"en%26", 32, L""},
                      UserAgentCase{"NonAsciiRefused", L"\x0440\x0443", 32, L""},
                      UserAgentCase{"CutToSize", L"abcdefgh", 4, L"abc"},
                      UserAgentCase{"SizeOne", L"en", 1, L""}),
    [](const ::testing::TestParamInfo<UserAgentCase>& info) {
        return std::string(info.param.label);
    });

TEST(StatisticsLanguage, NullBufferOrSizeZeroWritesNothing) {
    EXPECT_EQ(ConvertProductLanguageForUserAgent(L"en", nullptr, 32), 0);
    wchar_t buffer[2] = {L'X', L'X'};
    EXPECT_EQ(ConvertProductLanguageForUserAgent(L"en", buffer, 0), 0);
    EXPECT_EQ(buffer[0], L'X');
}

}  // namespace
