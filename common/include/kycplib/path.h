// Paths in fixed wide-character buffers.
#pragma once

#include <windows.h>

#include <stddef.h>

namespace kycplib {

// Directory of module's file (null: the process's executable) with its trailing backslash.
// Returns 0, ERROR_BAD_ARGUMENTS for a null buffer or size 0, ERROR_INSUFFICIENT_BUFFER when
// the full path does not fit (the buffer is then emptied: a cut path would name the wrong
// directory), ERROR_DIRECTORY for a path without a backslash, or GetModuleFileNameW's error.
DWORD GetModuleDirectory(HMODULE module, wchar_t* buffer, DWORD size);

// Appends name to the path in buffer, with one backslash between them unless the path ends in
// one or name begins with one. Nothing is appended to an empty path. The result is cut silently
// to capacity - 1 characters. Returns 0, STRUNCATE when the result was cut, or EINVAL (buffer
// untouched) for a null buffer or name, capacity 0, an empty path, or a path that is not
// terminated within capacity.
int AppendPath(wchar_t* buffer, size_t capacity, const wchar_t* name);

}  // namespace kycplib
