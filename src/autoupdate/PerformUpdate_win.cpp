// The agent copy's fetch of its three files, the update run and the agent's replacement of itself.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "autoupdate/Agent_win.h"
#include "autoupdate/InfoSignature.h"
#include "autoupdate/ShutDownDecision.h"
#include "autoupdate/UpdateStart.h"
#include "autoupdate/UpdateSettings.h"
#include "autoupdate/UpdateTexts.h"
#include "download/CommUtils.h"
#include "download/Http.h"
#include "package/Extract.h"
#include "package/FileInfo.h"
#include "package/ImageManifest.h"
#include "package/PackageFormat.h"
#include "paths/Macros_win.h"
#include "stub/RunStub.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "ui/MsgBox.h"
#include "util/Clock.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/FileText.h"
#include "util/Process.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

std::string Pid() { return IntToStr(GetCurrentProcessId()); }

int BoxCharset() { return static_cast<int>(GetMsgBoxCharSet()); }

std::string ProgressCaptionKey(int kind) {
    return kind == kFetchInfo ? "s31" : kind == kFetchUpdate ? "s32" : "s33";
}

// A file of the update location copied from a drive or UNC folder shows ten steps of progress,
// so the user sees that something happened.
void PseudoProgress() {
    ProgressSink(0, 0, 10, 0, 1, std::string());
    for (int i = 0; i < 10; ++i) {
        ProgressSink(1, 0, 0, 0, 0, std::string());
        WaitPumping(0, 300);
    }
    ProgressSink(0, 0, 0, 0, 0, std::string());
}

// Why a fetched update or inform file may not be used: the SHA-256 that the update-info file names
// (when it names one), then the product token. Empty when it may be used.
std::string FetchedFileProblem(int kind, const std::string& localPath, const std::string& source) {
    const std::string expected = kind == kFetchUpdate ? GetSHA256OfUpdateFile() : GetSHA256OfInformFile();
    // With an update key the signed update-info file is the only trust: a file it names no hash of
    // is not used.
    if (expected.empty() && !OwnPackage().UpdateKey().empty()) {
        DebugLine(Pid() + " DownloadFileAU: the signed update-info file names no SHA-256 of " + localPath);
        return "The update-info file names no SHA-256 of " + FileNamePart(source) + "; it is not used.";
    }
    if (!expected.empty()) {
        const std::string actual = SystemSha256FileHex(localPath, [] { WaitPumping(0, 0); });
        if (!SameSha256(expected, actual)) {
            DebugLine(Pid() + " DownloadFileAU: SHA-256 " + (actual.empty() ? std::string("not computed") : actual) +
                      ", expected " + expected + ": " + localPath);
            return MakeNotFoundMessage(localPath, std::string(), source, FetchedFileAlteredMessage(source));
        }
    }
    const std::string ownItem = OwnPackage().ProductToken(false);
    bool matches = false;
    if (kind == kFetchUpdate) {
        const TGFileInfo update(localPath);
        std::string clear;
        const bool decoded = TryUnscrambleItem(update.ProductToken(false), clear);
        matches = ProductTokenMatches(ownItem, clear, decoded);
    } else {
        const TokenedText t = SplitTokenedText(ReadFilePart(localPath));
        matches = ProductTokenMatches(ownItem, t.token, t.tokenDecoded);
    }
    return matches ? std::string() : MakeNotFoundMessage(localPath, std::string(), source, kBadSecretToken);
}

// An update location that this update-info file may not name (UpdateLocationUsable): never opened,
// and the run log says why. Test mode fetches from its own location.
bool LocationRefused(const std::string& location) {
    if (AgentCycle().testMode || UpdateLocationUsable(location, InfoFromWeb())) return false;
    RunLog("ERROR: DownloadURL_UPDATE is not a web address, not used: " + location);
    return true;
}

// The id of the agent's update key, hashed by the system (the stub carries no SHA-256 of its own).
std::string SystemKeyId(const Ed25519Public& key) {
    return SystemSha256Hex(std::string(reinterpret_cast<const char*>(key.data()), key.size())).substr(0, 16);
}

// A fetched file that fails its checks goes at once, and the user is told.
void RejectFetchedFile(const std::string& localPath, const std::string& message) {
    DeleteFileA(localPath.c_str());
    RunLog("ERROR: " + message);
    AgentError(kMsgHeading, message);
}

