#include "stub/RunStub.h"

#include <commctrl.h>

#include <string>

#include "download/CommUtils.h"
#include "package/Extract.h"
#include "package/FileInfo.h"
#include "package/FileInfo_win.h"
#include "package/Language.h"
#include "stub/AgentHooks.h"
#include "stub/FlowTexts.h"
#include "stub/LaunchLine.h"
#include "stub/RunModes.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "stub/WebSetup.h"
#include "ui/Markup.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/FileText.h"
#include "util/Process.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

// Hands the extraction's progress to the progress sink. Moving a bar costs a round trip to the
// window system, so steps that come quicker than every 30 ms are gathered: the main bar then
// moves by all of them at once and the activity bar advances once.
class ProgressBatcher {
public:
    void Take(int mode, int range) {
        if (mode == 0) {
            Flush();
            ProgressSink(0, 0, range, 0, 1, std::string());
            return;
        }
        ++pending_;
        if (GetTickCount() - last_ >= 30) Flush();
    }
    void Flush() {
        if (pending_ == 0) return;
        if (pending_ > 1 && MainBar()) SendMessageA(MainBar(), PBM_DELTAPOS, static_cast<WPARAM>(pending_ - 1), 0);
        ProgressSink(1, 0, 0, 0, 0, std::string());
        pending_ = 0;
        last_ = GetTickCount();
    }

private:
    int pending_ = 0;
    DWORD last_ = 0;
};

// Starts the engine, waits for it and its leftover dialog. True when it deleted the token atom.
bool LaunchEngine(const std::string& dest, const std::string& runSpec, const std::string& extraParams,
                  bool foreground) {
    EngineLaunch launch;
    launch.destFolder = dest;
    launch.runSpec = runSpec;
    launch.extraParams = extraParams;
    launch.threadToken = ThreadToken(GetCurrentThreadId());
    launch.ownPath = OwnPath();
    launch.isAutoUpdateProg = ThisIsAutoUpdateProg();
    const std::string cmd = BuildEngineCommandLine(launch);
    const AgentHooks& agent = UpdateAgentHooks();
    if (agent.engineStarting) agent.engineStarting();

    DebugLine(IntToStr(GetCurrentProcessId()) + " ==== WinExec(Engine.exe) >>" + cmd + "<<");
    const std::string atomName = EngineAtomName(launch.threadToken);
    // Without an atom of ours the engine has nothing to report through: the run cannot succeed.
    const ATOM added = GlobalAddAtomA(atomName.c_str());
    if (!added) DebugLine("Engine token atom not added: " + LastErrorText());
    ProcessStartOptions start;
    start.showWindow = foreground ? SW_SHOW : SW_HIDE;
    start.applicationPath = EngineProgramPath(launch);
    ScopedHandle process = StartProcess(cmd, start);
    if (!process) DebugLine("Engine not started: " + LastErrorText());
    ShowStubWindow(false);
    WaitPumping(0, 1000);
    WaitForProcess(process.get());
    DWORD code = 0;
    const bool ended = process && GetExitCodeProcess(process.get(), &code);
    if (ended) {
        SetStubExitCode(static_cast<int>(code));
        DebugLine("Engine exit code: " + IntToStr(code));
    } else {
        SetStubExitCode(kStubFailureExitCode);
    }
    process.reset();
    WaitWhileWindowExists(EngineDialogClass(launch.threadToken), "");
    WaitPumping(0, 1000);

    const ATOM left = GlobalFindAtomA(atomName.c_str());
    if (left) GlobalDeleteAtom(left);
    const bool success = EngineRunSucceeded(added != 0, ended, code, left == 0);
    DebugLine(std::string("Engine reported success: ") + BoolText(success));
    if (agent.engineEnded) agent.engineEnded(success);
    return success;
}

