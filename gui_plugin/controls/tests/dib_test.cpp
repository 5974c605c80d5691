// CDIBitmap over bitmap resources of every depth, malformed files and resources, and pixel probes
// of natural and stretched drawing into a memory DC through GDI+ and through the GDI path.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "DIBitmap.h"
#include "GdiplusSession.h"
#include "bmp_format.h"
#include "malformed_bitmaps.h"

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kAmber = RGB(248, 200, 0);
constexpr int kWidth = 16, kHeight = 8;

// The picture's colour at (x, y) counted from the top, as make_test_bitmaps.py draws it.
COLORREF Expected(int x, int y) { return (x < kWidth / 2) != (y >= kHeight / 2) ? kNavy : kAmber; }

// The colour stored in the object's own copy at (x, y) counted from the top.
COLORREF Stored(const CDIBitmap& dib, int x, int y) {
    const BITMAPINFOHEADER& h = dib.m_pInfo->bmiHeader;
    const size_t stride = DibStride(h.biWidth, h.biBitCount);
    const BYTE* row = dib.m_pBits + (h.biHeight - 1 - y) * stride;
    if (h.biBitCount == 24) return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    int index = 0;
    if (h.biBitCount == 8) index = row[x];
    if (h.biBitCount == 4) index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
    if (h.biBitCount == 1) index = (row[x / 8] >> (7 - x % 8)) & 1;
    const RGBQUAD& q = dib.m_pInfo->bmiColors[index];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

struct DepthCase {
    int resource;
    WORD storedBits;
    UINT paletteEntries;  // 0: no palette
    int tolerance;        // per channel: widening 5-bit channels may replicate their top bits
};

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

TEST(DIBitmap, KeepsEachDepthWithItsColourTableAndPalette) {
    const DepthCase cases[] = {
        {201, 1, 2, 0},  {204, 4, 16, 0}, {208, 8, 256, 0},
        {216, 24, 0, 7}, {224, 24, 0, 0}, {232, 24, 0, 0},
    };
    for (const DepthCase& c : cases) {
        CDIBitmap dib;
        ASSERT_TRUE(dib.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.resource)))
            << c.resource;
        const BITMAPINFOHEADER& h = dib.m_pInfo->bmiHeader;
        EXPECT_EQ(h.biWidth, kWidth);
        EXPECT_EQ(h.biHeight, kHeight);
        EXPECT_EQ(h.biBitCount, c.storedBits) << c.resource;
        if (c.paletteEntries) {
            ASSERT_NE(dib.m_pPalette, nullptr) << c.resource;
            EXPECT_EQ(GetPaletteEntries(*dib.m_pPalette, 0, 0, nullptr), c.paletteEntries);
        } else {
            EXPECT_EQ(dib.m_pPalette, nullptr) << c.resource;
        }
        const POINT probes[] = {{0, 0}, {7, 3}, {8, 0}, {15, 3}, {0, 4}, {9, 7}, {15, 7}};
        for (const POINT& p : probes) {
            EXPECT_TRUE(Near(Stored(dib, p.x, p.y), Expected(p.x, p.y), c.tolerance))
                << c.resource << " at " << p.x << "," << p.y;
        }
    }
}

TEST(DIBitmap, ARefusedResourceLeavesTheEarlierPicture) {
    CDIBitmap dib;
    ASSERT_TRUE(dib.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(224)));
    const BYTE* bits = dib.m_pBits;
    const int ids[] = {299 /* rows cut short */, 12345 /* missing */};
    for (int id : ids) {
        EXPECT_FALSE(dib.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id))) << id;
        EXPECT_EQ(dib.m_pBits, bits);
    }
    EXPECT_FALSE(dib.LoadFromResource(nullptr, MAKEINTRESOURCEW(224)));
    EXPECT_EQ(Stored(dib, 0, 0), kNavy);
}

std::wstring TempFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    CFile file;
    return file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite) &&
           (bytes.empty() || file.Write(bytes.data(), static_cast<UINT>(bytes.size())));
}

TEST(DIBitmap, LoadRefusesMalformedFilesAndStaysEmpty) {
    const std::wstring path = TempFile(L"ky_dib_case.bmp");
    for (const BitmapCase& c : BitmapCases()) {
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        CDIBitmap dib;
        EXPECT_EQ(dib.Load(path.c_str()) != FALSE, c.expected == DibCheck::kOk) << c.name;
        EXPECT_EQ(dib.IsEmpty(), c.expected != DibCheck::kOk) << c.name;
    }
    DeleteFileW(path.c_str());
}

