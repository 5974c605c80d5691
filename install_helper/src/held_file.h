// Keeps a file from being changed between its signature check and its start.
#pragma once

#include <windows.h>

// Opens the file for reading and lets others only read it, so that nobody can write, replace,
// rename or delete it while the object lives. Readers (the signature check, the loader of an
// executable, the script host) still get in.
class CHeldFile {
public:
    explicit CHeldFile(const wchar_t* path);
    ~CHeldFile();
    CHeldFile(const CHeldFile&) = delete;
    CHeldFile& operator=(const CHeldFile&) = delete;

    // False when the file could not be opened that way (missing, or already open for writing).
    bool IsHeld() const { return m_hFile != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_hFile;
};
