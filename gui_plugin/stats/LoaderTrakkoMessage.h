// The usage statistics: every user step of the wizards goes out as one HTTP GET on a short-lived
// thread of its own. Fire and forget: only the end of a wizard waits, and then for a bounded time.
#pragma once

#include <windows.h>

#include <vector>

#include "afx.h"

// What a window uses to report a step: construct one (so that the statistics language is filled
// in), then Send the action name (TrakkoActions.h).
class LoaderTrakkoMessage {
public:
    // When the statistics language is still empty, sets it to the user's default UI language.
    LoaderTrakkoMessage();
    virtual ~LoaderTrakkoMessage();

    // Formats the request and starts its thread; never waits for the network. Does nothing when
    // the build has no statistics endpoint.
    void Send(const wchar_t* action);
};

// The process-wide registry of the run's random identifier and of the request threads.
class TrakkoRequest {
public:
    // How long the end of a wizard waits for the requests still in flight.
    static constexpr DWORD kWaitForAllMs = 4000;

    // The registry, made on the first call.
    static TrakkoRequest* GetInstance();

    // Waits until every request thread started so far has ended, at most timeoutMs in all, in
    // batches that one wait accepts. True when all had ended, false at the time-out.
    bool WaitForAll(DWORD timeoutMs = kWaitForAllMs);

    // Takes over the handle of a request thread just started; ended threads are dropped first.
    void AddThread(HANDLE thread);
    // Threads started and not yet seen to have ended.
    size_t GetThreadCount();

    // 40 lower-case hexadecimal digits, the same for every request of this process.
    CString m_randomId;

    virtual ~TrakkoRequest();
    TrakkoRequest(const TrakkoRequest&) = delete;
    TrakkoRequest& operator=(const TrakkoRequest&) = delete;

private:
    TrakkoRequest();
    // Closes and removes the handles of threads that have ended; the lock is held.
    void DropEndedThreads();

    CRITICAL_SECTION m_lock;
    std::vector<HANDLE> m_threads;
};

// The statistics language (the code of the interface language), process-wide, empty at load.
CString GetStatsLanguage();
void SetStatsLanguage(const wchar_t* language);

// The file version of fetchwell.exe beside the process's executable as "a.b.c.d"; empty when it
// has no version resource or cannot be read.
CString GetHostBuild();
// The first product id of loadercontrol.xml beside the process's executable; empty without one.
CString GetStatsProductId();

// A random identifier of 40 lower-case hexadecimal digits and its terminator into buffer; size
// in characters, in and out. With a null buffer or a size below 41: size becomes 41, result 234
// (ERROR_MORE_DATA). A null size gives 87 (ERROR_INVALID_PARAMETER). Otherwise 0.
DWORD MakeRandomId(wchar_t* buffer, unsigned long* size);

#if defined(KY_TEST_HOOKS)
// The folder GetHostBuild and GetStatsProductId look in instead of the executable's (with its
// trailing backslash); null restores the executable's.
void SetStatsDirectoryForTesting(const wchar_t* directory);
// Makes MakeRandomId use its timer-seeded fallback as if the system's generator were missing.
void ForceRandomFallbackForTesting(bool force);
// Sends without the module reference (the request thread returns into the module's code).
void SkipModuleReferenceForTesting(bool skip);
// The endpoint in force: the build's, or KY_STATS_URL_FOR_TESTING from the environment.
CString GetStatsEndpointForTesting();
#endif
