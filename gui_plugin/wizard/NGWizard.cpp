#include "NGWizard.h"

#include "DrawUnmirrored.h"
#include "GuiResources.h"
#include "NGWizardPage.h"
#include "WizardHelpers.h"

namespace {

constexpr int kHeaderLineId = 12327;  // the etched line under the Wizard97 header

// A control's rectangle in the client coordinates of parent.
CRect ChildRect(HWND parent, HWND child) {
    CRect rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool IsHideHeaderPage(CPropertyPage* page) {
    return page && (page->m_psp.dwFlags & PSP_HIDEHEADER) != 0;
}

// The picture stretched into (x, y, width, height) of dc, the right way round. A right-to-left
// sheet's DC is mirrored, and GDI draws reflected into it (StretchDIBits, the picture's path where
// GDI+ is missing or fails; whether GDI+ reflects is its own affair): there the picture is drawn
// into an ordinary memory DC first, by whichever path, and copied without reflection, so that the
// area takes its mirrored place, as the flags of the language list do, and a logo or a text in
// the picture stays upright.
void DrawPictureUpright(CDC* dc, CDIBitmap* picture, int x, int y, int width, int height) {
    if (!(GetLayout(dc->m_hDC) & LAYOUT_RTL)) {
        picture->Draw(dc, x, y, width, height);
        return;
    }
    if (width <= 0 || height <= 0) return;
    CDC memory;
    CBitmap canvas;
    if (!memory.CreateCompatibleDC(dc) || !canvas.CreateCompatibleBitmap(dc, width, height)) return;
    SetLayout(memory.m_hDC, 0);
    HGDIOBJ previous = memory.SelectObject(&canvas);
    picture->Draw(&memory, 0, 0, width, height);
    memory.SelectObject(previous);
    DrawUnmirrored(dc->m_hDC, CRect(x, y, x + width, y + height), canvas);
}

}  // namespace

using wizard_helpers::IsTrackbar;
using wizard_helpers::RealizeInto;

IMPLEMENT_DYNAMIC(CNGWizard, CPropertySheet)

BEGIN_MESSAGE_MAP(CNGWizard, CPropertySheet)
ON_WM_ERASEBKGND()
ON_WM_CTLCOLOR()
ON_WM_QUERYNEWPALETTE()
ON_WM_PALETTECHANGED()
ON_COMMAND_EX(ID_WIZBACK, OnWizBack)
ON_COMMAND_EX(ID_WIZNEXT, OnWizNext)
ON_WM_PAINT()
END_MESSAGE_MAP()

CNGWizard::CNGWizard() : CPropertySheet(L"", nullptr, 0) {
    m_psh.dwFlags |= PSH_WIZARD;
    m_pBackgroundBrush = new CBrush(TheGuiResources().backgroundColor);
}

CNGWizard::~CNGWizard() {
    delete m_pBackgroundBrush;
    m_brushNull.Detach();  // a stock object, nobody's to delete
}

BOOL CNGWizard::SetHeaderBitmap(CDIBitmap* bitmap) {
    m_pHeaderBitmap = bitmap;
    m_nHeaderMode = 1;
    m_psh.hbmHeader = nullptr;
    m_psh.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_USEHBMHEADER;
    if (!m_brushNull.m_hObject) m_brushNull.Attach(GetStockObject(NULL_BRUSH));
    return TRUE;
}

void CNGWizard::SetWatermarkBitmap(CDIBitmap* bitmap) {
    m_psh.hbmWatermark = nullptr;
    m_psh.dwFlags |= PSH_WIZARD97 | PSH_WATERMARK | PSH_USEHBMWATERMARK;
    m_pWatermarkBitmap = bitmap;
    m_nWatermarkMode = 1;
}

void CNGWizard::AddPage(CPropertyPage* page) {
    if (page && (page->m_psp.dwFlags & PSP_HIDEHEADER)) {
        if (auto* ngPage = DYNAMIC_DOWNCAST(CNGWizardPage, page)) {
            ngPage->m_pWatermarkBitmap = m_pWatermarkBitmap;
            ngPage->m_nWatermarkMode = m_nWatermarkMode;
            if (!ngPage->m_brushNull.m_hObject) {
                ngPage->m_brushNull.Attach(GetStockObject(NULL_BRUSH));
            }
        }
    }
    CPropertySheet::AddPage(page);
}

BOOL CNGWizard::OnInitDialog() {
    BOOL result = CPropertySheet::OnInitDialog();
    // The sheet's class is the dialog class of the whole process: its style stays as it is, and a
    // resize repaints through an invalidation instead (FitActivePage).
    TakeForeground();
    MoveButtons();
    return result;
}

void CNGWizard::TakeForeground() {
    // Any input event lets the process bring its window to the front. A press and release of a key
    // that no keyboard has and that types nothing: no key is left down, no control gets a
    // character.
    constexpr WORD kUnassignedKey = 0x88;
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kUnassignedKey;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
    SetForegroundWindow(m_hWnd);
}

void CNGWizard::MoveButtons() {
    HWND cancel = ::GetDlgItem(m_hWnd, IDCANCEL);
    HWND next = ::GetDlgItem(m_hWnd, ID_WIZNEXT);
    if (!cancel || !next) return;
    CRect cancelRect = ChildRect(m_hWnd, cancel);
    int dx = ChildRect(m_hWnd, next).left - cancelRect.left;
    // Cancel takes Next's place; Back, Next and Finish move along by the same distance.
    for (int id : {IDCANCEL, static_cast<int>(ID_WIZBACK), static_cast<int>(ID_WIZNEXT),
                   static_cast<int>(ID_WIZFINISH)}) {
        HWND button = ::GetDlgItem(m_hWnd, id);
        if (!button) {
            if (id == static_cast<int>(ID_WIZFINISH)) continue;
            return;
        }
        CRect rect = ChildRect(m_hWnd, button);
        ::MoveWindow(button, rect.left + dx, rect.top, rect.Width(), rect.Height(), TRUE);
    }
}

void CNGWizard::SetProductIcons() {
    const GuiResources& resources = TheGuiResources();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(resources.largeIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(resources.smallIcon));
}

SIZE FittedPageSize(SIZE page) {
    if (page.cy <= 497) return page;
    return SIZE{page.cx - 83, page.cy + 19};
}

BOOL CNGWizard::FitActivePage() {
    CPropertyPage* page = GetActivePage();
    if (!page) return FALSE;
    CRect client;
    page->GetClientRect(&client);
    SIZE fitted = FittedPageSize(SIZE{client.Width(), client.Height()});
    int dx = fitted.cx - client.Width();
    int dy = fitted.cy - client.Height();
    if (dx == 0 && dy == 0) return FALSE;
    constexpr UINT kFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    ::SetWindowPos(page->m_hWnd, nullptr, 0, 0, fitted.cx, fitted.cy, kFlags);
    for (HWND window : {reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL)), m_hWnd}) {
        if (!window) continue;
        CRect rect;
        ::GetWindowRect(window, &rect);
        ::SetWindowPos(window, nullptr, 0, 0, rect.Width() + dx, rect.Height() + dy, kFlags);
    }
    Invalidate(TRUE);
    return TRUE;
}

