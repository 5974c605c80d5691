// CLoaderControlFile: the lists and values read from control files, and the process-wide
// instance's life.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fetchwell/loadercontrol.h"
#include "fixtures.h"
#include "kycplib/keyvalue.h"

using fetchwell_test::ControlFileWithAppearance;
using fetchwell_test::FixturePath;
using fetchwell_test::TempFile;
using fetchwell_test::XmlFile;
using kycplib::CKeyValueItem;

namespace {

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

// The chain as the plug-in walks it: key and value of each item until next is null. The links
// back are checked on the way, since the common library's list relies on them.
Pairs Walk(const CKeyValueItem* item) {
    Pairs pairs;
    const CKeyValueItem* previous = nullptr;
    for (; item != nullptr; item = item->next) {
        EXPECT_EQ(item->prev, previous);
        pairs.emplace_back(item->key, item->value);
        previous = item;
    }
    return pairs;
}

std::vector<std::wstring> Keys(const CKeyValueItem* item) {
    std::vector<std::wstring> keys;
    for (const auto& pair : Walk(item)) {
        keys.push_back(pair.first);
    }
    return keys;
}

struct Color {
    int red = 0;
    int green = 0;
    int blue = 0;
};

Color BackgroundOf(const CLoaderControlFile& control) {
    Color c;
    control.getBackgroundColorRGB(c.red, c.green, c.blue);
    return c;
}

// Every test starts and ends without a process-wide instance.
class LoaderControlFile : public ::testing::Test {
protected:
    void SetUp() override { CLoaderControlFile::FreeInstance(); }
    void TearDown() override { CLoaderControlFile::FreeInstance(); }

    CLoaderControlFile* Load(const wchar_t* fixture) {
        m_files.push_back(std::make_unique<XmlFile>(FixturePath(fixture).c_str()));
        return CLoaderControlFile::GetInstance(m_files.back()->Get());
    }

    std::vector<std::unique_ptr<XmlFile>> m_files;
};

TEST_F(LoaderControlFile, FullFileGivesEveryList) {
    CLoaderControlFile* control = Load(L"full.xml");
    ASSERT_NE(control, nullptr);

    EXPECT_EQ(Walk(control->getFirstProduct()),
              (Pairs{{L"brisco-suite", L"Brisco Suite & Tools"},
                     {L"brisco-ru", L"\x0411\x0440\x0438\x0441\x043A\x043E"},
                     {L"brisco-ja", L"\x30D6\x30EA\x30B9\x30B3"}}));
    EXPECT_STREQ(control->getFirstProductID(), L"brisco-suite");
    EXPECT_EQ(Walk(control->getFirstGUILanguage()), (Pairs{{L"en", L"fetchwellGUI_en.dll"},
                                                           {L"de", L"fetchwellGUI_de.dll"},
                                                           {L"fr", L"fetchwellGUI_fr.dll"},
                                                           {L"ru", L"fetchwellGUI_ru.dll"},
                                                           {L"ja", L"fetchwellGUI_ja.dll"}}));
    EXPECT_EQ(Walk(control->getFirstLanguageOfProduct(L"brisco-suite")),
              (Pairs{{L"en", L""}, {L"de", L""}, {L"fr", L""}}));
    EXPECT_EQ(Keys(control->getFirstLanguageOfProduct(L"brisco-ru")),
              (std::vector<std::wstring>{L"ru", L"en"}));
    EXPECT_EQ(Keys(control->getFirstLanguageOfAll()),
              (std::vector<std::wstring>{L"en", L"de", L"fr", L"ru", L"ja"}));
    EXPECT_FALSE(control->showHeaderTitle());
    const Color c = BackgroundOf(*control);
    EXPECT_EQ(c.red, 230);
    EXPECT_EQ(c.green, 236);
    EXPECT_EQ(c.blue, 245);
}

struct ProductLanguageCount {
    const wchar_t* productId;
    int count;
};

class LanguageCount : public LoaderControlFile,
                      public ::testing::WithParamInterface<ProductLanguageCount> {};

TEST_P(LanguageCount, CountsTheProductsLanguages) {
    CLoaderControlFile* control = Load(L"full.xml");
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->getNumLanguagesOfProduct(GetParam().productId), GetParam().count);
    EXPECT_EQ(
        static_cast<int>(Walk(control->getFirstLanguageOfProduct(GetParam().productId)).size()),
        GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Products, LanguageCount,
    ::testing::Values(ProductLanguageCount{L"brisco-suite", 3},
                      ProductLanguageCount{L"brisco-ru", 2}, ProductLanguageCount{L"brisco-ja", 1},
                      ProductLanguageCount{L"BRISCO-JA", 1}, ProductLanguageCount{L"unknown", 0},
                      ProductLanguageCount{L"", 0}, ProductLanguageCount{nullptr, 0}));

TEST_F(LoaderControlFile, EmptyListsAreNull) {
    CLoaderControlFile* control = Load(L"empty_lists.xml");
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->getFirstProduct(), nullptr);
    EXPECT_STREQ(control->getFirstProductID(), L"");
    EXPECT_EQ(control->getFirstGUILanguage(), nullptr);
    EXPECT_EQ(control->getFirstLanguageOfAll(), nullptr);
    EXPECT_EQ(control->getFirstLanguageOfProduct(L""), nullptr);
    EXPECT_EQ(control->getNumLanguagesOfProduct(L""), 0);
    // Nothing said about the look: the header title shows and the colour is unset.
    EXPECT_TRUE(control->showHeaderTitle());
    const Color c = BackgroundOf(*control);
    EXPECT_EQ(c.red + c.green + c.blue, 0);
}

