// The install helper's flows: "/install", "/start" and "/remove", and the desktop shortcuts.
//
// Every flow reports what happened only through the exit code it returns; the helper never
// waits for what it starts.
#pragma once

#include <windows.h>

#include <string>

// Process exit codes.
enum HelperExitCode : int {
    kExitDone = 0,             // the host or the script was handed to the system
    kExitBadCommandLine = 1,   // not exactly one known switch
    kExitNotConfirmed = 2,     // the removal question was not answered Yes
    kExitAlreadyRunning = 3,   // another flow of the helper holds the guard mutex
    kExitProductInUse = 4,     // removal refused: the product is running
    kExitSignatureRefused = 5  // the file to start failed the signature check
};

// Ids of the string table in the resource library.
enum HelperStringId : UINT {
    kIdsCaption = 101,
    kIdsRemoveQuestion = 102,
    kIdsProductShortcutName = 103,
    kIdsUninstallShortcutName = 104,
    kIdsProductInUse = 105,
    kIdsSignatureRefused = 106  // "%s": the full path of the refused file
};

// Both names are matched exactly, case included, by other programs.
extern const wchar_t kGuardMutexName[];
extern const wchar_t kProductInUseMutexName[];

extern const wchar_t kResourceLibraryName[];
extern const wchar_t kHostFileName[];
extern const wchar_t kUninstallScriptName[];

// The helper's own folder with its trailing backslash; empty when the executable's path cannot
// be read in full (a cut path would name some other folder's files).
std::wstring GetHelperDirectory();

// String id from the resource library; empty when it is missing.
std::wstring LoadResourceString(HMODULE resources, UINT id);

// Fills the one "%s" of format with fileName ("%%" gives "%"). Any other '%' sequence is kept
// as it stands: the format comes from an unchecked file and is never handed to a printf.
std::wstring FormatWithFileName(const std::wstring& format, const std::wstring& fileName);

// The name itself when it is a plain file name that stays in the folder it is appended to;
// otherwise fallback. An empty name is kept (the link is then called ".lnk").
std::wstring SafeLinkName(const std::wstring& name, const wchar_t* fallback);

// Maps the resource library as resources only, so that none of its code can run. Windows XP
// does not know LOAD_LIBRARY_AS_IMAGE_RESOURCE and refuses the call; it then gets the plain
// data-file mapping. load is LoadLibraryExW but for the tests.
using LoadLibraryExFn = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);
HMODULE LoadResourceLibrary(const wchar_t* path, LoadLibraryExFn load = LoadLibraryExW);

// argc/argv as CommandLineToArgvW gives them, program included.
int DispatchCommand(HMODULE resources, int argc, wchar_t** argv);

// "/install" (createShortcuts true) and "/start": returns 0, 3 or 5.
int InstallAndStart(HMODULE resources, bool createShortcuts);

// "/remove": returns 0, 2, 3, 4 or 5.
int Uninstall(HMODULE resources);

// Writes a shell link; arguments and iconPath may be null. Returns the last HRESULT obtained.
HRESULT CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* linkPath,
                       const wchar_t* iconPath, int iconIndex);

// Full path of the link file on the user's desktop (strings 103 and 104 + ".lnk"), cut to 259
// characters; empty when the desktop folder cannot be found. The resource library is not
// signature-checked, so a name that is no plain file name (a path separator, "..", a drive, a
// character file names cannot hold, a device name) is replaced by a built-in one.
std::wstring GetProductShortcutPath(HMODULE resources);
std::wstring GetUninstallShortcutPath(HMODULE resources);
