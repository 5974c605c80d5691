// A library that sends statistics requests as the plug-in does, for the test that unloads it
// while the requests still wait for their server.
#include <windows.h>

#include "LoaderTrakkoMessage.h"

extern "C" {

__declspec(dllexport) void SendForTesting(const wchar_t* action) {
    SkipModuleReferenceForTesting(false);
    LoaderTrakkoMessage message;
    message.Send(action);
}

// The request thread then holds no reference: once the library is unloaded, the thread returns
// into unmapped code.
__declspec(dllexport) void SendWithoutReferenceForTesting(const wchar_t* action) {
    SkipModuleReferenceForTesting(true);
    LoaderTrakkoMessage message;
    message.Send(action);
}

__declspec(dllexport) BOOL WaitForTesting() { return TrakkoRequest::GetInstance()->WaitForAll(); }

}  // extern "C"
