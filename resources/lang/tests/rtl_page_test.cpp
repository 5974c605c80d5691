// The right-to-left library's welcome page, shown as the wizard shows it and read by its pixels:
// its Hebrew texts are drawn as letters (not as the boxes of a font without them), its layout is
// mirrored, and a picture drawn with DrawUnmirrored keeps its left side on the left, where a
// plain BitBlt into the same mirrored page reflects it. The capture is kept as
// lang_rtl_welcome_page.png among the test results.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>
#include <winauto/winauto.h>

#include "DrawUnmirrored.h"
#include "lang_ids.h"
#include "verified_library.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr int kUnmirroredPicture = 2001;  // drawn with DrawUnmirrored
constexpr int kPlainPicture = 2002;       // drawn with a plain BitBlt
constexpr int kPictureWidth = 40, kPictureHeight = 20;

// A 32-bit DIB section with its pixels at hand, top row first.
class Dib {
public:
    Dib(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD*>(bits);
    }
    ~Dib() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    HBITMAP get() const { return bitmap_; }
    void Fill(int left, int right, COLORREF colour) {
        for (int y = 0; y < height_; ++y) {
            for (int x = left; x < right; ++x) bits_[y * width_ + x] = ToBits(colour);
        }
    }
    COLORREF At(int x, int y) const {
        GdiFlush();
        DWORD p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    std::vector<DWORD> Pixels() const {
        GdiFlush();
        return std::vector<DWORD>(bits_, bits_ + size_t(width_) * height_);
    }

private:
    static DWORD ToBits(COLORREF c) {
        return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
    }
    int width_, height_;
    HBITMAP bitmap_ = nullptr;
    DWORD* bits_ = nullptr;
};

// The deliberately lopsided picture: left half red, right half blue.
std::unique_ptr<Dib> Halves() {
    auto dib = std::make_unique<Dib>(kPictureWidth, kPictureHeight);
    dib->Fill(0, kPictureWidth / 2, kRed);
    dib->Fill(kPictureWidth / 2, kPictureWidth, kBlue);
    return dib;
}

// A memory DC with a bitmap selected, both given back at the end.
class MemoryDc {
public:
    explicit MemoryDc(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)) {
        old_ = SelectObject(dc_, bitmap);
    }
    ~MemoryDc() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// What a page's drawing code would do without the helper.
void PlainBlit(HDC dc, const RECT& area, HBITMAP bitmap) {
    MemoryDc source(bitmap);
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, source.get(), 0,
           0, SRCCOPY);
}

// ---- DrawUnmirrored on DCs alone --------------------------------------------------------------

struct DcCase {
    const char* name;
    DWORD layout;
    bool unmirrored;       // DrawUnmirrored, else a plain BitBlt
    COLORREF leftColour;   // what the target's leftmost column shows
    COLORREF rightColour;  // and its rightmost column of the picture's width
};
const DcCase kDcCases[] = {
    {"ordinary DC, helper", 0, true, kRed, kBlue},
    {"ordinary DC, plain blit", 0, false, kRed, kBlue},
    {"mirrored DC, helper", LAYOUT_RTL, true, kRed, kBlue},
    {"mirrored DC, plain blit reflects", LAYOUT_RTL, false, kBlue, kRed},
};

TEST(DrawUnmirroredOnADc, KeepsThePictureUprightInEveryLayout) {
    auto halves = Halves();
    for (const DcCase& c : kDcCases) {
        SCOPED_TRACE(c.name);
        Dib target(kPictureWidth, kPictureHeight);
        target.Fill(0, kPictureWidth, kGrey);
        MemoryDc dc(target.get());
        SetLayout(dc.get(), c.layout);
        RECT area = {0, 0, kPictureWidth, kPictureHeight};
        if (c.unmirrored) {
            ASSERT_TRUE(DrawUnmirrored(dc.get(), area, halves->get()));
        } else {
            PlainBlit(dc.get(), area, halves->get());
        }
        EXPECT_EQ(GetLayout(dc.get()), c.layout) << "the helper must leave the layout as it was";
        EXPECT_EQ(target.At(1, kPictureHeight / 2), c.leftColour);
        EXPECT_EQ(target.At(kPictureWidth - 2, kPictureHeight / 2), c.rightColour);
    }
}

