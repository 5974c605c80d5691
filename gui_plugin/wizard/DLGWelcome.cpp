#include "DLGWelcome.h"

#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "NGWizard.h"
#include "TrakkoActions.h"
#include "WizardHelpers.h"

using wizard_helpers::CaptionAsText;
using wizard_helpers::NextCaption;

IMPLEMENT_DYNCREATE(CDLGWelcome, CNGWizardPage)

BEGIN_MESSAGE_MAP(CDLGWelcome, CNGWizardPage)
END_MESSAGE_MAP()

CDLGWelcome::CDLGWelcome() : CNGWizardPage(IDD) {
    m_psp.dwFlags |= PSP_USETITLE | PSP_HIDEHEADER;
    m_psp.pszTitle = TheGuiResources().productName.c_str();
}

void CDLGWelcome::DoDataExchange(CDataExchange* dx) {
    CNGWizardPage::DoDataExchange(dx);
    DDX_Control(dx, IDC_TITLE, m_stcTitle);
    DDX_Control(dx, -1, m_stcText);
}

BOOL CDLGWelcome::OnInitDialog() {
    CDialog::OnInitDialog();
    if (HWND title = ::GetDlgItem(m_hWnd, IDC_TITLE)) {
        ::SendMessageW(title, WM_SETFONT, 0, TRUE);  // the title in the system font
    }
    const wchar_t* product = TheGuiResources().productName.c_str();
    // The body names the Next button as the user reads it on the button.
    CString next = CaptionAsText(NextCaption(GetWizard()));
    CString titleFormat, bodyFormat;
    titleFormat.LoadString(113);
    bodyFormat.LoadString(114);
    if (m_stcText.m_hWnd) {
        m_stcText.SetWindowText(AfxFillPercentS(bodyFormat, {product, next.GetString()}));
    }
    if (m_stcTitle.m_hWnd) m_stcTitle.SetWindowText(AfxFillPercentS(titleFormat, product));
    UpdateData(TRUE);
    return TRUE;
}

BOOL CDLGWelcome::OnSetActive() {
    if (CNGWizard* wizard = GetWizard()) {
        wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
        if (!m_bLastPage) {
            if (HWND back = ::GetDlgItem(wizard->m_hWnd, ID_WIZBACK)) ::ShowWindow(back, SW_HIDE);
        } else {
            CString next = NextCaption(wizard);
            wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
            if (HWND finish = ::GetDlgItem(wizard->m_hWnd, ID_WIZFINISH)) {
                ::SetWindowTextW(finish, next);
                ::EnableWindow(finish, TRUE);
                ::ShowWindow(finish, SW_SHOW);
            }
        }
    }
    return CNGWizardPage::OnSetActive();
}

BOOL CDLGWelcome::OnQueryCancel() {
    LoaderTrakkoMessage message;
    message.Send(FETCHWELL_DLG_WELCOME_CANCEL);
    Sleep(1000);  // gives the report time to leave before the process may end
    return TRUE;
}
