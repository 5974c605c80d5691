// A second thread that runs one job at a time for the verifier: the platform's threads behind a
// small seam, since the shipped 32-bit build (GCC's win32 thread model) has no std::thread.
#pragma once

namespace kysig {
namespace detail {

class SideThread {
public:
    using Job = void (*)(void* context);

    SideThread() = default;
    // Ends the thread and waits for it.
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // False when no thread could be had; the caller then does the work itself.
    bool Start();
    // Hands job over; returns at once. At most one job is posted at a time (Wait in between).
    void Post(Job job, void* context);
    // Until the posted job has run.
    void Wait();

    // The thread's loop; public only for the platform's start routine.
    static void Run(SideThread* self);

private:
    struct Platform;
    Platform* m_pPlatform = nullptr;
    Job m_job = nullptr;
    void* m_pContext = nullptr;
    bool m_bStop = false;
};

}  // namespace detail
}  // namespace kysig
