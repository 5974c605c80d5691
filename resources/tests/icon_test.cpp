// The shortcut icons beside the install helper, read the way the shell reads a link's icon: the
// file holds one icon, ExtractIconExW gives its large and small image, LoadImageW each size the
// file carries; the pictures are the product mark (and, for the uninstall shortcut, the removal
// badge over it), and the signature block appended to the signed files changes no pixel.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <winauto/winauto.h>

namespace {

struct IconFile {
    const wchar_t* name;
    bool removalBadge;
};

const IconFile kIcons[] = {{L"brisco.ico", false}, {L"brisco_uninstall.ico", true}};

std::string NameOf(const ::testing::TestParamInfo<IconFile>& info) {
    return info.param.removalBadge ? "Uninstall" : "Product";
}
void PrintTo(const IconFile& icon, std::ostream* out) {
    *out << (icon.removalBadge ? "brisco_uninstall.ico" : "brisco.ico");
}

std::wstring SignedPath(const IconFile& icon) { return winauto::ProgramDirectory() + icon.name; }
std::wstring DrawnPath(const IconFile& icon) {
    return winauto::ProgramDirectory() + L"icon-tests\\unsigned\\" + icon.name;
}

// The icon's width and height as its colour bitmap (or, for a monochrome one, its mask) says.
SIZE IconSize(HICON icon) {
    SIZE size = {0, 0};
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bitmap = {};
    if (info.hbmColor != nullptr && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap)) {
        size.cx = bitmap.bmWidth;
        size.cy = bitmap.bmHeight;
    } else if (GetObjectW(info.hbmMask, sizeof(bitmap), &bitmap)) {
        size.cx = bitmap.bmWidth;
        size.cy = bitmap.bmHeight / 2;
    }
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

const COLORREF kBackground = RGB(255, 0, 255);

// The icon drawn at size by size over the background colour: 0x00RRGGBB pixels, rows top-down.
std::vector<uint32_t> Render(HICON icon, int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    std::vector<uint32_t> pixels;
    if (bitmap != nullptr && dc != nullptr) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all = {0, 0, size, size};
        HBRUSH brush = CreateSolidBrush(kBackground);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        if (DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL)) {
            GdiFlush();
            const uint32_t* p = static_cast<const uint32_t*>(bits);
            pixels.assign(p, p + size * size);
            for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
        }
        SelectObject(dc, old);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (dc != nullptr) DeleteDC(dc);
    return pixels;
}

int Red(uint32_t p) { return (p >> 16) & 0xFF; }
int Green(uint32_t p) { return (p >> 8) & 0xFF; }
int Blue(uint32_t p) { return p & 0xFF; }
bool IsBackground(uint32_t p) { return p == 0xFF00FF; }
// The product's blue (28, 104, 184) to its dark blue (12, 52, 112), allowing for smoothing.
bool IsProductBlue(uint32_t p) {
    return Blue(p) >= 100 && Blue(p) > Red(p) + 60 && Green(p) < Blue(p);
}
// The badge's red (206, 38, 38) to (150, 18, 18).
bool IsBadgeRed(uint32_t p) { return Red(p) >= 130 && Green(p) < 70 && Blue(p) < 70; }

// How many pixels of the square [x0, x1) by [y0, y1) (in fractions of size) pass the test.
template <typename Test>
int Count(const std::vector<uint32_t>& pixels, int size, double x0, double y0, double x1, double y1,
          Test test) {
    int n = 0;
    for (int y = static_cast<int>(y0 * size); y < static_cast<int>(y1 * size); ++y) {
        for (int x = static_cast<int>(x0 * size); x < static_cast<int>(x1 * size); ++x) {
            if (test(pixels[y * size + x])) ++n;
        }
    }
    return n;
}

class ShortcutIcon : public ::testing::TestWithParam<IconFile> {};

