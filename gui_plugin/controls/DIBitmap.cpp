#include "DIBitmap.h"

#include <string.h>

#include <memory>
#include <new>
#include <vector>

#include "GdiplusSession.h"
#include "bmp_format.h"

namespace {

constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr int kFileHeaderSize = sizeof(BITMAPFILEHEADER);
// A file read keeps room for a full colour table whatever its depth.
constexpr size_t kFileInfoSize = kInfoHeaderSize + 256 * sizeof(RGBQUAD);
// Larger files are not pictures this class is for.
constexpr ULONGLONG kMaxFileSize = 64ull << 20;

UINT ColorEntries(WORD bitCount) { return bitCount <= 8 ? (1u << bitCount) : 0; }

}  // namespace

class CDIBitmap::PaletteScope {
public:
    PaletteScope(CDC* dc, CBmpPalette* palette) : m_dc(dc) {
        if (!palette) return;
        m_hOld = dc->SelectPalette(*palette, FALSE);
        dc->RealizePalette();
        dc->SetStretchBltMode(COLORONCOLOR);
    }
    ~PaletteScope() {
        if (m_hOld) m_dc->SelectPalette(m_hOld, FALSE);
    }

private:
    CDC* m_dc;
    HPALETTE m_hOld = nullptr;
};

CDIBitmap::~CDIBitmap() {
    m_bitmap.DeleteObject();
    Free();
}

void CDIBitmap::Free() {
    delete[] reinterpret_cast<BYTE*>(m_pInfo);
    delete[] m_pBits;
    delete m_pPalette;
    m_pInfo = nullptr;
    m_pBits = nullptr;
    m_pPalette = nullptr;
}

BOOL CDIBitmap::LoadFromResource(HINSTANCE module, LPCWSTR name) {
    if (!module) return FALSE;
    // The system's bitmap reader trusts the resource's sizes: check them first.
    HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(2));  // RT_BITMAP
    if (!info) return FALSE;
    HGLOBAL loaded = LoadResource(module, info);
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    DibLayout layout;
    if (!data || CheckPackedDib(data, SizeofResource(module, info), &layout) != DibCheck::kOk) {
        return FALSE;
    }
    HANDLE image = LoadImageW(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!image) return FALSE;
    m_bitmap.DeleteObject();
    m_bitmap.Attach(image);
    CClientDC desktop(CWnd::FromHandle(GetDesktopWindow()));
    return CreateFromBitmap(&desktop, &m_bitmap);
}

