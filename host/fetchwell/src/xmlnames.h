// Name comparison and blank trimming shared by the tree and the control file.
#pragma once

#include <wchar.h>

#include <string>

namespace fetchwell {

// Element and attribute names, ids and language codes compare ignoring letter case: the files
// are written by hand, and the plug-in looks keys up ignoring case too.
inline bool SameName(const wchar_t* a, const wchar_t* b) {
    return a != nullptr && b != nullptr && _wcsicmp(a, b) == 0;
}

// Text without its leading and trailing blanks: hand-written files carry them around values.
inline std::wstring TrimBlanks(const std::wstring& text) {
    const wchar_t* blanks = L" \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace fetchwell
