// In a high-contrast theme the button and the message box keep the system's colours.
#include <gtest/gtest.h>

#include <winauto/winauto.h>

#include "Colors.h"
#include "MFCCTRLButton.h"
#include "MFCCTRLMessageBox.h"

namespace {

// Switches the theme on for the test's life (for this session only, not written to the profile).
// Where the system keeps no such setting (Wine), the test variant's switch stands in for it.
class HighContrast {
public:
    HighContrast() {
        if (!(Set(true) && IsHighContrast())) SetHighContrastForTesting(1);
        m_bOn = IsHighContrast();
    }
    ~HighContrast() {
        SetHighContrastForTesting(-1);
        Set(false);
    }
    bool On() const { return m_bOn; }

private:
    static bool Set(bool on) {
        HIGHCONTRASTW contrast = {};
        contrast.cbSize = sizeof(contrast);
        contrast.dwFlags = on ? HCF_HIGHCONTRASTON : 0;
        return SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(contrast), &contrast, 0) != FALSE;
    }
    bool m_bOn = false;
};

TEST(HighContrastTheme, ColoursComeFromTheSystem) {
    EXPECT_EQ(ThemeColor(RGB(1, 2, 3), COLOR_BTNFACE), RGB(1, 2, 3));
    HighContrast theme;
    ASSERT_TRUE(theme.On());
    EXPECT_EQ(ThemeColor(RGB(1, 2, 3), COLOR_BTNFACE), GetSysColor(COLOR_BTNFACE));
}

TEST(HighContrastTheme, TheButtonDrawsInSystemColours) {
    HighContrast theme;
    ASSERT_TRUE(theme.On());
    HWND parent = CreateWindowExW(WS_EX_TOPMOST, L"#32770", L"", WS_POPUP | WS_VISIBLE, 0, 0, 120,
                                  50, nullptr, nullptr, nullptr, nullptr);
    CWnd parentWnd;
    ASSERT_TRUE(parentWnd.SubclassWindow(parent));
    HWND window = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 10, 10, 80, 28,
                                  parent, nullptr, nullptr, nullptr);
    CMFCCTRLButton button;
    ASSERT_TRUE(button.SubclassWindow(window));
    button.SendMessage(WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
    winauto::Capture capture;
    ASSERT_TRUE(winauto::CaptureWindow(window, capture));
    winauto::SavePng(capture, winauto::ResultsPath(L"controls_button_high_contrast.png"));
    EXPECT_EQ(capture.Pixel(40, 14), GetSysColor(COLOR_BTNFACE)) << "the face";
    int product = 0;
    for (uint32_t p : capture.pixels) {
        COLORREF c = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        if (c == RGB(244, 244, 240) || c == RGB(0, 60, 116) || c == RGB(252, 210, 121)) ++product;
    }
    EXPECT_EQ(product, 0) << "no product colour in a high-contrast theme";
    DestroyWindow(parent);
}

TEST(HighContrastTheme, TheMessageBoxKeepsTheSystemsBackground) {
    HighContrast theme;
    ASSERT_TRUE(theme.On());
    CMFCCTRLMessageBox box(static_cast<HWND>(nullptr));
    box.SetColors(RGB(20, 40, 120), RGB(250, 244, 225));
    struct Seen {
        DWORD threadId;
        COLORREF background;
    } seen = {GetCurrentThreadId(), 0};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Seen*>(p);
            winauto::WindowQuery query;
            query.processId = GetCurrentProcessId();
            query.className = L"#32770";
            HWND box = winauto::WaitForWindow(query, 10000);
            if (!box) return 1;
            winauto::Capture capture;
            if (winauto::CaptureWindow(box, capture)) {
                s->background = winauto::ClientPixel(capture, box, POINT{4, 4});
            }
            winauto::PressDialogButton(box, IDOK);
            return 0;
        },
        &seen, 0, nullptr);
    EXPECT_EQ(box.Show(L"Text", L"High contrast", MB_OK), IDOK);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_NE(seen.background, RGB(250, 244, 225));
    EXPECT_EQ(seen.background, GetSysColor(COLOR_BTNFACE));
}

}  // namespace
