// Stand-in loader host for the install benchmark: records when its own process was created (as
// the system counts it) and when its code first ran, as two 100-ns FILETIME counts on one line,
// appended to the file that KY_TIMING_RECORD names. It never ships.
#include <windows.h>

#include <stdio.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    FILETIME entry, creation, exitTime, kernel, user;
    GetSystemTimeAsFileTime(&entry);
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exitTime, &kernel, &user)) return 1;
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"KY_TIMING_RECORD", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;

    auto count = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    char line[64];
    int size = snprintf(line, sizeof line, "%llu %llu\n", count(creation), count(entry));
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 1;
}
