// How long "/install" takes beyond the start of the helper's process: from the helper's creation
// time (GetProcessTimes) to the creation time of the loader host it starts, with both desktop
// shortcuts written on the way. The real helper runs in a folder of its own beside this program
// (bin\install_bench\), with a signed stand-in host that records when it was created, and writes
// its shortcuts into a desktop folder of the benchmark's own (the user's desktop folder setting is
// put back afterwards). Prints the figures beside the goal; fails only when a run does not do what
// "/install" must, never on speed.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 9;
constexpr DWORD kWaitMs = 20000;
const wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 1);
    std::wstring own = path;
    return own.substr(0, own.find_last_of(L'\\') + 1);
}

unsigned long long Count(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// One value of the current user's folder settings, put back as it was when the object goes.
class SavedValue {
public:
    SavedValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, key_, name_, RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr,
                         &size) == ERROR_SUCCESS) {
            data_.resize(size);
            had_ = RegGetValueW(HKEY_CURRENT_USER, key_, name_, RRF_RT_ANY | RRF_NOEXPAND, &type_,
                                data_.data(), &size) == ERROR_SUCCESS;
            data_.resize(size);
        }
    }
    ~SavedValue() {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return;
        }
        if (had_) {
            RegSetValueExW(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        } else {
            RegDeleteValueW(key, name_);
        }
        RegCloseKey(key);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    bool Set(DWORD type, const std::wstring& text) const {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return false;
        }
        LONG result =
            RegSetValueExW(key, name_, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

private:
    const wchar_t* key_;
    const wchar_t* name_;
    bool had_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

int CountLinks(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

void DeleteLinks(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The stand-in's record: its creation time and the time its code first ran.
bool ReadRecord(const std::wstring& path, unsigned long long& created,
                unsigned long long& entered) {
    for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
        FILE* file = _wfopen(path.c_str(), L"rb");
        if (file) {
            int fields = fscanf(file, "%llu %llu", &created, &entered);
            fclose(file);
            if (fields == 2) return true;
        }
        Sleep(20);
    }
    return false;
}

struct RunFigures {
    double hostStartMs;   // host's creation time - helper's creation time
    double hostCodeMs;    // host's first instruction - helper's creation time
    double helperExitMs;  // helper's exit time - its creation time
};

bool RunOnce(const std::wstring& app, const std::wstring& desktop, const std::wstring& record,
             RunFigures& figures) {
    DeleteLinks(desktop);
    DeleteFileW(record.c_str());
    std::wstring commandLine = L"\"" + app + L"brisco-install.exe\" /install";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, app.c_str(),
                        &startup, &process)) {
        printf("    the helper did not start (error %lu)\n", GetLastError());
        return false;
    }
    bool ok = WaitForSingleObject(process.hProcess, kWaitMs) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    FILETIME creation = {}, exitTime = {}, kernel, user;
    GetExitCodeProcess(process.hProcess, &exitCode);
    GetProcessTimes(process.hProcess, &creation, &exitTime, &kernel, &user);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ok || exitCode != 0) {
        printf("    the helper %s (exit code %lu)\n", ok ? "failed" : "did not end", exitCode);
        return false;
    }
    unsigned long long hostCreated = 0, hostEntered = 0;
    if (!ReadRecord(record, hostCreated, hostEntered)) {
        printf("    the loader host was not started\n");
        return false;
    }
    int links = CountLinks(desktop);
    if (links != 2) {
        printf("    %d shortcuts written, not 2\n", links);
        return false;
    }
    const double helperCreated = static_cast<double>(Count(creation));
    figures.hostStartMs = (static_cast<double>(hostCreated) - helperCreated) / 10000.0;
    figures.hostCodeMs = (static_cast<double>(hostEntered) - helperCreated) / 10000.0;
    figures.helperExitMs = (static_cast<double>(Count(exitTime)) - helperCreated) / 10000.0;
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintSeries(const char* what, const std::vector<double>& values, const char* goal) {
    printf("    %s:", what);
    for (double value : values) printf(" %.1f", value);
    printf(" ms\n      median %.1f ms, max %.1f ms%s\n", Median(values),
           *std::max_element(values.begin(), values.end()), goal);
}

}  // namespace

int wmain() {
    const std::wstring bin = ProgramDirectory();
    const std::wstring root = bin + L"install_bench\\";
    const std::wstring app = root + L"app\\";
    const std::wstring desktop = root + L"desktop";
    const std::wstring record = root + L"host.record";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(app.c_str(), nullptr);
    CreateDirectoryW(desktop.c_str(), nullptr);
    const struct {
        std::wstring from, to;
    } files[] = {
        {bin + L"brisco-install.exe", app + L"brisco-install.exe"},
        {bin + L"briscoinstallrc.dll", app + L"briscoinstallrc.dll"},
        {bin + L"install_bench_stand_in\\fetchwell.exe", app + L"fetchwell.exe"},
    };
    for (const auto& file : files) {
        if (!CopyFileW(file.from.c_str(), file.to.c_str(), FALSE)) {
            printf("install bench: cannot copy %ls (error %lu)\n", file.from.c_str(),
                   GetLastError());
            return 1;
        }
    }
    SetEnvironmentVariableW(L"KY_TIMING_RECORD", record.c_str());

    printf("brisco-install.exe \"/install\" benchmark, %d-bit build, %d runs\n",
           static_cast<int>(sizeof(void*) * 8), kRuns);
    std::vector<double> hostStart, hostCode, helperExit;
    bool failed = false;
    {
        // The shell writes the folder it resolved to the second key: both go back afterwards.
        SavedValue configured(kUserShellFolders, L"Desktop");
        SavedValue resolved(kShellFolders, L"Desktop");
        if (!configured.Set(REG_EXPAND_SZ, desktop)) {
            printf("install bench: cannot set the desktop folder\n");
            return 1;
        }
        for (int run = 0; run < kRuns; ++run) {
            RunFigures figures;
            if (!RunOnce(app, desktop, record, figures)) {
                failed = true;
                break;
            }
            hostStart.push_back(figures.hostStartMs);
            hostCode.push_back(figures.hostCodeMs);
            helperExit.push_back(figures.helperExitMs);
        }
    }
    if (!hostStart.empty()) {
        printf(
            "(c) from the helper's process start to the loader host's (creation times), both "
            "shortcuts written:\n");
        PrintSeries("runs", hostStart, "   (goal: within 150 ms)");
        PrintSeries("to the host's first instruction", hostCode, "   (no goal)");
        PrintSeries("the helper's whole life", helperExit, "   (no goal)");
    }
    fflush(stdout);
    return failed ? 1 : 0;
}
