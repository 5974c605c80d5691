// Keeps a file from being changed between its signature check and its use.
#pragma once

#include <windows.h>

#include "kycplib/noncopyable.h"

namespace kycplib {

// Opens the file for reading and lets others only read it, so that nobody can write, replace,
// rename or delete it while the object holds it. Readers (the signature check, the loader of a
// library or program, the script host) still get in.
class CHeldFile : public noncopyable {
public:
    explicit CHeldFile(const wchar_t* path);
    ~CHeldFile();

    // False when the file could not be opened that way (missing, a folder, or already open for
    // writing by someone else).
    bool IsHeld() const { return m_hFile != INVALID_HANDLE_VALUE; }

    // Ends the hold early; the last-error value is left as it was.
    void Release();

private:
    HANDLE m_hFile;
};

}  // namespace kycplib
