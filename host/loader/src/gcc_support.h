// The signature check of the shipped code (ky_check_signature, built by GCC) as this program
// calls it.
#pragma once

namespace loader {

// The full signature check of the install helper's gate: 0 when the file may be loaded, else
// its refusal code (1 unreadable, 2 missing, 4 cannot open, 5 bad or mismatching block, 6 no
// block, 8 bad argument, 10 anything else).
int CheckPluginSignature(const wchar_t* path);

}  // namespace loader
