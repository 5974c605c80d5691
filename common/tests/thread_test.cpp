#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "kycplib/sync.h"
#include "kycplib/thread.h"

using kycplib::CKYEvent;
using kycplib::CKYThread;

namespace {

static_assert(!std::is_copy_constructible<CKYThread>::value &&
                  !std::is_copy_assignable<CKYThread>::value,
              "a thread object owns its handle alone");

// Records what happened on which thread. Run blocks on a gate until the test opens it, so that
// "still running" is a state the test controls rather than a matter of timing.
class RecordingThread : public CKYThread {
public:
    enum class Behaviour {
        ReturnAtOnce,
        WaitForGate,
        WaitForStopRequest
    };

    explicit RecordingThread(Behaviour behaviour, DWORD exitCode = 0, const wchar_t* name = nullptr)
        : CKYThread(name),
          m_behaviour(behaviour),
          m_exitCodeToReturn(exitCode),
          m_gate(nullptr, true, false),
          m_running(nullptr, true, false) {}

    // A failed assertion must not leave Run blocked behind the object's back.
    ~RecordingThread() override {
        OpenGate();
        Stop(INFINITE);
    }

    void OnStart() override { Record("OnStart"); }

    DWORD Run() override {
        Record("Run");
        m_runThreadId = GetCurrentThreadId();
        m_running.Signal();
        switch (m_behaviour) {
            case Behaviour::ReturnAtOnce:
                break;
            case Behaviour::WaitForGate:
                m_gate.Wait(INFINITE);
                break;
            case Behaviour::WaitForStopRequest:
                while (!IsStopRequested()) {
                    // The stop request is a flag, not an object to wait on; poll it the way a
                    // cooperative Run does.
                    Sleep(1);
                }
                break;
        }
        return m_exitCodeToReturn;
    }

    void OnExit() override {
        Record("OnExit");
        m_onExitThreadId = GetCurrentThreadId();
        m_exitCodeSeenInOnExit = GetExitCode();
    }

    void OpenGate() { m_gate.Signal(); }
    bool WaitUntilRunning() { return m_running.Wait(INFINITE); }
    void SetExitCodeToReturn(DWORD code) { m_exitCodeToReturn = code; }

    std::vector<std::string> m_events;
    std::vector<DWORD> m_eventThreads;
    DWORD m_runThreadId = 0;
    DWORD m_onExitThreadId = 0;
    DWORD m_exitCodeSeenInOnExit = 0;

private:
    void Record(const char* what) {
        m_events.push_back(what);
        m_eventThreads.push_back(GetCurrentThreadId());
    }

    Behaviour m_behaviour;
    DWORD m_exitCodeToReturn;
    CKYEvent m_gate;
    CKYEvent m_running;
};

using Behaviour = RecordingThread::Behaviour;

TEST(ThreadNeverStarted, WaitAndStopSucceedAndItIsNotRunning) {
    RecordingThread thread(Behaviour::ReturnAtOnce);
    EXPECT_TRUE(thread.Wait(0));
    EXPECT_TRUE(thread.Wait(INFINITE));
    EXPECT_TRUE(thread.Stop(0));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetHandle(), nullptr);
    EXPECT_EQ(thread.GetThreadId(), 0u);
    EXPECT_EQ(thread.GetExitCode(), 0u);
    EXPECT_TRUE(thread.m_events.empty());
    // Stop without a thread has nothing to ask.
    EXPECT_FALSE(thread.IsStopRequested());
}

struct NameCase {
    const char* label;
    std::wstring given;
    bool null;
    std::wstring kept;
};

class ThreadName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ThreadName, KeepsAtMost128Characters) {
    const NameCase& c = GetParam();
    RecordingThread thread(Behaviour::ReturnAtOnce, 0, c.null ? nullptr : c.given.c_str());
    EXPECT_EQ(std::wstring(thread.GetName()), c.kept);
}

const NameCase kNameCases[] = {
    {"Null", L"", true, L""},
    {"Empty", L"", false, L""},
    {"Short", L"progress", false, L"progress"},
    {"Exactly128", std::wstring(128, L'n'), false, std::wstring(128, L'n')},
    {"Longer", std::wstring(127, L'a') + L"bcdef", false, std::wstring(127, L'a') + L"b"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ThreadName, ::testing::ValuesIn(kNameCases),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return info.param.label;
                         });

