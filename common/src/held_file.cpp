#include "kycplib/held_file.h"

namespace kycplib {

CHeldFile::CHeldFile(const wchar_t* path)
    : m_hFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

CHeldFile::~CHeldFile() { Release(); }

void CHeldFile::Release() {
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    // Callers release between a system call and their look at its last-error value.
    const DWORD error = GetLastError();
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    SetLastError(error);
}

}  // namespace kycplib
