#include "verified_library.h"

#include <signature/verify.h>

#include <wchar.h>

namespace {

VerifiedLibraryCheckedHook g_pfnCheckedHook = nullptr;

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

// Owns the handle that keeps the file from being written, renamed or deleted.
class CHeldFile {
public:
    explicit CHeldFile(LPCWSTR path)
        : m_hFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~CHeldFile() { Release(); }
    CHeldFile(const CHeldFile&) = delete;
    CHeldFile& operator=(const CHeldFile&) = delete;
    bool IsHeld() const { return m_hFile != INVALID_HANDLE_VALUE; }
    void Release() {
        if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_hFile;
};

}  // namespace

void SetVerifiedLibraryCheckedHookForTesting(VerifiedLibraryCheckedHook hook) {
    g_pfnCheckedHook = hook;
}

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
    if (drive[0] == L'\0' && !(path[0] == L'\\' && path[1] == L'\\')) {
        SetLastError(kVerifiedLibraryNotAbsolute);
        return nullptr;
    }
    if (!verify || GetModuleHandleW(path) != nullptr) return LoadLibraryExW(path, file, flags);

    // Held from before the check until the loader has mapped the file: a file that someone else
    // holds open for writing cannot be held, and is refused like a file that fails the check.
    CHeldFile held(path);
    int32_t status = 0;
    const uint16_t result =
        held.IsHeld() ? VerifyEmbeddedSignature(path, &status, kSigModeWithLegacy) : 0;
    if (!held.IsHeld() || !SigAccepted(result, status)) {
        SetLastError(kVerifiedLibraryRefused);
        return nullptr;
    }
    if (g_pfnCheckedHook != nullptr) g_pfnCheckedHook(path);
    HMODULE module = LoadLibraryExW(path, file, flags);
    const DWORD error = GetLastError();
    // Releasing the hold must not overwrite the loader's own last-error value.
    held.Release();
    SetLastError(error);
    return module;
}
