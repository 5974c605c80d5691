#include "DLGProgress.h"

#include <new>

#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "MFCCTRLMessageBox.h"
#include "ProgressFigures.h"
#include "TrakkoActions.h"
#include "WizProductProgress.h"
#include "kycplib/keyvalue.h"
#include "kycplib/sync.h"

const wchar_t kCancelEventName[] = L"{1A34280C-48B6-453d-B6F9-BAE5296D2AA7}";

namespace {

constexpr int IDC_BAR = 1004;
constexpr int IDC_ELAPSED = 1005;
constexpr int IDC_REMAINING = 1006;
constexpr int IDC_SPEED = 1007;
constexpr int IDC_DONE = 1008;
constexpr int IDC_LEFT = 1009;
constexpr int IDC_STATUS = 1010;

constexpr UINT IDS_HEADER = 105;
constexpr UINT IDS_CANCEL_QUESTION = 106;
constexpr UINT IDS_CANCELLING = 107;
constexpr UINT IDS_CLOSE_ONLY = 108;
constexpr UINT IDS_DOWNLOADING = 150;
constexpr UINT IDS_INSTALLING = 151;
constexpr UINT IDS_COMPLETED = 154;

// The status texts are kept in buffers of 800 characters.
constexpr int kStatusChars = 799;

CString LoadText(UINT id) {
    CString text;
    text.LoadString(id);
    if (text.GetLength() > kStatusChars) text = CString(text.GetString(), kStatusChars);
    return text;
}

}  // namespace

IMPLEMENT_DYNCREATE(CDLGProgress, CNGWizardPage)

BEGIN_MESSAGE_MAP(CDLGProgress, CNGWizardPage)
ON_WM_TIMER()
ON_MESSAGE(WM_PROGRESS_NOTIFY, OnProgressNotify)
END_MESSAGE_MAP()

CDLGProgress::CDLGProgress(bool hideBack)
    : CNGWizardPage(IDD), m_bHideBack(hideBack ? 1 : 0), m_strRemaining(L"00:00") {
    const GuiResources& resources = TheGuiResources();
    m_psp.dwFlags |= PSP_USETITLE;
    if (resources.showHeaderTitle) {
        m_psp.dwFlags |= PSP_USEHEADERTITLE;
        m_strHeaderTitle.LoadString(IDS_HEADER);
    }
    m_psp.pszTitle = resources.productName.c_str();
    m_psp.pszHeaderTitle = m_strHeaderTitle;
}

CWizProductProgress* CDLGProgress::GetProgressWizard() const {
    return DYNAMIC_DOWNCAST(CWizProductProgress, GetWizard());
}

void CDLGProgress::DoDataExchange(CDataExchange* dx) {
    CNGWizardPage::DoDataExchange(dx);
    DDX_Control(dx, IDC_STATUS, m_stcStatus);
    DDX_Control(dx, IDC_ELAPSED, m_stcElapsed);
    DDX_Control(dx, IDC_REMAINING, m_stcRemaining);
    DDX_Control(dx, IDC_SPEED, m_stcSpeed);
    DDX_Control(dx, IDC_DONE, m_stcDone);
    DDX_Control(dx, IDC_LEFT, m_stcLeft);
    DDX_Control(dx, IDC_BAR, m_progress);
}

BOOL CDLGProgress::OnInitDialog() {
    CDialog::OnInitDialog();
    SetStatus(L"");
    SetDlgItemText(IDC_ELAPSED, L"00:00");
    SetDlgItemText(IDC_REMAINING, L"00:00");
    SetDlgItemText(IDC_SPEED, L"0");
    SetDlgItemText(IDC_DONE, L"0");
    SetDlgItemText(IDC_LEFT, L"0");
    SendDlgItemMessageW(m_hWnd, IDC_BAR, PBM_SETPOS, 0, 0);
    SetTimer(kTimerId, 1000);
    UpdateData(TRUE);
    return TRUE;
}

BOOL CDLGProgress::OnSetActive() {
    if (CNGWizard* wizard = GetWizard()) {
        wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
        if (m_bHideBack) {
            if (HWND back = ::GetDlgItem(wizard->m_hWnd, ID_WIZBACK)) ::ShowWindow(back, SW_HIDE);
        }
    }
    if (CWizProductProgress* wizard = GetProgressWizard()) {
        if (wizard->m_pReadyEvent) wizard->m_pReadyEvent->Signal();
    }
    return CNGWizardPage::OnSetActive();
}

void CDLGProgress::OnTimer(UINT_PTR) {
    ++m_nElapsedSeconds;
    SetFigure(m_stcElapsed, progress::ClockText(m_nElapsedSeconds).c_str());
    SetFigure(m_stcRemaining, m_strRemaining);
}

