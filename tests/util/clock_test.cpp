#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "util/Clock.h"

using namespace vel;

// The wall clock counts from 1970 in UTC like the C runtime's time(); a wrong epoch or unit
// shows as years or a factor off.
TEST(Clock, WallClockAgreesWithTheRuntime) {
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    const int64_t ms = static_cast<int64_t>(UnixTimeMs());
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(ms / 1000, before - 1);
    EXPECT_LE(ms / 1000, after + 1);
}

TEST(Clock, MonotonicClockMovesForwardInMilliseconds) {
    const uint64_t start = MonotonicMs();
    const std::time_t wallStart = std::time(nullptr);
    uint64_t now = start, last = start;
    // Spin until the wall clock has moved on by three seconds (between 2 and 3 seconds of real
    // time, as it counts whole seconds), watching the monotonic one.
    while (std::time(nullptr) - wallStart < 3) {
        now = MonotonicMs();
        ASSERT_GE(now, last);
        last = now;
    }
    EXPECT_GE(now - start, 1900u);
    EXPECT_LE(now - start, 3500u);
}
