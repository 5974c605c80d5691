// Time difference of two SYSTEMTIME records, for the progress page's elapsed time and speed.
#include "fetchwell/loadercontrol.h"

#include <string.h>

namespace {

// FILETIME counts 100-nanosecond steps.
constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kMaxHours = 0xFFFF;

bool ToTicks(const SYSTEMTIME& time, ULONGLONG& ticks) {
    FILETIME file;
    if (!SystemTimeToFileTime(&time, &file)) {
        return false;
    }
    ticks = (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

}  // namespace

extern "C" int GetDifSystemTime(SYSTEMTIME* result, const SYSTEMTIME* from, const SYSTEMTIME* to) {
    if (result != nullptr) {
        memset(result, 0, sizeof(*result));
    }
    ULONGLONG start = 0;
    ULONGLONG end = 0;
    if (result == nullptr || from == nullptr || to == nullptr || !ToTicks(*from, start) ||
        !ToTicks(*to, end)) {
        return -1;
    }
    if (end < start) {
        return 1;
    }
    ULONGLONG ms = (end - start) / kTicksPerMillisecond;
    // Hours are not wrapped at a day: whoever reads only the time fields still gets the whole
    // difference for a download that runs past midnight or longer than a day.
    ULONGLONG hours = ms / 3600000;
    if (hours > kMaxHours) {
        hours = kMaxHours;
        ms = hours * 3600000 + 3599999;
    }
    result->wHour = static_cast<WORD>(hours);
    result->wMinute = static_cast<WORD>(ms / 60000 % 60);
    result->wSecond = static_cast<WORD>(ms / 1000 % 60);
    result->wMilliseconds = static_cast<WORD>(ms % 1000);
    return 0;
}
