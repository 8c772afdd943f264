// End to end: an installed product kept up to date by the real update agent (the stub built as an
// agent by velpack's library) under Wine, with real timers, against the loopback nginx or a drive
// folder. The product is the demo product, which logs how it started and ended; updates are
// packages whose recording engine rewrites the product's version file. The agent's boxes are
// answered through its VMsgBox windows; its trace lines are caught by an in-process viewer.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "Keys.h"
#include "autoupdate/InfoSignature.h"
#include "support/InstalledProduct_win.h"
#include "support/PackageFixture.h"
#include "support/TestServers_win.h"
#include "support/TraceCapture_win.h"
#include "support/UrlHandler_win.h"
#include "support/WindowDriver_win.h"
#include "util/Process.h"
#include "util/WinHandles.h"

namespace vel {
namespace {

using testsupport::BoxText;
using testsupport::BuildTreePath;
using testsupport::ClickButton;
using testsupport::HasButton;
using testsupport::InstalledProduct;
using testsupport::ProductOptions;
using testsupport::Pump;
using testsupport::ReadWholeFile;
using testsupport::TraceCapture;
using testsupport::UpdateServer;

constexpr DWORD kShotLimitMs = 60000;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitUntil(const std::function<bool()>& done, DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        Pump(100);
    }
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Today's date as the agent's test mode compares it: 06-DEC-2026.
std::string DateText(int daysBack) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    u.QuadPart -= static_cast<ULONGLONG>(daysBack) * 864000000000ULL;
    ft.dwLowDateTime = u.LowPart;
    ft.dwHighDateTime = u.HighPart;
    FileTimeToSystemTime(&ft, &st);
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    char buf[16];
    snprintf(buf, sizeof buf, "%02u-%s-%04u", st.wDay, kMonths[st.wMonth - 1], st.wYear);
    return buf;
}

// The agent's test-mode values in the registry while it lives; removed at the end.
class TestModeValues {
public:
    TestModeValues(const std::string& on, const std::string& date, const std::string& location) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != 0) return;
        ScopedKey owned(key);
        Set(key, "TestMode", on);
        Set(key, "TestModeDate", date);
        Set(key, "TestModeURL", location);
    }
    ~TestModeValues() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }

private:
    static constexpr const char* kKey = "Software\\Dorvanik\\Velnor\\AutoUpdate";
    static void Set(HKEY key, const char* name, const std::string& value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
};

class AutoUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::ServersUp()) GTEST_SKIP() << "needs the loopback servers (ctest autoupdate_wintest)";
        ASSERT_TRUE(trace_.Ready());
    }

    // The installed product (version 1) with its agent.
    void Install(const ProductOptions& options = ProductOptions()) {
        product_ = std::make_unique<InstalledProduct>(options);
        ASSERT_EQ(product_->Error(), "");
    }

    // Version 2 built and published, with the release's values changed first.
    void Release(const std::function<void(UpdateInfo&)>& change = nullptr) {
        ASSERT_EQ(product_->BuildUpdate(2), "");
        UpdateInfo info = product_->Release(2);
        if (change) change(info);
        ASSERT_EQ(product_->Publish(info), "");
    }

    // Starts the agent so that its first tick considers a shot (no idle ticks).
    void StartAgent(const std::string& args = "/DELAY=0") {
        ASSERT_EQ(product_->RunAgent(args), 0);
        ASSERT_TRUE(WaitUntil([&] { return product_->AgentCopyPid() != 0; }, 15000)) << trace_.Text();
        copyPid_ = product_->AgentCopyPid();
    }

    bool CopyRuns() const { return copyPid_ && product_->AgentCopyPid() == copyPid_; }

    // The next box of the agent copy, or null.
    HWND WaitForAgentBox(DWORD limitMs = kShotLimitMs) {
        return testsupport::WaitForBox(copyPid_, [this] { return CopyRuns(); }, limitMs);
    }

    // Presses a button of the box and waits until the box has gone, so that the next box looked
    // for is not this one closing.
    static bool Press(HWND box, const std::string& button) {
        return ClickButton(box, button) && WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    }

    // Waits for the box, checks that its text holds each of `parts`, presses `button`.
    void Answer(const std::vector<std::string>& parts, const std::string& button) {
        HWND box = WaitForAgentBox();
        ASSERT_NE(box, nullptr) << "no box; trace:\n" << trace_.Text();
        const std::string text = BoxText(box);
        for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in: " << text;
        ASSERT_TRUE(Press(box, button)) << button << " in: " << text;
    }

    // The agent copy traced the needle; false at the limit or soon after the copy has ended.
    bool WaitForTrace(const std::string& needle, DWORD limitMs = kShotLimitMs) {
        const DWORD start = GetTickCount();
        while (!trace_.Contains(needle)) {
            if (GetTickCount() - start > limitMs) return false;
            if (!CopyRuns()) return trace_.WaitFor(needle, 1000);
            Pump(100);
        }
        return true;
    }
    // The shot's decision was traced with this reason code.
    bool WaitForDecision(int code, DWORD limitMs = kShotLimitMs) {
        return WaitForTrace(" GetOkToPerformAU=" + std::to_string(code), limitMs);
    }
    // The update run is over (whatever its result).
    bool WaitForUpdateEnd(DWORD limitMs = kShotLimitMs) {
        return WaitForTrace(" ==== PerformAutoUpdate-13 ====", limitMs);
    }

    std::vector<std::string> ProductLog() const { return Lines(ReadWholeFile(product_->ProductLog())); }
    std::string UpdateFileInFolder() const { return product_->Folder() + "\\Update.exe"; }

    // Nothing of the installation changed and the product runs on.
    void ExpectUntouched(DWORD productPid) {
        EXPECT_EQ(product_->InstalledVersion(), "1");
        EXPECT_EQ(product_->Setting("OriginalSetup", "VersionOriginal"), "1");
        EXPECT_EQ(product_->ProductPid(), productPid);
        EXPECT_EQ(ProductLog().size(), 1u) << ReadWholeFile(product_->ProductLog());
    }

    TraceCapture trace_;
    std::unique_ptr<InstalledProduct> product_;
    DWORD copyPid_ = 0;
};

std::string StartLine(DWORD pid, int version) {
    return "start version=" + std::to_string(version) + " pid=" + std::to_string(pid);
}

// ---- A timed update, by each way of shutting the product down --------------------------------------

