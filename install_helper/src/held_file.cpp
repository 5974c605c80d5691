#include "held_file.h"

CHeldFile::CHeldFile(const wchar_t* path)
    : m_hFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

CHeldFile::~CHeldFile() {
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
    }
}