TEST(DIBitmap, SavedFileReadsBackTheSamePicture) {
    const int ids[] = {204, 208, 224};
    const std::wstring path = TempFile(L"ky_dib_saved.bmp");
    for (int id : ids) {
        CDIBitmap original, copy;
        ASSERT_TRUE(original.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)));
        ASSERT_TRUE(original.Save(path.c_str()));
        ASSERT_TRUE(copy.Load(path.c_str()));
        EXPECT_EQ(copy.m_pInfo->bmiHeader.biBitCount, original.m_pInfo->bmiHeader.biBitCount);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) EXPECT_EQ(Stored(copy, x, y), Expected(x, y)) << id;
        }
    }
    DeleteFileW(path.c_str());
}

// A 32-bit memory DC to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_dc.CreateCompatibleDC(nullptr);
        m_bitmap.Attach(CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0));
        m_old = m_dc.SelectObject(&m_bitmap);
        RECT all = {0, 0, width, height};
        m_dc.FillSolidRect(&all, RGB(255, 255, 255));
    }
    ~Canvas() { m_dc.SelectObject(m_old); }
    CDC* dc() { return &m_dc; }
    COLORREF At(int x, int y) const {
        GdiFlush();
        uint32_t p = static_cast<const uint32_t*>(m_bits)[y * m_width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    int m_width, m_height;
    CDC m_dc;
    CBitmap m_bitmap;
    void* m_bits = nullptr;
    HGDIOBJ m_old = nullptr;
};

// Centres of the four solid quarters, scaled: resampling differs at the edges.
void ExpectQuarters(const Canvas& canvas, int x0, int y0, int scale, const char* path) {
    const POINT centres[] = {{4, 2}, {12, 2}, {4, 6}, {12, 6}};
    for (const POINT& c : centres) {
        EXPECT_EQ(canvas.At(x0 + c.x * scale, y0 + c.y * scale), Expected(c.x, c.y))
            << path << " scale " << scale << " at " << c.x << "," << c.y;
    }
}

struct PathCase {
    const char* name;
    bool gdiplus;
};

TEST(DIBitmap, DrawsNaturalAndStretchedOnBothPaths) {
    const int ids[] = {204, 208, 224, 232};
    const PathCase paths[] = {{"GDI+", true}, {"GDI", false}};
    for (const PathCase& path : paths) {
        SetGdiplusUnavailableForTesting(!path.gdiplus);
        for (int id : ids) {
            CDIBitmap dib;
            ASSERT_TRUE(dib.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)));
            Canvas canvas(80, 48);
            dib.Draw(canvas.dc(), 2, 3);
            ExpectQuarters(canvas, 2, 3, 1, path.name);
            EXPECT_EQ(canvas.At(2 + kWidth + 2, 3), RGB(255, 255, 255)) << "natural size only";
            dib.Draw(canvas.dc(), 0, 16, 64, 32);
            ExpectQuarters(canvas, 0, 16, 4, path.name);
        }
    }
    SetGdiplusUnavailableForTesting(false);
}

TEST(DIBitmap, GdiplusStartsOnFirstUseAndDrawsItself) {
    CDIBitmap dib;
    ASSERT_TRUE(dib.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(224)));
    const GdiplusApi* api = GetGdiplus();
    ASSERT_NE(api, nullptr);
    Canvas canvas(32, 16);
    EXPECT_TRUE(GdiplusDrawBitmap(api, canvas.dc()->m_hDC, dib.m_bitmap, nullptr, 0, 0, 32, 16));
    ExpectQuarters(canvas, 0, 0, 2, "GDI+ alone");
    EXPECT_FALSE(GdiplusDrawBitmap(api, canvas.dc()->m_hDC, nullptr, nullptr, 0, 0, 32, 16));
}

TEST(DIBitmap, APictureReadFromAFileIsDrawnWithGdi) {
    const std::wstring path = TempFile(L"ky_dib_draw.bmp");
    {
        CDIBitmap original;
        ASSERT_TRUE(original.LoadFromResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(224)));
        ASSERT_TRUE(original.Save(path.c_str()));
    }
    CDIBitmap dib;
    ASSERT_TRUE(dib.Load(path.c_str()));
    Canvas canvas(32, 16);
    dib.Draw(canvas.dc(), 0, 0);
    ExpectQuarters(canvas, 0, 0, 1, "file");
    CRect destination(0, 0, kWidth, kHeight), source(0, 0, kWidth, kHeight);
    Canvas painted(32, 16);
    EXPECT_EQ(dib.Paint(painted.dc(), &destination, &source), kHeight);
    ExpectQuarters(painted, 0, 0, 1, "Paint");
    DeleteFileW(path.c_str());
}

}  // namespace