TEST(DrawUnmirroredOnADc, CopiesNoMoreThanThePicture) {
    auto halves = Halves();
    const int wide = kPictureWidth * 2, tall = kPictureHeight * 2;
    for (DWORD layout : {DWORD(0), DWORD(LAYOUT_RTL)}) {
        Dib target(wide, tall);
        target.Fill(0, wide, kGrey);
        MemoryDc dc(target.get());
        SetLayout(dc.get(), layout);
        RECT area = {0, 0, wide, tall};
        ASSERT_TRUE(DrawUnmirrored(dc.get(), area, halves->get()));
        // The picture lands at the area's logical start: the left in an ordinary DC, the right in
        // a mirrored one; everything else keeps its grey.
        int start = layout ? wide - kPictureWidth : 0;
        EXPECT_EQ(target.At(start + 1, 1), kRed) << layout;
        EXPECT_EQ(target.At(start + kPictureWidth - 2, 1), kBlue) << layout;
        EXPECT_EQ(target.At(layout ? 1 : wide - 2, 1), kGrey) << layout;
        EXPECT_EQ(target.At(start + 1, tall - 2), kGrey) << layout;
    }
}

TEST(DrawUnmirroredOnADc, RefusesWhatCannotBeDrawn) {
    auto halves = Halves();
    Dib target(4, 4);
    MemoryDc dc(target.get());
    RECT area = {0, 0, 4, 4}, empty = {2, 2, 2, 4};
    EXPECT_FALSE(DrawUnmirrored(nullptr, area, halves->get()));
    EXPECT_FALSE(DrawUnmirrored(dc.get(), area, nullptr));
    EXPECT_FALSE(DrawUnmirrored(dc.get(), empty, halves->get()));
}

// ---- The welcome page of the right-to-left library ---------------------------------------------

const wchar_t kProduct[] = L"Brisco Suite";
const wchar_t kNext[] = L"\u05d4\u05d1\u05d0";  // "Next" as a Hebrew system labels it

struct ModuleDeleter {
    void operator()(HINSTANCE module) const { FreeLibrary(module); }
};

std::wstring Format(HINSTANCE module, UINT id, const wchar_t* first, const wchar_t* second) {
    wchar_t format[800] = {}, text[1600] = {};
    LoadStringW(module, id, format, 800);
    _snwprintf(text, 1599, format, first, second);
    return text;
}

bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 110; }

