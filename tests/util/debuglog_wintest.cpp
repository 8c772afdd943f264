// The debug stream on Windows: the viewer window protocol, the viewer program, the run log's
// system facts and host notifications.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TraceCapture_win.h"
#include "util/DebugLog.h"

namespace vel {
namespace {

using testsupport::BuildTreePath;
using testsupport::RunChild;
using testsupport::TestExeDir;
using testsupport::TraceCapture;
using testsupport::ViewerLock;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string LongLine() {
    std::string line;
    for (int i = 0; i < 300; ++i) line += static_cast<char>('a' + i % 26);
    return line;
}

TEST(DebugViewer, LongLineArrivesAsThreeChunks) {
    TraceCapture capture;
    ASSERT_TRUE(capture.Ready());
    const std::string line = LongLine();
    DebugLine(line);
    DebugLine("next");
    const std::vector<std::string> chunks = capture.Chunks();
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].size(), 128u);
    EXPECT_EQ(chunks[1].size(), 128u);
    EXPECT_EQ(chunks[2].size(), 46u);
    EXPECT_EQ(chunks[2].substr(44), "\r\n");
    EXPECT_EQ(chunks[3], "next\r\n");
    EXPECT_EQ(capture.Lines(), std::vector<std::string>({line, "next"}));
}

TEST(DebugViewer, WithoutViewerLinesGoNowhere) {
    ViewerLock lock;  // no test viewer window can exist meanwhile
    ASSERT_TRUE(lock.Held());
    ASSERT_EQ(FindWindowA(kDebugViewerClass, nullptr), nullptr);
    const bool debugFileBefore = Exists(kDebugFileName);
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 50; ++i) DebugLine(LongLine());
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_FALSE(SendToDebugViewer("x"));
    EXPECT_EQ(Exists(kDebugFileName), debugFileBefore);
}

TEST(DebugViewer, ProgramAppendsChunksToItsOutputFile) {
    ViewerLock lock;
    ASSERT_TRUE(lock.Held());
    const std::string exe = BuildTreePath("tools/vdebug/vdebug.exe");
    ASSERT_TRUE(Exists(exe)) << exe;
    const std::string out = TestExeDir() + "\\vdebug_out.txt";
    DeleteFileA(out.c_str());

    std::string cmd = "\"" + exe + "\" --quiet --seconds 60 --out \"" + out + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    HWND viewer = nullptr;
    for (int i = 0; i < 200 && !viewer; ++i) {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        viewer = FindWindowA(kDebugViewerClass, nullptr);
    }
    if (!viewer) TerminateProcess(pi.hProcess, 1);
    ASSERT_NE(viewer, nullptr) << "the viewer window did not appear";

    const std::string line = LongLine();
    DebugLine(line);
    DebugLine("second line");
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);

    EXPECT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadAll(out), line + "\r\nsecond line\r\n");
    DeleteFileA(out.c_str());
}

TEST(DebugViewer, ProgramCommandLine) {
    const std::string exe = "\"" + BuildTreePath("tools/vdebug/vdebug.exe") + "\"";
    const auto help = RunChild(exe + " --help", 20000, true);
    ASSERT_TRUE(help.started);
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_NE(help.output.find("Usage: vdebug"), std::string::npos) << help.output;

    for (const char* bad : {"--bogus", "--seconds 0", "--seconds soon", "--out", "--out \"\""}) {
        const auto r = RunChild(exe + " " + bad, 20000, true);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, 2u) << bad;
        EXPECT_NE(r.output.find("vdebug: "), std::string::npos) << bad << ": " << r.output;
    }

    ViewerLock lock;
    ASSERT_TRUE(lock.Held());
    const auto timed = RunChild(exe + " --quiet --seconds 1", 30000);
    EXPECT_FALSE(timed.timedOut);
    EXPECT_EQ(timed.exitCode, 0u);
}

// dd?mm?yy of a local time, with the user's date separator.
std::string DatePart(const SYSTEMTIME& t, char sep) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u%c%02u%c%02u", t.wDay, sep, t.wMonth, sep, t.wYear % 100);
    return buf;
}

TEST(RunLog, LineCarriesTodayThreadIdAndLivesBesideTheProgram) {
    const std::string path = RunLogFileName();
    EXPECT_EQ(path, TestExeDir() + "\\X_debuglog_wintest.log");
    DeleteFileA(path.c_str());

    SetRunLogEnabled(false);
    RunLog("off");
    EXPECT_FALSE(Exists(path));

    char sep[8] = "/";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDATE, sep, sizeof sep);
    SYSTEMTIME before;
    GetLocalTime(&before);
    SetRunLogEnabled(true);
    RunLog("on");
    SetRunLogEnabled(false);
    SYSTEMTIME after;
    GetLocalTime(&after);

    const std::string text = ReadAll(path);
    ASSERT_GE(text.size(), 18u) << text;
    const std::string date = text.substr(0, 8);
    EXPECT_TRUE(date == DatePart(before, sep[0]) || date == DatePart(after, sep[0])) << text;
    char id[32];
    std::snprintf(id, sizeof id, "%5lu", GetCurrentThreadId());
    EXPECT_EQ(text.substr(17), std::string(" ") + id + "   on\r\n");
    DeleteFileA(path.c_str());
}

class HostWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        SetNotifyHost(0, 0);
        DestroyWindow(window_);
    }
    HWND window_ = nullptr;
};

TEST_F(HostWindow, NotificationsArriveOnlyWhenWindowAndMessageAreSet) {
    const UINT message = WM_APP + 7;
    const std::uintptr_t wnd = reinterpret_cast<std::uintptr_t>(window_);
    struct Case {
        std::uintptr_t window;
        UINT message;
        bool posted;
    };
    const Case cases[] = {{0, 0, false}, {wnd, 0, false}, {0, message, false}, {wnd, message, true}};
    for (const Case& c : cases) {
        SetNotifyHost(c.window, c.message);
        NotifyHost(40, -2);
        MSG msg;
        const bool got = PeekMessageA(&msg, nullptr, message, message, PM_REMOVE) != FALSE;  // also thread messages
        EXPECT_EQ(got, c.posted);
        if (got) {
            EXPECT_EQ(msg.wParam, 40u);
            EXPECT_EQ(msg.lParam, -2);
        }
    }
}

}  // namespace
}  // namespace vel
