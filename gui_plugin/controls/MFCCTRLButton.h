// A push button that paints itself: light and rounded with a dark-blue outline, an orange frame
// while the mouse is over it, a blue one while it has the focus, its text moved by a pixel while
// pressed. It takes over an existing button (SubclassWindow) and keeps the dialog manager's
// default-button handling although the control becomes owner-drawn. The caption stays the
// window's text, so screen readers still name the button.
#pragma once

#include "afxwin.h"

class CMFCCTRLButton : public CButton {
    DECLARE_DYNCREATE(CMFCCTRLButton)
    DECLARE_MESSAGE_MAP()
public:
    CMFCCTRLButton();
    ~CMFCCTRLButton() override;

    BOOL m_bHot = FALSE;       // the mouse rests over the button
    BOOL m_bTracking = FALSE;  // hover and leave notifications are requested
    COLORREF m_crText = RGB(0, 0, 0);
    BOOL m_bPushButton = FALSE;  // was a (default) push button when subclassed
    BOOL m_bDefault = FALSE;     // is the dialog's default button now
    UINT m_nButtonType = 15;     // the type bits before subclassing; 15 until then
    HICON m_hShieldIcon = nullptr;
    BOOL m_bShield = FALSE;

protected:
    void PreSubclassWindow() override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;

    void OnMouseMove(UINT flags, CPoint point);
    void OnMouseLeave();
    void OnMouseHover(UINT flags, CPoint point);
    UINT OnGetDlgCode();
    LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);

private:
    struct Palette;
    void DrawOutline(CDC& dc, const RECT& r, const Palette& palette);
    void DrawFrame(CDC& dc, const RECT& e, bool focus, const Palette& palette);
};
