// The stand-in loader host fetchwell.exe: it verifies and loads the GUI plug-in beside it, lets it
// settle the language, downloads the payload with the plug-in's progress shown, installs it into
// the user's profile and ends with an exit code that says how the run went (exit_codes.h).
//
//   fetchwell.exe [/lang=CODE] [/payload=URL] [/product=ID] [/skipwelcome] [/nocancel]
//
// Freestanding (no C or C++ runtime), built with the platform compiler's binary interface, like
// the loader host it stands in for.
#include <windows.h>

#include <shellapi.h>

#include "download.h"
#include "exit_codes.h"
#include "gcc_support.h"
#include "install.h"
#include "output_plugin.h"
#include "payload.h"
#include "runtime.h"

namespace loader {

namespace {

// Signalled by the plug-in's progress page once the user has confirmed a cancel.
constexpr wchar_t kCancelEventName[] = L"{1A34280C-48B6-453d-B6F9-BAE5296D2AA7}";
// Held while the product runs; the install helper refuses to remove the product meanwhile.
constexpr wchar_t kProductInUseMutexName[] = L"{856D85EB-3BEF-48fb-BE9F-039EEB944369}";

// The demo's download server on the loopback interface (KY_DEFAULT_PAYLOAD_PORT, set by CMake).
#define KY_WIDE_TEXT2(x) L## #x
#define KY_WIDE_TEXT(x) KY_WIDE_TEXT2(x)
constexpr wchar_t kDefaultPayloadUrl[] =
    L"http://127.0.0.1:" KY_WIDE_TEXT(KY_DEFAULT_PAYLOAD_PORT) L"/ok/payload.bin";
constexpr wchar_t kDefaultProduct[] = L"brisco-suite";
constexpr unsigned kLanguageChars = 64;

struct Options {
    const wchar_t* language = L"";
    const wchar_t* payloadUrl = kDefaultPayloadUrl;
    const wchar_t* product = kDefaultProduct;
    bool skipWelcome = false;
    bool allowCancel = true;
};

// A product id names a folder of the user's profile: letters, digits, "-", "_" and inner dots.
bool IsProductId(const wchar_t* id) {
    size_t n = 0;
    for (; id[n] != L'\0'; ++n) {
        const wchar_t c = id[n];
        const bool ok = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
                        (c >= L'0' && c <= L'9') || c == L'-' || c == L'_' || c == L'.';
        if (!ok) return false;
    }
    return n > 0 && n <= 64 && id[0] != L'.' && id[n - 1] != L'.';
}

bool ParseOptions(int count, wchar_t** args, Options& options) {
    for (int i = 1; i < count; ++i) {
        const wchar_t* arg = args[i];
        if (StartsWithNoCase(arg, L"/lang=")) {
            options.language = arg + 6;
            if (wcslen(options.language) >= kLanguageChars) return false;
        } else if (StartsWithNoCase(arg, L"/payload=")) {
            options.payloadUrl = arg + 9;
            if (!StartsWithNoCase(options.payloadUrl, L"http://") &&
                !StartsWithNoCase(options.payloadUrl, L"https://")) {
                return false;
            }
        } else if (StartsWithNoCase(arg, L"/product=")) {
            options.product = arg + 9;
            if (!IsProductId(options.product)) return false;
        } else if (_wcsicmp(arg, L"/skipwelcome") == 0) {
            options.skipWelcome = true;
        } else if (_wcsicmp(arg, L"/nocancel") == 0) {
            options.allowCancel = false;
        } else {
            return false;
        }
    }
    return true;
}

// The host's own folder, with its trailing backslash.
bool GetHostFolder(CPathText& folder) {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    while (length > 0 && path[length - 1] != L'\\') --length;
    path[length] = L'\0';
    folder.Append(path);
    return !folder.IsEmpty();
}

// The cancel event as the progress page opens it: manual reset, with a security descriptor
// without an access-control list, so that any process may open it.
HANDLE CreateCancelEvent() {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        attributes.lpSecurityDescriptor = &descriptor;
    }
    HANDLE event = CreateEventW(&attributes, TRUE, FALSE, kCancelEventName);
    // An event left signalled by someone else's handle would cancel this run before it starts.
    if (event != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) ResetEvent(event);
    return event;
}

// The plug-in library, loaded once it has passed the signature check. The file is held open
// without write or delete sharing from before the check until after the load, so that what is
// loaded is what was checked.
class CPluginLibrary {
public:
    ~CPluginLibrary() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    unsigned Load(const wchar_t* path) {
        if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return kExitPluginMissing;
        CHandle pin(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!pin.IsValid()) return kExitPluginUnusable;
        if (CheckPluginSignature(path) != 0) return kExitPluginUnsigned;
        m_module = LoadLibraryW(path);
        if (m_module == nullptr) return kExitPluginUnusable;
        m_factory = reinterpret_cast<OutputPluginFactoryFn>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "OutputPluginFactory")));
        m_release = reinterpret_cast<FreeOutputPluginFn>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "FreeOutputPlugin")));
        if (m_factory == nullptr || m_release == nullptr) return kExitPluginUnusable;
        return kExitCompleted;
    }
    OutputPluginFactoryFn Factory() const { return m_factory; }
    FreeOutputPluginFn Release() const { return m_release; }

