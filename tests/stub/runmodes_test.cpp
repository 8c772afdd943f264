#include <gtest/gtest.h>

#include "stub/RunModes.h"

using namespace vel;

namespace {

struct BranchCase {
    const char* what;
    const char* ownPath;
    bool agentByte;      // trailer byte 69
    bool spanFlag;       // trailer flag bit 2
    const char* agentName;
    int64_t spanCdLvl;
    bool windowExists;
    StubBranch expected;
};

TEST(RunModes, BranchFromNameTrailerAndSwitches) {
    const BranchCase cases[] = {
        {"plain setup stub", "C:\\dl\\setup.exe", false, false, "", 1, false, StubBranch::RunStubWindow},
        {"second instance of the same file", "C:\\dl\\setup.exe", false, false, "", 1, true, StubBranch::SecondInstance},
        {"plain agent", "C:\\App\\Updater.exe", true, false, "updater.exe", 1, false, StubBranch::CreateAgentCopy},
        {"agent name with blanks", "C:\\App\\Updater.exe", true, false, "  UPDATER.EXE ", 1, false, StubBranch::CreateAgentCopy},
        {"agent copy", "C:\\App\\X_Updater.exe", true, false, "Updater.exe", 1, false, StubBranch::RunAgentCopy},
        {"agent copy, lower-case prefix", "C:\\App\\x_updater.exe", true, false, "Updater.exe", 1, false, StubBranch::RunAgentCopy},
        {"agent name but byte 69 clear", "C:\\App\\Updater.exe", false, false, "Updater.exe", 1, false, StubBranch::RunStubWindow},
        {"agent byte but another name", "C:\\App\\setup.exe", true, false, "Updater.exe", 1, false, StubBranch::RunStubWindow},
        {"span flag, level 1 by default", "D:\\setup.exe", false, true, "", 1, false, StubBranch::StartSpanCopy},
        {"span flag, this is the span copy", "C:\\T\\Y_setup.exe", false, true, "", 2, false, StubBranch::RunStubWindow},
        {"level 1 without the flag", "D:\\setup.exe", false, false, "", 1, false, StubBranch::RunStubWindow},
        {"agent running again while its copy window exists", "C:\\App\\Updater.exe", true, false, "Updater.exe", 1, true, StubBranch::SecondInstance},
    };
    for (const auto& c : cases) {
        RunFacts f;
        f.ownPath = c.ownPath;
        f.isAutoUpdateProg = c.agentByte;
        f.spanCopyFlag = c.spanFlag;
        f.agentName = c.agentName;
        f.spanCdLvl = c.spanCdLvl;
        f.ownWindowExists = c.windowExists;
        EXPECT_EQ(ChooseBranch(f), c.expected) << c.what << " -> " << BranchName(ChooseBranch(f));
    }
    EXPECT_TRUE(IsSpanLevel2(2));
    EXPECT_FALSE(IsSpanLevel2(1));
}

// Only the span copy itself may extract another file and remove its folder: the switches alone,
// which anyone can put on a setup's command line, never make a run the span copy.
TEST(RunModes, SpanCopyRoleNeedsTheFlagTheLevelAndTheCopysName) {
    struct Case {
        bool flag;
        int64_t level;
        const char* path;
        bool expected;
    } cases[] = {
        {true, 2, "C:\\Temp\\SETUP_1\\Y_setup.exe", true},
        {true, 2, "C:\\Temp\\SETUP_1\\y_Setup.EXE", true},
        {false, 2, "C:\\Temp\\SETUP_1\\Y_setup.exe", false},  // package not made for a span copy
        {true, 1, "C:\\Temp\\SETUP_1\\Y_setup.exe", false},
        {true, 2, "C:\\Users\\me\\Downloads\\setup.exe", false},  // the setup the user started
        {true, 2, "C:\\Y_\\setup.exe", false},
        {true, 2, "Y_", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSpanCopyRole(c.flag, c.level, c.path), c.expected) << c.path << " level " << c.level;
}

TEST(RunModes, WindowClassNames) {
    EXPECT_EQ(WindowClassNameFor("C:\\dl\\setup.exe", false), "C:\\dl\\setup.exe");
    EXPECT_EQ(WindowClassNameFor("C:\\App\\X_Updater.exe", true), ".AutoUpdate.X_Updater");
    EXPECT_EQ(WindowClassNameFor("C:\\App\\Up.date.exe", true), ".AutoUpdate.Up.date");
    // The plain agent looks for its copy by the copy's class.
    EXPECT_EQ(AgentCopyClassName("Updater.exe"), ".AutoUpdate.X_Updater");
    EXPECT_EQ(AgentCopyClassName(WindowClassNameFor("C:\\App\\X_Updater.exe", true).substr(14) + ".exe"),
              ".AutoUpdate.X_Updater");
}

// A path longer than a class name may be still gets a class of its own, found again by the same
// path in any letter case; a path that fits is kept as it is.
TEST(RunModes, LongPathsGetAClassNameThatFits) {
    const std::string folder = "C:\\Users\\someone\\Downloads\\" + std::string(200, 'd') + "\\";
    const std::string fits = folder + std::string(255 - folder.size() - 4, 's') + ".exe";
    ASSERT_EQ(fits.size(), 255u);
    EXPECT_EQ(WindowClassNameFor(fits, false), fits);

    const std::string longPath = folder + std::string(256 - folder.size() - 4, 's') + ".exe";
    const std::string cls = WindowClassNameFor(longPath, false);
    EXPECT_LE(cls.size(), kMaxWindowClassName);
    EXPECT_EQ(cls.substr(0, 12), ".VelnorStub.");
    EXPECT_EQ(cls.find_first_not_of("0123456789ABCDEF", 12), std::string::npos) << cls;
    EXPECT_EQ(cls.size(), 28u);

    std::string upper = longPath;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    EXPECT_EQ(WindowClassNameFor(upper, false), cls);
    // Paths that differ in one character anywhere, or only in length, have different classes.
    for (const size_t at : {size_t(0), size_t(40), longPath.size() - 5}) {
        std::string other = longPath;
        other[at] = other[at] == 'x' ? 'y' : 'x';
        EXPECT_NE(WindowClassNameFor(other, false), cls) << at;
    }
    EXPECT_NE(WindowClassNameFor(longPath + "x", false), cls);

    // The agent copy's long name: its own class and the one its plain agent looks for agree.
    const std::string agent = std::string(250, 'a') + ".exe";
    const std::string copyClass = WindowClassNameFor("C:\\App\\X_" + agent, true);
    EXPECT_LE(copyClass.size(), kMaxWindowClassName);
    EXPECT_EQ(AgentCopyClassName(agent), copyClass);
    EXPECT_NE(WindowClassNameFor("C:\\App\\" + agent, true), copyClass);
}

TEST(RunModes, ArgumentsOfTheCopies) {
    EXPECT_EQ(AgentCopyArguments("", ""), "");
    EXPECT_EQ(AgentCopyArguments("|255|1|255|255|255|255|255|255|", "30"),
              " /TRANSIENTx=|255|1|255|255|255|255|255|255| /SleepX=30");
    EXPECT_EQ(AgentCopyArguments("", "5"), " /SleepX=5");
    EXPECT_EQ(SpanCopyArguments("", "D:\\setup.exe"),
              "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\setup.exe.001\" /OriginExe=\"D:\\setup.exe\"");
    EXPECT_EQ(SpanCopyArguments("/lang=de", "D:\\s.exe"),
              "/lang=de /SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\"");
}

TEST(RunModes, AgentStartWaitStaysWithinAMillisecondCount) {
    const struct { int64_t requested, seconds; } cases[] = {
        {0, 0}, {30, 30}, {-5, 0}, {4294967, 4294967}, {4294968, 4294967},
        {INT64_MAX, 4294967},  // times 1000 would overflow
        {INT64_MIN, 0},
    };
    for (const auto& c : cases) {
        const int64_t s = AgentStartWaitSeconds(c.requested);
        EXPECT_EQ(s, c.seconds) << c.requested;
        EXPECT_LE(s * 1000, int64_t(0xFFFFFFFF)) << c.requested;
    }
}

TEST(RunModes, ForwardedRequests) {
    const std::string x = "C:\\App\\X_Updater.exe";
    ParamRequests r;
    r.stop = 0;
    r.wmMsg = "4660:1500";
    r.test = 1;
    auto posts = PlanAgentPosts(r, x, true, false);
    ASSERT_EQ(posts.size(), 4u);
    EXPECT_EQ(posts[0].message, wm_ShutDown);
    EXPECT_EQ(posts[0].wParam, 0);
    EXPECT_EQ(posts[1].message, wm_LocalMsg);
    EXPECT_EQ(posts[1].wParam, 4660);
    EXPECT_EQ(posts[1].lParam, 1500);
    EXPECT_EQ(posts[1].logLine, "PostProcessMessage(wm_LocalMsg) to: " + x + " - :4660:1500:");
    EXPECT_EQ(posts[2].message, wm_AgentMsg);
    EXPECT_EQ(posts[2].wParam, 31);
    EXPECT_EQ(posts[2].lParam, 1);
    EXPECT_EQ(posts[2].logLine, "PostProcessMessage(wm_AgentMsg) to: " + x + " - AU_PerformUpdateCycle (1)");
    // A freshly started copy is told to end soon after the cycle.
    EXPECT_EQ(posts[3].message, wm_ShutDown);
    EXPECT_EQ(posts[3].wParam, 2);

    // The copy ran already: no stop request follows the cycle request.
    EXPECT_EQ(PlanAgentPosts(r, x, true, true).size(), 3u);
    // "/TEST=0": the cycle is requested but never followed by a stop.
    ParamRequests t0;
    t0.test = 0;
    posts = PlanAgentPosts(t0, x, true, false);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].lParam, 0);
    // A single number in "/WM_MSG=": that is wParam, lParam 0.
    ParamRequests one;
    one.wmMsg = "77";
    posts = PlanAgentPosts(one, x, true, true);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].wParam, 77);
    EXPECT_EQ(posts[0].lParam, 0);
    // No agent copy file: requests are dropped.
    EXPECT_TRUE(PlanAgentPosts(r, x, false, false).empty());
    // Nothing asked: nothing posted.
    EXPECT_TRUE(PlanAgentPosts(ParamRequests{}, x, true, false).empty());
}

}  // namespace
