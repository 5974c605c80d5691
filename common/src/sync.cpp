#include "kycplib/sync.h"

namespace kycplib {

#if !defined(_WIN64)
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12, "the 32-bit creation record is 12 bytes long");
#endif

namespace {

// A descriptor without an access-control list lets every process of every user open the
// object; the handles are inheritable so that started processes may take them along.
void PrepareCreationRecord(SECURITY_ATTRIBUTES& attributes, SECURITY_DESCRIPTOR& descriptor) {
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        throw static_cast<unsigned long>(GetLastError());
    }
    // The record's own size, as the system checks it: 12 bytes in the 32-bit build, 24 in the
    // 64-bit one, where a fixed 12 would describe a record cut off inside its pointer.
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
}

bool WaitSignalled(HANDLE handle, DWORD timeoutMs) {
    return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace

CKYSyncObject::~CKYSyncObject() = default;

CKYMutex::CKYMutex(const wchar_t* name)
    : m_hMutex(nullptr), m_securityAttributes(), m_securityDescriptor() {
    PrepareCreationRecord(m_securityAttributes, m_securityDescriptor);
    m_hMutex = CreateMutexW(&m_securityAttributes, FALSE, name);
    if (m_hMutex == nullptr) {
        throw static_cast<unsigned long>(GetLastError());
    }
}

CKYMutex::~CKYMutex() {
    if (m_hMutex != nullptr) {
        // Fails harmlessly when this thread does not own it; when it does, the next owner gets
        // a released mutex rather than an abandoned one.
        ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

bool CKYMutex::Wait(DWORD timeoutMs) { return WaitSignalled(m_hMutex, timeoutMs); }

bool CKYMutex::Signal() { return ReleaseMutex(m_hMutex) != FALSE; }

bool CKYMutex::Exists(const wchar_t* name) {
    HANDLE handle = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (handle == nullptr) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

CKYEvent::CKYEvent(const wchar_t* name, bool manualReset, bool initialState)
    : m_hEvent(nullptr), m_securityAttributes(), m_securityDescriptor() {
    PrepareCreationRecord(m_securityAttributes, m_securityDescriptor);
    m_hEvent = CreateEventW(&m_securityAttributes, manualReset ? TRUE : FALSE,
                            initialState ? TRUE : FALSE, name);
    if (m_hEvent == nullptr) {
        throw static_cast<unsigned long>(GetLastError());
    }
}

CKYEvent::~CKYEvent() {
    if (m_hEvent != nullptr) {
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
}

bool CKYEvent::Wait(DWORD timeoutMs) { return WaitSignalled(m_hEvent, timeoutMs); }

bool CKYEvent::Signal() { return SetEvent(m_hEvent) != FALSE; }

}  // namespace kycplib
