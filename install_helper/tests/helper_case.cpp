#include "helper_case.h"

#include <objbase.h>
#include <shlobj.h>

#include <winauto/winauto.h>

#include <algorithm>
#include <stdexcept>

namespace {

const wchar_t kUserShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const DWORD kExitWaitMs = 20000;
const DWORD kBoxWaitMs = 20000;

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void Copy(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy a case file");
    }
}

std::vector<Started> ReadRecords(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()),
                      bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    std::vector<Started> records;
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        records.push_back({lines[i], lines[i + 1]});
    }
    return records;
}

// The environment of this process with the given NAME=value entries put in place.
std::vector<wchar_t> EnvironmentWith(const std::vector<std::wstring>& entries) {
    std::vector<std::wstring> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        variables.emplace_back(p);
    }
    FreeEnvironmentStringsW(block);
    for (const std::wstring& entry : entries) {
        std::wstring name = Lower(entry.substr(0, entry.find(L'=') + 1));
        variables.erase(std::remove_if(variables.begin(), variables.end(),
                                       [&](const std::wstring& v) {
                                           return Lower(v.substr(0, name.size())) == name;
                                       }),
                        variables.end());
        variables.push_back(entry);
    }
    std::vector<wchar_t> result;
    for (const std::wstring& v : variables) {
        result.insert(result.end(), v.begin(), v.end());
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

BoxSeen Look(HWND box) {
    BoxSeen seen;
    seen.caption = winauto::GetText(box);
    // The message text of a standard message box has control id 0xFFFF.
    seen.text = winauto::GetText(winauto::FindControl(box, 0xFFFF));
    for (HWND button : winauto::VisibleChildren(box, L"Button")) {
        seen.buttons.push_back(winauto::GetText(button));
    }
    for (HWND label : winauto::VisibleChildren(box, L"Static")) {
        if ((GetWindowLongW(label, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(label, STM_GETICON, 0, 0) != 0) {
            seen.hasIcon = true;
        }
    }
    return seen;
}

}  // namespace

std::wstring StandInDirectory() {
    return winauto::ProgramDirectory() + L"install_helper_tests\\stand-ins\\";
}

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileText(const std::wstring& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot write a case file");
    }
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
    content.resize(read);
    return content;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return Lower(WithoutTrailingBackslash(a)) == Lower(WithoutTrailingBackslash(b));
}

ScopedRegistryValue::ScopedRegistryValue(const std::wstring& keyPath, const std::wstring& valueName)
    : key_(keyPath), value_(valueName) {
    // Remember which parts of the path are new, so that they go again afterwards.
    for (size_t end = 0; end != std::wstring::npos;) {
        end = key_.find(L'\\', end + 1);
        std::wstring part = key_.substr(0, end);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, part.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else {
            createdKeys_.push_back(part);
        }
    }
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), value_.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                     &savedType_, nullptr, &size) == ERROR_SUCCESS) {
        savedData_.resize(size);
        hadValue_ =
            RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), value_.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                         &savedType_, savedData_.data(), &size) == ERROR_SUCCESS;
        savedData_.resize(size);
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        if (hadValue_) {
            RegSetValueExW(key, value_.c_str(), 0, savedType_, savedData_.data(),
                           static_cast<DWORD>(savedData_.size()));
        } else {
            RegDeleteValueW(key, value_.c_str());
        }
        RegCloseKey(key);
    }
    for (auto created = createdKeys_.rbegin(); created != createdKeys_.rend(); ++created) {
        RegDeleteKeyW(HKEY_CURRENT_USER, created->c_str());
    }
}

void ScopedRegistryValue::Set(DWORD type, const std::wstring& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write a registry value");
    }
    LONG written =
        RegSetValueExW(key, value_.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (written != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write a registry value");
    }
}

ScopedDllOverride::ScopedDllOverride(const std::wstring& program, const std::wstring& library,
                                     const std::wstring& order)
    : value_(program.empty() ? L"Software\\Wine\\DllOverrides"
                             : L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides",
             library) {
    value_.Set(REG_SZ, order);
}

