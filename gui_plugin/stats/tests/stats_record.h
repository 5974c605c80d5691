// Reading the recording statistics server's record (testing/stats_server) from a test under Wine.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace statstest {

// The request targets ("/prodinstall.php?...") in the record of the server called name whose
// query carries rnd=<rnd>, in order of arrival.
std::vector<std::string> ReadRequests(const char* name, const std::wstring& rnd);
// Likewise, the requests whose query has key=value (value as sent, percent-encoded).
std::vector<std::string> ReadRequestsWith(const char* name, const char* key,
                                          const std::string& value);
std::vector<std::string> WaitForRequestsWith(const char* name, const char* key,
                                             const std::string& value, size_t count,
                                             DWORD timeoutMs);
// Polls the record until it holds at least count requests with that rnd or timeoutMs passed.
std::vector<std::string> WaitForRequests(const char* name, const std::wstring& rnd, size_t count,
                                         DWORD timeoutMs);

// The query of a target split at "&" and "=", values still percent-encoded, in order.
std::vector<std::pair<std::string, std::string>> SplitQuery(const std::string& target);
// The query's value of key; "<missing>" when there is none, "<repeated>" when it comes twice.
std::string QueryValue(const std::string& target, const char* key);
// Percent-decoding of a query value into UTF-16 (from UTF-8).
std::wstring DecodeValue(const std::string& value);
std::string Narrow(const std::wstring& text);

// The folder of the test program with its trailing backslash, and a fixture folder below it.
std::wstring ProgramDirectory();
std::wstring FixtureDirectory(const wchar_t* name);

}  // namespace statstest
