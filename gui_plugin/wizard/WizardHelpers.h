// Small pieces the sheet and the pages share.
#pragma once

#include "afxdlgs.h"

namespace wizard_helpers {

// Trackbars report their colour request as a static's but keep the system's colours.
inline bool IsTrackbar(CWnd* wnd) {
    wchar_t name[32] = {};
    return wnd && GetClassNameW(wnd->m_hWnd, name, 32) && lstrcmpiW(name, TRACKBAR_CLASSW) == 0;
}

// Realises palette in a DC of window; TRUE when entries changed (the window is then repainted).
inline BOOL RealizeInto(CWnd* window, CPalette* palette, BOOL background) {
    CClientDC dc(window);
    HPALETTE previous = dc.SelectPalette(*palette, background);
    UINT changed = dc.RealizePalette();
    dc.SelectPalette(previous, TRUE);
    if (changed) ::InvalidateRect(window->m_hWnd, nullptr, TRUE);
    return changed != 0;
}

// The caption of the sheet's Next button (empty without one).
inline CString NextCaption(CWnd* sheet) {
    HWND next = sheet ? ::GetDlgItem(sheet->m_hWnd, ID_WIZNEXT) : nullptr;
    return next ? CWnd::FromHandle(next)->GetWindowText() : CString();
}

// A button caption as it reads inside a text: without its mnemonic marks ("&Next >" reads
// "Next >", "&&" reads "&"). Texts are shown with SS_NOPREFIX, where a mark would show as is.
inline CString CaptionAsText(const CString& caption) {
    CString text;
    for (LPCWSTR p = caption; *p; ++p) {
        if (p[0] == L'&') {
            if (p[1] != L'&') continue;
            ++p;
        }
        text += *p;
    }
    return text;
}

}  // namespace wizard_helpers
