// Inner step of GetModuleDirectory, visible to the tests: the module loader never hands out a
// path without a backslash, so that branch cannot be reached through a real module.
#pragma once

#include <windows.h>

namespace kycplib {
namespace detail {

// Cuts path just after its last backslash; ERROR_DIRECTORY (path untouched) when it has none.
DWORD CutAfterLastBackslash(wchar_t* path);

}  // namespace detail
}  // namespace kycplib
