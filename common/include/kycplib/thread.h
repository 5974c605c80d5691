// A thread owned by an object: derive, implement Run, Start it, and Wait or Stop it before the
// object goes away (the destructor only closes the handle; it cannot wait, since by then the
// derived part that Run uses is already gone).
#pragma once

#include <windows.h>

#include <atomic>

#include "kycplib/noncopyable.h"

namespace kycplib {

class CKYThread : public noncopyable {
public:
    static constexpr unsigned kMaxNameLength = 128;

    // Keeps at most 128 characters of name; null counts as empty.
    explicit CKYThread(const wchar_t* name = nullptr);
    virtual ~CKYThread();

    // Called by Start on the starting thread, before the new thread exists.
    virtual void OnStart();
    // The thread body; its result becomes the thread's exit code.
    virtual DWORD Run() = 0;
    // Called on the new thread after Run returned.
    virtual void OnExit();
    // Stopping is cooperative: Run has to look at IsStopRequested.
    virtual void RequestStop();
    virtual bool IsStopRequested() const;

    // OnStart, then creates the thread. Throws GetLastError() as unsigned long when the thread
    // cannot be created, and ERROR_BUSY when the thread of an earlier Start still runs (a thread
    // that has ended is released and a new one started).
    void Start();

    // True when no thread was started, or it ended within timeoutMs.
    bool Wait(DWORD timeoutMs);
    // True when no thread was started; otherwise RequestStop and Wait(timeoutMs).
    bool Stop(DWORD timeoutMs);
    // False when no thread was started or it has ended.
    bool IsRunning();

    const wchar_t* GetName() const { return m_name; }
    DWORD GetThreadId() const { return m_threadId; }
    // Run's result; only meaningful after Wait returned true.
    DWORD GetExitCode() const { return m_exitCode; }
    HANDLE GetHandle() const { return m_hThread; }

private:
    static DWORD WINAPI ThreadEntry(LPVOID param);

    // Written on one thread and read on another; it only ever goes from false to true while a
    // thread runs.
    std::atomic<bool> m_stopRequested;
    wchar_t m_name[kMaxNameLength + 1];
    DWORD m_threadId;
    DWORD m_exitCode;
    HANDLE m_hThread;
};

}  // namespace kycplib
