// A library built with an empty endpoint sends nothing: the recording server gets no request of
// this process, while a request made here by hand, with the same identifier, does arrive.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "LoaderTrakkoMessage.h"
#include "TrakkoActions.h"
#include "stats_record.h"

namespace {

// What a request of the library would look like, sent through WinINet by the test itself.
bool SendByHand(const std::wstring& rnd) {
    const char* endpoint = getenv("KY_STATS_ANSWER_URL");
    if (endpoint == nullptr) return false;
    std::wstring url = std::wstring(endpoint, endpoint + strlen(endpoint)) +
                       L"/prodinstall.php?lngprod=&product_id=&build=&rnd=" + rnd +
                       L"&action=BY_HAND";
    HINTERNET session = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) return false;
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    bool ok = request != nullptr;
    if (request != nullptr) InternetCloseHandle(request);
    InternetCloseHandle(session);
    return ok;
}

TEST(SilentBuild, SendsNothing) {
    std::wstring rnd(TrakkoRequest::GetInstance()->m_randomId);
    ASSERT_EQ(rnd.size(), 40u);
    for (const wchar_t* action : {FETCHWELL_DLG_WELCOME_NEXT, FETCHWELL_DLG_PROGRESS_FINISH}) {
        LoaderTrakkoMessage message;
        message.Send(action);
    }
    EXPECT_EQ(TrakkoRequest::GetInstance()->GetThreadCount(), 0u) << "no request thread started";
    EXPECT_TRUE(TrakkoRequest::GetInstance()->WaitForAll());
    Sleep(1000);
    EXPECT_EQ(statstest::ReadRequests("answer", rnd).size(), 0u);

    // The server and its record work: a request by hand shows up.
    ASSERT_TRUE(SendByHand(rnd));
    std::vector<std::string> requests = statstest::WaitForRequests("answer", rnd, 1, 5000);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(statstest::QueryValue(requests[0], "action"), "BY_HAND");
}

}  // namespace
