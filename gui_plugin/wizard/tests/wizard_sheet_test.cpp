// The wizard sheet and its page base on a real Wizard97 sheet: a test wizard with the welcome
// page (exterior) and the language page (interior) from a fixture language library, the
// product's pictures from rcimage.dll. Checked from captures: the header picture and the
// watermark, the labels over them, the background colour, the header picture upright in a
// mirrored (right-to-left) sheet through GDI+ and through GDI; and the button row, the hidden
// Cancel, the colour answers, the key press and the statistics of a Next press.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "DLGSelectGUILanguage.h"
#include "DLGWelcome.h"
#include "GdiplusSession.h"
#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "NGWizard.h"
#include "WizardHelpers.h"
#include "afxmodule.h"
#include "fetchwell/loadercontrol.h"
#include "stats_record.h"
#include "winauto/winauto.h"

namespace {

constexpr COLORREF kBackground = RGB(214, 228, 200);  // not a system colour
constexpr int kLineId = 12327;

std::wstring BinPath(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

// The product's look as Initialize leaves it, and the fixture library as the resource module.
class WizardEnvironment : public testing::Environment {
public:
    void SetUp() override {
        GuiResources& r = TheGuiResources();
        r.productName = L"Brisco Test";
        r.backgroundColor = kBackground;
        r.showHeaderTitle = true;
        HMODULE pictures = LoadLibraryW(BinPath(L"rcimage.dll").c_str());
        ASSERT_TRUE(pictures);
        ASSERT_TRUE(r.headerBitmap.LoadFromResource(pictures, MAKEINTRESOURCEW(0x71)));
        ASSERT_TRUE(r.sideBitmap.LoadFromResource(pictures, MAKEINTRESOURCEW(0x72)));
        HMODULE fixture = LoadLibraryW(BinPath(L"wizard_fixture_lang.dll").c_str());
        ASSERT_TRUE(fixture);
        AfxSetResourceHandle(fixture);
    }
};
const auto* const g_environment = testing::AddGlobalTestEnvironment(new WizardEnvironment);

// What the tests look at while the wizard runs, filled from the wizard's own thread.
struct Observed {
    CRect pageBefore, pageAfter, tabBefore, tabAfter, sheetBefore, sheetAfter;
    BOOL fitted = FALSE;
};

class CTestWizard : public CNGWizard {
public:
    explicit CTestWizard(bool showCancel, int forcePageHeight = 0)
        : m_forcePageHeight(forcePageHeight) {
        GuiResources& r = TheGuiResources();
        m_bShowCancel = showCancel ? 1 : 0;
        SetWatermarkBitmap(&r.sideBitmap);
        SetHeaderBitmap(&r.headerBitmap);
        AddPage(&m_welcome);
        AddPage(&m_language);
    }

    BOOL OnInitDialog() override {
        SetProductIcons();
        CNGWizard::OnInitDialog();
        if (m_forcePageHeight) {
            // A page of a chosen height, to see the tall-page rule on a real sheet.
            CPropertyPage* page = GetActivePage();
            CRect client;
            page->GetClientRect(&client);
            ::SetWindowPos(page->m_hWnd, nullptr, 0, 0, client.Width(), m_forcePageHeight,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            Measure(m_observed.pageBefore, m_observed.tabBefore, m_observed.sheetBefore);
            m_observed.fitted = FitActivePage();
            Measure(m_observed.pageAfter, m_observed.tabAfter, m_observed.sheetAfter);
        }
        return TRUE;
    }

    CDLGWelcome m_welcome;
    CDLGSelectGUILanguage m_language;
    Observed m_observed;

private:
    void Measure(CRect& page, CRect& tab, CRect& sheet) {
        GetActivePage()->GetClientRect(&page);
        ::GetWindowRect(reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL)), &tab);
        GetWindowRect(&sheet);
    }
    int m_forcePageHeight;
};

HWND FindSheet() {
    winauto::WindowQuery query;
    query.processId = GetCurrentProcessId();
    query.className = L"#32770";
    return winauto::FindTopWindow(query);
}

HWND ActivePage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// The sheet once the page with that template control is active and painted.
HWND WaitForPage(int controlOnPage) {
    for (int i = 0; i < 200; ++i) {
        if (HWND sheet = FindSheet()) {
            HWND page = ActivePage(sheet);
            if (page && GetDlgItem(page, controlOnPage) && IsWindowVisible(page)) {
                Sleep(400);  // posted button changes and painting
                return sheet;
            }
        }
        Sleep(50);
    }
    return nullptr;
}

void Click(HWND sheet, int id) {
    HWND button = GetDlgItem(sheet, id);
    ASSERT_TRUE(button && IsWindowVisible(button) && IsWindowEnabled(button)) << id;
    winauto::PressButton(button);
}

// Runs the wizard on this thread while steps drive it from another; a wizard left open by a
// failed step is cancelled so that the test ends.
INT_PTR RunDriven(CPropertySheet& wizard, const std::function<void()>& steps) {
    std::thread driver([&] {
        steps();
        for (int i = 0; i < 150 && FindSheet(); ++i) {
            if (i >= 20) PostMessageW(FindSheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            Sleep(100);
        }
    });
    INT_PTR result = wizard.DoModal();
    driver.join();
    return result;
}

CRect RectIn(HWND window, HWND child) {
    CRect rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 200; }

// A picture as the wizard draws it stretched over width x height, to compare captures with.
struct Expected {
    CDC dc;
    CBitmap bitmap;
    HGDIOBJ previous = nullptr;
    Expected(CDIBitmap& picture, int width, int height) {
        CClientDC screen(nullptr);
        dc.CreateCompatibleDC(&screen);
        bitmap.CreateCompatibleBitmap(&screen, width, height);
        previous = dc.SelectObject(&bitmap);
        picture.Draw(&dc, 0, 0, width, height);
    }
    ~Expected() { dc.SelectObject(previous); }
    COLORREF At(int x, int y) const { return dc.GetPixel(x, y); }
};

// The captured pixel (the capture is of sheet) at a point of window's client area.
COLORREF PixelOf(const winauto::Capture& capture, HWND sheet, HWND window, POINT point) {
    MapWindowPoints(window, sheet, &point, 1);
    return winauto::ClientPixel(capture, sheet, point);
}

// Share of the points of area (in window's client coordinates) whose captured pixel is the
// expected picture's pixel at the same place of window.
double ShareLikePicture(const winauto::Capture& capture, HWND sheet, HWND window, const CRect& area,
                        const Expected& expected, int step) {
    int alike = 0, all = 0;
    for (int y = area.top; y < area.bottom; y += step) {
        for (int x = area.left; x < area.right; x += step) {
            ++all;
            if (Near(PixelOf(capture, sheet, window, POINT{x, y}), expected.At(x, y), 24)) ++alike;
        }
    }
    return all ? static_cast<double>(alike) / all : 0.0;
}

int DarkPixels(const winauto::Capture& capture, HWND sheet, HWND window, const CRect& area) {
    int dark = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (IsDark(PixelOf(capture, sheet, window, POINT{x, y}))) ++dark;
        }
    }
    return dark;
}