LRESULT CDLGProgress::OnProgressNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam) InterlockedExchange(reinterpret_cast<volatile LONG*>(wParam), 1);
    auto* notification = reinterpret_cast<ProgressNotification*>(lParam);
    if (!notification) return 0;
    try {
        HandleNotification(*notification);
    } catch (...) {
        // Nothing may unwind into the sender's SendMessageW.
    }
    FreeProgressNotification(notification);
    UpdateData(TRUE);
    return 0;
}

void CDLGProgress::HandleNotification(const ProgressNotification& notification) {
    switch (notification.kind) {
        case NOTIFY_DOWNLOAD:
            OnDownload(notification);
            break;
        case NOTIFY_INSTALL_STEP:
            OnInstallStep();
            break;
        case NOTIFY_STATUS_TEXT:
            if (notification.statusText) SetStatus(notification.statusText);
            break;
        case NOTIFY_FINISHED:
            OnFinished(notification.success);
            break;
        case NOTIFY_ABORTED:
            OnAborted();
            break;
        default:
            break;
    }
}

void CDLGProgress::OnDownload(const ProgressNotification& notification) {
    // A tick count rather than the wall clock: setting the clock cannot turn the times round.
    const DWORD now = GetTickCount();
    if (m_bFirstDownload) {
        m_dwStartTick = now;
        m_nWindowStartMs = 0;
        m_nWindowStartBytes = 0;
        m_bFirstDownload = false;
    }
    if (!m_bDownloadFormatLoaded) {
        m_bDownloadFormatLoaded = true;
        CString format = LoadText(IDS_DOWNLOADING);
        const wchar_t* name = nullptr;
        CWizProductProgress* wizard = GetProgressWizard();
        if (wizard && wizard->m_pControlFile) {
            kycplib::CKeyValueList products;
            for (const kycplib::CKeyValueItem* item = wizard->m_pControlFile->getFirstProduct();
                 item; item = item->next) {
                products.Add(item->key, item->value);
            }
            name = products.Find(wizard->m_strProductKey);
            SetStatus(name ? AfxFillPercentS(format, name) : CString());
        } else {
            SetStatus(L"");
        }
    }

    progress::DownloadInput in;
    in.elapsedMs = static_cast<int64_t>(static_cast<DWORD>(now - m_dwStartTick));
    in.windowStartMs = m_nWindowStartMs;
    in.windowStartBytes = m_nWindowStartBytes;
    in.bytesDone = notification.bytesDone;
    in.bytesTotal = notification.bytesTotal;
    const progress::DownloadFigures figures = progress::ComputeDownloadFigures(in);

    SetFigure(m_stcDone, progress::CountText(figures.doneKb).c_str());
    SetFigure(m_stcLeft, progress::CountText(figures.leftKb).c_str());
    if (figures.speedMeasured) {
        m_strSpeed = progress::CountText(figures.speedKbPerSecond).c_str();
        SetFigure(m_stcSpeed, m_strSpeed);
    }
    if (figures.windowRestarts) {
        m_nWindowStartMs = in.elapsedMs;
        m_nWindowStartBytes = notification.bytesDone;
    }
    if (figures.remainingEstimated) {
        m_strRemaining = progress::ClockText(figures.remainingSeconds).c_str();
    } else if (notification.bytesDone >= notification.bytesTotal && notification.bytesTotal) {
        m_strRemaining = L"00:00";  // nothing is left to wait for
    }
    SetBar(figures.barRange, figures.barPosition);
}

void CDLGProgress::OnInstallStep() {
    if (!m_bInstallTextLoaded) {
        m_bInstallTextLoaded = true;
        SetStatus(LoadText(IDS_INSTALLING));
    }
    if (HWND bar = m_progress.m_hWnd) {
        ::SendMessageW(bar, PBM_SETRANGE32, 0, 2000);
        ::SendMessageW(bar, PBM_STEPIT, 0, 0);
    }
}

void CDLGProgress::OnFinished(bool success) {
    CNGWizard* wizard = GetWizard();
    if (wizard) wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
    KillTimer(kTimerId);
    m_bFinished = 1;
    if (success) {
        SetStatus(LoadText(IDS_COMPLETED));
        SetBar(1, 1);
        SetResult(PLUGIN_COMPLETED);
    } else {
        SetBar(1, 0);
        if (wizard) {
            if (HWND cancel = ::GetDlgItem(wizard->m_hWnd, IDCANCEL)) ::EnableWindow(cancel, FALSE);
        }
        SetResult(PLUGIN_FAILED);
    }
    if (m_bCancelRequested) {
        SetStatus(CloseOnlyText());
        SetResult(PLUGIN_CANCELLED);
    }
    // The sheet closes by itself after success; OnQueryCancel lets it, the work being finished.
    if (success) EndDialog(0);
}

