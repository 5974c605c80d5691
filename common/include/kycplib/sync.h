// Owners of named kernel synchronisation objects.
//
// Named objects are created with a descriptor that carries no access-control list, so that a
// process of any user (the loader host, a second copy of the install helper) can open them, and
// with inheritable handles. Creation failures throw the Win32 error code as an unsigned long.
#pragma once

#include <windows.h>

#include "kycplib/noncopyable.h"

namespace kycplib {

class CKYSyncObject : public noncopyable {
public:
    virtual ~CKYSyncObject();

    // True only when the object was signalled within timeoutMs (INFINITE allowed). A time-out,
    // an abandoned mutex and a failed wait all give false.
    virtual bool Wait(DWORD timeoutMs) = 0;

    // Releases (mutex) or sets (event) the object; false when the system call failed.
    virtual bool Signal() = 0;
};

class CKYMutex : public CKYSyncObject {
public:
    // Creates the mutex, not owned, or opens the existing one of that name. A null name gives an
    // unnamed mutex. Throws GetLastError() as unsigned long when no handle comes back.
    explicit CKYMutex(const wchar_t* name = nullptr);
    ~CKYMutex() override;

    bool Wait(DWORD timeoutMs) override;
    bool Signal() override;

    // Whether a mutex of that name exists. Only opens, never creates.
    static bool Exists(const wchar_t* name);

    HANDLE GetHandle() const { return m_hMutex; }

private:
    HANDLE m_hMutex;
    SECURITY_ATTRIBUTES m_securityAttributes;
    SECURITY_DESCRIPTOR m_securityDescriptor;
};

class CKYEvent : public CKYSyncObject {
public:
    // Creates the event, or opens the existing one of that name (the two flags then have no
    // effect). Throws GetLastError() as unsigned long when no handle comes back.
    explicit CKYEvent(const wchar_t* name = nullptr, bool manualReset = false,
                      bool initialState = false);
    ~CKYEvent() override;

    bool Wait(DWORD timeoutMs) override;
    bool Signal() override;

    HANDLE GetHandle() const { return m_hEvent; }

private:
    HANDLE m_hEvent;
    SECURITY_ATTRIBUTES m_securityAttributes;
    SECURITY_DESCRIPTOR m_securityDescriptor;
};

}  // namespace kycplib
