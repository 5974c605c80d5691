// The request URL: percent-encoding of each value and the bound on the URL's length.
#include <gtest/gtest.h>

#include <string>

#include "StatsUrl.h"

namespace {

using kystats::AppendPercentEncoded;
using kystats::BuildStatsUrl;
using kystats::kMaxStatsUrlLength;

struct EncodingCase {
    const wchar_t* text;
    const wchar_t* encoded;
};

const EncodingCase kEncodingCases[] = {
    {L"", L""},
    {L"brisco-suite_2.0~x", L"brisco-suite_2.0~x"},
    {L"a&b", L"a%26b"},
    {L"a b", L"a%20b"},
    {L"#frag", L"%23frag"},
    {L"k=v?", L"k%3Dv%3F"},
    {L"100%", L"100%25"},
    {L"+/", L"%2B%2F"},
    {L"\u00e9", L"%C3%A9"},
    {L"\u20ac", L"%E2%82%AC"},
    {L"\U0001F600", L"%F0%9F%98%80"},
    {L"x\xd800y", L"x%EF%BF%BDy"},  // a lone surrogate
    {L"\xdc00", L"%EF%BF%BD"},
};

TEST(StatsUrl, EncodesEachValueFromUtf8KeepingUnreservedCharacters) {
    for (const EncodingCase& c : kEncodingCases) {
        std::wstring out;
        EXPECT_TRUE(AppendPercentEncoded(out, c.text, kMaxStatsUrlLength)) << c.encoded;
        EXPECT_EQ(out, c.encoded);
    }
}

TEST(StatsUrl, NullValueIsEmpty) {
    std::wstring out = L"x";
    EXPECT_TRUE(AppendPercentEncoded(out, nullptr, kMaxStatsUrlLength));
    EXPECT_EQ(out, L"x");
}

TEST(StatsUrl, AppendsOnlyWholeCharactersWithinTheLimit) {
    struct {
        size_t limit;
        const wchar_t* result;
    } cases[] = {
        {0, L""}, {1, L"a"}, {3, L"a"}, {6, L"a"}, {7, L"a%C3%A9"}, {8, L"a%C3%A9b"},
    };
    for (const auto& c : cases) {
        std::wstring out;
        bool whole = AppendPercentEncoded(out, L"a\u00e9b", c.limit);
        EXPECT_EQ(out, c.result) << c.limit;
        EXPECT_EQ(whole, c.limit >= 8) << c.limit;
    }
}

TEST(StatsUrl, PutsTheFiveValuesInOrderBehindTheEndpoint) {
    std::wstring url = BuildStatsUrl(L"http://127.0.0.1:48151",
                                     {L"de", L"a&b c\u00e9", L"1.2.3.4", L"00ff", L"ACTION_X"});
    EXPECT_EQ(url,
              L"http://127.0.0.1:48151/prodinstall.php?lngprod=de&product_id=a%26b%20c%C3%A9"
              L"&build=1.2.3.4&rnd=00ff&action=ACTION_X");
}

TEST(StatsUrl, EmptyValuesStillNameTheirKeys) {
    EXPECT_EQ(BuildStatsUrl(L"https://stats.example", {L"", nullptr, L"", L"r", L"A"}),
              L"https://stats.example/prodinstall.php?lngprod=&product_id=&build=&rnd=r&action=A");
}

TEST(StatsUrl, EmptyEndpointGivesNoUrl) {
    EXPECT_EQ(BuildStatsUrl(L"", {L"de", L"p", L"b", L"r", L"A"}), L"");
    EXPECT_EQ(BuildStatsUrl(nullptr, {L"de", L"p", L"b", L"r", L"A"}), L"");
}

TEST(StatsUrl, LongValueIsCutAtAnEscapeBoundaryWithinTheLimit) {
    std::wstring id(400, L'\u00e9');
    std::wstring url = BuildStatsUrl(L"http://h", {L"de", id.c_str(), L"b", L"r", L"A"});
    ASSERT_LE(url.size(), kMaxStatsUrlLength);
    std::wstring head = L"http://h/prodinstall.php?lngprod=de&product_id=";
    ASSERT_EQ(url.compare(0, head.size(), head), 0);
    std::wstring value = url.substr(head.size());
    // Whole characters only: a run of "%C3%A9", as many as fit.
    ASSERT_EQ(value.size() % 6, 0u);
    EXPECT_GT(url.size() + 6, kMaxStatsUrlLength);
    for (size_t i = 0; i < value.size(); i += 6) ASSERT_EQ(value.substr(i, 6), L"%C3%A9") << i;
}

}  // namespace
