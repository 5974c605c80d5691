// The progress run's faults through the plug-in object's test variant (the hooks of
// MFCGUIPlugin.h and ProgressNotification.h): a plug-in thread that ends before its wizard shows
// fails StartProgress at once and reports no finish; every notification record is freed exactly
// once, by the page when it got there, by the sender when it could not be delivered.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "LoaderTrakkoMessage.h"
#include "MFCGUIPlugin.h"
#include "ProgressNotification.h"
#include "afxdlgs.h"
#include "stats_record.h"
#include "winauto/winauto.h"

namespace {

std::wstring WriteControlFile() {
    std::wstring path = winauto::ProgramDirectory() + L"progress_faults_control.xml";
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return path;
    fputs(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<loadercontrol version=\"1\"><guiLanguages>"
        "<language code=\"en\" library=\"fetchwellGUI_en.dll\"/></guiLanguages><products>"
        "<product id=\"brisco-suite\" name=\"Brisco Suite\"><language code=\"en\"/></product>"
        "</products></loadercontrol>\n",
        f);
    fclose(f);
    return path;
}

// A plug-in with its language settled, ready for StartProgress.
class ProgressPlugin {
public:
    ProgressPlugin() : m_plugin(winauto::ProgramDirectory().c_str()) {
        m_ready = m_plugin.Initialize(nullptr, WriteControlFile().c_str(), false, true);
        wchar_t code[64] = L"en";
        m_ready = m_ready && m_plugin.SelectLanguage(L"brisco-suite", code, 64) == PLUGIN_OK;
    }
    // A wizard left open by a failed check is ended, so that the destructor's wait ends.
    ~ProgressPlugin() {
        if (m_plugin.IsRunning()) m_plugin.FinishProgress(true);
    }
    bool Ready() const { return m_ready; }
    CMFCGUIPlugin& operator*() { return m_plugin; }
    CMFCGUIPlugin* operator->() { return &m_plugin; }

private:
    CMFCGUIPlugin m_plugin;
    bool m_ready = false;
};

// The statistics actions of this process that arrive after the mark.
class ActionsSince {
public:
    ActionsSince() : m_rnd(TrakkoRequest::GetInstance()->m_randomId) {
        TrakkoRequest::GetInstance()->WaitForAll();
        m_mark = statstest::ReadRequests("answer", m_rnd).size();
    }
    std::vector<std::string> Read(size_t expected) const {
        TrakkoRequest::GetInstance()->WaitForAll();
        statstest::WaitForRequests("answer", m_rnd, m_mark + expected, 8000);
        Sleep(300);  // and any that should not be there
        std::vector<std::string> all = statstest::ReadRequests("answer", m_rnd), actions;
        for (size_t i = m_mark; i < all.size(); ++i) {
            actions.push_back(statstest::QueryValue(all[i], "action"));
        }
        return actions;
    }

private:
    std::wstring m_rnd;
    size_t m_mark = 0;
};

struct StartCase {
    const char* name;
    bool refused;  // the system refuses to show the wizard: the plug-in's thread ends at once
    bool expectedStarted;
    DWORD expectedWait;  // how StartProgress's wait ended
    int expectedResult;  // of FinishProgress(true)
    std::vector<std::string> expectedActions;
};

void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }

class StartProgressWait : public testing::TestWithParam<StartCase> {};

// No time is asserted: the wait says whether it ended with the thread or with its 5 s; the time
// taken is printed.
TEST_P(StartProgressWait, EndsWithTheReadyPageOrTheThread) {
    const StartCase& c = GetParam();
    ProgressPlugin plugin;
    ASSERT_TRUE(plugin.Ready());
    ActionsSince actions;
    SetProgressWizardRefusedForTesting(c.refused);
    DWORD start = GetTickCount();
    bool started = plugin->StartProgress();
    DWORD took = GetTickCount() - start;
    SetProgressWizardRefusedForTesting(false);
    printf("%s: StartProgress gave %s after %lu ms\n", c.name, started ? "true" : "false",
           static_cast<unsigned long>(took));
    EXPECT_EQ(started, c.expectedStarted);
    EXPECT_EQ(GetLastStartWaitForTesting(), c.expectedWait);
    EXPECT_EQ(plugin->FinishProgress(true), c.expectedResult);
    // A wizard that was never shown reports no finish, though its result still holds the
    // PLUGIN_COMPLETED it starts with.
    EXPECT_EQ(actions.Read(c.expectedActions.size()), c.expectedActions);
}

