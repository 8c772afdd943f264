// velpack's project files, command-line overrides and commands.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/PackageFixture.h"
#include "support/VelpackFixture.h"
#include "Velpack.h"
#include "package/FileInfo.h"
#include "package/PackageFormat.h"

namespace vel {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

const ProjectKey* Key(const std::string& option) {
    for (const ProjectKey& k : ProjectKeys())
        if (option == k.option) return &k;
    return nullptr;
}

using testsupport::CliRun;
using testsupport::Velpack;

TEST(VelpackProject, FileValuesWithCommandLineOverrides) {
    ScratchFolder dir;
    const std::string project = dir.File("setup.ini");
    ASSERT_TRUE(WriteWholeFile(project,
                               "[Setup]\nStub=stub.exe\nlanguages = lang.ini\nInput=in\nOutput=out/setup.exe\n"
                               "Launch=Engine.exe\nLaunchParams=/silent\nPartSize=2M\nLevel=9\n"
                               "[Settings]\nProductToken=P1\nQuietMode=yes\nAgentName=Agent.exe\n"
                               "[Flags]\nSpanCopy=0\nActivityBar=1\nWriteAgentImage=true\n"
                               "[Web]\nLocation=http://example/dl\nOutput=out/web.exe\nAskBeforeDownload=1\n"));
    ProjectValues values;
    ASSERT_EQ(LoadProject(project, values), "");
    values.overrides = {{Key("--part-size"), "4096"}, {Key("--span-copy"), "1"}, {Key("--input"), "elsewhere"}};
    BuildOptions o;
    WebOptions w;
    ASSERT_EQ(ResolveProject(values, o, w), "");
    EXPECT_EQ(o.stubPath, (fs::path(dir.Path()) / "stub.exe").string());
    EXPECT_EQ(o.languageFile, (fs::path(dir.Path()) / "lang.ini").string());
    EXPECT_EQ(o.inputDir, "elsewhere");  // command-line paths are not moved into the project folder
    EXPECT_EQ(o.output, (fs::path(dir.Path()) / "out/setup.exe").string());
    EXPECT_EQ(o.launch, "Engine.exe");
    EXPECT_EQ(o.launchParams, "/silent");
    EXPECT_EQ(o.partSize, 4096u);
    EXPECT_EQ(o.level, 9);
    EXPECT_EQ(o.productToken, "P1");
    EXPECT_EQ(o.agentName, "Agent.exe");
    EXPECT_TRUE(o.quietMode && o.spanCopy && o.activityBar && o.writeAgentImage);
    EXPECT_FALSE(o.announceExtraction || o.updateAgent || o.agentRunLog);
    EXPECT_EQ(w.location, "http://example/dl");
    EXPECT_EQ(w.output, (fs::path(dir.Path()) / "out/web.exe").string());
    EXPECT_TRUE(w.askBeforeDownload);
    EXPECT_FALSE(w.downloadOnly);
}

TEST(VelpackProject, RefusesWhatItCannotRead) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[Setup]\nStubb=stub.exe\n", "unknown key \"Stubb\""},
        {"[Options]\nStub=stub.exe\n", "unknown section [Options]"},
        {"Stub=stub.exe\n", "keys before the first section"},
        {"[Flags]\nSpanCopy=maybe\n", "is not 0 or 1"},
        {"[Setup]\nPartSize=12Q\n", "is not a size"},
        {"[Setup]\nLevel=12\n", "is not 0..9"},
        {"[Setup]\nExecutionLevel=root\n", "ExecutionLevel): \"root\" is not admin or user"},
        {"[Setup]\nExecutionLevel=requireAdministrator\n", "is not admin or user"},
    };
    ScratchFolder dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(dir.File("p.ini"), c.text));
        ProjectValues values;
        std::string error = LoadProject(dir.File("p.ini"), values);
        BuildOptions o;
        WebOptions w;
        if (error.empty()) error = ResolveProject(values, o, w);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
    }
    ProjectValues values;
    EXPECT_NE(LoadProject(dir.File("none.ini"), values).find("cannot open"), std::string::npos);
}

