// The automation helper against a real dialog in another process: find it, read it, capture it,
// press a button, and see the process end with that button's id.
#include <winauto/winauto.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sample_dialog.h"

namespace {

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

class SampleDialog : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring command = L"\"" + ExeDirectory() + L"winauto_sample_dialog.exe\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &process_))
            << GetLastError();
        CloseHandle(process_.hThread);
        winauto::WindowQuery query;
        query.processId = process_.dwProcessId;
        query.className = L"#32770";
        dialog_ = winauto::WaitForWindow(query, 20000);
        ASSERT_NE(dialog_, nullptr) << "the sample dialog did not appear";
    }

    void TearDown() override {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
        }
    }

    DWORD ExitCodeAfterClose() {
        EXPECT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    PROCESS_INFORMATION process_ = {};
    HWND dialog_ = nullptr;
};

TEST_F(SampleDialog, ReadsCaptionAndControlText) {
    EXPECT_EQ(winauto::GetText(dialog_), L"Automation sample");
    HWND text = winauto::FindControl(dialog_, IDC_SAMPLE_TEXT);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(winauto::IsShown(text));
    EXPECT_EQ(winauto::GetText(text), L"Ready for the test");
    EXPECT_EQ(winauto::StaticTexts(dialog_), L"Ready for the test\n");
    EXPECT_EQ(winauto::VisibleChildren(dialog_, L"Button").size(), 2u);
    EXPECT_EQ(winauto::FindChildByText(dialog_, L"Button", L"Cancel"),
              winauto::FindControl(dialog_, IDCANCEL));
}

TEST_F(SampleDialog, CaptureShowsTheDialogBackgroundAndIsSavedAsPng) {
    Sleep(200);  // let the first paint finish
    winauto::Capture capture;
    ASSERT_TRUE(winauto::CaptureWindow(dialog_, capture));
    RECT window, client;
    GetWindowRect(dialog_, &window);
    GetClientRect(dialog_, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog_, &origin);
    EXPECT_EQ(capture.width, window.right - window.left);
    EXPECT_EQ(capture.height, window.bottom - window.top);
    // A point inside the client area, clear of the controls: the dialog's own background colour.
    int x = origin.x - window.left + client.right - 4;
    int y = origin.y - window.top + 4;
    EXPECT_EQ(capture.Pixel(x, y), SAMPLE_BACKGROUND);
    EXPECT_EQ(capture.Pixel(-1, 0), CLR_INVALID);

    std::wstring png = winauto::ResultsPath(L"winauto_sample_dialog.png");
    ASSERT_TRUE(winauto::SavePng(capture, png));
    FILE* f = _wfopen(png.c_str(), L"rb");
    ASSERT_NE(f, nullptr);
    unsigned char head[24] = {};
    EXPECT_EQ(fread(head, 1, sizeof head, f), sizeof head);
    fclose(f);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(memcmp(head, signature, 8), 0);
    unsigned width = (head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19];
    unsigned height = (head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23];
    EXPECT_EQ(width, unsigned(capture.width));
    EXPECT_EQ(height, unsigned(capture.height));
}

TEST_F(SampleDialog, PressingAButtonEndsTheDialogWithItsId) {
    ASSERT_TRUE(winauto::PressDialogButton(dialog_, IDCANCEL));
    EXPECT_TRUE(winauto::WaitForWindowGone(dialog_, 10000));
    EXPECT_EQ(ExitCodeAfterClose(), DWORD(IDCANCEL));
}

TEST_F(SampleDialog, ClosingTheWindowCancels) {
    ASSERT_TRUE(winauto::CloseWindow(dialog_));
    EXPECT_EQ(ExitCodeAfterClose(), DWORD(IDCANCEL));
}

TEST(WindowQuery, FindsNothingForAnUnknownCaption) {
    winauto::WindowQuery query;
    query.caption = L"no window has this caption";
    EXPECT_EQ(winauto::FindTopWindow(query), nullptr);
    EXPECT_EQ(winauto::WaitForWindow(query, 100), nullptr);
}

TEST(SavePng, RefusesAnInconsistentCapture) {
    winauto::Capture capture;
    capture.width = 2;
    capture.height = 2;
    capture.pixels.assign(3, 0);
    EXPECT_FALSE(winauto::SavePng(capture, winauto::ResultsPath(L"never_written.png")));
}

}  // namespace
