#include "runtime.h"

namespace loader {

void* HeapAllocate(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1); }

void HeapRelease(void* p) {
    if (p != nullptr) HeapFree(GetProcessHeap(), 0, p);
}

bool CByteBuffer::Reserve(size_t capacity) {
    if (capacity <= m_capacity) return true;
    if (capacity > m_limit) return false;
    void* grown = m_pData == nullptr ? HeapAlloc(GetProcessHeap(), 0, capacity)
                                     : HeapReAlloc(GetProcessHeap(), 0, m_pData, capacity);
    if (grown == nullptr) return false;
    m_pData = static_cast<unsigned char*>(grown);
    m_capacity = capacity;
    return true;
}

bool CByteBuffer::Append(const void* data, size_t size) {
    if (size == 0) return true;
    if (size > m_limit || m_size > m_limit - size) return false;
    if (m_size + size > m_capacity) {
        // Doubling, within the limit: a download without a length grows in few steps.
        size_t capacity = m_capacity != 0 ? m_capacity : 64 * 1024;
        if (capacity > m_limit) capacity = m_limit;
        while (capacity < m_size + size) {
            capacity = capacity > m_limit / 2 ? m_limit : capacity * 2;
        }
        if (!Reserve(capacity)) return false;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) m_pData[m_size + i] = bytes[i];
    m_size += size;
    return true;
}

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
    auto lower = [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    };
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (lower(*text) != lower(*prefix)) return false;
    }
    return true;
}

}  // namespace loader
