#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "kycplib/keyvalue.h"

using kycplib::CKeyValueItem;
using kycplib::CKeyValueList;

// Counts the items alive on the heap, to see that the list frees what it allocated. The process
// heap rather than malloc, which the compiler would otherwise pair with these operators itself.
namespace {
long g_liveItems = 0;
}

void* operator new(std::size_t size) {
    void* block = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    if (size == sizeof(CKeyValueItem)) {
        ++g_liveItems;
    }
    return block;
}

void operator delete(void* block, std::size_t size) noexcept {
    if (block != nullptr && size == sizeof(CKeyValueItem)) {
        --g_liveItems;
    }
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

void operator delete(void* block) noexcept {
    // Unsized deletes never release items: the list deletes through the complete type.
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

namespace {

// Owning lists and their items are never copied: a copy would free the same items twice.
static_assert(!std::is_copy_constructible<CKeyValueList>::value, "list not copyable");
static_assert(!std::is_copy_assignable<CKeyValueList>::value, "list not assignable");

std::vector<std::wstring> Keys(const CKeyValueList& list) {
    std::vector<std::wstring> keys;
    for (const CKeyValueItem* item = list.GetHead(); item != nullptr; item = item->next) {
        keys.push_back(item->key);
    }
    return keys;
}

TEST(KeyValueItem, NewItemIsZeroFilledAndTakesPrevFromItsCreator) {
    CKeyValueItem creator;
    CKeyValueItem* item = new CKeyValueItem(&creator);
    for (unsigned i = 0; i < CKeyValueItem::kTextSize; ++i) {
        ASSERT_EQ(item->key[i], L'\0') << i;
        ASSERT_EQ(item->value[i], L'\0') << i;
    }
    EXPECT_EQ(item->next, nullptr);
    EXPECT_EQ(item->prev, &creator);
    EXPECT_EQ(creator.prev, nullptr);
    delete item;
}

TEST(KeyValueList, StartsEmpty) {
    CKeyValueList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.Find(L"en"), nullptr);
}

TEST(KeyValueList, KeepsInsertionOrderWithBothLinks) {
    CKeyValueList list;
    list.Add(L"en", L"English");
    list.Add(L"de", L"Deutsch");
    list.Add(L"fr", L"Francais");
    EXPECT_FALSE(list.IsEmpty());
    EXPECT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(Keys(list), (std::vector<std::wstring>{L"en", L"de", L"fr"}));

    const CKeyValueItem* first = list.GetHead();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->prev, nullptr);
    ASSERT_NE(first->next, nullptr);
    EXPECT_EQ(first->next->prev, first);
    ASSERT_NE(first->next->next, nullptr);
    EXPECT_EQ(first->next->next->prev, first->next);
    EXPECT_EQ(first->next->next->next, nullptr);
}

struct FindCase {
    const char* label;
    const wchar_t* key;
    const wchar_t* expected;  // null: not found
};

class KeyValueFind : public ::testing::TestWithParam<FindCase> {};

TEST_P(KeyValueFind, ComparesWholeKeysIgnoringCase) {
    CKeyValueList list;
    list.Add(L"en", L"english.dll");
    list.Add(L"zh-CN", L"chinese.dll");
    list.Add(L"EN", L"second-english.dll");  // a duplicate never wins over the first
    const FindCase& c = GetParam();
    const wchar_t* found = list.Find(c.key);
    if (c.expected == nullptr) {
        EXPECT_EQ(found, nullptr);
    } else {
        ASSERT_NE(found, nullptr);
        EXPECT_STREQ(found, c.expected);
    }
}

const FindCase kFindCases[] = {
    {"SameCase", L"en", L"english.dll"},
    {"UpperCase", L"EN", L"english.dll"},
    {"MixedCase", L"En", L"english.dll"},
    {"MixedCaseWithDash", L"ZH-cn", L"chinese.dll"},
    {"Prefix", L"e", nullptr},
    {"Longer", L"eng", nullptr},
    {"Empty", L"", nullptr},
    {"Null", nullptr, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, KeyValueFind, ::testing::ValuesIn(kFindCases),
                         [](const ::testing::TestParamInfo<FindCase>& info) {
                             return info.param.label;
                         });

TEST(KeyValueList, DuplicateKeysStayInTheList) {
    CKeyValueList list;
    list.Add(L"en", L"first");
    list.Add(L"en", L"second");
    EXPECT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(Keys(list), (std::vector<std::wstring>{L"en", L"en"}));
    EXPECT_STREQ(list.Find(L"en"), L"first");
}

TEST(KeyValueList, NullKeyIsIgnored) {
    CKeyValueList list;
    list.Add(nullptr, L"orphan");
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHead(), nullptr);
    list.Add(L"en", L"x");
    list.Add(nullptr, L"orphan");
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST(KeyValueList, NullValueIsStoredEmpty) {
    CKeyValueList list;
    list.Add(L"de", nullptr);
    ASSERT_EQ(list.GetCount(), 1u);
    const wchar_t* value = list.Find(L"de");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, L"");
}

struct TruncationCase {
    size_t length;
    size_t stored;
};

class KeyValueTruncation : public ::testing::TestWithParam<TruncationCase> {};

// Text whose characters differ from one position to the next, so a wrong cut shows.
std::wstring Text(size_t length, wchar_t base) {
    std::wstring text;
    for (size_t i = 0; i < length; ++i) {
        text.push_back(static_cast<wchar_t>(base + i % 26));
    }
    return text;
}

TEST_P(KeyValueTruncation, KeyAndValueKeepAtMost259Characters) {
    const TruncationCase& c = GetParam();
    std::wstring key = Text(c.length, L'a');
    std::wstring value = Text(c.length, L'A');
    CKeyValueList list;
    list.Add(key.c_str(), value.c_str());
    const CKeyValueItem* item = list.GetHead();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::wstring(item->key), key.substr(0, c.stored));
    EXPECT_EQ(std::wstring(item->value), value.substr(0, c.stored));
    // The stored key is what Find matches against.
    EXPECT_NE(list.Find(key.substr(0, c.stored).c_str()), nullptr);
}

const TruncationCase kTruncationCases[] = {
    {258, 258},
    {259, 259},
    {260, 259},
    {300, 259},
};

INSTANTIATE_TEST_SUITE_P(Lengths, KeyValueTruncation, ::testing::ValuesIn(kTruncationCases),
                         [](const ::testing::TestParamInfo<TruncationCase>& info) {
                             return "Length" + std::to_string(info.param.length);
                         });

TEST(KeyValueList, ClearAndDestructorFreeEveryItem) {
    long before = g_liveItems;
    {
        CKeyValueList list;
        for (int i = 0; i < 4; ++i) {
            list.Add(L"k", L"v");
        }
        EXPECT_EQ(g_liveItems, before + 4);
        list.Clear();
        EXPECT_EQ(g_liveItems, before);
        list.Add(L"k", L"v");
        list.Add(L"k", L"v");
        EXPECT_EQ(g_liveItems, before + 2);
    }
    EXPECT_EQ(g_liveItems, before);
}

TEST(KeyValueList, ClearEmptiesTheListAndItCanBeFilledAgain) {
    CKeyValueList list;
    for (int i = 0; i < 5; ++i) {
        list.Add(std::to_wstring(i).c_str(), L"v");
    }
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.Find(L"0"), nullptr);

    list.Add(L"again", L"yes");
    EXPECT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetHead()->prev, nullptr);
    EXPECT_STREQ(list.Find(L"AGAIN"), L"yes");
    list.Clear();
    list.Clear();  // clearing an empty list is harmless
    EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