// The product's executable, with its folder macros expanded.
std::string ProductProcess() {
    SetInstallDirs(GetTargetDir(), GetSharedDir(), GetAuxiliaryDir());
    std::string process;
    ExpandMacros(GetRunningProcess(), "\\", true, true, process);
    return process;
}

// Shuts the product down by the configured method and waits, pumping messages, until it has
// ended or the configured time ("ShutDownWaitSeconds") has passed: a product may take a while to
// save its state, and its process may outlive its window. Decides whether the update runs now and
// whether the product is started again after it.
// Only a process of the product's own program file counts: another program of the same name is
// neither waited for, nor closed, nor ended.
AfterShutDown ShutDownProduct(const std::string& process) {
    const bool wasRunning = IsProcessRunningAt(process);
    const std::string methodText = GetShutDownMethod();
    const ShutDownMethod method = ParseShutDownMethod(methodText);
    RunLog("Shut Down Process() - START  (" + process + ")  Method: " + methodText);
    if (method == ShutDownMethod::AskUser) {
        const std::string text = WithProgramName(GetUpdateText("s15"), FileNamePart(process));
        DebugLine("s1=" + text + "<");
        // The user has to close the product: there is no other way on.
        while (IsProcessRunningAt(process)) AgentAttention(kMsgHeading, text);
    }
    DebugLine(" ==== PerformAutoUpdate-8 ====");
    if (method == ShutDownMethod::Close) CloseProcessWindow(process, true, 0);
    if (method == ShutDownMethod::Quit) QuitProcessWindow(process, true);
    if (method == ShutDownMethod::Terminate) TerminateProcessByPath(process, true);
    const bool leftRunning = method == ShutDownMethod::DontShutDown;
    const int64_t waitSeconds = GetShutDownWaitSeconds();
    const DWORD start = GetTickCount();
    if (!leftRunning) WaitWhileRunningAt(process, static_cast<DWORD>(waitSeconds * 1000));
    const bool stillRunning = IsProcessRunningAt(process);
    DebugLine(Pid() + " ShutDownProduct: " + (wasRunning ? "was running" : "was not running") + ", " +
              (stillRunning ? "still running" : "not running") + " after " + IntToStr(int64_t(GetTickCount() - start)) +
              " ms (wait limit " + IntToStr(leftRunning ? 0 : waitSeconds) + " s)");
    DebugLine(" ==== PerformAutoUpdate-9 ====");
    RunLog("Shut Down Process() - END");
    const AfterShutDown after = DecideAfterShutDown(leftRunning, wasRunning, stillRunning, GetRestartProcess());
    if (!after.runUpdate) RunLog("Shut Down Process() - product still running, update not run");
    return after;
}

// The image part of the held file (its manifest lies there; the package behind it can be large).
std::string ReadHeldImage(HANDLE file) {
    constexpr DWORD kImageLimit = DWORD(4) << 20;
    LARGE_INTEGER size{};
    LARGE_INTEGER start{};
    if (!GetFileSizeEx(file, &size) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::string();
    std::string image(size_t(size.QuadPart < kImageLimit ? size.QuadPart : kImageLimit), '\0');
    DWORD done = 0;
    if (image.empty() || !ReadFile(file, &image[0], DWORD(image.size()), &done, nullptr)) return std::string();
    image.resize(done);
    return image;
}

// Starts the update file as a process of its own through the shell, which honours its manifest:
// Windows asks for administrator rights before it starts. Waits (pumping messages) for it to end;
// true when its exit code is 0.
bool RunUpdateProcess(const std::string& updateFile, const std::string& extraParams) {
    const bool background = GetBackgroundUpdate();
    const std::string params = UpdateProcessParams(extraParams, OwnPath(), background);
    RunLog("Update started as its own process (Windows asks for administrator rights): " + updateFile + " " + params);
    const std::string folder = FileFolder(updateFile, AnsiLeadByte);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = updateFile.c_str();
    info.lpParameters = params.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = background ? SW_HIDE : SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info) || !info.hProcess) {
        const DWORD error = GetLastError();
        if (error == ERROR_CANCELLED)
            RunLog("ERROR: the update was not started: the request for administrator rights was cancelled");
        else
            RunLog("ERROR: the update could not be started (" + LastErrorText() + ")");
        return false;
    }
    ScopedHandle process(info.hProcess);
    WaitForProcess(process.get());
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process.get(), &code) != 0;
    RunLog("Update process ended: exit code " + IntToStr(int64_t(code)));
    DebugLine(Pid() + " RunUpdateFile: update process exit code " + IntToStr(int64_t(code)));
    return ended && code == 0;
}