TEST(WizardLooks, ExteriorPageShowsTheWatermarkWithTransparentLabels) {
    CTestWizard wizard(true);
    RunDriven(wizard, [&] {
        HWND sheet = WaitForPage(1015);
        ASSERT_TRUE(sheet);
        HWND page = ActivePage(sheet);
        winauto::Capture capture;
        ASSERT_TRUE(winauto::CaptureWindow(sheet, capture));
        winauto::SavePng(capture, winauto::ResultsPath(L"wizard_exterior_page.png"));

        CRect client;
        GetClientRect(page, &client);
        Expected watermark(TheGuiResources().sideBitmap, client.Width(), client.Height());
        // The watermark stretched over the whole page (here its dark band and mark, where no
        // control covers it).
        CRect band(0, 0, client.Width() / 3, client.Height() / 2);
        EXPECT_GT(ShareLikePicture(capture, sheet, page, band, watermark, 3), 0.9);
        // A label over the picture's dark band: its letters, and the picture around them, not a
        // box of another colour.
        CRect label = RectIn(page, GetDlgItem(page, 1022));
        EXPECT_GT(DarkPixels(capture, sheet, page, label), 5);
        EXPECT_GT(ShareLikePicture(capture, sheet, page, label, watermark, 2), 0.6);
        // The title is written, in the system font, over the picture.
        CRect title = RectIn(page, GetDlgItem(page, 1015));
        EXPECT_GT(DarkPixels(capture, sheet, page, title), 10);
        EXPECT_EQ(winauto::GetText(GetDlgItem(page, 1015)), L"Welcome to Brisco Test");
        std::wstring body = winauto::GetText(GetDlgItem(page, -1));
        // The button's caption as it reads: its mnemonic mark would show as is in the text.
        std::wstring next = winauto::GetText(GetDlgItem(sheet, ID_WIZNEXT));
        next.erase(std::remove(next.begin(), next.end(), L'&'), next.end());
        EXPECT_EQ(body, L"Setup will install Brisco Test. Press " + next + L" to go on.");
        Click(sheet, IDCANCEL);
    });
}