CRect CNGWizard::HeaderBand() const {
    CRect band(0, 0, 0, 0);
    if (!m_pHeaderBitmap || m_pHeaderBitmap->IsEmpty()) return band;
    CPropertyPage* page = GetActivePage();
    HWND line = ::GetDlgItem(m_hWnd, kHeaderLineId);
    if (!page || IsHideHeaderPage(page) || !line) return band;
    CRect client;
    GetClientRect(&client);
    band = client;
    band.bottom = ChildRect(m_hWnd, line).top - 1;
    return band;
}

void CNGWizard::DrawHeader(CDC* dc, const CRect& band) {
    if (m_nHeaderMode == 1) {
        DrawPictureUpright(dc, m_pHeaderBitmap, 0, 0, band.Width(), band.Height());
        return;
    }
    const BITMAPINFOHEADER& info = m_pHeaderBitmap->m_pInfo->bmiHeader;
    int height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    if (info.biWidth <= 0 || height <= 0 || band.Height() <= 0) return;
    for (int y = 0; y < band.Height(); y += height) {
        for (int x = 0; x < band.Width(); x += info.biWidth) {
            DrawPictureUpright(dc, m_pHeaderBitmap, x, y, info.biWidth, height);
        }
    }
}

void CNGWizard::DrawHeaderTexts(CDC* dc, const CRect& band) {
    CPropertyPage* page = GetActivePage();
    if (!page) return;
    const PROPSHEETPAGEW& psp = page->m_psp;
    NONCLIENTMETRICSW metrics = {};
    LOGFONTW font = {};
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0)) {
        metrics.cbSize = sizeof(metrics);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        font = metrics.lfMessageFont;
    }
    CFont normal;
    normal.CreateFontIndirect(&font);
    font.lfWeight = FW_BOLD;
    CFont bold;
    bold.CreateFontIndirect(&font);

    int mode = dc->SetBkMode(TRANSPARENT);
    COLORREF color = dc->SetTextColor(RGB(0, 0, 0));
    HGDIOBJ previous = dc->SelectObject(&bold);
    if ((psp.dwFlags & PSP_USEHEADERTITLE) && psp.pszHeaderTitle &&
        !IS_INTRESOURCE(psp.pszHeaderTitle)) {
        CRect rect(20, 10, band.right, band.bottom);
        ::DrawTextW(*dc, psp.pszHeaderTitle, -1, &rect, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
    }
    if ((psp.dwFlags & PSP_USEHEADERSUBTITLE) && psp.pszHeaderSubTitle &&
        !IS_INTRESOURCE(psp.pszHeaderSubTitle)) {
        dc->SelectObject(&normal);
        CRect rect(40, 25, band.right - 69, band.bottom);
        ::DrawTextW(*dc, psp.pszHeaderSubTitle, -1, &rect, DT_LEFT | DT_WORDBREAK);
    }
    dc->SelectObject(previous);
    dc->SetTextColor(color);
    dc->SetBkMode(mode);
}