struct ShutDownCase {
    const char* name;
    const char* method;
    UpdateServer server;
    bool running;    // the product runs when the update begins
    bool restart;    // RestartProcess
    const char* endLine;  // how the product ended ("" for terminated, nullptr for not at all)
    bool restarted;       // a version 2 product was started after the update
};
void PrintTo(const ShutDownCase& c, std::ostream* os) { *os << c.name; }

class ShutDown : public AutoUpdate, public ::testing::WithParamInterface<ShutDownCase> {};

TEST_P(ShutDown, UpdatesTheProductAndRecordsTheNewVersion) {
    const ShutDownCase& c = GetParam();
    ProductOptions options;
    options.server = c.server;
    std::unique_ptr<testsupport::TrustedTestCa> ca;
    if (c.server == UpdateServer::Https) ca = std::make_unique<testsupport::TrustedTestCa>();
    ASSERT_NO_FATAL_FAILURE(Install(options));
    InstalledProduct& p = *product_;
    Release([&](UpdateInfo& i) {
        i.shutDownMethod = c.method;
        i.restartProcess = c.restart;
    });
    const DWORD pid = c.running ? p.StartProduct() : 0;
    ASSERT_EQ(pid != 0, c.running);

    StartAgent();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000))
        << p.RunLogText();
    EXPECT_EQ(p.InstalledVersion(), "2");
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
    // The product: ended as the method says, and started again when it had been shut down.
    std::vector<std::string> expected;
    if (c.running) expected.push_back(StartLine(pid, 1));
    if (c.endLine && *c.endLine) expected.push_back(std::string(c.endLine) + " pid=" + std::to_string(pid));
    if (c.restarted) {
        ASSERT_TRUE(WaitUntil([&] { return ProductLog().size() == expected.size() + 1; }, 10000))
            << ReadWholeFile(p.ProductLog()) << p.RunLogText();
        const DWORD again = p.ProductPid();
        expected.push_back(StartLine(again, 2));
        EXPECT_NE(again, pid);
    } else {
        Pump(1500);  // a restart would come at once
    }
    EXPECT_EQ(ProductLog(), expected) << p.RunLogText();
    if (!c.endLine) {
        EXPECT_EQ(p.ProductPid(), pid);  // not shut down: runs on (or still does not run)
    }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, ShutDown,
    ::testing::Values(
        ShutDownCase{"Close", "Using WM_CLOSE", UpdateServer::Http, true, true, "closed", true},
        ShutDownCase{"CloseNoRestart", "Using WM_CLOSE", UpdateServer::Http, true, false, "closed", false},
        ShutDownCase{"Quit", "Using WM_QUIT", UpdateServer::Https, true, true, "quit", true},
        ShutDownCase{"Terminate", "Using Terminate Process", UpdateServer::Folder, true, true, "", true},
        ShutDownCase{"DontShutDown", "Don't Shut Down", UpdateServer::Http, true, true, nullptr, false},
        ShutDownCase{"NotRunning", "Using WM_CLOSE", UpdateServer::Http, false, true, nullptr, false}),
    [](const ::testing::TestParamInfo<ShutDownCase>& i) { return std::string(i.param.name); });

// ---- A product that is slow to end is waited for, updated once it has ended, and restarted ------

struct SlowCase {
    const char* name;
    const char* productArgs;
    int rounds;  // the fault this guards against came and went with timing
};
void PrintTo(const SlowCase& c, std::ostream* os) { *os << c.name; }

class SlowProduct : public AutoUpdate, public ::testing::WithParamInterface<SlowCase> {};

TEST_P(SlowProduct, IsUpdatedOnceItHasEndedAndStartedAgain) {
    const SlowCase& c = GetParam();
    for (int round = 1; round <= c.rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        product_.reset();
        trace_.Clear();
        ASSERT_NO_FATAL_FAILURE(Install());
        InstalledProduct& p = *product_;
        ASSERT_NO_FATAL_FAILURE(Release());  // WM_CLOSE, restarted, the default wait
        const DWORD pid = p.StartProduct(c.productArgs);
        ASSERT_NE(pid, 0u);

        StartAgent();
        ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
        EXPECT_TRUE(trace_.Contains(" ShutDownProduct: was running, not running after")) << trace_.Text();
        EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000))
            << p.RunLogText();
        EXPECT_EQ(p.InstalledVersion(), "2");
        EXPECT_FALSE(Exists(UpdateFileInFolder()));
        // Started again: a new process of the product's own file, at version 2.
        ASSERT_TRUE(WaitUntil([&] { return ProductLog().size() == 3; }, 10000))
            << ReadWholeFile(p.ProductLog()) << p.RunLogText();
        const DWORD again = p.ProductPid();
        EXPECT_NE(again, 0u);
        EXPECT_NE(again, pid);
        const std::vector<std::string> expected = {StartLine(pid, 1), "closed pid=" + std::to_string(pid),
                                                   StartLine(again, 2)};
        EXPECT_EQ(ProductLog(), expected) << p.RunLogText();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, SlowProduct,
    ::testing::Values(SlowCase{"SavesForThreeSecondsAfterClose", "--close-ms 3000", 3},
                      SlowCase{"ProcessOutlivesItsWindow", "--linger-ms 1500", 1}),
    [](const ::testing::TestParamInfo<SlowCase>& i) { return std::string(i.param.name); });

// How often needle occurs in text.
size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

TEST_F(AutoUpdate, ProductThatDoesNotEndInTimeIsNotUpdatedAndTheNextShotTriesAgain) {
    ProductOptions options;
    options.probeSecondsInterval = 15;  // a second shot in the same run
    ASSERT_NO_FATAL_FAILURE(Install(options));
    InstalledProduct& p = *product_;
    ASSERT_NO_FATAL_FAILURE(Release([](UpdateInfo& i) { i.shutDownWaitSeconds = 2; }));
    const DWORD pid = p.StartProduct("--close-ms 7000");  // ends about 7 s after WM_CLOSE
    ASSERT_NE(pid, 0u);

    StartAgent();
    const std::string shotEnd = " ==== PerformAutoUpdate-13 ====";
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_TRUE(trace_.Contains(" ShutDownProduct: was running, still running after")) << trace_.Text();
    EXPECT_NE(p.RunLogText().find("Shut Down Process() - product still running, update not run"), std::string::npos)
        << p.RunLogText();
    EXPECT_FALSE(trace_.Contains(" ==== PerformAutoUpdate-10 ===="));  // the update was not started
    EXPECT_EQ(p.InstalledVersion(), "1");
    EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "1");
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
    EXPECT_EQ(p.ProductPid(), pid);  // still saving

    // It ends by itself and is not started by the agent; the next shot updates it.
    ASSERT_TRUE(WaitUntil([&] { return p.ProductPid() == 0; }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return Count(trace_.Text(), shotEnd) >= 2 || !CopyRuns(); }, 40000))
        << trace_.Text();
    ASSERT_EQ(Count(trace_.Text(), shotEnd), 2u) << trace_.Text() << p.RunLogText();
    EXPECT_TRUE(trace_.Contains(" ShutDownProduct: was not running, not running after")) << trace_.Text();
    EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000))
        << p.RunLogText();
    EXPECT_EQ(p.InstalledVersion(), "2");
    Pump(1500);  // a restart would come at once
    const std::vector<std::string> expected = {StartLine(pid, 1), "closed pid=" + std::to_string(pid)};
    EXPECT_EQ(ProductLog(), expected) << p.RunLogText();
}

