// The install helper's gate before it starts the loader host or runs the uninstall script.
#pragma once

#include <wchar.h>

// Runs the full signature check (built-in primary key, legacy trailers accepted) on path.
// Returns 0 when the file may be used (either key), otherwise a refusal code:
//   1 empty file or read failure, 2 file missing, 4 cannot open or out of memory,
//   5 malformed block, mismatch or no signature entry, 6 no signature block,
//   8 bad argument or no path, 10 anything else.
// detail, when given, receives the detail code of the outcome.
int CheckFileSignature(const wchar_t* path, int* detail);

// CheckFileSignature for a file that a script host will read as text: besides passing the check
// it must carry a text-form block (whose layout keeps every unsigned byte inside a comment line)
// and must not start with "MZ" (whose header fields would be unsigned bytes of the text).
// Anything else, a binary block or a legacy trailer included, gives 5 (detail 5).
int CheckScriptSignature(const wchar_t* path, int* detail);