// "/SpanDiskFName1=" names the file to extract instead of the own one. Anyone can start a setup with
// it, and the setup may run elevated: only the span copy's own run takes it, and only a file with this
// package's texts and token. Otherwise a box and the failure exit code.
bool SpanDiskFileAccepted(const TGFileInfo& own, const std::string& named) {
    const bool role = IsSpanCopyRole(own.SpanCopyWanted(), GetSwitchInt("/SpanCdLvl=", 1), OwnPath());
    const TGFileInfo part(named);
    if (role && SamePackageTexts(own, part)) return true;
    DebugLine("/SpanDiskFName1= refused: " + named + (role ? " (not a part of this setup)" : " (not the span copy)"));
    SetStubExitCode(kStubFailureExitCode);
    const FlowTexts t(own);
    const std::string text = GetString(own, "NotOurPart", "This setup cannot use the file<P><B><FILE></B><P>It is not a part of this setup.");
    MsgBoxError(0, ReplaceAll(text, "<FILE>", named), t.error, t.charset, t.buttons);
    return false;
}

}  // namespace

bool TempDriveHasRoom(const std::string& folder, const std::string& packageFile) {
    const TGFileInfo reader(packageFile);
    return SpaceNeeded(reader, folder) < DiskFree(folder) && FolderExists(folder);
}

bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& reader) {
    TempSpaceTexts texts;
    texts.announce = GetString(reader, "s2", "Velnor will extract files to your Temp Drive (<DRIVE>)<P>");
    texts.limited = GetString(reader, "s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
    texts.required = GetString(reader, "s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
    texts.available = GetString(reader, "s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
    texts.question = GetString(reader, "s6", "<P>Continue with Setup?<P>");
    const std::string message = TempSpaceMessage(folder, reader.AnnounceExtraction(), SpaceNeeded(reader, folder),
                                                 DiskFree(folder), texts);
    if (message.empty()) return true;
    const FlowTexts t(reader);
    return MsgBoxConfirm(0, message, t.confirm, 0, t.charset, t.buttons);
}

namespace {

// Ends a run whose temp drive lacks room when no other folder may be used: nothing is extracted,
// exit code 1, and in the foreground a box that says why.
void RefuseWithoutRoom(const std::string& folder, const TGFileInfo& reader, bool foreground) {
    SetStubExitCode(kStubFailureExitCode);
    DebugLine("ExtractAndRun: no room for the extraction in \"" + folder + "\"; nothing extracted");
    if (!foreground) return;
    std::string message;
    if (folder.empty()) {
        message = TempDir(false) + "<P><P>Unable to create Directory!";
    } else {
        TempSpaceTexts texts;
        texts.limited = GetString(reader, "NoRoom", "Not enough free space on your Temp Drive (<DRIVE>) to extract the setup.<P>");
        texts.required = GetString(reader, "s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
        texts.available = GetString(reader, "s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
        texts.question = GetString(reader, "NoRoomAdvice", "<P>Please free some space on that drive and run the setup again.<P>");
        message = TempSpaceMessage(folder, false, SpaceNeeded(reader, folder), DiskFree(folder), texts);
    }
    const FlowTexts t(reader);
    MsgBoxError(0, message, t.error, t.charset, t.buttons);
}

}  // namespace

bool SpanDiskForcePrompt() {
    // An administrator's setting: a value the user's own programs can write never steers an elevated run.
    return ReadRegString("HKEY_LOCAL_MACHINE\\Software\\Dorvanik\\Velnor\\SpanDisk", "ForcePrompt", "0") == "1";
}

void WaitForProcess(HANDLE process) {
    DWORD code = 0;
    do {
        WaitPumping(0, 500);
    } while (process && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE);
}

bool ExtractAndRun(const std::string& destFolder, const std::string& packageFile, const std::string& agentName,
                   const std::string& extraParams, bool foreground) {
    const TGFileInfo reader(packageFile);
    std::string dest = destFolder;
    if (reader.ShowActivityBar()) ShowActivityBar();
    SetStatusText(StatusLabel(), GetString(reader, "s1", "Extracting Files..."), GetFontName(reader),
                  GetCharset(reader), GetFontSize(reader));
    const ExtractFolderRules& rules = RunExtractRules();
    const bool room = TempDriveHasRoom(dest, packageFile);
    const LowRoomStep step = ChooseLowRoomStep(rules, room, !room && rules.alternateAllowed && FindRoomierTempDrive());
    if (step == LowRoomStep::UseAlternate) dest = GetAlternateExtractFolder();
    DebugLine(std::string("========= ForegroundOp=") + BoolText(foreground) + " ==========");
    if (step == LowRoomStep::Refuse) {
        RefuseWithoutRoom(dest, reader, foreground);
        return false;
    }
    const bool proceed = foreground ? ConfirmTempSpace(dest, reader) : true;

    bool atomGone = false;
    if (proceed) {
        const FlowTexts t(reader);
        ExtractRequest req;
        req.packageFile = packageFile;
        req.destFolder = dest;
        req.agentName = agentName;
        req.forcePrompt = SpanDiskForcePrompt();
        req.diskPrompt = GetString(reader, "s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
        req.promptCaption = t.attention;
        req.buttonList = t.buttons;
        req.charset = t.charset;
        ProgressBatcher progress;
        req.progress = [&progress](int mode, int range) { progress.Take(mode, range); };
        if (foreground) ShowStubWindow(true);
        WaitPumping(0, 1000);
        const ExtractResult res = ExtractPackage(req);
        progress.Flush();
        WaitPumping(0, 1000);
        if (res.damaged) {
            SetStubExitCode(kStubFailureExitCode);
            const std::string text = GetString(reader, "Damaged", "The setup file is damaged and cannot be installed.<P>");
            MsgBoxError(0, text + "<P>" + res.damage, t.error, t.charset, t.buttons);
        } else if (res.writeFailed) {
            SetStubExitCode(kStubFailureExitCode);  // the extraction reported it
        } else if (!res.runSpec.empty() && res.checksumPassed) {
            atomGone = LaunchEngine(dest, res.runSpec, extraParams, foreground);
        } else if (!res.checksumPassed) {
            SetStubExitCode(kStubFailureExitCode);
            MsgBoxError(0, GetString(reader, "s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
                        t.error, t.charset, t.buttons);
        }
    }
    RemoveAlternateExtractFolder();
    return atomGone;
}

void RunStub() {
    KillTimer(StubWindow(), kStubTimerId);
    TGFileInfo& own = OwnPackage();
    const std::string agentName = own.WriteAgentImage() ? own.AgentName() : std::string();
    const std::string folder = GetExtractFolder();
    if (own.IsWebSetup()) {
        if (!agentName.empty() && !folder.empty()) {
            const std::string target = folder + "\\" + FileNamePart(agentName);
            DebugLine(std::string(" New AU-Agent: ") + (WriteWebAgentImage(target) ? "" : "not written: ") + target);
        }
        std::string location = own.DownloadLocation();
        const std::string beside = ExeDir(false);
        if (!own.DownloadOnly() && FileExists(WebLocalPath(beside, own.SetupFileName()))) location = beside;
        WebDownloadAndRun(folder, location, own.SetupFileName());
    } else {
        const bool quiet = HasCmdParam("/hide") || own.QuietMode();
        std::string packageFile = OwnPath();
        const std::string named = GetSwitchValue("/SpanDiskFName1=", "");
        if (!named.empty() && !SpanDiskFileAccepted(own, named)) {
            packageFile.clear();
        } else if (!named.empty()) {
            packageFile = named;
        }
        if (!packageFile.empty()) {
            const bool success = ExtractAndRun(folder, packageFile, agentName, GetCmdParams(), !quiet);
            // An update started by an agent in a process of its own: the agent learns the outcome
            // only from the exit code, so an engine run that did not report success never ends with 0.
            if (!success && IsUpdateRunLine(GetCmdParams()) && StubExitCode() == 0)
                SetStubExitCode(kStubFailureExitCode);
        }
    }
    RemoveExtractFolder();
    PostQuitMessage(0);
}

}  // namespace vel
