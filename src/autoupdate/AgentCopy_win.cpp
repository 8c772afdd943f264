// The agent copy's side of the stub window: its timer ticks (the update cycle), shut-down and
// control requests, and the test mode.
#include <windows.h>

#include "autoupdate/Agent_win.h"
#include "autoupdate/AutoUpdate_win.h"
#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateCycle.h"
#include "autoupdate/UpdateDecision_win.h"
#include "autoupdate/UpdateSettings.h"
#include "download/Http.h"
#include "package/FileInfo.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

UpdateCycleState g_cycle;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

// Test mode points the agent at another update location: an administrator's setting, never a value
// that any program of the user could write.
const char kTestModeKey[] = "HKEY_LOCAL_MACHINE\\Software\\Dorvanik\\Velnor\\AutoUpdate";

// The cycle's values in the installation settings and update-info files, read afresh each time.
class FileCycleSettings : public CycleSettings {
public:
    int64_t VersionOriginal() override { return GetVersionOriginal(); }
    int64_t VersionNew() override { return GetVersionNew(); }
    int64_t ProbeSecondsInterval() override { return GetProbeSecondsInterval(); }
    int64_t ReAskSecondsInterval() override { return GetReAskSecondsInterval(); }
    int64_t ProbeSecondsLast() override { return GetProbeSecondsLast(); }
    int64_t ReAskSecondsLast() override { return GetReAskSecondsLast(); }
    void SetProbeSecondsInterval(int64_t seconds) override { vel::SetProbeSecondsInterval(seconds); }
    void SetReAskSecondsInterval(int64_t seconds) override { vel::SetReAskSecondsInterval(seconds); }
    void SetProbeSecondsLast(int64_t seconds) override { vel::SetProbeSecondsLast(seconds); }
    void SetReAskSecondsLast(int64_t seconds) override { vel::SetReAskSecondsLast(seconds); }
};

// Asked before an interactive or test-mode shot; true to go on.
bool PreShotConfirmation() {
    const bool testMode = CheckTestMode(true);
    const std::string location = testMode ? g_cycle.testLocation : OwnPackage().InfoLocation();
    const std::string text = PreShotConfirmText(GetUpdateText("s22"), GetUpdateText("s23"), GetUpdateText("s24"),
                                                location, testMode, GetOriginalProgramName());
    return AgentConfirm(kMsgActive, text);
}

// Fetches the update-info file between notifications (40, 1) and (40, 2).
bool FetchInfoFile(std::string& errorText) {
    Notify(40, 1);
    const bool fetched =
        DownloadFileAU(OwnPackage().InfoLocation(), OwnPackage().InfoFileName(), kFetchInfo, errorText);
    Notify(40, 2);
    return fetched;
}

// An interactive check that offered nothing says why.
void ReportInteractiveCheck(bool testMode, const std::string& fetchError, int code, const std::string& reason) {
    std::string offline;
    const bool online = HTTP_IsConnected(offline);
    DebugLine(" TestMode=" + BoolText(testMode) + " InternetConnected=" + BoolText(online));
    if (!testMode && !online) {
        std::string text = GetUpdateText("s2");
        if (!offline.empty()) text += "<P><P>" + offline;
        AgentError(kMsgHeading, text);
    } else if (!testMode && !fetchError.empty()) {
        AgentError(kMsgHeading, fetchError);
    } else {
        std::string text = GetUpdateText("s21");
        if (IsDeveloperMode()) text += "<P><P>(" + IntToStr(code) + " - " + reason + ")   ";
        AgentAttention(kMsgActive, text);
    }
}

