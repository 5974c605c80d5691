// The statistics requests as the recording server on the build's endpoint receives them, and
// the values they carry: language, product id, host build and the random identifier.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "LoaderTrakkoMessage.h"
#include "TrakkoActions.h"
#include "fetchwell/loadercontrol.h"
#include "stats_record.h"

namespace {

using statstest::DecodeValue;
using statstest::FixtureDirectory;
using statstest::Narrow;
using statstest::QueryValue;
using statstest::SplitQuery;
using statstest::WaitForRequests;

const char kServer[] = "answer";

bool IsLowerHex(const CString& text) {
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text.GetAt(i);
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    }
    return true;
}

std::wstring Rnd() { return std::wstring(TrakkoRequest::GetInstance()->m_randomId); }

std::string UserDefaultLanguage() {
    wchar_t code[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), code, 64, 0);
    return Narrow(code);
}

// Each case starts with the host's folder of the case, no control file instance and an empty
// statistics language, and leaves them so.
class StatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLoaderControlFile::FreeInstance();
        SetStatsLanguage(L"");
        SetStatsDirectoryForTesting(nullptr);
    }
    void TearDown() override { SetUp(); }

    // Sends the actions, waits until the server recorded them and returns the requests of this
    // process that came after the first `before`.
    std::vector<std::string> SendAndRead(std::initializer_list<const wchar_t*> actions) {
        size_t before = statstest::ReadRequests(kServer, Rnd()).size();
        for (const wchar_t* action : actions) {
            LoaderTrakkoMessage message;
            message.Send(action);
        }
        EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll(10000));
        std::vector<std::string> all =
            WaitForRequests(kServer, Rnd(), before + actions.size(), 5000);
        EXPECT_EQ(all.size(), before + actions.size());
        return std::vector<std::string>(all.begin() + std::min(before, all.size()), all.end());
    }
};

// ---- Random identifier ----

TEST(MakeRandomId, AsksForFortyOneCharacters) {
    struct {
        bool buffer;
        unsigned long size;
    } cases[] = {{false, 0}, {false, 41}, {false, 100}, {true, 0}, {true, 1}, {true, 40}};
    for (const auto& c : cases) {
        wchar_t buffer[64];
        wmemset(buffer, L'x', 64);
        unsigned long size = c.size;
        EXPECT_EQ(MakeRandomId(c.buffer ? buffer : nullptr, &size), 234u) << c.size;
        EXPECT_EQ(size, 41u);
        EXPECT_EQ(buffer[0], L'x') << "nothing written with size " << c.size;
    }
}

