#include "afxdlgs.h"

#include "afxmodule.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

// ---- CPropertyPage ----

BEGIN_MESSAGE_MAP(CPropertyPage, CDialog)
END_MESSAGE_MAP()

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId, UINT headerTitleId,
                             UINT headerSubTitleId, DWORD size)
    : CDialog(templateId, nullptr), m_psp(), m_dwRequestedSize(size) {
    m_psp.dwFlags = PSP_USECALLBACK;
    m_psp.pszTemplate = MAKEINTRESOURCEW(templateId);
    m_psp.pfnDlgProc = AfxDlgProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    m_psp.pfnCallback = PageCallback;
    if (captionId && m_strCaption.LoadString(captionId)) {
        m_psp.pszTitle = m_strCaption;
        m_psp.dwFlags |= PSP_USETITLE;
    }
    if (headerTitleId && m_strHeaderTitle.LoadString(headerTitleId)) {
        m_psp.pszHeaderTitle = m_strHeaderTitle;
        m_psp.dwFlags |= PSP_USEHEADERTITLE;
    }
    if (headerSubTitleId && m_strHeaderSubTitle.LoadString(headerSubTitleId)) {
        m_psp.pszHeaderSubTitle = m_strHeaderSubTitle;
        m_psp.dwFlags |= PSP_USEHEADERSUBTITLE;
    }
}

CPropertyPage::~CPropertyPage() = default;

DWORD CPropertyPage::PageStructSize() const {
    // The header texts are only read from a structure that is large enough to hold them.
    DWORD needed = (m_psp.dwFlags & (PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE))
                       ? PROPSHEETPAGEW_V2_SIZE
                       : PROPSHEETPAGEW_V1_SIZE;
    return m_dwRequestedSize > needed ? m_dwRequestedSize : needed;
}

UINT CALLBACK CPropertyPage::PageCallback(HWND, UINT message, PROPSHEETPAGEW* page) {
    // Just before the system creates the page's dialog: the next dialog made on this thread is the
    // page's, and its object takes it over before its first message.
    if (message == PSPCB_CREATE) {
        AfxHookWindowCreateOfClass(reinterpret_cast<CPropertyPage*>(page->lParam), L"#32770");
    }
    return 1;
}

CPropertySheet* CPropertyPage::GetParentSheet() const {
    return DYNAMIC_DOWNCAST(CPropertySheet, CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
}

void CPropertyPage::EndDialog(int result) {
    if (CPropertySheet* sheet = GetParentSheet()) sheet->EndDialog(result);
}

BOOL CPropertyPage::OnSetActive() {
    if (m_bFirstSetActive) {
        m_bFirstSetActive = FALSE;
    } else {
        UpdateData(FALSE);
    }
    return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }
BOOL CPropertyPage::OnApply() { return TRUE; }
void CPropertyPage::OnReset() {}
BOOL CPropertyPage::OnQueryCancel() { return TRUE; }
LRESULT CPropertyPage::OnWizardNext() { return 0; }
LRESULT CPropertyPage::OnWizardBack() { return 0; }
BOOL CPropertyPage::OnWizardFinish() { return TRUE; }

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    // Only the sheet's own notifications; a control's go through the message map.
    if (!header || header->hwndFrom != ::GetParent(m_hWnd) || header->code > PSN_FIRST ||
        header->code < PSN_LAST) {
        return CDialog::OnNotify(wParam, lParam, result);
    }
    LRESULT answer = 0;
    switch (header->code) {
        case PSN_SETACTIVE:
            answer = OnSetActive() ? 0 : -1;
            break;
        case PSN_KILLACTIVE:
            answer = !OnKillActive();
            break;
        case PSN_APPLY:
            answer = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
            break;
        case PSN_RESET:
            OnReset();
            break;
        case PSN_QUERYCANCEL:
            answer = !OnQueryCancel();
            break;
        case PSN_WIZNEXT:
            answer = OnWizardNext();
            break;
        case PSN_WIZBACK:
            answer = OnWizardBack();
            break;
        case PSN_WIZFINISH:
            answer = !OnWizardFinish();
            break;
        default:
            return CDialog::OnNotify(wParam, lParam, result);
    }
    // The sheet reads the answer as the message's result; a dialog also keeps it where the
    // system's dialog procedure would have put it.
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, answer);
    *result = answer;
    return TRUE;
}