TEST(WizardTexts, ButtonCaptionsReadWithoutTheirMnemonicMarks) {
    struct {
        const wchar_t* caption;
        const wchar_t* text;
    } cases[] = {
        {L"&Next >", L"Next >"},         {L"Save && &Go", L"Save & Go"}, {L"&&&x", L"&x"},
        {L"ends with &", L"ends with "}, {L"Next >", L"Next >"},         {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(wizard_helpers::CaptionAsText(c.caption), c.text) << c.caption;
    }
}

TEST(WizardLooks, InteriorPageShowsTheHeaderPictureAndTheProductsBackground) {
    CTestWizard wizard(true);
    RunDriven(wizard, [&] {
        HWND sheet = WaitForPage(1015);
        ASSERT_TRUE(sheet);
        Click(sheet, ID_WIZNEXT);
        sheet = WaitForPage(1001);
        ASSERT_TRUE(sheet);
        HWND page = ActivePage(sheet);
        winauto::Capture capture;
        ASSERT_TRUE(winauto::CaptureWindow(sheet, capture));
        winauto::SavePng(capture, winauto::ResultsPath(L"wizard_interior_page.png"));

        CRect band;
        GetClientRect(sheet, &band);
        band.bottom = RectIn(sheet, GetDlgItem(sheet, kLineId)).top - 1;
        ASSERT_GT(band.Height(), 20);
        Expected header(TheGuiResources().headerBitmap, band.Width(), band.Height());
        // The picture across the band, apart from the header title's place.
        CRect rightPart(band.Width() / 2, 0, band.right, band.bottom);
        EXPECT_GT(ShareLikePicture(capture, sheet, sheet, rightPart, header, 3), 0.9);
        // The header title, readable over it.
        CRect titleArea(20, 8, 20 + 160, 28);
        EXPECT_GT(DarkPixels(capture, sheet, sheet, titleArea), 20);
        EXPECT_GT(ShareLikePicture(capture, sheet, sheet, titleArea, header, 2), 0.5);

        // The page in the product's colour, its label on that colour.
        CRect client;
        GetClientRect(page, &client);
        EXPECT_EQ(PixelOf(capture, sheet, page, POINT{client.right - 5, client.bottom - 5}),
                  kBackground);
        CRect label = RectIn(page, GetDlgItem(page, 1030));
        EXPECT_EQ(PixelOf(capture, sheet, page, POINT{label.right - 2, label.bottom - 2}),
                  kBackground);
        EXPECT_GT(DarkPixels(capture, sheet, page, label), 5);
        // The sheet's own background below the pages, around the buttons.
        CRect sheetClient;
        GetClientRect(sheet, &sheetClient);
        EXPECT_EQ(winauto::ClientPixel(capture, sheet, POINT{3, sheetClient.bottom - 3}),
                  kBackground);
        Click(sheet, IDCANCEL);
    });
}

// A picture with a red left half and a blue right half: a reflected copy shows which way round
// it was drawn.
constexpr COLORREF kLeftHalf = RGB(220, 0, 0);
constexpr COLORREF kRightHalf = RGB(0, 0, 220);

// A 24-bit DIB section, as the product's pictures are loaded (LR_CREATEDIBSECTION).
bool MakeHalves(CDIBitmap& picture, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) return false;
    const int stride = (width * 3 + 3) & ~3;
    for (int y = 0; y < height; ++y) {
        BYTE* row = static_cast<BYTE*>(bits) + y * stride;
        for (int x = 0; x < width; ++x) {
            COLORREF color = x < width / 2 ? kLeftHalf : kRightHalf;
            row[x * 3] = GetBValue(color);
            row[x * 3 + 1] = GetGValue(color);
            row[x * 3 + 2] = GetRValue(color);
        }
    }
    picture.m_bitmap.Attach(section);
    CClientDC screen(nullptr);
    return picture.CreateFromBitmap(&screen, &picture.m_bitmap) != FALSE;
}