TEST(MakeRandomId, NullSizeIsRefused) {
    wchar_t buffer[64] = {};
    EXPECT_EQ(MakeRandomId(buffer, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(MakeRandomId, WritesFortyLowerCaseHexDigitsFromEitherSource) {
    for (bool fallback : {false, true}) {
        ForceRandomFallbackForTesting(fallback);
        wchar_t first[41];
        wchar_t second[64];
        wmemset(second, L'x', 64);
        unsigned long size = 41;
        ASSERT_EQ(MakeRandomId(first, &size), 0u) << fallback;
        EXPECT_EQ(size, 41u);
        size = 64;
        ASSERT_EQ(MakeRandomId(second, &size), 0u);
        for (const wchar_t* id :
             {static_cast<const wchar_t*>(first), static_cast<const wchar_t*>(second)}) {
            EXPECT_EQ(wcslen(id), 40u) << fallback;
            EXPECT_TRUE(IsLowerHex(CString(id))) << Narrow(id);
        }
        EXPECT_EQ(second[41], L'x') << "written beyond the terminator";
        EXPECT_STRNE(Narrow(first).c_str(), Narrow(second).c_str()) << "fallback " << fallback;
    }
    ForceRandomFallbackForTesting(false);
}

TEST(TrakkoRequest, HoldsOneRandomIdentifierForTheProcess) {
    TrakkoRequest* registry = TrakkoRequest::GetInstance();
    EXPECT_EQ(registry, TrakkoRequest::GetInstance());
    EXPECT_EQ(registry->m_randomId.GetLength(), 40);
    EXPECT_TRUE(IsLowerHex(registry->m_randomId));
}

// ---- Host build and product id ----

TEST_F(StatsTest, HostBuildIsTheFileVersionOfTheHostBesideTheProgram) {
    struct {
        const wchar_t* folder;
        const wchar_t* build;
    } cases[] = {
        {L"versioned", L"7.12.300.65535"},
        {L"unversioned", L""},  // an executable without a version resource
        {L"awkward", L""},      // no fetchwell.exe at all
    };
    for (const auto& c : cases) {
        SetStatsDirectoryForTesting(FixtureDirectory(c.folder).c_str());
        EXPECT_STREQ(Narrow(std::wstring(GetHostBuild())).c_str(), Narrow(c.build).c_str())
            << Narrow(c.folder);
    }
}

TEST_F(StatsTest, ProductIdIsTheFirstProductOfTheControlFileBesideTheProgram) {
    struct {
        const wchar_t* folder;
        const wchar_t* productId;
    } cases[] = {
        {L"versioned", L"brisco-suite"},
        {L"awkward", L"a&b c \u00e9#x=1"},
        {L"unversioned", L""},  // no control file
        {L"malformed", L""},
    };
    for (const auto& c : cases) {
        CLoaderControlFile::FreeInstance();
        SetStatsDirectoryForTesting(FixtureDirectory(c.folder).c_str());
        EXPECT_STREQ(Narrow(std::wstring(GetStatsProductId())).c_str(), Narrow(c.productId).c_str())
            << Narrow(c.folder);
    }
}

TEST_F(StatsTest, WithoutHookTheFolderIsTheProgramsOwn) {
    CString build = GetHostBuild();
    CString productId = GetStatsProductId();
    CLoaderControlFile::FreeInstance();
    SetStatsDirectoryForTesting(statstest::ProgramDirectory().c_str());
    EXPECT_STREQ(Narrow(std::wstring(build)).c_str(), Narrow(std::wstring(GetHostBuild())).c_str());
    EXPECT_STREQ(Narrow(std::wstring(productId)).c_str(),
                 Narrow(std::wstring(GetStatsProductId())).c_str());
    // And a folder of the fixtures does make a difference.
    SetStatsDirectoryForTesting(FixtureDirectory(L"versioned").c_str());
    EXPECT_STRNE(Narrow(std::wstring(build)).c_str(), Narrow(std::wstring(GetHostBuild())).c_str());
}

// ---- Statistics language ----

TEST_F(StatsTest, LanguageIsSetByTheFirstMessageOnlyWhenEmpty) {
    EXPECT_TRUE(GetStatsLanguage().IsEmpty());
    { LoaderTrakkoMessage message; }
    EXPECT_STREQ(Narrow(std::wstring(GetStatsLanguage())).c_str(), UserDefaultLanguage().c_str());
    SetStatsLanguage(L"fr");
    { LoaderTrakkoMessage message; }
    EXPECT_STREQ(Narrow(std::wstring(GetStatsLanguage())).c_str(), "fr");
}

TEST_F(StatsTest, UserDefaultLanguageFollowsTheEnvironment) {
    // The test runs with LANG and LC_ALL of a language (Wine's way of choosing the user's UI
    // language) and names the code it expects.
    const char* expected = getenv("KY_EXPECT_UI_LANGUAGE");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(UserDefaultLanguage(), expected);
}

// ---- Requests ----

TEST_F(StatsTest, EveryRequestCarriesAllFieldsAndOneRandomIdentifier) {
    SetStatsDirectoryForTesting(FixtureDirectory(L"versioned").c_str());
    std::vector<std::string> requests =
        SendAndRead({FETCHWELL_DLG_WELCOME_NEXT, FETCHWELL_DLG_SELECT_LANG_NEXT});
    ASSERT_EQ(requests.size(), 2u);
    const char* actions[] = {"FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_NEXT"};
    for (size_t i = 0; i < 2; ++i) {
        const std::string& r = requests[i];
        EXPECT_EQ(r.compare(0, 17, "/prodinstall.php?"), 0) << r;
        std::vector<std::string> keys;
        for (const auto& field : SplitQuery(r)) keys.push_back(field.first);
        EXPECT_EQ(keys,
                  (std::vector<std::string>{"lngprod", "product_id", "build", "rnd", "action"}))
            << r;
        EXPECT_EQ(QueryValue(r, "lngprod"), UserDefaultLanguage()) << r;
        EXPECT_EQ(QueryValue(r, "product_id"), "brisco-suite");
        EXPECT_EQ(QueryValue(r, "build"), "7.12.300.65535");
        EXPECT_EQ(QueryValue(r, "rnd"), Narrow(Rnd()));
        EXPECT_EQ(QueryValue(r, "rnd").size(), 40u);
        EXPECT_EQ(QueryValue(r, "action"), actions[i]);
    }
}

TEST_F(StatsTest, SettledLanguageIsSentConverted) {
    struct {
        const wchar_t* language;
        const char* lngprod;
    } cases[] = {{L"fr", "fr"}, {L"PT_br", "pt-br"}};
    for (const auto& c : cases) {
        SetStatsLanguage(c.language);
        std::vector<std::string> requests = SendAndRead({FETCHWELL_DLG_PROGRESS_FINISH});
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(QueryValue(requests[0], "lngprod"), c.lngprod);
    }
}

TEST_F(StatsTest, MissingHostAndControlFileLeaveTheirValuesEmptyAndTheRequestGoes) {
    SetStatsDirectoryForTesting(FixtureDirectory(L"unversioned").c_str());
    std::vector<std::string> requests = SendAndRead({FETCHWELL_DLG_WELCOME_CANCEL});
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(QueryValue(requests[0], "product_id"), "");
    EXPECT_EQ(QueryValue(requests[0], "build"), "");
    EXPECT_EQ(QueryValue(requests[0], "action"), "FETCHWELL_DLG_WELCOME_CANCEL");
}

TEST_F(StatsTest, AwkwardProductIdArrivesEncodedAsOneParameter) {
    SetStatsDirectoryForTesting(FixtureDirectory(L"awkward").c_str());
    std::vector<std::string> requests = SendAndRead({FETCHWELL_DLG_SELECT_LANG_CANCEL});
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    EXPECT_EQ(SplitQuery(r).size(), 5u) << r;
    EXPECT_EQ(QueryValue(r, "product_id"), "a%26b%20c%20%C3%A9%23x%3D1") << r;
    EXPECT_EQ(DecodeValue(QueryValue(r, "product_id")), L"a&b c \u00e9#x=1");
    EXPECT_EQ(QueryValue(r, "action"), "FETCHWELL_DLG_SELECT_LANG_CANCEL");
    EXPECT_EQ(QueryValue(r, "x"), "<missing>");
}

TEST_F(StatsTest, OverLongProductIdIsCutWithinTheUrlAtAnEscapeBoundary) {
    // 250 characters of 6 escape characters each: the URL is cut inside the product id, so the
    // request carries no rnd; it is found by a language of its own instead.
    SetStatsDirectoryForTesting(FixtureDirectory(L"long").c_str());
    std::wstring marker = L"x-" + Rnd().substr(0, 20);
    SetStatsLanguage(marker.c_str());
    {
        LoaderTrakkoMessage message;
        message.Send(FETCHWELL_DLG_PROGRESS_CANCEL);
    }
    EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll(10000));
    std::vector<std::string> requests =
        statstest::WaitForRequestsWith(kServer, "lngprod", Narrow(marker), 1, 5000);
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    size_t length = std::wstring(GetStatsEndpointForTesting()).size() + r.size();
    EXPECT_LE(length, 1023u);
    EXPECT_GT(length, 1023u - 6);
    EXPECT_EQ(SplitQuery(r).size(), 2u) << r;
    std::string id = QueryValue(r, "product_id");
    ASSERT_EQ(id.size() % 6, 0u) << id;
    for (size_t i = 0; i < id.size(); i += 6) ASSERT_EQ(id.substr(i, 6), "%C3%A9") << i;
}

TEST_F(StatsTest, TheSameStepTwiceReachesTheServerTwice) {
    std::vector<std::string> requests =
        SendAndRead({FETCHWELL_DLG_WELCOME_NEXT, FETCHWELL_DLG_WELCOME_NEXT});
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], requests[1]);
}

