#include "steady_clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace kysig {
namespace detail {

#ifdef _WIN32

long long SteadyNanoseconds() {
    LARGE_INTEGER frequency = {}, now = {};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&now) || now.QuadPart < 0) {
        return static_cast<long long>(GetTickCount()) * 1000000;
    }
    // Whole seconds and the rest apart, so that the product cannot overflow; unsigned, since the
    // 32-bit build's callers have only the unsigned 64-bit division helpers.
    const unsigned long long ticks = static_cast<unsigned long long>(now.QuadPart);
    const unsigned long long perSecond = static_cast<unsigned long long>(frequency.QuadPart);
    const unsigned long long seconds = ticks / perSecond, rest = ticks % perSecond;
    return static_cast<long long>(seconds * 1000000000ull + rest * 1000000000ull / perSecond);
}

#else

long long SteadyNanoseconds() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

#endif

}  // namespace detail
}  // namespace kysig
