#include "afxmodule.h"

namespace {

// The module that holds this code: found from an address inside it, which works the same in a
// DLL and in a program and needs no DllMain.
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

HINSTANCE g_resourceHandle = nullptr;

}  // namespace

HINSTANCE AfxGetInstanceHandle() {
    static HINSTANCE instance = OwnModule();
    return instance;
}

HINSTANCE AfxGetResourceHandle() {
    return g_resourceHandle ? g_resourceHandle : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE resources) { g_resourceHandle = resources; }
