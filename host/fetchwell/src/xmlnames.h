// Name comparison shared by the tree and the control file.
#pragma once

#include "runtime.h"

namespace fetchwell {

// Element and attribute names, ids and language codes compare ignoring letter case: the files
// are written by hand, and the plug-in looks keys up ignoring case too.
inline bool SameName(const wchar_t* a, const wchar_t* b) {
    return a != nullptr && b != nullptr && _wcsicmp(a, b) == 0;
}

}  // namespace fetchwell