TEST(VelpackCommands, HelpAndUsageErrors) {
    for (const char* command : {"build", "web", "info", "extract", "token", "inform"}) {
        const CliRun r = Velpack({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: velpack ") + command), std::string::npos) << command;
    }
    EXPECT_NE(Velpack({"build", "--help"}).out.find("--part-size"), std::string::npos);
    EXPECT_NE(Velpack({"web", "--help"}).out.find("--download-token"), std::string::npos);
    EXPECT_NE(Velpack({"build", "--help"}).out.find("--execution-level"), std::string::npos);
    EXPECT_EQ(Velpack({"--help"}).code, 0);
    const struct {
        std::vector<std::string> args;
        const char* error;
    } bad[] = {
        {{}, "no command given"},
        {{"pack"}, "unknown command pack"},
        {{"build", "--no-such-option"}, "unknown option --no-such-option"},
        {{"build", "--web-location=x"}, "unknown option --web-location=x"},  // web options only for "web"
        {{"build", "--stub"}, "--stub needs a value"},
        {{"info"}, "no file given"},
        {{"extract", "only-one"}, "needs a FILE and a DIR"},
        {{"token"}, "no value given"},
        {{"inform", "--token", "T", "--text", "x"}, "no --output given"},
    };
    for (const auto& b : bad) {
        const CliRun r = Velpack(b.args);
        EXPECT_EQ(r.code, 2) << b.error;
        EXPECT_NE(r.err.find(b.error), std::string::npos) << r.err;
    }
}

TEST(VelpackCommands, BuildInfoExtractFromAProjectFile) {
    ScratchFolder dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("stub.exe"), testsupport::FakeStampedImage(2048)));
    ASSERT_TRUE(WriteWholeFile(dir.File("lang.ini"), "[English]\ns0=Test\n"));
    fs::create_directories(dir.File("in/bin"));
    fs::create_directories(dir.File("out"));
    ASSERT_TRUE(WriteWholeFile(dir.File("in/bin/Engine.exe"), "engine"));
    ASSERT_TRUE(WriteWholeFile(dir.File("in/readme.txt"), std::string(5000, 'r')));
    ASSERT_TRUE(WriteWholeFile(dir.File("p.ini"),
                               "[Setup]\nStub=stub.exe\nLanguages=lang.ini\nInput=in\nOutput=out/s.exe\n"
                               "Launch=bin/Engine.exe\n[Settings]\nProductToken=PT\n"));
    CliRun r = Velpack({"build", dir.File("p.ini"), "--launch-params", "/q"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("2 files, 2 records"), std::string::npos) << r.out;

    r = Velpack({"info", dir.File("out/s.exe")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Launch entry:       bin\\Engine.exe*/q"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  ProductToken:     PT"), std::string::npos) << r.out;
    r = Velpack({"info", "--json", dir.File("out/s.exe")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_NE(r.out.find("\"runSpec\": \"bin\\\\Engine.exe*/q\""), std::string::npos) << r.out;

    EXPECT_NE(r.out.find("\"executionLevel\": \"requireAdministrator\""), std::string::npos) << r.out;
    r = Velpack({"info", dir.File("out/s.exe")});
    EXPECT_NE(r.out.find("Execution level:    admin (requireAdministrator)\n"), std::string::npos) << r.out;

    // The same project for a setup that runs with the user's rights; a bad value writes nothing.
    r = Velpack({"build", dir.File("p.ini"), "--execution-level", "user", "--output", dir.File("out/u.exe")});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Velpack({"info", dir.File("out/u.exe")});
    EXPECT_NE(r.out.find("Execution level:    user (asInvoker)\n"), std::string::npos) << r.out;
    r = Velpack({"build", dir.File("p.ini"), "--execution-level", "highest", "--output", dir.File("out/h.exe")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--execution-level ([Setup] ExecutionLevel): \"highest\" is not admin or user"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out/h.exe")));

    r = Velpack({"extract", dir.File("out/s.exe"), dir.File("x")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir.File("x/bin/Engine.exe")), "engine");
    EXPECT_EQ(ReadWholeFile(dir.File("x/readme.txt")), std::string(5000, 'r'));

    // A damaged package: info and extract report it with exit code 1.
    std::string bytes = ReadWholeFile(dir.File("out/s.exe"));
    bytes[2048 + 40] ^= 0x55;  // inside the text blocks, covered by the checksum
    ASSERT_TRUE(WriteWholeFile(dir.File("out/bad.exe"), bytes));
    r = Velpack({"info", dir.File("out/bad.exe")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Checksum:           FAILS"), std::string::npos) << r.out;
    r = Velpack({"extract", dir.File("out/bad.exe"), dir.File("y")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("checksum"), std::string::npos) << r.err;
    r = Velpack({"info", dir.File("lang.ini")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("holds no package"), std::string::npos) << r.err;
}

TEST(VelpackCommands, TokensAndInformFiles) {
    CliRun r = Velpack({"token", "PRODUCT-9"});
    ASSERT_EQ(r.code, 0);
    const std::string scrambled = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(UnscrambleItem(scrambled), "PRODUCT-9");
    r = Velpack({"token", "--decode", scrambled});
    EXPECT_EQ(r.out, "PRODUCT-9\n");
    r = Velpack({"token", "--decode", "not-a-token"});
    EXPECT_EQ(r.code, 1);
    r = Velpack({"token", "--text", "a|b"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.compare(0, 12, "Scrambled=01"), 0);
    const std::string scrambledText = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(Velpack({"token", "--text", "--decode", scrambledText}).out, "a|b\n");

    ScratchFolder dir;
    for (bool scramble : {false, true}) {
        std::vector<std::string> args = {"inform", "--token", "PRODUCT-9", "--text", "Welcome to version 5",
                                         "--field2", "5.0", "-o", dir.File("new.inform")};
        if (scramble) args.push_back("--scramble");
        r = Velpack(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string text = ReadWholeFile(dir.File("new.inform"));
        EXPECT_EQ(text.compare(0, 12, "Scrambled=01") == 0, scramble);
        const TokenedText t = SplitTokenedText(text);
        EXPECT_EQ(t.token, "PRODUCT-9");
        EXPECT_EQ(t.remainder, "Welcome to version 5");
    }
    EXPECT_EQ(Velpack({"inform", "--token", "T", "--text", "x", "--field3", "a|b", "-o", dir.File("f")}).code, 1);
}

}  // namespace
}  // namespace vel