std::wstring BuiltString(UINT id, LANGID language) {
    std::wstring path = winauto::ProgramDirectory() + L"briscoinstallrc.dll";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return L"<no briscoinstallrc.dll>";
    }
    std::wstring text;
    HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    const wchar_t* entry =
        block ? static_cast<const wchar_t*>(LockResource(LoadResource(module, block))) : nullptr;
    if (entry != nullptr) {
        // A block holds 16 counted strings.
        for (UINT i = 0; i < id % 16; ++i) {
            entry += *entry + 1;
        }
        text.assign(entry + 1, *entry);
    }
    FreeLibrary(module);
    return text;
}

ShellLink ReadShellLink(const std::wstring& path) {
    ShellLink link;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
        return link;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH + 1] = {};
            link.loaded = true;
            shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
            link.target = text;
            text[0] = 0;
            shellLink->GetArguments(text, MAX_PATH);
            link.arguments = text;
            text[0] = 0;
            shellLink->GetIconLocation(text, MAX_PATH, &link.iconIndex);
            link.iconPath = text;
            text[0] = 0;
            shellLink->GetWorkingDirectory(text, MAX_PATH);
            link.workingDirectory = text;
        }
        file->Release();
    }
    shellLink->Release();
    return link;
}

HelperCase::HelperCase(const std::wstring& name, const CaseLayout& layout) {
    std::wstring root = winauto::ProgramDirectory() + L"install_helper_tests";
    CreateDirectoryW(root.c_str(), nullptr);
    folder_ = root + L"\\" + name + L"\\";
    DeleteTree(WithoutTrailingBackslash(folder_));
    CreateDirectoryW(folder_.c_str(), nullptr);
    app_ = folder_ + L"app\\";
    records_ = folder_ + L"records";
    CreateDirectoryW(app_.c_str(), nullptr);
    CreateDirectoryW(records_.c_str(), nullptr);

    std::wstring standIns = StandInDirectory();
    Copy(winauto::ProgramDirectory() + L"brisco-install.exe", HelperPath());
    switch (layout.resources) {
        case ResourceFile::Plain:
            Copy(winauto::ProgramDirectory() + L"briscoinstallrc.dll",
                 app_ + L"briscoinstallrc.dll");
            break;
        case ResourceFile::WithCode:
            Copy(standIns + L"with_code\\briscoinstallrc.dll", app_ + L"briscoinstallrc.dll");
            break;
        // A library without a string table; mapped as resources only, its code never runs.
        case ResourceFile::WithoutStrings:
            Copy(standIns + L"planted_library.dll", app_ + L"briscoinstallrc.dll");
            break;
        case ResourceFile::HostileNames:
            Copy(standIns + L"hostile_names\\briscoinstallrc.dll", app_ + L"briscoinstallrc.dll");
            break;
        case ResourceFile::NotAnImage:
            WriteFileText(app_ + L"briscoinstallrc.dll", "not a library");
            break;
        case ResourceFile::Missing:
            break;
    }
    switch (layout.host) {
        case HostFile::Signed:
            Copy(standIns + L"fetchwell.exe", HostPath());
            break;
        case HostFile::Unsigned:
            Copy(standIns + L"unsigned\\fetchwell.exe", HostPath());
            break;
        case HostFile::Altered: {
            // One byte of the code changed after signing: the program still runs, the block no
            // longer matches.
            std::string bytes = ReadFileBytes(standIns + L"fetchwell.exe");
            if (bytes.size() < 0x1000) {
                throw std::runtime_error("stand-in host too small");
            }
            bytes[0x400] = static_cast<char>(bytes[0x400] ^ 0x01);
            WriteFileText(HostPath(), bytes);
            break;
        }
        case HostFile::NotAProgram:
            Copy(standIns + L"not-a-program.exe", HostPath());
            break;
        case HostFile::Missing:
            break;
    }
    switch (layout.script) {
        case ScriptFile::Signed:
            Copy(standIns + L"Uninstall.vbs", ScriptPath());
            break;
        case ScriptFile::Unsigned:
            Copy(standIns + L"unsigned\\Uninstall.vbs", ScriptPath());
            break;
        case ScriptFile::Missing:
            break;
    }

    switch (layout.desktop) {
        case DesktopFolder::Normal:
            desktop_ = folder_ + L"desktop";
            CreateDirectoryW(desktop_.c_str(), nullptr);
            break;
        case DesktopFolder::Missing:
            desktop_ = folder_ + L"no-desktop";
            break;
        case DesktopFolder::Long: {
            // 250 characters: a folder the system still reports, but too long for "\" + name.lnk.
            size_t length = 250;
            if (folder_.size() + 2 > length) {
                throw std::runtime_error("build folder too deep for the long desktop case");
            }
            desktop_ = folder_ + std::wstring(length - folder_.size(), L'd');
            CreateDirectoryW(desktop_.c_str(), nullptr);
            break;
        }
    }

    // This user's desktop folder, for the helper, is the case's own. The shell writes the folder
    // it resolved to the second key, so both are put back.
    configuredDesktop_ = std::make_unique<ScopedRegistryValue>(kUserShellFoldersKey, L"Desktop");
    resolvedDesktop_ = std::make_unique<ScopedRegistryValue>(kShellFoldersKey, L"Desktop");
    configuredDesktop_->Set(REG_EXPAND_SZ, desktop_);
}

