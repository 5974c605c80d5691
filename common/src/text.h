// Bounded wide-string helpers for the library's fixed buffers. Written out here rather than
// taken from the secure CRT functions, which the system C runtime of Windows XP does not export.
#pragma once

#include <stddef.h>

namespace kycplib {
namespace detail {

// Length of text, but at most limit (text need not be terminated within limit).
inline size_t BoundedLength(const wchar_t* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != L'\0') {
        ++length;
    }
    return length;
}

// Copies at most size - 1 characters of source (null counts as empty) and terminates.
inline void CopyTruncated(wchar_t* target, size_t size, const wchar_t* source) {
    size_t length = source != nullptr ? BoundedLength(source, size - 1) : 0;
    for (size_t i = 0; i < length; ++i) {
        target[i] = source[i];
    }
    target[length] = L'\0';
}

}  // namespace detail
}  // namespace kycplib
