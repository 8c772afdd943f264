// Clock readings on hosts other than Windows (the native test build).
#ifndef _WIN32

#include <time.h>

#include "util/Clock.h"

namespace vel {

namespace {
uint64_t Read(clockid_t id) {
    timespec ts{};
    if (clock_gettime(id, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}
}  // namespace

uint64_t UnixTimeMs() { return Read(CLOCK_REALTIME); }
uint64_t MonotonicMs() { return Read(CLOCK_MONOTONIC); }

}  // namespace vel

#endif
