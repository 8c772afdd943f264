// The stub main routine: opens the program's own package, tells the role of this run apart and runs it.
#include <windows.h>

#include <memory>

#include "package/Extract.h"
#include "package/FileInfo.h"
#include "package/Language.h"
#include "package/Language_win.h"
#include "stub/AgentHooks.h"
#include "stub/RunModes.h"
#include "stub/RunStub.h"
#include "stub/StubMain.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "ui/Markup.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/Process.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

std::unique_ptr<TGFileInfo> g_ownPackage;
std::string g_ownPath;
std::string g_className;
bool g_isAutoUpdateProg = false;
int g_exitCode = 0;
AgentHooks g_agent;

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

std::string OwnFileName() { return FileNamePart(g_ownPath); }

std::string AgentName() { return g_ownPackage ? g_ownPackage->AgentName() : std::string(); }

bool WindowOfClassExists(const std::string& cls) { return FindWindowA(cls.c_str(), nullptr) != nullptr; }

bool AgentCopyIsRunning() { return WindowOfClassExists(AgentCopyClassName(AgentName())); }

// Starts a program hidden, without waiting for it.
void StartHidden(const std::string& commandLine) {
    ProcessStartOptions hidden;
    hidden.showWindow = SW_HIDE;
    StartProcess(commandLine, hidden);
}

// The setup stub's window: its first tick runs the extract-and-launch flow (which stops the
// timer); a first close request stops a download, a second one closes.
StubWindowRole SetupStubWindow() {
    StubWindowRole role;
    role.tick = RunStub;
    role.close = CloseMainWindow;
    return role;
}

}  // namespace

TGFileInfo& OwnPackage() {
    if (!g_ownPackage) g_ownPackage.reset(new TGFileInfo(g_ownPath));
    return *g_ownPackage;
}
void OpenOwnPackage(const std::string& path) {
    g_ownPath = path;
    g_ownPackage.reset(new TGFileInfo(g_ownPath));
}
bool ThisIsAutoUpdateProg() { return g_isAutoUpdateProg; }
const std::string& StubWindowClassName() { return g_className; }
const std::string& OwnPath() { return g_ownPath; }
const AgentHooks& UpdateAgentHooks() { return g_agent; }
void SetStubExitCode(int code) { g_exitCode = code; }
int StubExitCode() { return g_exitCode; }

void StubMain(const AgentHooks& agent) {
    g_agent = agent;
    const std::string cmdLine = GetCommandLineA();
    DebugLine(Pid() + " ==== STUB START ====> " + cmdLine + "<");
    UseThreadLocaleLanguage();  // texts are chosen by the user's language
    OpenOwnPackage(ExePath(false));
    g_isAutoUpdateProg = g_ownPackage->IsUpdateAgent();
    SetRunLogEnabled(g_isAutoUpdateProg && g_ownPackage->AgentDebugLog());
    if (IsXAutoUpdateExe(g_isAutoUpdateProg, g_ownPath, AgentName())) SetRunLogIndent(" X ");
    RunLog("");
    RunLog("");
    RunLog("=== START === " + g_ownPath);
    RunLog("CommandLine=" + cmdLine);
    RunLog("Agent Version=" + GetExeVersion("", 1, 4));
    DebugLine(Pid() + " ==== ThisIs_AutoUpdateProg=" + BoolText(g_isAutoUpdateProg));

    DoRunStubWin();

    g_ownPackage.reset();
    DebugLine(Pid() + " ==== STUB END ====> " + cmdLine + "<");
    DebugLine("");
    RunLog("=== EXIT === " + g_ownPath);
    RunLog("");
}

void DoRunStubWin() {
    RunLog("DoRunStubWin() --- Start");
    g_className = WindowClassNameFor(g_ownPath, g_isAutoUpdateProg);
    const bool xRunning = AgentCopyIsRunning();
    const std::string agent = AgentName();
    const bool plain = IsPlainAutoUpdateExe(g_isAutoUpdateProg, g_ownPath, agent);
    RunLog("X_ExeIsRunning=" + BoolText(xRunning));
    RunLog("ThisIs_Plain_AutoUpdate_Exe=" + BoolText(plain));
    RunLog("ThisIs_X_AutoUpdate_Exe=" + BoolText(IsXAutoUpdateExe(g_isAutoUpdateProg, g_ownPath, agent)));

    RunFacts facts;
    facts.ownPath = g_ownPath;
    facts.isAutoUpdateProg = g_isAutoUpdateProg;
    facts.spanCopyFlag = OwnPackage().SpanCopyWanted();
    facts.agentName = agent;
    facts.spanCdLvl = GetSwitchInt("/SpanCdLvl=", 1);
    facts.ownWindowExists = WindowOfClassExists(g_className);
    const StubBranch branch = ChooseBranch(facts);
    DebugLine(Pid() + " DoRunStubWin: " + BranchName(branch));

    switch (branch) {
        case StubBranch::SecondInstance:
            break;
        case StubBranch::CreateAgentCopy:
            CreateAndRun_X_Exe(0);
            break;
        case StubBranch::RunAgentCopy:
            RunLog("CheckTestMode");
            if (g_agent.checkTestMode) g_agent.checkTestMode();
            RunLog("WinMain");
            if (g_agent.agentWindow.tick) WinMain(g_agent.agentWindow);
            else DebugLine(Pid() + " AgentCopy: this program has no update cycle");
            RunLog("DeleteMySelf");
            DeleteMySelf(false, false);
            break;
        case StubBranch::StartSpanCopy:
            StartSpanCopy();
            break;
        case StubBranch::RunStubWindow:
            WinMain(SetupStubWindow());
            // The span copy lives alone in the extraction folder: remove both once it has ended.
            if (IsSpanCopyRole(facts.spanCopyFlag, facts.spanCdLvl, facts.ownPath)) DeleteMySelf(true, false);
            break;
    }
    if (plain) HandleParamOK(xRunning);
    RunLog("DoRunStubWin() --- End");
}

