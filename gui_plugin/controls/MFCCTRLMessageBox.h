// A system message box (MessageBoxW lays it out and runs it) in the product's colours, with
// owner-drawn buttons. The box's dialog window is taken over when it is created, through the
// calling thread's creation hook, which takes only a "#32770" window.
#pragma once

#include <memory>

#include "MFCCTRLButton.h"
#include "afxwin.h"

class CMFCCTRLMessageBox : public CWnd {
    DECLARE_DYNAMIC(CMFCCTRLMessageBox)
    DECLARE_MESSAGE_MAP()
public:
    explicit CMFCCTRLMessageBox(CWnd* owner);
    explicit CMFCCTRLMessageBox(HWND owner);
    ~CMFCCTRLMessageBox() override;

    // Before Show: the brush is made at the first colour request.
    void SetColors(COLORREF text, COLORREF background);
    // MessageBoxW's result: the id of the button that closed the box, 0 when it failed. The
    // creation hook is gone afterwards whatever happened.
    int Show(LPCWSTR text, LPCWSTR caption, UINT type);

    // One per standard button: entry k takes over the control with id k + 1 (IDOK .. IDHELP).
    CMFCCTRLButton m_buttons[9];
    HWND m_hWndOwner = nullptr;
    std::unique_ptr<CBrush> m_pBkBrush;
    COLORREF m_crBk = RGB(236, 233, 216);
    COLORREF m_crText = RGB(0, 0, 0);

protected:
    int OnCreate(LPCREATESTRUCTW create);
    LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
};
