// The coloured message box on real boxes: taken over at creation, buttons owner-drawn, colours
// read from a capture (kept as a PNG file), the hook gone after a box that failed, and boxes on
// two threads at once.
#include <gtest/gtest.h>

#include <winauto/winauto.h>

#include <vector>

#include "MFCCTRLMessageBox.h"
#include "afxwin.h"

namespace {

constexpr COLORREF kText = RGB(20, 40, 120);
constexpr COLORREF kBackground = RGB(250, 244, 225);

HWND FindBoxOfThread(DWORD threadId) {
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForBoxOfThread(DWORD threadId) {
    for (int i = 0; i < 500; ++i) {
        if (HWND box = FindBoxOfThread(threadId)) return box;
        Sleep(20);
    }
    return nullptr;
}

std::vector<int> VisibleButtonIds(HWND box) {
    std::vector<int> ids;
    for (HWND child : winauto::VisibleChildren(box, L"Button")) ids.push_back(GetDlgCtrlID(child));
    return ids;
}

bool AllOwnerDrawnBy(HWND box, CMFCCTRLMessageBox& owner) {
    for (HWND child : winauto::VisibleChildren(box, L"Button")) {
        int id = GetDlgCtrlID(child);
        if (id < 1 || id > 9) return false;
        if ((GetWindowLongPtrW(child, GWL_STYLE) & 0x0F) != BS_OWNERDRAW) return false;
        if (CWnd::FromHandlePermanent(child) != &owner.m_buttons[id - 1]) return false;
    }
    return true;
}

struct Observed {
    DWORD threadId = 0;
    CMFCCTRLMessageBox* box = nullptr;
    std::vector<int> buttons;
    bool ownerDrawn = false;
    bool attached = false;
    COLORREF background = 0;
    int textPixels = 0;
    bool saved = false;
};

DWORD WINAPI ObserveAndAnswerYes(LPVOID param) {
    auto* seen = static_cast<Observed*>(param);
    HWND box = WaitForBoxOfThread(seen->threadId);
    if (!box) return 1;
    seen->buttons = VisibleButtonIds(box);
    seen->ownerDrawn = AllOwnerDrawnBy(box, *seen->box);
    seen->attached = CWnd::FromHandlePermanent(box) == seen->box;
    winauto::Capture capture;
    // A box found right after its creation may not have painted yet: capture again until its
    // text shows, for a while.
    for (int attempt = 0; attempt < 30 && seen->textPixels <= 20; ++attempt) {
        if (attempt) Sleep(100);
        if (!winauto::CaptureWindow(box, capture)) continue;
        seen->textPixels = 0;
        for (uint32_t p : capture.pixels) {
            if (RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) == kText) ++seen->textPixels;
        }
    }
    if (!capture.pixels.empty()) {
        seen->saved =
            winauto::SavePng(capture, winauto::ResultsPath(L"controls_message_box_yesno.png"));
        // The client area's top left, left of the icon: the box's background.
        seen->background = winauto::ClientPixel(capture, box, POINT{4, 4});
    }
    winauto::PressDialogButton(box, IDYES);
    return 0;
}

TEST(ColouredMessageBox, YesNoBoxInTheProductsColoursWithOwnerDrawnButtons) {
    CMFCCTRLMessageBox box(static_cast<HWND>(nullptr));
    box.SetColors(kText, kBackground);
    Observed seen;
    seen.threadId = GetCurrentThreadId();
    seen.box = &box;
    HANDLE thread = CreateThread(nullptr, 0, ObserveAndAnswerYes, &seen, 0, nullptr);
    int result = box.Show(L"Stop the download of Brisco Suite?", L"Brisco Suite",
                          MB_YESNO | MB_ICONQUESTION);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_EQ(result, IDYES);
    EXPECT_EQ(seen.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(seen.ownerDrawn);
    EXPECT_TRUE(seen.attached) << "the box's window was taken over at its creation";
    EXPECT_TRUE(seen.saved);
    EXPECT_EQ(seen.background, kBackground);
    EXPECT_GT(seen.textPixels, 20) << "the text is drawn in the text colour";
    EXPECT_EQ(box.m_hWnd, nullptr) << "detached when the box was destroyed";
    EXPECT_FALSE(AfxIsWindowCreateHookArmed());
}

TEST(ColouredMessageBox, AFailedBoxLeavesNoHookBehind) {
    // An owner that is no window: MessageBoxW fails before it makes its dialog.
    CMFCCTRLMessageBox box(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFFF0)));
    int result = box.Show(L"text", L"caption", MB_OK);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(AfxIsWindowCreateHookArmed());
    HWND next = CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    EXPECT_EQ(box.m_hWnd, nullptr) << "the thread's next dialog is nobody's";
    EXPECT_EQ(CWnd::FromHandlePermanent(next), nullptr);
    DestroyWindow(next);
}

struct SecondBox {
    DWORD firstThread = 0;
    CMFCCTRLMessageBox* first = nullptr;
    bool firstOwnerDrawn = false, secondOwnerDrawn = false;
    int secondResult = -1;
};

DWORD WINAPI ShowSecondBox(LPVOID param) {
    auto* s = static_cast<SecondBox*>(param);
    CMFCCTRLMessageBox box(static_cast<HWND>(nullptr));
    box.SetColors(kText, kBackground);
    struct Answer {
        DWORD threadId;
        CMFCCTRLMessageBox* box;
        bool* ownerDrawn;
    } answer = {GetCurrentThreadId(), &box, &s->secondOwnerDrawn};
    HANDLE answering = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Answer*>(p);
            HWND second = WaitForBoxOfThread(a->threadId);
            if (!second) return 1;
            *a->ownerDrawn = AllOwnerDrawnBy(second, *a->box);
            winauto::PressDialogButton(second, IDCANCEL);
            return 0;
        },
        &answer, 0, nullptr);
    s->secondResult = box.Show(L"Second", L"Second box", MB_OKCANCEL | MB_ICONWARNING);
    WaitForSingleObject(answering, INFINITE);
    CloseHandle(answering);
    AfxTermThread();
    return 0;
}

DWORD WINAPI OpenSecondWhileFirstIsOpen(LPVOID param) {
    auto* s = static_cast<SecondBox*>(param);
    HWND first = WaitForBoxOfThread(s->firstThread);
    if (!first) return 1;
    s->firstOwnerDrawn = AllOwnerDrawnBy(first, *s->first);
    HANDLE second = CreateThread(nullptr, 0, ShowSecondBox, s, 0, nullptr);
    WaitForSingleObject(second, INFINITE);
    CloseHandle(second);
    winauto::PressDialogButton(first, IDOK);
    return 0;
}

TEST(ColouredMessageBox, ASecondThreadsBoxIsTakenByItsOwnObject) {
    CMFCCTRLMessageBox box(static_cast<HWND>(nullptr));
    box.SetColors(kText, kBackground);
    SecondBox s;
    s.firstThread = GetCurrentThreadId();
    s.first = &box;
    HANDLE helper = CreateThread(nullptr, 0, OpenSecondWhileFirstIsOpen, &s, 0, nullptr);
    int result = box.Show(L"First", L"First box", MB_OK | MB_ICONINFORMATION);
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(s.secondResult, IDCANCEL);
    EXPECT_TRUE(s.firstOwnerDrawn);
    EXPECT_TRUE(s.secondOwnerDrawn);
}

}  // namespace
