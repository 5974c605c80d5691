#include "kycplib/thread.h"

#include "text.h"

namespace kycplib {

// The stop flag stays a single byte that is read and written without a hidden lock; atomic only
// keeps the compiler from caching it in a Run loop that polls it.
static_assert(sizeof(std::atomic<bool>) == 1, "stop flag is one byte");
static_assert(std::atomic<bool>::is_always_lock_free, "stop flag needs no lock");

CKYThread::CKYThread(const wchar_t* name)
    : m_stopRequested(false), m_name(), m_threadId(0), m_exitCode(0), m_hThread(nullptr) {
    detail::CopyTruncated(m_name, kMaxNameLength + 1, name);
}

CKYThread::~CKYThread() {
    if (m_hThread != nullptr) {
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
}

void CKYThread::OnStart() {}

void CKYThread::OnExit() {}

void CKYThread::RequestStop() { m_stopRequested = true; }

bool CKYThread::IsStopRequested() const { return m_stopRequested; }

void CKYThread::Start() {
    if (m_hThread != nullptr) {
        // A second thread on the same object would run Run twice over the same members, and
        // overwriting the handle would leak it; an ended thread is simply replaced.
        if (IsRunning()) {
            throw static_cast<unsigned long>(ERROR_BUSY);
        }
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_threadId = 0;
        m_exitCode = 0;
        m_stopRequested = false;
    }
    OnStart();
    DWORD threadId = 0;
    HANDLE handle = CreateThread(nullptr, 0, &CKYThread::ThreadEntry, this, 0, &threadId);
    if (handle == nullptr) {
        throw static_cast<unsigned long>(GetLastError());
    }
    m_threadId = threadId;
    m_hThread = handle;
}

DWORD WINAPI CKYThread::ThreadEntry(LPVOID param) {
    CKYThread* self = static_cast<CKYThread*>(param);
    DWORD exitCode = self->Run();
    self->m_exitCode = exitCode;
    // The local copy keeps the exit code valid even when OnExit lets the object go.
    self->OnExit();
    return exitCode;
}

bool CKYThread::Wait(DWORD timeoutMs) {
    if (m_hThread == nullptr) {
        return true;
    }
    return WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
}

bool CKYThread::Stop(DWORD timeoutMs) {
    if (m_hThread == nullptr) {
        return true;
    }
    RequestStop();
    return Wait(timeoutMs);
}

bool CKYThread::IsRunning() {
    if (m_hThread == nullptr) {
        return false;
    }
    return WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT;
}

}  // namespace kycplib
