#include "side_thread.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <pthread.h>
#endif

namespace kysig {
namespace detail {

#ifdef _WIN32

// Two auto-reset events: one says a job (or the stop) is there, the other that it has run.
struct SideThread::Platform {
    HANDLE thread = nullptr;
    HANDLE posted = nullptr;
    HANDLE done = nullptr;
};

namespace {
unsigned __stdcall ThreadMain(void* self) {
    SideThread::Run(static_cast<SideThread*>(self));
    return 0;
}
}  // namespace

bool SideThread::Start() {
    m_pPlatform = new (std::nothrow) Platform;
    if (m_pPlatform == nullptr) return false;
    m_pPlatform->posted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_pPlatform->done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_pPlatform->posted != nullptr && m_pPlatform->done != nullptr) {
        // _beginthreadex rather than CreateThread: the jobs use the C runtime.
        m_pPlatform->thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, this, 0, nullptr));
    }
    if (m_pPlatform->thread == nullptr) {
        if (m_pPlatform->posted != nullptr) CloseHandle(m_pPlatform->posted);
        if (m_pPlatform->done != nullptr) CloseHandle(m_pPlatform->done);
        delete m_pPlatform;
        m_pPlatform = nullptr;
        return false;
    }
    return true;
}

void SideThread::Post(Job job, void* context) {
    m_job = job;
    m_pContext = context;
    SetEvent(m_pPlatform->posted);
}

void SideThread::Wait() { WaitForSingleObject(m_pPlatform->done, INFINITE); }

SideThread::~SideThread() {
    if (m_pPlatform == nullptr) return;
    m_bStop = true;
    SetEvent(m_pPlatform->posted);
    WaitForSingleObject(m_pPlatform->thread, INFINITE);
    CloseHandle(m_pPlatform->thread);
    CloseHandle(m_pPlatform->posted);
    CloseHandle(m_pPlatform->done);
    delete m_pPlatform;
}

void SideThread::Run(SideThread* self) {
    for (;;) {
        WaitForSingleObject(self->m_pPlatform->posted, INFINITE);
        if (self->m_bStop) return;
        self->m_job(self->m_pContext);
        SetEvent(self->m_pPlatform->done);
    }
}

#else

struct SideThread::Platform {
    pthread_t thread;
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
    bool posted = false;  // a job (or the stop) waits for the thread
    bool done = false;    // the job has run
};

namespace {
void* ThreadMain(void* self) {
    SideThread::Run(static_cast<SideThread*>(self));
    return nullptr;
}
}  // namespace

bool SideThread::Start() {
    m_pPlatform = new (std::nothrow) Platform;
    if (m_pPlatform == nullptr) return false;
    if (pthread_create(&m_pPlatform->thread, nullptr, ThreadMain, this) != 0) {
        delete m_pPlatform;
        m_pPlatform = nullptr;
        return false;
    }
    return true;
}

void SideThread::Post(Job job, void* context) {
    pthread_mutex_lock(&m_pPlatform->mutex);
    m_job = job;
    m_pContext = context;
    m_pPlatform->posted = true;
    m_pPlatform->done = false;
    pthread_cond_broadcast(&m_pPlatform->changed);
    pthread_mutex_unlock(&m_pPlatform->mutex);
}

void SideThread::Wait() {
    pthread_mutex_lock(&m_pPlatform->mutex);
    while (!m_pPlatform->done) pthread_cond_wait(&m_pPlatform->changed, &m_pPlatform->mutex);
    pthread_mutex_unlock(&m_pPlatform->mutex);
}

SideThread::~SideThread() {
    if (m_pPlatform == nullptr) return;
    pthread_mutex_lock(&m_pPlatform->mutex);
    m_bStop = true;
    m_pPlatform->posted = true;
    pthread_cond_broadcast(&m_pPlatform->changed);
    pthread_mutex_unlock(&m_pPlatform->mutex);
    pthread_join(m_pPlatform->thread, nullptr);
    pthread_mutex_destroy(&m_pPlatform->mutex);
    pthread_cond_destroy(&m_pPlatform->changed);
    delete m_pPlatform;
}

void SideThread::Run(SideThread* self) {
    Platform* p = self->m_pPlatform;
    for (;;) {
        pthread_mutex_lock(&p->mutex);
        while (!p->posted) pthread_cond_wait(&p->changed, &p->mutex);
        p->posted = false;
        const bool stop = self->m_bStop;
        pthread_mutex_unlock(&p->mutex);
        if (stop) return;
        self->m_job(self->m_pContext);
        pthread_mutex_lock(&p->mutex);
        p->done = true;
        pthread_cond_broadcast(&p->changed);
        pthread_mutex_unlock(&p->mutex);
    }
}

#endif

}  // namespace detail
}  // namespace kysig
