// The GUI plug-in's only way to load a library it takes resources from: with a signature check
// that holds the file still until the loader has it.
#pragma once

#include <windows.h>

// Own last-error values of a refusal (besides ERROR_BAD_ARGUMENTS for a missing path).
constexpr DWORD kVerifiedLibraryRefused = 0x4100;      // the signature check refused the file
constexpr DWORD kVerifiedLibraryNotAbsolute = 0x4110;  // not "X:\" or "\\" first
constexpr DWORD kVerifiedLibraryCannotSplit = 0x4120;  // the path cannot be split into its parts

// Loads path with LoadLibraryExW(path, file, flags). Relative paths, drive-relative ones
// ("C:name.dll") and bare names are always refused (0x4110), and so are paths under which the
// loader would open another file than the check: a last part without a dot, to which the loader
// adds ".dll", and a colon after the drive, which names a stream (0x4120). With verify, a library
// not yet loaded must pass the full signature check (either key, legacy trailers accepted); the
// file is held open without write or delete sharing from before the check until LoadLibraryExW
// has returned, so nobody can put another file under the path in between.
// Returns null on a refusal, with the thread's last-error value set to the reason.
HMODULE LoadVerifiedLibrary(LPCWSTR path, HANDLE file, DWORD flags, bool verify);

#ifdef KY_TEST_HOOKS
// Only in the test variant (ky_verified_library_testing): called between a passed check and
// LoadLibraryExW, while the file is held.
using VerifiedLibraryCheckedHook = void (*)(LPCWSTR path);
void SetVerifiedLibraryCheckedHookForTesting(VerifiedLibraryCheckedHook hook);
#endif
