// Geometry helpers and the GDI wrappers. Each wrapper owns its one handle and deletes it in its
// destructor; a DC wrapper made for a paint or a window releases its DC; selections go back
// through the wrapper that made them.
#pragma once

#include <windows.h>

#include "afx.h"

struct CPoint : POINT {
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
    explicit CPoint(LPARAM lParam)
        : POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))} {}
};

struct CSize : SIZE {
    CSize() : SIZE{0, 0} {}
    CSize(int cx0, int cy0) : SIZE{cx0, cy0} {}
};

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    void DeflateRect(int x, int y) { InflateRect(-x, -y); }
    void InflateRect(int x, int y) { ::InflateRect(this, x, y); }
    void OffsetRect(int x, int y) { ::OffsetRect(this, x, y); }
    BOOL PtInRect(POINT p) const { return ::PtInRect(this, p); }
    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    bool operator==(const RECT& r) const {
        return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
    }
    bool operator!=(const RECT& r) const { return !(*this == r); }
};

class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() = default;
    ~CGdiObject() override { DeleteObject(); }
    HGDIOBJ m_hObject = nullptr;
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, void* buffer) const { return ::GetObjectW(m_hObject, size, buffer); }
};

class CPen : public CGdiObject {
    DECLARE_DYNAMIC(CPen)
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    BOOL CreatePen(int style, int width, COLORREF color) {
        return Attach(::CreatePen(style, width, color));
    }
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};

class CBrush : public CGdiObject {
    DECLARE_DYNAMIC(CBrush)
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    BOOL CreateFontIndirect(const LOGFONTW* font) { return Attach(::CreateFontIndirectW(font)); }
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject {
    DECLARE_DYNAMIC(CBitmap)
public:
    BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
    int GetBitmap(BITMAP* info) const { return GetObject(sizeof(BITMAP), info); }
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CPalette : public CGdiObject {
    DECLARE_DYNAMIC(CPalette)
public:
    BOOL CreatePalette(const LOGPALETTE* palette) { return Attach(::CreatePalette(palette)); }
    operator HPALETTE() const { return static_cast<HPALETTE>(m_hObject); }
};

class CWnd;

// A device context. A plain CDC owns a DC it created (CreateCompatibleDC) and deletes it; the
// derived classes below release the DCs they got from a window.
class CDC : public CObject {
    DECLARE_DYNAMIC(CDC)
public:
    CDC() = default;
    ~CDC() override;
    HDC m_hDC = nullptr;
    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }

    // A wrapper that does not own the DC (a DC the system handed to a message): detached before
    // it is destroyed.
    BOOL Attach(HDC dc);
    HDC Detach();
    BOOL CreateCompatibleDC(CDC* dc);
    BOOL DeleteDC();

    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    // The earlier object's handle: the caller selects it back.
    HGDIOBJ SelectObject(CGdiObject* object) { return ::SelectObject(m_hDC, object->m_hObject); }
    HPALETTE SelectPalette(HPALETTE palette, BOOL forceBackground) {
        return ::SelectPalette(m_hDC, palette, forceBackground);
    }
    UINT RealizePalette() { return ::RealizePalette(m_hDC); }

    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF SetPixel(int x, int y, COLORREF color) { return ::SetPixel(m_hDC, x, y, color); }
    CPoint MoveTo(int x, int y);
    CPoint GetCurrentPosition() const;
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL RoundRect(const RECT* rect, POINT ellipse) {
        return ::RoundRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom, ellipse.x,
                           ellipse.y);
    }
    void FillRect(const RECT* rect, CBrush* brush) { ::FillRect(m_hDC, rect, *brush); }
    void FillSolidRect(const RECT* rect, COLORREF color);
    BOOL BitBlt(int x, int y, int w, int h, CDC* source, int sx, int sy, DWORD rop) {
        return ::BitBlt(m_hDC, x, y, w, h, source ? source->m_hDC : nullptr, sx, sy, rop);
    }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    CSize GetTextExtent(LPCWSTR text, int length) const;
    int DrawText(LPCWSTR text, int length, RECT* rect, UINT format) {
        return ::DrawTextW(m_hDC, text, length, rect, format);
    }
    BOOL TextOut(int x, int y, LPCWSTR text, int length) {
        return ::TextOutW(m_hDC, x, y, text, length);
    }
};

// The client area's DC of a window, released on destruction.
class CClientDC : public CDC {
    DECLARE_DYNAMIC(CClientDC)
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

protected:
    HWND m_hWnd;
};

// The whole window's DC, released on destruction.
class CWindowDC : public CDC {
    DECLARE_DYNAMIC(CWindowDC)
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

protected:
    HWND m_hWnd;
};

// BeginPaint/EndPaint for WM_PAINT.
class CPaintDC : public CDC {
    DECLARE_DYNAMIC(CPaintDC)
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps;

protected:
    HWND m_hWnd;
};

// Selects one object into a DC and puts the earlier one back on destruction.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hOld(::SelectObject(dc, object)) {}
    ~CSelectObject() {
        if (m_hOld) ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
