// The loader host is built with the platform compiler's binary interface but without its C and
// C++ runtime (none is available here): memory comes from the process heap, and the text and
// buffer handling it needs are the few pieces below. Nothing throws; whatever can fail says so
// in its result.
#pragma once

#include <windows.h>

#include <stddef.h>

extern "C" {
// From msvcrt.dll.
size_t __cdecl wcslen(const wchar_t* text);
int __cdecl _wcsicmp(const wchar_t* a, const wchar_t* b);
}

namespace loader {

void* HeapAllocate(size_t size);
void HeapRelease(void* p);

// Bytes that grow on demand; every change that needs memory returns false when there is none or
// when the size would pass limit, leaving the bytes as they were.
class CByteBuffer {
public:
    explicit CByteBuffer(size_t limit) : m_limit(limit) {}
    ~CByteBuffer() { HeapRelease(m_pData); }
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    bool Reserve(size_t capacity);
    bool Append(const void* data, size_t size);
    const unsigned char* Data() const { return m_pData; }
    size_t Size() const { return m_size; }

private:
    unsigned char* m_pData = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    size_t m_limit;
};

// A text in a fixed buffer of N characters: appends that do not fit are cut and remembered, so
// that a caller building a path can refuse a cut one.
template <size_t N>
class CFixedText {
public:
    CFixedText() { m_chars[0] = L'\0'; }
    explicit CFixedText(const wchar_t* text) : CFixedText() { Append(text); }

    CFixedText& Append(const wchar_t* text) {
        for (; text != nullptr && *text != L'\0'; ++text) Append(*text);
        return *this;
    }
    CFixedText& Append(wchar_t c) {
        if (m_length + 1 < N) {
            m_chars[m_length++] = c;
            m_chars[m_length] = L'\0';
        } else {
            m_bCut = true;
        }
        return *this;
    }
    CFixedText& AppendNumber(unsigned long long value) {
        wchar_t digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) Append(digits[--n]);
        return *this;
    }
    // Appends name to a folder path with exactly one backslash between them.
    CFixedText& AppendPath(const wchar_t* name) {
        if (m_length > 0 && m_chars[m_length - 1] != L'\\') Append(L'\\');
        while (name != nullptr && *name == L'\\') ++name;
        return Append(name);
    }
    void Clear() {
        m_length = 0;
        m_chars[0] = L'\0';
        m_bCut = false;
    }
    // Shortens the text to length characters (no-op when it is shorter).
    void Truncate(size_t length) {
        if (length >= m_length) return;
        m_length = length;
        m_chars[m_length] = L'\0';
    }

    const wchar_t* c_str() const { return m_chars; }
    size_t Length() const { return m_length; }
    bool IsCut() const { return m_bCut; }
    bool IsEmpty() const { return m_length == 0; }

private:
    wchar_t m_chars[N];
    size_t m_length = 0;
    bool m_bCut = false;
};

using CPathText = CFixedText<MAX_PATH>;
using CMessageText = CFixedText<512>;

// True when text begins with prefix, letter case ignored for ASCII letters.
bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix);

// One kernel handle, closed by its owner.
class CHandle {
public:
    explicit CHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    void Reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        m_handle = handle;
    }
    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

}  // namespace loader
