#include "MFCCTRLButton.h"

#include <string>

#include "Colors.h"
#include "verified_library.h"

namespace {

constexpr UINT kTypeMask = 0x0F;

// The pens every button shares, made once for the process (a function's static: its first use
// is safe from two threads, the message box's and the progress page's) and deleted at unload.
struct ButtonPenSet {
    CPen outline{PS_INSIDEFRAME, 1, RGB(0, 60, 116)};
    CPen hoverLeft{PS_INSIDEFRAME, 2, RGB(250, 196, 88)};
    CPen hoverTop{PS_INSIDEFRAME, 2, RGB(252, 210, 121)};
    CPen hoverRight{PS_INSIDEFRAME, 2, RGB(251, 202, 106)};
    CPen hoverBottom{PS_INSIDEFRAME, 2, RGB(229, 151, 0)};
    CPen focusLeft{PS_INSIDEFRAME, 2, RGB(153, 198, 252)};
    CPen focusTop{PS_INSIDEFRAME, 2, RGB(162, 201, 255)};
    CPen focusRight{PS_INSIDEFRAME, 2, RGB(162, 189, 252)};
    CPen focusBottom{PS_INSIDEFRAME, 2, RGB(162, 201, 255)};
};

const ButtonPenSet& Pens() {
    static const ButtonPenSet pens;
    return pens;
}

// Pens in the system's colours for a high-contrast theme, made per paint: the theme can change
// while the button lives.
struct SystemPens {
    CPen outline{PS_INSIDEFRAME, 1, GetSysColor(COLOR_BTNTEXT)};
    CPen frame{PS_INSIDEFRAME, 2, GetSysColor(COLOR_HIGHLIGHT)};
};

}  // namespace

// What one paint draws with: the shared pens and the product's colours, or the system's.
struct CMFCCTRLButton::Palette {
    HPEN outline, hoverLeft, hoverTop, hoverRight, hoverBottom;
    HPEN focusLeft, focusTop, focusRight, focusBottom;
    COLORREF face, text, hoverTopPixel, hoverBottomPixel, focusPixel;
    bool fixedCorners;  // the hand-set corner pixels belong to the product's look only
};

IMPLEMENT_DYNCREATE(CMFCCTRLButton, CButton)

BEGIN_MESSAGE_MAP(CMFCCTRLButton, CButton)
ON_WM_MOUSEMOVE()
ON_WM_MOUSELEAVE()
ON_WM_MOUSEHOVER()
ON_WM_GETDLGCODE()
ON_MESSAGE(BM_SETSTYLE, OnSetStyle)
END_MESSAGE_MAP()

CMFCCTRLButton::CMFCCTRLButton() { Pens(); }

CMFCCTRLButton::~CMFCCTRLButton() {
    if (m_hShieldIcon) DestroyIcon(m_hShieldIcon);
}

void CMFCCTRLButton::PreSubclassWindow() {
    m_nButtonType = GetStyle() & kTypeMask;
    if (m_nButtonType == BS_DEFPUSHBUTTON) {
        m_bDefault = TRUE;
        m_nButtonType = BS_PUSHBUTTON;
        m_bPushButton = TRUE;
    } else if (m_nButtonType == BS_PUSHBUTTON) {
        m_bPushButton = TRUE;
    }
    ModifyStyle(kTypeMask, BS_OWNERDRAW, SWP_FRAMECHANGED);
}

LRESULT CMFCCTRLButton::OnSetStyle(WPARAM wParam, LPARAM lParam) {
    // The dialog manager moves the default button with BM_SETSTYLE: remember which one it is,
    // and keep the control owner-drawn whatever type it asks for.
    UINT type = static_cast<UINT>(wParam) & kTypeMask;
    if (type == BS_DEFPUSHBUTTON) m_bDefault = TRUE;
    if (type == BS_PUSHBUTTON) m_bDefault = FALSE;
    WPARAM style = (wParam & ~static_cast<WPARAM>(kTypeMask)) | BS_OWNERDRAW;
    return CButton::DefWindowProc(BM_SETSTYLE, style, lParam);
}

UINT CMFCCTRLButton::OnGetDlgCode() {
    UINT code = static_cast<UINT>(Default());
    if (m_nButtonType == BS_RADIOBUTTON || m_nButtonType == BS_AUTORADIOBUTTON) {
        code |= DLGC_RADIOBUTTON;
    } else if (m_nButtonType == BS_GROUPBOX) {
        code = DLGC_STATIC;
    }
    if (m_bPushButton || m_bDefault) {
        // An owner-drawn button reports neither: without this the dialog manager would not
        // move the default frame to it, nor press it on Enter.
        code &= ~static_cast<UINT>(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
        code |= m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON;
    }
    return code;
}

LRESULT CMFCCTRLButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BCM_SETSHIELD) {
        m_bShield = static_cast<BOOL>(lParam);
        Invalidate(TRUE);
    }
    return CButton::DefWindowProc(message, wParam, lParam);
}

