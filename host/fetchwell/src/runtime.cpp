#include "runtime.h"

namespace std {
const nothrow_t nothrow{};
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}
void operator delete(void* p) noexcept {
    if (p != nullptr) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

// A pure virtual function reached through a table under construction or destruction: a fault in
// the library, stopped where it happened.
extern "C" int __cdecl _purecall() {
    RaiseException(static_cast<DWORD>(STATUS_NONCONTINUABLE_EXCEPTION), EXCEPTION_NONCONTINUABLE, 0,
                   nullptr);
    return 0;
}

// The library's entry point: there is no runtime to start and nothing to do per thread.
extern "C" BOOL WINAPI FetchwellEntry(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}

namespace fetchwell {

size_t CopyTruncated(wchar_t* buffer, size_t size, const wchar_t* text) {
    if (buffer == nullptr || size == 0) return 0;
    size_t n = 0;
    if (text != nullptr) {
        for (; n + 1 < size && text[n] != L'\0'; ++n) buffer[n] = text[n];
    }
    buffer[n] = L'\0';
    return n;
}

CText::~CText() { operator delete[](m_pChars); }

bool CText::Append(const wchar_t* text, size_t count) {
    if (count == 0) return true;
    // Growth that could overflow the size computation is refused like a failed allocation.
    if (count > (static_cast<size_t>(-1) / sizeof(wchar_t)) / 2 - m_length - 1) return false;
    const size_t needed = m_length + count + 1;
    if (needed > m_capacity) {
        size_t capacity = m_capacity != 0 ? m_capacity : 16;
        while (capacity < needed) capacity *= 2;
        wchar_t* chars = new (std::nothrow) wchar_t[capacity];
        if (chars == nullptr) return false;
        for (size_t i = 0; i < m_length; ++i) chars[i] = m_pChars[i];
        operator delete[](m_pChars);
        m_pChars = chars;
        m_capacity = capacity;
    }
    for (size_t i = 0; i < count; ++i) m_pChars[m_length + i] = text[i];
    m_length += count;
    m_pChars[m_length] = L'\0';
    return true;
}

void CText::TrimBlanks() {
    if (m_length == 0) return;
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    size_t first = 0;
    while (first < m_length && blank(m_pChars[first])) ++first;
    size_t end = m_length;
    while (end > first && blank(m_pChars[end - 1])) --end;
    for (size_t i = first; i < end; ++i) m_pChars[i - first] = m_pChars[i];
    m_length = end - first;
    m_pChars[m_length] = L'\0';
}

}  // namespace fetchwell
