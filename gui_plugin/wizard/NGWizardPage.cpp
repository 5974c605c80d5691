#include "NGWizardPage.h"

#include "DLGSelectGUILanguage.h"
#include "DLGWelcome.h"
#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "NGWizard.h"
#include "TrakkoActions.h"
#include "WizardHelpers.h"

namespace {

using SetWindowSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
using RemoveWindowSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);
using DefSubclassProcFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

// The subclass functions of the common controls in the module's activation context (version 6,
// which exports them by name). Taken at run time so that the plug-in loads whatever comctl32 the
// host process itself has.
struct SubclassFunctions {
    SetWindowSubclassFn set = nullptr;
    RemoveWindowSubclassFn remove = nullptr;
    DefSubclassProcFn def = nullptr;
};

const SubclassFunctions& Subclassing() {
    static const SubclassFunctions functions = [] {
        CActivationScope activation;
        SubclassFunctions f;
        if (HMODULE comctl = GetModuleHandleW(L"comctl32.dll")) {
            f.set = reinterpret_cast<SetWindowSubclassFn>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "SetWindowSubclass")));
            f.remove = reinterpret_cast<RemoveWindowSubclassFn>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "RemoveWindowSubclass")));
            f.def = reinterpret_cast<DefSubclassProcFn>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "DefSubclassProc")));
        }
        if (!f.set || !f.remove || !f.def) f = SubclassFunctions();
        return f;
    }();
    return functions;
}

constexpr UINT_PTR kPaintingFirstId = 0x4B59;

}  // namespace

using wizard_helpers::IsTrackbar;
using wizard_helpers::RealizeInto;

void ReportNextPress(CPropertyPage* page) {
    const wchar_t* action = nullptr;
    if (auto* languagePage = DYNAMIC_DOWNCAST(CDLGSelectGUILanguage, page)) {
        CString code = languagePage->m_strLanguage;
        SetStatsLanguage(code);
        action = FETCHWELL_DLG_SELECT_LANG_NEXT;
    } else if (DYNAMIC_DOWNCAST(CDLGWelcome, page)) {
        action = FETCHWELL_DLG_WELCOME_NEXT;
    }
    if (!action) return;
    LoaderTrakkoMessage message;
    message.Send(action);
}

IMPLEMENT_DYNAMIC(CNGWizardPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CNGWizardPage, CPropertyPage)
ON_WM_ERASEBKGND()
ON_WM_CTLCOLOR()
ON_WM_QUERYNEWPALETTE()
ON_WM_PALETTECHANGED()
END_MESSAGE_MAP()

CNGWizardPage::CNGWizardPage(UINT templateId)
    : CPropertyPage(templateId, 0, 0, 0, PROPSHEETPAGEW_V2_SIZE),
      m_crBackground(TheGuiResources().backgroundColor) {
    m_pBackgroundBrush = new CBrush(m_crBackground);
}

CNGWizardPage::~CNGWizardPage() {
    delete m_pBackgroundBrush;
    m_brushNull.Detach();  // a stock object
}

CNGWizard* CNGWizardPage::GetWizard() const {
    return DYNAMIC_DOWNCAST(CNGWizard, CWnd::FromHandlePermanent(::GetParent(m_hWnd)));
}

BOOL CNGWizardPage::OnInitDialog() {
    CDialog::OnInitDialog();
    return TRUE;
}

BOOL CNGWizardPage::OnSetActive() {
    // The property sheet has created the page (and layered whatever it layers over it) by now.
    TakePaintingFirst();
    CNGWizard* wizard = GetWizard();
    if (wizard && !wizard->m_bShowCancel) {
        if (HWND cancel = ::GetDlgItem(wizard->m_hWnd, IDCANCEL)) ::ShowWindow(cancel, SW_HIDE);
    }
    return CPropertyPage::OnSetActive();
}

BOOL CNGWizardPage::OnWizardFinish() {
    ReportNextPress(this);
    if (!UpdateData(TRUE)) return FALSE;
    return CPropertyPage::OnWizardFinish();
}

void CNGWizardPage::TakePaintingFirst() {
    // Wine's property sheet puts a subclass of its own over exterior pages that answers their
    // erase (painting nothing) and static colour (white) requests before the page sees them, so
    // the watermark would never show. A subclass of ours on top hands exactly those messages to
    // the page first. Where nothing is layered over the page, it changes nothing.
    if (m_bPaintingFirst || !m_pWatermarkBitmap) return;
    const SubclassFunctions& f = Subclassing();
    if (f.set && f.set(m_hWnd, PaintingFirstProc, kPaintingFirstId, 0)) m_bPaintingFirst = TRUE;
}