TEST_F(LoaderControlFile, OddLetterCaseInNamesAndKeys) {
    CLoaderControlFile* control = Load(L"odd_case.xml");
    ASSERT_NE(control, nullptr);
    // Keys come back as written; the plug-in looks them up ignoring case.
    EXPECT_EQ(Walk(control->getFirstGUILanguage()),
              (Pairs{{L"EN", L"fetchwellGUI_en.dll"}, {L"De", L"fetchwellGUI_de.dll"}}));
    kycplib::CKeyValueList guiLanguages;
    for (const CKeyValueItem* item = control->getFirstGUILanguage(); item != nullptr;
         item = item->next) {
        guiLanguages.Add(item->key, item->value);
    }
    EXPECT_STREQ(guiLanguages.Find(L"en"), L"fetchwellGUI_en.dll");
    EXPECT_STREQ(guiLanguages.Find(L"DE"), L"fetchwellGUI_de.dll");

    EXPECT_EQ(Walk(control->getFirstProduct()), (Pairs{{L"BrIsCo", L"Brisco"}}));
    // "EN" and "en" name one language; it is listed once, as first written.
    EXPECT_EQ(Keys(control->getFirstLanguageOfProduct(L"brisco")),
              (std::vector<std::wstring>{L"EN", L"dE"}));
    EXPECT_EQ(control->getNumLanguagesOfProduct(L"BRISCO"), 2);
    EXPECT_EQ(Keys(control->getFirstLanguageOfAll()), (std::vector<std::wstring>{L"EN", L"dE"}));
    EXPECT_FALSE(control->showHeaderTitle());
    const Color c = BackgroundOf(*control);
    EXPECT_EQ(c.red, 1);
    EXPECT_EQ(c.green, 0);
    EXPECT_EQ(c.blue, 0);
}

TEST_F(LoaderControlFile, BlackBackgroundComesBackAsZeros) {
    CLoaderControlFile* control = Load(L"black_background.xml");
    ASSERT_NE(control, nullptr);
    Color c;
    c.red = c.green = c.blue = 77;  // whatever the caller had, the file's 0,0,0 is what it gets
    control->getBackgroundColorRGB(c.red, c.green, c.blue);
    EXPECT_EQ(c.red, 0);
    EXPECT_EQ(c.green, 0);
    EXPECT_EQ(c.blue, 0);
}

struct ColorCase {
    const char* label;
    const char* text;
    Color expected;
};

class BackgroundColor : public LoaderControlFile,
                        public ::testing::WithParamInterface<ColorCase> {};

TEST_P(BackgroundColor, ReadsThreeComponentsOrNone) {
    const ColorCase& c = GetParam();
    TempFile temp(ControlFileWithAppearance(std::string("<backgroundColor>") + c.text +
                                            "</backgroundColor>"));
    XmlFile file(temp.Path());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(file.Get());
    ASSERT_NE(control, nullptr);
    const Color got = BackgroundOf(*control);
    EXPECT_EQ(got.red, c.expected.red);
    EXPECT_EQ(got.green, c.expected.green);
    EXPECT_EQ(got.blue, c.expected.blue);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BackgroundColor,
    ::testing::Values(ColorCase{"Plain", "12,34,56", {12, 34, 56}},
                      ColorCase{"BlanksAround", "  12 ,\t34 , 56  ", {12, 34, 56}},
                      ColorCase{"Limits", "255,0,255", {255, 0, 255}},
                      ColorCase{"AllZero", "0,0,0", {0, 0, 0}},
                      ColorCase{"LeadingZeros", "007,010,000", {7, 10, 0}},
                      ColorCase{"AboveByteRefused", "256,0,0", {0, 0, 0}},
                      ColorCase{"HugeRefused", "99999999999,1,1", {0, 0, 0}},
                      ColorCase{"NegativeRefused", "-1,2,3", {0, 0, 0}},
                      ColorCase{"TwoComponentsRefused", "1,2", {0, 0, 0}},
                      ColorCase{"FourComponentsRefused", "1,2,3,4", {0, 0, 0}},
                      ColorCase{"EmptyPartRefused", "1,,3", {0, 0, 0}},
                      ColorCase{"TrailingTextRefused", "1,2,3x", {0, 0, 0}},
                      ColorCase{"HexRefused", "#FF0000", {0, 0, 0}},
                      ColorCase{"Empty", "", {0, 0, 0}}),
    [](const ::testing::TestParamInfo<ColorCase>& info) { return std::string(info.param.label); });