// ---- Rights: the agent never holds administrator rights; an update that needs them gets its own
// process, which Windows asks for (under Wine every process is elevated and nothing is asked) -------------

ExecutionLevel LevelOfFile(const std::string& path) {
    ExecutionLevel level = ExecutionLevel::HighestAvailable;
    EXPECT_TRUE(ReadImageExecutionLevel(ReadWholeFile(path), level)) << path;
    return level;
}

TEST_F(AutoUpdate, UpdateStartsAsItsOwnProcessOnlyWhenItAsksForAdministratorRights) {
    const struct {
        const char* what;
        ExecutionLevel level;
        const char* decided;
        bool ownProcess;
    } cases[] = {
        {"admin", ExecutionLevel::RequireAdministrator, "requireAdministrator, started own process", true},
        {"user", ExecutionLevel::AsInvoker, "asInvoker, started in-process", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        trace_.Clear();
        ASSERT_NO_FATAL_FAILURE(Install());
        InstalledProduct& p = *product_;
        ASSERT_EQ(p.BuildUpdate(2, "Update.exe", "", c.level), "");
        UpdateInfo info = p.Release(2);
        info.backgroundUpdate = true;
        ASSERT_EQ(p.Publish(info), "");
        EXPECT_EQ(LevelOfFile(p.AgentExe()), ExecutionLevel::AsInvoker);
        StartAgent();
        // The agent's copy of itself is a copy of that image: it asks for nothing more either.
        EXPECT_EQ(LevelOfFile(p.AgentCopyExe()), ExecutionLevel::AsInvoker);
        ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
        EXPECT_TRUE(trace_.Contains("RunUpdateFile: Update execution level: " + std::string(c.decided))) << trace_.Text();
        // Its own process: the update stub started with the engine's parameters, and its exit code taken.
        const std::string started = "/OriginalInfoFile=\"" + p.InfoFile() + "\" /OriginExe=\"" +
                                    p.AgentCopyExe() + "\" /AutoUpdateProg /hide<";
        EXPECT_EQ(trace_.Contains(started), c.ownProcess) << trace_.Text();
        EXPECT_EQ(trace_.Contains("RunUpdateFile: update process exit code 0"), c.ownProcess) << trace_.Text();
        EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000))
            << p.RunLogText();
        EXPECT_EQ(p.InstalledVersion(), "2");
        EXPECT_FALSE(Exists(UpdateFileInFolder()));
        product_.reset();
    }
}

TEST_F(AutoUpdate, MessageBoxMethodAsksUntilTheUserHasClosedTheProduct) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([](UpdateInfo& i) { i.shutDownMethod = "Issue a Message Box"; });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();

    // Pressing OK with the product still running only brings the notice back.
    Answer({"Please close DemoProduct.exe to go on with the update."}, "&OK");
    Pump(500);
    EXPECT_EQ(p.ProductPid(), pid);
    HWND box = WaitForAgentBox();
    ASSERT_NE(box, nullptr) << trace_.Text();
    PostMessageA(testsupport::FindProcessWindow(pid, "VelnorDemoProduct"), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return p.ProductPid() != pid; }, 10000));
    ASSERT_TRUE(Press(box, "&OK"));

    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
    ASSERT_TRUE(WaitUntil([&] { return ProductLog().size() == 3; }, 10000)) << ReadWholeFile(p.ProductLog());
    EXPECT_EQ(ProductLog()[1], "closed pid=" + std::to_string(pid));
    EXPECT_EQ(ProductLog()[2], StartLine(p.ProductPid(), 2));  // the user closed it: restarted
}

// ---- The client's notifications, and the agent replacing itself --------------------------------------

TEST_F(AutoUpdate, ClientSeesTheWholeUpdateAndAFreshAgentReplacesTheOld) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release();
    ASSERT_NE(p.StartProduct(), 0u);
    // The client starts the agent through the plain agent's registration switch (the copy then
    // idles three ticks before its first shot) and records until the copy's loop has ended.
    testsupport::ScratchFolder out;
    const std::string record = out.File("notes.txt");
    const std::string client = "\"" + BuildTreePath("tools/hostclient/hostclient.exe") + "\" --out \"" + record +
                               "\" --agent \"" + p.AgentExe() + "\" --until 43 --seconds 90";
    ScopedHandle clientProcess = StartProcess(client);
    ASSERT_TRUE(clientProcess.valid());
    ASSERT_TRUE(WaitUntil([&] { return p.AgentCopyPid() != 0; }, 15000)) << trace_.Text();
    const DWORD oldCopy = copyPid_ = p.AgentCopyPid();

    ASSERT_EQ(WaitForSingleObject(clientProcess.get(), 90000), WAIT_OBJECT_0);
    std::vector<std::string> notes = Lines(ReadWholeFile(record));
    ASSERT_FALSE(notes.empty());
    // 50 carries the copy's window handle: whatever it is, it comes first.
    EXPECT_EQ(notes[0].substr(0, 3), "50 ");
    notes.erase(notes.begin());
    const std::vector<std::string> expected = {"51 1125", "40 1", "40 2", "41 1", "41 2",
                                               "42 1",    "42 2", "43 0", "end until"};
    EXPECT_EQ(notes, expected) << p.RunLogText();
    EXPECT_EQ(p.InstalledVersion(), "2");

    // The old copy is gone; a fresh one starts (after the agent's ten-second wait) and runs on.
    EXPECT_TRUE(WaitUntil([&] { return p.AgentCopyPid() != 0 && p.AgentCopyPid() != oldCopy; }, 25000))
        << p.RunLogText();
    HANDLE old = OpenProcess(SYNCHRONIZE, FALSE, oldCopy);
    EXPECT_TRUE(old == nullptr || WaitForSingleObject(old, 0) == WAIT_OBJECT_0);
    if (old) CloseHandle(old);
}

