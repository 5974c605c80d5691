// Captures of a language run through the plug-in object, in the user's interface language (the
// reruns set it): both pages of the language and welcome wizard, SelectLanguage with an empty
// buffer while a driver thread clicks through them, and the progress page during a download and
// after a failed end. The table of whole language choices is the C host's
// (host/plugin_host/language_host_test.c), through the slots as a loader host calls them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "LoaderTrakkoMessage.h"
#include "MFCGUIPlugin.h"
#include "afxdlgs.h"
#include "stats_record.h"
#include "winauto/winauto.h"

namespace {

// A control file of the real language libraries: "brisco-suite" with all of them, "brisco-one"
// with English only.
std::wstring WriteControlFile() {
    std::wstring path = winauto::ProgramDirectory() + L"language_run_control.xml";
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return path;
    fputs(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<loadercontrol version=\"1\"><guiLanguages>"
        "<language code=\"en\" library=\"fetchwellGUI_en.dll\"/>"
        "<language code=\"de\" library=\"fetchwellGUI_de.dll\"/>"
        "<language code=\"fr\" library=\"fetchwellGUI_fr.dll\"/>"
        "<language code=\"ru\" library=\"fetchwellGUI_ru.dll\"/>"
        "<language code=\"he\" library=\"fetchwellGUI_he.dll\"/>"
        "</guiLanguages><products>"
        "<product id=\"brisco-suite\" name=\"Brisco Suite\"><language code=\"en\"/>"
        "<language code=\"de\"/><language code=\"fr\"/><language code=\"ru\"/>"
        "<language code=\"he\"/></product>"
        "<product id=\"brisco-one\" name=\"Brisco One\"><language code=\"en\"/></product>"
        "</products></loadercontrol>\n",
        f);
    fclose(f);
    return path;
}

HWND FindSheet() {
    winauto::WindowQuery query;
    query.processId = GetCurrentProcessId();
    query.className = L"#32770";
    return winauto::FindTopWindow(query);
}

HWND ActivePage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// 'W' (welcome, control 1015) or 'L' (language list 1001) once that page is active and painted;
// 0 when no wizard page shows within the time.
char WaitForAPage(HWND* sheetOut, char notThis = 0) {
    for (int i = 0; i < 160; ++i) {
        if (HWND sheet = FindSheet()) {
            HWND page = ActivePage(sheet);
            char kind = !page ? 0 : GetDlgItem(page, 1015) ? 'W' : GetDlgItem(page, 1001) ? 'L' : 0;
            if (kind && kind != notThis && IsWindowVisible(page)) {
                Sleep(400);  // the posted button changes and the painting
                *sheetOut = sheet;
                return kind;
            }
        }
        Sleep(50);
    }
    return 0;
}

void Click(HWND sheet, int id) {
    HWND button = GetDlgItem(sheet, id);
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) winauto::PressButton(button);
}

// Both pages of the wizard in the user's interface language, as PNG among the test results.
// The welcome page's watermark in every language, right-to-left ones too: its dark band stays
// on the left (the picture keeps its side and orientation) and the texts stand beside it, right
// of where the band ends on the screen, not over it. Empty when so, else what is wrong.
std::string TextsStandBesideTheWatermarkBand(HWND sheet) {
    HWND page = ActivePage(sheet);
    if (!page) return "no page";
    winauto::Capture capture;
    if (!winauto::CaptureWindow(sheet, capture)) return "no capture";
    RECT frame = {}, area = {};
    GetWindowRect(sheet, &frame);
    GetWindowRect(page, &area);
    auto dark = [&](int x, int y) {
        COLORREF c = capture.Pixel(x - frame.left, y - frame.top);
        return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 110;
    };
    // Where the band ends, on a row below the texts.
    const int y = area.top + (area.bottom - area.top) * 9 / 10;
    int edge = area.left + 2;
    while (edge < area.right && dark(edge, y)) ++edge;
    std::string problems;
    if (edge - area.left < (area.right - area.left) / 4) problems += "no band on the left; ";
    if (edge > area.left + (area.right - area.left) / 2) problems += "the band is too wide; ";
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r = {};
        GetWindowRect(c, &r);
        if (IsWindowVisible(c) && r.left < edge) problems += "a text over the band; ";
    }
    return problems;
}

// The languages of the control file above besides English.
bool IsListedLanguage(const std::wstring& code) {
    return code == L"de" || code == L"fr" || code == L"ru" || code == L"he";
}

