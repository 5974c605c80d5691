// Control program for the planted-library test: loads a library by its bare name with the
// default search order, as a program that does not restrict its search would. If the planted
// copy beside it is not picked up here, a test that sees it not picked up by the helper proves
// nothing. Exit code: 0 when the load succeeded, 1 when it failed.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    LocalFree(argv);
    if (module == nullptr) {
        return 1;
    }
    FreeLibrary(module);
    return 0;
}
