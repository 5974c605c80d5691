// A loader host written in C++ and built as the platform's compiler builds it: it gets the plug-in
// object from OutputPluginFactory and uses it through ordinary virtual calls, then ends it either
// with FreeOutputPlugin ("cpp_host.exe free") or with "delete plugin" ("cpp_host.exe delete"),
// which reaches the table's first slot with the deleting flag. The exit code is the number of
// failed checks. Freestanding, like the library stand-in: no C or C++ runtime.
#include <windows.h>

#include "output_plugin.h"

namespace {

int g_failed = 0;
int g_passed = 0;

void Say(const char* text) {
    DWORD written = 0;
    DWORD length = 0;
    while (text[length] != '\0') ++length;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, nullptr);
}

void SayNumber(int value) {
    char digits[16];
    int n = 0;
    unsigned int v = value < 0 ? 0u - static_cast<unsigned int>(value) : value;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 15);
    char text[18];
    int out = 0;
    if (value < 0) text[out++] = '-';
    while (n > 0) text[out++] = digits[--n];
    text[out] = '\0';
    Say(text);
}

void Check(bool ok, const char* what) {
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    Say("check failed: ");
    Say(what);
    Say("\n");
}

#define CHECK(cond) Check((cond), #cond)

bool SameText(const wchar_t* a, const wchar_t* b) {
    while (*a != L'\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

// dir + name into out (MAX_PATH characters); false when it does not fit.
bool Join(wchar_t* out, const wchar_t* dir, const wchar_t* name) {
    int n = 0;
    for (const wchar_t* p = dir; *p != L'\0'; ++p) {
        if (n >= MAX_PATH - 1) return false;
        out[n++] = *p;
    }
    for (const wchar_t* p = name; *p != L'\0'; ++p) {
        if (n >= MAX_PATH - 1) return false;
        out[n++] = *p;
    }
    out[n] = L'\0';
    return true;
}

bool EndsWith(const wchar_t* text, const wchar_t* tail) {
    int n = 0, m = 0;
    while (text[n] != L'\0') ++n;
    while (tail[m] != L'\0') ++m;
    return n >= m && SameText(text + n - m, tail);
}

int Run() {
    const bool byDelete = EndsWith(GetCommandLineW(), L" delete");
    wchar_t dir[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    while (length > 0 && dir[length - 1] != L'\\') --length;
    dir[length] = L'\0';

    wchar_t path[MAX_PATH];
    if (!Join(path, dir, L"fetchwellGUI.dll")) return 1;
    HMODULE library = LoadLibraryW(path);
    CHECK(library != nullptr);
    if (library == nullptr) return 1;
    const auto factory = reinterpret_cast<OutputPluginFactoryFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "OutputPluginFactory")));
    const auto release = reinterpret_cast<FreeOutputPluginFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "FreeOutputPlugin")));
    CHECK(factory != nullptr && release != nullptr);
    if (factory == nullptr || release == nullptr) return 1;

    COutputPlugin* plugin = factory(dir);
    CHECK(plugin != nullptr);
    if (plugin == nullptr) return 1;

    wchar_t controlFile[MAX_PATH];
    CHECK(Join(controlFile, dir, L"plugin_host_data\\languages.xml"));
    CHECK(plugin->Initialize(nullptr, controlFile, false, true));

    // The host settles the code: the plug-in checks it against its languages and loads that one.
    wchar_t language[64] = L"DE";
    CHECK(plugin->SelectLanguage(L"brisco-suite", language, 64) == PLUGIN_OK);
    CHECK(SameText(language, L"DE"));
    CHECK(GetModuleHandleW(L"plugin_host_lang_de.dll") != nullptr);
    wchar_t unknown[64] = L"xx";
    CHECK(plugin->SelectLanguage(L"brisco-suite", unknown, 64) == PLUGIN_FAILED);

    // Without a progress wizard every progress operation fails at once and the texts go nowhere.
    CHECK(!plugin->StartProgress());
    plugin->SetStatusText(L"Downloading");
    plugin->ReportInstallStep(L"Unpacking");
    plugin->ReportDownloadProgress(512, 1024, L"Downloading");
    plugin->UpdateStatusText(L"Installing");
    CHECK(plugin->FinishProgress(true) == PLUGIN_FAILED);
    CHECK(plugin->AbortProgress() == PLUGIN_FAILED);

    if (byDelete) {
        delete plugin;
    } else {
        release(plugin);
    }
    // The object's destructor ran: the language library it held is gone.
    CHECK(GetModuleHandleW(L"plugin_host_lang_de.dll") == nullptr);
    FreeLibrary(library);

    Say(byDelete ? "C++ host (delete): " : "C++ host (FreeOutputPlugin): ");
    SayNumber(g_passed);
    Say(" passed, ");
    SayNumber(g_failed);
    Say(" failed\n");
    return g_failed;
}

}  // namespace

// The program's entry point: there is no runtime to start.
extern "C" void __cdecl HostMain() { ExitProcess(static_cast<UINT>(Run())); }
