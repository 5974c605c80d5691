// Language codes: Windows language ids to the codes the control file's GUI languages are keyed
// by, and those codes to the form the statistics requests send.
#include "fetchwell/loadercontrol.h"

#include "runtime.h"

namespace {

struct LanguageCode {
    WORD primary;
    const wchar_t* code;
};

// ISO 639-1 codes of the primary languages. Sub-languages (regions, scripts) share their primary
// language's code: the resource libraries are per language, not per region.
constexpr LanguageCode kLanguageCodes[] = {
    {LANG_ARABIC, L"ar"},     {LANG_BULGARIAN, L"bg"},  {LANG_CATALAN, L"ca"},
    {LANG_CHINESE, L"zh"},    {LANG_CZECH, L"cs"},      {LANG_DANISH, L"da"},
    {LANG_GERMAN, L"de"},     {LANG_GREEK, L"el"},      {LANG_ENGLISH, L"en"},
    {LANG_SPANISH, L"es"},    {LANG_FINNISH, L"fi"},    {LANG_FRENCH, L"fr"},
    {LANG_HEBREW, L"he"},     {LANG_HUNGARIAN, L"hu"},  {LANG_ICELANDIC, L"is"},
    {LANG_ITALIAN, L"it"},    {LANG_JAPANESE, L"ja"},   {LANG_KOREAN, L"ko"},
    {LANG_DUTCH, L"nl"},      {LANG_NORWEGIAN, L"no"},  {LANG_POLISH, L"pl"},
    {LANG_PORTUGUESE, L"pt"}, {LANG_ROMANIAN, L"ro"},   {LANG_RUSSIAN, L"ru"},
    {LANG_SLOVAK, L"sk"},     {LANG_SWEDISH, L"sv"},    {LANG_THAI, L"th"},
    {LANG_TURKISH, L"tr"},    {LANG_INDONESIAN, L"id"}, {LANG_UKRAINIAN, L"uk"},
    {LANG_SLOVENIAN, L"sl"},  {LANG_ESTONIAN, L"et"},   {LANG_LATVIAN, L"lv"},
    {LANG_LITHUANIAN, L"lt"}, {LANG_VIETNAMESE, L"vi"}, {LANG_HINDI, L"hi"},
};

const wchar_t* CodeOf(LANGID langId) {
    const WORD primary = PRIMARYLANGID(langId);
    for (const LanguageCode& entry : kLanguageCodes) {
        if (entry.primary == primary) {
            return entry.code;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" int MyLANGIDToISO3166(LANGID langId, wchar_t* buffer, unsigned int size, int flags) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = L'\0';
    const wchar_t* code = CodeOf(langId);
    if (code == nullptr) {
        return 0;
    }
    wchar_t text[16];
    size_t written = fetchwell::CopyTruncated(text, 16, code);
    // A neutral sub-language names no country; asking the system would invent its default one.
    if ((flags & MYLANGID_WITH_COUNTRY) != 0 && SUBLANGID(langId) != SUBLANG_NEUTRAL) {
        wchar_t country[9] = L"";
        const int length =
            GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_SISO3166CTRYNAME, country, 9);
        if (length > 1) {
            written += fetchwell::CopyTruncated(text + written, 16 - written, L"-");
            fetchwell::CopyTruncated(text + written, 16 - written, country);
        }
    }
    return static_cast<int>(fetchwell::CopyTruncated(buffer, size, text));
}

extern "C" int ConvertProductLanguageForUserAgent(const wchar_t* language, wchar_t* buffer,
                                                  unsigned long size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = L'\0';
    if (language == nullptr) {
        return 0;
    }
    for (const wchar_t* p = language; *p != L'\0'; ++p) {
        const wchar_t c = *p;
        const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                             (c >= L'0' && c <= L'9') || c == L'-' || c == L'_';
        if (!allowed) {
            return 0;
        }
    }
    size_t n = 0;
    for (; n + 1 < size && language[n] != L'\0'; ++n) {
        const wchar_t c = language[n];
        buffer[n] = c == L'_'                  ? L'-'
                    : (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a')
                                               : c;
    }
    buffer[n] = L'\0';
    return static_cast<int>(n);
}
