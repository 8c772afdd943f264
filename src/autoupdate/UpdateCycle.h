#pragma once
// The update cycle of the agent copy: its state, the counting part of a timer tick, the shot
// timing, the control requests and the texts of the cycle, portable so that every case runs
// without a window. The shots (fetch, decide, update) run on Windows (AgentCopy_win.cpp,
// PerformUpdate_win.cpp).
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

// Agent modes.
constexpr int32_t kModeTimed = 0;
constexpr int32_t kModeInteractive = 1;
constexpr int32_t kModeInteractiveRequested = 2;

// AutoUpdateTimerCount at start: minus "/SleepX=" when that is 0 or more (-1 when absent), else -3.
int32_t StartTimerCount(int64_t sleepX);

// What a tick does once it has counted.
struct TickCount {
    bool quit = false;          // the countdown ran out: post the quit message (the tick goes on)
    bool considerShot = false;  // the counter is above 0: a shot may be due
};

// The counting steps of a tick: a requested interactive check starts (and holds the counter at
// 0 so that this tick considers a shot); a countdown of 0 asks to quit, one of 0 or more goes
// down by one; the counter goes up by one.
TickCount CountTick(UpdateCycleState& s);
// The end of a tick that considered a shot: an interactive check is over.
void EndShotTick(UpdateCycleState& s);

// The values of the installation settings file that the cycle reads and writes.
class CycleSettings {
public:
    virtual ~CycleSettings() = default;
    virtual int64_t VersionOriginal() = 0;
    virtual int64_t VersionNew() = 0;  // of the update-info file
    virtual int64_t ProbeSecondsInterval() = 0;
    virtual int64_t ReAskSecondsInterval() = 0;
    virtual int64_t ProbeSecondsLast() = 0;
    virtual int64_t ReAskSecondsLast() = 0;
    virtual void SetProbeSecondsInterval(int64_t seconds) = 0;
    virtual void SetReAskSecondsInterval(int64_t seconds) = 0;
    // These two also write their echo keys.
    virtual void SetProbeSecondsLast(int64_t seconds) = 0;
    virtual void SetReAskSecondsLast(int64_t seconds) = 0;
};

// Shot status at now (agent seconds): 0 none, 1 a shot is due, 2 a shot is due and it is the
// run's only one (interval 0). Without the probe-enabled or force flag it is 0; an interval of -1
// never probes; the force flag always yields 1 and is cleared. Test mode probes every 5 s.
int ShotTimeStatus(UpdateCycleState& s, CycleSettings& settings, int64_t now);
// The tick's shot status: ShotTimeStatus, and after the run's only shot no more timed ones.
int TickShotStatus(UpdateCycleState& s, CycleSettings& settings, int64_t now);

// Control request codes (wm_AgentMsg wParam).
enum ControlCode {
    AU_GetVersionOriginal = 4,
    AU_GetVersionNew = 5,
    AU_GetPhase = 7,
    AU_GetProbeSecondsInterval = 8,
    AU_GetReAskSecondsInterval = 9,
    AU_GetProbeSecondsLast = 10,
    AU_GetReAskSecondsLast = 11,
    AU_SetProbeSecondsInterval = 12,
    AU_SetReAskSecondsInterval = 13,
    AU_SetProbeSecondsLast = 14,
    AU_SetReAskSecondsLast = 15,
    AU_SetTransientFirst = 20,
    AU_SetTransientLast = 25,
    AU_SetShutDownCountdown = 30,
    AU_PerformUpdateCycle = 31,
    AU_JustDownloadInfoFile = 32,
};

// One control request. value is the message's 32-bit value (higher bits are ignored); it is
// sign-extended for code 12 and taken as unsigned otherwise, so that a clock value fits. Getters
// answer the low 32 bits; setters and unknown codes answer 0.
int32_t ControlRequest(UpdateCycleState& s, CycleSettings& settings, int64_t code, int64_t value);

// wm_ShutDown and request 30: the countdown in ticks (-1 never).
void SetShutDownCountdown(UpdateCycleState& s, int64_t countdown);

// Test mode from its registry texts: "TestMode" is "1" and "TestModeDate" is today's date text
// (06-DEC-2026) for today (a date-time value, days since 30 December 1899).
bool TestModeFromValues(const std::string& testMode, const std::string& testModeDate, double today);
// The registry is read again when forced or when more than 30 s have passed since the previous
// check (tick counts in ms, wrapping).
bool TestModeReadDue(bool force, uint32_t nowMs, uint32_t lastCheckMs);

// The question before an interactive or test-mode shot: s22 + s23 + s24, s23 left out when the
// location is a drive path (or too short to be a server), the test-mode note in test mode, and
// "PROG_NAME" replaced by the product's name.
std::string PreShotConfirmText(const std::string& s22, const std::string& s23, const std::string& s24,
                               const std::string& location, bool testMode, const std::string& programName);

}  // namespace vel