DWORD WINAPI WaitUntilStopped(void* parameter) {
    volatile LONG* stop = static_cast<volatile LONG*>(parameter);
    while (InterlockedCompareExchange(stop, 0, 0) == 0) {
        TrakkoRequest::GetInstance()->WaitForAll(20);
    }
    return 0;
}

TEST_F(StatsTest, SendsAndWaitsOnTwoThreadsAtOnce) {
    // One thread waits over and over (dropping ended threads, copying handles) while this one
    // sends (dropping ended threads, adding new ones): the registry's lock keeps them apart.
    constexpr size_t kSends = 40;
    size_t before = statstest::ReadRequests(kServer, Rnd()).size();
    volatile LONG stop = 0;
    HANDLE waiter =
        CreateThread(nullptr, 0, WaitUntilStopped, const_cast<LONG*>(&stop), 0, nullptr);
    ASSERT_NE(waiter, nullptr);
    for (size_t i = 0; i < kSends; ++i) {
        LoaderTrakkoMessage message;
        message.Send(FETCHWELL_DLG_WELCOME_NEXT);
    }
    InterlockedExchange(&stop, 1);
    EXPECT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
    CloseHandle(waiter);
    EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll(20000));
    EXPECT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 0u);
    EXPECT_EQ(WaitForRequests(kServer, Rnd(), before + kSends, 10000).size(), before + kSends);
}

TEST_F(StatsTest, HttpsEndpointNeverSendsTheRequestInClearText) {
    // The recording server speaks plain HTTP: what reaches it from an https endpoint is the
    // start of a TLS handshake, never a request line with this process's rnd.
    std::wstring endpoint(GetStatsEndpointForTesting());
    ASSERT_EQ(endpoint.compare(0, 7, L"http://"), 0);
    std::wstring secure = L"https://" + endpoint.substr(7);
    SetEnvironmentVariableW(L"KY_STATS_URL_FOR_TESTING", secure.c_str());
    size_t before = statstest::ReadRequests(kServer, Rnd()).size();
    {
        LoaderTrakkoMessage message;
        message.Send(FETCHWELL_DLG_WELCOME_NEXT);
    }
    EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll(20000));
    SetEnvironmentVariableW(L"KY_STATS_URL_FOR_TESTING", nullptr);
    EXPECT_EQ(statstest::ReadRequests(kServer, Rnd()).size(), before);
}

}  // namespace
