// The agent's fetch and update run in the test process, on an agent installed in a scratch folder:
// files fetched from a folder of each kind, the product token and SHA-256 checks, a fetch that
// gets nothing, the whole update with the recording engine and a stand-in product, and the
// agent's restart. The boxes are answered by a driver thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "autoupdate/Agent_win.h"
#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateSettings.h"
#include "package/Extract.h"
#include "stub/StubState.h"
#include "support/AgentFixture_win.h"
#include "support/TraceCapture_win.h"
#include "util/Process.h"
#include "util/DebugLog.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {
namespace {

using testsupport::AgentInstall;
using testsupport::AnnounceSize;
using testsupport::BoxDriver;
using testsupport::BuildTreePath;
using testsupport::BuildUpdatePackage;
using testsupport::InformText;
using testsupport::ReadWholeFile;
using testsupport::ScopedEnv;
using testsupport::SeenBox;
using testsupport::WriteWholeFile;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A program just started is listed by its path only once it has loaded.
bool RunsWithin(const std::string& path, DWORD ms) {
    for (DWORD waited = 0;; waited += 100) {
        if (IsProcessRunning(path)) return true;
        if (waited >= ms) return false;
        Sleep(100);
    }
}

std::string Describe(const std::vector<SeenBox>& boxes) {
    std::string s;
    for (const SeenBox& b : boxes) s += "[" + b.caption + ": " + b.text + "] ";
    return s;
}

// An agent with its update location: a folder "dist" holding what the server would.
class AgentFetch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent.Ready());
        dist = agent.Subfolder("dist");
        ASSERT_TRUE(agent.WriteOriginal("[OriginalSetup]\r\nVersionOriginal=5\r\n[MsgBox]\r\nError=Fehler\r\n"
                                        "Attention=Achtung\r\n[AutoUpdate]\r\ns4=Nicht gefunden\r\n"));
    }
    // Announces the sizes of the files in dist as they are now.
    std::string Info(const std::string& extra) {
        const std::string text = "[NewSetup]\r\nDownloadURL_UPDATE=" + dist +
                                 "\r\nNameOfUpdateFile=Update.exe\r\nVersionNew=6\r\n" + extra +
                                 "[AutoInform]\r\nNameOfInformFile=Product.inform\r\n";
        return AnnounceSize(AnnounceSize(text, kFetchUpdate, dist + "\\Update.exe"), kFetchInform,
                            dist + "\\Product.inform");
    }
    AgentInstall agent{"P7", testsupport::InfoFrom::Folder};  // its update locations are folders
    std::string dist;
};

TEST_F(AgentFetch, EachKindFromAFolderLandsInTheAgentFolder) {
    ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", "P7"), "");
    ASSERT_TRUE(WriteWholeFile(dist + "\\Product.inform", InformText("P7", "Welcome to version 6", true)));
    const std::string infoText = "[NewSetup]\r\nVersionNew=6\r\n";
    ASSERT_TRUE(WriteWholeFile(dist + "\\Product.info", infoText));
    const struct {
        int kind;
        const char* name;  // as the update-info file or the package names it
        const char* arrives;
    } cases[] = {
        {kFetchInfo, "Product.info", "Product.info"},
        {kFetchUpdate, "Update.exe", "Update.exe"},
        {kFetchUpdate, "..\\..\\elsewhere\\Update.exe", "Update.exe"},  // only the name counts
        {kFetchInform, "Product.inform", "Product.inform"},
    };
    BoxDriver boxes;
    for (const auto& c : cases) {
        DeleteFileA(agent.File(c.arrives).c_str());
        if (c.kind != kFetchInfo)
            ASSERT_TRUE(agent.WriteInfo(AnnounceSize("[NewSetup]\r\n", c.kind, dist + "\\" + c.arrives)));
        std::string error = "stale";
        EXPECT_TRUE(DownloadFileAU(dist, c.name, c.kind, error)) << c.name;
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadWholeFile(agent.File(c.arrives)), ReadWholeFile(dist + "\\" + c.arrives)) << c.name;
    }
    EXPECT_TRUE(boxes.Seen().empty()) << Describe(boxes.Seen());
}

