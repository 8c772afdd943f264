#include "stub/LaunchLine.h"

#include <gtest/gtest.h>

namespace vel {
namespace {

TEST(FormatSpaceMB, DecimalsFollowTheSize) {
    const struct { double bytes; const char* text; } cases[] = {
        {0, "0.000"},
        {-5000, "0.000"},
        {1536000, "1.46"},
        {512 * 1024.0, "0.500"},
        {1048576, "1.00"},
        {10 * 1048576.0, "10.00"},
        {10.5 * 1048576, "10.5"},
        {20 * 1048576.0, "20.0"},
        {5000.0 * 1048576, "5000.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSpaceMB(c.bytes), c.text) << c.bytes;
}

TEST(RemoveSwitch, RemovesSwitchValueAndBlankButKeepsNextSwitch) {
    const struct { const char* in; const char* sw; const char* out; } cases[] = {
        {"a /SpanCdLvl=2 /x", "/SpanCdLvl=", "a /x"},
        {"a /SpanCdLvl=2", "/SpanCdLvl=", "a "},
        {"/SpanCdLvl=2 /x", "/SpanCdLvl=", "/x"},
        {"a /spancdlvl=2 /x", "/SpanCdLvl=", "a /spancdlvl=2 /x"},  // exact letter case only
        {"a /x", "/SpanCdLvl=", "a /x"},
        {"a /S=1 /b /S=2 /c", "/S=", "a /b /c"},                      // every occurrence
        {"a /F=\"C:/dir/x.exe.001\" /y", "/F=", "a /y"},              // quoted value holding "/"
        {"a /F=\"unclosed /y", "/F=", "a "},
    };
    for (const auto& c : cases) EXPECT_EQ(RemoveSwitch(c.in, c.sw), c.out) << c.in;
}

TEST(EngineNames, TokenAtomAndDialogClass) {
    EXPECT_EQ(ThreadToken(4242), "_4242");
    EXPECT_EQ(EngineAtomName("_7"), "AutoUpdateAtomTokenByVelnor_7");
    EXPECT_EQ(EngineDialogClass("_7"), ".SDialog_Class_Name._7");
    EXPECT_EQ(RunSpecProgram(" Engine.exe * /x "), "Engine.exe");
    EXPECT_EQ(RunSpecParams(" Engine.exe * /x "), "/x");
    EXPECT_EQ(RunSpecParams("Engine.exe"), "");
}

TEST(BuildEngineCommandLine, Cases) {
    const std::string own = "C:\\dl\\setup.exe";
    const std::string origin = " /OriginExe=\"C:\\dl\\setup.exe\"";
    const struct {
        const char* folder; const char* runSpec; const char* extra; bool agent; std::string expected;
    } cases[] = {
        {"C:\\T\\SETUP_1", "Engine.exe*/x", "/y", false,
         "C:\\T\\SETUP_1\\Engine.exe /y /x /TH_ID=_12" + origin},
        {"C:\\T\\SETUP_1\\", "Engine.exe", "", false, "C:\\T\\SETUP_1\\Engine.exe /TH_ID=_12" + origin},
        {"C:\\T", " Engine.exe * ", "  ", false, "C:\\T\\Engine.exe /TH_ID=_12" + origin},
        {"C:\\T", "Engine.exe*", "/a", true, "C:\\T\\Engine.exe /a /TH_ID=_12" + origin + " /AutoUpdateProg"},
        // the span copy already passes its origin: no second one
        {"C:\\T", "Engine.exe", "/OriginExe=\"D:\\s.exe\"", false,
         "C:\\T\\Engine.exe /OriginExe=\"D:\\s.exe\" /TH_ID=_12"},
        // span switches never reach the engine
        {"C:\\T", "Engine.exe*/x", "/q /SpanCdLvl=2 /SpanDiskFName1=\"C:\\dl\\setup.exe.001\" /OriginExe=\"C:\\dl\\setup.exe\"",
         false, "C:\\T\\Engine.exe /q /OriginExe=\"C:\\dl\\setup.exe\" /x /TH_ID=_12"},
    };
    for (const auto& c : cases) {
        EngineLaunch l;
        l.destFolder = c.folder;
        l.runSpec = c.runSpec;
        l.extraParams = c.extra;
        l.threadToken = "_12";
        l.ownPath = own;
        l.isAutoUpdateProg = c.agent;
        EXPECT_EQ(BuildEngineCommandLine(l), c.expected) << c.runSpec << " / " << c.extra;
    }
}

TEST(TempSpaceMessage, PromptOnlyWhenAnnouncedOrShort) {
    const TempSpaceTexts t{"ANN(<DRIVE>)", "LOW(<DRIVE>)", " need <SPACE_REQ>", " free <SPACE_AVAIL>", " ?"};
    const double mb = 1048576;
    const struct { bool announce; double need, free; const char* text; } cases[] = {
        {false, 1 * mb, 20 * mb, ""},
        {true, 1 * mb, 20 * mb, "ANN(C:) need 1.00 free 20.0 ?"},
        {false, 20 * mb, 20 * mb, "LOW(C:) need 20.0 free 20.0 ?"},
        {true, 30 * mb, 0.5 * mb, "LOW(C:) need 30.0 free 0.500 ?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TempSpaceMessage("c:\\temp\\SETUP_1", c.announce, c.need, c.free, t), c.text);
}

// Only an engine that was given our atom, ended with 0 and removed the atom has installed anything.
TEST(EngineRunSucceeded, NeedsOurAtomAnEndedEngineExitZeroAndTheReport) {
    struct Case {
        bool added, ended;
        uint32_t code;
        bool gone, expected;
        const char* what;
    } cases[] = {
        {true, true, 0, true, true, "reported and ended well"},
        {true, true, 0, false, false, "ended well but never reported"},
        {true, true, 1, true, false, "reported, then failed"},
        {true, true, 3010, true, false, "any code but 0 is a failure"},
        {false, true, 0, true, false, "the atom could not be added: its absence says nothing"},
        {true, false, 0, true, false, "the engine never started (no exit code)"},
    };
    for (const Case& c : cases) EXPECT_EQ(EngineRunSucceeded(c.added, c.ended, c.code, c.gone), c.expected) << c.what;
}

TEST(IsUpdateRunLine, AParameterOfItsOwnInAnyCase) {
    EXPECT_TRUE(IsUpdateRunLine("/OriginalInfoFile=\"C:\\P\\p.info\" /OriginExe=\"C:\\P\\Up.exe\" /AutoUpdateProg"));
    EXPECT_TRUE(IsUpdateRunLine("/autoupdateprog /hide"));
    EXPECT_FALSE(IsUpdateRunLine(""));
    EXPECT_FALSE(IsUpdateRunLine("/AutoUpdateProgram"));
    EXPECT_FALSE(IsUpdateRunLine("/x=/AutoUpdateProgX"));
}

}  // namespace
}  // namespace vel