class RtlWelcomePage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW host = {};
        host.lpfnWndProc = DefWindowProcW;
        host.hInstance = GetModuleHandleW(nullptr);
        host.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        host.lpszClassName = L"LangRtlHost";
        host.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&host);
    }

    void SetUp() override {
        std::wstring path = winauto::ProgramDirectory() + L"fetchwellGUI_he.dll";
        module_.reset(LoadVerifiedLibrary(path.c_str(), nullptr, 0, true));
        ASSERT_TRUE(module_) << GetLastError();
        halves_ = Halves();

        // The host stands in for the sheet: an ordinary left-to-right top-level window with the
        // page as its child, as comctl32 makes it (no caption, enabled).
        host_ = CreateWindowExW(0, L"LangRtlHost", L"RTL welcome page", WS_POPUP | WS_BORDER, 40,
                                40, 700, 500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        page_ = CreateDialogParamW(module_.get(), MAKEINTRESOURCEW(IDD_LANG_WELCOME), host_,
                                   PageProc, reinterpret_cast<LPARAM>(this));
        ASSERT_NE(page_, nullptr) << GetLastError();
        LONG_PTR style = GetWindowLongPtrW(page_, GWL_STYLE);
        SetWindowLongPtrW(page_, GWL_STYLE, (style & ~(WS_CAPTION | WS_DISABLED)) | WS_VISIBLE);
        RECT size = {0, 0, 317, 193};
        MapDialogRect(page_, &size);
        SetWindowPos(page_, nullptr, 0, 0, size.right, size.bottom,
                     SWP_NOZORDER | SWP_FRAMECHANGED);
        SetWindowPos(host_, HWND_TOP, 40, 40, size.right + 2, size.bottom + 2, SWP_SHOWWINDOW);

        // The texts as the welcome page sets them: the title in the system font.
        title_ = GetDlgItem(page_, IDC_WELCOME_TITLE);
        ASSERT_NE(title_, nullptr);
        for (HWND c = GetWindow(page_, GW_CHILD); c && !body_; c = GetWindow(c, GW_HWNDNEXT)) {
            if (GetDlgCtrlID(c) == 0xFFFF || GetDlgCtrlID(c) == -1) body_ = c;
        }
        ASSERT_NE(body_, nullptr);
        SendMessageW(title_, WM_SETFONT, 0, TRUE);
        bodyText_ = Format(module_.get(), IDS_WELCOME_BODY, kProduct, kNext);
        SetWindowTextW(title_, Format(module_.get(), IDS_WELCOME_TITLE, kProduct, nullptr).c_str());
        SetWindowTextW(body_, bodyText_.c_str());

        // Two owner-drawn pictures below the body, in the page's own (mirrored) coordinates.
        RECT place = {115, 180, 0, 0};
        MapDialogRect(page_, &place);
        unmirrored_ = Picture(kUnmirroredPicture, place.left, place.top);
        plain_ = Picture(kPlainPicture, place.left + kPictureWidth + 20, place.top);

        UpdateWindow(host_);
        Sleep(300);  // let the first paint reach the window's surface
        ASSERT_TRUE(winauto::CaptureWindow(host_, capture_));
    }

    void TearDown() override {
        if (page_) DestroyWindow(page_);
        if (host_) DestroyWindow(host_);
    }

    HWND Picture(int id, int x, int y) {
        return CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, x, y,
                               kPictureWidth, kPictureHeight, page_, reinterpret_cast<HMENU>(id),
                               GetModuleHandleW(nullptr), nullptr);
    }

    static INT_PTR CALLBACK PageProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            return TRUE;
        }
        auto* self = reinterpret_cast<RtlWelcomePage*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (message == WM_DRAWITEM && self) {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == kUnmirroredPicture) {
                DrawUnmirrored(item->hDC, item->rcItem, self->halves_->get());
            } else {
                PlainBlit(item->hDC, item->rcItem, self->halves_->get());
            }
            return TRUE;
        }
        return FALSE;
    }

    // The capture's pixel at a point of the screen.
    COLORREF ScreenPixel(int x, int y) const {
        RECT frame;
        GetWindowRect(host_, &frame);
        return capture_.Pixel(x - frame.left, y - frame.top);
    }
    int DarkPixels(const RECT& screen) const {
        int dark = 0;
        for (int y = screen.top; y < screen.bottom; ++y) {
            for (int x = screen.left; x < screen.right; ++x) dark += IsDark(ScreenPixel(x, y));
        }
        return dark;
    }
    static RECT ScreenRect(HWND window) {
        RECT r = {};
        GetWindowRect(window, &r);
        return r;
    }

    std::unique_ptr<std::remove_pointer_t<HINSTANCE>, ModuleDeleter> module_;
    std::unique_ptr<Dib> halves_;
    HWND host_ = nullptr, page_ = nullptr, title_ = nullptr, body_ = nullptr;
    HWND unmirrored_ = nullptr, plain_ = nullptr;
    std::wstring bodyText_;
    winauto::Capture capture_;
};

// How text in a font comes out: black on white, in a bitmap of the given size.
std::vector<DWORD> Render(HFONT font, const std::wstring& text, int width, int height,
                          UINT format) {
    Dib dib(width, height);
    dib.Fill(0, width, RGB(255, 255, 255));
    MemoryDc dc(dib.get());
    HGDIOBJ old = SelectObject(dc.get(), font);
    SetTextColor(dc.get(), RGB(0, 0, 0));
    SetBkMode(dc.get(), TRANSPARENT);
    RECT r = {0, 0, width, height};
    DrawTextW(dc.get(), text.c_str(), int(text.size()), &r, format | DT_NOPREFIX);
    SelectObject(dc.get(), old);
    return dib.Pixels();
}

int Differences(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return n;
}

