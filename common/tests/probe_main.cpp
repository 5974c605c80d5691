// Second process for the tests: looks at or holds the library's objects and reports through
// its exit code.
//
//   kycplib_probe exists NAME              exit 1 when a mutex NAME exists, else 0
//   kycplib_probe hold NAME READY RELEASE  owns mutex NAME, sets event READY, waits for event
//                                          RELEASE, releases the mutex on the way out; exit 0
//   kycplib_probe abandon NAME READY       owns mutex NAME, sets event READY, ends the process
//                                          without releasing it
//   kycplib_probe signal NAME              sets the existing event NAME; exit 1 when it could
//   kycplib_probe inherited HANDLE         exit 1 when HANDLE (decimal)   is an open handle
//                                          in this process
// Exit 100 means bad arguments, 101 that an object could not be made.
#include <windows.h>

#include <wchar.h>

#include "kycplib/kycplib.h"

namespace {

const int kBadArguments = 100;
const int kNoObject = 101;

int Hold(const wchar_t* name, const wchar_t* readyName, const wchar_t* releaseName) {
    kycplib::CKYMutex mutex(name);
    kycplib::CKYEvent ready(readyName, true, false);
    kycplib::CKYEvent release(releaseName, true, false);
    if (!mutex.Wait(0)) {
        return kNoObject;
    }
    ready.Signal();
    release.Wait(INFINITE);
    return 0;
}

int Abandon(const wchar_t* name, const wchar_t* readyName) {
    kycplib::CKYMutex mutex(name);
    kycplib::CKYEvent ready(readyName, true, false);
    if (!mutex.Wait(0)) {
        return kNoObject;
    }
    ready.Signal();
    // No destructor runs: the system finds the mutex owned by a thread that is gone.
    ExitProcess(0);
}

int SignalEvent(const wchar_t* name) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (event == nullptr) {
        return 0;
    }
    BOOL set = SetEvent(event);
    CloseHandle(event);
    return set ? 1 : 0;
}

int Inherited(const wchar_t* text) {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(wcstoull(text, nullptr, 10)));
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 3 && wcscmp(argv[1], L"exists") == 0) {
            return kycplib::CKYMutex::Exists(argv[2]) ? 1 : 0;
        }
        if (argc == 5 && wcscmp(argv[1], L"hold") == 0) {
            return Hold(argv[2], argv[3], argv[4]);
        }
        if (argc == 4 && wcscmp(argv[1], L"abandon") == 0) {
            return Abandon(argv[2], argv[3]);
        }
        if (argc == 3 && wcscmp(argv[1], L"signal") == 0) {
            return SignalEvent(argv[2]);
        }
        if (argc == 3 && wcscmp(argv[1], L"inherited") == 0) {
            return Inherited(argv[2]);
        }
    } catch (unsigned long) {
        return kNoObject;
    }
    return kBadArguments;
}
