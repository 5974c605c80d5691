#include "stats_record.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace statstest {

namespace {

// build/<preset>/stats-server-<name>.jsonl, in the Windows form of Wine's Z: drive.
std::string RecordPath(const char* name) {
    const char* build = getenv("KY_BUILD_DIR");
    std::string path =
        std::string("Z:") + (build ? build : "") + "/stats-server-" + name + ".jsonl";
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// The value of "target" in one JSON line of the server (the target is percent-encoded ASCII, so
// it holds no quote or backslash that the server would have escaped).
std::string TargetOf(const std::string& line) {
    const std::string key = "\"target\": \"";
    size_t start = line.find(key);
    if (start == std::string::npos) return std::string();
    start += key.size();
    size_t end = line.find('"', start);
    return end == std::string::npos ? std::string() : line.substr(start, end - start);
}

}  // namespace

std::vector<std::string> ReadRequestsWith(const char* name, const char* key,
                                          const std::string& value) {
    std::vector<std::string> targets;
    std::ifstream record(RecordPath(name));
    std::string line;
    while (std::getline(record, line)) {
        std::string target = TargetOf(line);
        if (!target.empty() && QueryValue(target, key) == value) targets.push_back(target);
    }
    return targets;
}

std::vector<std::string> ReadRequests(const char* name, const std::wstring& rnd) {
    return ReadRequestsWith(name, "rnd", Narrow(rnd));
}

std::vector<std::string> WaitForRequests(const char* name, const std::wstring& rnd, size_t count,
                                         DWORD timeoutMs) {
    return WaitForRequestsWith(name, "rnd", Narrow(rnd), count, timeoutMs);
}

std::vector<std::string> WaitForRequestsWith(const char* name, const char* key,
                                             const std::string& value, size_t count,
                                             DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::string> targets = ReadRequestsWith(name, key, value);
        if (targets.size() >= count || GetTickCount() - start > timeoutMs) return targets;
        Sleep(100);
    }
}

std::vector<std::pair<std::string, std::string>> SplitQuery(const std::string& target) {
    std::vector<std::pair<std::string, std::string>> fields;
    size_t question = target.find('?');
    if (question == std::string::npos) return fields;
    std::stringstream query(target.substr(question + 1));
    std::string field;
    while (std::getline(query, field, '&')) {
        size_t equals = field.find('=');
        if (equals == std::string::npos) {
            fields.emplace_back(field, std::string());
        } else {
            fields.emplace_back(field.substr(0, equals), field.substr(equals + 1));
        }
    }
    return fields;
}

std::string QueryValue(const std::string& target, const char* key) {
    std::string value = "<missing>";
    int found = 0;
    for (const auto& field : SplitQuery(target)) {
        if (field.first == key) {
            value = field.second;
            ++found;
        }
    }
    return found > 1 ? "<repeated>" : value;
}

std::wstring DecodeValue(const std::string& value) {
    std::string bytes;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            bytes += static_cast<char>(strtoul(value.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            bytes += value[i];
        }
    }
    if (bytes.empty()) return std::wstring();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length,
                        nullptr, nullptr);
    return bytes;
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

std::wstring FixtureDirectory(const wchar_t* name) {
    return ProgramDirectory() + L"stats-fixtures\\" + name + L"\\";
}

}  // namespace statstest