// A file of another product, or one that is not what the update-info file's SHA-256 says, is
// deleted and reported in an error box, whether the user asked to confirm downloads or not; a file
// of that name already in the agent's folder stays as it was. A file that passes replaces it.
TEST_F(AgentFetch, ForeignOrAlteredFilesAreDeletedWithAnErrorBox) {
    ASSERT_EQ(BuildUpdatePackage(dist + "\\Own.exe", "P7"), "");
    ASSERT_EQ(BuildUpdatePackage(dist + "\\Foreign.exe", "Q8"), "");
    const std::string ownInform = InformText("P7", "Welcome");
    ASSERT_TRUE(WriteWholeFile(dist + "\\Own.inform", ownInform));
    ASSERT_TRUE(WriteWholeFile(dist + "\\Foreign.inform", InformText("Q8", "Welcome")));
    ASSERT_TRUE(WriteWholeFile(dist + "\\Garbage.inform", "Welcome without any token"));
    const std::string ownSha = Sha256FileHex(dist + "\\Own.exe");
    const std::string informSha = Sha256Hex(ownInform);
    const std::string otherSha = Sha256Hex("something else");
    const struct {
        int kind;
        const char* name;
        std::string infoExtra;
        bool ok;
        const char* boxSays;
    } cases[] = {
        {kFetchUpdate, "Own.exe", "", true, ""},
        {kFetchUpdate, "Own.exe", "SHA256OfUpdateFile=" + ownSha + "\r\n", true, ""},
        {kFetchUpdate, "Own.exe", "SHA256OfUpdateFile=" + UpperCase(ownSha) + "\r\n", true, ""},
        {kFetchUpdate, "Foreign.exe", "", false, "Bad Secret Token!"},
        {kFetchUpdate, "Foreign.exe", "RequestConfirmationBeforeDownload=1\r\n", false, "Bad Secret Token!"},
        {kFetchUpdate, "Own.exe", "SHA256OfUpdateFile=" + otherSha + "\r\n", false, "damaged or has been altered"},
        {kFetchUpdate, "Own.exe", "SHA256OfUpdateFile=not-a-hash\r\n", false, "damaged or has been altered"},
        {kFetchInform, "Own.inform", "", true, ""},
        {kFetchInform, "Foreign.inform", "", false, "Bad Secret Token!"},
        {kFetchInform, "Garbage.inform", "", false, "Bad Secret Token!"},
        {kFetchInform, "Own.inform", "[AutoInform]\r\nSHA256OfInformFile=" + informSha + "\r\n", true, ""},
        {kFetchInform, "Own.inform", "[AutoInform]\r\nSHA256OfInformFile=" + otherSha + "\r\n", false,
         "damaged or has been altered"},
        // The update file's hash says nothing about the inform file.
        {kFetchInform, "Own.inform", "SHA256OfUpdateFile=" + otherSha + "\r\n", true, ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(agent.WriteInfo(AnnounceSize("[NewSetup]\r\n" + c.infoExtra, c.kind, dist + "\\" + c.name)));
        ASSERT_TRUE(WriteWholeFile(agent.File(c.name), "precious"));
        const std::vector<std::string> before = agent.Names();
        BoxDriver boxes;
        std::string error;
        EXPECT_EQ(DownloadFileAU(dist, c.name, c.kind, error), c.ok) << c.name << " " << c.infoExtra;
        EXPECT_EQ(error, "") << c.name;
        EXPECT_EQ(ReadWholeFile(agent.File(c.name)), c.ok ? ReadWholeFile(dist + "\\" + c.name) : "precious")
            << c.name << " " << c.infoExtra;
        EXPECT_EQ(agent.Names(), before);  // nothing left behind
        const std::vector<SeenBox> seen = boxes.Seen();
        if (c.ok) {
            EXPECT_TRUE(seen.empty()) << Describe(seen);
        } else {
            ASSERT_EQ(seen.size(), 1u) << c.name << " " << Describe(seen);
            EXPECT_EQ(seen[0].caption, "Fehler");
            EXPECT_TRUE(Has(seen[0].text, c.boxSays)) << seen[0].text;
        }
        DeleteFileA(agent.File(c.name).c_str());
    }
}

// A fetch takes no more than announced: an update file up to its announced size plus the size
// check's 99 bytes, an update-info file up to 1 MiB. A larger one is refused whole and leaves
// nothing behind; the file of that name in the agent's folder stays as it was.
TEST_F(AgentFetch, FilesLargerThanAnnouncedAreRefused) {
    ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", "P7"), "");
    const int64_t size = static_cast<int64_t>(ReadWholeFile(dist + "\\Update.exe").size());
    ASSERT_TRUE(WriteWholeFile(dist + "\\Big.info", "[NewSetup]\r\nVersionNew=6\r\n" + std::string(1 << 20, ';')));
    ASSERT_TRUE(WriteWholeFile(dist + "\\Full.info", "[NewSetup]\r\nVersionNew=6\r\n;" +
                                                          std::string((1 << 20) - 27, ';')));
    ASSERT_EQ(ReadWholeFile(dist + "\\Full.info").size(), size_t(1) << 20);
    const struct {
        int kind;
        const char* name;
        int64_t announced;
        bool ok;
    } cases[] = {
        {kFetchUpdate, "Update.exe", size - 99, true},
        {kFetchUpdate, "Update.exe", size - 100, false},
        {kFetchUpdate, "Update.exe", 0, false},  // nothing announced: at most 99 bytes
        {kFetchInfo, "Full.info", 0, true},
        {kFetchInfo, "Big.info", 0, false},
    };
    BoxDriver boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " announced " + std::to_string(c.announced));
        ASSERT_TRUE(agent.WriteInfo("[NewSetup]\r\nSizeOfUpdateFile=" + std::to_string(c.announced) + "\r\n"));
        if (c.kind == kFetchUpdate) ASSERT_TRUE(WriteWholeFile(agent.File(c.name), "precious"));
        const std::vector<std::string> before = agent.Names();
        std::string error;
        EXPECT_EQ(DownloadFileAU(dist, c.name, c.kind, error), c.ok);
        if (c.kind == kFetchUpdate) {
            EXPECT_EQ(ReadWholeFile(agent.File(c.name)), c.ok ? ReadWholeFile(dist + "\\Update.exe") : "precious");
            EXPECT_EQ(agent.Names(), before);
        } else {
            // The agent's copy of the update-info file holds what was fetched, or nothing at all.
            EXPECT_EQ(ReadWholeFile(agent.File(c.name)), c.ok ? ReadWholeFile(dist + "\\" + c.name) : "");
        }
    }
    EXPECT_TRUE(boxes.Seen().empty()) << Describe(boxes.Seen());
}

