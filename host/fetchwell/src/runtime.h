// The library is built with the platform compiler's binary interface but without its C and C++
// runtime, which is not available here: memory comes from the process heap, text handling is the
// few pieces below, and the C functions the compiler itself may call (memcpy, memset) come from
// the system's msvcrt.dll. There are no exceptions: whatever can run out of memory says so in
// its result.
#pragma once

#include <windows.h>

#include <stddef.h>

// The allocation forms the library uses: "new (std::nothrow) T" checks for null before it
// constructs, and placement forms construct in memory the library already has. A plain "new T"
// does not link, so no allocation can go unchecked.
namespace std {
struct nothrow_t {
    explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;
}  // namespace std

void* operator new(size_t size, const std::nothrow_t&) noexcept;
void* operator new[](size_t size, const std::nothrow_t&) noexcept;
void operator delete(void* p) noexcept;
void operator delete(void* p, size_t) noexcept;
void operator delete[](void* p) noexcept;
void operator delete[](void* p, size_t) noexcept;
inline void* operator new(size_t, void* where) noexcept { return where; }

extern "C" {
// From msvcrt.dll.
size_t __cdecl wcslen(const wchar_t* text);
int __cdecl _wcsicmp(const wchar_t* a, const wchar_t* b);
}

namespace fetchwell {

// Copies at most size - 1 characters of text and terminates; returns the characters copied.
size_t CopyTruncated(wchar_t* buffer, size_t size, const wchar_t* text);

// A growable text that owns its characters. Every change that needs memory returns false when
// there is none, leaving the text as it was.
class CText {
public:
    CText() = default;
    ~CText();
    CText(const CText&) = delete;
    CText& operator=(const CText&) = delete;

    bool Assign(const wchar_t* text) {
        m_length = 0;
        if (m_pChars != nullptr) m_pChars[0] = L'\0';
        return Append(text);
    }
    bool Append(const wchar_t* text) { return Append(text, text != nullptr ? wcslen(text) : 0); }
    bool Append(const wchar_t* text, size_t count);
    // Removes leading and trailing blanks (space, tab, carriage return, line feed).
    void TrimBlanks();

    const wchar_t* c_str() const { return m_pChars != nullptr ? m_pChars : L""; }
    bool empty() const { return m_length == 0; }

private:
    wchar_t* m_pChars = nullptr;
    size_t m_length = 0;
    size_t m_capacity = 0;  // characters, the terminator included
};

}  // namespace fetchwell
