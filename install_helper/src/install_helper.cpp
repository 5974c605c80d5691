#include "install_helper.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <kycplib/held_file.h>
#include <kycplib/path.h>
#include <kycplib/sync.h>

#include "check_signature.h"

const wchar_t kGuardMutexName[] = L"{F0B336D4-3E88-4364-8249-3A2EABA64365}";
const wchar_t kProductInUseMutexName[] = L"{856D85EB-3BEF-48fb-BE9F-039EEB944369}";

const wchar_t kResourceLibraryName[] = L"briscoinstallrc.dll";
const wchar_t kHostFileName[] = L"fetchwell.exe";
const wchar_t kUninstallScriptName[] = L"Uninstall.vbs";

namespace {

const wchar_t kProductIconName[] = L"brisco.ico";
const wchar_t kUninstallIconName[] = L"brisco_uninstall.ico";

// Link names when the resource library's would lead out of the desktop folder.
const wchar_t kBuiltinProductLinkName[] = L"Orvane PC Brisco";
const wchar_t kBuiltinUninstallLinkName[] = L"Uninstall Orvane PC Brisco";

// Long enough for any path the system hands out; beyond it the path is not used at all.
const DWORD kLongestModulePath = 32768;

// The guard exists while this flow runs. A guard that cannot be created means the name is
// taken by something we cannot open as a mutex (another user's helper, or an object of another
// type); the flow then cannot rule out a second flow, so it stops as if one were running.
// Two helpers started at the same moment can both find no guard; the one whose creation merely
// opened the other's mutex (CreateMutexW is the constructor's last call) stops as well.
std::unique_ptr<kycplib::CKYMutex> CreateGuard() {
    try {
        auto guard = std::make_unique<kycplib::CKYMutex>(kGuardMutexName);
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            return nullptr;
        }
        return guard;
    } catch (unsigned long) {
        return nullptr;
    }
}

std::wstring GetModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        if (buffer.size() >= kLongestModulePath) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetShortcutPath(HMODULE resources, UINT nameId) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        // No desktop folder: there is no place for the link, and the buffer says nothing.
        return {};
    }
    const wchar_t* fallback =
        nameId == kIdsProductShortcutName ? kBuiltinProductLinkName : kBuiltinUninstallLinkName;
    std::wstring name = SafeLinkName(LoadResourceString(resources, nameId), fallback) + L".lnk";
    kycplib::AppendPath(path, MAX_PATH, name.c_str());
    return path;
}

// Whether the file may be started. The caller keeps `held` alive until its start call has
// returned, so nobody can change the file between the check and the start. For the loader host
// that is enough: the system has mapped the program when the start returns. The script host
// reads the script later, when the helper may have exited and the hold is gone; the helper does
// not wait for it, since the script may delete the product's folder, the helper included.
using SignatureCheck = int (*)(const wchar_t* path, int* detail);
bool PassesSignatureCheck(const kycplib::CHeldFile& held, const std::wstring& path,
                          SignatureCheck check) {
    int detail = 0;
    return held.IsHeld() && check(path.c_str(), &detail) == 0;
}

bool IsReservedDeviceName(const std::wstring& name) {
    // The part before the first dot, blanks at its end ignored: "NUL.txt" and "con " are the
    // devices too.
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (_wcsicmp(base.c_str(), device) == 0) return true;
    }
    if (base.size() == 4 &&
        (_wcsnicmp(base.c_str(), L"COM", 3) == 0 || _wcsnicmp(base.c_str(), L"LPT", 3) == 0)) {
        return base[3] >= L'1' && base[3] <= L'9';
    }
    return false;
}

// A flow that refuses a file says why, so that a double-click that seems to do nothing has an
// explanation. Without string 106 there is nothing meaningful to say.
void ReportRefusedFile(HMODULE resources, const std::wstring& path) {
    std::wstring format = LoadResourceString(resources, kIdsSignatureRefused);
    if (format.empty()) {
        return;
    }
    std::wstring text = FormatWithFileName(format, path);
    std::wstring caption = LoadResourceString(resources, kIdsCaption);
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void DeleteLink(const std::wstring& path) {
    if (!path.empty()) {
        DeleteFileW(path.c_str());
    }
}

}  // namespace

std::wstring GetHelperDirectory() {
    std::wstring path = GetModulePath();
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        return {};
    }
    path.resize(slash + 1);
    return path;
}

std::wstring LoadResourceString(HMODULE resources, UINT id) {
    // With a zero length LoadStringW hands out a pointer into the string table itself.
    const wchar_t* text = nullptr;
    int length = LoadStringW(resources, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        return {};
    }
    return std::wstring(text, static_cast<size_t>(length));
}

std::wstring SafeLinkName(const std::wstring& name, const wchar_t* fallback) {
    if (name.empty()) return name;
    for (wchar_t c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr) return fallback;
    }
    // The system drops dots and blanks at the end of a name, so "x." would be another file;
    // ".." anywhere is refused outright.
    if (name.find(L"..") != std::wstring::npos || name.back() == L'.' || name.back() == L' ' ||
        IsReservedDeviceName(name)) {
        return fallback;
    }
    return name;
}

