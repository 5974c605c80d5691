// brisco-install.exe: started with one switch, reports through its exit code.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "install_helper.h"

namespace {

// The helper is typically run from a Downloads folder, where anyone may have left a DLL named
// like a system one. Libraries loaded from here on come from the system folder only. The
// import table holds nothing but libraries the system always takes from there (checked by the
// build's import test), so nothing beside the helper is picked up before this runs either.
// SetDefaultDllDirectories is missing on Windows 7 without its loader update, hence the lookup.
void RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel == nullptr
                          ? nullptr
                          : reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // At least keep the current folder out of the search.
        SetDllDirectoryW(L"");
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictLibrarySearch();

    // The resource library is not signature-checked, so none of its code may run: it is mapped
    // as resources only, which is all the string table needs.
    std::wstring directory = GetHelperDirectory();
    HMODULE resources = nullptr;
    if (!directory.empty()) {
        std::wstring path = directory + kResourceLibraryName;
        resources = LoadResourceLibrary(path.c_str());
    }
    if (resources == nullptr) {
        MessageBoxW(nullptr, L"Can't load briscoinstallrc.dll", L"Orvane PC Brisco", MB_OK);
        return kExitDone;
    }

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int result = argv == nullptr ? kExitBadCommandLine : DispatchCommand(resources, argc, argv);
    if (argv != nullptr) {
        LocalFree(argv);
    }
    FreeLibrary(resources);
    return result;
}
