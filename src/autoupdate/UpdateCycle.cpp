#include "autoupdate/UpdateCycle.h"

#include "autoupdate/SettingsValues.h"
#include "util/StrUtils.h"

namespace vel {

int32_t StartTimerCount(int64_t sleepX) {
    if (sleepX < 0) return -3;
    if (sleepX > INT32_MAX) return INT32_MIN + 1;
    return static_cast<int32_t>(-sleepX);
}

TickCount CountTick(UpdateCycleState& s) {
    if (s.mode == kModeInteractiveRequested) s.mode = kModeInteractive;
    if (s.mode == kModeInteractive) s.timerCount = 0;
    TickCount t;
    t.quit = s.shutDownCountdown == 0;
    if (s.shutDownCountdown >= 0) --s.shutDownCountdown;
    if (s.timerCount < INT32_MAX) ++s.timerCount;
    t.considerShot = s.timerCount > 0;
    return t;
}

void EndShotTick(UpdateCycleState& s) {
    if (s.mode == kModeInteractive) s.mode = kModeTimed;
}

int ShotTimeStatus(UpdateCycleState& s, CycleSettings& settings, int64_t now) {
    int status = 0;
    if (s.probeEnabled || s.force) {
        const int64_t interval = settings.ProbeSecondsInterval();
        const int64_t step = s.testMode ? 5 : interval;
        const int64_t last = settings.ProbeSecondsLast();
        // Signed 64-bit; a sum beyond the range is never due rather than wrapping into the past.
        int64_t due;
        if (__builtin_add_overflow(last, step, &due)) due = step > 0 ? INT64_MAX : INT64_MIN;
        if (now >= due) status = 1;
        if (interval == 0 && status == 1) status = 2;
        if (interval == -1) status = 0;
        if (s.force) status = 1;
    }
    s.force = false;
    return status;
}

int TickShotStatus(UpdateCycleState& s, CycleSettings& settings, int64_t now) {
    const int status = ShotTimeStatus(s, settings, now);
    if (status == 2) s.probeEnabled = false;
    return status;
}

void SetShutDownCountdown(UpdateCycleState& s, int64_t countdown) {
    s.shutDownCountdown = static_cast<int32_t>(static_cast<uint32_t>(countdown));
}

int32_t ControlRequest(UpdateCycleState& s, CycleSettings& settings, int64_t code, int64_t value) {
    const uint32_t low = static_cast<uint32_t>(value);
    const auto answer = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
    switch (code) {
        case AU_GetVersionOriginal: return answer(settings.VersionOriginal());
        case AU_GetVersionNew: return answer(settings.VersionNew());
        case AU_GetPhase: return s.phase;
        case AU_GetProbeSecondsInterval: return answer(settings.ProbeSecondsInterval());
        case AU_GetReAskSecondsInterval: return answer(settings.ReAskSecondsInterval());
        case AU_GetProbeSecondsLast: return answer(settings.ProbeSecondsLast());
        case AU_GetReAskSecondsLast: return answer(settings.ReAskSecondsLast());
        case AU_SetProbeSecondsInterval:
            settings.SetProbeSecondsInterval(static_cast<int32_t>(low));  // -1: never probe
            return 0;
        case AU_SetReAskSecondsInterval:
            settings.SetReAskSecondsInterval(low);
            return 0;
        case AU_SetProbeSecondsLast:
            settings.SetProbeSecondsLast(low);
            return 0;
        case AU_SetReAskSecondsLast:
            settings.SetReAskSecondsLast(low);
            return 0;
        case AU_SetShutDownCountdown:
            SetShutDownCountdown(s, value);
            return 0;
        case AU_PerformUpdateCycle:
            s.force = true;
            if (s.timerCount < 1) s.timerCount = 1;
            if (low == 2) s.mode = kModeInteractiveRequested;
            return 0;
        case AU_JustDownloadInfoFile:
            s.justDownloadInfoFile = true;
            return 0;
        default:
            if (code >= AU_SetTransientFirst && code <= AU_SetTransientLast) {
                SetTransientOverride(static_cast<int>(code - AU_SetTransientFirst), static_cast<uint8_t>(low));
                return 0;
            }
            return 0;
    }
}

bool TestModeFromValues(const std::string& testMode, const std::string& testModeDate, double today) {
    return testMode == "1" && testModeDate == DateText(today);
}

bool TestModeReadDue(bool force, uint32_t nowMs, uint32_t lastCheckMs) {
    return force || nowMs > static_cast<uint32_t>(lastCheckMs + 30000u);
}

std::string PreShotConfirmText(const std::string& s22, const std::string& s23, const std::string& s24,
                               const std::string& location, bool testMode, const std::string& programName) {
    const bool drivePath = location.size() < 2 || location[1] == ':';
    std::string text = s22 + (drivePath ? std::string() : s23) + s24;
    if (testMode) text += "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
    return ReplaceAll(text, "PROG_NAME", programName);
}

}  // namespace vel
