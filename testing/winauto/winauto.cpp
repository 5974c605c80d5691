#include <winauto/winauto.h>

#include <cstdlib>

namespace winauto {
namespace {

constexpr DWORD kPollMs = 20;

bool Matches(HWND w, const WindowQuery& q) {
    if (q.visibleOnly && !IsWindowVisible(w)) return false;
    if (q.processId) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != q.processId) return false;
    }
    if (q.className) {
        wchar_t cls[256] = {};
        GetClassNameW(w, cls, 256);
        if (wcscmp(cls, q.className) != 0) return false;
    }
    if (q.caption && GetText(w) != q.caption) return false;
    return true;
}

struct FindState {
    const WindowQuery* query;
    HWND found;
};

BOOL CALLBACK FindTopProc(HWND w, LPARAM param) {
    auto* s = reinterpret_cast<FindState*>(param);
    if (Matches(w, *s->query)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

struct ChildState {
    const wchar_t* className;
    const wchar_t* text;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK ChildProc(HWND w, LPARAM param) {
    auto* s = reinterpret_cast<ChildState*>(param);
    if (s->visibleOnly && !IsWindowVisible(w)) return TRUE;
    if (s->className) {
        wchar_t cls[256] = {};
        GetClassNameW(w, cls, 256);
        if (_wcsicmp(cls, s->className) != 0) return TRUE;
    }
    if (s->text && GetText(w) != s->text) return TRUE;
    s->found.push_back(w);
    return TRUE;
}

}  // namespace

HWND FindTopWindow(const WindowQuery& query) {
    FindState s{&query, nullptr};
    EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = FindTopWindow(query)) return w;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

std::wstring GetText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, 2000, &copied)) {
        return {};
    }
    text.resize(copied);
    return text;
}

bool IsShown(HWND window) { return window && IsWindowVisible(window); }

HWND FindControl(HWND parent, int controlId) { return GetDlgItem(parent, controlId); }

HWND FindChildByText(HWND parent, const wchar_t* className, const wchar_t* text) {
    ChildState s{className, text, false, {}};
    EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
    return s.found.empty() ? nullptr : s.found.front();
}

std::vector<HWND> VisibleChildren(HWND parent, const wchar_t* className) {
    ChildState s{className, nullptr, true, {}};
    EnumChildWindows(parent, ChildProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring StaticTexts(HWND dialog) {
    std::wstring all;
    for (HWND w : VisibleChildren(dialog, L"Static")) {
        std::wstring t = GetText(w);
        if (!t.empty()) all += t + L"\n";
    }
    return all;
}

bool PressButton(HWND button) { return button && PostMessageW(button, BM_CLICK, 0, 0); }

bool PressDialogButton(HWND dialog, int controlId) {
    return PressButton(GetDlgItem(dialog, controlId));
}

bool CloseWindow(HWND window) { return window && PostMessageW(window, WM_CLOSE, 0, 0); }

COLORREF Capture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    uint32_t p = pixels[size_t(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

COLORREF ClientPixel(const Capture& capture, HWND window, POINT client) {
    RECT frame;
    if (!ClientToScreen(window, &client) || !GetWindowRect(window, &frame)) return CLR_INVALID;
    return capture.Pixel(client.x - frame.left, client.y - frame.top);
}

bool CaptureWindow(HWND window, Capture& out, bool redraw) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    // Make sure the latest state is drawn before reading the window's surface.
    if (redraw) {
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }

    // From the window's own surface, not the screen: another test's window may lie on top.
    HDC source = GetWindowDC(window);
    if (!source) return false;
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        // A right-to-left window's DC is mirrored, and a copy from it would come out reflected:
        // the capture is of the surface as it shows on the screen.
        DWORD layout = GetLayout(source);
        SetLayout(source, 0);
        SetLayout(memory, 0);
        ok = BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY) != FALSE;
        SetLayout(source, layout);
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            const uint32_t* p = static_cast<const uint32_t*>(bits);
            out.width = w;
            out.height = h;
            out.pixels.assign(p, p + size_t(w) * h);
            for (uint32_t& px : out.pixels) px &= 0x00FFFFFF;
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, source);
    return ok;
}

std::wstring ProgramDirectory() {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path.erase(path.find_last_of(L"\\/") + 1);
    return path;
}

std::wstring ResultsPath(const wchar_t* fileName) {
    const wchar_t* dir = _wgetenv(L"KY_TEST_RESULTS");
    std::wstring path;
    if (dir && *dir) {
        path = dir;
        CreateDirectoryW(path.c_str(), nullptr);
    } else {
        path = ProgramDirectory();
    }
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + fileName;
}

}  // namespace winauto