// ---- Questions before the download and the install ----------------------------------------------------

struct QuestionCase {
    const char* name;
    const char* downloadAnswer;
    const char* installAnswer;  // nullptr: not asked
    bool fetched;               // the update file reached the product folder (and stays there)
    bool updated;
};
void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

class Questions : public AutoUpdate, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(Questions, AnswersDecideHowFarTheUpdateGoes) {
    const QuestionCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([](UpdateInfo& i) {
        i.confirmDownload = true;
        i.confirmInstall = true;
    });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();

    HWND box = WaitForAgentBox();
    ASSERT_NE(box, nullptr) << trace_.Text();
    char caption[64] = {};
    GetWindowTextA(box, caption, sizeof caption);
    EXPECT_STREQ(caption, "Update Question");
    EXPECT_NE(BoxText(box).find("A new version of Demo Product is available."), std::string::npos) << BoxText(box);
    EXPECT_NE(BoxText(box).find("You will be asked again before it is installed."), std::string::npos);
    ASSERT_TRUE(Press(box, c.downloadAnswer));
    if (c.installAnswer) Answer({"Install the new version of Demo Product now?"}, c.installAnswer);

    if (c.updated) {
        ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
        EXPECT_EQ(p.InstalledVersion(), "2");
        EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "2");
        EXPECT_FALSE(Exists(UpdateFileInFolder()));
    } else {
        ASSERT_TRUE(WaitForTrace(" ==== PerformShot-2 ====")) << trace_.Text();
        EXPECT_EQ(Exists(UpdateFileInFolder()), c.fetched);
        ExpectUntouched(pid);
        EXPECT_EQ(WaitForAgentBox(1500), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, Questions,
                         ::testing::Values(QuestionCase{"DownloadNo", "&No", nullptr, false, false},
                                           QuestionCase{"InstallNo", "&Yes", "&No", true, false},
                                           QuestionCase{"BothYes", "&Yes", "&Yes", false, true}),
                         [](const ::testing::TestParamInfo<QuestionCase>& i) { return std::string(i.param.name); });

TEST_F(AutoUpdate, ForcedNoticesOfferNoWayOut) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([](UpdateInfo& i) {
        i.confirmDownload = true;
        i.confirmDownloadForce = true;
        i.confirmInstall = true;
        i.confirmInstallForce = true;
    });
    StartAgent();
    for (const char* text : {"It is downloaded now; you will be asked before it is installed.",
                             "The new version of Demo Product is installed now."}) {
        HWND box = WaitForAgentBox();
        ASSERT_NE(box, nullptr) << trace_.Text();
        EXPECT_NE(BoxText(box).find(text), std::string::npos) << BoxText(box);
        EXPECT_FALSE(HasButton(box, "&No"));
        EXPECT_FALSE(HasButton(box, "&Cancel"));
        ASSERT_TRUE(Press(box, "&OK"));
    }
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
}

// ---- When a version is offered again ------------------------------------------------------------------

TEST_F(AutoUpdate, SameStampIsNotOfferedAgainButANewOneIs) {
    ProductOptions o;
    o.probeSecondsInterval = 1;      // a shot every tick or two
    o.reAskSecondsInterval = 86400;  // not again by time within this run
    ASSERT_NO_FATAL_FAILURE(Install(o));
    InstalledProduct& p = *product_;
    Release([](UpdateInfo& i) { i.confirmDownload = true; });
    StartAgent();
    Answer({"A new version of Demo Product is available."}, "&No");
    EXPECT_EQ(p.Setting("OriginalSetup", "Stamp"), p.ServerInfo("NewSetup", "Stamp"));

    // Later shots see the same stamp: too early, no question.
    trace_.Clear();
    ASSERT_TRUE(WaitForDecision(2, 15000)) << trace_.Text();
    EXPECT_EQ(WaitForAgentBox(2500), nullptr);
    EXPECT_FALSE(trace_.Contains(" GetOkToPerformAU=6"));

    // A new publication of the same version is offered at the next shot.
    Release([](UpdateInfo& i) { i.confirmDownload = true; });
    Answer({"A new version of Demo Product is available."}, "&No");
    EXPECT_EQ(p.InstalledVersion(), "1");
}

TEST_F(AutoUpdate, SameStampIsOfferedAgainOnceTheReAskTimeHasPassed) {
    ProductOptions o;
    o.probeSecondsInterval = 1;
    o.reAskSecondsInterval = 4;
    ASSERT_NO_FATAL_FAILURE(Install(o));
    Release([](UpdateInfo& i) { i.confirmDownload = true; });
    StartAgent();
    Answer({"A new version of Demo Product is available."}, "&No");
    const DWORD first = GetTickCount();
    trace_.Clear();
    Answer({"A new version of Demo Product is available."}, "&No");
    EXPECT_GE(GetTickCount() - first, 3000u);  // the re-ask time in whole seconds, after the first
    EXPECT_TRUE(trace_.Contains(" GetOkToPerformAU=2")) << trace_.Text();
}

// ---- Decisions and checks that stop the update --------------------------------------------------------

struct StopCase {
    const char* name;
    int code;  // reason code of the decision
    std::function<void(InstalledProduct&)> change;
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class Refused : public AutoUpdate, public ::testing::WithParamInterface<StopCase> {};

TEST_P(Refused, NothingIsDownloaded) {
    const StopCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release();
    c.change(p);
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForDecision(c.code)) << trace_.Text();
    Pump(1500);
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-4"));
    ExpectUntouched(pid);
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, Refused,
    ::testing::Values(
        StopCase{"ValidVersionsMismatch", 4,
                 [](InstalledProduct& p) { p.SetServerInfo("NewSetup", "ValidVersions", "5,6"); }},
        StopCase{"SizeMismatch", 5,
                 [](InstalledProduct& p) {
                     const long size = std::stol(p.ServerInfo("NewSetup", "SizeOfUpdateFile"));
                     p.SetServerInfo("NewSetup", "SizeOfUpdateFile", std::to_string(size + 100));
                 }},
        StopCase{"NotNewer", 3, [](InstalledProduct& p) { p.SetServerInfo("NewSetup", "VersionNew", "1"); }}),
    [](const ::testing::TestParamInfo<StopCase>& i) { return std::string(i.param.name); });

