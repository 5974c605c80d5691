// The statistics request's URL: the endpoint, the fixed path and the five query values, each value
// percent-encoded from UTF-8, the whole bounded to kMaxStatsUrlLength characters.
#pragma once

#include <stddef.h>

#include <string>

namespace kystats {

// The URL buffer of a request holds 1024 characters with the terminator.
constexpr size_t kMaxStatsUrlLength = 1023;

struct StatsQuery {
    const wchar_t* lngprod;
    const wchar_t* productId;
    const wchar_t* build;
    const wchar_t* rnd;
    const wchar_t* action;
};

// Appends text to url percent-encoded: each character as UTF-8, every byte but the unreserved
// characters (letters, digits, "-", ".", "_", "~") written as "%XX". A lone surrogate is sent as
// U+FFFD. Only whole characters are appended, so that url never ends inside an escape, and url
// does not grow beyond maxLength characters. Returns false when text did not fit whole. A null
// text is empty.
bool AppendPercentEncoded(std::wstring& url, const wchar_t* text, size_t maxLength);

// endpoint ("scheme://host[:port]", no trailing slash) + "/prodinstall.php?lngprod=...&product_id=
// ...&build=...&rnd=...&action=...", at most kMaxStatsUrlLength characters: a value that does not
// fit is cut after its last whole character and nothing follows it. Empty for an empty endpoint.
std::wstring BuildStatsUrl(const wchar_t* endpoint, const StatsQuery& query);

}  // namespace kystats
