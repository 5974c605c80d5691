#include "verified_library.h"

#include <kycplib/held_file.h>
#include <signature/verify.h>

#include <wchar.h>

namespace {

#ifdef KY_TEST_HOOKS
VerifiedLibraryCheckedHook g_pfnCheckedHook = nullptr;
#endif

// Takes the drive part of path ("C:" or empty). The path buffers of the plug-in hold 259
// characters, so a longer path has no parts that fit them.
bool SplitDrive(LPCWSTR path, wchar_t drive[3]) {
    const size_t length = wcslen(path);
    if (length >= MAX_PATH) return false;
    drive[0] = L'\0';
    if (length >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        drive[0] = path[0];
        drive[1] = L':';
        drive[2] = L'\0';
    }
    return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether the loader opens exactly the file that the check opens. A last part without a dot
// makes LoadLibraryExW and GetModuleHandleW add ".dll", so the check would see "de" and the
// loader "de.dll"; a colon after the drive names a stream or a device.
bool NamesOneFile(LPCWSTR path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (IsSeparator(*p)) name = p + 1;
    }
    if (wcschr(name, L'.') == nullptr) return false;
    // "\\?\" and "\\.\" prefix a path of their own, which may start with a drive.
    const wchar_t* rest = path;
    if (rest[0] == L'\\' && rest[1] == L'\\' && (rest[2] == L'?' || rest[2] == L'.') &&
        rest[3] == L'\\') {
        rest += 4;
    }
    if (rest[0] != L'\0' && rest[1] == L':') rest += 2;
    const wchar_t* colon = wcschr(rest, L':');
    return colon == nullptr;
}

}  // namespace

#ifdef KY_TEST_HOOKS
void SetVerifiedLibraryCheckedHookForTesting(VerifiedLibraryCheckedHook hook) {
    g_pfnCheckedHook = hook;
}
#endif

HMODULE LoadVerifiedLibrary(LPCWSTR path, HANDLE file, DWORD flags, bool verify) {
    if (path == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return nullptr;
    }
    wchar_t drive[3];
    if (!SplitDrive(path, drive)) {
        SetLastError(kVerifiedLibraryCannotSplit);
        return nullptr;
    }
    // "C:name.dll" is relative to drive C's current folder, however absolute it looks.
    if ((drive[0] == L'\0' && !(path[0] == L'\\' && path[1] == L'\\')) ||
        (drive[0] != L'\0' && !IsSeparator(path[2]))) {
        SetLastError(kVerifiedLibraryNotAbsolute);
        return nullptr;
    }
    if (!NamesOneFile(path)) {
        SetLastError(kVerifiedLibraryCannotSplit);
        return nullptr;
    }
    if (!verify || GetModuleHandleW(path) != nullptr) return LoadLibraryExW(path, file, flags);

    // Held from before the check until the loader has mapped the file: a file that someone else
    // holds open for writing cannot be held, and is refused like a file that fails the check.
    kycplib::CHeldFile held(path);
    int32_t status = 0;
    const uint16_t result =
        held.IsHeld() ? VerifyEmbeddedSignature(path, &status, kSigModeWithLegacy) : 0;
    if (!held.IsHeld() || !SigAccepted(result, status)) {
        SetLastError(kVerifiedLibraryRefused);
        return nullptr;
    }
#ifdef KY_TEST_HOOKS
    if (g_pfnCheckedHook != nullptr) g_pfnCheckedHook(path);
#endif
    HMODULE module = LoadLibraryExW(path, file, flags);
    const DWORD error = GetLastError();
    // Releasing the hold must not overwrite the loader's own last-error value.
    held.Release();
    SetLastError(error);
    return module;
}