LRESULT CALLBACK CNGWizardPage::PaintingFirstProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const SubclassFunctions& f = Subclassing();
    if (message == WM_ERASEBKGND ||
        (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)) {
        if (DYNAMIC_DOWNCAST(CNGWizardPage, CWnd::FromHandlePermanent(window))) {
            return AfxWndProc(window, message, wParam, lParam);
        }
    }
    if (message == WM_NCDESTROY) {
        f.remove(window, PaintingFirstProc, kPaintingFirstId);
        if (auto* page = DYNAMIC_DOWNCAST(CNGWizardPage, CWnd::FromHandlePermanent(window))) {
            page->m_bPaintingFirst = FALSE;
        }
    }
    return f.def(window, message, wParam, lParam);
}

BOOL CNGWizardPage::OnEraseBkgnd(CDC* dc) {
    if (!m_pWatermarkBitmap || m_pWatermarkBitmap->IsEmpty()) {
        return static_cast<BOOL>(Default());
    }
    CRect client;
    GetClientRect(&client);
    const int w = client.Width(), h = client.Height();
    const BITMAPINFOHEADER& info = m_pWatermarkBitmap->m_pInfo->bmiHeader;
    const int bw = info.biWidth, bh = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    // The watermark is a picture: in a mirrored page (a right-to-left language) it keeps its
    // orientation and its side, and the page's texts take their mirrored places beside it. Only
    // the layout of this DC changes, for the drawing, and it is given back.
    const DWORD layout = ::GetLayout(dc->m_hDC);
    const bool mirrored = layout != GDI_ERROR && (layout & LAYOUT_RTL) != 0;
    if (mirrored) ::SetLayout(dc->m_hDC, 0);
    if (m_nWatermarkMode == 1) {
        m_pWatermarkBitmap->Draw(dc, 0, 0, w, h);
    } else if (m_nWatermarkMode == 2) {
        Default();
        m_pWatermarkBitmap->Draw(dc, (w - bw) / 2, (h - bh) / 2);
    } else if (h > 0 && bw > 0 && bh > 0) {
        for (int y = 0; y < h; y += bh) {
            for (int x = 0; x < w; x += bw) m_pWatermarkBitmap->Draw(dc, x, y);
        }
    }
    if (mirrored) ::SetLayout(dc->m_hDC, layout);
    return TRUE;
}

HBRUSH CNGWizardPage::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
    if (!m_pWatermarkBitmap || !m_pWatermarkBitmap->m_pInfo) {
        if (ctlColor == CTLCOLOR_BTN || ctlColor == CTLCOLOR_STATIC) {
            dc->SetBkColor(m_crBackground);
            return m_pBackgroundBrush ? static_cast<HBRUSH>(*m_pBackgroundBrush) : nullptr;
        }
        if (ctlColor == CTLCOLOR_DLG) {
            return m_pBackgroundBrush ? static_cast<HBRUSH>(*m_pBackgroundBrush) : nullptr;
        }
        return CPropertyPage::OnCtlColor(dc, wnd, ctlColor);
    }
    if (!m_pWatermarkBitmap->m_pBits) return CPropertyPage::OnCtlColor(dc, wnd, ctlColor);
    if (ctlColor == CTLCOLOR_STATIC && IsTrackbar(wnd)) {
        return CPropertyPage::OnCtlColor(dc, wnd, CTLCOLOR_STATIC);
    }
    if (ctlColor == CTLCOLOR_BTN || ctlColor == CTLCOLOR_STATIC) {
        dc->SetBkMode(TRANSPARENT);
        return m_brushNull;
    }
    return CPropertyPage::OnCtlColor(dc, wnd, ctlColor);
}

BOOL CNGWizardPage::OnQueryNewPalette() {
    if (!m_pWatermarkBitmap || !m_pWatermarkBitmap->m_pInfo || !m_pWatermarkBitmap->m_pPalette ||
        !m_hWnd) {
        return static_cast<BOOL>(Default());
    }
    return RealizeInto(this, m_pWatermarkBitmap->m_pPalette, FALSE);
}

void CNGWizardPage::OnPaletteChanged(CWnd* focusWnd) {
    if (!m_pWatermarkBitmap || !m_pWatermarkBitmap->m_pInfo) {
        Default();
        return;
    }
    if (!m_pWatermarkBitmap->m_pPalette || !m_hWnd || !focusWnd) return;
    if (focusWnd->m_hWnd == m_hWnd || ::IsChild(m_hWnd, focusWnd->m_hWnd)) return;
    RealizeInto(this, m_pWatermarkBitmap->m_pPalette, TRUE);
}