void CMFCCTRLButton::OnMouseMove(UINT, CPoint) {
    if (!m_bTracking) {
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_HOVER | TME_LEAVE;
        track.hwndTrack = m_hWnd;
        track.dwHoverTime = 1;
        m_bTracking = TrackMouseEvent(&track);
    }
    Default();
}

void CMFCCTRLButton::OnMouseHover(UINT, CPoint) {
    m_bHot = TRUE;
    Invalidate(TRUE);
}

void CMFCCTRLButton::OnMouseLeave() {
    m_bTracking = FALSE;
    m_bHot = FALSE;
    Invalidate(FALSE);
}

void CMFCCTRLButton::DrawOutline(CDC& dc, const RECT& r, const Palette& palette) {
    const int l = r.left, t = r.top, rt = r.right, b = r.bottom;
    dc.MoveTo(l + 3, t);
    dc.LineTo(rt - 3, t);
    dc.MoveTo(rt - 1, t + 3);
    dc.LineTo(rt - 1, b - 3);
    dc.MoveTo(rt - 3, b - 1);
    dc.LineTo(l + 2, b - 1);
    dc.MoveTo(l, b - 3);
    dc.LineTo(l, t + 2);

    // The outermost corner pixels take the parent's colour just outside the button, so that the
    // corners look round on any background.
    CRect window;
    GetWindowRect(&window);
    const int w = window.Width(), h = window.Height();
    if (HWND parent = ::GetParent(m_hWnd)) {
        POINT outside[4] = {{window.left - 1, window.top},
                            {window.right, window.top},
                            {window.right, window.bottom},
                            {window.left, window.bottom}};
        const POINT corner[4] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}};
        if (HDC parentDC = ::GetDC(parent)) {
            for (int i = 0; i < 4; ++i) {
                ::ScreenToClient(parent, &outside[i]);
                dc.SetPixel(corner[i].x, corner[i].y,
                            ::GetPixel(parentDC, outside[i].x, outside[i].y));
            }
            ::ReleaseDC(parent, parentDC);
        }
    }
    if (!palette.fixedCorners) return;

    // Each corner's inner pixels, (i, j) counted inward along the horizontal and vertical edge.
    struct CornerPixel {
        int i, j;
        COLORREF color;
    };
    static const CornerPixel pixels[] = {
        {1, 1, RGB(85, 125, 162)},  {1, 0, RGB(122, 149, 168)}, {0, 1, RGB(122, 149, 168)},
        {2, 0, RGB(36, 88, 131)},   {0, 2, RGB(36, 88, 131)},   {2, 1, RGB(191, 206, 220)},
        {1, 2, RGB(191, 206, 220)},
    };
    struct Corner {
        int x, y, dx, dy;
    };
    const Corner corners[4] = {
        {l, t, 1, 1}, {rt - 1, t, -1, 1}, {rt - 1, b - 1, -1, -1}, {l, b - 1, 1, -1}};
    for (const Corner& c : corners) {
        for (const CornerPixel& p : pixels)
            dc.SetPixel(c.x + c.dx * p.i, c.y + c.dy * p.j, p.color);
    }
}

void CMFCCTRLButton::DrawFrame(CDC& dc, const RECT& e, bool focus, const Palette& palette) {
    // Hover wins over focus.
    const bool useFocus = focus && !m_bHot;
    HPEN left = useFocus ? palette.focusLeft : palette.hoverLeft;
    HPEN top = useFocus ? palette.focusTop : palette.hoverTop;
    HPEN right = useFocus ? palette.focusRight : palette.hoverRight;
    HPEN bottom = useFocus ? palette.focusBottom : palette.hoverBottom;
    COLORREF topPixel = useFocus ? palette.focusPixel : palette.hoverTopPixel;
    COLORREF bottomPixel = useFocus ? palette.focusPixel : palette.hoverBottomPixel;
    const int l = e.left, t = e.top, r = e.right, b = e.bottom;

    CPoint position = dc.GetCurrentPosition();
    HGDIOBJ oldPen = dc.SelectObject(left);
    dc.MoveTo(l, b - 2);
    dc.LineTo(l, t + 1);
    dc.SelectObject(right);
    dc.MoveTo(r, b - 2);
    dc.LineTo(r, t + 1);
    dc.SelectObject(top);
    dc.MoveTo(l, t);
    dc.LineTo(r - 2, t);
    dc.SetPixel(r - 1, t, topPixel);
    dc.SelectObject(bottom);
    dc.MoveTo(l + 1, b);
    dc.LineTo(r - 2, b);
    dc.SetPixel(l + 1, b - 1, bottomPixel);
    dc.SetPixel(l, b - 1, bottomPixel);
    dc.SetPixel(r - 1, b - 1, bottomPixel);
    dc.SelectObject(oldPen);
    dc.MoveTo(position.x, position.y);
}