// One shot: fetch the update-info file, decide, and offer the version.
void PerformShot() {
    DebugLine(Pid() + " Fire  " + DateTimeText(" ", NowDateTime()));
    const bool testMode = CheckTestMode(true);
    bool offered = false;
    SetAgentPhase(1);
    std::string fetchError;
    const bool fetched = FetchInfoFile(fetchError);
    SetProbeSecondsLast(AgentClockNow());

    UpdateDecisionMode mode;
    mode.interactive = InteractiveCheck();
    mode.testMode = testMode;
    mode.testLocation = g_cycle.testLocation;
    mode.infoFromWeb = InfoFromWeb();
    mode.processId = GetCurrentProcessId();
    int code = 0;
    std::string reason;
    if (GetOkToPerformAU(mode, fetched, code, reason)) {
        DebugLine(" ==== PerformShot-1 ====");
        offered = true;
        const int64_t reAskBefore = GetReAskSecondsLast();
        const int64_t stampBefore = GetOriginalStamp();
        SetReAskSecondsLast(AgentClockNow());
        SetOriginalStamp(static_cast<int32_t>(GetInfoStamp()));
        bool productStillRunning = false;
        if (GetAutoInform() == 1) {
            PerformAutoInform();
        } else if (PerformAutoUpdate(&productStillRunning)) {
            ReStartAutoUpdateExe();
        } else if (productStillRunning) {
            // Not updated because the product did not end: the version stays due for the next shot.
            SetOriginalStamp(static_cast<int32_t>(stampBefore));
            SetReAskSecondsLast(reAskBefore);
        }
        DebugLine(" ==== PerformShot-2 ====");
    }

    if (!InteractiveCheck()) return;
    WaitPumping(0, 1000);
    ShowStubWindow(false);
    if (offered) return;
    ReportInteractiveCheck(testMode, fetchError, code, reason);
}

// The agent copy's start, before its window: "/SleepX=" delays the first shot by that many ticks,
// and the overrides handed over by the plain update agent hold for this run (a restarted agent
// gets them again on its command line).
void StartCycle() {
    g_cycle.timerCount = StartTimerCount(GetSwitchInt("/SleepX=", -1));
    const std::string transient = GetSwitchValue("/TRANSIENTx=", "");
    if (!transient.empty()) SetTransientOverrides(transient);
}

void CheckTestModeAtStart() { CheckTestMode(true); }

// "/STOP=": the countdown runs on the ticks, which a download holds up, so a download in
// progress ends at once.
void ShutDownRequest(int64_t countdown) {
    SetShutDownCountdown(g_cycle, countdown);
    if (g_cycle.shutDownCountdown >= 0) SetDownloadAbort(true);
}

// One tick of the update cycle. A tick that comes while one runs (its boxes and downloads pump
// messages) does nothing.
void Tick() {
    if (g_cycle.busy) return;
    g_cycle.busy = true;
    if (g_cycle.justDownloadInfoFile) {
        DebugLine("-------------- JustDownloadInfoFile ---------------");
        g_cycle.justDownloadInfoFile = false;
        std::string ignored;
        FetchInfoFile(ignored);
    } else {
        SetMsgBoxFont(GetMsgBoxFontName(), static_cast<int>(GetMsgBoxFontSize()),
                      static_cast<int>(GetMsgBoxCharSet()));
        SetAgentPhase(0);
        const TickCount t = CountTick(g_cycle);
        if (t.quit) PostQuitMessage(0);
        DebugLine(" AutoUpdateTimerCount=" + IntToStr(g_cycle.timerCount));
        if (t.considerShot) {
            CheckTestMode(false);
            FileCycleSettings settings;
            int status = TickShotStatus(g_cycle, settings, AgentClockNow());
            DebugLine(" ShotTimeStatus=" + IntToStr(status));
            if (status > 0 && (InteractiveCheck() || GetTransientOverride(kTransientAskBeforeShot) == 1) &&
                !PreShotConfirmation())
                status = 0;
            if (status > 0) PerformShot();
            EndShotTick(g_cycle);
        }
    }
    SetAgentPhase(0);
    g_cycle.busy = false;
}

int64_t Control(int64_t code, int64_t value) {
    FileCycleSettings settings;
    return ControlRequest(g_cycle, settings, code, value);
}

}  // namespace

UpdateCycleState& AgentCycle() { return g_cycle; }
bool InteractiveCheck() { return g_cycle.mode == kModeInteractive; }
void SetAgentPhase(int32_t phase) { g_cycle.phase = phase; }
void Notify(int code, std::intptr_t value) { NotifyHost(code, value); }
std::string AgentFolder() { return SetTrailingBackslash(FileFolder(OwnPath()), true); }

bool CheckTestMode(bool force) {
    const uint32_t now = GetTickCount();
    if (TestModeReadDue(force, now, g_cycle.lastTestModeCheck)) {
        g_cycle.testMode = TestModeFromValues(ReadRegString(kTestModeKey, "TestMode", "0"),
                                              ReadRegString(kTestModeKey, "TestModeDate", ""), NowDateTime());
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
    h.agentWindow.shutDown = ShutDownRequest;
    h.agentWindow.control = Control;
    h.setTransientOverrides = SetTransientOverrides;
    h.engineStarting = NoteShortcutsBeforeEngine;
    h.engineEnded = RemoveShortcutsAfterEngine;
    return h;
}

}  // namespace vel