BOOL CDIBitmap::CreateFromBitmap(CDC* dc, CBitmap* bitmap) try {
    BITMAP bm = {};
    if (bitmap->GetBitmap(&bm) != sizeof(bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) {
        Free();
        return FALSE;
    }
    const WORD sourceBits = bm.bmBitsPixel;
    const WORD bitCount = sourceBits <= 8 ? sourceBits : 24;
    delete[] m_pBits;
    m_pBits = nullptr;
    m_pBits = new BYTE[DibStride(bm.bmWidth, sourceBits <= 8 ? 8 : 24) * bm.bmHeight];
    const UINT entries = ColorEntries(bitCount);
    delete[] reinterpret_cast<BYTE*>(m_pInfo);
    m_pInfo = nullptr;
    m_pInfo =
        reinterpret_cast<BITMAPINFO*>(new BYTE[kInfoHeaderSize + entries * sizeof(RGBQUAD)]());

    BITMAPINFOHEADER& h = m_pInfo->bmiHeader;
    h.biSize = kInfoHeaderSize;
    h.biWidth = bm.bmWidth;
    h.biHeight = bm.bmHeight;
    h.biPlanes = bm.bmPlanes;
    h.biBitCount = bitCount;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(DibStride(bm.bmWidth, sourceBits) * bm.bmHeight);
    if (GetDIBits(dc ? dc->m_hDC : nullptr, *bitmap, 0, static_cast<UINT>(bm.bmHeight), m_pBits,
                  m_pInfo, DIB_RGB_COLORS) != bm.bmHeight) {
        Free();
        return FALSE;
    }
    BuildPalette();
    return TRUE;
} catch (const std::bad_alloc&) {
    Free();
    return FALSE;
}

BOOL CDIBitmap::BuildPalette() {
    delete m_pPalette;
    m_pPalette = nullptr;
    if (m_pInfo && m_pInfo->bmiHeader.biBitCount <= 8) {
        m_pPalette = new (std::nothrow) CBmpPalette(this);
    }
    return m_pPalette != nullptr;
}

CBmpPalette::CBmpPalette(const CDIBitmap* bitmap) {
    const BITMAPINFOHEADER& h = bitmap->m_pInfo->bmiHeader;
    // Bounded by the colour table the object holds: never more than the depth can index.
    UINT entries = ColorEntries(h.biBitCount);
    if (h.biClrUsed && h.biClrUsed < entries) entries = h.biClrUsed;
    std::vector<BYTE> buffer(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(buffer.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    for (UINT i = 0; i < entries; ++i) {
        const RGBQUAD& c = bitmap->m_pInfo->bmiColors[i];
        palette->palPalEntry[i] = {c.rgbRed, c.rgbGreen, c.rgbBlue, 0};
    }
    CreatePalette(palette);
}

void CDIBitmap::Draw(CDC* dc, int x, int y, int width, int height) {
    HPALETTE palette = m_pPalette ? static_cast<HPALETTE>(*m_pPalette) : nullptr;
    if (m_bitmap.m_hObject &&
        GdiplusDrawBitmap(GetGdiplus(), dc->m_hDC, m_bitmap, palette, x, y, width, height)) {
        return;
    }
    // GDI+ is missing, failed, or there is no GDI bitmap (a picture read from a file): the
    // device-independent copy is drawn with GDI.
    if (IsEmpty()) return;
    PaletteScope scope(dc, m_pPalette);
    dc->SetStretchBltMode(COLORONCOLOR);
    StretchDIBits(dc->m_hDC, x, y, width, height, 0, 0, m_pInfo->bmiHeader.biWidth,
                  m_pInfo->bmiHeader.biHeight, m_pBits, m_pInfo, DIB_RGB_COLORS, SRCCOPY);
}

void CDIBitmap::Draw(CDC* dc, int x, int y) {
    if (IsEmpty()) return;
    Draw(dc, x, y, m_pInfo->bmiHeader.biWidth, m_pInfo->bmiHeader.biHeight);
}

int CDIBitmap::Paint(CDC* dc, CRect* destination, CRect* source) {
    PaletteScope scope(dc, m_pPalette);
    if (IsEmpty()) return 0;
    const LONG height = m_pInfo->bmiHeader.biHeight;
    return SetDIBitsToDevice(dc->m_hDC, destination->left, destination->top, destination->Width(),
                             destination->Height(), source->left, height - source->bottom, 0,
                             static_cast<UINT>(height), m_pBits, m_pInfo, DIB_RGB_COLORS);
}

BOOL CDIBitmap::Load(const CString& path) {
    CFile file;
    if (!file.Open(path, CFile::modeRead)) return FALSE;
    return Read(file);
}

BOOL CDIBitmap::Read(CFile& file) try {
    Free();
    const ULONGLONG start = file.GetPosition();
    const ULONGLONG length = file.GetLength();
    if (length <= start || length - start > kMaxFileSize) return FALSE;
    std::vector<uint8_t> data(static_cast<size_t>(length - start));
    if (file.Read(data.data(), static_cast<UINT>(data.size())) != data.size()) return FALSE;

    DibCopy copy;
    if (ReadBmpFile(data.data(), data.size(), &copy) != DibCheck::kOk) return FALSE;
    std::unique_ptr<BYTE[]> info(new BYTE[kFileInfoSize]);
    std::unique_ptr<BYTE[]> bits(new BYTE[copy.bits.size()]);
    memcpy(info.get(), copy.info.data(), kFileInfoSize);
    memcpy(bits.get(), copy.bits.data(), copy.bits.size());
    m_pInfo = reinterpret_cast<BITMAPINFO*>(info.release());
    m_pBits = bits.release();
    BuildPalette();
    return TRUE;
} catch (const std::bad_alloc&) {
    Free();
    return FALSE;
}

BOOL CDIBitmap::Save(const CString& path) {
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) return FALSE;
    return Write(file);
}

BOOL CDIBitmap::Write(CFile& file) {
    if (IsEmpty()) return FALSE;
    BITMAPINFOHEADER& h = m_pInfo->bmiHeader;
    const UINT entries = ColorEntries(h.biBitCount);
    const DWORD pixelBytes = static_cast<DWORD>(DibStride(h.biWidth, h.biBitCount) * h.biHeight);
    const DWORD infoBytes = kInfoHeaderSize + entries * sizeof(RGBQUAD);
    h.biSizeImage = 0;
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfSize = kFileHeaderSize + infoBytes + pixelBytes;
    fileHeader.bfOffBits = kFileHeaderSize + infoBytes;
    return file.Write(&fileHeader, sizeof(fileHeader)) && file.Write(m_pInfo, infoBytes) &&
           file.Write(m_pBits, pixelBytes);
}
