// The product's look, filled once by Initialize before any window exists and only read afterwards
// (by the wizards on the host's thread and on the plug-in's own thread), so it needs no lock.
#pragma once

#include <windows.h>

#include <string>

struct GuiResources {
    std::wstring productName;
    COLORREF backgroundColor = RGB(239, 239, 239);
    COLORREF boxBackgroundColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    // Icons live as long as the process; nobody destroys them.
    HICON largeIcon = nullptr;
    HICON smallIcon = nullptr;
    bool showHeaderTitle = true;
};

// The one record of the process: constructed when the DLL is loaded, destroyed when it is unloaded.
GuiResources& TheGuiResources();
