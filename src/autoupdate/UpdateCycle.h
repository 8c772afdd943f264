#pragma once
// The update cycle of the agent copy: its state and the counting part of a timer tick, portable so
// that every case runs without a window. The shots (fetch, decide, update) run on Windows
// (AgentCopy_win.cpp, PerformUpdate_win.cpp).
#include <cstdint>
#include <string>

namespace vel {

// Process-wide state of the cycle; one per agent copy.
struct UpdateCycleState {
    bool busy = false;               // a tick is running: a tick arriving meanwhile does nothing
    int32_t timerCount = -3;         // AutoUpdateTimerCount: shots are considered only above 0
    int32_t shutDownCountdown = -1;  // ticks until the agent quits; -1 never
    int32_t mode = 0;                // 0 timed; 2 interactive check requested; 1 interactive check running
    bool force = false;              // the next status computation yields a shot whatever the time
    bool probeEnabled = true;        // timed shots allowed; cleared after a shot whose interval is 0
    bool justDownloadInfoFile = false;  // the next tick only fetches the update-info file
    int32_t phase = 0;               // 0 idle, 1 update-info file, 2 update or inform file, 3 update run
    bool testMode = false;           // fetches from testLocation, never over HTTP
    std::string testLocation;        // "TestModeURL": a drive or UNC folder
    uint32_t lastTestModeCheck = 0;  // tick count (ms) of the previous test-mode check
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
