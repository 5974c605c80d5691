// A clock for measuring short spans: the platform's monotonic counter behind a small seam, since
// the loader host links the library without a C++ runtime's std::chrono.
#pragma once

namespace kysig {
namespace detail {

// Nanoseconds from an arbitrary start; only differences mean something.
long long SteadyNanoseconds();

}  // namespace detail
}  // namespace kysig
