// A picture held twice: as the GDI bitmap loaded from a resource library, and as a
// device-independent copy (header, colour table, bottom-up rows) made with GetDIBits. It draws
// itself through GDI+ and, when GDI+ is missing or any of its steps fails, through StretchDIBits.
// Pictures of 8 bits per pixel or less also keep a palette built from their colour table.
#pragma once

#include "afxwin.h"

class CBmpPalette;

class CDIBitmap {
public:
    CDIBitmap() = default;
    virtual ~CDIBitmap();
    CDIBitmap(const CDIBitmap&) = delete;
    CDIBitmap& operator=(const CDIBitmap&) = delete;

    // An unscaled copy of source (in picture coordinates, top-down) at destination's top left:
    // the scan lines SetDIBitsToDevice reports, 0 when empty.
    virtual int Paint(CDC* dc, CRect* destination, CRect* source);
    // The whole picture stretched into (x, y, width, height).
    virtual void Draw(CDC* dc, int x, int y, int width, int height);
    // At its natural size; draws nothing when empty.
    virtual void Draw(CDC* dc, int x, int y);
    // BMP files. A file whose headers, colour table or rows do not fit its bytes is refused and
    // leaves the object empty.
    virtual BOOL Load(const CString& path);
    virtual BOOL Read(CFile& file);
    virtual BOOL Save(const CString& path);
    virtual BOOL Write(CFile& file);

    // A bitmap resource of module, checked before the system reads it; on a refusal the earlier
    // picture stays.
    BOOL LoadFromResource(HINSTANCE module, LPCWSTR name);
    // The device-independent copy of bitmap: kept at 1, 4 or 8 bits per pixel, else 24.
    BOOL CreateFromBitmap(CDC* dc, CBitmap* bitmap);
    BOOL BuildPalette();

    bool IsEmpty() const { return !m_pInfo || !m_pBits; }

    BITMAPINFO* m_pInfo = nullptr;  // header then colour table; null when empty
    BYTE* m_pBits = nullptr;        // rows, bottom-up, each padded to 4 bytes
    CBmpPalette* m_pPalette = nullptr;
    CBitmap m_bitmap;

private:
    void Free();
    // With the palette selected and realised for the scope's life, COLORONCOLOR stretching.
    class PaletteScope;
};

class CBmpPalette : public CPalette {
public:
    explicit CBmpPalette(const CDIBitmap* bitmap);
};
