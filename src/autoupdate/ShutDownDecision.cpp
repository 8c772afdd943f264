#include "autoupdate/ShutDownDecision.h"

#include "autoupdate/SettingsValues.h"

namespace vel {

int64_t ShutDownWaitSeconds(const std::string& text) {
    const int64_t seconds = SettingsInt(text, kShutDownWaitDefaultSeconds);
    return seconds >= 0 && seconds <= kShutDownWaitMaxSeconds ? seconds : kShutDownWaitDefaultSeconds;
}

AfterShutDown DecideAfterShutDown(bool leftRunning, bool wasRunning, bool stillRunning, bool restartWanted) {
    AfterShutDown after;
    if (leftRunning) {
        after.runUpdate = true;  // the publisher's choice: the update copes with a running product
        return after;
    }
    if (stillRunning) return after;  // its files may be in use: no update now
    after.runUpdate = true;
    after.restart = wasRunning && restartWanted;
    return after;
}

}  // namespace vel
