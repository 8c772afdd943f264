// Clock readings for the portable code. The C++ library's clocks are not used: their library
// part would bring its exception runtime into the stub, which is built without one.
#pragma once

#include <cstdint>

namespace vel {

// Wall clock: milliseconds since 1970-01-01 00:00 UTC.
uint64_t UnixTimeMs();

// Monotonic clock: milliseconds since an arbitrary start (system start on Windows).
uint64_t MonotonicMs();

}  // namespace vel
