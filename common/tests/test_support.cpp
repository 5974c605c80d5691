#include "test_support.h"

#include <vector>

namespace kycplib_test {

std::wstring UniqueName(const wchar_t* tag) {
    // The process id keeps programs that run side by side apart. Wine hands out the same few
    // ids run after run, so the start time of the process keeps this run apart from anything an
    // earlier, interrupted run left behind (a directory, a name held by a stray helper).
    static const ULONGLONG runStart = [] {
        FILETIME now = {};
        GetSystemTimeAsFileTime(&now);
        return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }();
    static LONG counter = 0;
    return L"kycplib-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(runStart) + L"-" + std::to_wstring(InterlockedIncrement(&counter)) +
           L"-" + tag;
}

std::wstring ExeDirectory() {
    std::vector<wchar_t> path(32768);
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring result(path.data(), length);
    return result.substr(0, result.rfind(L'\\') + 1);
}

HANDLE StartProbe(const std::wstring& arguments, bool inheritHandles) {
    std::wstring program = ExeDirectory() + L"kycplib_probe.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr,
                        inheritHandles ? TRUE : FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD RunProbe(const std::wstring& arguments, bool inheritHandles) {
    Handle process(StartProbe(arguments, inheritHandles));
    if (process.Get() == nullptr) {
        return static_cast<DWORD>(-1);
    }
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

}  // namespace kycplib_test