struct RejectCase {
    const char* name;
    const char* boxText;
    std::function<void(InstalledProduct&)> swap;  // what the server holds instead of the published file
};
void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name; }

class Rejected : public AutoUpdate, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(Rejected, FetchedFileIsDeletedAndNothingIsShutDown) {
    const RejectCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release();
    c.swap(p);
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    HWND box = WaitForAgentBox();
    ASSERT_NE(box, nullptr) << trace_.Text();
    EXPECT_NE(BoxText(box).find(c.boxText), std::string::npos) << BoxText(box);
    char caption[64] = {};
    GetWindowTextA(box, caption, sizeof caption);
    EXPECT_STREQ(caption, "Update Error");
    EXPECT_FALSE(Exists(UpdateFileInFolder()));  // deleted while the box shows
    ASSERT_TRUE(Press(box, "&OK"));
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-7"));
    ExpectUntouched(pid);
    EXPECT_NE(p.RunLogText().find("ERROR: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, Rejected,
    ::testing::Values(
        // Another product's package; the update-info file names no SHA-256, as older ones do.
        RejectCase{"Token", "Bad Secret Token!",
                   [](InstalledProduct& p) {
                       ASSERT_EQ(p.BuildUpdate(2, "Update.exe", "Another-Product"), "");
                       p.SetServerInfo("NewSetup", "SHA256OfUpdateFile", "");
                   }},
        // A package of this product, but not the published one.
        RejectCase{"Sha256", "altered",
                   [](InstalledProduct& p) { ASSERT_EQ(p.BuildUpdate(3), ""); }}),
    [](const ::testing::TestParamInfo<RejectCase>& i) { return std::string(i.param.name); });

// ---- Inform mode ------------------------------------------------------------------------------------

BOOL CALLBACK FindRichEdit(HWND w, LPARAM lp) {
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpiA(cls, "RICHEDIT") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lp) = w;
    return FALSE;
}

TEST_F(AutoUpdate, InformModeShowsTheAnnouncementAndRecordsTheVersion) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    ASSERT_EQ(p.BuildUpdate(2), "");
    UpdateInfo info = p.Release(2);
    info.downloadUrlInform = "https://example.invalid/demo-product/download";
    ASSERT_EQ(p.Publish(info, "Update.exe", "Welcome to version 2 of the demo product"), "");
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();

    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = testsupport::FindProcessWindow(copyPid_, "VRichEditBox")) != nullptr; },
                          kShotLimitMs))
        << trace_.Text();
    Pump(500);
    char caption[64] = {};
    GetWindowTextA(box, caption, sizeof caption);
    EXPECT_STREQ(caption, "New Version");
    HWND edit = nullptr;
    EnumChildWindows(box, FindRichEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr);
    char text[512] = {};
    SendMessageA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Welcome to version 2 of the demo product");
    EXPECT_TRUE(HasButton(box, "Download"));
    EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "1");  // not before the box has closed

    // The button opens the download address in the browser (a recording stand-in) and closes the box.
    testsupport::ScratchFolder out;
    testsupport::UrlHandler browser(testsupport::UrlRecorderPath(), out.File("opened.txt"));
    ASSERT_TRUE(browser.Registered());
    ASSERT_TRUE(Press(box, "Download"));
    EXPECT_EQ(browser.Opened(1, 10000), std::vector<std::string>{info.downloadUrlInform});
    EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000));
    EXPECT_EQ(p.InstalledVersion(), "1");  // announced, not installed
    EXPECT_EQ(p.ProductPid(), pid);
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
}

// ---- Interactive check --------------------------------------------------------------------------------

TEST_F(AutoUpdate, InteractiveCheckAsksFirstAndSaysWhenThereIsNoUpdate) {
    ProductOptions o;
    o.probeSecondsInterval = -1;  // no timed shots: only the requests make one
    ASSERT_NO_FATAL_FAILURE(Install(o));
    InstalledProduct& p = *product_;
    ASSERT_EQ(p.BuildUpdate(1), "");
    ASSERT_EQ(p.Publish(p.Release(1)), "");  // the server has the installed version
    StartAgent("/DELAY=60");
    ASSERT_EQ(p.RunAgent("/TEST=2"), 0);
    Answer({"Check for a new version of Demo Product now?", "The update location is on the Internet.", "Go on?"},
           "&Yes");
    Answer({"No new version is available."}, "&OK");
    EXPECT_TRUE(WaitForDecision(3, 5000)) << trace_.Text();

    // Asked again and answered No: no shot.
    trace_.Clear();
    ASSERT_EQ(p.RunAgent("/TEST=2"), 0);
    Answer({"Check for a new version of Demo Product now?"}, "&No");
    Pump(2500);
    EXPECT_FALSE(trace_.Contains("GetOkToPerformAU")) << trace_.Text();
    EXPECT_EQ(WaitForAgentBox(500), nullptr);
}

TEST_F(AutoUpdate, InteractiveCheckUpdatesWithoutItsQuestionsAndShowsTheFinish) {
    ProductOptions o;
    o.probeSecondsInterval = -1;
    ASSERT_NO_FATAL_FAILURE(Install(o));
    InstalledProduct& p = *product_;
    // The questions are for timed updates; the user who asked for the check is not asked again.
    Release([](UpdateInfo& i) {
        i.confirmDownload = true;
        i.confirmInstall = true;
    });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent("/DELAY=60");
    ASSERT_EQ(p.RunAgent("/TEST=2"), 0);
    Answer({"Check for a new version of Demo Product now?"}, "&Yes");
    Answer({"Demo Product has been updated.", "Start it again?"}, "&Yes");
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
    ASSERT_TRUE(WaitUntil([&] { return ProductLog().size() == 3; }, 10000)) << ReadWholeFile(p.ProductLog());
    EXPECT_EQ(ProductLog()[1], "closed pid=" + std::to_string(pid));
    EXPECT_EQ(ProductLog()[2], StartLine(p.ProductPid(), 2));
}

// ---- Ending the agent ---------------------------------------------------------------------------------

int LastTimerCount(const std::string& trace) {
    const std::string key = " AutoUpdateTimerCount=";
    const size_t at = trace.rfind(key);
    return at == std::string::npos ? -1000 : std::atoi(trace.c_str() + at + key.size());
}

