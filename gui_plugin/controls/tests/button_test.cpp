// The owner-drawn button on real windows: its dialog codes through default-button moves, and its
// look in each state, read from captures that are kept as PNG files among the test results.
#include <gtest/gtest.h>

#include <winauto/winauto.h>

#include <string>

#include "MFCCTRLButton.h"
#include "afxwin.h"

namespace {

const wchar_t* ParentClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(RGB(200, 220, 240));
        wc.lpszClassName = L"KyButtonTestParent";
        RegisterClassW(&wc);
        return L"KyButtonTestParent";
    }();
    return name;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

struct TypeCase {
    DWORD type;
    UINT dlgCodeBit;  // the push-button bit it reports (0: none)
    bool pushButton;
};

TEST(OwnerDrawnButton, ReportsItsDefaultStateThroughDefaultButtonMoves) {
    const TypeCase cases[] = {
        {BS_DEFPUSHBUTTON, DLGC_DEFPUSHBUTTON, true},
        {BS_PUSHBUTTON, DLGC_UNDEFPUSHBUTTON, true},
        {BS_AUTOCHECKBOX, 0, false},
    };
    HWND parent = CreateWindowExW(0, ParentClass(), L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    CWnd parentWnd;
    ASSERT_TRUE(parentWnd.SubclassWindow(parent));
    for (const TypeCase& c : cases) {
        HWND window = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | c.type, 0, 0, 80, 24, parent,
                                      nullptr, nullptr, nullptr);
        CMFCCTRLButton button;
        ASSERT_TRUE(button.SubclassWindow(window));
        EXPECT_EQ(button.GetStyle() & 0x0F, static_cast<DWORD>(BS_OWNERDRAW));
        EXPECT_EQ(button.m_bPushButton != FALSE, c.pushButton);
        UINT code = static_cast<UINT>(button.SendMessage(WM_GETDLGCODE));
        EXPECT_EQ(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON), c.dlgCodeBit) << c.type;
        if (c.pushButton) {
            // The dialog manager makes another button the default, then this one again.
            button.SendMessage(BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            EXPECT_EQ(button.SendMessage(WM_GETDLGCODE) & DLGC_UNDEFPUSHBUTTON,
                      static_cast<LRESULT>(DLGC_UNDEFPUSHBUTTON));
            EXPECT_EQ(button.GetStyle() & 0x0F, static_cast<DWORD>(BS_OWNERDRAW));
            button.SendMessage(BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            EXPECT_EQ(button.SendMessage(WM_GETDLGCODE) & DLGC_DEFPUSHBUTTON,
                      static_cast<LRESULT>(DLGC_DEFPUSHBUTTON));
            EXPECT_EQ(button.GetStyle() & 0x0F, static_cast<DWORD>(BS_OWNERDRAW));
        }
        EXPECT_EQ(button.GetWindowText(), L"OK") << "the caption stays the window's text";
        DestroyWindow(window);
    }
    DestroyWindow(parent);
}

// What a capture of one button shows.
struct Look {
    int orange = 0;  // pixels of the hover frame's colours
    int blue = 0;    // pixels of the focus frame's colours
    int black = 0;   // text pixels
    int textLeft = 1 << 20, textTop = 1 << 20;
};

Look LookAt(const winauto::Capture& c) {
    Look look;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            COLORREF p = c.Pixel(x, y);
            if (p == RGB(252, 210, 121) || p == RGB(250, 196, 88) || p == RGB(229, 151, 0) ||
                p == RGB(251, 202, 106)) {
                ++look.orange;
            }
            if (p == RGB(162, 201, 255) || p == RGB(153, 198, 252) || p == RGB(162, 189, 252)) {
                ++look.blue;
            }
            if (p == RGB(0, 0, 0)) {
                ++look.black;
                if (x < look.textLeft) look.textLeft = x;
                if (y < look.textTop) look.textTop = y;
            }
        }
    }
    return look;
}

TEST(OwnerDrawnButton, DrawsEachStateAndKeepsTheCaptures) {
    HWND parent = CreateWindowExW(WS_EX_TOPMOST, ParentClass(), L"Buttons", WS_POPUP | WS_VISIBLE,
                                  0, 0, 470, 50, nullptr, nullptr, nullptr, nullptr);
    // The parent hands WM_DRAWITEM back to the buttons: it is a framework window too.
    CWnd parentWnd;
    ASSERT_TRUE(parentWnd.SubclassWindow(parent));
    const wchar_t* names[] = {L"normal", L"hover", L"pressed", L"default", L"disabled"};
    CMFCCTRLButton buttons[5];
    for (int i = 0; i < 5; ++i) {
        DWORD type = i == 3 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        HWND window = CreateWindowExW(
            0, L"BUTTON", L"&Next", WS_CHILD | WS_VISIBLE | type, 10 + 90 * i, 10, 80, 28, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + i)), nullptr, nullptr);
        ASSERT_TRUE(buttons[i].SubclassWindow(window));
    }
    buttons[1].SendMessage(WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
    buttons[2].SendMessage(BM_SETSTATE, TRUE);
    SetForegroundWindow(parent);
    SetFocus(buttons[3]);
    buttons[4].EnableWindow(FALSE);
    UpdateWindow(parent);
    Pump();

    Look looks[5];
    for (int i = 0; i < 5; ++i) {
        winauto::Capture capture;
        ASSERT_TRUE(winauto::CaptureWindow(buttons[i], capture));
        std::wstring file = std::wstring(L"controls_button_") + names[i] + L".png";
        EXPECT_TRUE(winauto::SavePng(capture, winauto::ResultsPath(file.c_str())));
        looks[i] = LookAt(capture);
        // The outermost corner pixel takes the parent's colour: the corners look round.
        EXPECT_EQ(capture.Pixel(0, 0), RGB(200, 220, 240)) << names[i];
    }
    winauto::Capture all;
    if (winauto::CaptureWindow(parent, all)) {
        winauto::SavePng(all, winauto::ResultsPath(L"controls_button_states.png"));
    }

    EXPECT_EQ(looks[0].orange, 0);
    EXPECT_EQ(looks[0].blue, 0);
    EXPECT_GT(looks[0].black, 10) << "text in the text colour";
    EXPECT_GT(looks[1].orange, 20) << "hover frame";
    EXPECT_EQ(looks[1].blue, 0);
    EXPECT_EQ(looks[2].textLeft, looks[0].textLeft + 1) << "pressed text moves right";
    EXPECT_EQ(looks[2].textTop, looks[0].textTop + 1) << "and down";
    EXPECT_GT(looks[3].blue, 20) << "the focused default button has the focus frame";
    EXPECT_EQ(looks[3].orange, 0);
    EXPECT_EQ(looks[4].black, 0) << "disabled text is embossed grey";
    EXPECT_EQ(buttons[1].GetWindowText(), L"&Next");

    // Hover wins over focus; leaving ends the hover.
    buttons[3].SendMessage(WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
    winauto::Capture both;
    ASSERT_TRUE(winauto::CaptureWindow(buttons[3], both));
    EXPECT_GT(LookAt(both).orange, 20);
    EXPECT_EQ(LookAt(both).blue, 0);
    buttons[3].SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(buttons[3].m_bHot);
    DestroyWindow(parent);
}

}  // namespace