HMODULE LoadResourceLibrary(const wchar_t* path, LoadLibraryExFn load) {
    HMODULE module = load(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) module = load(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::wstring FormatWithFileName(const std::wstring& format, const std::wstring& fileName) {
    std::wstring text;
    bool filled = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L'%') {
                text += L'%';
                ++i;
                continue;
            }
            if (format[i + 1] == L's' && !filled) {
                text += fileName;
                filled = true;
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

int DispatchCommand(HMODULE resources, int argc, wchar_t** argv) {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return kExitBadCommandLine;
    }
    const wchar_t* command = argv[1];
    if (_wcsicmp(command, L"/install") == 0) {
        return InstallAndStart(resources, true);
    }
    if (_wcsicmp(command, L"/remove") == 0) {
        return Uninstall(resources);
    }
    if (_wcsicmp(command, L"/start") == 0) {
        return InstallAndStart(resources, false);
    }
    return kExitBadCommandLine;
}

int InstallAndStart(HMODULE resources, bool createShortcuts) {
    if (kycplib::CKYMutex::Exists(kGuardMutexName)) {
        return kExitAlreadyRunning;
    }
    std::unique_ptr<kycplib::CKYMutex> guard = CreateGuard();
    if (!guard) {
        return kExitAlreadyRunning;
    }

    std::wstring directory = GetHelperDirectory();
    std::wstring hostPath = directory + kHostFileName;
    kycplib::CHeldFile heldHost(hostPath.c_str());
    if (directory.empty() || !PassesSignatureCheck(heldHost, hostPath, CheckFileSignature)) {
        ReportRefusedFile(resources, hostPath);
        return kExitSignatureRefused;
    }

    if (createShortcuts) {
        std::wstring productLink = GetProductShortcutPath(resources);
        if (!productLink.empty()) {
            std::wstring icon = directory + kProductIconName;
            CreateShortcut(hostPath.c_str(), nullptr, productLink.c_str(), icon.c_str(), 0);
        }
        std::wstring uninstallLink = GetUninstallShortcutPath(resources);
        if (!uninstallLink.empty()) {
            std::wstring helperPath = GetModulePath();
            std::wstring icon = directory + kUninstallIconName;
            CreateShortcut(helperPath.c_str(), L"/remove", uninstallLink.c_str(), icon.c_str(), 0);
        }
    }

    std::wstring quotedHost = L"\"" + hostPath + L"\"";
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    // The helper exits right after this call; without this flag the start may still be under
    // way on another thread and be lost with the process.
    execute.fMask = SEE_MASK_NOASYNC;
    execute.lpVerb = L"open";
    execute.lpFile = quotedHost.c_str();
    execute.lpDirectory = directory.c_str();
    execute.nShow = SW_SHOW;
    ShellExecuteExW(&execute);
    return kExitDone;
}

int Uninstall(HMODULE resources) {
    std::wstring caption = LoadResourceString(resources, kIdsCaption);
    if (kycplib::CKYMutex::Exists(kProductInUseMutexName)) {
        std::wstring warning = LoadResourceString(resources, kIdsProductInUse);
        MessageBoxW(nullptr, warning.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
        return kExitProductInUse;
    }
    if (kycplib::CKYMutex::Exists(kGuardMutexName)) {
        return kExitAlreadyRunning;
    }
    std::unique_ptr<kycplib::CKYMutex> guard = CreateGuard();
    if (!guard) {
        return kExitAlreadyRunning;
    }

    std::wstring question = LoadResourceString(resources, kIdsRemoveQuestion);
    if (MessageBoxW(nullptr, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) !=
        IDYES) {
        return kExitNotConfirmed;
    }

    std::wstring directory = GetHelperDirectory();
    std::wstring scriptPath = directory + kUninstallScriptName;
    kycplib::CHeldFile heldScript(scriptPath.c_str());
    if (directory.empty() || !PassesSignatureCheck(heldScript, scriptPath, CheckScriptSignature)) {
        ReportRefusedFile(resources, scriptPath);
        return kExitSignatureRefused;
    }

    std::wstring productLink = GetProductShortcutPath(resources);
    std::wstring uninstallLink = GetUninstallShortcutPath(resources);
    DeleteLink(uninstallLink);
    DeleteLink(productLink);

    wchar_t systemDirectory[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        // Without the system folder there is no script host to name; starting "wscript.exe"
        // by search would let any folder on the path supply it.
        return kExitDone;
    }
    wchar_t scriptHost[MAX_PATH] = {};
    std::copy(systemDirectory, systemDirectory + length, scriptHost);
    kycplib::AppendPath(scriptHost, MAX_PATH, L"wscript.exe");

    std::wstring commandLine =
        L"\"" + std::wstring(scriptHost) + L"\" \"" + scriptPath + L"\" /uninstall";
    std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
    writableCommandLine.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, writableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       systemDirectory, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return kExitDone;
}

HRESULT CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* linkPath,
                       const wchar_t* iconPath, int iconIndex) {
    // Balanced only when it succeeded: an extra CoUninitialize would tear down an apartment
    // that someone else set up.
    HRESULT init = CoInitialize(nullptr);

    IShellLinkW* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (SUCCEEDED(result)) {
        link->SetPath(target);
        if (iconPath != nullptr) {
            link->SetIconLocation(iconPath, iconIndex);
        }
        if (arguments != nullptr) {
            link->SetArguments(arguments);
        }
        IPersistFile* file = nullptr;
        result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(result)) {
            result = file->Save(linkPath, TRUE);
            file->Release();
        }
        link->Release();
    }

    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return result;
}

std::wstring GetProductShortcutPath(HMODULE resources) {
    return GetShortcutPath(resources, kIdsProductShortcutName);
}

std::wstring GetUninstallShortcutPath(HMODULE resources) {
    return GetShortcutPath(resources, kIdsUninstallShortcutName);
}
