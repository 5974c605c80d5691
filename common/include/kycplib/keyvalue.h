// Key/value chains. CKeyValueItem is also handed out by the loader host's library, so its layout
// is fixed: two 260-character strings and the two links, nothing else.
#pragma once

#include <stddef.h>
#include <wchar.h>

#include "kycplib/noncopyable.h"

namespace kycplib {

class CKeyValueItem {
public:
    static constexpr unsigned kTextSize = 260;

    explicit CKeyValueItem(CKeyValueItem* prevItem = nullptr)
        : key(), value(), next(nullptr), prev(prevItem) {}

    wchar_t key[kTextSize];
    wchar_t value[kTextSize];
    CKeyValueItem* next;
    CKeyValueItem* prev;
};

// Both sides of the boundary must see the same offsets; a change here breaks the loader host's
// library without any compiler noticing.
static_assert(sizeof(wchar_t) == 2, "the item's strings are UTF-16");
static_assert(offsetof(CKeyValueItem, key) == 0, "key first");
static_assert(offsetof(CKeyValueItem, value) == 260 * sizeof(wchar_t), "value after key");
static_assert(offsetof(CKeyValueItem, next) == 520 * sizeof(wchar_t), "next after value");
static_assert(offsetof(CKeyValueItem, prev) == 520 * sizeof(wchar_t) + sizeof(void*),
              "prev after next");
static_assert(sizeof(CKeyValueItem) == 520 * sizeof(wchar_t) + 2 * sizeof(void*),
              "nothing after prev");

// Owns its items; keys are compared ignoring case, duplicates are kept, order is insertion order.
class CKeyValueList : public noncopyable {
public:
    CKeyValueList() = default;
    ~CKeyValueList();

    // A null key is ignored; a null value is stored as empty. Both are cut to 259 characters.
    void Add(const wchar_t* key, const wchar_t* value);
    // Value of the first item whose key equals key ignoring case; null when none or key is null.
    const wchar_t* Find(const wchar_t* key) const;

    bool IsEmpty() const { return m_count == 0; }
    unsigned int GetCount() const { return m_count; }
    const CKeyValueItem* GetHead() const { return m_pHead; }

    void Clear();

private:
    unsigned int m_count = 0;
    CKeyValueItem* m_pHead = nullptr;
};

}  // namespace kycplib