// A wizard of the language page alone under a header picture, built and shown while the given
// language library is the resource module (the right-to-left one mirrors its pages; the process's
// default layout mirrors the sheet).
class CHeaderWizard : public CNGWizard {
public:
    explicit CHeaderWizard(CDIBitmap* header) {
        m_bShowCancel = 1;
        SetHeaderBitmap(header);
        AddPage(&m_language);
    }
    CDLGSelectGUILanguage m_language;
};

struct HeaderCase {
    const char* name;
    const wchar_t* library;
    bool rightToLeft;  // the process's windows mirrored, as for a user whose language reads so
    bool gdi;          // drawn through GDI, as where GDI+ is missing or fails
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class HeaderPicture : public testing::TestWithParam<HeaderCase> {};

// Read on the screen, as a person sees it: the picture's left half on the left in both layouts.
TEST_P(HeaderPicture, StaysUprightInEitherLayout) {
    const HeaderCase& c = GetParam();
    CDIBitmap halves;
    ASSERT_TRUE(MakeHalves(halves, 200, 40));
    HMODULE library = LoadLibraryW(BinPath(c.library).c_str());
    ASSERT_TRUE(library);
    HINSTANCE fixture = AfxGetResourceHandle();
    AfxSetResourceHandle(library);
    DWORD layout = 0;
    GetProcessDefaultLayout(&layout);
    SetProcessDefaultLayout(c.rightToLeft ? LAYOUT_RTL : 0);
    SetGdiplusUnavailableForTesting(c.gdi);
    {
        CHeaderWizard wizard(&halves);
        RunDriven(wizard, [&] {
            HWND sheet = WaitForPage(1001);
            ASSERT_TRUE(sheet);
            EXPECT_EQ((GetWindowLongPtrW(sheet, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0,
                      c.rightToLeft);
            winauto::Capture capture;
            ASSERT_TRUE(winauto::CaptureWindow(sheet, capture));
            winauto::SavePng(capture, winauto::ResultsPath((std::wstring(L"wizard_header_") +
                                                            (c.rightToLeft ? L"rtl" : L"ltr") +
                                                            (c.gdi ? L"_gdi" : L"") + L".png")
                                                               .c_str()));
            // The band on the screen: from the client area's top down to the etched line, as
            // wide as the line.
            CRect frame, line;
            GetWindowRect(sheet, &frame);
            GetWindowRect(GetDlgItem(sheet, kLineId), &line);
            POINT top = {0, 0};
            ClientToScreen(sheet, &top);
            const int height = line.top - 1 - top.y, width = line.Width();
            ASSERT_GT(height, 20);
            ASSERT_GT(width, 200);
            // Below the header title, in each half.
            int left = 0, right = 0, all = 0;
            for (int y = top.y + height * 6 / 10; y < line.top - 3; y += 3) {
                for (int i = 1; i < 10; ++i) {
                    if (i == 5) continue;
                    int x = line.left + width * i / 10;
                    COLORREF pixel = capture.Pixel(x - frame.left, y - frame.top);
                    ++all;
                    if (Near(pixel, i < 5 ? kLeftHalf : kRightHalf, 40)) ++(i < 5 ? left : right);
                }
            }
            EXPECT_EQ(left + right, all)
                << "left half right: " << left << ", right half right: " << right << " of " << all;
            Click(sheet, IDCANCEL);
        });
    }
    SetGdiplusUnavailableForTesting(false);
    SetProcessDefaultLayout(layout);
    AfxSetResourceHandle(fixture);
    FreeLibrary(library);
}

const HeaderCase kHeaderCases[] = {
    {"LeftToRight", L"wizard_fixture_lang.dll", false, false},
    {"RightToLeft", L"fetchwellGUI_he.dll", true, false},
    {"LeftToRightThroughGdi", L"wizard_fixture_lang.dll", false, true},
    {"RightToLeftThroughGdi", L"fetchwellGUI_he.dll", true, true},
};

INSTANTIATE_TEST_SUITE_P(Layouts, HeaderPicture, testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ButtonRow {
    CRect back, next, finish, cancel;
};

ButtonRow ReadButtons(HWND sheet) {
    ButtonRow row;
    row.back = RectIn(sheet, GetDlgItem(sheet, ID_WIZBACK));
    row.next = RectIn(sheet, GetDlgItem(sheet, ID_WIZNEXT));
    row.finish = RectIn(sheet, GetDlgItem(sheet, ID_WIZFINISH));
    row.cancel = RectIn(sheet, GetDlgItem(sheet, IDCANCEL));
    return row;
}

TEST(WizardButtons, CancelTakesNextsPlaceAndTheOthersMoveAlong) {
    // The row of a plain wizard of the same pages, then of the product's.
    ButtonRow plain;
    {
        CDLGWelcome welcome;
        CDLGSelectGUILanguage language;
        CPropertySheet sheet(L"");
        sheet.m_psh.dwFlags |= PSH_WIZARD | PSH_WIZARD97 | PSH_HEADER | PSH_USEHBMHEADER |
                               PSH_WATERMARK | PSH_USEHBMWATERMARK;
        sheet.AddPage(&welcome);
        sheet.AddPage(&language);
        RunDriven(sheet, [&] {
            HWND window = WaitForPage(1015);
            ASSERT_TRUE(window);
            plain = ReadButtons(window);
            Click(window, IDCANCEL);
        });
    }
    ButtonRow moved;
    CTestWizard wizard(true);
    RunDriven(wizard, [&] {
        HWND window = WaitForPage(1015);
        ASSERT_TRUE(window);
        moved = ReadButtons(window);
        Click(window, IDCANCEL);
    });
    const int dx = plain.next.left - plain.cancel.left;
    ASSERT_NE(dx, 0);
    EXPECT_EQ(moved.cancel, CRect(plain.next.left, plain.cancel.top,
                                  plain.next.left + plain.cancel.Width(), plain.cancel.bottom));
    for (auto [before, after] : {std::pair{plain.back, moved.back},
                                 {plain.next, moved.next},
                                 {plain.finish, moved.finish}}) {
        CRect shifted = before;
        shifted.OffsetRect(dx, 0);
        EXPECT_EQ(after, shifted);
    }
}

TEST(WizardButtons, CancelStaysHiddenOnEveryPageWhenThePluginSaysSo) {
    for (bool showCancel : {true, false}) {
        CTestWizard wizard(showCancel);
        std::vector<bool> shown;
        RunDriven(wizard, [&] {
            HWND sheet = WaitForPage(1015);
            ASSERT_TRUE(sheet);
            shown.push_back(IsWindowVisible(GetDlgItem(sheet, IDCANCEL)) != FALSE);
            Click(sheet, ID_WIZNEXT);
            ASSERT_TRUE(WaitForPage(1001));
            shown.push_back(IsWindowVisible(GetDlgItem(sheet, IDCANCEL)) != FALSE);
            // The language page of this wizard shows no Back button of its own.
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_BACK, 0);
            ASSERT_TRUE(WaitForPage(1015));
            shown.push_back(IsWindowVisible(GetDlgItem(sheet, IDCANCEL)) != FALSE);
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);  // Esc, as a user may
        });
        EXPECT_EQ(shown, std::vector<bool>(3, showCancel)) << "showCancel " << showCancel;
    }
}

TEST(WizardStart, TakesTheForegroundWithoutTypingOrHoldingAKey) {
    WNDCLASSEXW before = {};
    before.cbSize = sizeof(before);
    ASSERT_TRUE(GetClassInfoExW(nullptr, L"#32770", &before));
    CTestWizard wizard(true);
    std::wstring typed = L"?";
    RunDriven(wizard, [&] {
        HWND sheet = WaitForPage(1015);
        ASSERT_TRUE(sheet);
        Sleep(300);
        typed = winauto::GetText(GetDlgItem(ActivePage(sheet), 1020));
        EXPECT_EQ(GetForegroundWindow(), sheet);
        EXPECT_EQ(GetClassLongPtrW(sheet, GCL_STYLE), static_cast<ULONG_PTR>(before.style));
        for (int key : {0x88, static_cast<int>('C'), VK_DELETE}) {
            EXPECT_EQ(GetAsyncKeyState(key) & 0x8000, 0) << key;
        }
        Click(sheet, IDCANCEL);
    });
    EXPECT_EQ(typed, L"");
    // Every dialog of the process keeps its class style.
    WNDCLASSEXW after = {};
    after.cbSize = sizeof(after);
    ASSERT_TRUE(GetClassInfoExW(nullptr, L"#32770", &after));
    EXPECT_EQ(after.style, before.style);
}

TEST(WizardPageSize, TallPagesBecomeNarrowerAndTaller) {
    struct Case {
        SIZE page, expected;
    } cases[] = {
        {{476, 497}, {476, 497}},
        {{476, 498}, {393, 517}},
        {{300, 0}, {300, 0}},
        {{600, 700}, {517, 719}},
    };
    for (const Case& c : cases) {
        SIZE got = FittedPageSize(c.page);
        EXPECT_EQ(got.cx, c.expected.cx) << c.page.cx << "x" << c.page.cy;
        EXPECT_EQ(got.cy, c.expected.cy) << c.page.cx << "x" << c.page.cy;
    }
}

TEST(WizardPageSize, OnARealSheetThePageTheTabControlAndTheSheetChangeTogether) {
    for (int height : {497, 498}) {
        CTestWizard wizard(true, height);
        RunDriven(wizard, [&] {
            HWND sheet = WaitForPage(1015);
            ASSERT_TRUE(sheet);
            Click(sheet, IDCANCEL);
        });
        const Observed& o = wizard.m_observed;
        const int dx = height > 497 ? -83 : 0, dy = height > 497 ? 19 : 0;
        EXPECT_EQ(o.fitted != FALSE, height > 497);
        EXPECT_EQ(o.pageAfter.Width() - o.pageBefore.Width(), dx) << height;
        EXPECT_EQ(o.pageAfter.Height() - o.pageBefore.Height(), dy) << height;
        EXPECT_EQ(o.tabAfter.Width() - o.tabBefore.Width(), dx) << height;
        EXPECT_EQ(o.tabAfter.Height() - o.tabBefore.Height(), dy) << height;
        EXPECT_EQ(o.sheetAfter.Width() - o.sheetBefore.Width(), dx) << height;
        EXPECT_EQ(o.sheetAfter.Height() - o.sheetBefore.Height(), dy) << height;
    }
}

// What a window answers to one colour request.
struct ColourAnswer {
    HBRUSH brush;
    int mode;
    COLORREF background;
};

ColourAnswer AskColour(HWND window, UINT message, HWND control) {
    CClientDC screen(nullptr);
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(1, 2, 3));
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        window, message, reinterpret_cast<WPARAM>(HDC(dc)), reinterpret_cast<LPARAM>(control)));
    return ColourAnswer{brush, GetBkMode(dc), GetBkColor(dc)};
}

