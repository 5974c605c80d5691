// The product's look, filled once by Initialize before any window exists and only read afterwards
// (by the wizards on the host's thread and on the plug-in's own thread), so it needs no lock.
#pragma once

#include <windows.h>

#include <string>

#include "DIBitmap.h"

struct GuiResources {
    std::wstring productName;
    COLORREF backgroundColor = RGB(239, 239, 239);
    COLORREF boxBackgroundColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    // From rcimage.dll: the wizard's header band and the picture behind its exterior pages.
    CDIBitmap headerBitmap;
    CDIBitmap sideBitmap;
    // Icons live as long as the process; nobody destroys them.
    HICON largeIcon = nullptr;
    HICON smallIcon = nullptr;
    bool showHeaderTitle = true;
};

// The large icon's size for a screen at dpiScale percent of 96 DPI: 32, 48 above 100 %, 128
// above 150 %.
int LargeIconSize(int dpiScale);

// The one record of the process: constructed when the DLL is loaded, destroyed when it is unloaded.
GuiResources& TheGuiResources();