TEST_F(AutoUpdate, ShutDownRequestEndsTheAgentOnTheThirdTickAndTheCopyDeletesItself) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    StartAgent("/DELAY=60");
    const HWND agent = testsupport::WaitForWindowOfClass(p.AgentCopyClass(), 10000);
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(trace_.WaitFor(" AutoUpdateTimerCount=-58", 10000)) << trace_.Text();
    // Sent: every tick before the request has been traced when it returns.
    DWORD_PTR result = 1;
    ASSERT_TRUE(SendMessageTimeoutA(agent, 1125, 30, 2, SMTO_NORMAL, 10000, &result));  // request 30, countdown 2
    EXPECT_EQ(result, 0u);
    const int before = LastTimerCount(trace_.Text());
    ASSERT_TRUE(WaitUntil([&] { return p.AgentCopyPid() == 0; }, 10000));
    EXPECT_EQ(LastTimerCount(trace_.Text()), before + 3) << trace_.Text();
    EXPECT_TRUE(WaitUntil([&] { return !Exists(p.AgentCopyExe()); }, 5000));

    // Through the plain agent's switch: a copy that runs ends within a few ticks.
    StartAgent("/DELAY=60");
    ASSERT_TRUE(trace_.WaitFor(" AutoUpdateTimerCount=-58", 10000)) << trace_.Text();
    const DWORD asked = GetTickCount();
    ASSERT_EQ(p.RunAgent("/STOP=1"), 0);
    ASSERT_TRUE(WaitUntil([&] { return p.AgentCopyPid() == 0; }, 10000));
    EXPECT_LT(GetTickCount() - asked, 6000u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(p.AgentCopyExe()); }, 5000));
}

// ---- Test mode ----------------------------------------------------------------------------------------

TEST_F(AutoUpdate, TestModeOfTodayFetchesFromTheTestFolder) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;  // its update location (nginx) holds nothing
    // The test folder: a drive folder with the update and its update-info file.
    testsupport::ScratchFolder testFolder;
    ASSERT_EQ(p.BuildUpdate(2), "");
    ASSERT_EQ(p.Publish(p.Release(2)), "");
    for (const char* name : {"Update.exe", "Product.info"})
        ASSERT_TRUE(MoveFileA((p.ServerFolder() + "\\" + name).c_str(), testFolder.File(name).c_str()));

    {
        TestModeValues yesterday("1", DateText(1), testFolder.Path());
        StartAgent();
        ASSERT_TRUE(WaitForDecision(0)) << trace_.Text();  // nothing at the update location
        p.EndAll();
    }
    trace_.Clear();
    TestModeValues today("1", DateText(0), testFolder.Path());
    StartAgent();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
    EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "2");
}

TEST_F(AutoUpdate, UpdateFileThatCannotBeHadEndsTheShotWithoutABox) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    // A test folder whose update-info file passes the decision (a missing file's size counts as
    // -1) but holds no update file; test mode never goes to HTTP.
    testsupport::ScratchFolder testFolder;
    ASSERT_EQ(p.BuildUpdate(2), "");
    ASSERT_EQ(p.Publish(p.Release(2)), "");
    ASSERT_TRUE(MoveFileA(p.ServerInfoFile().c_str(), testFolder.File("Product.info").c_str()));
    WritePrivateProfileStringA("NewSetup", "SizeOfUpdateFile", "-1", testFolder.File("Product.info").c_str());
    TestModeValues today("1", DateText(0), testFolder.Path());
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForDecision(6)) << trace_.Text();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(WaitForAgentBox(1500), nullptr);
    EXPECT_NE(p.RunLogText().find("Download: nothing fetched"), std::string::npos) << p.RunLogText();
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-7"));
    ExpectUntouched(pid);
}

// An engine that reports success and then fails has not installed the update: the new version is
// not recorded.
TEST_F(AutoUpdate, EngineThatReportsSuccessAndThenFailsRecordsNoNewVersion) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release();
    SetEnvironmentVariableA("VEL_ENGINE_EXIT", "1");  // inherited by the agent and its engine
    struct Reset {
        ~Reset() { SetEnvironmentVariableA("VEL_ENGINE_EXIT", nullptr); }
    } reset;
    StartAgent();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    Pump(1500);
    EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "1") << p.RunLogText();
}


// ---- Signed update-info files ---------------------------------------------------------------------------

// A key pair with a fixed seed: the private key file for publishing and the hex the agent carries.
struct TestKey {
    Ed25519Seed seed;
    std::string file;
    std::string hex;
};
TestKey MakeKey(const testsupport::ScratchFolder& dir, const std::string& name, uint8_t fill) {
    TestKey k;
    for (size_t i = 0; i < k.seed.size(); ++i) k.seed[i] = static_cast<uint8_t>(fill + 13 * i);
    k.file = dir.File(name + ".key");
    testsupport::WriteWholeFile(k.file, PrivateKeyPem(k.seed));
    k.hex = UpdateKeyHex(Ed25519PublicKey(k.seed));
    return k;
}

class SignedInfo : public AutoUpdate {
protected:
    // The product whose agent carries our key (version 1), and version 2 built.
    void InstallWithKey(int64_t probeSecondsInterval = 0) {
        ProductOptions o;
        o.updateKey = ours_.hex;
        o.probeSecondsInterval = probeSecondsInterval;
        ASSERT_NO_FATAL_FAILURE(Install(o));
        ASSERT_EQ(product_->BuildUpdate(2), "");
    }
    void ChangeServerInfo(const std::function<std::string(std::string)>& change) const {
        const std::string path = product_->ServerInfoFile();
        ASSERT_TRUE(testsupport::WriteWholeFile(path, change(ReadWholeFile(path))));
    }

    testsupport::ScratchFolder keys_;
    TestKey ours_ = MakeKey(keys_, "ours", 1), theirs_ = MakeKey(keys_, "theirs", 2);
};

TEST_F(SignedInfo, AgentWithAKeyTakesAProperlySignedUpdateAndKeepsOnlyTheBody) {
    ASSERT_NO_FATAL_FAILURE(InstallWithKey());
    InstalledProduct& p = *product_;
    ASSERT_EQ(p.Publish(p.Release(2), "Update.exe", "", testsupport::Signing{ours_.file}), "");
    const std::string published = ReadWholeFile(p.ServerInfoFile());
    ASSERT_EQ(published.compare(0, 12, "; signature "), 0);
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
    EXPECT_EQ(p.Setting("OriginalSetup", "VersionOriginal"), "2");
    EXPECT_EQ(ReadWholeFile(p.InfoFile()), published.substr(published.find("\r\n") + 2));
    EXPECT_EQ(p.RunLogText().find("refused"), std::string::npos) << p.RunLogText();
}

