// Window automation for GUI tests: find the windows of a program under test, read and press its
// controls, and capture it to a PNG file that a person can look at afterwards.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winauto {

struct WindowQuery {
    DWORD processId = 0;                 // 0: any process
    const wchar_t* className = nullptr;  // exact class name, such as L"#32770"; null: any
    const wchar_t* caption = nullptr;    // exact caption; null: any
    bool visibleOnly = true;
};

// First top-level window that matches, or null.
HWND FindTopWindow(const WindowQuery& query);
// Polls until a matching window exists; null on time-out.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs);
// Polls until the window is destroyed (or hidden); false on time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

std::wstring GetText(HWND window);  // WM_GETTEXT, which also works across processes
bool IsShown(HWND window);
HWND FindControl(HWND parent, int controlId);
// First descendant of the class (null: any) whose text equals text (null: any).
HWND FindChildByText(HWND parent, const wchar_t* className, const wchar_t* text);
std::vector<HWND> VisibleChildren(HWND parent, const wchar_t* className);
// The texts of all visible "Static" descendants, in window order, each followed by '\n'.
std::wstring StaticTexts(HWND dialog);

// Posted, not sent: a press that opens a modal loop must not block the test.
bool PressButton(HWND button);
bool PressDialogButton(HWND dialog, int controlId);
bool CloseWindow(HWND window);

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    COLORREF Pixel(int x, int y) const;
};
// The whole window, frame included, as it is drawn now; repainted first unless redraw is false
// (a quicker capture of a window that paints by itself, such as one that changes all the time).
bool CaptureWindow(HWND window, Capture& out, bool redraw = true);
// The pixel of a capture of window at a point of its client area (CLR_INVALID outside).
COLORREF ClientPixel(const Capture& capture, HWND window, POINT client);
bool SavePng(const Capture& capture, const std::wstring& path);
// The folder of the running program, with its closing '\\'.
std::wstring ProgramDirectory();
// Where a test keeps what a person should be able to look at: %KY_TEST_RESULTS%\name, or the
// program's own folder when the variable is not set.
std::wstring ResultsPath(const wchar_t* fileName);

}  // namespace winauto
