// Process control on real processes: console programs captured through pipes, and copies of the
// testwin program standing in for a product in a folder whose name holds a blank.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TraceCapture_win.h"
#include "util/Process.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

using namespace vel;

namespace {

// A copy of testwin under "<temp>\vel proc <pid>\<name>", started and ended by the test; the
// name is one of its own unless one is given.
class Product {
public:
    explicit Product(const std::string& fileName = std::string()) {
        static int serial = 0;
        const std::string tag = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
        folder_ = TempDir(true) + "vel proc " + tag;
        name = fileName.empty() ? "velprod_" + tag + ".exe" : fileName;
        path = folder_ + "\\" + name;
        windowClass = "VelProdClass_" + tag;
        title = "Vel Product " + tag;
        CreateDirectoryA(folder_.c_str(), nullptr);
        copied_ = CopyFileA(testsupport::BuildTreePath("tools/testwin/testwin.exe").c_str(), path.c_str(), FALSE) != 0;
    }
    ~Product() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        DeleteFileA(path.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // Starts it with the options; with a window, returns once the window exists.
    bool Start(const std::string& options, bool withWindow = true) {
        if (!copied_) return false;
        std::string line = "\"" + path + "\" --class \"" + windowClass + "\" --title \"" + title + "\" " + options;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi_))
            return false;
        for (int i = 0; i < 500 && withWindow; ++i) {
            if (MainWindow()) return true;
            Sleep(20);
        }
        return !withWindow;
    }
    HWND MainWindow() const { return FindWindowA(windowClass.c_str(), title.c_str()); }
    DWORD Pid() const { return pi_.dwProcessId; }
    bool Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
    // Exit code once it has ended within ms; STILL_ACTIVE otherwise.
    DWORD ExitCode(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

    std::string name, path, windowClass, title;

private:
    std::string folder_;
    bool copied_ = false;
    PROCESS_INFORMATION pi_{};
};

struct Chunks {
    std::string text;
    int calls = 0;
    bool cancelOnFirst = false;
    bool sawInputPipe = false;
};

void CollectChunk(void* data, const std::string& chunk, bool& cancel) {
    auto* c = static_cast<Chunks*>(data);
    c->text += chunk;
    ++c->calls;
    c->sawInputPipe = c->sawInputPipe || CaptureInputPipe() != nullptr;
    if (c->cancelOnFirst) cancel = true;
}

TEST(RunCommandCapture, CollectsOutputErrorsAndExitCode) {
    struct Case {
        const char* params;
        bool ok;
        DWORD exitCode;
        const char* inOutput;
        const char* inErrors;
    } cases[] = {
        {"/c echo hello", true, 0, "hello", ""},
        {"/c echo oops 1>&2", true, 0, "", "oops"},
        {"/c exit 3", false, 3, "", ""},
        {"/c exit 259", false, 259, "", ""},  // the exit code that reads like "still running"
    };
    for (const Case& c : cases) {
        std::string errors = "stale", output = "stale";
        DWORD code = 12345;
        Chunks chunks;
        EXPECT_EQ(RunCommandCapture("cmd.exe", c.params, SW_HIDE, CollectChunk, &chunks, 10, errors, output, code), c.ok)
            << c.params;
        EXPECT_EQ(code, c.exitCode) << c.params;
        EXPECT_NE(output.find(c.inOutput), std::string::npos) << c.params << ": " << output;
        EXPECT_NE(errors.find(c.inErrors), std::string::npos) << c.params << ": " << errors;
        EXPECT_EQ(output.find("stale"), std::string::npos);
        EXPECT_EQ(chunks.text.size(), output.size() + errors.size()) << c.params;
    }
    std::string errors, output;
    DWORD code = 0;
    EXPECT_TRUE(RunCommandCapture("cmd.exe", "/c echo plain", SW_HIDE, nullptr, nullptr, 1, errors, output, code));
    EXPECT_EQ(Trim(output), "plain");
    EXPECT_EQ(CaptureInputPipe(), nullptr);
}

TEST(RunCommandCapture, ReportsProgramThatCannotStart) {
    std::string errors, output;
    DWORD code = 0;
    Chunks chunks;
    EXPECT_FALSE(RunCommandCapture("C:\\no such dir\\missing.exe", "/x", SW_HIDE, CollectChunk, &chunks, 1, errors,
                                   output, code));
    EXPECT_EQ(code, 21u);
    const std::string head = "\"C:\\no such dir\\missing.exe\" /x --- ";
    EXPECT_EQ(errors.substr(0, head.size()), head);
    EXPECT_GT(Trim(errors).size(), head.size()) << "the system's reason is missing";
    EXPECT_EQ(chunks.text, errors + "\r\n");

    EXPECT_FALSE(RunCommandCapture("cmd.exe", std::string(40000, 'a'), SW_HIDE, nullptr, nullptr, 1, errors, output, code));
    EXPECT_EQ(code, 21u);
    EXPECT_EQ(errors, "Command line is too long");
}

TEST(RunCommandCapture, CallbackCancelEndsProgram) {
    Product printer;
    Chunks chunks;
    chunks.cancelOnFirst = true;
    std::string errors, output;
    DWORD code = 0;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(RunCommandCapture(printer.path, "--no-window --print 50 --ms 30000", SW_HIDE, CollectChunk, &chunks, 1,
                                   errors, output, code));
    EXPECT_EQ(code, 255u);
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_EQ(output.substr(0, 6), "line 1");
    EXPECT_TRUE(chunks.sawInputPipe);
    EXPECT_EQ(CaptureInputPipe(), nullptr);
}

// The program file given beside the command line is what runs, whatever the command line's first
// token names; testwin given a word it does not know ends with exit code 2.
TEST(StartProcess, RunsTheGivenProgramFileOrReportsWhy) {
    Product p;  // a copy of testwin
    ProcessStartOptions options;
    options.showWindow = SW_HIDE;
    options.applicationPath = p.path;
    ScopedHandle started = StartProcess("C:\\vel_no_such_folder\\other.exe --vel-unknown-word", options);
    ASSERT_TRUE(started.valid()) << LastErrorText();
    ASSERT_EQ(WaitForSingleObject(started.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(started.get(), &code));
    EXPECT_EQ(code, 2u);

    SetLastError(0);
    const ScopedHandle missing = StartProcess("\"C:\\vel_no_such_folder\\other.exe\"");
    EXPECT_FALSE(missing.valid());
    EXPECT_NE(GetLastError(), 0u);
}

TEST(ProcessControl, FindsProductByPathOrName) {
    Product p;
    ASSERT_TRUE(p.Start("--owned"));
    const std::string variants[] = {
        p.path, UpperCase(p.path), LowerCase(p.path), p.name, UpperCase(p.name), "\"" + p.path + "\"",
        "  \"" + p.name + "\"  ",
    };
    for (const std::string& v : variants) EXPECT_TRUE(IsProcessRunning(v)) << v;

    // Each listing method on its own.
    EXPECT_EQ(FindProcessIdByPsapi(p.path, true), p.Pid());
    EXPECT_EQ(FindProcessIdByPsapi(UpperCase(p.name), false), p.Pid());
    EXPECT_EQ(FindProcessIdByPsapi(p.name, true), 0u) << "a bare name may not match with pathOnly";
    EXPECT_EQ(FindProcessIdBySnapshot(p.name, false), p.Pid());
    EXPECT_EQ(FindProcessIdInList(p.path, false), p.Pid());
    const std::string entry = "|" + p.name + "=" + std::to_string(p.Pid()) + "|";
    EXPECT_NE(ProcessListByWindows().find(entry), std::string::npos);
    EXPECT_NE(ProcessListByPsapi(false).find(entry), std::string::npos);
    EXPECT_NE(ProcessListByPsapi(true).find("|" + p.path + "="), std::string::npos);

    // The owned popup lies above the main window; the weights still pick the main window.
    EXPECT_EQ(FindProcessMainWindow(p.path, true), p.MainWindow());
    EXPECT_EQ(FindProcessMainWindow(p.name, false), p.MainWindow());

    TProcessData every;
    every.everyWindow = 1;
    EnumTopWindows(every);
    EXPECT_NE(every.classes.find("|" + p.windowClass + "|"), std::string::npos);
    EXPECT_NE(every.titles.find("|" + p.title + "|"), std::string::npos);
    EXPECT_NE(every.titles.find("|Owned Tool|"), std::string::npos);
}

TEST(ProcessControl, NothingHappensWithoutMatchingProcess) {
    const std::string nobody = "C:\\nowhere\\no_such_program_4711.exe";
    EXPECT_FALSE(IsProcessRunning(nobody));
    EXPECT_EQ(FindProcessId(nobody, false), 0u);
    EXPECT_EQ(FindProcessMainWindow(nobody, false), nullptr);
    EXPECT_FALSE(PostProcessMessage(nobody, false, WM_APP + 1, 0, 0));
    EXPECT_FALSE(CloseProcessWindow(nobody, false, 0));
    EXPECT_FALSE(QuitProcessWindow(nobody, false));
    EXPECT_FALSE(TerminateProcessByPath(nobody, false));
    EXPECT_FALSE(IsProcessRunning("  "));
}

TEST(ProcessControl, MessagesReachMainWindow) {
    Product posted, closed, quit;
    ASSERT_TRUE(posted.Start(""));
    ASSERT_TRUE(closed.Start(""));
    ASSERT_TRUE(quit.Start(""));

    EXPECT_TRUE(PostProcessMessage(posted.path, true, WM_APP + 1, 7, 9));
    EXPECT_EQ(posted.ExitCode(5000), 307009u);

    // With a wait, CloseProcessWindow returns once the product has gone. (Under Wine on a bare X
    // server a window takes up to two seconds to be destroyed.)
    EXPECT_TRUE(CloseProcessWindow(closed.path, true, 10000));
    EXPECT_FALSE(IsProcessRunning(closed.path));
    EXPECT_EQ(closed.ExitCode(5000), 115255u);  // WM_CLOSE with wParam 15, lParam 255

    EXPECT_TRUE(QuitProcessWindow(quit.name, false));
    EXPECT_EQ(quit.ExitCode(5000), 215255u);  // WM_QUIT with wParam 15, lParam 255
}

TEST(ProcessControl, StubbornProductOutlivesWaitsUntilTerminated) {
    Product p;
    ASSERT_TRUE(p.Start("--ignore-close"));
    DWORD start = GetTickCount();
    EXPECT_TRUE(CloseProcessWindow(p.path, true, 0));
    EXPECT_LT(GetTickCount() - start, 500u) << "no wait was asked for";

    start = GetTickCount();
    WaitWhileRunning("\"" + p.path + "\"", 0);  // 0 stands for one second
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    EXPECT_TRUE(p.Running());

    EXPECT_TRUE(TerminateProcessByPath(p.path, false));
    EXPECT_EQ(p.ExitCode(5000), 0u);
}

// A product is closed, ended and waited for by its full path: a program of the same name in another
// folder, started before or after it, is never taken for it.
TEST(ProcessControl, SameNameInAnotherFolderIsNeverTheProduct) {
    for (const bool productFirst : {true, false}) {
        SCOPED_TRACE(productFirst ? "product started first" : "product started last");
        Product product("velsame.exe"), other("velsame.exe");
        Product& first = productFirst ? product : other;
        Product& second = productFirst ? other : product;
        ASSERT_TRUE(first.Start(""));
        ASSERT_TRUE(second.Start(""));
        EXPECT_EQ(FindProcessId(product.path, true), product.Pid());
        EXPECT_EQ(FindProcessIdByFullPath(other.path), other.Pid());
        EXPECT_EQ(FindProcessIdByFullPath(product.name), 0u) << "a bare name is no path";

        EXPECT_TRUE(TerminateProcessByPath(product.path, true));
        EXPECT_EQ(product.ExitCode(5000), 0u);
        EXPECT_TRUE(other.Running());
        EXPECT_FALSE(IsProcessRunningAt(product.path));
        EXPECT_TRUE(IsProcessRunningAt(other.path));
        const DWORD start = GetTickCount();
        WaitWhileRunningAt(product.path, 3000);
        EXPECT_LT(GetTickCount() - start, 1000u) << "waited for the other program";

        EXPECT_FALSE(PostProcessMessage(product.path, true, WM_CLOSE, 15, 255));
        EXPECT_TRUE(other.Running());
        EXPECT_TRUE(CloseProcessWindow(other.path, true, 0));
        EXPECT_EQ(other.ExitCode(5000), 115255u);
    }
}

TEST(ProcessControl, WindowlessProcessIsNotSeenByWindowList) {
    Product p;
    ASSERT_TRUE(p.Start("--no-window", false));
    // The status functions and the snapshot see it at once; give them a moment to be sure.
    DWORD pid = 0;
    for (int i = 0; i < 100 && pid == 0; ++i, Sleep(20)) pid = FindProcessIdByPsapi(p.path, true);
    EXPECT_EQ(pid, p.Pid());
    EXPECT_EQ(FindProcessIdBySnapshot(p.name, false), p.Pid());
    // The window method lists only processes that own a top-level window, and it is the method
    // of IsProcessRunning everywhere but on XP.
    EXPECT_EQ(LookupProcessList(ProcessListByWindows(), p.name, nullptr), 0u);
    if (!IsWindowsXP()) {
        EXPECT_FALSE(IsProcessRunning(p.path));
    }
    EXPECT_EQ(FindProcessMainWindow(p.path, true), nullptr);
    EXPECT_TRUE(p.Running());
}

TEST(ProcessControl, WaitWhileWindowExistsReturnsWhenWindowCloses) {
    Product p;
    ASSERT_TRUE(p.Start("--ms 1500"));
    const DWORD start = GetTickCount();
    WaitWhileWindowExists(p.windowClass, "");
    EXPECT_EQ(FindWindowA(p.windowClass.c_str(), nullptr), nullptr);
    EXPECT_GE(GetTickCount() - start, 500u);
    EXPECT_EQ(p.ExitCode(5000), 3u);

    const DWORD quick = GetTickCount();
    WaitWhileWindowExists("VelNoSuchClass_4711", "");
    WaitWhileWindowExists("", "");  // would match every window: returns at once
    EXPECT_LT(GetTickCount() - quick, 500u);
}

}  // namespace
