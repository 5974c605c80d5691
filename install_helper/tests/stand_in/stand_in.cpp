// Test stand-in for a program the install helper starts (the loader host, the script host).
// It only records that it ran: one line with its current folder and one with its command line,
// appended to "<its own file name>.record" in the folder that KY_STAND_IN_RECORD_DIR names
// (beside itself when that is not set). Text is UTF-16, as the tests compare wide strings.
#include <windows.h>

#include <string>

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    return path;
}

std::wstring RecordPath() {
    std::wstring own = OwnPath();
    std::wstring name = own.substr(own.find_last_of(L'\\') + 1);
    wchar_t folder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(L"KY_STAND_IN_RECORD_DIR", folder, MAX_PATH);
    std::wstring directory = (length > 0 && length < MAX_PATH)
                                 ? std::wstring(folder) + L"\\"
                                 : own.substr(0, own.find_last_of(L'\\') + 1);
    return directory + name + L".record";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring record = std::wstring(current) + L"\n" + GetCommandLineW() + L"\n";

    HANDLE file = CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)),
                        &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 1;
}
