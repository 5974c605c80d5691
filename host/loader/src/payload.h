// The payload the loader host downloads and installs: a small archive of named files.
//
//   "FWPK"  u32 version (1)  u32 file count (1 to kMaxFiles)
//   then per file: u16 name length (1 to kMaxNameLength), the name (ASCII),
//                  u32 size, the file's bytes
// All numbers little-endian; nothing may follow the last file. A name is a relative path of
// components separated by "/", each of the characters A-Z a-z 0-9 "." "-" "_", not starting or
// ending with a dot, not a device name (CON, NUL, COM1 ...); no two names equal ignoring case,
// and none equal to the file list's name. Anything else refuses the whole payload before a single
// file is written.
#pragma once

#include <stddef.h>

#include "runtime.h"

namespace loader {

constexpr unsigned kMaxFiles = 256;
constexpr unsigned kMaxNameLength = 120;
// The file list the install writes last, in the install folder.
constexpr wchar_t kFileListName[] = L"fetchwell-files.txt";

struct PayloadEntry {
    wchar_t name[kMaxNameLength + 1];  // with "\" between the components
    const unsigned char* data;
    unsigned long size;
};

// The files of a payload, pointing into its bytes (which must outlive it).
class CPayload {
public:
    CPayload() = default;
    ~CPayload() { HeapRelease(m_pEntries); }
    CPayload(const CPayload&) = delete;
    CPayload& operator=(const CPayload&) = delete;

    // Reads and checks the whole payload; on false, reason says why.
    bool Parse(const unsigned char* data, size_t size, CMessageText& reason);
    unsigned Count() const { return m_count; }
    const PayloadEntry& Entry(unsigned i) const { return m_pEntries[i]; }

private:
    PayloadEntry* m_pEntries = nullptr;
    unsigned m_count = 0;
};

// Whether name (a payload name with "/" separators, length characters) follows the rules above;
// on true, out holds it with "\" separators.
bool CheckPayloadName(const char* name, size_t length, wchar_t (&out)[kMaxNameLength + 1]);

}  // namespace loader