// Runs the update file, in the agent or as its own process as its manifest's level decides. The
// file is held open with writers and renames denied and checked once more, so that what runs is
// what was checked, however long the questions and the shut-down took; it stays held until the
// update has ended. True when the update reported success.
bool RunUpdateFile(const std::string& updateFile) {
    ScopedHandle hold(CreateFileA(updateFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold) {
        RunLog("ERROR: cannot open the update file " + updateFile + " (" + LastErrorText() + ")");
        return false;
    }
    const std::string problem = FetchedFileProblem(kFetchUpdate, updateFile, updateFile);
    if (!problem.empty()) {
        hold.reset();
        RejectFetchedFile(updateFile, problem);
        return false;
    }
    const std::string extra = "/OriginalInfoFile=\"" + UpdateInfoFile() + "\"";
    ExecutionLevel level = ExecutionLevel::AsInvoker;
    const bool known = ReadImageExecutionLevel(ReadHeldImage(hold.get()), level);
    const UpdateStart how = ChooseUpdateStart(known, level);
    const std::string decided = std::string("Update execution level: ") +
                                (known ? ExecutionLevelName(level) : "unreadable") + ", started " + UpdateStartName(how);
    RunLog(decided);
    DebugLine(Pid() + " RunUpdateFile: " + decided);
    if (how == UpdateStart::Refused) {
        RunLog("ERROR: the update file's manifest gives no execution level; it is not run");
        return false;
    }
    if (how == UpdateStart::OwnProcess) {
        const bool result = RunUpdateProcess(updateFile, extra);
        SettingsFilesChanged();  // the engine may have rewritten them
        return result;
    }
    // A new extraction folder for each update (the one of an earlier update was let go and
    // deleted): it lies in the user's temp folder, and is never taken over as found.
    const std::string folder = GetExtractFolder();
    if (folder.empty()) {
        RunLog("ERROR: no extraction folder");
        return false;
    }
    const bool result = ExtractAndRun(folder, updateFile, OwnPackage().AgentName(), extra, !GetBackgroundUpdate());
    SettingsFilesChanged();  // the engine may have rewritten them
    RemoveExtractFolder();
    return result;
}

}  // namespace

void AgentError(MsgOwner mode, const std::string& text) {
    MsgBoxError(mode, text, GetMsgBoxError(), BoxCharset(), GetMsgBoxBtnText());
}
void AgentAttention(MsgOwner mode, const std::string& text) {
    MsgBoxAttention(mode, text, GetMsgBoxAttention(), 0, BoxCharset(), GetMsgBoxBtnText());
}
bool AgentConfirm(MsgOwner mode, const std::string& text) {
    return MsgBoxConfirm(mode, text, GetMsgBoxConfirm(), 0, BoxCharset(), GetMsgBoxBtnText());
}