void CMFCCTRLButton::DrawItem(LPDRAWITEMSTRUCT drawItem) {
    CDCRef target(drawItem->hDC);
    CDC* targetDC = target;
    const CRect r(drawItem->rcItem);
    const UINT state = drawItem->itemState;

    const bool highContrast = IsHighContrast();
    const ButtonPenSet& shared = Pens();
    SystemPens system;  // cheap, and only selected in a high-contrast theme
    Palette palette;
    if (highContrast) {
        HPEN frame = system.frame;
        palette = {system.outline,
                   frame,
                   frame,
                   frame,
                   frame,
                   frame,
                   frame,
                   frame,
                   frame,
                   GetSysColor(COLOR_BTNFACE),
                   GetSysColor(COLOR_BTNTEXT),
                   GetSysColor(COLOR_HIGHLIGHT),
                   GetSysColor(COLOR_HIGHLIGHT),
                   GetSysColor(COLOR_HIGHLIGHT),
                   false};
    } else {
        palette = {shared.outline,     shared.hoverLeft,   shared.hoverTop,
                   shared.hoverRight,  shared.hoverBottom, shared.focusLeft,
                   shared.focusTop,    shared.focusRight,  shared.focusBottom,
                   RGB(244, 244, 240), m_crText,           RGB(252, 210, 121),
                   RGB(229, 151, 0),   RGB(162, 201, 255), true};
    }

    // Everything goes to an off-screen copy first, so that the button does not flicker; what is
    // not painted keeps the background the copy starts from.
    CRect window;
    GetWindowRect(&window);
    const int w = window.Width(), h = window.Height();
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(targetDC) || !bitmap.CreateCompatibleBitmap(targetDC, w, h))
        return;
    HGDIOBJ oldBitmap = memory.SelectObject(&bitmap);
    memory.BitBlt(0, 0, w, h, targetDC, 0, 0, SRCCOPY);

    HGDIOBJ oldFont = memory.SelectObject(reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
    CString text = GetWindowText();

    HGDIOBJ oldPen = memory.SelectObject(palette.outline);
    memory.RoundRect(&r, POINT{10, 10});
    DrawOutline(memory, r, palette);
    const bool focus = (state & ODS_FOCUS) != 0;

    CRect e = r;
    e.DeflateRect(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE));
    CRect fill = e;
    fill.InflateRect(1, 1);
    CBrush face(palette.face);
    memory.FillRect(&fill, &face);
    if (focus || m_bHot) DrawFrame(memory, e, focus, palette);
    memory.SelectObject(palette.outline);
    DrawOutline(memory, r, palette);

    if (!text.IsEmpty()) {
        CString plain = text;
        plain.Remove(L'&');
        CSize extent = memory.GetTextExtent(plain, plain.GetLength());
        int x0 = (e.left + e.right) / 2 - extent.cx / 2;
        int y0 = (e.top + e.bottom) / 2 - extent.cy / 2;
        int x = m_bShield ? x0 + 7 : x0, y = y0;
        if (state & ODS_SELECTED) {
            ++x;
            ++y;
        }
        int oldMode = memory.SetBkMode(TRANSPARENT);
        COLORREF oldColor = memory.SetTextColor(palette.text);
        UINT flags = DST_PREFIXTEXT | ((state & ODS_DISABLED) ? DSS_DISABLED : 0);
        DrawStateW(memory, nullptr, nullptr, reinterpret_cast<LPARAM>(text.GetString()),
                   static_cast<WPARAM>(text.GetLength()), x, y, extent.cx, extent.cy, flags);
        memory.SetTextColor(oldColor);
        memory.SetBkMode(oldMode);
        if (m_bShield) {
            // The loader refuses a bare name, so the stock icon is the one drawn (the same
            // picture as user32's own resource).
            if (!m_hShieldIcon) {
                if (HMODULE user = LoadVerifiedLibrary(L"user32.dll", nullptr, 0, false)) {
                    m_hShieldIcon = static_cast<HICON>(LoadImageW(
                        user, MAKEINTRESOURCEW(106), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
                    FreeLibrary(user);
                }
            }
            HICON icon = m_hShieldIcon ? m_hShieldIcon : LoadIconW(nullptr, IDI_SHIELD);
            DrawIconEx(memory, x0 - 12, y0 - 1, icon, 16, 16, 0, nullptr, DI_NORMAL);
        }
    }

    memory.SelectObject(oldPen);
    memory.SelectObject(oldFont);
    targetDC->BitBlt(0, 0, w, h, &memory, 0, 0, SRCCOPY);
    memory.SelectObject(oldBitmap);
}
