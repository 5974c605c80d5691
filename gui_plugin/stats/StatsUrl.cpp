#include "StatsUrl.h"

#include <wchar.h>

namespace kystats {

namespace {

bool IsUnreserved(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The escapes of one code point, at most four UTF-8 bytes of three characters each.
std::wstring EncodeCodePoint(unsigned cp) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    if (IsUnreserved(cp)) return std::wstring(1, static_cast<wchar_t>(cp));
    unsigned char bytes[4];
    int count;
    if (cp < 0x80) {
        bytes[0] = static_cast<unsigned char>(cp);
        count = 1;
    } else if (cp < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        count = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        count = 3;
    } else {
        bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        count = 4;
    }
    std::wstring out;
    for (int i = 0; i < count; ++i) {
        out += L'%';
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0x0F];
    }
    return out;
}

bool AppendLiteral(std::wstring& url, const wchar_t* text, size_t maxLength) {
    size_t length = wcslen(text);
    if (url.size() + length > maxLength) return false;
    url += text;
    return true;
}

}  // namespace

bool AppendPercentEncoded(std::wstring& url, const wchar_t* text, size_t maxLength) {
    if (text == nullptr) return true;
    for (size_t i = 0; text[i] != L'\0'; ++i) {
        unsigned cp = static_cast<unsigned>(text[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            unsigned low = static_cast<unsigned>(text[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        std::wstring escaped = EncodeCodePoint(cp);
        if (url.size() + escaped.size() > maxLength) return false;
        url += escaped;
    }
    return true;
}

std::wstring BuildStatsUrl(const wchar_t* endpoint, const StatsQuery& query) {
    std::wstring url;
    if (endpoint == nullptr || endpoint[0] == L'\0') return url;
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } fields[] = {
        {L"/prodinstall.php?lngprod=", query.lngprod},
        {L"&product_id=", query.productId},
        {L"&build=", query.build},
        {L"&rnd=", query.rnd},
        {L"&action=", query.action},
    };
    if (!AppendLiteral(url, endpoint, kMaxStatsUrlLength)) return std::wstring();
    for (const auto& field : fields) {
        if (!AppendLiteral(url, field.key, kMaxStatsUrlLength)) break;
        if (!AppendPercentEncoded(url, field.value, kMaxStatsUrlLength)) break;
    }
    return url;
}

}  // namespace kystats