TEST(ThreadStart, CallsOnStartOnCallerThenRunAndOnExitOnTheNewThread) {
    RecordingThread thread(Behaviour::ReturnAtOnce, 5);
    thread.Start();
    ASSERT_TRUE(thread.Wait(INFINITE));

    ASSERT_EQ(thread.m_events, (std::vector<std::string>{"OnStart", "Run", "OnExit"}));
    EXPECT_EQ(thread.m_eventThreads[0], GetCurrentThreadId());
    EXPECT_NE(thread.m_runThreadId, GetCurrentThreadId());
    EXPECT_EQ(thread.m_runThreadId, thread.GetThreadId());
    EXPECT_EQ(thread.m_onExitThreadId, thread.m_runThreadId);
    EXPECT_NE(thread.GetHandle(), nullptr);
}

TEST(ThreadStart, ExitCodeIsWhatRunReturned) {
    RecordingThread thread(Behaviour::ReturnAtOnce, 1234);
    thread.Start();
    ASSERT_TRUE(thread.Wait(INFINITE));
    EXPECT_EQ(thread.GetExitCode(), 1234u);
    EXPECT_EQ(thread.m_exitCodeSeenInOnExit, 1234u);
    DWORD systemExitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.GetHandle(), &systemExitCode));
    EXPECT_EQ(systemExitCode, 1234u);
}

TEST(ThreadRunning, IsRunningUntilRunReturns) {
    RecordingThread thread(Behaviour::WaitForGate, 3);
    thread.Start();
    ASSERT_TRUE(thread.WaitUntilRunning());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.Wait(0));
    EXPECT_EQ(thread.GetExitCode(), 0u);

    thread.OpenGate();
    EXPECT_TRUE(thread.Wait(INFINITE));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetExitCode(), 3u);
}

TEST(ThreadStop, CooperativeRunEndsOnRequest) {
    RecordingThread thread(Behaviour::WaitForStopRequest, 7);
    thread.Start();
    ASSERT_TRUE(thread.WaitUntilRunning());
    EXPECT_FALSE(thread.IsStopRequested());

    EXPECT_TRUE(thread.Stop(INFINITE));
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetExitCode(), 7u);
}

TEST(ThreadStop, RunThatDoesNotLookKeepsRunningAndStopReportsTimeout) {
    RecordingThread thread(Behaviour::WaitForGate, 9);
    thread.Start();
    ASSERT_TRUE(thread.WaitUntilRunning());

    EXPECT_FALSE(thread.Stop(0));
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_TRUE(thread.IsRunning());

    thread.OpenGate();
    EXPECT_TRUE(thread.Wait(INFINITE));
    EXPECT_EQ(thread.GetExitCode(), 9u);
}

TEST(ThreadRestart, StartWhileRunningThrowsBusyAndLeavesTheThreadAlone) {
    RecordingThread thread(Behaviour::WaitForGate);
    thread.Start();
    ASSERT_TRUE(thread.WaitUntilRunning());
    HANDLE handle = thread.GetHandle();
    DWORD threadId = thread.GetThreadId();
    try {
        thread.Start();
        ADD_FAILURE() << "no exception";
    } catch (unsigned long error) {
        EXPECT_EQ(error, static_cast<unsigned long>(ERROR_BUSY));
    }
    EXPECT_EQ(thread.GetHandle(), handle);
    EXPECT_EQ(thread.GetThreadId(), threadId);
    EXPECT_EQ(thread.m_events.size(), 2u);  // OnStart and Run of the first Start only

    thread.OpenGate();
    EXPECT_TRUE(thread.Wait(INFINITE));
}

TEST(ThreadRestart, StartAfterTheThreadEndedRunsAFreshOne) {
    RecordingThread thread(Behaviour::WaitForStopRequest, 1);
    thread.Start();
    ASSERT_TRUE(thread.Stop(INFINITE));
    ASSERT_TRUE(thread.IsStopRequested());

    thread.SetExitCodeToReturn(2);
    thread.Start();
    // The first run's stop request is gone, or the second Run would end before being asked.
    EXPECT_FALSE(thread.IsStopRequested());
    EXPECT_TRUE(thread.Stop(INFINITE));
    EXPECT_EQ(thread.GetExitCode(), 2u);
    EXPECT_EQ(thread.m_events,
              (std::vector<std::string>{"OnStart", "Run", "OnExit", "OnStart", "Run", "OnExit"}));
}

}  // namespace
