#include "MFCCTRLMessageBox.h"

#include "Colors.h"

IMPLEMENT_DYNAMIC(CMFCCTRLMessageBox, CWnd)

BEGIN_MESSAGE_MAP(CMFCCTRLMessageBox, CWnd)
ON_WM_CREATE()
ON_MESSAGE(WM_INITDIALOG, OnInitDialog)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CMFCCTRLMessageBox::CMFCCTRLMessageBox(CWnd* owner)
    : m_hWndOwner(owner ? owner->m_hWnd : nullptr) {}

CMFCCTRLMessageBox::CMFCCTRLMessageBox(HWND owner) : m_hWndOwner(owner) {}

CMFCCTRLMessageBox::~CMFCCTRLMessageBox() = default;

void CMFCCTRLMessageBox::SetColors(COLORREF text, COLORREF background) {
    m_crText = text;
    m_crBk = background;
}

int CMFCCTRLMessageBox::Show(LPCWSTR text, LPCWSTR caption, UINT type) {
    // Only a dialog window is taken: a thread may get an input-method window first.
    AfxHookWindowCreateOfClass(this, L"#32770");
    if (!m_hWndOwner) {
        if (HWND active = GetActiveWindow()) m_hWndOwner = GetLastActivePopup(active);
    }
    int result;
    {
        CActivationScope activation;
        result = MessageBoxW(m_hWndOwner, text, caption, type);
    }
    // A box that failed before its window existed leaves the hook armed: the thread's next
    // window would be taken by an object that is about to go.
    AfxUnhookWindowCreate();
    // Windows reports a failure as 0; Wine passes on the dialog's -1. Callers see 0 either way.
    return result > 0 ? result : 0;
}

int CMFCCTRLMessageBox::OnCreate(LPCREATESTRUCTW create) {
    AfxUnhookWindowCreate();
    return CWnd::OnCreate(create);
}

LRESULT CMFCCTRLMessageBox::OnInitDialog(WPARAM, LPARAM) {
    // The box makes its default button during its own WM_INITDIALOG: subclassed afterwards, a
    // button finds its default style already in place.
    LRESULT result = Default();
    for (int id = IDOK; id <= IDHELP; ++id) {
        if (HWND control = ::GetDlgItem(m_hWnd, id)) m_buttons[id - 1].SubclassWindow(control);
    }
    return result;
}

HBRUSH CMFCCTRLMessageBox::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
    HBRUSH base = CWnd::OnCtlColor(dc, wnd, ctlColor);
    // A high-contrast theme keeps the system's colours that the default answer carries.
    if (IsHighContrast()) return base;
    if (!m_pBkBrush) m_pBkBrush.reset(new CBrush(m_crBk));
    switch (ctlColor) {
        case CTLCOLOR_BTN:
        case CTLCOLOR_STATIC:
            dc->SetBkMode(TRANSPARENT);
            dc->SetTextColor(m_crText);
            return *m_pBkBrush;
        case CTLCOLOR_DLG:
            return *m_pBkBrush;
        default:
            return base;
    }
}