// Nothing at the location and no way to fetch over HTTP (test mode fetches from folders only):
// the shot ends quietly, even when the user asked to confirm downloads.
TEST_F(AgentFetch, NothingFetchedEndsWithoutABox) {
    ASSERT_TRUE(agent.WriteInfo("[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n"));
    const std::string testFolder = agent.Subfolder("test-location");
    ASSERT_TRUE(WriteWholeFile(testFolder + "\\Empty.exe", ""));
    ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", "P7"), "");  // not where test mode looks
    AgentCycle().testMode = true;
    AgentCycle().testLocation = testFolder;
    const std::vector<std::string> before = agent.Names();
    BoxDriver boxes;
    for (int kind : {kFetchUpdate, kFetchInform}) {
        for (const char* name : {"Update.exe", "Missing.exe", "Empty.exe", "..", ""}) {
            std::string error = "stale";
            EXPECT_FALSE(DownloadFileAU(dist, name, kind, error)) << kind << " " << name;
            EXPECT_EQ(error, "");
        }
    }
    EXPECT_TRUE(boxes.Seen().empty()) << Describe(boxes.Seen());
    EXPECT_EQ(agent.Names(), before);

    // Test mode takes its files from the test location, whatever the location says.
    ASSERT_EQ(BuildUpdatePackage(testFolder + "\\FromTest.exe", "P7"), "");
    ASSERT_TRUE(agent.WriteInfo(AnnounceSize("[NewSetup]\r\n", kFetchUpdate, testFolder + "\\FromTest.exe")));
    std::string error;
    EXPECT_TRUE(DownloadFileAU(dist, "FromTest.exe", kFetchUpdate, error));
    EXPECT_TRUE(Exists(agent.File("FromTest.exe")));
}

