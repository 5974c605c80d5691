#include <wchar.h>

#include "afx.h"

void CString::Format(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCWSTR format, va_list args) {
    va_list count;
    va_copy(count, args);
    int length = _vscwprintf(format, count);
    va_end(count);
    if (length < 0) {
        m_str.clear();
        return;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    m_str.swap(text);
}

BOOL CString::LoadString(UINT id) { return LoadString(AfxGetResourceHandle(), id); }

BOOL CString::LoadString(HINSTANCE module, UINT id) {
    // With a zero size, LoadStringW hands out the resource's own read-only text and its length.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) {
        m_str.clear();
        return FALSE;
    }
    m_str.assign(text, static_cast<size_t>(length));
    return TRUE;
}

int CString::Remove(wchar_t c) {
    size_t before = m_str.size();
    std::wstring kept;
    for (wchar_t ch : m_str) {
        if (ch != c) kept += ch;
    }
    m_str.swap(kept);
    return static_cast<int>(before - m_str.size());
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
    std::wstring from = oldText ? oldText : L"";
    std::wstring to = newText ? newText : L"";
    if (from.empty()) return 0;
    int count = 0;
    for (size_t at = m_str.find(from); at != std::wstring::npos; at = m_str.find(from, at)) {
        m_str.replace(at, from.size(), to);
        at += to.size();
        ++count;
    }
    return count;
}

CString AfxFillPercentS(LPCWSTR pattern, LPCWSTR argument) {
    return AfxFillPercentS(pattern, {argument});
}

CString AfxFillPercentS(LPCWSTR pattern, std::initializer_list<LPCWSTR> arguments) {
    CString out;
    if (!pattern) return out;
    size_t next = 0;
    for (const wchar_t* p = pattern; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's') {
            if (arguments.size() != 0) {
                LPCWSTR argument =
                    arguments.begin()[next < arguments.size() ? next : arguments.size() - 1];
                if (argument) out += argument;
            }
            ++next;
            ++p;
        } else if (p[0] == L'%' && p[1] == L'%') {
            out += L'%';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