HelperCase::~HelperCase() = default;

std::wstring HelperCase::ProductLinkPath() const {
    return (desktop_ + L"\\" + BuiltString(103) + L".lnk").substr(0, MAX_PATH - 1);
}

std::wstring HelperCase::UninstallLinkPath() const {
    return (desktop_ + L"\\" + BuiltString(104) + L".lnk").substr(0, MAX_PATH - 1);
}

std::string DescribeBoxes(const HelperRun& run) {
    auto narrow = [](const std::wstring& text) {
        std::string out;
        for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    };
    std::string out = std::to_string(run.boxes.size()) + " box(es)";
    for (const BoxSeen& box : run.boxes) {
        out += "; \"" + narrow(box.caption) + "\": \"" + narrow(box.text) + "\" [";
        for (const std::wstring& button : box.buttons) out += " " + narrow(button);
        out += " ]";
    }
    return out;
}

HelperRun HelperCase::Run(const std::wstring& arguments, const std::vector<int>& answers,
                          const BoxWatcher& watcher) const {
    HelperRun run;
    std::wstring commandLine =
        L"\"" + HelperPath() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    std::vector<wchar_t> environment = EnvironmentWith({L"KY_STAND_IN_RECORD_DIR=" + records_});

    // Everything the helper starts joins its job, so the test knows when all of it has ended.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // A start can fail for a moment while the previous run's processes still let go of the
    // folder's files; a few tries, and the error is kept for the test's message.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt) Sleep(300);
        started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                                 CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                 app_.c_str(), &startup, &process) != FALSE;
        if (!started) run.startError = GetLastError();
    }
    if (!started) {
        CloseHandle(job);
        return run;
    }
    run.startError = 0;
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);

    for (int answer : answers) {
        HWND box =
            winauto::WaitForWindow({process.dwProcessId, L"#32770", nullptr, true}, kBoxWaitMs);
        if (box == nullptr) {
            break;
        }
        run.boxes.push_back(Look(box));
        if (watcher) {
            watcher(process.dwProcessId, box);
        }
        if (answer == kCloseBox) {
            winauto::CloseWindow(box);
        } else {
            winauto::PressDialogButton(box, answer);
        }
        winauto::WaitForWindowGone(box, kBoxWaitMs);
    }

    run.finished = WaitForSingleObject(process.hProcess, kExitWaitMs) == WAIT_OBJECT_0;
    if (run.finished) {
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    for (DWORD waited = 0; waited < kExitWaitMs; waited += 50) {
        QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                  sizeof(accounting), nullptr);
        if (accounting.ActiveProcesses == 0) {
            break;
        }
        Sleep(50);
    }
    run.processesStarted = accounting.TotalProcesses;
    TerminateJobObject(job, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    return run;
}

DWORD HelperCase::RunProgram(const std::wstring& commandLine) const {
    std::wstring line = commandLine;
    std::vector<wchar_t> environment = EnvironmentWith({L"KY_STAND_IN_RECORD_DIR=" + records_});
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), app_.c_str(), &startup, &process)) {
        return 0xFFFFFFFF;
    }
    DWORD exitCode = 0xFFFFFFFE;
    if (WaitForSingleObject(process.hProcess, kExitWaitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::vector<Started> HelperCase::HostStarts() const {
    return ReadRecords(records_ + L"\\fetchwell.exe.record");
}

std::vector<Started> HelperCase::ScriptStarts() const {
    return ReadRecords(records_ + L"\\wscript.exe.record");
}

std::vector<std::wstring> HelperCase::DesktopFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((desktop_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool HelperCase::DesktopExists() const { return FileExists(desktop_); }
