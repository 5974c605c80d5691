// A program that shows one dialog from its resource template and exits with the id of the button
// that closed it: the subject of the automation helper's own test.
#include <windows.h>

#include "sample_dialog.h"

namespace {

HBRUSH g_background;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(g_background);
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), SAMPLE_BACKGROUND);
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            return reinterpret_cast<INT_PTR>(g_background);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    g_background = CreateSolidBrush(SAMPLE_BACKGROUND);
    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SAMPLE), nullptr, DialogProc, 0);
    DeleteObject(g_background);
    return static_cast<int>(result);
}