enum class Want {
    kNullTransparent,
    kBackground,
    kBackgroundWithColour,
    kDefault
};

TEST(WizardColours, EachKindOfRequestGetsItsBrushAndMode) {
    CTestWizard wizard(true);
    struct Row {
        const char* where;
        int page;      // control id on the page to activate (1015 welcome, 1001 language)
        bool toSheet;  // the request goes to the sheet (else to the active page)
        bool inBand;   // the control sits in the header band (sheet requests)
        bool trackbar;
        UINT message;
        Want want;
    };
    const Row rows[] = {
        // The sheet, with the interior page showing its header.
        {"sheet/band/button", 1001, true, true, false, WM_CTLCOLORBTN, Want::kNullTransparent},
        {"sheet/band/static", 1001, true, true, false, WM_CTLCOLORSTATIC, Want::kNullTransparent},
        {"sheet/band/trackbar", 1001, true, true, true, WM_CTLCOLORSTATIC, Want::kDefault},
        {"sheet/band/edit", 1001, true, true, false, WM_CTLCOLOREDIT, Want::kBackground},
        {"sheet/below/static", 1001, true, false, false, WM_CTLCOLORSTATIC, Want::kBackground},
        {"sheet/below/button", 1001, true, false, false, WM_CTLCOLORBTN, Want::kBackground},
        {"sheet/dialog", 1001, true, false, false, WM_CTLCOLORDLG, Want::kBackground},
        // The sheet while the exterior page shows: no header band at all.
        {"sheet/exterior/static", 1015, true, true, false, WM_CTLCOLORSTATIC, Want::kBackground},
        // The interior page: the product's colour, list boxes and edits as the system has them.
        {"interior/button", 1001, false, false, false, WM_CTLCOLORBTN, Want::kBackgroundWithColour},
        {"interior/static", 1001, false, false, false, WM_CTLCOLORSTATIC,
         Want::kBackgroundWithColour},
        {"interior/dialog", 1001, false, false, false, WM_CTLCOLORDLG, Want::kBackground},
        {"interior/listbox", 1001, false, false, false, WM_CTLCOLORLISTBOX, Want::kDefault},
        {"interior/edit", 1001, false, false, false, WM_CTLCOLOREDIT, Want::kDefault},
        // The exterior page over its watermark.
        {"exterior/button", 1015, false, false, false, WM_CTLCOLORBTN, Want::kNullTransparent},
        {"exterior/static", 1015, false, false, false, WM_CTLCOLORSTATIC, Want::kNullTransparent},
        {"exterior/trackbar", 1015, false, false, true, WM_CTLCOLORSTATIC, Want::kDefault},
        {"exterior/edit", 1015, false, false, false, WM_CTLCOLOREDIT, Want::kDefault},
    };
    const HBRUSH nullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    RunDriven(wizard, [&] {
        HWND sheet = WaitForPage(1015);
        ASSERT_TRUE(sheet);
        // Probe controls of the sheet: one in the header band, one below it.
        HWND inBand = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 300, 2, 20, 10, sheet, nullptr,
                                      nullptr, nullptr);
        HWND trackInBand = CreateWindowExW(0, TRACKBAR_CLASSW, L"", WS_CHILD, 330, 2, 40, 10, sheet,
                                           nullptr, nullptr, nullptr);
        CRect client;
        GetClientRect(sheet, &client);
        HWND below = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 2, client.bottom - 12, 20, 10,
                                     sheet, nullptr, nullptr, nullptr);
        ASSERT_TRUE(inBand && trackInBand && below);
        bool onInterior = false;
        for (int pass = 0; pass < 2; ++pass) {
            for (const Row& row : rows) {
                if ((row.page == 1001) != onInterior) continue;
                HWND target = row.toSheet ? sheet : ActivePage(sheet);
                HWND control;
                if (row.toSheet) {
                    control = row.trackbar ? trackInBand : row.inBand ? inBand : below;
                } else if (row.trackbar) {
                    control = GetDlgItem(target, 1021);
                } else {
                    control = GetDlgItem(target, row.message == WM_CTLCOLORLISTBOX ? 1001
                                                 : row.message == WM_CTLCOLOREDIT  ? 1020
                                                 : row.message == WM_CTLCOLORBTN   ? 1032
                                                                                   : 1015);
                    if (!control) control = GetDlgItem(target, 1030);
                }
                if (row.message == WM_CTLCOLORDLG) control = target;
                ColourAnswer got = AskColour(target, row.message, control);
                switch (row.want) {
                    case Want::kNullTransparent:
                        EXPECT_EQ(got.brush, nullBrush) << row.where;
                        EXPECT_EQ(got.mode, TRANSPARENT) << row.where;
                        break;
                    case Want::kBackground:
                    case Want::kBackgroundWithColour:
                        EXPECT_NE(got.brush, nullBrush) << row.where;
                        EXPECT_NE(got.brush, nullptr) << row.where;
                        {
                            LOGBRUSH info = {};
                            GetObjectW(got.brush, sizeof(info), &info);
                            EXPECT_EQ(info.lbColor, kBackground) << row.where;
                        }
                        EXPECT_EQ(got.mode, OPAQUE) << row.where;
                        EXPECT_EQ(got.background, row.want == Want::kBackgroundWithColour
                                                      ? kBackground
                                                      : RGB(1, 2, 3))
                            << row.where;
                        break;
                    case Want::kDefault: {
                        LOGBRUSH info = {};
                        if (got.brush) GetObjectW(got.brush, sizeof(info), &info);
                        EXPECT_NE(got.brush, nullBrush) << row.where;
                        EXPECT_FALSE(got.brush && info.lbStyle == BS_SOLID &&
                                     info.lbColor == kBackground)
                            << row.where;
                        break;
                    }
                }
            }
            if (!onInterior) {
                Click(sheet, ID_WIZNEXT);
                ASSERT_TRUE(WaitForPage(1001));
                onInterior = true;
            }
        }
        DestroyWindow(inBand);
        DestroyWindow(trackInBand);
        DestroyWindow(below);
        Click(sheet, IDCANCEL);
    });
}