TEST_P(ShortcutIcon, FileHoldsOneIconWithALargeAndASmallImage) {
    const std::wstring path = SignedPath(GetParam());
    ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "missing";
    EXPECT_EQ(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr, small = nullptr;
    ASSERT_EQ(ExtractIconExW(path.c_str(), 0, &large, &small, 1), 2u);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(IconSize(large).cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconSize(small).cx, GetSystemMetrics(SM_CXSMICON));
    DestroyIcon(large);
    DestroyIcon(small);
}

// Each size that the file carries, as the shell asks for it, is the product mark: transparent
// rounded corners, the product's blue; the uninstall icon has the red badge in its lower right
// quarter and the product icon none anywhere. Signed or not, the pixels are the same.
TEST_P(ShortcutIcon, EverySizeShowsTheMarkAndTheBlockChangesNoPixel) {
    for (int size : {16, 24, 32, 48, 64, 128}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(LoadImageW(nullptr, SignedPath(GetParam()).c_str(),
                                                   IMAGE_ICON, size, size, LR_LOADFROMFILE));
        HICON drawn = static_cast<HICON>(LoadImageW(nullptr, DrawnPath(GetParam()).c_str(),
                                                    IMAGE_ICON, size, size, LR_LOADFROMFILE));
        ASSERT_NE(icon, nullptr) << GetLastError();
        ASSERT_NE(drawn, nullptr) << GetLastError();
        EXPECT_EQ(IconSize(icon).cx, size);
        EXPECT_EQ(IconSize(icon).cy, size);
        const std::vector<uint32_t> pixels = Render(icon, size);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
        EXPECT_EQ(pixels, Render(drawn, size)) << "the signed file draws other pixels";

        EXPECT_TRUE(IsBackground(pixels[0]));
        EXPECT_TRUE(IsBackground(pixels[size - 1]));
        EXPECT_TRUE(IsBackground(pixels[(size - 1) * size]));
        const int area = size * size;
        // The upper left quarter is mostly the blue field (the arrow's shaft is white).
        EXPECT_GT(Count(pixels, size, 0.0, 0.0, 0.5, 0.5, IsProductBlue), area / 4 / 2);
        const int redBadge = Count(pixels, size, 0.5, 0.5, 1.0, 1.0, IsBadgeRed);
        if (GetParam().removalBadge) {
            EXPECT_GT(redBadge, area / 4 / 4) << "no removal badge";
        } else {
            EXPECT_EQ(Count(pixels, size, 0.0, 0.0, 1.0, 1.0, IsBadgeRed), 0);
        }
        DestroyIcon(icon);
        DestroyIcon(drawn);
    }
}

// Both icons at every size side by side, over the background colour, kept among the test results
// (shortcut_icons.png) for a person to look at.
TEST(ShortcutIcons, SavedForLooking) {
    const int sizes[] = {16, 24, 32, 48, 64, 128};
    winauto::Capture sheet;
    for (int size : sizes) sheet.width += size + 8;
    sheet.height = 2 * (128 + 8);
    sheet.pixels.assign(sheet.width * sheet.height, 0xFF00FF);
    int row = 0;
    for (const IconFile& file : kIcons) {
        int column = 0;
        for (int size : sizes) {
            HICON icon = static_cast<HICON>(LoadImageW(nullptr, SignedPath(file).c_str(),
                                                       IMAGE_ICON, size, size, LR_LOADFROMFILE));
            ASSERT_NE(icon, nullptr);
            const std::vector<uint32_t> pixels = Render(icon, size);
            DestroyIcon(icon);
            ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    sheet.pixels[(row + y) * sheet.width + column + x] = pixels[y * size + x];
                }
            }
            column += size + 8;
        }
        row += 128 + 8;
    }
    EXPECT_TRUE(winauto::SavePng(sheet, winauto::ResultsPath(L"shortcut_icons.png")));
}

INSTANTIATE_TEST_SUITE_P(BesideTheHelper, ShortcutIcon, ::testing::ValuesIn(kIcons), NameOf);

}  // namespace