void CDLGProgress::OnAborted() {
    CNGWizard* wizard = GetWizard();
    if (wizard) wizard->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
    KillTimer(kTimerId);
    m_bFinished = 1;
    SetStatus(CloseOnlyText());
    SetBar(1, 0);
    if (wizard) {
        if (HWND cancel = ::GetDlgItem(wizard->m_hWnd, IDCANCEL)) ::EnableWindow(cancel, FALSE);
    }
    SetResult(PLUGIN_FAILED);
}

BOOL CDLGProgress::OnQueryCancel() {
    if (m_bFinished) return TRUE;
    // Without a Cancel button, Esc and the close box do not cancel either.
    CNGWizard* wizard = GetWizard();
    if (wizard && !wizard->m_bShowCancel) return FALSE;

    const GuiResources& resources = TheGuiResources();
    CString question;
    question.LoadString(IDS_CANCEL_QUESTION);
    int answer = 0;
    {
        CMFCCTRLMessageBox box(m_hWnd);
        box.SetColors(resources.textColor, resources.boxBackgroundColor);
        answer = box.Show(AfxFillPercentS(question, resources.productName.c_str()),
                          resources.productName.c_str(), MB_YESNO | MB_ICONQUESTION);
    }
    if (answer != IDYES) return FALSE;

    LoaderTrakkoMessage message;
    message.Send(FETCHWELL_DLG_PROGRESS_CANCEL);

    if (m_bFinished) {
        // The work ended while the question was shown.
        SetStatus(CloseOnlyText());
        SetResult(PLUGIN_CANCELLED);
    } else {
        SetStatus(LoadText(IDS_CANCELLING));
    }
    // The cancel is recorded even when the event cannot be made: this runs inside the system's
    // window procedures, which nothing may unwind through.
    SignalCancelEvent();
    m_bCancelRequested = 1;
    return FALSE;
}

bool CDLGProgress::SignalCancelEvent() {
    try {
        kycplib::CKYEvent event(kCancelEventName, true, true);
        event.Signal();
        return true;
    } catch (...) {
        return false;
    }
}

BOOL CDLGProgress::OnWizardFinish() {
    SetResult(m_bCancelRequested ? PLUGIN_CANCELLED : PLUGIN_COMPLETED);
    return TRUE;
}

void CDLGProgress::SetBar(uint32_t range, uint32_t position) {
    // The 32-bit range: PBM_SETRANGE's 16-bit bound would wrap for a large download. Setting the
    // range or the position repaints the bar, so each is set only when it differs from what the
    // bar holds (asking costs no painting), the position only when that shows.
    HWND bar = m_progress.m_hWnd;
    if (!bar) return;
    const LRESULT high = ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
    const LRESULT low = ::SendMessageW(bar, PBM_GETRANGE, TRUE, 0);
    const bool rangeChanged = low != 0 || static_cast<uint32_t>(high) != range;
    if (rangeChanged) ::SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
    const uint32_t shown = static_cast<uint32_t>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
    if (shown == position) return;
    // Within one range the bar is repainted only when its filled part grows or shrinks by a
    // pixel: a large download moves the position on nearly every notification, while the drawn
    // bar moves once in many, and each repaint costs the host's thread its wait.
    if (!rangeChanged && range != 0) {
        RECT client = {};
        ::GetClientRect(bar, &client);
        const uint64_t width = client.right > client.left ? client.right - client.left : 0;
        if (width * shown / range == width * position / range) return;
    }
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CDLGProgress::SetFigure(CWnd& figure, LPCWSTR text) {
    // A notification often leaves a figure as it was; setting the same text again would only
    // repaint the control.
    wchar_t shown[64] = {};
    HWND control = figure.m_hWnd;
    if (!control) return;
    const int length = ::GetWindowTextW(control, shown, 64);
    if (length < 63 && lstrcmpW(shown, text) == 0) return;
    ::SetWindowTextW(control, text);
}

void CDLGProgress::SetStatus(LPCWSTR text) {
    if (m_stcStatus.m_hWnd) ::SetWindowTextW(m_stcStatus.m_hWnd, text ? text : L"");
}

CString CDLGProgress::CloseOnlyText() const {
    CString caption;
    CNGWizard* wizard = GetWizard();
    if (HWND finish = wizard ? ::GetDlgItem(wizard->m_hWnd, ID_WIZFINISH) : nullptr) {
        caption = CWnd::FromHandle(finish)->GetWindowText();
    }
    return AfxFillPercentS(LoadText(IDS_CLOSE_ONLY), caption);
}

void CDLGProgress::SetResult(int result) {
    if (CWizProductProgress* wizard = GetProgressWizard()) {
        InterlockedExchange(&wizard->m_nResult, result);
    }
}