// ---- The whole update ---------------------------------------------------------------------------

// A copy of the stand-in product in the install folder, started and ended by the test.
class Product {
public:
    explicit Product(const std::string& folder) : path(folder + "\\Tool.exe") {
        copied_ = CopyFileA(BuildTreePath("tools/testwin/testwin.exe").c_str(), path.c_str(), FALSE) != 0;
    }
    ~Product() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        // A copy the agent started again.
        if (RunsWithin(path, 2000)) TerminateProcessByPath(path, true);
        WaitWhileRunning(path, 3000);
    }
    bool Start() {
        if (!copied_) return false;
        std::string line = "\"" + path + "\" --class VelToolClass --title \"Vel Tool\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi_))
            return false;
        for (int i = 0; i < 500; ++i) {
            if (FindWindowA("VelToolClass", "Vel Tool")) return true;
            Sleep(20);
        }
        return false;
    }
    DWORD ExitCode(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    std::string path;

private:
    bool copied_ = false;
    PROCESS_INFORMATION pi_{};
};

constexpr DWORD kClosedByWmClose = 100000 + 1000 * 15 + 255;  // testwin's code for WM_CLOSE (15, 255)

class AgentUpdate : public AgentFetch {
protected:
    void SetUp() override {
        AgentFetch::SetUp();
        install = agent.Subfolder("install");
        record = agent.File("engine-record.txt");
        ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", "P7"), "");
        ASSERT_TRUE(agent.WriteOriginal(
            "[OriginalSetup]\r\nVersionOriginal=5\r\n[Directories]\r\nTargetDir=" + install +
            "\r\n[AutoUpdate]\r\ns11=Get PROG_NAME 6,\r\ns13=then install.\r\ns19=download starts.\r\n"
            "s14=Install PROG_NAME now?\r\ns15=Please close PROG_NAME.\r\ns16=PROG_NAME is up to date.\r\n"
            "s17=Start it again?\r\n"));
    }
    std::string UpdateInfo(const std::string& extra) {
        return Info("ProgramName=Tool\r\nRunningProcess=<InstallDir>\\Tool.exe\r\n" + extra);
    }
    std::string install, record;
};

// Download notice (forced: no No button, no close), install question, shut-down by WM_CLOSE, the
// engine run with the update-info file, the new version, the finish question and the restart.
TEST_F(AgentUpdate, AsksShutsDownRunsRecordsAndRestarts) {
    Product product(install);
    ASSERT_TRUE(product.Start());
    ASSERT_TRUE(agent.WriteInfo(UpdateInfo(
        "RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeDownloadForce=1\r\n"
        "RequestConfirmationBeforeInstall=1\r\nShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\n"
        "InformFinish=1\r\n")));
    ScopedEnv rec("VEL_ENGINE_RECORD", record);
    ScopedEnv atom("VEL_ENGINE_DELETE_ATOM", "1");
    BoxDriver boxes({"&OK", "&Yes", "&Yes"});
    EXPECT_TRUE(PerformAutoUpdate());
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 3u) << Describe(seen);
    EXPECT_TRUE(Has(seen[0].text, "Get Tool 6,download starts.")) << seen[0].text;
    EXPECT_TRUE(seen[0].closeGreyed);
    for (const std::string& b : seen[0].buttons) EXPECT_NE(b, "&No");
    EXPECT_TRUE(Has(seen[1].text, "Install Tool now?")) << seen[1].text;
    EXPECT_TRUE(Has(seen[2].text, "Tool is up to date.Start it again?")) << seen[2].text;

    EXPECT_EQ(product.ExitCode(0), kClosedByWmClose);
    const std::string engine = ReadWholeFile(record);
    EXPECT_TRUE(Has(engine, "/OriginalInfoFile=\"" + agent.Info() + "\"")) << engine;
    EXPECT_TRUE(Has(engine, "AtomDeleted=1")) << engine;
    EXPECT_EQ(GetVersionOriginal(), 6);
    EXPECT_FALSE(Exists(agent.File("Update.exe")));
    EXPECT_TRUE(RunsWithin(product.path, 5000));  // started again
}