BOOL CNGWizard::OnEraseBkgnd(CDC* dc) {
    BOOL result = static_cast<BOOL>(Default());
    CRect band = HeaderBand();
    if (band.bottom <= 0) return result;
    DrawHeader(dc, band);
    return TRUE;
}

void CNGWizard::OnPaint() {
    // The property sheet paints its own header band when it paints (under Wine it fills it with
    // the window colour), over whatever the erase painted: the picture and the header texts are
    // painted again on top, so that the band looks the same wherever the sheet runs.
    Default();
    CRect band = HeaderBand();
    if (band.bottom <= 0) return;
    CClientDC dc(this);
    HRGN clip = CreateRectRgnIndirect(&band);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    DrawHeader(&dc, band);
    DrawHeaderTexts(&dc, band);
    SelectClipRgn(dc, nullptr);
}

HBRUSH CNGWizard::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
    CRect band = HeaderBand();
    if (band.bottom > 0 && wnd) {
        HWND line = ::GetDlgItem(m_hWnd, kHeaderLineId);
        if (ChildRect(m_hWnd, wnd->m_hWnd).top < ChildRect(m_hWnd, line).bottom) {
            if (ctlColor == CTLCOLOR_STATIC && IsTrackbar(wnd)) {
                return CPropertySheet::OnCtlColor(dc, wnd, ctlColor);
            }
            if (ctlColor == CTLCOLOR_BTN || ctlColor == CTLCOLOR_STATIC) {
                dc->SetBkMode(TRANSPARENT);
                return m_brushNull;
            }
        }
    }
    return m_pBackgroundBrush ? static_cast<HBRUSH>(*m_pBackgroundBrush) : nullptr;
}

BOOL CNGWizard::OnQueryNewPalette() {
    if (!m_pHeaderBitmap || !m_pHeaderBitmap->m_pInfo || !m_pHeaderBitmap->m_pPalette || !m_hWnd) {
        return static_cast<BOOL>(Default());
    }
    return RealizeInto(this, m_pHeaderBitmap->m_pPalette, FALSE);
}

void CNGWizard::OnPaletteChanged(CWnd* focusWnd) {
    if (!m_pHeaderBitmap || !m_pHeaderBitmap->m_pInfo) {
        Default();
        return;
    }
    if (!m_pHeaderBitmap->m_pPalette || !m_hWnd || !focusWnd) return;
    if (focusWnd->m_hWnd == m_hWnd || ::IsChild(m_hWnd, focusWnd->m_hWnd)) return;
    RealizeInto(this, m_pHeaderBitmap->m_pPalette, TRUE);
}

BOOL CNGWizard::OnWizBack(UINT id) {
    m_nModalResult = static_cast<int>(id);
    Default();
    return TRUE;
}

BOOL CNGWizard::OnWizNext(UINT id) {
    m_nModalResult = static_cast<int>(id);
    ReportNextPress(GetActivePage());
    Default();
    return TRUE;
}