int CreateAndRun_X_Exe(int unused) {
    RunLog("CreateAndRun_X_Exe() --- Start");
    const std::string zz = GetSwitchValue("/_ZZ=", "");
    DebugLine(Pid() + " CreateAndRun_X_Exe-1 " + zz);
    const std::string agent = AgentName();
    const bool proceed = g_isAutoUpdateProg && !(AgentCopyIsRunning() && zz != "99") &&
                         SameTextTrimmed(OwnFileName(), agent);
    if (proceed) {
        DebugLine(Pid() + " CreateAndRun_X_Exe-2");
        const int64_t wait = AgentStartWaitSeconds(GetSwitchInt("/WAIT=", 0));
        RunLog("Wait " + IntToStr(wait) + " SEC");
        if (wait > 0) WaitPumping(0, static_cast<DWORD>(wait * 1000));

        const std::string xPath = FileFolder(g_ownPath) + "X_" + OwnFileName();
        CopyFileA(g_ownPath.c_str(), xPath.c_str(), FALSE);
        RunLog("Create X_ File ");
        const std::string args = AgentCopyArguments(GetSwitchValue("/TRANSIENT=", ""), GetSwitchValue("/DELAY=", ""));
        RunLog("WinExec: " + xPath + args);
        StartHidden("\"" + xPath + "\"" + args);

        // With requests to forward, give the copy time to come up and open its window.
        if (!GetCmdParams().empty()) {
            const int64_t start = MilliCounter();
            do {
                WaitPumping(0, 200);
                if (IsProcessRunning(xPath)) break;
            } while (MilliCounter() - start < 3000);
        }
    }
    RunLog("CreateAndRun_X_Exe() --- End");
    return unused;
}

bool HandleParamOK(bool copyWasRunning) {
    RunLog("HandleParamOK() --- Start");
    const std::string xPath = FileFolder(g_ownPath) + "X_" + OwnFileName();
    const bool xExists = GetFileAttributesA(xPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    ParamRequests r;
    r.stop = GetSwitchInt("/STOP=", -1);
    r.wmMsg = GetSwitchValue("/WM_MSG=", "");
    r.test = GetSwitchInt("/TEST=", -1);
    bool sent = false;
    for (const AgentPost& p : PlanAgentPosts(r, xPath, xExists, copyWasRunning)) {
        if (!p.logLine.empty()) RunLog(p.logLine);
        PostProcessMessage(xPath, true, p.message, static_cast<WPARAM>(p.wParam), static_cast<LPARAM>(p.lParam));
        sent = true;
    }
    const std::string transient = GetSwitchValue("/TRANSIENTx=", "");
    if (!transient.empty() && g_agent.setTransientOverrides) g_agent.setTransientOverrides(transient);
    RunLog("HandleParamOK() --- End");
    return sent;
}

void StartSpanCopy() {
    const std::string folder = GetExtractFolder();
    if (folder.empty()) {
        // No fresh folder of our own could be made: the copy must not land anywhere else.
        SetStubExitCode(kStubFailureExitCode);
        const TGFileInfo& own = OwnPackage();
        MsgBoxError(0, TempDir(false) + "<P><P>Unable to create Directory!", GetString(own, "Error", "Error"),
                    GetCharset(own), GetString(own, "BtnText", kDefaultButtonList));
        return;
    }
    const std::string copy = SetTrailingBackslash(folder, true) + "Y_" + OwnFileName();
    // A new file in the new folder: never one that is there already, nor through a link.
    if (!CopyFileA(g_ownPath.c_str(), copy.c_str(), TRUE)) {
        SetStubExitCode(kStubFailureExitCode);
        const TGFileInfo& own = OwnPackage();
        MsgBoxError(0, copy + "<P><P>Unable to save Extracted File!<P><P>" + LastErrorText(),
                    GetString(own, "Error", "Error"), GetCharset(own), GetString(own, "BtnText", kDefaultButtonList));
        RemoveExtractFolder();
        return;
    }
    const std::string args = SpanCopyArguments(GetCmdParams(), g_ownPath);
    DebugLine(Pid() + " StartSpanCopy: " + copy + " " + args);
    StartHidden(Trim("\"" + copy + "\" " + args));
}

}  // namespace vel
