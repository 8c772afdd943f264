#include "autoupdate/UpdateCycle.h"

namespace vel {

int32_t StartTimerCount(int64_t sleepX) {
    if (sleepX < 0) return -3;
    if (sleepX > INT32_MAX) return INT32_MIN + 1;
    return static_cast<int32_t>(-sleepX);
}

TickCount CountTick(UpdateCycleState& s) {
    TickCount t;
    t.quit = s.shutDownCountdown == 0;
    if (s.shutDownCountdown >= 0) --s.shutDownCountdown;
    if (s.timerCount < INT32_MAX) ++s.timerCount;
    t.considerShot = s.timerCount > 0;
    return t;
}

}  // namespace vel
