// The plug-in's application object and its DllMain. All work starts from the exports; the
// application object only does the framework's default start-up.
#include "afxwin.h"

class CkynetworkLoaderGUI2App : public CWinApp {
public:
    CkynetworkLoaderGUI2App() : CWinApp(L"fetchwellGUI") {}
    BOOL InitInstance() override { return CWinApp::InitInstance(); }
};

namespace {
CkynetworkLoaderGUI2App theApp;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    return AfxDllMain(module, reason);
}
