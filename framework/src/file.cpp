#include "afx.h"

BOOL CFile::Open(LPCWSTR path, UINT openFlags) {
    Close();
    DWORD access = GENERIC_READ;
    if (openFlags & modeWrite) access = GENERIC_WRITE;
    if (openFlags & modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    DWORD creation = (openFlags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    DWORD share = (access == GENERIC_READ) ? FILE_SHARE_READ : 0;
    m_hFile = CreateFileW(path, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE;
}

void CFile::Close() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    DWORD got = 0;
    if (!ReadFile(m_hFile, buffer, count, &got, nullptr)) return 0;
    return got;
}

BOOL CFile::Write(const void* buffer, UINT count) {
    DWORD written = 0;
    return WriteFile(m_hFile, buffer, count, &written, nullptr) && written == count;
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(m_hFile, distance, &position, from)) return static_cast<ULONGLONG>(-1);
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetPosition() const {
    LARGE_INTEGER zero = {}, position = {};
    if (!SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT)) return 0;
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetLength() const {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(m_hFile, &size)) return 0;
    return static_cast<ULONGLONG>(size.QuadPart);
}
