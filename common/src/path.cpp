#include "kycplib/path.h"

#include <errno.h>
#include <string.h>

#include "path_detail.h"
#include "text.h"

#ifndef STRUNCATE
#define STRUNCATE 80
#endif

namespace kycplib {

namespace detail {

DWORD CutAfterLastBackslash(wchar_t* path) {
    wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash == nullptr) {
        return ERROR_DIRECTORY;
    }
    lastBackslash[1] = L'\0';
    return ERROR_SUCCESS;
}

}  // namespace detail

namespace {

// The truncating form of wcsncat_s: appends as much of text as fits and says whether all of it
// did. The caller has checked that buffer is terminated within capacity.
int AppendTruncated(wchar_t* buffer, size_t capacity, const wchar_t* text) {
    size_t length = detail::BoundedLength(buffer, capacity);
    size_t room = capacity - 1 - length;
    size_t textLength = detail::BoundedLength(text, room + 1);
    int result = 0;
    if (textLength > room) {
        textLength = room;
        result = STRUNCATE;
    }
    for (size_t i = 0; i < textLength; ++i) {
        buffer[length + i] = text[i];
    }
    buffer[length + textLength] = L'\0';
    return result;
}

}  // namespace

DWORD GetModuleDirectory(HMODULE module, wchar_t* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return ERROR_BAD_ARGUMENTS;
    }
    DWORD length = GetModuleFileNameW(module, buffer, size);
    if (length == 0) {
        DWORD error = GetLastError();
        buffer[0] = L'\0';
        return error != ERROR_SUCCESS ? error : ERROR_INVALID_HANDLE;
    }
    // A full buffer means the path was cut (and on Windows XP left unterminated); its last
    // backslash would then name some parent of the real directory.
    if (length >= size) {
        buffer[0] = L'\0';
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return detail::CutAfterLastBackslash(buffer);
}

int AppendPath(wchar_t* buffer, size_t capacity, const wchar_t* name) {
    if (buffer == nullptr || name == nullptr || capacity == 0) {
        return EINVAL;
    }
    size_t length = detail::BoundedLength(buffer, capacity);
    if (length == 0 || length == capacity) {
        return EINVAL;
    }
    int separator = 0;
    if (buffer[length - 1] != L'\\' && name[0] != L'\\') {
        separator = AppendTruncated(buffer, capacity, L"\\");
    }
    int result = AppendTruncated(buffer, capacity, name);
    // A separator that did not fit is a cut result too, even when name was empty.
    return result != 0 ? result : separator;
}

}  // namespace kycplib