private:
    HMODULE m_module = nullptr;
    OutputPluginFactoryFn m_factory = nullptr;
    FreeOutputPluginFn m_release = nullptr;
};

// The progress phase: download, install, and its end told to the plug-in. Its result, whether
// the plug-in's progress window exists or not, comes from the host's own work; only a cancel the
// user confirmed at the very end (PLUGIN_CANCELLED after a completed install) is not taken back,
// since the product is then complete.
unsigned RunProgress(COutputPlugin* plugin, const Options& options, HANDLE cancelEvent) {
    // Without a progress window the work still runs: the notifications then go nowhere.
    plugin->StartProgress();

    CPathText folder;
    if (!GetInstallFolder(options.product, folder)) {
        plugin->SetStatusText(L"The install folder of the user's profile cannot be found.");
        plugin->FinishProgress(false);
        return kExitNoProfileFolder;
    }

    CMessageText reason;
    plugin->SetStatusText(L"Downloading");
    CByteBuffer payloadBytes(kMaxPayloadBytes);
    const DownloadOutcome downloaded =
        DownloadPayload(options.payloadUrl, plugin, cancelEvent, payloadBytes, reason);
    if (downloaded == DownloadOutcome::kCancelled) {
        plugin->AbortProgress();
        return kExitProgressCancelled;
    }
    if (downloaded == DownloadOutcome::kFailed) {
        plugin->SetStatusText(reason.c_str());
        plugin->FinishProgress(false);
        return kExitDownloadFailed;
    }

    plugin->SetStatusText(L"Installing");
    plugin->ReportInstallStep(L"Checking the payload");
    CPayload payload;
    if (!payload.Parse(payloadBytes.Data(), payloadBytes.Size(), reason)) {
        plugin->SetStatusText(reason.c_str());
        plugin->FinishProgress(false);
        return kExitInstallFailed;
    }
    const InstallOutcome installed =
        InstallPayload(payload, folder.c_str(), plugin, cancelEvent, reason);
    if (installed == InstallOutcome::kCancelled) {
        plugin->AbortProgress();
        return kExitProgressCancelled;
    }
    if (installed == InstallOutcome::kFailed) {
        plugin->SetStatusText(reason.c_str());
        plugin->FinishProgress(false);
        return kExitInstallFailed;
    }
    plugin->SetStatusText(L"Installed");
    plugin->FinishProgress(true);
    return kExitCompleted;
}

unsigned RunWithPlugin(COutputPlugin* plugin, const CPathText& hostFolder, const Options& options,
                       HANDLE cancelEvent) {
    CPathText controlFile(hostFolder.c_str());
    controlFile.AppendPath(L"loadercontrol.xml");
    if (controlFile.IsCut() || !plugin->Initialize(nullptr, controlFile.c_str(),
                                                   options.skipWelcome, options.allowCancel)) {
        return kExitInitializeFailed;
    }
    // Empty: the plug-in's language wizard settles the code; else the host's code is checked.
    wchar_t language[kLanguageChars] = {};
    for (size_t i = 0; options.language[i] != L'\0' && i + 1 < kLanguageChars; ++i) {
        language[i] = options.language[i];
    }
    const int chosen = plugin->SelectLanguage(options.product, language, kLanguageChars);
    if (chosen == PLUGIN_CANCELLED) return kExitLanguageCancelled;
    if (chosen != PLUGIN_OK) return kExitNoLanguage;
    return RunProgress(plugin, options, cancelEvent);
}

unsigned Run() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    Options options;
    const bool parsed = args != nullptr && ParseOptions(count, args, options);
    unsigned code = kExitUsage;
    if (parsed) {
        // options points into args, which lives until the end of the run.
        CHandle inUse(CreateMutexW(nullptr, FALSE, kProductInUseMutexName));
        if (!inUse.IsValid() || GetLastError() == ERROR_ALREADY_EXISTS) {
            code = kExitAlreadyRunning;
        } else {
            CHandle cancelEvent(CreateCancelEvent());
            CPathText hostFolder;
            CPathText pluginPath;
            if (GetHostFolder(hostFolder)) pluginPath.Append(hostFolder.c_str());
            pluginPath.AppendPath(L"fetchwellGUI.dll");
            CPluginLibrary library;
            code = pluginPath.IsCut() ? kExitPluginMissing : library.Load(pluginPath.c_str());
            if (code == kExitCompleted) {
                COutputPlugin* plugin = library.Factory()(hostFolder.c_str());
                if (plugin == nullptr) {
                    code = kExitPluginUnusable;
                } else {
                    code = RunWithPlugin(plugin, hostFolder, options, cancelEvent.Get());
                    library.Release()(plugin);
                }
            }
        }
    }
    if (args != nullptr) LocalFree(args);
    return code;
}

}  // namespace

}  // namespace loader

// The program's entry point: there is no runtime to start.
extern "C" void __cdecl LoaderMain() { ExitProcess(loader::Run()); }
