// The bounded wait at the end of a wizard, against servers that answer late or never. The cases
// run in this order in one process: the first needs a registry without threads.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <windows.h>

#include "LoaderTrakkoMessage.h"
#include "TrakkoActions.h"
#include "stats_record.h"

namespace {

// What the final wait may take beyond its 4000 ms: the batches, the handle copies, a slow
// machine.
constexpr DWORD kWaitSlackMs = 500;

void UseServer(const char* variable) {
    const char* url = getenv(variable);
    ASSERT_NE(url, nullptr) << variable;
    SetEnvironmentVariableA("KY_STATS_URL_FOR_TESTING", url);
}

void SendMany(int count) {
    for (int i = 0; i < count; ++i) {
        LoaderTrakkoMessage message;
        message.Send(FETCHWELL_DLG_PROGRESS_CANCEL);
    }
}

// Milliseconds the registry's final wait took, and what it returned.
DWORD TimeWaitForAll(bool* allEnded, DWORD timeoutMs = TrakkoRequest::kWaitForAllMs) {
    DWORD start = GetTickCount();
    *allEnded = TrakkoRequest::GetInstance()->WaitForAll(timeoutMs);
    return GetTickCount() - start;
}

TEST(WaitForAll, WithoutThreadsReturnsAtOnce) {
    ASSERT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 0u);
    bool allEnded = false;
    EXPECT_LT(TimeWaitForAll(&allEnded), 50u);
    EXPECT_TRUE(allEnded);
}

TEST(WaitForAll, EndsAsSoonAsTheLastRequestHasItsAnswer) {
    UseServer("KY_STATS_DELAY_URL");
    SendMany(3);
    EXPECT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 3u);
    bool allEnded = false;
    DWORD elapsed = TimeWaitForAll(&allEnded);
    EXPECT_TRUE(allEnded);
    // The server answers after 2 s.
    EXPECT_GE(elapsed, 1500u);
    EXPECT_LT(elapsed, 3900u);
    EXPECT_EQ(
        statstest::ReadRequests("delay", std::wstring(TrakkoRequest::GetInstance()->m_randomId))
            .size(),
        3u);
    EXPECT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 0u) << "ended threads are dropped";
}

TEST(WaitForAll, GivesUpOnAServerThatNeverAnswers) {
    UseServer("KY_STATS_SILENT_URL");
    SendMany(2);
    bool allEnded = true;
    DWORD elapsed = TimeWaitForAll(&allEnded);
    EXPECT_FALSE(allEnded);
    EXPECT_GE(elapsed, TrakkoRequest::kWaitForAllMs - 100);
    EXPECT_LE(elapsed, TrakkoRequest::kWaitForAllMs + kWaitSlackMs);
}

TEST(WaitForAll, MoreRequestsThanOneWaitTakesAreStillBounded) {
    UseServer("KY_STATS_SILENT_URL");
    SendMany(70);
    size_t running = TrakkoRequest::GetInstance()->GetThreadCount();
    EXPECT_GT(running, static_cast<size_t>(MAXIMUM_WAIT_OBJECTS));
    bool allEnded = true;
    DWORD elapsed = TimeWaitForAll(&allEnded);
    EXPECT_FALSE(allEnded);
    EXPECT_GE(elapsed, TrakkoRequest::kWaitForAllMs - 100);
    EXPECT_LE(elapsed, TrakkoRequest::kWaitForAllMs + kWaitSlackMs);
}

TEST(WaitForAll, RequestsToASilentServerEndWithinTheirTimeOuts) {
    // Left from the cases above: the requests waiting for an answer that never comes. Each gives
    // up after its receive time-out (10 s) and the registry drops it.
    bool allEnded = false;
    DWORD elapsed = TimeWaitForAll(&allEnded, 40000);
    EXPECT_TRUE(allEnded) << TrakkoRequest::GetInstance()->GetThreadCount() << " still running";
    EXPECT_LT(elapsed, 40000u);
    EXPECT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 0u);
}

}  // namespace