#ifdef KY_STATS_RECORDED
TEST(WizardStatistics, NextOnEachPageReportsItsAction) {
    // Earlier tests of this process sent requests with the same random identifier: this test's
    // are the ones that come after them.
    std::wstring rnd(TrakkoRequest::GetInstance()->m_randomId);
    ASSERT_EQ(rnd.size(), 40u);
    ASSERT_TRUE(TrakkoRequest::GetInstance()->WaitForAll());
    Sleep(500);
    const size_t earlier = statstest::ReadRequests("answer", rnd).size();
    CTestWizard wizard(true);
    RunDriven(wizard, [&] {
        HWND sheet = WaitForPage(1015);
        ASSERT_TRUE(sheet);
        Click(sheet, ID_WIZNEXT);
        ASSERT_TRUE(WaitForPage(1001));
        // The user picks "de" in the list (an item without a flag: the fixture has none).
        HWND list = GetDlgItem(ActivePage(sheet), 1001);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"de"));
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        UpdateWindow(list);  // the drawn selection is what the page takes as its code
        // The language page is the last: its Finish carries the Next caption.
        SendMessageW(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
        Sleep(200);
        Click(sheet, ID_WIZFINISH);
    });
    std::vector<std::string> all = statstest::WaitForRequests("answer", rnd, earlier + 2, 15000);
    ASSERT_EQ(all.size(), earlier + 2);
    std::vector<std::string> requests(all.end() - 2, all.end());
    EXPECT_EQ(statstest::QueryValue(requests[0], "action"), "FETCHWELL_DLG_WELCOME_NEXT");
    EXPECT_EQ(statstest::QueryValue(requests[1], "action"), "FETCHWELL_DLG_SELECT_LANG_NEXT");
    for (const std::string& request : requests) {
        for (const char* key : {"lngprod", "product_id", "build", "rnd", "action"}) {
            EXPECT_NE(statstest::QueryValue(request, key), "<missing>") << key << " " << request;
            EXPECT_NE(statstest::QueryValue(request, key), "<repeated>") << key << " " << request;
        }
        EXPECT_EQ(statstest::QueryValue(request, "rnd"), statstest::Narrow(rnd));
    }
    // The language page's code became the statistics language before its report.
    EXPECT_EQ(std::wstring(GetStatsLanguage()), L"de");
    wchar_t converted[32] = {};
    ConvertProductLanguageForUserAgent(L"de", converted, 32);
    EXPECT_EQ(statstest::DecodeValue(statstest::QueryValue(requests[1], "lngprod")),
              std::wstring(converted));
    EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll());
}
#endif

}  // namespace