bool DownloadFileAU(const std::string& location, const std::string& fileName, int kind, std::string& errorText) {
    bool result = false;
    errorText.clear();
    // An update or inform file arrives under a name of its own (fetchPath) and takes its place
    // (localPath) only once it has passed its checks: a file that fails them never replaces a
    // file of the product's folder.
    std::string content, localPath, fetchPath;
    const std::string name = FetchFileName(fileName);
    if (kind != kFetchInfo && !name.empty()) {
        localPath = AgentFolder() + name;
        fetchPath = TempNameBeside(localPath);
    }
    std::string where = location;
    const bool testMode = AgentCycle().testMode;
    if (testMode) where = AgentCycle().testLocation;

    if (kind != kFetchInfo && LocationRefused(where)) return false;

    const uint64_t limit =
        kind == kFetchInfo ? kInfoFileLimit
                           : AnnouncedFileLimit(kind == kFetchUpdate ? GetSizeOfUpdateFile() : GetSizeOfInformFile());
    std::string source = FolderSource(where, name);
    DebugLine(Pid() + " DownloadFileAU: " + source);
    RunLog(std::string("TestMode=") + BoolText(testMode));
    RunLog("Download START: " + source);

    const bool visible = kind == kFetchUpdate && GetRequestConfirmationBeforeDownload() && !InteractiveCheck();
    if (visible) ShowStubWindow(true);
    SetStatusText(StatusLabel(), GetUpdateText(ProgressCaptionKey(kind)), GetMsgBoxFontName(), BoxCharset(),
                  static_cast<int>(GetMsgBoxFontSize()));

    bool attempted = false;
    if (name.empty()) {
        DebugLine(Pid() + " DownloadFileAU: no usable file name in \"" + fileName + "\"");
    } else if (FileExists(source)) {
        attempted = true;
        content = ReadFilePart(source, static_cast<int64_t>(limit) + 1);
        if (content.size() > limit) {
            content.clear();
            errorText = source + ": larger than the " + IntToStr(static_cast<int64_t>(limit)) + " bytes expected";
            RunLog("ERROR: " + errorText);
        } else if (kind != kFetchInfo && !content.empty()) {
            if (!WriteFileText(fetchPath, content)) errorText = "Cannot write " + fetchPath;
            if (visible) PseudoProgress();
        }
    } else if (!testMode && HTTP_IsConnected()) {
        attempted = true;
        WaitPumping(0, 500);
        source = HttpSource(where, name);
        SetDownloadAbort(false);
        TProgBar* relay = EnsureDownloadRelay();
        const uintptr_t owner = InteractiveCheck() ? reinterpret_cast<uintptr_t>(StubWindow()) : 0;
        DownloadLimits limits;
        limits.maxBytes = limit;
        errorText = HTTP_DownloadFile_Incremental(owner, source, fetchPath, content, relay, limits);
        WaitPumping(0, 500);
    }

    if (visible) ShowStubWindow(false);
    RunLog("Download END:   " + source);
    if (!attempted) RunLog("Download: nothing fetched");

    if (kind == kFetchInfo) {
        if (errorText.empty() && !content.empty())
            errorText = MakeNotFoundMessage(std::string(), content, source, std::string());
        result = errorText.empty() && !content.empty();
        // With an update key only a file signed by it counts, and only its body is kept.
        const std::string key = OwnPackage().UpdateKey();
        if (!result && !key.empty()) content.clear();
        if (result) {
            std::string usable;
            const std::string refusal =
                UpdateInfoRefusal(key, SystemKeyId, content, int64_t(UnixTimeMs() / 1000), usable);
            content.swap(usable);
            if (!refusal.empty()) {
                result = false;
                RunLog("ERROR: update-info file refused: " + refusal);
                DebugLine(Pid() + " DownloadFileAU: update-info file refused: " + refusal + ": " + source);
                errorText = "The update-info file " + source + " was refused: " + refusal + ".";
            }
        }
        // Replaced even by nothing: no value of an earlier fetch outlives a failed one.
        if (!name.empty()) WriteFileText(AgentFolder() + name, content);
        SettingsFilesChanged();
        if (!errorText.empty() && errorText[0] == '3') errorText.clear();
        return result;
    }

    if (errorText.empty()) {
        // A folder that holds an empty file has given nothing either.
        if (fetchPath.empty() || !FileExists(fetchPath)) {
            if (attempted) RunLog("Download: nothing fetched");
            return false;
        }
        const std::string problem = FetchedFileProblem(kind, fetchPath, source);
        if (!problem.empty()) {
            RejectFetchedFile(fetchPath, problem);
            return false;
        }
        if (MoveFileExA(fetchPath.c_str(), localPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        RunLog("ERROR: cannot replace " + localPath + " (" + LastErrorText() + ")");
        DeleteFileA(fetchPath.c_str());
        return false;
    }
    if (!fetchPath.empty()) DeleteFileA(fetchPath.c_str());
    if (source.size() > 2 && GetRequestConfirmationBeforeDownload()) {
        const std::string message = FetchFailureText(DownloadAborted(), source, GetUpdateText("s3"),
                                                     GetUpdateText("s4"), GetUpdateText("s5"));
        RunLog("ATTENTION: " + message);
        AgentAttention(kMsgHeading, message);
    }
    return result;
}

bool PerformAutoUpdate(bool* productStillRunning) {
    if (productStillRunning) *productStillRunning = false;
    RunLog("PerformAutoUpdate() - START");
    DebugLine(" ==== PerformAutoUpdate-4 ====");
    bool result = false;
    const std::string location = GetDownloadURL_UPDATE();
    const std::string updateName = GetNameOfUpdateFile();
    if (!location.empty() && !updateName.empty() && !LocationRefused(location)) {
        DebugLine(" ==== PerformAutoUpdate-5 ====");
        bool go = true;
        const bool interactive = InteractiveCheck();
        const std::string programName = GetInfoProgramName();
        const bool confirmInstall = GetRequestConfirmationBeforeInstall();
        const bool downloadForce = GetRequestConfirmationBeforeDownloadForce();
        const std::string downloadText = WithProgramName(
            GetUpdateText("s11") + GetUpdateText(DownloadTextTailKey(confirmInstall, downloadForce)), programName);
        if (GetRequestConfirmationBeforeDownload() && !interactive) {
            if (downloadForce)
                AgentAttention(kMsgNoClose, downloadText);
            else
                go = AgentConfirm(kMsgHeading, downloadText);
            WaitPumping(0, 500);
        }
        if (go) {
            DebugLine(" ==== PerformAutoUpdate-6 ====");
            SetAgentPhase(2);
            Notify(41, 1);
            std::string errorText;
            go = DownloadFileAU(location, updateName, kFetchUpdate, errorText);
            Notify(41, 2);

            const bool installForce = GetRequestConfirmationBeforeInstallForce();
            const std::string installText = WithProgramName(GetUpdateText(InstallTextKey(installForce)), programName);
            if (go && confirmInstall && !interactive) {
                if (installForce)
                    AgentAttention(kMsgNoClose, installText);
                else
                    go = AgentConfirm(kMsgHeading, installText);
            }
            WaitPumping(0, 100);
        }
        if (go) {
            DebugLine(" ==== PerformAutoUpdate-7 ====");
            const std::string process = ProductProcess();
            const AfterShutDown after = ShutDownProduct(process);
            const std::string updateFile = AgentFolder() + FetchFileName(updateName);
            if (!after.runUpdate) {
                DeleteFileA(updateFile.c_str());
                if (productStillRunning) *productStillRunning = true;
            } else {
                const bool restart = after.restart;
                SetAgentPhase(3);
                Notify(42, 1);
                DebugLine(" ==== PerformAutoUpdate-10 ====");
                result = RunUpdateFile(updateFile);
                DebugLine(" ==== PerformAutoUpdate-11 ====");
                Notify(42, 2);

                if (result) SetVersionOriginal(static_cast<int32_t>(GetVersionNew()));
                DeleteFileA(updateFile.c_str());
                const std::string finish = WithProgramName(GetUpdateText("s16"), programName);
                bool answer = true;
                if (result && (GetInformFinish() || interactive)) {
                    if (restart)
                        answer = AgentConfirm(kMsgActive, finish + GetUpdateText("s17"));
                    else
                        AgentAttention(kMsgActive, finish);
                }
                DebugLine(" ==== PerformAutoUpdate-12 ====");
                DebugLine(std::string(BoolText(restart)) + " " + BoolText(answer) + " >" + process + "<");
                if (restart && answer) {
                    ProcessStartOptions start;
                    start.showWindow = SW_SHOW;
                    start.applicationPath = process;
                    if (!StartProcess("\"" + process + "\"", start)) DebugLine("Restart failed: " + LastErrorText());
                }
            }
        }
    }
    DebugLine(" ==== PerformAutoUpdate-13 ====");
    RunLog(std::string("PerformAutoUpdate() - END    Result=") + BoolText(result));
    return result;
}

void ReStartAutoUpdateExe() {
    RunLog(".. ReStartAutoUpdateExe() - Start");
    if (AgentCycle().shutDownCountdown <= 0) {
        const std::string command = RestartCommandLine(AgentFolder(), OwnPackage().AgentName(), WriteTransientList());
        RunLog(".. WinExec - " + command);
        ProcessStartOptions start;
        start.showWindow = SW_HIDE;
        start.applicationPath = AgentFolder() + FileNamePart(OwnPackage().AgentName());
        if (!StartProcess(command, start)) DebugLine(Pid() + " ReStartAutoUpdateExe: " + LastErrorText());
        WaitPumping(0, 1000);
        RunLog(".. PostMessage(WM_DESTROY)");
        if (StubWindow()) PostMessageA(StubWindow(), WM_DESTROY, 0, 0);
    }
    RunLog(".. ReStartAutoUpdateExe() - End");
}

}  // namespace vel
