// Shared pieces of the common library's tests: object names private to one test run, and the
// helper process.
#pragma once

#include <windows.h>

#include <string>

namespace kycplib_test {

// Owns one raw handle the test opened itself.
class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return m_handle; }
    void Reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }

private:
    HANDLE m_handle;
};

// A kernel-object name that no other run (parallel tests, earlier runs) uses.
std::wstring UniqueName(const wchar_t* tag);

// Directory of the running test program, with its trailing backslash.
std::wstring ExeDirectory();

// Starts the helper process with the given arguments; the returned handle is the process.
// inheritHandles passes this process's inheritable handles on.
HANDLE StartProbe(const std::wstring& arguments, bool inheritHandles = false);

// Runs the helper to its end and returns its exit code.
DWORD RunProbe(const std::wstring& arguments, bool inheritHandles = false);

}  // namespace kycplib_test
