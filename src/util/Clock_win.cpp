// Clock readings on Windows.
#include <windows.h>

#include "util/Clock.h"

namespace vel {

uint64_t UnixTimeMs() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    // FILETIME counts 100 ns steps from 1601-01-01.
    const uint64_t from1601 = 116444736000000000ull;
    return ticks < from1601 ? 0 : (ticks - from1601) / 10000;
}

uint64_t MonotonicMs() { return GetTickCount64(); }

}  // namespace vel
