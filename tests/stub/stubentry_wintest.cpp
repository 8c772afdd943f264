// The real stub's entry under Wine: its start and end trace lines reach the debug viewer program,
// a stub without a package ends cleanly after saying so, and the update-agent roles are told apart by file name
// and package bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/PackageFormat.h"
#include "package/PackageWriter.h"
#include "support/PackageFixture.h"
#include "stub/RunStub.h"
#include "support/TraceCapture_win.h"

namespace vel {
namespace {

using testsupport::BuildTreePath;
using testsupport::ReadWholeFile;
using testsupport::RunChild;
using testsupport::ScratchFolder;
using testsupport::TraceCapture;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Closes the message boxes that one program shows (the box answers 0), so that a run never waits
// for a user; boxes of other programs (tests running beside this one) are left alone.
class BoxCloser {
public:
    explicit BoxCloser(const std::string& program)
        : program_(program), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, &BoxCloser::Run, this, 0, nullptr);
    }
    ~BoxCloser() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(stop_);
    }
    int Closed() const { return closed_; }

private:
    static std::string ImageOf(HWND wnd) {
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!p) return std::string();
        char path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        const BOOL ok = QueryFullProcessImageNameA(p, 0, path, &size);
        CloseHandle(p);
        return ok ? std::string(path, size) : std::string();
    }
    static BOOL CALLBACK CloseIfOurs(HWND wnd, LPARAM self) {
        auto* me = reinterpret_cast<BoxCloser*>(self);
        char cls[32] = {};
        GetClassNameA(wnd, cls, sizeof cls);
        if (lstrcmpA(cls, "VMsgBox") == 0 && lstrcmpiA(ImageOf(wnd).c_str(), me->program_.c_str()) == 0) {
            PostMessageA(wnd, WM_CLOSE, 0, 0);
            ++me->closed_;
        }
        return TRUE;
    }
    static DWORD WINAPI Run(void* self) {
        auto* me = static_cast<BoxCloser*>(self);
        while (WaitForSingleObject(me->stop_, 200) == WAIT_TIMEOUT) EnumWindows(&CloseIfOurs, reinterpret_cast<LPARAM>(me));
        return 0;
    }
    std::string program_;
    HANDLE stop_;
    HANDLE thread_;
    volatile int closed_ = 0;
};

// A copy of the built stub with a package of texts only (no file records) behind it.
std::string MakeStubWithTexts(const std::string& path, const std::string& settings, bool agentByte) {
    PackageContent c;
    c.stubImage = ReadWholeFile(BuildTreePath("src/stub/stub.exe"));
    c.languageBlock = "\x02\x01" "English\x01s0=Entry test\x01\x02";
    c.settingsList = settings;
    c.trailer.SetUpdateAgent(agentByte);
    PackageWriter w;
    std::string err = w.Begin(path, c);
    if (err.empty()) err = w.Finish();
    return err;
}

TEST(StubEntry, WithoutPackageTheViewerShowsStartAndEndAndTheRunFailsCleanly) {
    ScratchFolder dir;
    const std::string stub = dir.File("setup.exe");
    ASSERT_TRUE(CopyFileA(BuildTreePath("src/stub/stub.exe").c_str(), stub.c_str(), FALSE));

    testsupport::ViewerLock lock;
    const std::string out = dir.File("viewer.txt");
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION viewer{};
    std::string cmd = Quoted(BuildTreePath("tools/vdebug/vdebug.exe")) + " --quiet --seconds 120 --out " + Quoted(out);
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &viewer));
    for (int i = 0; i < 100 && !FindWindowA(".VDebug.", nullptr); ++i) Sleep(50);
    ASSERT_NE(FindWindowA(".VDebug.", nullptr), nullptr) << "the viewer did not open its window";

    BoxCloser boxes(stub);  // the missing package is reported in a box
    const auto run = RunChild(Quoted(stub) + " /x=1", 60000);
    PostMessageA(FindWindowA(".VDebug.", nullptr), WM_CLOSE, 0, 0);
    WaitForSingleObject(viewer.hProcess, 10000);
    TerminateProcess(viewer.hProcess, 0);
    CloseHandle(viewer.hThread);
    CloseHandle(viewer.hProcess);

    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut);
    // No package is a damaged setup file: reported in a box, and the exit code says it failed.
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kStubFailureExitCode));
    const std::string text = ReadWholeFile(out);
    const size_t start = text.find(" ==== STUB START ====> ");
    const size_t end = text.find(" ==== STUB END ====> ");
    ASSERT_NE(start, std::string::npos) << text;
    ASSERT_NE(end, std::string::npos) << text;
    EXPECT_LT(start, end);
    EXPECT_NE(text.find("/x=1<", start), std::string::npos) << "the raw command line follows the marker";
    EXPECT_NE(text.find(" ==== ThisIs_AutoUpdateProg=FALSE"), std::string::npos);
    EXPECT_GE(boxes.Closed(), 1);
}

TEST(StubEntry, PlainUpdateAgentStartsItsCopyWhichRunsTheCycleUntilStopped) {
    ScratchFolder dir;
    const std::string agent = dir.File("Updater.exe");
    const std::string copy = dir.File("X_Updater.exe");
    ASSERT_EQ(MakeStubWithTexts(agent, "|http://127.0.0.1:9/|upd.info|Updater.exe|bcde||", true), "");

    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());
    const auto run = RunChild(Quoted(agent), 60000);
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(trace.Contains(" CreateAndRun_X_Exe-2")) << trace.Text();
    // The copy runs the update cycle: without installation settings its one shot of the run comes
    // on the fourth tick and finds no update-info file at the location.
    EXPECT_TRUE(trace.WaitFor("GetOkToPerformAU=0", 30000)) << trace.Text();
    EXPECT_TRUE(Exists(copy));

    // Asked through the plain agent, the copy stops at its next tick and deletes itself.
    const auto stop = RunChild(Quoted(agent) + " /STOP=0", 60000);
    ASSERT_TRUE(stop.started);
    EXPECT_TRUE(trace.WaitFor(" ==== STUB END ====> \"" + copy, 15000)) << trace.Text();
    for (int i = 0; i < 150 && Exists(copy); ++i) Sleep(100);
    EXPECT_FALSE(Exists(copy));
}

TEST(StubEntry, AgentNameWithoutTheAgentByteRunsAsAStub) {
    ScratchFolder dir;
    const std::string file = dir.File("Updater.exe");
    ASSERT_EQ(MakeStubWithTexts(file, "|||Updater.exe|||", false), "");
    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());
    BoxCloser boxes(file);  // a package without a launch entry may still report
    const auto run = RunChild(Quoted(file), 60000);
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(trace.Contains("DoRunStubWin: WinMain")) << trace.Text();
    EXPECT_FALSE(Exists(dir.File("X_Updater.exe")));
}

}  // namespace
}  // namespace vel
