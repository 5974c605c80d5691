// Property sheets and pages on comctl32's real wizard: pages taken over before their first
// message, the PSN_* notifications reaching the page's virtual functions in the system's order,
// and what DoModal returns for each way a wizard ends.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "afxdlgs.h"
#include "winauto/winauto.h"

namespace {

class CRecordingPage : public CPropertyPage {
public:
    CRecordingPage(UINT templateId, const wchar_t* name, std::vector<std::wstring>& log)
        : CPropertyPage(templateId), m_name(name), m_log(log) {}

    BOOL m_bLastPage = FALSE;
    BOOL m_bAllowCancel = TRUE;
    BOOL m_bAllowFinish = TRUE;
    int m_nEndWith = -1;  // when not -1: Next ends the sheet with this value
    BOOL m_bHadWindowAtInit = FALSE;
    BOOL m_bFoundSheetAtInit = FALSE;

    BOOL OnInitDialog() override {
        m_bHadWindowAtInit = m_hWnd != nullptr && IsWindow(m_hWnd);
        m_bFoundSheetAtInit = GetParentSheet() != nullptr;
        Log(L"init");
        return CPropertyPage::OnInitDialog();
    }
    BOOL OnSetActive() override {
        Log(L"setactive");
        GetParentSheet()->SetWizardButtons(m_bLastPage ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_NEXT);
        return CPropertyPage::OnSetActive();
    }
    BOOL OnKillActive() override {
        Log(L"killactive");
        return CPropertyPage::OnKillActive();
    }
    LRESULT OnWizardNext() override {
        Log(L"next");
        if (m_nEndWith != -1) {
            EndDialog(m_nEndWith);
            return -1;
        }
        return CPropertyPage::OnWizardNext();
    }
    LRESULT OnWizardBack() override {
        Log(L"back");
        return CPropertyPage::OnWizardBack();
    }
    BOOL OnWizardFinish() override {
        Log(L"finish");
        return m_bAllowFinish;
    }
    BOOL OnQueryCancel() override {
        Log(L"querycancel");
        BOOL allow = m_bAllowCancel;
        m_bAllowCancel = TRUE;  // the next try is let through
        return allow;
    }

private:
    void Log(const wchar_t* what) { m_log.push_back(m_name + L":" + what); }
    std::wstring m_name;
    std::vector<std::wstring>& m_log;
};

std::string Joined(const std::vector<std::wstring>& log) {
    std::string text;
    for (const std::wstring& entry : log) text += std::string(entry.begin(), entry.end()) + " ";
    return text;
}

struct Wizard {
    std::vector<std::wstring> log;
    CRecordingPage first{310, L"1", log};
    CRecordingPage second{311, L"2", log};
    CPropertySheet sheet{L"Test wizard"};
    Wizard() {
        sheet.SetWizardMode();
        second.m_bLastPage = TRUE;
        sheet.AddPage(&first);
        sheet.AddPage(&second);
    }
};

// The sheet of this process, once its active page's window shows the given caption text.
HWND WaitForSheetShowing(const wchar_t* pageText) {
    for (int i = 0; i < 200; ++i) {
        winauto::WindowQuery query;
        query.processId = GetCurrentProcessId();
        query.className = L"#32770";
        if (HWND sheet = winauto::FindTopWindow(query)) {
            HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            if (page && winauto::GetText(GetDlgItem(page, 1002)) == pageText) return sheet;
        }
        Sleep(50);
    }
    return nullptr;
}

void Click(HWND sheet, int id) {
    HWND button = GetDlgItem(sheet, id);
    ASSERT_TRUE(button) << id;
    ASSERT_TRUE(IsWindowVisible(button) && IsWindowEnabled(button)) << id;
    winauto::PressButton(button);
}

// Runs the wizard on this thread while steps drive it from another, as a user would. A wizard
// that steps left open (a failed step) is cancelled, so that a failure never hangs the test.
INT_PTR RunDriven(Wizard& wizard, std::function<void()> steps) {
    std::thread driver([&] {
        steps();
        for (int i = 0; i < 100; ++i) {
            winauto::WindowQuery query;
            query.processId = GetCurrentProcessId();
            query.className = L"#32770";
            HWND sheet = winauto::FindTopWindow(query);
            if (!sheet) return;
            if (i >= 20) PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            Sleep(100);
        }
    });
    INT_PTR result = wizard.sheet.DoModal();
    driver.join();
    return result;
}

TEST(Sheet, PagesAreTakenOverBeforeTheirFirstMessageAndHearTheSheetInOrder) {
    Wizard wizard;
    HWND tab = nullptr;
    CPropertyPage* activeSeen = nullptr;
    INT_PTR result = RunDriven(wizard, [&] {
        HWND sheet = WaitForSheetShowing(L"First page");
        ASSERT_TRUE(sheet);
        tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        activeSeen = wizard.sheet.GetActivePage();
        Click(sheet, ID_WIZNEXT);
        ASSERT_TRUE(WaitForSheetShowing(L"Second page"));
        Click(sheet, ID_WIZBACK);
        ASSERT_TRUE(WaitForSheetShowing(L"First page"));
        Click(sheet, ID_WIZNEXT);
        ASSERT_TRUE(WaitForSheetShowing(L"Second page"));
        Sleep(200);  // the posted button change has made Finish visible
        Click(sheet, ID_WIZFINISH);
    });
    EXPECT_EQ(result, static_cast<INT_PTR>(ID_WIZFINISH));
    EXPECT_TRUE(wizard.first.m_bHadWindowAtInit);
    EXPECT_TRUE(wizard.first.m_bFoundSheetAtInit);
    EXPECT_TRUE(wizard.second.m_bHadWindowAtInit);
    EXPECT_TRUE(tab != nullptr);
    EXPECT_EQ(activeSeen, &wizard.first);
    const std::vector<std::wstring> expected = {
        L"1:init",       L"1:setactive", L"1:next",       L"1:killactive", L"2:init",
        L"2:setactive",  L"2:back",      L"2:killactive", L"1:setactive",  L"1:next",
        L"1:killactive", L"2:setactive", L"2:finish"};
    EXPECT_EQ(wizard.log, expected) << Joined(wizard.log);
    // The objects let go of their windows when the sheet closed.
    EXPECT_EQ(wizard.sheet.m_hWnd, nullptr);
    EXPECT_EQ(wizard.first.m_hWnd, nullptr);
    EXPECT_EQ(wizard.second.m_hWnd, nullptr);
}

struct EndingCase {
    const char* name;
    std::function<void(Wizard&)> prepare;
    std::function<void(HWND sheet)> drive;
    INT_PTR expected;
    std::vector<std::wstring> expectedTail;  // the last entries of the log
};

class DoModalEnding : public testing::TestWithParam<EndingCase> {};

TEST_P(DoModalEnding, ReturnsWhatTheWayItEndedSays) {
    const EndingCase& c = GetParam();
    Wizard wizard;
    if (c.prepare) c.prepare(wizard);
    INT_PTR result = RunDriven(wizard, [&] {
        HWND sheet = WaitForSheetShowing(L"First page");
        ASSERT_TRUE(sheet);
        c.drive(sheet);
    });
    EXPECT_EQ(result, c.expected);
    ASSERT_GE(wizard.log.size(), c.expectedTail.size());
    std::vector<std::wstring> tail(wizard.log.end() - static_cast<long>(c.expectedTail.size()),
                                   wizard.log.end());
    EXPECT_EQ(tail, c.expectedTail) << Joined(wizard.log);
}

const EndingCase kEndings[] = {
    {"Cancel", nullptr, [](HWND sheet) { Click(sheet, IDCANCEL); }, IDCANCEL, {L"1:querycancel"}},
    {"CancelRefusedOnceThenTaken",
     [](Wizard& w) { w.first.m_bAllowCancel = FALSE; },
     [](HWND sheet) {
         Click(sheet, IDCANCEL);
         Sleep(300);
         ASSERT_TRUE(IsWindowVisible(sheet));  // the page said no: still open
         Click(sheet, IDCANCEL);
     },
     IDCANCEL,
     {L"1:querycancel", L"1:querycancel"}},
    {"EndDialogFromAPage",
     [](Wizard& w) { w.first.m_nEndWith = 7; },
     [](HWND sheet) { Click(sheet, ID_WIZNEXT); },
     7,
     {L"1:next", L"1:querycancel"}},
    {"FinishRefusedKeepsItOpen",
     [](Wizard& w) { w.second.m_bAllowFinish = FALSE; },
     [](HWND sheet) {
         Click(sheet, ID_WIZNEXT);
         ASSERT_TRUE(WaitForSheetShowing(L"Second page"));
         Sleep(200);
         Click(sheet, ID_WIZFINISH);
         Sleep(300);
         ASSERT_TRUE(IsWindowVisible(sheet));
         Click(sheet, IDCANCEL);
     },
     IDCANCEL,
     {L"2:finish", L"2:querycancel"}},
};

INSTANTIATE_TEST_SUITE_P(Endings, DoModalEnding, testing::ValuesIn(kEndings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sheet, ASheetWithoutPagesCannotBeShown) {
    CPropertySheet empty(L"Empty");
    empty.SetWizardMode();
    EXPECT_EQ(empty.DoModal(), -1);
    EXPECT_EQ(empty.m_hWnd, nullptr);
}

TEST(SheetPage, StructureSizeIsTheSmallestVersionThatCarriesItsFlags) {
    struct Case {
        DWORD flags;
        DWORD requested;
        DWORD expected;
    } cases[] = {
        {0, 0, PROPSHEETPAGEW_V1_SIZE},
        {PSP_USETITLE | PSP_HIDEHEADER, 0, PROPSHEETPAGEW_V1_SIZE},
        {PSP_USEHEADERTITLE, 0, PROPSHEETPAGEW_V2_SIZE},
        {PSP_USEHEADERSUBTITLE, 0, PROPSHEETPAGEW_V2_SIZE},
        {PSP_USEHEADERTITLE, PROPSHEETPAGEW_V1_SIZE, PROPSHEETPAGEW_V2_SIZE},  // raised
        {0, PROPSHEETPAGEW_V2_SIZE, PROPSHEETPAGEW_V2_SIZE},
    };
    for (const Case& c : cases) {
        CPropertyPage page(310, 0, 0, 0, c.requested);
        page.m_psp.dwFlags |= c.flags;
        EXPECT_EQ(page.PageStructSize(), c.expected) << std::hex << c.flags;
    }
}

}  // namespace