TEST_F(RtlWelcomePage, IsCapturedForAPersonToLookAt) {
    EXPECT_TRUE(winauto::SavePng(capture_, winauto::ResultsPath(L"lang_rtl_welcome_page.png")));
    EXPECT_TRUE(GetWindowLongPtrW(page_, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
}

TEST_F(RtlWelcomePage, BodyTextIsDrawnAsHebrewLettersNotBoxes) {
    RECT body = ScreenRect(body_);
    EXPECT_GT(DarkPixels(body), 200) << "no text in the body";

    // The letters in the body's own font: each of the 22 letters looks different from the
    // others and from the glyph an unassigned code point gets (the font's box), which a font
    // without Hebrew would draw for every one of them.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(body_, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    const int cell = 32;
    const UINT single = DT_SINGLELINE | DT_LEFT | DT_TOP;
    std::vector<DWORD> notdef = Render(font, L"\u0378", cell, cell, single);
    std::vector<DWORD> square = Render(font, L"\u25a1", cell, cell, single);
    std::set<std::vector<DWORD>> shapes;
    for (wchar_t letter : std::wstring(L"אבגדהוזחטיכלמנסעפצקרשת")) {
        std::vector<DWORD> shape = Render(font, std::wstring(1, letter), cell, cell, single);
        EXPECT_GT(Differences(shape, notdef), 4) << "letter U+" << std::hex << int(letter);
        EXPECT_GT(Differences(shape, square), 4) << "letter U+" << std::hex << int(letter);
        EXPECT_GT(Differences(shape, Render(font, L" ", cell, cell, single)), 4);
        shapes.insert(shape);
    }
    EXPECT_GE(shapes.size(), 20u) << "the letters come out alike: boxes";

    // The whole body as the page lays it out, against the same text with every Hebrew letter
    // made an unassigned code point.
    std::wstring boxes = bodyText_;
    for (wchar_t& c : boxes) {
        if (c >= 0x05d0 && c <= 0x05ea) c = 0x0378;
    }
    int w = body.right - body.left, h = body.bottom - body.top;
    const UINT wrapped = DT_WORDBREAK | DT_RTLREADING | DT_RIGHT;
    EXPECT_GT(
        Differences(Render(font, bodyText_, w, h, wrapped), Render(font, boxes, w, h, wrapped)),
        200);
}

TEST_F(RtlWelcomePage, LayoutIsMirrored) {
    RECT page = ScreenRect(page_), title = ScreenRect(title_), body = ScreenRect(body_);
    // The template puts the texts 5 units from the start of the line, which in a mirrored page
    // is the right edge: they stand where a left-to-right page has them, 122 units from the left,
    // beside the watermark's band (a picture, which keeps its side).
    RECT start = {5, 0, 5 + 190, 0}, beside = {122, 0, 0, 0};
    MapDialogRect(page_, &start);
    MapDialogRect(page_, &beside);
    EXPECT_NEAR(title.right, page.right - start.left, 2);
    EXPECT_NEAR(title.left, page.right - start.right, 2);
    EXPECT_NEAR(body.right, page.right - start.left, 2);
    EXPECT_NEAR(title.left, page.left + beside.left, 3);
    EXPECT_NEAR(body.left, page.left + beside.left, 3);
    // And the texts begin at the right: the right end of each static holds letters, a strip at
    // its left end (past the end of the shorter lines) holds fewer.
    RECT titleRight = {title.right - 60, title.top, title.right, title.bottom};
    EXPECT_GT(DarkPixels(titleRight), 20) << "the title does not start at the right";
    RECT bodyLastLine = {body.left, body.top, body.left + 40, body.bottom};
    RECT bodyFirstLine = {body.right - 40, body.top, body.right, body.bottom};
    EXPECT_GT(DarkPixels(bodyFirstLine), DarkPixels(bodyLastLine));
    // The two pictures were placed left to right in the page's coordinates: the first stands to
    // the right of the second on the screen.
    EXPECT_GT(ScreenRect(unmirrored_).left, ScreenRect(plain_).right);
}

// The upright check: red on the left, blue on the right of the picture on the screen.
bool IsUpright(COLORREF left, COLORREF right) { return left == kRed && right == kBlue; }

TEST_F(RtlWelcomePage, PictureDrawnUnmirroredKeepsRedOnTheLeft) {
    RECT r = ScreenRect(unmirrored_);
    int y = (r.top + r.bottom) / 2;
    COLORREF left = ScreenPixel(r.left + 3, y), right = ScreenPixel(r.right - 4, y);
    EXPECT_TRUE(IsUpright(left, right)) << std::hex << left << " " << right;
}

TEST_F(RtlWelcomePage, PlainBlitIntoTheMirroredPageFailsTheSameCheck) {
    RECT r = ScreenRect(plain_);
    int y = (r.top + r.bottom) / 2;
    COLORREF left = ScreenPixel(r.left + 3, y), right = ScreenPixel(r.right - 4, y);
    EXPECT_FALSE(IsUpright(left, right));
    EXPECT_EQ(left, kBlue);
    EXPECT_EQ(right, kRed);
}

}  // namespace
