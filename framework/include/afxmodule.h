// The module state: which module the framework's code belongs to (the instance handle) and which
// module resources are loaded from (the resource handle). Resources are looked up by id in the
// resource handle's module, so switching it switches every template, string and picture.
#pragma once

#include <windows.h>

// The module this framework is linked into (the plug-in DLL, or the test program).
HINSTANCE AfxGetInstanceHandle();
// The module resources come from; the instance handle until someone sets another one.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