// An update whose manifest asks for administrator rights runs as a process of its own, started
// through the shell (so that Windows asks), with the parameters the engine would get in-process,
// and its exit code decides; an update that asks for the user's rights runs in the agent; one
// whose level cannot be read is not run at all.
TEST_F(AgentUpdate, HowTheUpdateStartsFollowsItsManifestLevel) {
    const std::string realStub = BuildTreePath("src/stub/stub.exe");
    const struct {
        const char* what;
        ExecutionLevel level;
        const char* engineExit;
        bool damageLevel;
        bool result;
        const char* traced;
    } cases[] = {
        {"admin", ExecutionLevel::RequireAdministrator, "0", false, true, "requireAdministrator, started own process"},
        {"admin, engine fails", ExecutionLevel::RequireAdministrator, "3", false, false,
         "requireAdministrator, started own process"},
        {"user", ExecutionLevel::AsInvoker, "0", false, true, "asInvoker, started in-process"},
        {"level unreadable", ExecutionLevel::RequireAdministrator, "0", true, false, "unreadable, started refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", "P7", c.level, realStub), "");
        if (c.damageLevel) {
            std::string bytes = ReadWholeFile(dist + "\\Update.exe");
            const size_t at = bytes.find("requestedExecutionLevel level");
            ASSERT_NE(at, std::string::npos);
            bytes[at + 22] = 'x';
            ASSERT_TRUE(WriteWholeFile(dist + "\\Update.exe", bytes));
        }
        ASSERT_TRUE(agent.WriteOriginal("[OriginalSetup]\r\nVersionOriginal=5\r\n"));
        ASSERT_TRUE(agent.WriteInfo(UpdateInfo("BackgroundUpdate=1\r\n")));
        DeleteFileA(record.c_str());
        ScopedEnv rec("VEL_ENGINE_RECORD", record);
        ScopedEnv code("VEL_ENGINE_EXIT", c.engineExit);
        ScopedEnv atom("VEL_ENGINE_DELETE_ATOM", c.engineExit[0] == '0' ? "1" : "0");
        testsupport::TraceCapture trace;
        ASSERT_TRUE(trace.Ready());
        BoxDriver boxes;
        EXPECT_EQ(PerformAutoUpdate(), c.result);
        EXPECT_TRUE(trace.WaitFor("RunUpdateFile: Update execution level: " + std::string(c.traced), 2000))
            << trace.Text();
        EXPECT_EQ(GetVersionOriginal(), c.result ? 6 : 5);
        EXPECT_FALSE(Exists(agent.File("Update.exe")));
        const std::string engine = ReadWholeFile(record);
        if (c.damageLevel) {
            EXPECT_EQ(engine, "");
            continue;
        }
        // Started as its own process, the update stub hands the parameters on before its own.
        const std::string handed = "/OriginalInfoFile=\"" + agent.Info() + "\" /OriginExe=\"" + OwnPath() +
                                   "\" /AutoUpdateProg /hide /TH_ID=";
        EXPECT_EQ(Has(engine, handed), c.level == ExecutionLevel::RequireAdministrator) << engine;
        EXPECT_TRUE(Has(engine, "/OriginalInfoFile=\"" + agent.Info() + "\"")) << engine;
        if (c.level == ExecutionLevel::RequireAdministrator) {
            EXPECT_TRUE(trace.Contains("RunUpdateFile: update process exit code " + std::string(c.engineExit)))
                << trace.Text();
        }
    }
}

// The client window that follows the agent's phases: what it was posted, in order.
constexpr UINT kHostMessage = WM_APP + 7;
std::vector<std::pair<WPARAM, LPARAM>> g_notes;
LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kHostMessage) g_notes.emplace_back(wp, lp);
    return DefWindowProcA(w, m, wp, lp);
}