struct SignatureCase {
    const char* name;
    const char* reason;  // the run log's "ERROR: update-info file refused: " line goes on with this
    bool testFolder;     // fetched in test mode from a drive folder instead of nginx
    std::function<void(InstalledProduct&, const TestKey& ours, const TestKey& theirs)> publish;
};
void PrintTo(const SignatureCase& c, std::ostream* os) { *os << c.name; }

class SignatureRefused : public SignedInfo, public ::testing::WithParamInterface<SignatureCase> {};

// What a man in the middle (or a stale or damaged file) offers: the product's token, which is no
// secret, the SHA-256 of his own package, a higher version and a background update.
UpdateInfo Intruders(const InstalledProduct& p) {
    UpdateInfo info = p.Release(5);
    info.backgroundUpdate = true;
    return info;
}

TEST_P(SignatureRefused, NothingOfTheFileIsKeptAndNothingRuns) {
    const SignatureCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(InstallWithKey());
    InstalledProduct& p = *product_;
    ASSERT_NO_FATAL_FAILURE(c.publish(p, ours_, theirs_));
    testsupport::ScratchFolder testFolder;
    std::unique_ptr<TestModeValues> testMode;
    if (c.testFolder) {
        for (const char* name : {"Update.exe", "Product.info"})
            ASSERT_TRUE(MoveFileA((p.ServerFolder() + "\\" + name).c_str(), testFolder.File(name).c_str()));
        testMode = std::make_unique<TestModeValues>("1", DateText(0), testFolder.Path());
    }
    ASSERT_TRUE(testsupport::WriteWholeFile(p.InfoFile(), "[NewSetup]\r\nVersionNew=7\r\n"));  // an earlier fetch
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForDecision(0)) << trace_.Text();  // as if nothing had been fetched
    Pump(1500);
    EXPECT_NE(p.RunLogText().find(std::string("ERROR: update-info file refused: ") + c.reason), std::string::npos)
        << p.RunLogText();
    EXPECT_TRUE(trace_.Contains("update-info file refused: " + std::string(c.reason))) << trace_.Text();
    EXPECT_EQ(ReadWholeFile(p.InfoFile()), "");
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-4"));
    EXPECT_EQ(WaitForAgentBox(500), nullptr);  // a timed check says nothing
    ExpectUntouched(pid);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SignatureRefused,
    ::testing::Values(
        SignatureCase{"Unsigned", "unsigned", false,
                      [](InstalledProduct& p, const TestKey&, const TestKey&) {
                          ASSERT_EQ(p.Publish(Intruders(p)), "");
                      }},
        SignatureCase{"OtherKey", "signed by another key", false,
                      [](InstalledProduct& p, const TestKey&, const TestKey& theirs) {
                          ASSERT_EQ(p.Publish(Intruders(p), "Update.exe", "", testsupport::Signing{theirs.file}), "");
                      }},
        SignatureCase{"Expired", "expired at ", false,
                      [](InstalledProduct& p, const TestKey& ours, const TestKey&) {
                          const int64_t twoDaysAgo = int64_t(time(nullptr)) - 2 * 86400;
                          ASSERT_EQ(p.Publish(p.Release(2), "Update.exe", "",
                                              testsupport::Signing{ours.file, 1, twoDaysAgo}),
                                    "");
                      }},
        SignatureCase{"Tampered", "bad signature", false,
                      [](InstalledProduct& p, const TestKey& ours, const TestKey&) {
                          ASSERT_EQ(p.Publish(p.Release(2), "Update.exe", "", testsupport::Signing{ours.file}), "");
                          std::string text = ReadWholeFile(p.ServerInfoFile());
                          const size_t at = text.find("BackgroundUpdate=0");
                          ASSERT_NE(at, std::string::npos);
                          text[at + 17] = '1';
                          ASSERT_TRUE(testsupport::WriteWholeFile(p.ServerInfoFile(), text));
                      }},
        SignatureCase{"UnsignedInTheTestFolder", "unsigned", true,
                      [](InstalledProduct& p, const TestKey&, const TestKey&) {
                          ASSERT_EQ(p.Publish(p.Release(2)), "");
                      }}),
    [](const ::testing::TestParamInfo<SignatureCase>& i) { return std::string(i.param.name); });

TEST_F(SignedInfo, InteractiveCheckShowsWhyTheFileWasRefused) {
    ASSERT_NO_FATAL_FAILURE(InstallWithKey(-1));  // no timed shots: only the request makes one
    InstalledProduct& p = *product_;
    ASSERT_EQ(p.Publish(Intruders(p), "Update.exe", "", testsupport::Signing{theirs_.file}), "");
    StartAgent("/DELAY=60");
    ASSERT_EQ(p.RunAgent("/TEST=2"), 0);
    Answer({"Check for a new version of Demo Product now?"}, "&Yes");
    Answer({"was refused: signed by another key (" + UpdateKeyId(Ed25519PublicKey(theirs_.seed)) + ", expected " +
            UpdateKeyId(Ed25519PublicKey(ours_.seed)) + ")"},
           "&OK");
    EXPECT_TRUE(WaitForDecision(0, 5000)) << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "1");
}

// With a key, the update file is trusted only through the hash of the signed file: a signed file
// that names none is no licence to run whatever the location holds.
TEST_F(SignedInfo, SignedFileWithoutTheUpdatesHashIsNotUsed) {
    ASSERT_NO_FATAL_FAILURE(InstallWithKey());
    InstalledProduct& p = *product_;
    ASSERT_EQ(p.Publish(p.Release(2)), "");
    ChangeServerInfo([&](std::string text) {
        const size_t at = text.find("SHA256OfUpdateFile=");
        text.erase(at, text.find("\r\n", at) + 2 - at);
        return SignUpdateInfo(text, ours_.seed, 0);
    });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    Answer({"names no SHA-256 of Update.exe"}, "&OK");
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_FALSE(Exists(UpdateFileInFolder()));
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-7"));
    ExpectUntouched(pid);
}

// ---- Broken connections: the update and the update-info file through the cutting relay ----------

