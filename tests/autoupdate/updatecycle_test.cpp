#include <gtest/gtest.h>

#include "autoupdate/UpdateCycle.h"

using namespace vel;

namespace {

// Number of the first tick (1-based) that considers a shot, within a limit; 0 when none does.
int FirstShotTick(UpdateCycleState s, int limit) {
    for (int tick = 1; tick <= limit; ++tick)
        if (CountTick(s).considerShot) return tick;
    return 0;
}

// Number of the tick (1-based) that asks the agent to quit; 0 when none does within the limit.
int QuitTick(UpdateCycleState s, int limit) {
    for (int tick = 1; tick <= limit; ++tick)
        if (CountTick(s).quit) return tick;
    return 0;
}

TEST(UpdateCycle, FirstTicksOnlyCountUnlessSleepXSaysOtherwise) {
    const struct {
        int64_t sleepX;  // -1: the switch is absent
        int firstShotTick;
    } cases[] = {{-1, 4}, {0, 1}, {1, 2}, {10, 11}};
    for (const auto& c : cases) {
        UpdateCycleState s;
        s.timerCount = StartTimerCount(c.sleepX);
        EXPECT_EQ(FirstShotTick(s, 20), c.firstShotTick) << "SleepX " << c.sleepX;
    }
    // Once above 0 the counter keeps every later tick eligible.
    UpdateCycleState s;
    s.timerCount = StartTimerCount(0);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(CountTick(s).considerShot);
}

TEST(UpdateCycle, ShutDownCountdownEndsTheAgentAfterThatManyTicks) {
    const struct {
        int32_t countdown;
        int quitTick;
    } cases[] = {{-1, 0}, {0, 1}, {2, 3}, {5, 6}};
    for (const auto& c : cases) {
        UpdateCycleState s;
        s.shutDownCountdown = c.countdown;
        EXPECT_EQ(QuitTick(s, 20), c.quitTick) << "countdown " << c.countdown;
    }
    // It asks once: the countdown then stays at -1.
    UpdateCycleState s;
    s.shutDownCountdown = 0;
    EXPECT_TRUE(CountTick(s).quit);
    EXPECT_EQ(s.shutDownCountdown, -1);
    EXPECT_FALSE(CountTick(s).quit);
}

}  // namespace
