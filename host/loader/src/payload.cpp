#include "payload.h"

namespace loader {

namespace {

constexpr unsigned kVersion = 1;

// Reads little-endian numbers from the bytes it was given, never past their end.
class CReader {
public:
    CReader(const unsigned char* data, size_t size) : m_pData(data), m_size(size) {}
    bool Read(unsigned long& value, int bytes) {
        if (Left() < static_cast<size_t>(bytes)) return false;
        value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | m_pData[m_offset + i];
        m_offset += bytes;
        return true;
    }
    bool Take(size_t count, const unsigned char*& where) {
        if (Left() < count) return false;
        where = m_pData + m_offset;
        m_offset += count;
        return true;
    }
    size_t Left() const { return m_size - m_offset; }

private:
    const unsigned char* m_pData;
    size_t m_size;
    size_t m_offset = 0;
};

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// A component whose part before the first dot names a device opens the device, not a file.
bool IsDeviceName(const char* component, size_t length) {
    size_t base = 0;
    while (base < length && component[base] != '.') ++base;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        size_t n = 0;
        while (device[n] != '\0' && n < base && Upper(component[n]) == device[n]) ++n;
        if (device[n] == '\0' && n == base) return true;
    }
    if (base == 4) {
        const char a = Upper(component[0]), b = Upper(component[1]), c = Upper(component[2]);
        const bool com = a == 'C' && b == 'O' && c == 'M';
        const bool lpt = a == 'L' && b == 'P' && c == 'T';
        if ((com || lpt) && component[3] >= '0' && component[3] <= '9') return true;
    }
    return false;
}

bool SameNameNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }

}  // namespace

bool CheckPayloadName(const char* name, size_t length, wchar_t (&out)[kMaxNameLength + 1]) {
    if (length == 0 || length > kMaxNameLength) return false;
    size_t start = 0;
    while (start <= length) {
        size_t end = start;
        while (end < length && name[end] != '/') ++end;
        const size_t componentLength = end - start;
        // Empty components ("a//b", a leading or trailing "/") and dots at either end ("..",
        // ".hidden", "name.") are refused.
        if (componentLength == 0) return false;
        if (name[start] == '.' || name[end - 1] == '.') return false;
        for (size_t i = start; i < end; ++i) {
            if (!IsNameCharacter(name[i])) return false;
        }
        if (IsDeviceName(name + start, componentLength)) return false;
        start = end + 1;
    }
    for (size_t i = 0; i < length; ++i) out[i] = name[i] == '/' ? L'\\' : name[i];
    out[length] = L'\0';
    return true;
}

bool CPayload::Parse(const unsigned char* data, size_t size, CMessageText& reason) {
    HeapRelease(m_pEntries);
    m_pEntries = nullptr;
    m_count = 0;

    CReader reader(data, size);
    const unsigned char* magic = nullptr;
    unsigned long version = 0, count = 0;
    if (!reader.Take(4, magic) || magic[0] != 'F' || magic[1] != 'W' || magic[2] != 'P' ||
        magic[3] != 'K') {
        reason.Append(L"The payload is not an archive of this loader.");
        return false;
    }
    if (!reader.Read(version, 4) || version != kVersion) {
        reason.Append(L"The payload's archive version is not supported.");
        return false;
    }
    if (!reader.Read(count, 4) || count == 0 || count > kMaxFiles) {
        reason.Append(L"The payload's file count is out of range.");
        return false;
    }
    PayloadEntry* entries =
        static_cast<PayloadEntry*>(HeapAllocate(sizeof(PayloadEntry) * static_cast<size_t>(count)));
    if (entries == nullptr) {
        reason.Append(L"Out of memory.");
        return false;
    }
    for (unsigned long i = 0; i < count; ++i) {
        unsigned long nameLength = 0, fileSize = 0;
        const unsigned char* name = nullptr;
        const unsigned char* bytes = nullptr;
        PayloadEntry& entry = entries[i];
        if (!reader.Read(nameLength, 2) || !reader.Take(nameLength, name) ||
            !reader.Read(fileSize, 4) || !reader.Take(fileSize, bytes)) {
            reason.Append(L"The payload ends inside file ").AppendNumber(i + 1).Append(L".");
            HeapRelease(entries);
            return false;
        }
        if (!CheckPayloadName(reinterpret_cast<const char*>(name), nameLength, entry.name) ||
            SameNameNoCase(entry.name, kFileListName)) {
            reason.Append(L"The payload names file ")
                .AppendNumber(i + 1)
                .Append(L" in a way that is not allowed.");
            HeapRelease(entries);
            return false;
        }
        for (unsigned long j = 0; j < i; ++j) {
            if (SameNameNoCase(entries[j].name, entry.name)) {
                reason.Append(L"The payload names a file twice: ").Append(entry.name);
                HeapRelease(entries);
                return false;
            }
        }
        entry.data = bytes;
        entry.size = fileSize;
    }
    if (reader.Left() != 0) {
        reason.Append(L"The payload has bytes after its last file.");
        HeapRelease(entries);
        return false;
    }
    m_pEntries = entries;
    m_count = static_cast<unsigned>(count);
    return true;
}

}  // namespace loader