TEST(LanguageWizardCaptures, BothPagesInTheUsersLanguage) {
    CMFCGUIPlugin plugin(winauto::ProgramDirectory().c_str());
    ASSERT_TRUE(plugin.Initialize(nullptr, WriteControlFile().c_str(), false, true));
    wchar_t user[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), user, 64, 0);
    std::string tag = statstest::Narrow(user[0] ? user : L"xx");
    bool captured[2] = {false, false};
    std::string textsBesideTheBand = "not seen";
    std::thread driver([&] {
        HWND sheet = nullptr;
        for (int i = 0; i < 2; ++i) {
            char page = WaitForAPage(&sheet, i == 0 ? 0 : 'W');
            if (!page) break;
            winauto::Capture capture;
            if (page == 'W') textsBesideTheBand = TextsStandBesideTheWatermarkBand(sheet);
            if (winauto::CaptureWindow(sheet, capture)) {
                std::wstring name = L"language_wizard_" + std::wstring(tag.begin(), tag.end()) +
                                    (page == 'W' ? L"_welcome.png" : L"_language.png");
                captured[i] = winauto::SavePng(capture, winauto::ResultsPath(name.c_str()));
            }
            Click(sheet, page == 'W' ? ID_WIZNEXT : ID_WIZFINISH);
        }
        for (int i = 0; i < 100 && FindSheet(); ++i) {
            if (i >= 60) PostMessageW(FindSheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            Sleep(100);
        }
    });
    wchar_t code[64] = {};
    int result = plugin.SelectLanguage(L"brisco-suite", code, 64);
    driver.join();
    EXPECT_EQ(result, PLUGIN_OK);
    EXPECT_TRUE(captured[0] && captured[1]);
    EXPECT_EQ(textsBesideTheBand, "");
    // The wizard was built in the user's language when it is one of the list.
    if (IsListedLanguage(user)) {
        EXPECT_EQ(std::wstring(code), std::wstring(user));
    }
}

// The progress page in the user's interface language during a download and after a failed end,
// as PNG among the test results; the user's Finish then ends the run.
TEST(ProgressPageCaptures, DuringADownloadAndAfterTheEnd) {
    CMFCGUIPlugin plugin(winauto::ProgramDirectory().c_str());
    ASSERT_TRUE(plugin.Initialize(nullptr, WriteControlFile().c_str(), false, true));
    wchar_t user[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), user, 64, 0);
    std::wstring code = IsListedLanguage(user) ? user : L"en";
    wchar_t settled[64] = {};
    lstrcpynW(settled, code.c_str(), 64);
    ASSERT_EQ(plugin.SelectLanguage(L"brisco-suite", settled, 64), PLUGIN_OK);
    ASSERT_TRUE(plugin.StartProgress());
    plugin.ReportDownloadProgress(1024 * 1024, 4 * 1024 * 1024, nullptr);
    Sleep(1200);  // a timer tick: the elapsed time shows
    plugin.ReportDownloadProgress(2 * 1024 * 1024, 4 * 1024 * 1024, nullptr);
    HWND sheet = FindSheet();
    ASSERT_TRUE(sheet);
    HWND page = ActivePage(sheet);
    ASSERT_TRUE(page);
    EXPECT_EQ(winauto::GetText(GetDlgItem(page, 1008)), L"2048");
    EXPECT_EQ(winauto::GetText(GetDlgItem(page, 1009)), L"2048");
    EXPECT_FALSE(winauto::GetText(GetDlgItem(page, 1010)).empty()) << "the download status";
    winauto::Capture capture;
    ASSERT_TRUE(winauto::CaptureWindow(sheet, capture));
    EXPECT_TRUE(winauto::SavePng(
        capture, winauto::ResultsPath((L"progress_page_" + code + L"_download.png").c_str())));

    bool ended = false;
    std::thread user_([&] {
        HWND finish = GetDlgItem(sheet, ID_WIZFINISH);
        for (int i = 0; i < 100 && !(IsWindowVisible(finish) && IsWindowEnabled(finish)); ++i) {
            Sleep(50);
        }
        Sleep(300);
        winauto::Capture end;
        if (winauto::CaptureWindow(sheet, end)) {
            ended = winauto::SavePng(
                end, winauto::ResultsPath((L"progress_page_" + code + L"_end.png").c_str()));
        }
        Click(sheet, ID_WIZFINISH);
    });
    int result = plugin.FinishProgress(false);
    user_.join();
    EXPECT_TRUE(ended);
    // After a failed end the user's Finish gives PLUGIN_COMPLETED, as the host expects.
    EXPECT_EQ(result, PLUGIN_COMPLETED);
}

}  // namespace
