#pragma once
// What an update does once the product has been asked to end: how long the agent waits for it,
// and whether the update then runs and the product is started again. A product that still runs
// is never updated under its feet; the next shot tries again. Portable: no Windows API.
#include <cstdint>
#include <string>

namespace vel {

// "ShutDownWaitSeconds" of the update-info file: how long the agent waits for the product to end
// after asking it to. Long enough for a product that saves its state on the way out.
constexpr int64_t kShutDownWaitDefaultSeconds = 30;
constexpr int64_t kShutDownWaitMaxSeconds = 300;
// The setting's text as whole seconds 0 .. 300; anything else (missing, not a number, out of
// range) gives the default.
int64_t ShutDownWaitSeconds(const std::string& text);

struct AfterShutDown {
    bool runUpdate = false;
    bool restart = false;
};

// leftRunning: the shut-down method leaves the product running on purpose ("Don't Shut Down");
// wasRunning: the product ran when the shut-down began; stillRunning: it runs after the wait;
// restartWanted: "RestartProcess". Only a product that this shut-down ended is started again.
AfterShutDown DecideAfterShutDown(bool leftRunning, bool wasRunning, bool stillRunning, bool restartWanted);

}  // namespace vel