struct FlagCase {
    const char* label;
    const char* element;  // null: no showHeaderTitle element
    bool expected;
};

class HeaderTitle : public LoaderControlFile, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(HeaderTitle, ReadsFlagWithTrueAsDefault) {
    const FlagCase& c = GetParam();
    TempFile temp(ControlFileWithAppearance(c.element != nullptr ? c.element : ""));
    XmlFile file(temp.Path());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(file.Get());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->showHeaderTitle(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HeaderTitle,
    ::testing::Values(FlagCase{"Absent", nullptr, true},
                      FlagCase{"True", "<showHeaderTitle>true</showHeaderTitle>", true},
                      FlagCase{"False", "<showHeaderTitle>false</showHeaderTitle>", false},
                      FlagCase{"Zero", "<showHeaderTitle> 0 </showHeaderTitle>", false},
                      FlagCase{"No", "<showHeaderTitle>No</showHeaderTitle>", false},
                      FlagCase{"One", "<showHeaderTitle>1</showHeaderTitle>", true},
                      FlagCase{"UnreadableKeepsDefault", "<showHeaderTitle>maybe</showHeaderTitle>",
                               true},
                      FlagCase{"EmptyKeepsDefault", "<showHeaderTitle/>", true}),
    [](const ::testing::TestParamInfo<FlagCase>& info) { return std::string(info.param.label); });

struct NoInstanceCase {
    const char* label;
    const wchar_t* fixture;
};

class NoInstance : public LoaderControlFile,
                   public ::testing::WithParamInterface<NoInstanceCase> {};

TEST_P(NoInstance, GetInstanceGivesNull) { EXPECT_EQ(Load(GetParam().fixture), nullptr); }

INSTANTIATE_TEST_SUITE_P(Files, NoInstance,
                         ::testing::Values(NoInstanceCase{"Missing", L"no-such-file.xml"},
                                           NoInstanceCase{"Malformed", L"malformed.xml"},
                                           NoInstanceCase{"OtherRootElement", L"not_control.xml"}),
                         [](const ::testing::TestParamInfo<NoInstanceCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(LoaderControlFile, NullParserGivesNullWithoutInstance) {
    EXPECT_EQ(CLoaderControlFile::GetInstance(nullptr), nullptr);
}

TEST_F(LoaderControlFile, FailedFirstAttemptDoesNotBlockLaterOne) {
    EXPECT_EQ(Load(L"malformed.xml"), nullptr);
    CLoaderControlFile* control = Load(L"full.xml");
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->getFirstProductID(), L"brisco-suite");
}

TEST_F(LoaderControlFile, SecondShortLivedParserGetsTheSameUsableInstance) {
    auto first = std::make_unique<XmlFile>(FixturePath(L"full.xml").c_str());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(first->Get());
    ASSERT_NE(control, nullptr);
    const CKeyValueItem* products = control->getFirstProduct();

    {
        // As the statistics code does: a parser of the file beside the host, held for one call.
        XmlFile beside(FixturePath(L"second.xml").c_str());
        ASSERT_NE(beside.getXMLTree(), nullptr);
        EXPECT_EQ(CLoaderControlFile::GetInstance(beside.Get()), control);
        EXPECT_STREQ(control->getFirstProductID(), L"brisco-suite");
    }
    // Neither the short-lived parser's end nor the first parser's changes what was handed out.
    first.reset();
    EXPECT_EQ(CLoaderControlFile::GetInstance(nullptr), control);
    EXPECT_EQ(control->getFirstProduct(), products);
    EXPECT_EQ(Keys(control->getFirstProduct()),
              (std::vector<std::wstring>{L"brisco-suite", L"brisco-ru", L"brisco-ja"}));
    EXPECT_EQ(control->getNumLanguagesOfProduct(L"brisco-suite"), 3);
}

TEST_F(LoaderControlFile, SecondParserWithoutTreeStillGetsTheInstance) {
    CLoaderControlFile* control = Load(L"full.xml");
    ASSERT_NE(control, nullptr);
    XmlFile missing(FixturePath(L"no-such-file.xml").c_str());
    EXPECT_EQ(CLoaderControlFile::GetInstance(missing.Get()), control);
}

TEST_F(LoaderControlFile, FreeInstanceLetsTheNextFileIn) {
    CLoaderControlFile* control = Load(L"full.xml");
    ASSERT_NE(control, nullptr);
    CLoaderControlFile::FreeInstance();
    EXPECT_EQ(CLoaderControlFile::GetInstance(nullptr), nullptr);
    CLoaderControlFile* next = Load(L"second.xml");
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next->getFirstProductID(), L"other-product");
    EXPECT_EQ(Walk(next->getFirstGUILanguage()), (Pairs{{L"fr", L"fetchwellGUI_fr.dll"}}));
    // A second release has nothing left to free.
    CLoaderControlFile::FreeInstance();
    CLoaderControlFile::FreeInstance();
    EXPECT_EQ(CLoaderControlFile::GetInstance(nullptr), nullptr);
}

struct RacingCaller {
    HANDLE start;
    std::wstring path;
    CLoaderControlFile* got = nullptr;
};

DWORD WINAPI CallGetInstance(void* parameter) {
    auto* caller = static_cast<RacingCaller*>(parameter);
    WaitForSingleObject(caller->start, INFINITE);
    XmlFile file(caller->path.c_str());
    caller->got = CLoaderControlFile::GetInstance(file.Get());
    return 0;
}

TEST_F(LoaderControlFile, ConcurrentCallersShareOneInstance) {
    // The host's thread, the plug-in's thread and statistics senders may all ask at once.
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(start, nullptr);
    const wchar_t* files[] = {L"full.xml", L"second.xml"};
    std::vector<RacingCaller> callers(8);
    std::vector<HANDLE> threads;
    for (size_t i = 0; i < callers.size(); ++i) {
        callers[i].start = start;
        callers[i].path = FixturePath(files[i % 2]);
        HANDLE thread = CreateThread(nullptr, 0, CallGetInstance, &callers[i], 0, nullptr);
        ASSERT_NE(thread, nullptr);
        threads.push_back(thread);
    }
    SetEvent(start);
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    CloseHandle(start);

    CLoaderControlFile* instance = CLoaderControlFile::GetInstance(nullptr);
    ASSERT_NE(instance, nullptr);
    for (const RacingCaller& caller : callers) {
        EXPECT_EQ(caller.got, instance);
    }
    // Whichever file came first, the instance holds exactly that file's products.
    const std::wstring first = instance->getFirstProductID();
    EXPECT_TRUE(first == L"brisco-suite" || first == L"other-product")
        << "first product id: " << std::string(first.begin(), first.end());
    EXPECT_EQ(Keys(instance->getFirstProduct()).size(), first == L"brisco-suite" ? 3u : 1u);
}

TEST_F(LoaderControlFile, LongValuesAreCutToTheItemSize) {
    const std::string id(300, 'i');
    const std::string name(400, 'n');
    TempFile temp("<loadercontrol><products><product id=\"" + id + "\" name=\"" + name +
                  "\"/></products></loadercontrol>");
    XmlFile file(temp.Path());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(file.Get());
    ASSERT_NE(control, nullptr);
    const CKeyValueItem* item = control->getFirstProduct();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::wstring(item->key), std::wstring(259, L'i'));
    EXPECT_EQ(std::wstring(item->value), std::wstring(259, L'n'));
}

TEST_F(LoaderControlFile, EntriesWithoutIdOrCodeAreLeftOut) {
    TempFile temp(
        "<loadercontrol><guiLanguages><language library=\"x.dll\"/><language code=\" \" "
        "library=\"y.dll\"/>"
        "<language code=\"en\"/></guiLanguages>"
        "<products><product name=\"no id\"/><product id=\"p\"><language/><language "
        "code=\"en\"/></product>"
        "</products></loadercontrol>");
    XmlFile file(temp.Path());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(file.Get());
    ASSERT_NE(control, nullptr);
    // A language without its library stays listed with an empty file name: the plug-in skips it.
    EXPECT_EQ(Walk(control->getFirstGUILanguage()), (Pairs{{L"en", L""}}));
    EXPECT_EQ(Walk(control->getFirstProduct()), (Pairs{{L"p", L""}}));
    EXPECT_EQ(Keys(control->getFirstLanguageOfProduct(L"p")), (std::vector<std::wstring>{L"en"}));
}

}  // namespace