const StartCase kStartCases[] = {
    {"Shown", false, true, WAIT_OBJECT_0, PLUGIN_COMPLETED, {"FETCHWELL_DLG_PROGRESS_FINISH"}},
    {"ThreadEndsEarly", true, false, WAIT_OBJECT_0 + 1, PLUGIN_FAILED, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StartProgressWait, testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every record made and freed while a step runs, with the thread that freed it.
struct RecordLog {
    std::mutex lock;
    std::vector<std::pair<const ProgressNotification*, bool>> events;
    std::vector<DWORD> threads;
};
RecordLog g_log;

void Observe(const ProgressNotification* record, bool made) {
    std::lock_guard<std::mutex> guard(g_log.lock);
    g_log.events.emplace_back(record, made);
    g_log.threads.push_back(GetCurrentThreadId());
}

// The frees of the step, by thread; every record made is freed exactly once, none that was not
// made; problems go to faults.
std::map<DWORD, int> FreesByThread(std::vector<std::string>& faults) {
    std::lock_guard<std::mutex> guard(g_log.lock);
    std::map<const ProgressNotification*, bool> live;
    std::map<DWORD, int> frees;
    for (size_t i = 0; i < g_log.events.size(); ++i) {
        const ProgressNotification* record = g_log.events[i].first;
        if (g_log.events[i].second) {
            if (live[record]) faults.push_back("made twice without a free");
            live[record] = true;
        } else {
            if (!live[record]) faults.push_back("freed without being made, or twice");
            live[record] = false;
            ++frees[g_log.threads[i]];
        }
    }
    for (const auto& entry : live) {
        if (entry.second) faults.push_back("made and never freed");
    }
    return frees;
}

enum class Step {
    kDownload,
    kInstallStep,
    kStatusText,
    kUpdateStatusText,
    kFinish,
    kAbortAfterTheEnd,
    kFinishAfterTheEnd,
    kPageGoneBeforeTheSend,
};

struct RecordCase {
    const char* name;
    Step step;
    int expectedByPage;    // records freed on the page's thread: delivered
    int expectedBySender;  // records freed on the host's thread: not delivered
};

HWND g_page;

// The page goes away between the sender's look-up and its send: a successful end, sent to the
// page directly, closes the wizard, and the hook returns once its window is gone.
void EndTheWizardFirst(HWND page) {
    SetBeforeNotifyForTesting(nullptr);
    ProgressNotification* end = NewProgressNotification(NOTIFY_FINISHED);
    end->success = true;
    SendMessageW(page, WM_PROGRESS_NOTIFY, 0, reinterpret_cast<LPARAM>(end));
    winauto::WaitForWindowGone(page, 10000);
}

void PrintTo(const RecordCase& c, std::ostream* out) { *out << c.name; }

class NotificationRecords : public testing::TestWithParam<RecordCase> {};

TEST_P(NotificationRecords, AreFreedOnceByTheirLastOwner) {
    const RecordCase& c = GetParam();
    ProgressPlugin plugin;
    ASSERT_TRUE(plugin.Ready());
    ASSERT_TRUE(plugin->StartProgress());
    winauto::WindowQuery query;
    query.processId = GetCurrentProcessId();
    query.className = L"#32770";
    HWND sheet = winauto::WaitForWindow(query, 10000);
    ASSERT_TRUE(sheet);
    g_page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_TRUE(g_page);
    const DWORD pageThread = GetWindowThreadProcessId(g_page, nullptr);
    if (c.step == Step::kAbortAfterTheEnd || c.step == Step::kFinishAfterTheEnd) {
        ASSERT_EQ(plugin->FinishProgress(true), PLUGIN_COMPLETED);
    }

    {
        std::lock_guard<std::mutex> guard(g_log.lock);
        g_log.events.clear();
        g_log.threads.clear();
    }
    SetNotificationObserverForTesting(Observe);
    switch (c.step) {
        case Step::kDownload:
            plugin->ReportDownloadProgress(1024, 4096, L"part");
            break;
        case Step::kInstallStep:
            plugin->ReportInstallStep(L"step");
            break;
        case Step::kStatusText:
            plugin->SetStatusText(L"status");
            break;
        case Step::kUpdateStatusText:
            plugin->UpdateStatusText(L"status");
            break;
        case Step::kFinish:
            EXPECT_EQ(plugin->FinishProgress(true), PLUGIN_COMPLETED);
            break;
        case Step::kAbortAfterTheEnd:
            plugin->AbortProgress();
            break;
        case Step::kFinishAfterTheEnd:
            plugin->FinishProgress(false);
            break;
        case Step::kPageGoneBeforeTheSend:
            SetBeforeNotifyForTesting(EndTheWizardFirst);
            plugin->SetStatusText(L"too late");
            SetBeforeNotifyForTesting(nullptr);
            EXPECT_FALSE(IsWindow(g_page));
            break;
    }
    SetNotificationObserverForTesting(nullptr);

    std::vector<std::string> faults;
    std::map<DWORD, int> frees = FreesByThread(faults);
    EXPECT_EQ(faults, std::vector<std::string>());
    int total = 0;
    for (const auto& entry : frees) total += entry.second;
    EXPECT_EQ(frees[pageThread], c.expectedByPage);
    EXPECT_EQ(frees[GetCurrentThreadId()], c.expectedBySender);
    EXPECT_EQ(total, c.expectedByPage + c.expectedBySender) << "records freed on another thread";
    if (IsWindow(g_page)) {
        EXPECT_EQ(plugin->FinishProgress(true), PLUGIN_COMPLETED);
    }
}

const RecordCase kRecordCases[] = {
    {"Download", Step::kDownload, 1, 0},
    {"InstallStep", Step::kInstallStep, 1, 0},
    {"StatusText", Step::kStatusText, 1, 0},
    {"UpdateStatusText", Step::kUpdateStatusText, 1, 0},
    {"Finish", Step::kFinish, 1, 0},
    // The host ends the work a second time, after the wizard has gone: no page to deliver to.
    {"AbortAfterTheEnd", Step::kAbortAfterTheEnd, 0, 1},
    {"FinishAfterTheEnd", Step::kFinishAfterTheEnd, 0, 1},
    // The end sent directly by the hook reaches the page; the host's text no longer can.
    {"PageGoneBeforeTheSend", Step::kPageGoneBeforeTheSend, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, NotificationRecords, testing::ValuesIn(kRecordCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