// The update location's folder on nginx reached through the relay, broken as the cut plan says.
std::string RelayLocation(const InstalledProduct& p, const std::string& plan) {
    return testsupport::RelayUrl("/cut/" + plan + p.Location().substr(testsupport::HttpUrl("").size()));
}
// What the relay counted for a file of that location.
testsupport::RelayCounts RelayCountsFor(const InstalledProduct& p, const std::string& plan, const std::string& name) {
    return testsupport::RelayCountsOf(plan + p.Location().substr(testsupport::HttpUrl("").size()) + "/" + name);
}

// Files of the product folder that a fetch makes: the update file and the update-info file under
// their own or temporary names (the fetched update-info copy itself stays).
std::vector<std::string> FetchLeftovers(const InstalledProduct& p) {
    std::vector<std::string> found;
    for (const std::string& name : testsupport::FolderNames(p.Folder()))
        if (name.rfind("Update.exe", 0) == 0 || name.rfind(p.Options().infoName + ".", 0) == 0) found.push_back(name);
    return found;
}

struct DropCase {
    const char* name;
    const char* plan;
};
void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class BrokenUpdateDownload : public AutoUpdate, public ::testing::WithParamInterface<DropCase> {};

TEST_P(BrokenUpdateDownload, IsResumedAndTheUpdateRuns) {
    const DropCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([&](UpdateInfo& i) { i.downloadUrlUpdate = RelayLocation(p, c.plan); });
    const double size = double(ReadWholeFile(p.ServerFolder() + "\\Update.exe").size());
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);

    StartAgent();
    ASSERT_TRUE(WaitForUpdateEnd()) << trace_.Text();
    EXPECT_TRUE(WaitUntil([&] { return p.Setting("OriginalSetup", "VersionOriginal") == "2"; }, 10000))
        << p.RunLogText() << trace_.Text();
    EXPECT_EQ(p.InstalledVersion(), "2");
    const testsupport::RelayCounts n = RelayCountsFor(p, c.plan, "Update.exe");
    EXPECT_EQ(n.cuts, 1) << "the relay did not break the download";
    EXPECT_LE(double(n.body), 1.05 * size) << "resumed, not fetched again";
    EXPECT_EQ(FetchLeftovers(p), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Drops, BrokenUpdateDownload,
                         ::testing::Values(DropCase{"At30Percent", "30p"}, DropCase{"At95Percent", "95p"}),
                         [](const ::testing::TestParamInfo<DropCase>& i) { return std::string(i.param.name); });

// An update-info reply that never ends is cut at its bound (1 MiB): the shot ends with nothing
// fetched, the product runs on at version 1, and nothing of the reply stays beyond the bound.
TEST_F(AutoUpdate, EndlessUpdateInfoReplyEndsTheShotAtItsBound) {
    ProductOptions options;
    options.infoRelayPlan = "endless";
    ASSERT_NO_FATAL_FAILURE(Install(options));
    InstalledProduct& p = *product_;
    Release();
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForDecision(0)) << "the fetch did not end; trace:\n" << trace_.Text();
    EXPECT_TRUE(trace_.Contains(" HTTP_DownloadFile_Incremental: ") &&
                trace_.Contains("the server sends more than the 1048576 bytes expected"))
        << trace_.Text();
    EXPECT_TRUE(CopyRuns()) << "the agent copy should live on";
    const testsupport::RelayCounts n = testsupport::RelayCountsOf(
        "endless" + p.Location().substr(testsupport::HttpUrl("").size()) + "/" + p.Options().infoName);
    EXPECT_GE(n.requests, 1) << "the fetch did not go through the relay";
    Pump(1500);
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-4"));
    EXPECT_LE(ReadWholeFile(p.InfoFile()).size(), 1u << 20);
    EXPECT_EQ(FetchLeftovers(p), std::vector<std::string>());
    ExpectUntouched(pid);
}

// An update download whose reply stalls (headers, then silence) fails at the stall deadline: no
// update runs, the product is not shut down, nothing of the download stays.
TEST_F(AutoUpdate, StalledUpdateDownloadFailsAndNothingIsShutDown) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([&](UpdateInfo& i) { i.downloadUrlUpdate = RelayLocation(p, "0,stall"); });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForTrace(" ==== PerformAutoUpdate-4 ====")) << trace_.Text();
    ASSERT_TRUE(WaitForUpdateEnd(120000)) << "not ended within 60 s of silence and a margin; trace:\n"
                                          << trace_.Text();
    EXPECT_TRUE(trace_.Contains(" HTTP_DownloadFile_Incremental: Update.exe --- ") &&
                trace_.Contains("the server sent nothing for 60 seconds"))
        << trace_.Text();
    EXPECT_EQ(RelayCountsFor(p, "0,stall", "Update.exe").cuts, 1) << "the relay did not stall the reply";
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-7"));
    EXPECT_EQ(FetchLeftovers(p), std::vector<std::string>());
    ExpectUntouched(pid);
}

// A stop request ("/STOP=0" through the plain agent) while the update download waits on a silent
// server: the download ends within a second, nothing of it stays, and the agent copy ends.
TEST_F(AutoUpdate, StopRequestEndsASilentUpdateDownloadWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(Install());
    InstalledProduct& p = *product_;
    Release([&](UpdateInfo& i) { i.downloadUrlUpdate = RelayLocation(p, "0,stall"); });
    const DWORD pid = p.StartProduct();
    ASSERT_NE(pid, 0u);
    StartAgent();
    ASSERT_TRUE(WaitForTrace(" ==== PerformAutoUpdate-6 ====")) << trace_.Text();
    Pump(2000);  // the reply's headers have come, then nothing
    ASSERT_FALSE(trace_.Contains(" HTTP_DownloadFile_Incremental: ")) << trace_.Text();
    ASSERT_EQ(p.RunAgent("/STOP=0"), 0);
    const DWORD asked = GetTickCount();
    ASSERT_TRUE(trace_.WaitFor(" HTTP_DownloadFile_Incremental: Download Aborted", 10000)) << trace_.Text();
    EXPECT_LT(GetTickCount() - asked, 1000u) << trace_.Text();
    EXPECT_TRUE(WaitUntil([&] { return p.AgentCopyPid() == 0; }, 10000));
    EXPECT_FALSE(trace_.Contains("PerformAutoUpdate-7"));
    EXPECT_EQ(FetchLeftovers(p), std::vector<std::string>());
    ExpectUntouched(pid);
}

}  // namespace
}  // namespace vel
