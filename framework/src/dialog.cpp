#include <string>

#include "afxwin.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CDialog::DoModal() {
    CActivationScope activation;
    AfxHookWindowCreateOfClass(this, L"#32770");
    INT_PTR result = DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDHelp),
                                     m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, AfxDlgProc, 0);
    AfxUnhookWindowCreate();
    return result;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    Default();
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareCtrl(id);
    if (!control) return;
    if (dx->m_bSaveAndValidate) {
        CWnd* wnd = CWnd::FromHandle(control);
        value = wnd->GetWindowText();
    } else {
        ::SetWindowTextW(control, value);
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (!control) return;
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    } else {
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

void DDX_LBString(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareCtrl(id);
    if (!control) return;
    if (dx->m_bSaveAndValidate) {
        LRESULT index = SendMessageW(control, LB_GETCURSEL, 0, 0);
        LRESULT length = index == LB_ERR ? LB_ERR : SendMessageW(control, LB_GETTEXTLEN, index, 0);
        if (length == LB_ERR) {
            value.Empty();
            return;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LRESULT got = SendMessageW(control, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
        value = got == LB_ERR ? CString() : CString(text.c_str(), static_cast<int>(got));
    } else if (!value.IsEmpty()) {
        SendMessageW(control, LB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(static_cast<LPCWSTR>(value)));
    }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd) return;
    if (HWND window = dx->PrepareCtrl(id)) control.SubclassWindow(window);
}
