// Test library planted beside the install helper under the name of a system library. It does
// nothing but leave a mark when a process loads it: "<its own file name>.loaded" beside itself,
// holding the path of the process that loaded it. Loading fails afterwards, so that a process
// that did pick it up cannot go on as if nothing had happened.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t mark[MAX_PATH + 16] = {};
    DWORD length = GetModuleFileNameW(instance, mark, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return FALSE;
    }
    lstrcatW(mark, L".loaded");

    wchar_t process[MAX_PATH] = {};
    DWORD processLength = GetModuleFileNameW(nullptr, process, MAX_PATH);
    HANDLE file =
        CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, process, processLength * sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
    }
    return FALSE;
}
