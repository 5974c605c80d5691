#include <string>

#include "afxwin.h"

namespace {
CWinApp* g_app = nullptr;
}

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

CWinApp::CWinApp(LPCWSTR appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

BOOL AfxDllMain(HINSTANCE, DWORD reason) {
    // Only what the loader lock allows: no library is loaded and no thread waited for here.
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return !g_app || g_app->InitInstance();
        case DLL_THREAD_DETACH:
            AfxTermThread();
            break;
        case DLL_PROCESS_DETACH:
            if (g_app) g_app->ExitInstance();
            AfxTermThread();
            break;
        default:
            break;
    }
    return TRUE;
}

HANDLE AfxGetModuleActCtx() {
    // Made once; two threads racing here would each make one and one would leak, so the first
    // store wins and the loser releases its own.
    static volatile HANDLE context = nullptr;
    if (context) return context;
    ACTCTXW actCtx = {};
    actCtx.cbSize = sizeof(actCtx);
    actCtx.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    actCtx.hModule = AfxGetInstanceHandle();
    actCtx.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID
    HANDLE made = CreateActCtxW(&actCtx);
    if (InterlockedCompareExchangePointer(const_cast<PVOID*>(&context), made, nullptr) != nullptr) {
        if (made != INVALID_HANDLE_VALUE) ReleaseActCtx(made);
    }
    return context;
}

CActivationScope::CActivationScope() {
    HANDLE context = AfxGetModuleActCtx();
    if (context != INVALID_HANDLE_VALUE) m_bActive = ActivateActCtx(context, &m_cookie);
}

CActivationScope::~CActivationScope() {
    if (m_bActive) DeactivateActCtx(0, m_cookie);
}

HMODULE AfxLoadSystemLibrary(LPCWSTR name) {
    // The full path in the system folder: LoadLibrary with a bare name would search the program's
    // folder first (a download folder, where anyone may have put a file of that name). The
    // LOAD_LIBRARY_SEARCH_* flags would be shorter but Windows XP does not have them.
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring full(path, length);
    if (full.back() != L'\\') full += L'\\';
    full += name;
    if (full.size() >= MAX_PATH) return nullptr;
    return LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
