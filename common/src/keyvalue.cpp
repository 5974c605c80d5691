#include "kycplib/keyvalue.h"

#include "text.h"

namespace kycplib {

CKeyValueList::~CKeyValueList() { Clear(); }

void CKeyValueList::Add(const wchar_t* key, const wchar_t* value) {
    if (key == nullptr) {
        return;
    }
    CKeyValueItem* last = m_pHead;
    while (last != nullptr && last->next != nullptr) {
        last = last->next;
    }
    CKeyValueItem* item = new CKeyValueItem(last);
    detail::CopyTruncated(item->key, CKeyValueItem::kTextSize, key);
    detail::CopyTruncated(item->value, CKeyValueItem::kTextSize, value);
    if (last == nullptr) {
        m_pHead = item;
    } else {
        last->next = item;
    }
    ++m_count;
}

const wchar_t* CKeyValueList::Find(const wchar_t* key) const {
    if (key == nullptr) {
        return nullptr;
    }
    for (const CKeyValueItem* item = m_pHead; item != nullptr; item = item->next) {
        if (_wcsicmp(item->key, key) == 0) {
            return item->value;
        }
    }
    return nullptr;
}

void CKeyValueList::Clear() {
    CKeyValueItem* last = m_pHead;
    while (last != nullptr && last->next != nullptr) {
        last = last->next;
    }
    while (last != nullptr) {
        CKeyValueItem* previous = last->prev;
        delete last;
        last = previous;
    }
    m_pHead = nullptr;
    m_count = 0;
}

}  // namespace kycplib
