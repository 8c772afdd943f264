#pragma once
// The update cycle of the agent copy: its state and the counting part of a timer tick, portable so
// that every case runs without a window. The shots themselves (fetch, decide, update) are not
// built yet: the agent copy's tick says so and ends the agent (AgentCopy_win.cpp).
#include <cstdint>

namespace vel {

// Process-wide state of the cycle; one per agent copy.
struct UpdateCycleState {
    bool busy = false;               // a tick is running: a tick arriving meanwhile does nothing
    int32_t timerCount = -3;         // AutoUpdateTimerCount: shots are considered only above 0
    int32_t shutDownCountdown = -1;  // ticks until the agent quits; -1 never
};

// AutoUpdateTimerCount at start: minus "/SleepX=" when that is 0 or more (-1 when absent), else -3.
int32_t StartTimerCount(int64_t sleepX);

// What a tick does once it has counted.
struct TickCount {
    bool quit = false;          // the countdown ran out: post the quit message (the tick goes on)
    bool considerShot = false;  // the counter is above 0: a shot may be due
};

// The counting steps of a tick: a countdown of 0 asks to quit, one of 0 or more goes down by one;
// the counter goes up by one.
TickCount CountTick(UpdateCycleState& s);

}  // namespace vel