// ---- CPropertySheet ----

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet(LPCWSTR caption, CWnd* parent, UINT selectPage)
    : m_psh(), m_pParentWnd(parent), m_strCaption(caption ? caption : L"") {
    m_psh.dwSize = sizeof(m_psh);
    m_psh.dwFlags = PSH_PROPSHEETPAGE;
    m_psh.nStartPage = selectPage;
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* page) {
    if (page) m_pages.push_back(page);
}

void CPropertySheet::BuildPropPageArray() {
    // The system walks the array by each structure's own size: the structures lie one after the
    // other, each as long as its dwSize says, not in an array of the largest version.
    m_pageStructs.clear();
    for (CPropertyPage* page : m_pages) {
        PROPSHEETPAGEW psp = page->m_psp;
        psp.dwSize = page->PageStructSize();
        psp.hInstance = AfxGetResourceHandle();
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&psp);
        m_pageStructs.insert(m_pageStructs.end(), bytes, bytes + psp.dwSize);
    }
    m_psh.ppsp = reinterpret_cast<LPCPROPSHEETPAGEW>(m_pageStructs.data());
    m_psh.nPages = static_cast<UINT>(m_pages.size());
}

INT_PTR CPropertySheet::DoModal() {
    if (m_pages.empty() || m_hWnd) return -1;
    BuildPropPageArray();
    m_psh.dwFlags |= PSH_PROPSHEETPAGE;
    m_psh.dwFlags &= ~static_cast<DWORD>(PSH_MODELESS);
    m_psh.hwndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    m_psh.hInstance = AfxGetResourceHandle();
    m_psh.pszCaption = m_strCaption;
    if (m_psh.nStartPage >= m_psh.nPages) m_psh.nStartPage = 0;
    m_nModalResult = 0;
    m_bEndDialog = FALSE;

    INT_PTR shown;
    {
        CActivationScope activation;
        AfxHookWindowCreateOfClass(this, L"#32770");
        shown = PropertySheetW(&m_psh);
        AfxUnhookWindowCreate();
    }
    if (m_hWnd) UnsubclassWindow();  // a sheet whose window outlived the loop lets go of it
    if (shown < 0) return -1;
    if (m_bEndDialog) return m_nEndResult;
    if (shown == 0) return IDCANCEL;
    return (m_psh.dwFlags & (PSH_WIZARD | PSH_WIZARD97)) ? ID_WIZFINISH : IDOK;
}

void CPropertySheet::EndDialog(int result) {
    m_bEndDialog = TRUE;
    m_nEndResult = result;
    m_nModalResult = result;
    PostMessage(PSM_PRESSBUTTON, PSBTN_CANCEL);
}

LRESULT CPropertySheet::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CPropertySheet::OnInitDialog() { return static_cast<BOOL>(Default()); }

BOOL CPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT id = LOWORD(wParam);
    if (HIWORD(wParam) == 0 && (id == IDOK || id == IDCANCEL || id == ID_WIZFINISH)) {
        m_nModalResult = static_cast<int>(id);
    }
    return CWnd::OnCommand(wParam, lParam);
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    if (!m_hWnd) return nullptr;
    HWND page = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    return DYNAMIC_DOWNCAST(CPropertyPage, CWnd::FromHandlePermanent(page));
}

int CPropertySheet::GetActiveIndex() const {
    CPropertyPage* active = GetActivePage();
    for (size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == active) return static_cast<int>(i);
    }
    return -1;
}

CWnd* CPropertySheet::GetTabControl() const {
    return CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL)));
}
