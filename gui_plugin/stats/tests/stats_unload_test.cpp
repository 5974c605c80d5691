// A library that sends statistics requests is unloaded while they still wait for a server that
// never answers: the requests hold the library until they end, so the process goes on unharmed.
// Without that reference, the request threads return into unmapped code and the process dies.
//
// Each case runs in a child process of this program ("--child hold" / "--child skip").
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kLibrary[] = L"stats_unload_library.dll";
// Beyond the request threads' time-outs (10 s for the answer) and their ends.
constexpr DWORD kPastTimeOutsMs = 15000;

// Exit codes of the child.
enum : DWORD {
    kChildOk = 0,
    kChildNoLibrary = 10,
    kChildNoExport = 11,
    kChildWaitEnded = 12,
    kChildUnloadedTooEarly = 13,
    kChildStillLoaded = 14,
};

using SendFn = void (*)(const wchar_t*);
using WaitFn = BOOL (*)();

int RunChild(bool holdModule) {
    HMODULE library = LoadLibraryW(kLibrary);
    if (library == nullptr) return kChildNoLibrary;
    SendFn send = reinterpret_cast<SendFn>(reinterpret_cast<void*>(
        GetProcAddress(library, holdModule ? "SendForTesting" : "SendWithoutReferenceForTesting")));
    WaitFn wait = reinterpret_cast<WaitFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "WaitForTesting")));
    if (send == nullptr || wait == nullptr) return kChildNoExport;
    for (int i = 0; i < 3; ++i) send(L"FETCHWELL_DLG_PROGRESS_FINISH");
    // The host's bounded wait: the server never answers, so it runs out.
    if (wait()) return kChildWaitEnded;
    FreeLibrary(library);
    bool loadedAfterFree = GetModuleHandleW(kLibrary) != nullptr;
    if (holdModule && !loadedAfterFree) return kChildUnloadedTooEarly;
    Sleep(kPastTimeOutsMs);
    // The last request thread let the library go as it ended.
    if (GetModuleHandleW(kLibrary) != nullptr) return kChildStillLoaded;
    return kChildOk;
}

DWORD RunSelf(const wchar_t* mode) {
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + program + L"\" --child " + mode;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(StatsUnload, LibraryUnloadedWhileRequestsRunStaysUntilTheyEnd) {
    EXPECT_EQ(RunSelf(L"hold"), static_cast<DWORD>(kChildOk));
}

TEST(StatsUnload, WithoutTheModuleReferenceTheRequestThreadsCrash) {
    DWORD code = RunSelf(L"skip");
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) << std::hex << code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") {
        return RunChild(std::string(argv[2]) == "hold");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
