// The agent copy's side of the stub window: its timer ticks, shut-down and control requests.
#include <windows.h>

#include "autoupdate/Agent_win.h"
#include "autoupdate/AutoUpdate_win.h"
#include "autoupdate/UpdateCycle.h"
#include "autoupdate/UpdateSettings.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

UpdateCycleState g_cycle;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

const char kTestModeKey[] = "HKEY_CURRENT_USER\\Software\\Dorvanik\\Velnor\\AutoUpdate";

void CheckTestModeAtStart() { CheckTestMode(true); }

// Before the window exists: "/SleepX=" delays the first shot by that many ticks.
void StartCycle() { g_cycle.timerCount = StartTimerCount(GetSwitchInt("/SleepX=", -1)); }

void SetShutDownCountdown(int64_t countdown) { g_cycle.shutDownCountdown = static_cast<int32_t>(countdown); }

// One tick of the update cycle. A tick that comes while one runs (its waits pump messages) does
// nothing. Where a shot would be considered, the cycle ends: shots are not built yet.
void Tick() {
    if (g_cycle.busy) return;
    g_cycle.busy = true;
    const TickCount t = CountTick(g_cycle);
    if (t.quit) PostQuitMessage(0);
    DebugLine(" AutoUpdateTimerCount=" + IntToStr(g_cycle.timerCount));
    if (t.considerShot) {
        DebugLine(Pid() + " AgentCopy: update cycle not implemented, ending");
        DestroyMainWindow();
    }
    g_cycle.busy = false;
}

const int64_t AU_SetShutDownCountdown = 30;

int64_t ControlRequest(int64_t code, int64_t value) {
    if (code == AU_SetShutDownCountdown) {
        SetShutDownCountdown(value);
        return 0;
    }
    DebugLine(Pid() + " AutoUpdate control request " + IntToStr(code) + " (" + IntToStr(value) +
              "): not implemented");
    return 0;
}

}  // namespace

UpdateCycleState& AgentCycle() { return g_cycle; }
bool InteractiveCheck() { return g_cycle.mode == 1; }
void SetAgentPhase(int32_t phase) { g_cycle.phase = phase; }
void Notify(int code, std::intptr_t value) { NotifyHost(code, value); }
std::string AgentFolder() { return SetTrailingBackslash(FileFolder(OwnPath()), true); }

bool CheckTestMode(bool force) {
    const uint32_t now = GetTickCount();
    if (force || now > g_cycle.lastTestModeCheck + 30000u) {
        const std::string on = ReadRegString(kTestModeKey, "TestMode", "0");
        const std::string date = ReadRegString(kTestModeKey, "TestModeDate", "");
        g_cycle.testMode = on == "1" && date == DateText(NowDateTime());
        g_cycle.testLocation = ReadRegString(kTestModeKey, "TestModeURL", "");
    }
    g_cycle.lastTestModeCheck = now;
    return g_cycle.testMode;
}

AgentHooks AutoUpdateHooks() {
    AgentHooks h;
    h.checkTestMode = CheckTestModeAtStart;
    h.agentWindow.start = StartCycle;
    h.agentWindow.tick = Tick;
    h.agentWindow.close = CloseMainWindow;
    h.agentWindow.shutDown = SetShutDownCountdown;
    h.agentWindow.control = ControlRequest;
    h.setTransientOverrides = SetTransientOverrides;
    h.engineStarting = NoteShortcutsBeforeEngine;
    h.engineEnded = RemoveShortcutsAfterEngine;
    return h;
}

}  // namespace vel