class NotifiedHost {
public:
    NotifiedHost() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelTestHost";
        RegisterClassA(&wc);
        wnd_ = CreateWindowExA(0, "VelTestHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        g_notes.clear();
        SetNotifyHost(reinterpret_cast<std::uintptr_t>(wnd_), kHostMessage);
    }
    ~NotifiedHost() {
        SetNotifyHost(0, 0);
        DestroyWindow(wnd_);
    }
    std::vector<std::pair<WPARAM, LPARAM>> Notes() {
        MSG m;
        while (PeekMessageA(&m, wnd_, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        return g_notes;
    }

private:
    HWND wnd_ = nullptr;
};

// In an interactive check nothing is asked, but the end is reported; a background update runs
// the engine hidden. The client window learns of the fetch and of the run.
TEST_F(AgentUpdate, InteractiveCheckAsksNothingButReportsTheEnd) {
    ASSERT_TRUE(agent.WriteInfo(UpdateInfo("RequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeInstall=1\r\n"
                                           "ShutDownMethod=Don't Shut Down\r\nBackgroundUpdate=1\r\n")));
    AgentCycle().mode = 1;
    ScopedEnv rec("VEL_ENGINE_RECORD", record);
    ScopedEnv atom("VEL_ENGINE_DELETE_ATOM", "1");
    NotifiedHost host;
    BoxDriver boxes;
    EXPECT_TRUE(PerformAutoUpdate());
    const std::vector<std::pair<WPARAM, LPARAM>> notes = {{41, 1}, {41, 2}, {42, 1}, {42, 2}};
    EXPECT_EQ(host.Notes(), notes);
    EXPECT_EQ(AgentCycle().phase, 3);
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u) << Describe(seen);
    EXPECT_TRUE(Has(seen[0].text, "Tool is up to date.")) << seen[0].text;
    EXPECT_FALSE(Has(seen[0].text, "Start it again?"));
    EXPECT_TRUE(Has(ReadWholeFile(record), "ShowWindow=0")) << ReadWholeFile(record);
}

// Answers and failures that stop the update: what is left behind and what is not run.
TEST_F(AgentUpdate, DeclinedOrFailedUpdatesLeaveTheVersion) {
    const struct {
        const char* name;
        std::string infoExtra;
        std::vector<std::string> answers;
        bool packageForeign;
        bool updateFileStays;
        bool engineRuns;
    } cases[] = {
        {"download declined", "RequestConfirmationBeforeDownload=1\r\n", {"&No"}, false, false, false},
        {"install declined", "RequestConfirmationBeforeInstall=1\r\n", {"&No"}, false, true, false},
        {"foreign package", "", {}, true, false, false},
        {"engine failed", "", {}, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(BuildUpdatePackage(dist + "\\Update.exe", c.packageForeign ? "Q8" : "P7"), "");
        ASSERT_TRUE(agent.WriteInfo(UpdateInfo("ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\nInformFinish=1\r\n" +
                                               c.infoExtra)));
        DeleteFileA(agent.File("Update.exe").c_str());
        DeleteFileA(record.c_str());
        Product product(install);
        ASSERT_TRUE(product.Start());
        ScopedEnv rec("VEL_ENGINE_RECORD", record);
        BoxDriver boxes(c.answers);
        EXPECT_FALSE(PerformAutoUpdate());
        EXPECT_EQ(GetVersionOriginal(), 5);
        EXPECT_EQ(Exists(agent.File("Update.exe")), c.updateFileStays);
        EXPECT_EQ(Exists(record), c.engineRuns);
        // Only a run that got as far as the shut-down closed the product; restart follows it.
        EXPECT_EQ(product.ExitCode(0) == kClosedByWmClose, c.engineRuns);
        EXPECT_TRUE(RunsWithin(product.path, 5000));
        for (const SeenBox& b : boxes.Seen()) EXPECT_FALSE(Has(b.text, "up to date")) << b.text;
    }
}

// A method written in another letter case is no method: nothing is posted, the product keeps
// running, and so it is neither updated under its feet nor started a second time.
TEST_F(AgentUpdate, UnknownShutDownMethodLeavesTheProductRunningAndNotUpdated) {
    Product product(install);
    ASSERT_TRUE(product.Start());
    ASSERT_TRUE(agent.WriteInfo(UpdateInfo("ShutDownMethod=using wm_close\r\nRestartProcess=1\r\nShutDownWaitSeconds=1\r\n")));
    ScopedEnv rec("VEL_ENGINE_RECORD", record);
    ScopedEnv atom("VEL_ENGINE_DELETE_ATOM", "1");
    BoxDriver boxes;
    bool stillRunning = false;
    EXPECT_FALSE(PerformAutoUpdate(&stillRunning));
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(product.ExitCode(0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_FALSE(Exists(record));  // the engine never ran
    EXPECT_FALSE(Exists(agent.File("Update.exe")));
    EXPECT_EQ(GetVersionOriginal(), 5);
    Sleep(2000);  // a copy started by the agent would be listed by now
    const std::string list = ProcessListByPsapi(false);
    size_t copies = 0;
    for (size_t at = list.find("|Tool.exe="); at != std::string::npos; at = list.find("|Tool.exe=", at + 1)) ++copies;
    EXPECT_EQ(copies, 1u) << list;
    EXPECT_TRUE(boxes.Seen().empty()) << Describe(boxes.Seen());
}

// The extraction folder lies in the user's temp folder, where others can write: a later update of
// the same agent never runs its engine beside files someone put there in between.
TEST_F(AgentUpdate, ExtractionFolderIsMadeAnewForEveryRun) {
    ASSERT_TRUE(agent.WriteInfo(UpdateInfo("ShutDownMethod=Don't Shut Down\r\n")));
    ScopedEnv rec("VEL_ENGINE_RECORD", record);
    ScopedEnv atom("VEL_ENGINE_DELETE_ATOM", "1");
    BoxDriver boxes;
    EXPECT_TRUE(PerformAutoUpdate());
    // The folder the engine ran from, as it recorded it.
    const std::string first = ReadWholeFile(record);
    const size_t at = first.find("ExePath=");
    ASSERT_NE(at, std::string::npos) << first;
    const std::string exePath = first.substr(at + 8, first.find('\r', at) - at - 8);
    const std::string folder = exePath.substr(0, exePath.find_last_of('\\'));
    ASSERT_NE(folder, "");
    EXPECT_FALSE(Exists(folder));
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(folder + "\\planted.dll", "planted"));
    DeleteFileA(record.c_str());
    EXPECT_TRUE(PerformAutoUpdate());
    const std::string engine = ReadWholeFile(record);
    EXPECT_TRUE(Has(engine, "File=Engine.exe|")) << engine;
    EXPECT_FALSE(Has(engine, "planted")) << engine;
    EXPECT_FALSE(Has(engine, "ExePath=" + folder + "\\")) << engine;
    // What was found there is left alone, neither used nor deleted.
    EXPECT_EQ(ReadWholeFile(folder + "\\planted.dll"), "planted");
    DeleteFileA((folder + "\\planted.dll").c_str());
    RemoveDirectoryA(folder.c_str());
    EXPECT_TRUE(boxes.Seen().empty()) << Describe(boxes.Seen());
}

// ---- The agent's restart ------------------------------------------------------------------------

TEST(AgentRestart, StartsTheAgentWithTheTransientListUnlessItIsShuttingDown) {
    AgentInstall agent{"P7", testsupport::InfoFrom::Folder};  // its update locations are folders
    ASSERT_TRUE(agent.Ready());
    // The recording engine stands in for the agent program and writes its command line.
    const std::string agentExe = agent.File("Agent.exe");
    const std::string record = agent.File("restart-record.txt");
    ScopedEnv rec("VEL_ENGINE_RECORD", record);
    SetTransientOverride(kTransientConfirmDownload, 1);

    AgentCycle().shutDownCountdown = 3;
    ASSERT_TRUE(CopyFileA(BuildTreePath("tools/engines/recengine.exe").c_str(), agentExe.c_str(), FALSE));
    ReStartAutoUpdateExe();
    Sleep(1000);
    EXPECT_FALSE(Exists(record));

    AgentCycle().shutDownCountdown = -1;
    ReStartAutoUpdateExe();
    for (int i = 0; i < 100 && !Has(ReadWholeFile(record), "ExitCode"); ++i) Sleep(100);
    const std::string line = ReadWholeFile(record);
    EXPECT_TRUE(Has(line, "/_ZZ=99 /WAIT=10 /TRANSIENT=|255|1|255|255|255|255|255|255|")) << line;
    EXPECT_TRUE(Has(line, "ExePath=" + agentExe)) << line;
}

}  // namespace
}  // namespace vel
