// End to end: the real stub (built stub.exe) with packages made by velpack's library, run under
// Wine. The setup engine is the recording engine (tools/engines), which writes what it received
// to a file; message boxes are answered by finding the stub's VMsgBox window and clicking.
#include <windows.h>
#include <commctrl.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ChildProcess_win.h"
#include "support/FolderLink_win.h"
#include "support/PackageFixture.h"
#include "support/TestServers_win.h"
#include "support/TraceCapture_win.h"
#include "support/WindowDriver_win.h"
#include "Velpack.h"
#include "package/FileInfo.h"
#include "package/ImageManifest.h"
#include "package/PackageFormat.h"
#include "package/PackageWriter.h"
#include "stub/LaunchLine.h"
#include "stub/WebSetup.h"

namespace vel {
namespace {

using testsupport::BoxText;
using testsupport::BuildTreePath;
using testsupport::ClickButton;
using testsupport::MakeFolderLink;
using testsupport::NotifyClient;
using testsupport::Pump;
using testsupport::RemoveLink;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::StubUnderTest;
using testsupport::TraceCapture;
using testsupport::WaitForBox;
using testsupport::WaitForWindowOfClass;
using testsupport::WriteWholeFile;

constexpr DWORD kRunLimitMs = testsupport::kChildRunLimitMs;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

bool FolderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// An environment variable of this process (inherited by the stub and its engine) for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : name_(name) { SetEnvironmentVariableA(name, value.c_str()); }
    ~EnvVar() { SetEnvironmentVariableA(name_, nullptr); }

private:
    const char* name_;
};

// What the recording engine wrote: "key=value" lines in order.
struct EngineRecord {
    std::vector<std::pair<std::string, std::string>> lines;

    static EngineRecord Read(const std::string& path) {
        EngineRecord r;
        const std::string text = ReadWholeFile(path);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            const size_t eq = line.find('=');
            if (eq != std::string::npos) r.lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            start = end + 2;
        }
        return r;
    }
    bool Has(const std::string& key) const { return Count(key) > 0; }
    int Count(const std::string& key) const {
        int n = 0;
        for (const auto& l : lines) n += l.first == key;
        return n;
    }
    std::string Get(const std::string& key) const {
        for (const auto& l : lines)
            if (l.first == key) return l.second;
        return std::string();
    }
    // File=name|size|crc|dos -> name -> "size|crc|dos"
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& l : lines) {
            if (l.first != "File") continue;
            const size_t bar = l.second.find('|');
            files[l.second.substr(0, bar)] = l.second.substr(bar + 1);
        }
        return files;
    }
};

// Local DOS date-time of a file's last write.
unsigned long DosTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    FILETIME local;
    WORD d = 0, t = 0;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa) &&
        FileTimeToLocalFileTime(&fa.ftLastWriteTime, &local))
        FileTimeToDosDateTime(&local, &d, &t);
    return (static_cast<unsigned long>(d) << 16) | t;
}

// "size|CRC32|dos time" of a file, as the recording engine writes it.
std::string FileFacts(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size()));
    char buf[80];
    snprintf(buf, sizeof buf, "%zu|%08lX|%lu", bytes.size(), static_cast<unsigned long>(crc), DosTimeOf(path));
    return buf;
}

// ---- The stub as a child process, and its message boxes -------------------------------------------

using StubProcess = testsupport::ChildProcess;

// Runs a setup whose package makes the stub show one error box; returns the box text.
std::string RunExpectingErrorBox(const std::string& commandLine, const std::string& workDir, long& exitCode) {
    StubProcess p;
    if (!p.Start(commandLine, workDir)) return "(not started)";
    // A download that breaks is tried again five times, with pauses of up to 45 s in all.
    HWND box = WaitForBox(p, 75000);
    const std::string text = box ? BoxText(box) : std::string("(no box)");
    if (box) ClickButton(box, "&OK");
    exitCode = p.Wait();
    return text;
}

// ---- A setup built from a small folder of files ---------------------------------------------------

class StubRun : public ::testing::Test {
protected:
    void SetUp() override {
        out_ = dir_.File("out");
        input_ = dir_.File("input");
        record_ = dir_.File("record.txt");
        CreateDirectoryA(out_.c_str(), nullptr);
        CreateDirectoryA(input_.c_str(), nullptr);
        CreateDirectoryA((input_ + "\\data").c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(BuildTreePath("tools/engines/recengine.exe").c_str(), (input_ + "\\Engine.exe").c_str(), FALSE));
        ASSERT_TRUE(WriteWholeFile(input_ + "\\readme.txt", "Read me.\r\n"));
        ASSERT_TRUE(WriteWholeFile(input_ + "\\data\\values.bin", testsupport::RandomBytes(300000, 7)));
        SetLanguage("[English]\r\ns0=Test Setup\r\nCharset=0\r\n");
        opt_.stubPath = StubUnderTest();
        ASSERT_NE(GetFileAttributesA(opt_.stubPath.c_str()), INVALID_FILE_ATTRIBUTES) << opt_.stubPath;
        opt_.inputDir = input_;
        opt_.output = out_ + "\\setup.exe";
        opt_.launch = "Engine.exe";
        opt_.launchParams = "/x";
        opt_.level = 6;
        opt_.threads = 1;
    }

    void SetLanguage(const std::string& ini) {
        opt_.languageFile = dir_.File("lang.ini");
        ASSERT_TRUE(WriteWholeFile(opt_.languageFile, ini));
    }

    BuildReport Build() {
        BuildReport report;
        const std::string err = BuildSetup(opt_, report);
        EXPECT_EQ(err, "");
        return report;
    }

    // Runs the setup file (or another program) with arguments to its end, expecting no message box
    // (one that shows is a failure and is answered, so that the run ends); -1 when it had to be killed.
    long Run(const std::string& args, const std::string& program = std::string()) {
        StubProcess p;
        if (!p.Start(Quoted(program.empty() ? opt_.output : program) + " " + args, dir_.Path())) return -2;
        const DWORD start = GetTickCount();
        while (p.Running() && GetTickCount() - start < kRunLimitMs) {
            if (HWND box = WaitForBox(p, 200)) {
                ADD_FAILURE() << "unexpected box: " << BoxText(box);
                for (const char* b : {"&OK", "&No", "&Cancel"}) ClickButton(box, b);
            }
        }
        return p.Wait();
    }

    EngineRecord Record() const { return EngineRecord::Read(record_); }

    // A copy of the setup as its span copy is made: "Y_" + its name, alone in a folder of its own
    // (the copy removes that folder when it ends).
    std::string SpanCopyOf(const std::string& setup) {
        const std::string folder = dir_.File("spancopy" + std::to_string(++spanCopies_));
        const std::string copy = folder + "\\Y_" + setup.substr(setup.find_last_of('\\') + 1);
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        EXPECT_TRUE(CopyFileA(setup.c_str(), copy.c_str(), FALSE));
        return copy;
    }

    // Runs a setup that must fail with one error box holding `expected`: exit code 1, no engine.
    void ExpectFailureBox(const std::string& commandLine, const std::string& expected) {
        EnvVar rec("VEL_ENGINE_RECORD", record_);
        long code = 0;
        const std::string text = RunExpectingErrorBox(commandLine, dir_.Path(), code);
        EXPECT_NE(text.find(expected), std::string::npos) << text;
        EXPECT_EQ(code, 1);
        EXPECT_FALSE(Record().Has("CommandLine"));
    }

    // Runs the setup in the foreground, expecting the temp-space question with `heading`, and
    // answers it with `button`; the exit code (-2 when the stub could not be started).
    long AnswerSpaceQuestion(const std::string& heading, const char* button) {
        DeleteFileA(record_.c_str());
        StubProcess p;
        if (!p.Start(Quoted(opt_.output), dir_.Path())) return -2;
        HWND box = WaitForBox(p, 30000);
        const std::string text = box ? BoxText(box) : std::string("(no box)");
        EXPECT_NE(text.find(heading), std::string::npos) << text;
        EXPECT_NE(text.find("Continue with Setup?"), std::string::npos) << text;
        EXPECT_TRUE(box && ClickButton(box, button));
        return p.Wait();
    }

    // Waits until the engine has written its command line; false after 30 s.
    bool EngineStarted() const {
        const DWORD start = GetTickCount();
        while (!Record().Has("CommandLine")) {
            if (GetTickCount() - start > 30000) return false;
            Pump(100);
        }
        return true;
    }

    // A setup over the stub file and two part files ("data\\more.bin" spans them); returns part 2.
    std::string BuildThreeParts() {
        opt_.partSize = 2000000;  // the stub image fills most of the first file
        EXPECT_TRUE(WriteWholeFile(input_ + "\\data\\more.bin", testsupport::RandomBytes(2500000, 9)));
        const BuildReport report = Build();
        EXPECT_GE(report.files.size(), 3u);
        EXPECT_NE(GetFileAttributesA((opt_.output + ".003").c_str()), INVALID_FILE_ATTRIBUTES);
        return opt_.output + ".002";
    }

    // Every input file arrived with its size, contents and date.
    void ExpectAllFilesExtracted(const EngineRecord& rec) const {
        const auto files = rec.Files();
        for (const char* name : {"Engine.exe", "readme.txt", "data\\values.bin"}) {
            ASSERT_EQ(files.count(name), 1u) << name;
            EXPECT_EQ(files.at(name), FileFacts(input_ + "\\" + name)) << name;
        }
    }

    ScratchFolder dir_;
    std::string out_, input_, record_;
    BuildOptions opt_;
    int spanCopies_ = 0;
};

TEST_F(StubRun, OneSetupFileRunsTheEngineWithItsCommandLineAndCleansUp) {
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar code("VEL_ENGINE_EXIT", "7");
    EnvVar dialog("VEL_ENGINE_DIALOG_MS", "1500");
    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());

    // The span switch of the stub's own command line never reaches the engine.
    const std::string args = "/y /SpanCdLvl=1";
    EXPECT_EQ(Run(args), 7);  // the engine's exit code is the stub's

    const EngineRecord r = Record();
    const std::string exePath = r.Get("ExePath");
    const std::string folder = FolderOf(exePath);
    EXPECT_NE(folder.find("\\SETUP_"), std::string::npos) << folder;
    EXPECT_EQ(r.Get("CommandLine"), folder + "\\Engine.exe /y /x /TH_ID=" + r.Get("ThreadToken") +
                                        " /OriginExe=" + Quoted(opt_.output));
    EXPECT_EQ(r.Get("ThreadToken").substr(0, 1), "_");
    EXPECT_EQ(r.Get("AtomExisted"), "1");
    EXPECT_EQ(r.Get("ShowWindow"), "5");  // SW_SHOW in the foreground
    EXPECT_EQ(r.Get("DialogLeft"), "1");
    EXPECT_EQ(r.Get("DialogClosed"), "1");  // the stub waited the engine's dialog out
    ExpectAllFilesExtracted(r);
    EXPECT_FALSE(FolderExists(folder)) << "extraction folder left behind: " << folder;

    EXPECT_TRUE(trace.WaitFor("UnCompressTime: ", 2000));
    EXPECT_TRUE(trace.Contains(" ==== WinExec(Engine.exe) >>" + r.Get("CommandLine") + "<<"));
}

TEST_F(StubRun, PackageOverThreePartFiles) {
    const std::string part2 = BuildThreeParts();
    ASSERT_FALSE(HasFailure());
    // The big file is spread over records in more than one part: they must be appended in order.
    PackageDescription desc;
    ASSERT_EQ(DescribePackage(opt_.output, desc), "");
    std::vector<int> partsOfMore;
    for (const auto& rec : desc.records)
        if (rec.name == "data\\more.bin") partsOfMore.push_back(rec.part);
    ASSERT_GE(partsOfMore.size(), 2u);
    ASSERT_NE(partsOfMore.front(), partsOfMore.back());
    EnvVar rec("VEL_ENGINE_RECORD", record_);

    // All parts present: no prompt, everything extracted.
    EXPECT_EQ(Run(""), 0);
    ExpectAllFilesExtracted(Record());
    EXPECT_EQ(Record().Files().at("data\\more.bin"), FileFacts(input_ + "\\data\\more.bin"));

    // Part 2 missing: the prompt names disk 2; Cancel starts nothing.
    DeleteFileA(record_.c_str());
    const std::string away = dir_.File("part2.away");
    ASSERT_TRUE(MoveFileA(part2.c_str(), away.c_str()));
    {
        StubProcess p;
        ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
        HWND box = WaitForBox(p, 30000);
        ASSERT_NE(box, nullptr);
        EXPECT_NE(BoxText(box).find("DISK #2"), std::string::npos) << BoxText(box);
        ASSERT_TRUE(ClickButton(box, "&Cancel"));
        EXPECT_EQ(p.Wait(), 0);
        EXPECT_FALSE(Record().Has("CommandLine"));
    }
    // Part 2 appears while the prompt shows; OK goes on.
    {
        StubProcess p;
        ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
        HWND box = WaitForBox(p, 30000);
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(MoveFileA(away.c_str(), part2.c_str()));
        ASSERT_TRUE(ClickButton(box, "&OK"));
        EXPECT_EQ(p.Wait(), 0);
        EXPECT_EQ(Record().Files().at("data\\more.bin"), FileFacts(input_ + "\\data\\more.bin"));
    }
}

TEST_F(StubRun, ChecksumFailureOfAPartShowsBadCrcAndStartsNothing) {
    // A package in small part files (small files are checksummed) with the texts of a span setup,
    // extracted by that setup's span copy through "/SpanDiskFName1=".
    opt_.spanCopy = true;
    Build();
    const TGFileInfo own(opt_.output);
    PackageContent content;
    content.languageBlock = own.LanguageBlock();
    content.settingsList = own.SettingsList();
    content.maxPartSize = 30000;
    const std::string first = out_ + "\\data.001";
    PackageWriter w;
    ASSERT_EQ(w.Begin(first, content), "");
    FileRecord engine;
    engine.name = "Engine.exe";
    engine.launch = true;
    ASSERT_EQ(w.AddFileFrom(input_ + "\\Engine.exe", engine), "");
    for (int i = 0; i < 6; ++i) {  // small records, so that the last parts stay small
        FileRecord small;
        small.name = "small" + std::to_string(i) + ".bin";
        small.data = testsupport::RandomBytes(9000, 20 + i);
        ASSERT_EQ(w.AddFile(small), "");
    }
    ASSERT_EQ(w.Finish(), "");
    ASSERT_GE(w.PartPaths().size(), 3u);
    const std::string last = w.PartPaths().back();
    std::string damaged = ReadWholeFile(last);
    ASSERT_LE(damaged.size(), 51200u);
    damaged[damaged.size() / 2] ^= 0x5A;
    ASSERT_TRUE(WriteWholeFile(last, damaged));

    ExpectFailureBox(Quoted(SpanCopyOf(opt_.output)) + " /SpanCdLvl=2 /SpanDiskFName1=" + Quoted(first), "Bad CRC!");
}

// Anyone can start a setup (which may ask for administrator rights) with "/SpanDiskFName1=": only
// the span copy takes it, and only for a file with its own setup's texts and token.
TEST_F(StubRun, SpanDiskFileIsTakenOnlyByTheSpanCopyAndOnlyFromItsOwnSetup) {
    BuildOptions other = opt_;
    other.output = out_ + "\other.exe";
    other.productToken = "another product";
    BuildReport report;
    ASSERT_EQ(BuildSetup(other, report), "");
    Build();
    const std::string refused = "It is not a part of this setup.";
    {
        SCOPED_TRACE("a setup that is no span copy");
        ExpectFailureBox(Quoted(opt_.output) + " /SpanDiskFName1=" + Quoted(other.output), refused);
        ExpectFailureBox(Quoted(opt_.output) + " /SpanCdLvl=2 /SpanDiskFName1=" + Quoted(other.output), refused);
        EXPECT_NE(GetFileAttributesA(opt_.output.c_str()), INVALID_FILE_ATTRIBUTES) << "the setup deleted itself";
    }
    opt_.spanCopy = true;
    opt_.output = out_ + "\span.exe";
    Build();
    {
        SCOPED_TRACE("the span copy, another setup's file");
        ExpectFailureBox(Quoted(SpanCopyOf(opt_.output)) + " /SpanCdLvl=2 /SpanDiskFName1=" + Quoted(other.output),
                         refused);
    }
}

TEST_F(StubRun, DamagedPackageShowsDamageAndStartsNothing) {
    const std::string stubImage = ReadWholeFile(StubUnderTest());
    ASSERT_FALSE(stubImage.empty());
    std::string languages;
    IniFile ini;
    ini.Parse("[English]\r\ns0=Test\r\n");
    ASSERT_EQ(MakeLanguageBlock(ini, languages), "");

    // A record that claims to be zlib data but is not.
    const std::string garbage = "\x78\x9c" + testsupport::RandomBytes(500, 3);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    // Records with names that would write outside the extraction folder (a subfolder of temp).
    auto named = [](const char* name) {
        FileRecord bad;
        bad.name = name;
        bad.data = "escaped";
        std::string encoded;
        EncodeRecord(bad, 6, encoded);
        return encoded;
    };
    const struct {
        const char* what;
        std::string encoded;       // the raw record
        std::string mustNotExist;  // the file it tried to write
    } cases[] = {
        {"bad zlib stream", testsupport::LE32(uint32_t(garbage.size())) + garbage, ""},
        {"name climbing out", named("..\\vel-escaped.txt"), std::string(temp) + "vel-escaped.txt"},
        {"absolute name", named("C:\\vel-escaped-abs.txt"), "C:\\vel-escaped-abs.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PackageContent content;
        content.stubImage = stubImage;
        content.languageBlock = languages;
        content.settingsList = "|||||";
        PackageWriter w;
        ASSERT_EQ(w.Begin(opt_.output, content), "");
        FileRecord engine;
        engine.name = "Engine.exe";
        engine.launch = true;
        ASSERT_EQ(w.AddFileFrom(input_ + "\\Engine.exe", engine), "");
        ASSERT_EQ(w.AddEncodedRecord(c.encoded), "");
        ASSERT_EQ(w.Finish(), "");

        ExpectFailureBox(Quoted(opt_.output), "damaged");
        if (!c.mustNotExist.empty()) {
            EXPECT_EQ(GetFileAttributesA(c.mustNotExist.c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
}

TEST_F(StubRun, AFailedWriteEndsTheExtractionAndStartsNothing) {
    const std::string stubImage = ReadWholeFile(StubUnderTest());
    std::string languages;
    IniFile ini;
    ini.Parse("[English]\r\ns0=Test\r\n");
    ASSERT_EQ(MakeLanguageBlock(ini, languages), "");
    PackageContent content;
    content.stubImage = stubImage;
    content.languageBlock = languages;
    content.settingsList = "|||||";
    PackageWriter w;
    ASSERT_EQ(w.Begin(opt_.output, content), "");
    // "sub" is written as a file, so the files meant to go into a folder "sub" cannot be written;
    // the engine comes after them.
    for (const char* name : {"sub", "sub\\x.txt", "sub\\y.txt"}) {
        FileRecord rec;
        rec.name = name;
        rec.data = "data";
        ASSERT_EQ(w.AddFile(rec), "");
    }
    FileRecord engine;
    engine.name = "Engine.exe";
    engine.launch = true;
    ASSERT_EQ(w.AddFileFrom(input_ + "\\Engine.exe", engine), "");
    ASSERT_EQ(w.Finish(), "");

    EnvVar rec("VEL_ENGINE_RECORD", record_);
    StubProcess p;
    ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
    HWND box = WaitForBox(p, 30000);
    ASSERT_NE(box, nullptr);
    const std::string text = BoxText(box);
    EXPECT_NE(text.find("Unable to save Extracted File!"), std::string::npos) << text;
    EXPECT_NE(text.find("x.txt"), std::string::npos) << text;
    ASSERT_TRUE(ClickButton(box, "&OK"));
    Pump(500);
    if (HWND second = WaitForBox(p, 8000)) {
        ADD_FAILURE() << "second box: " << BoxText(second);
        ClickButton(second, "&OK");
    }
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_FALSE(Record().Has("CommandLine")) << "the engine ran after a failed write";
}

TEST_F(StubRun, ExtractionFolderNameTakenByALinkIsNotFollowed) {
    Build();
    // The user's temp folder, where a program of the user, not elevated, made the predictable
    // extraction folder name first, as a link to a folder of its choice.
    const std::string temp = dir_.File("temp");
    const std::string victim = dir_.File("victim");
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(victim.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(victim + "\\keep.txt", "keep"));
    const std::string name = "SETUP_" + std::to_string(DosTimeOf(opt_.output) & 0xFFFF);
    const std::string link = temp + "\\" + name;
    ASSERT_TRUE(MakeFolderLink(link, victim)) << link;

    EnvVar tmp("TMP", temp);
    EnvVar tempVar("TEMP", temp);
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EXPECT_EQ(Run(""), 0);

    // The engine ran from a plain folder of the stub's own under temp, and the link's target kept
    // its file and got none of the setup's.
    const std::string folder = FolderOf(Record().Get("ExePath"));
    EXPECT_EQ(folder.rfind(temp + "\\" + name, 0), 0u) << folder;
    ExpectAllFilesExtracted(Record());
    EXPECT_EQ(ReadWholeFile(victim + "\\keep.txt"), "keep");
    EXPECT_EQ(GetFileAttributesA((victim + "\\Engine.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((victim + "\\readme.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FolderExists(folder)) << "extraction folder left behind: " << folder;
    // Either the link was removed as a link, or it is still there and still leads to the folder.
    const DWORD a = GetFileAttributesA(link.c_str());
    EXPECT_TRUE(a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT)) << a;
    RemoveLink(link);
}

TEST_F(StubRun, AnnouncedExtractionAsksUnlessHidden) {
    opt_.announceExtraction = true;
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);

    // "/hide": no prompt, the engine is started hidden.
    EXPECT_EQ(Run("/hide"), 0);
    EXPECT_EQ(Record().Get("ShowWindow"), "0");

    const struct { const char* button; bool engineRuns; } answers[] = {{"&No", false}, {"&Yes", true}};
    for (const auto& a : answers) {
        SCOPED_TRACE(a.button);
        EXPECT_EQ(AnswerSpaceQuestion("will extract files to your Temp Drive", a.button), 0);
        EXPECT_EQ(Record().Has("CommandLine"), a.engineRuns);
        if (a.engineRuns) {
            EXPECT_EQ(Record().Get("ShowWindow"), "5");
        }
    }
}

TEST_F(StubRun, EngineThatDeletesTheAtomGetsTheStartUpShortcutRemoved) {
    opt_.infoFileName = "Product.info";
    Build();
    const std::string startUp = dir_.File("startup.lnk"), check = dir_.File("check.lnk");
    ASSERT_TRUE(WriteWholeFile(out_ + "\\Product.original",
                               "[UnInstall]\r\nStartUpLink=" + startUp + "\r\nCheckforNewUpdateLink=" + check + "\r\n"));
    ASSERT_TRUE(WriteWholeFile(out_ + "\\Product.info", "[NewSetup]\r\nRemoveStartUpShortcut=1\r\n"));
    EnvVar rec("VEL_ENGINE_RECORD", record_);

    // Only a run that reported success and ended with 0 removes it: an engine that deletes the atom
    // and then fails has installed nothing.
    const struct {
        const char* deleteAtom;
        const char* exitCode;
        bool startUpRemoved;
    } cases[] = {{"0", "0", false}, {"1", "0", true}, {"1", "1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("delete atom ") + c.deleteAtom + ", exit " + c.exitCode);
        ASSERT_TRUE(WriteWholeFile(startUp, "lnk"));
        ASSERT_TRUE(WriteWholeFile(check, "lnk"));
        EnvVar del("VEL_ENGINE_DELETE_ATOM", c.deleteAtom);
        EnvVar code("VEL_ENGINE_EXIT", c.exitCode);
        EXPECT_EQ(Run(""), std::atol(c.exitCode));
        EXPECT_EQ(GetFileAttributesA(startUp.c_str()) == INVALID_FILE_ATTRIBUTES, c.startUpRemoved);
        EXPECT_NE(GetFileAttributesA(check.c_str()), INVALID_FILE_ATTRIBUTES);  // its flag is not set
    }
}

struct FindClassSuffix {
    std::string suffix;
    bool found;
};

BOOL CALLBACK ClassSuffixProc(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<FindClassSuffix*>(lp);
    char cls[512] = {};
    GetClassNameA(w, cls, sizeof cls);
    const std::string c = cls;
    if (c.size() >= f->suffix.size() && lstrcmpiA(c.c_str() + c.size() - f->suffix.size(), f->suffix.c_str()) == 0) {
        f->found = true;
        return FALSE;
    }
    return TRUE;
}

TEST_F(StubRun, SpanCopyExtractsThePartFilesFromItsCopy) {
    opt_.spanCopy = true;
    const BuildReport report = Build();
    ASSERT_GE(report.files.size(), 2u);
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());
    EXPECT_EQ(Run("/y"), 0);  // the stub starts its copy and ends
    ASSERT_TRUE(trace.WaitFor("StartSpanCopy: ", 5000)) << trace.Text();
    const std::string text = trace.Text();
    const size_t from = text.find("StartSpanCopy: ") + 15, to = text.find("\\Y_setup.exe", from);
    ASSERT_NE(to, std::string::npos) << text;
    const std::string copyFolder = text.substr(from, to - from);

    // The copy ("Y_setup.exe" in the extraction folder) runs the engine and ends.
    const DWORD start = GetTickCount();
    for (;;) {
        FindClassSuffix f{"\\Y_setup.exe", false};
        EnumWindows(ClassSuffixProc, reinterpret_cast<LPARAM>(&f));
        if (!f.found && Record().Has("ExitCode")) break;
        ASSERT_LT(GetTickCount() - start, kRunLimitMs) << "span copy did not finish";
        Pump(200);
    }
    const EngineRecord r = Record();
    const std::string cmd = r.Get("CommandLine");
    EXPECT_EQ(cmd.find("/SpanCdLvl="), std::string::npos) << cmd;
    EXPECT_EQ(cmd.find("/SpanDiskFName1="), std::string::npos) << cmd;
    const std::string origin = "/OriginExe=" + Quoted(opt_.output);
    EXPECT_NE(cmd.find(origin), std::string::npos) << cmd;
    EXPECT_EQ(cmd.find("/OriginExe=", cmd.find(origin) + 1), std::string::npos) << "second /OriginExe: " << cmd;
    EXPECT_NE(cmd.find(" /y "), std::string::npos) << cmd;
    ExpectAllFilesExtracted(r);

    // Once ended, the copy deletes itself and the folder it lived in.
    for (DWORD waited = 0; waited < 30000 && GetFileAttributesA(copyFolder.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 200)
        Pump(200);
    EXPECT_EQ(GetFileAttributesA(copyFolder.c_str()), INVALID_FILE_ATTRIBUTES) << copyFolder;
}

ExecutionLevel LevelOf(const std::string& image) {
    ExecutionLevel level = ExecutionLevel::HighestAvailable;
    EXPECT_TRUE(ReadImageExecutionLevel(image, level));
    return level;
}

// The agent is started at logon and starts the product: it asks for the user's rights while the
// setup it came from asks for administrator rights.
TEST_F(StubRun, AgentImageIsTheStubWithItsTextsMarkedAsAgentAtUserLevel) {
    opt_.writeAgentImage = true;
    opt_.agentName = "Agent.exe";
    Build();
    const std::string copy = dir_.File("copy");
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar copyTo("VEL_ENGINE_COPY_TO", copy);
    EXPECT_EQ(Run(""), 0);

    const std::string setup = ReadWholeFile(opt_.output);
    const std::string agent = ReadWholeFile(copy + "\\Agent.exe");
    const TGFileInfo reader(opt_.output);
    const size_t textEnd = reader.Trailer().DataOffset();  // just past the text blocks
    ASSERT_EQ(agent.size(), textEnd + 74);
    EXPECT_EQ(LevelOf(setup), ExecutionLevel::RequireAdministrator);
    EXPECT_EQ(LevelOf(agent), ExecutionLevel::AsInvoker);
    std::string expected = setup.substr(0, textEnd);
    ASSERT_TRUE(SetImageExecutionLevel(expected, ExecutionLevel::AsInvoker));
    EXPECT_EQ(agent.substr(252, 4), std::string(4, '\0'));
    EXPECT_EQ(agent.substr(0, 248), expected.substr(0, 248));
    EXPECT_EQ(agent.substr(256, textEnd - 256), expected.substr(256, textEnd - 256));
    const PackageTrailer t = PackageTrailer::Parse(agent.substr(agent.size() - 74));
    EXPECT_EQ(t.Byte(69), 1);
    EXPECT_EQ(t.Length(), 74u);
    EXPECT_TRUE(t.HasMagic());
    // The image reads as a package of its own: an update agent with the same texts.
    const TGFileInfo agentReader(copy + "\\Agent.exe");
    EXPECT_TRUE(agentReader.IsUpdateAgent());
    EXPECT_EQ(agentReader.LanguageBlock(), reader.LanguageBlock());
    EXPECT_EQ(DosTimeOf(copy + "\\Agent.exe"), DosTimeOf(opt_.output));  // dated like the setup file
}

TEST_F(StubRun, SecondInstanceFromTheSamePathDoesNothing) {
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "6000");
    StubProcess first;
    ASSERT_TRUE(first.Start(Quoted(opt_.output), dir_.Path()));
    ASSERT_TRUE(EngineStarted()) << "engine did not start";
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(Run(""), 0);
    EXPECT_LT(GetTickCount() - t0, 5000u) << "the second instance should end at once";
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(Record().Count("CommandLine"), 1);
}

TEST_F(StubRun, EngineThatCannotStartEndsTheRunWithAFailureCode) {
    // The launch entry is a text file, not a program.
    opt_.launch = "readme.txt";
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(Run(""), 1);
    EXPECT_LT(GetTickCount() - t0, 30000u);
    EXPECT_FALSE(Record().Has("CommandLine"));
}

// ---- The stub window while the engine runs ------------------------------------------------------

struct Child {
    std::string cls;
    RECT rc;  // client coordinates of the parent
    LONG_PTR style, exStyle;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM lp) {
    auto* list = reinterpret_cast<std::vector<Child>*>(lp);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    Child c{cls, {}, GetWindowLongPtrA(w, GWL_STYLE), GetWindowLongPtrA(w, GWL_EXSTYLE)};
    GetWindowRect(w, &c.rc);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&c.rc), 2);
    list->push_back(c);
    return TRUE;
}

TEST_F(StubRun, WindowLayoutFollowsTheCharset) {
    const struct { int charset; int labelX; int activityX; bool rtl; } cases[] = {
        {0, 70, 416, false},
        {177, 122, 70, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset);
        SetLanguage("[Hebrew]\r\ns0=Layout Test\r\nCharset=" + std::to_string(c.charset) + "\r\n");
        opt_.activityBar = true;
        Build();
        EnvVar rec("VEL_ENGINE_RECORD", record_);
        EnvVar sleep("VEL_ENGINE_SLEEP_MS", "4000");
        StubProcess p;
        ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
        EngineStarted();
        HWND wnd = FindWindowA(opt_.output.c_str(), nullptr);
        ASSERT_NE(wnd, nullptr);
        char title[64] = {};
        GetWindowTextA(wnd, title, sizeof title);
        EXPECT_STREQ(title, "Layout Test");
        EXPECT_FALSE(IsWindowVisible(wnd));  // hidden while the engine runs
        RECT wr;
        GetWindowRect(wnd, &wr);
        EXPECT_EQ(wr.right - wr.left, 492);
        EXPECT_EQ(wr.bottom - wr.top, 110);
        std::vector<Child> children;
        EnumChildWindows(wnd, CollectChild, reinterpret_cast<LPARAM>(&children));
        ASSERT_EQ(children.size(), 3u);
        int bars = 0;
        for (const auto& ch : children) {
            const int w = ch.rc.right - ch.rc.left, h = ch.rc.bottom - ch.rc.top;
            if (lstrcmpiA(ch.cls.c_str(), "Static") == 0) {
                EXPECT_EQ(ch.rc.left, c.labelX);
                EXPECT_EQ(ch.rc.top, 20);
                EXPECT_EQ(w, 340);
                EXPECT_EQ(h, 18);
                EXPECT_EQ((ch.exStyle & WS_EX_RTLREADING) != 0, c.rtl);
                EXPECT_EQ((ch.style & SS_RIGHT) != 0, c.rtl);
            } else if (w == 392) {
                ++bars;
                EXPECT_EQ(ch.rc.left, 70);
                EXPECT_EQ(ch.rc.top, 38);
                EXPECT_EQ(h, 13);
            } else {
                ++bars;
                EXPECT_EQ(ch.rc.left, c.activityX);
                EXPECT_EQ(ch.rc.top, 20);
                EXPECT_EQ(w, 46);
                EXPECT_EQ(h, 13);
                EXPECT_TRUE(ch.style & WS_VISIBLE);  // the package asks for the activity bar
            }
        }
        EXPECT_EQ(bars, 2);
        // One step per file, all of them shown once the extraction is over.
        HWND mainBar = FindWindowExA(wnd, nullptr, "msctls_progress32", nullptr);
        RECT br;
        GetWindowRect(mainBar, &br);
        if (br.right - br.left != 392) mainBar = FindWindowExA(wnd, mainBar, "msctls_progress32", nullptr);
        EXPECT_EQ(SendMessageA(mainBar, PBM_GETPOS, 0, 0), 3);
        EXPECT_EQ(SendMessageA(mainBar, PBM_GETRANGE, FALSE, 0), 3);
        EXPECT_EQ(p.Wait(), 0);
        DeleteFileA(record_.c_str());
    }
}

// ---- Room on the temp drive, disks and extraction folders ---------------------------------------

// A registry value for one scope.
class RegValue {
public:
    RegValue(HKEY root, const std::string& key, const std::string& name, const std::string& value)
        : root_(root), key_(key), name_(name) {
        HKEY k = nullptr;
        if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           DWORD(value.size() + 1));
            RegCloseKey(k);
        }
    }
    ~RegValue() {
        HKEY k = nullptr;
        if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
            RegDeleteValueA(k, name_.c_str());
            RegCloseKey(k);
        }
    }

private:
    HKEY root_;
    std::string key_, name_;
};

// Answers every box a run shows with the first button found; returns the texts in order.
std::vector<std::string> AnswerBoxes(StubProcess& p, long& exitCode) {
    std::vector<std::string> texts;
    const DWORD start = GetTickCount();
    while (p.Running() && GetTickCount() - start < kRunLimitMs) {
        if (HWND box = WaitForBox(p, 300)) {
            texts.push_back(BoxText(box));
            for (const char* b : {"&OK", "&No", "&Cancel"})
                if (ClickButton(box, b)) break;
            Pump(500);
        }
    }
    exitCode = p.Wait();
    return texts;
}

TEST_F(StubRun, ForcedDiskPromptAsksForEveryPartEvenWhenPresent) {
    BuildThreeParts();
    ASSERT_FALSE(HasFailure());
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    {
        // The user's own keys do not steer a setup, which may run elevated: no prompt.
        RegValue user(HKEY_CURRENT_USER, "Software\\Dorvanik\\Velnor\\SpanDisk", "ForcePrompt", "1");
        StubProcess user_run;
        ASSERT_TRUE(user_run.Start(Quoted(opt_.output), dir_.Path()));
        long code = -1;
        const std::vector<std::string> boxes = AnswerBoxes(user_run, code);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_EQ(code, 0);
        ExpectAllFilesExtracted(Record());
    }
    DeleteFileA(record_.c_str());
    RegValue force(HKEY_LOCAL_MACHINE, "Software\\Dorvanik\\Velnor\\SpanDisk", "ForcePrompt", "1");
    StubProcess p;
    ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
    for (const char* disk : {"DISK #2", "DISK #3"}) {
        HWND box = WaitForBox(p, 30000);
        ASSERT_NE(box, nullptr) << disk;
        EXPECT_NE(BoxText(box).find(disk), std::string::npos) << BoxText(box);
        ASSERT_TRUE(ClickButton(box, "&OK"));
        Pump(800);
    }
    EXPECT_EQ(p.Wait(), 0);
    ExpectAllFilesExtracted(Record());
    EXPECT_EQ(Record().Files().at("data\\more.bin"), FileFacts(input_ + "\\data\\more.bin"));
}

TEST_F(StubRun, ContinuationPartWithoutPackageMagicIsDamage) {
    const std::string part2 = BuildThreeParts();
    ASSERT_FALSE(HasFailure());
    std::string bytes = ReadWholeFile(part2);
    ASSERT_GT(bytes.size(), 74u);
    const size_t magicAt = bytes.size() - 74 + 12;
    ASSERT_EQ(bytes.substr(magicAt, 4), testsupport::LE32(kPackageMagic));
    bytes[magicAt] ^= 0x01;
    ASSERT_TRUE(WriteWholeFile(part2, bytes));

    ExpectFailureBox(Quoted(opt_.output), "damaged");
}

TEST_F(StubRun, ExtractionFolderOfARunningStubIsNeverTaken) {
    Build();
    // Another copy of the same setup file, with the same date: same extraction folder name.
    const std::string other = dir_.File("other.exe");
    ASSERT_TRUE(CopyFileA(opt_.output.c_str(), other.c_str(), FALSE));
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "SETUP_" + std::to_string(DosTimeOf(opt_.output) & 0xFFFF);
    // What a crashed run left there (or someone else put there) is never taken over: each run makes
    // a folder of its own, and leaves the one it found alone.
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(folder + "\\stale.txt", "left over"));
    struct Cleanup {
        std::string folder;
        ~Cleanup() {
            DeleteFileA((folder + "\\stale.txt").c_str());
            RemoveDirectoryA(folder.c_str());
        }
    } cleanup{folder};

    const std::string record2 = dir_.File("record2.txt");
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "5000");
    StubProcess first, second;
    {
        EnvVar rec("VEL_ENGINE_RECORD", record_);
        ASSERT_TRUE(first.Start(Quoted(opt_.output), dir_.Path()));
    }
    ASSERT_TRUE(EngineStarted()) << "first engine did not start";
    {
        EnvVar rec("VEL_ENGINE_RECORD", record2);
        ASSERT_TRUE(second.Start(Quoted(other), dir_.Path()));
    }
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(first.Wait(), 0);

    const EngineRecord r1 = Record(), r2 = EngineRecord::Read(record2);
    EXPECT_EQ(FolderOf(r1.Get("ExePath")), folder + "_" + std::to_string(first.Pid()));
    EXPECT_EQ(r1.Files().count("stale.txt"), 0u);
    EXPECT_EQ(FolderOf(r2.Get("ExePath")), folder + "_" + std::to_string(second.Pid()));
    ExpectAllFilesExtracted(r1);
    ExpectAllFilesExtracted(r2);
    EXPECT_EQ(ReadWholeFile(folder + "\\stale.txt"), "left over");
    EXPECT_FALSE(FolderExists(folder + "_" + std::to_string(first.Pid())));
    EXPECT_FALSE(FolderExists(folder + "_" + std::to_string(second.Pid())));
}

// A small drive for the temp folder: a few MB that the test environment mounts as a drive of its
// own and names in VEL_SMALL_TEMP.
std::string SmallTempFolder() {
    char path[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("VEL_SMALL_TEMP", path, sizeof path)) return std::string();
    return FolderExists(path) ? path : std::string();
}

// Folders directly in the roots of the drives a low-room run could pick.
std::vector<std::string> RootFolders(const std::string& small) {
    std::vector<std::string> all;
    for (const std::string root : {std::string("C:"), small.substr(0, 2), std::string("D:"), std::string("E:")})
        for (const auto& name : testsupport::FolderNames(root + "\\"))
            if (FolderExists(root + "\\" + name)) all.push_back(root + "\\" + name);
    return all;
}

TEST_F(StubRun, TooLittleRoomOnTheTempDriveEndsAnElevatedRunWithoutExtracting) {
    const std::string small = SmallTempFolder();
    if (small.empty()) GTEST_SKIP() << "VEL_SMALL_TEMP (a small mounted folder) is not set up";
    // More than the small drive holds, and incompressible.
    ASSERT_TRUE(WriteWholeFile(input_ + "\\data\\big.bin", testsupport::RandomBytes(6000000, 11)));
    Build();
    EnvVar tmp("TMP", small), temp("TEMP", small);
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    // C: has room, but a folder at a drive root (or in another user's X:\TEMP) is open to others:
    // an elevated run (every run under Wine) takes none, and says why.
    const std::vector<std::string> rootsBefore = RootFolders(small);
    {
        SCOPED_TRACE("foreground");
        StubProcess p;
        ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
        long code = 0;
        const std::vector<std::string> boxes = AnswerBoxes(p, code);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find("Not enough free space on your Temp Drive (" + small.substr(0, 2) + ")"),
                  std::string::npos) << boxes[0];
        EXPECT_EQ(boxes[0].find("Continue with Setup?"), std::string::npos) << boxes[0];
        EXPECT_EQ(code, 1);
    }
    {
        SCOPED_TRACE("quiet");
        StubProcess p;
        ASSERT_TRUE(p.Start(Quoted(opt_.output) + " /hide", dir_.Path()));
        long code = 0;
        const std::vector<std::string> boxes = AnswerBoxes(p, code);
        for (const auto& b : boxes) ADD_FAILURE() << "box in a quiet run: " << b;
        EXPECT_EQ(code, 1);
    }
    EXPECT_FALSE(Record().Has("CommandLine"));
    EXPECT_EQ(RootFolders(small), rootsBefore) << "a folder was made at a drive root";
    for (const auto& name : testsupport::FolderNames(small)) {
        // Nothing extracted: at most the empty folder of the run, which it removes.
        EXPECT_EQ(name.rfind("SETUP_", 0), std::string::npos) << "left in the temp folder: " << name;
    }
}

// ---- Attacks on the extraction folder by the user's other programs --------------------------------

// A program of the user, not elevated, that watches the temp folder and plants files in every new
// "SETUP_*" folder the moment it appears (polling every 2 ms, on a thread of the test).
class FolderWatcher {
public:
    FolderWatcher(const std::string& temp, std::vector<std::pair<std::string, std::string>> plants)
        : temp_(temp), plants_(std::move(plants)) {
        for (const auto& name : testsupport::FolderNames(temp_)) seen_.push_back(name);
        thread_ = CreateThread(nullptr, 0, &FolderWatcher::Main, this, 0, nullptr);
    }
    ~FolderWatcher() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_) {
            WaitForSingleObject(thread_, 5000);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
    }
    // Files planted (each "folder\\name" that could be written).
    std::vector<std::string> Planted() const { return planted_; }

private:
    static DWORD WINAPI Main(void* self) {
        static_cast<FolderWatcher*>(self)->Loop();
        return 0;
    }
    void Loop() {
        while (!stop_) {
            for (const auto& name : testsupport::FolderNames(temp_)) {
                const std::string folder = temp_ + "\\" + name;
                if (name.rfind("SETUP_", 0) != 0 || !FolderExists(folder)) continue;
                if (std::find(seen_.begin(), seen_.end(), name) != seen_.end()) continue;
                seen_.push_back(name);
                for (const auto& plant : plants_) {
                    const std::string target = folder + "\\" + plant.second;
                    if (CopyFileA(plant.first.c_str(), target.c_str(), TRUE)) planted_.push_back(target);
                }
            }
            Sleep(2);
        }
    }

    std::string temp_;
    std::vector<std::pair<std::string, std::string>> plants_;
    std::vector<std::string> seen_, planted_;
    volatile bool stop_ = false;
    HANDLE thread_ = nullptr;
};

class PlantedFiles : public StubRun {
protected:
    void SetUp() override {
        StubRun::SetUp();
        temp_ = dir_.File("temp");
        marker_ = dir_.File("planted-marker");
        ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), nullptr));
        plantedEngine_ = BuildTreePath("tools/engines/recengine.exe");
        plantedDll_ = BuildTreePath("tools/dlltest/version.dll");
        ASSERT_NE(GetFileAttributesA(plantedDll_.c_str()), INVALID_FILE_ATTRIBUTES) << plantedDll_;
        Build();
    }
    // Neither the planted DLL nor the planted engine ran: no marker, no engine record.
    void ExpectNothingPlantedRan() const {
        EXPECT_EQ(GetFileAttributesA(marker_.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted DLL was loaded";
        EXPECT_EQ(GetFileAttributesA((marker_ + ".called").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // Runs the setup with TEMP in the scratch folder; the one box it shows (answered), its exit code.
    std::vector<std::string> RunAnswering(long& code) {
        EnvVar tmp("TMP", temp_), temp("TEMP", temp_);
        StubProcess p;
        if (!p.Start(Quoted(opt_.output), dir_.Path())) return {"(not started)"};
        return AnswerBoxes(p, code);
    }

    std::string temp_, marker_, plantedEngine_, plantedDll_;
};

TEST_F(PlantedFiles, EngineAndDllPlantedInTheNewFolderAreNeverRun) {
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar markerVar("VEL_PLANTED_MARKER", marker_);
    EnvVar load("VEL_ENGINE_LOAD_DLL", "version.dll");
    FolderWatcher watcher(temp_, {{plantedEngine_, "Engine.exe"}, {plantedDll_, "version.dll"}});
    long code = 0;
    const std::vector<std::string> boxes = RunAnswering(code);
    watcher.Stop();
    ASSERT_EQ(watcher.Planted().size(), 2u) << "the watcher planted nothing: the test proves nothing";
    // The stub does not write into a file it did not make: it says so, and starts nothing.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Unable to save Extracted File!"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Engine.exe"), std::string::npos) << boxes[0];
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(Record().Has("CommandLine")) << "an engine ran: " << Record().Get("ExePath");
    ExpectNothingPlantedRan();
    EXPECT_EQ(testsupport::FolderNames(temp_), std::vector<std::string>()) << "the folder was left behind";
}

TEST_F(PlantedFiles, DllPlantedAloneStopsTheRunBeforeTheEngine) {
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar markerVar("VEL_PLANTED_MARKER", marker_);
    EnvVar load("VEL_ENGINE_LOAD_DLL", "version.dll");
    FolderWatcher watcher(temp_, {{plantedDll_, "version.dll"}});
    long code = 0;
    const std::vector<std::string> boxes = RunAnswering(code);
    watcher.Stop();
    ASSERT_EQ(watcher.Planted().size(), 1u) << "the watcher planted nothing: the test proves nothing";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("version.dll"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("This file was not written by the setup."), std::string::npos) << boxes[0];
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(Record().Has("CommandLine")) << "the engine ran beside the planted DLL";
    ExpectNothingPlantedRan();
}

TEST_F(PlantedFiles, PremadeFolderWithAPlantedEngineIsNeverUsed) {
    const std::string name = "SETUP_" + std::to_string(DosTimeOf(opt_.output) & 0xFFFF);
    const std::string premade = temp_ + "\\" + name;
    ASSERT_TRUE(CreateDirectoryA(premade.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(plantedEngine_.c_str(), (premade + "\\Engine.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(plantedDll_.c_str(), (premade + "\\version.dll").c_str(), FALSE));
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar markerVar("VEL_PLANTED_MARKER", marker_);
    EnvVar load("VEL_ENGINE_LOAD_DLL", "version.dll");
    long code = 0;
    const std::vector<std::string> boxes = RunAnswering(code);
    for (const auto& b : boxes) ADD_FAILURE() << "unexpected box: " << b;
    EXPECT_EQ(code, 0);
    // The real engine ran from a folder of the stub's own, and loaded the system's DLL.
    const EngineRecord r = Record();
    const std::string folder = FolderOf(r.Get("ExePath"));
    EXPECT_EQ(folder.rfind(premade + "_", 0), 0u) << folder;
    ExpectAllFilesExtracted(r);
    EXPECT_EQ(r.Count("CommandLine"), 1);
    const std::string loaded = r.Get("LoadedDll");
    EXPECT_NE(loaded, "none");
    EXPECT_EQ(loaded.find(temp_), std::string::npos) << loaded;
    ExpectNothingPlantedRan();
    // What was found is left as it was, and nothing of the setup went into it.
    EXPECT_EQ(testsupport::FolderNames(premade), (std::vector<std::string>{"Engine.exe", "version.dll"}));
    EXPECT_TRUE(ReadWholeFile(premade + "\\Engine.exe") == ReadWholeFile(plantedEngine_)) << "the planted file was changed";
}

// Whether this platform keeps a folder's security descriptor: Wine makes one up from the Unix
// file modes, whatever was set.
bool PlatformKeepsFolderSecurity(const std::string& scratch) {
    const std::string probe = scratch + "\\acl-probe";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                              &sd, nullptr))
        return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    const bool made = CreateDirectoryA(probe.c_str(), &sa);
    LocalFree(sd);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR got = nullptr;
    bool kept = false;
    if (made && GetNamedSecurityInfoA(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &dacl, nullptr, &got) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        kept = GetSecurityDescriptorControl(got, &control, &revision) && (control & SE_DACL_PROTECTED);
        LocalFree(got);
    }
    RemoveDirectoryA(probe.c_str());
    return kept;
}

std::string SidString(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    const std::string s = text;
    LocalFree(text);
    return s;
}

TEST_F(StubRun, ExtractionFolderOfAnElevatedRunIsForSystemAndAdministratorsOnly) {
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "4000");  // holds the run while the folder is read
    StubProcess p;
    ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
    ASSERT_TRUE(EngineStarted()) << "engine did not start";
    const std::string folder = FolderOf(Record().Get("ExePath"));
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    &owner, nullptr, &dacl, nullptr, &sd),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
    ASSERT_NE(dacl, nullptr);
    std::vector<std::string> entries;  // "SID flags mask" of every entry
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        char facts[64];
        snprintf(facts, sizeof facts, " %X %lX", allowed->Header.AceFlags, static_cast<unsigned long>(allowed->Mask));
        entries.push_back(SidString(const_cast<DWORD*>(&allowed->SidStart)) + facts);
    }
    const std::string ownerSid = SidString(owner);
    LocalFree(sd);
    std::sort(entries.begin(), entries.end());
    if (PlatformKeepsFolderSecurity(dir_.Path())) {
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder inherits its parent's entries";
        EXPECT_EQ(entries, (std::vector<std::string>{"S-1-5-18 3 1F01FF", "S-1-5-32-544 3 1F01FF"}));
        EXPECT_TRUE(ownerSid == "S-1-5-32-544" || ownerSid == "S-1-5-18") << ownerSid;
    } else {
        // Wine keeps no security descriptors: it shows the owner (the user) and SYSTEM, plus
        // Everyone when the Unix modes let others in. The folder's modes must keep them out.
        for (const auto& e : entries) {
            const std::string sid = e.substr(0, e.find(' '));
            EXPECT_TRUE(sid == "S-1-5-18" || sid == ownerSid) << "access for " << e;
        }
    }
    EXPECT_EQ(p.Wait(), 0);
}

// ---- The stub window's requests --------------------------------------------------------------

// The window of a process's stub, found by its class; null when it does not show up in time.
TEST_F(StubRun, FirstCloseDuringTheEngineRunKeepsTheWindowASecondOneClosesIt) {
    Build();
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "8000");
    EnvVar code("VEL_ENGINE_EXIT", "5");
    StubProcess p;
    ASSERT_TRUE(p.Start(Quoted(opt_.output), dir_.Path()));
    ASSERT_TRUE(EngineStarted()) << "engine did not start";
    const HWND wnd = FindWindowA(opt_.output.c_str(), nullptr);
    ASSERT_NE(wnd, nullptr);

    PostMessageA(wnd, WM_CLOSE, 0, 0);
    Pump(1500);
    EXPECT_TRUE(IsWindow(wnd)) << "the first close request only stops a download";

    PostMessageA(wnd, WM_CLOSE, 0, 0);
    const DWORD asked = GetTickCount();
    while (IsWindow(wnd) && GetTickCount() - asked < 5000) Pump(100);
    EXPECT_FALSE(IsWindow(wnd)) << "the second close request closes the window";
    // The stub still waits for the engine it started and passes its exit code on.
    EXPECT_FALSE(Record().Has("ExitCode"));
    EXPECT_TRUE(p.Running());
    EXPECT_EQ(p.Wait(), 5);
    EXPECT_TRUE(Record().Has("ExitCode"));
}

TEST_F(StubRun, AgentCopyWindowRegistersAClientAndEndsOnItsShutDownCountdown) {
    // An agent copy: the stub named "X_" + the agent name, marked as an update agent.
    std::string languages;
    IniFile ini;
    ini.Parse("[English]\r\ns0=Agent\r\n");
    ASSERT_EQ(MakeLanguageBlock(ini, languages), "");
    PackageContent content;
    content.stubImage = ReadWholeFile(StubUnderTest());
    content.languageBlock = languages;
    content.settingsList = "|http://127.0.0.1:9/|upd.info|Updater.exe|||";
    content.trailer.SetUpdateAgent(true);
    const std::string copy = out_ + "\\X_Updater.exe";
    PackageWriter w;
    ASSERT_EQ(w.Begin(copy, content), "");
    ASSERT_EQ(w.Finish(), "");

    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());
    NotifyClient client;
    ASSERT_NE(client.Window(), nullptr);
    StubProcess p;
    // Sixty idle ticks before a shot would be considered: only the countdown can end it sooner.
    ASSERT_TRUE(p.Start(Quoted(copy) + " /SleepX=60", out_));
    const HWND agent = WaitForWindowOfClass(".AutoUpdate.X_Updater", 30000);
    ASSERT_NE(agent, nullptr) << trace.Text();

    PostMessageA(agent, 1124, reinterpret_cast<WPARAM>(client.Window()), NotifyClient::kMessage);  // wm_LocalMsg
    ASSERT_TRUE(client.WaitForCount(2, 10000));
    EXPECT_EQ(NotifyClient::Received()[0], std::make_pair(WPARAM(50), reinterpret_cast<LPARAM>(agent)));
    EXPECT_EQ(NotifyClient::Received()[1], std::make_pair(WPARAM(51), LPARAM(1125)));

    ASSERT_TRUE(trace.WaitFor(" AutoUpdateTimerCount=-58", 10000)) << trace.Text();
    const DWORD asked = GetTickCount();
    PostMessageA(agent, 1123, 1, 0);  // wm_ShutDown: quit at the second tick from now
    EXPECT_EQ(p.Wait(15000), 0);
    EXPECT_LT(GetTickCount() - asked, 8000u);
    ASSERT_TRUE(client.WaitForCount(3, 5000));
    EXPECT_EQ(NotifyClient::Received()[2], std::make_pair(WPARAM(43), LPARAM(0)));
    EXPECT_EQ(NotifyClient::Received().size(), 3u);
    EXPECT_FALSE(trace.Contains("update cycle not implemented")) << trace.Text();
}

TEST_F(StubRun, StubPathLongerThanAClassNameStillRunsOnceAndFindsItsSecondInstance) {
    Build();
    // A folder deep enough that the setup file's full path is 258 characters: longer than a window
    // class name may be, and still short enough for the system's ordinary path calls.
    const std::string setupName = "\\setup.exe";
    std::string folder = dir_.Path();
    while (folder.size() + setupName.size() < 258) {
        const size_t room = 258 - folder.size() - setupName.size() - 1;
        folder += "\\" + std::string(room < 100 ? room : 100, 'p');
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    const std::string setup = folder + setupName;
    ASSERT_EQ(setup.size(), 258u);
    ASSERT_TRUE(CopyFileA(opt_.output.c_str(), setup.c_str(), FALSE));

    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "6000");
    TraceCapture trace;
    ASSERT_TRUE(trace.Ready());
    StubProcess first;
    ASSERT_TRUE(first.Start(Quoted(setup), dir_.Path()));
    ASSERT_TRUE(EngineStarted()) << "engine did not start: " << trace.Text();
    // The second instance from the same path finds the first one's window and does nothing.
    StubProcess second;
    ASSERT_TRUE(second.Start(Quoted(setup), dir_.Path()));
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(Record().Count("CommandLine"), 1);
    EXPECT_NE(Record().Get("CommandLine").find("/OriginExe=" + Quoted(setup)), std::string::npos);
    ExpectAllFilesExtracted(Record());
    EXPECT_TRUE(trace.Contains("DoRunStubWin: SecondInstance")) << trace.Text();
}

// ---- Web setups: the setup file fetched from the loopback test servers ---------------------------

constexpr char kWebSetupName[] = "WebSetupFile.exe";

// Finds the stub window by its class (the stub's path) and tells whether it was ever visible.
struct WindowWatch {
    std::string cls;
    HWND wnd = nullptr;
    bool seenVisible = false;
    void Look() {
        if (!wnd || !IsWindow(wnd)) wnd = FindWindowA(cls.c_str(), nullptr);
        if (wnd && IsWindowVisible(wnd)) seenVisible = true;
    }
};

// A web stub (out/websetup.exe) whose setup file is built apart (built/) and served by the test
// servers; the stub runs with a temp folder of its own, which must be empty after every run.
class WebRun : public StubRun {
protected:
    void SetUp() override {
        StubRun::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(testsupport::ServersUp() || Offline()) << "run this test through tests/servers/with-servers.sh";
        built_ = dir_.File("built");
        temp_ = dir_.File("temp");
        CreateDirectoryA(built_.c_str(), nullptr);
        CreateDirectoryA(temp_.c_str(), nullptr);
        opt_.output = built_ + "\\" + kWebSetupName;
        web_.output = out_ + "\\websetup.exe";
        web_.downloadToken = "token-A";
    }
    void TearDown() override { DeleteFileA(Served(kWebSetupName).c_str()); }

    static std::string Served(const std::string& name) { return testsupport::ServerFile("www/" + name); }
    // A session that sees no network (scripts/offline-session.sh): no servers either.
    static bool Offline() { return !testsupport::Env("VEL_OFFLINE_SESSION").empty(); }

    // Builds the setup file and its web stub for a download location; nginx serves the setup file.
    void BuildWeb(const std::string& location) {
        web_.location = location;
        BuildReport report;
        ASSERT_EQ(BuildWebSetup(opt_, web_, report), "");
        if (!Offline()) {
            ASSERT_TRUE(CopyFileA(opt_.output.c_str(), Served(kWebSetupName).c_str(), FALSE));
        }
    }

    // Starts the web stub with its own temp folder.
    bool Start(StubProcess& p, const std::string& args) {
        EnvVar tmp("TMP", temp_), temp("TEMP", temp_);
        return p.Start(Quoted(web_.output) + " " + args, dir_.Path());
    }

    // Runs the web stub to its end, answering no box, watching its window; the exit code.
    long RunWeb(const std::string& args, WindowWatch* watch = nullptr) {
        StubProcess p;
        if (!Start(p, args)) return -2;
        const DWORD start = GetTickCount();
        while (p.Running() && GetTickCount() - start < kRunLimitMs) {
            if (watch) watch->Look();
            if (HWND box = WaitForBox(p, 100)) {
                ADD_FAILURE() << "unexpected box: " << BoxText(box);
                for (const char* b : {"&OK", "&No", "&Cancel"}) ClickButton(box, b);
                WaitUntilGone(box);
            }
        }
        return p.Wait();
    }

    static void WaitUntilGone(HWND box) {
        const DWORD start = GetTickCount();
        while (IsWindow(box) && GetTickCount() - start < 10000) Pump(50);
    }

    // Runs the web stub expecting one error box holding text: exit code 1, no engine, nothing left
    // in its temp folder.
    void ExpectFailure(const std::string& text, const std::string& args = std::string()) {
        DeleteFileA(record_.c_str());
        EnvVar tmp("TMP", temp_), temp("TEMP", temp_);
        ExpectFailureBox(Quoted(web_.output) + " " + args, text);
        ExpectTempEmpty();
    }

    void ExpectTempEmpty() const {
        const std::vector<std::string> none;
        EXPECT_EQ(testsupport::FolderNames(temp_), none);
    }

    // Rewrites the web stub with another download token and no SHA-256 item, as web stubs were
    // built before the item existed.
    void RewriteStubWithoutHash(const std::string& token) {
        const TGFileInfo reader(web_.output);
        PackageContent content;
        content.stubImage = ReadWholeFile(StubUnderTest());
        content.languageBlock = reader.LanguageBlock();
        content.settingsList = reader.SettingsList();
        content.hasWebList = true;
        content.webList = "|" + reader.DownloadLocation() + "|" + reader.SetupFileName() + "|0|" +
                          ScrambleItem(token) + "|" + reader.SetupFileSize() + "|";
        content.trailer = reader.Trailer();
        PackageWriter w;
        ASSERT_EQ(w.Begin(web_.output, content), "");
        ASSERT_EQ(w.Finish(), "");
        ASSERT_EQ(TGFileInfo(web_.output).SetupFileSha256(), "");
    }

    std::string built_, temp_;
    WebOptions web_;
};

TEST_F(WebRun, DownloadsTheSetupFileAndRunsItsEngine) {
    opt_.writeAgentImage = true;
    opt_.agentName = "Agent.exe";
    const std::string host = "velnor-web.invalid";  // only the proxy can answer it
    const struct {
        const char* what;
        std::string location;
        bool proxy;
        bool withoutHash;
    } cases[] = {
        {"plain HTTP", testsupport::HttpUrl(""), false, false},
        {"HTTPS with a trusted certificate", testsupport::HttpsUrl("VEL_HTTPS_PORT", "/"), false, false},
        {"no Content-Length", testsupport::FaultUrl("/file/chunked"), false, false},
        {"through the system proxy", "http://" + host, true, false},
        {"web stub without SHA-256", testsupport::HttpUrl(""), false, true},
    };
    testsupport::TrustedTestCa ca;
    ASSERT_TRUE(ca.Added());
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar code("VEL_ENGINE_EXIT", "7");
    const std::string copy = dir_.File("copy");
    EnvVar copyTo("VEL_ENGINE_COPY_TO", copy);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BuildWeb(c.location);
        if (c.withoutHash) RewriteStubWithoutHash(web_.downloadToken);
        DeleteFileA(record_.c_str());
        std::unique_ptr<testsupport::SystemProxy> proxy;
        if (c.proxy) proxy.reset(new testsupport::SystemProxy("127.0.0.1:" + testsupport::Env("VEL_PROXY_PORT")));
        EXPECT_EQ(RunWeb("/y"), 7);  // the engine's exit code is the stub's
        proxy.reset();

        const EngineRecord r = Record();
        ExpectAllFilesExtracted(r);
        EXPECT_NE(r.Get("CommandLine").find(" /y /x /TH_ID="), std::string::npos) << r.Get("CommandLine");
        EXPECT_NE(r.Get("CommandLine").find("/OriginExe=" + Quoted(web_.output)), std::string::npos);
        ExpectTempEmpty();  // the download is deleted after the run
        // The web stub wrote itself as the update agent into the extraction folder.
        std::string agent = ReadWholeFile(web_.output);
        EXPECT_EQ(LevelOf(agent), ExecutionLevel::RequireAdministrator);
        ASSERT_TRUE(MakeWebAgentImage(agent));
        EXPECT_EQ(LevelOf(ReadWholeFile(copy + "\\Agent.exe")), ExecutionLevel::AsInvoker);
        EXPECT_TRUE(ReadWholeFile(copy + "\\Agent.exe") == agent) << "agent image";
        DeleteFileA((copy + "\\Agent.exe").c_str());
        if (c.proxy) {
            const std::string log = ReadWholeFile(testsupport::ServerFile("proxy.log"));
            EXPECT_NE(log.find("GET http://" + host + ":80/" + kWebSetupName), std::string::npos) << log;
        }
    }
}

TEST_F(WebRun, AsksBeforeTheDownloadUnlessHidden) {
    web_.askBeforeDownload = true;
    // Served slowly, so that the window can be watched during the download.
    BuildWeb(testsupport::FaultUrl("/file/slow/150"));
    const std::string size = FormatSpaceMB(double(ReadWholeFile(opt_.output).size()));
    EnvVar rec("VEL_ENGINE_RECORD", record_);

    // "/hide": no question, the window stays hidden, the engine runs hidden.
    WindowWatch hidden{web_.output};
    EXPECT_EQ(RunWeb("/hide", &hidden), 0);
    EXPECT_TRUE(hidden.wnd != nullptr) << "the stub window was never found";
    EXPECT_FALSE(hidden.seenVisible);
    EXPECT_EQ(Record().Get("ShowWindow"), "0");

    const struct { const char* button; bool engineRuns; } answers[] = {{"&No", false}, {"&Yes", true}};
    for (const auto& a : answers) {
        SCOPED_TRACE(a.button);
        DeleteFileA(record_.c_str());
        StubProcess p;
        ASSERT_TRUE(Start(p, ""));
        HWND box = WaitForBox(p, 30000);
        ASSERT_NE(box, nullptr);
        const std::string text = BoxText(box);
        EXPECT_NE(text.find("INTERNET DOWNLOAD"), std::string::npos) << text;
        EXPECT_NE(text.find("Size: " + size + " MB"), std::string::npos) << text;
        ASSERT_TRUE(ClickButton(box, a.button));
        WaitUntilGone(box);
        WindowWatch shown{web_.output};
        while (p.Running()) {
            shown.Look();
            if (HWND other = WaitForBox(p, 100)) {
                ADD_FAILURE() << "unexpected box: " << BoxText(other);
                ClickButton(other, "&OK");
                WaitUntilGone(other);
            }
        }
        EXPECT_EQ(p.Wait(), 0);  // No ends silently
        EXPECT_EQ(Record().Has("CommandLine"), a.engineRuns);
        EXPECT_EQ(shown.seenVisible, a.engineRuns);  // the window shows the download
        ExpectTempEmpty();
    }
}

TEST_F(WebRun, CopyBesideTheStubIsUsedUnlessDownloadOnly) {
    const std::string missing = testsupport::HttpUrl("/missing");  // a download would fail
    BuildWeb(missing);
    const std::string beside = out_ + "\\" + kWebSetupName;
    ASSERT_TRUE(CopyFileA(opt_.output.c_str(), beside.c_str(), FALSE));
    EnvVar rec("VEL_ENGINE_RECORD", record_);

    EXPECT_EQ(RunWeb(""), 0);
    ExpectAllFilesExtracted(Record());
    EXPECT_EQ(ReadWholeFile(testsupport::ServerFile("nginx-access.log")).find("/missing"), std::string::npos)
        << "nothing is downloaded";
    EXPECT_EQ(ReadWholeFile(beside), ReadWholeFile(opt_.output)) << "the copy stays";
    ExpectTempEmpty();

    // A copy beside the stub goes through the same checks.
    std::string altered = ReadWholeFile(opt_.output);
    altered[altered.size() / 2] ^= 0x01;
    ASSERT_TRUE(WriteWholeFile(beside, altered));
    ExpectFailure("The downloaded setup file is damaged or has been altered.");
    EXPECT_EQ(ReadWholeFile(beside), altered);

    // DownloadOnly: the copy is ignored and the download is tried.
    ASSERT_TRUE(CopyFileA(opt_.output.c_str(), beside.c_str(), FALSE));
    web_.downloadOnly = true;
    BuildWeb(missing);
    ExpectFailure("404 File Not Found");
}

TEST_F(WebRun, FailuresShowABoxAndStartNothing) {
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    const struct {
        const char* what;
        std::string location;
        std::string setupName;  // as fetched; empty: the setup file
        const char* box;
    } cases[] = {
        {"no such file (404 page)", testsupport::HttpUrl("/missing"), "", "404 File Not Found"},
        {"zero length", testsupport::FaultUrl(""), "empty", "empty --- File Not Found !"},
        {"dropped connection", testsupport::FaultUrl("/drop/100000"), "40000",
         "40000 --- Download incomplete (40000 of 100000 bytes)"},
        {"untrusted certificate", testsupport::HttpsUrl("VEL_HTTPS_SELF_PORT", ""), "",
         "Unable to open Internet Connection"},
        // A server that sends some other file under the name: not the file the stub was built for.
        {"wrong file", testsupport::HttpUrl(""), "", "The downloaded setup file is damaged or has been altered."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        web_.setupFileName = c.setupName;
        BuildWeb(c.location);
        if (std::string(c.what) == "wrong file") {
            // Built with the same (public) download token from other files.
            const BuildOptions own = opt_;
            opt_.output = built_ + "\\other.exe";
            ASSERT_TRUE(WriteWholeFile(input_ + "\\readme.txt", "Something else.\r\n"));
            BuildReport report;
            WebOptions other = web_;
            other.output = built_ + "\\otherweb.exe";
            other.setupFileName = kWebSetupName;
            ASSERT_EQ(BuildWebSetup(opt_, other, report), "");
            ASSERT_TRUE(CopyFileA(opt_.output.c_str(), Served(kWebSetupName).c_str(), FALSE));
            opt_ = own;
        }
        ExpectFailure(c.box);
    }
}

TEST_F(WebRun, DownloadedFileCannotBeChangedOrSwappedOnceChecked) {
    BuildWeb(testsupport::HttpUrl(""));
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar sleep("VEL_ENGINE_SLEEP_MS", "4000");
    StubProcess p;
    ASSERT_TRUE(Start(p, ""));
    ASSERT_TRUE(EngineStarted()) << "engine did not start";
    // The engine runs: the file was hashed and extracted and is still held.
    const std::string downloaded = temp_ + "\\" + kWebSetupName;
    HANDLE writer = CreateFileA(downloaded.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer got in";
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(MoveFileA(downloaded.c_str(), (downloaded + ".away").c_str())) << "the file could be renamed";
    EXPECT_TRUE(ReadWholeFile(downloaded) == ReadWholeFile(opt_.output)) << "readers are let in";
    EXPECT_EQ(p.Wait(), 0);
    ExpectTempEmpty();
}

TEST_F(WebRun, AnotherTokenIsRejectedAndTheDownloadDeleted) {
    BuildWeb(testsupport::HttpUrl(""));
    RewriteStubWithoutHash("token-B");
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    ExpectFailure("Bad Secret Token!");
}

// Runs in a Wine session of its own inside a network namespace with only loopback (ctest
// stubrun_offline, scripts/offline-session.sh), where the system reports no connection.
TEST_F(WebRun, OfflineMachineSaysSoEvenAfterNo) {
    if (!Offline()) GTEST_SKIP() << "needs an offline session: ctest stubrun_offline";
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    BuildWeb("http://127.0.0.1:9");
    ExpectFailure("Can not Download File!");

    web_.askBeforeDownload = true;
    BuildWeb("http://127.0.0.1:9");
    StubProcess p;
    ASSERT_TRUE(Start(p, ""));
    HWND question = WaitForBox(p, 30000);
    ASSERT_NE(question, nullptr);
    EXPECT_NE(BoxText(question).find("INTERNET DOWNLOAD"), std::string::npos) << BoxText(question);
    ASSERT_TRUE(ClickButton(question, "&No"));
    WaitUntilGone(question);
    HWND box = WaitForBox(p, 30000);
    ASSERT_NE(box, nullptr) << "an offline machine says so after No too";
    EXPECT_NE(BoxText(box).find("Can not Download File!"), std::string::npos) << BoxText(box);
    ClickButton(box, "&OK");
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_FALSE(Record().Has("CommandLine"));
    ExpectTempEmpty();
}

TEST_F(WebRun, FirstCloseDuringASlowDownloadAbortsItAndKeepsTheWindow) {
    SetLanguage("[English]\r\ns0=Test Setup\r\ns10=Lade die Installation...\r\nCharset=0\r\n");
    // 4 KiB every 50 ms: about 50 s for the whole file.
    web_.setupFileName = "50";
    BuildWeb(testsupport::FaultUrl("/trickle/4000000/4096"));
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    StubProcess p;
    ASSERT_TRUE(Start(p, ""));
    WindowWatch watch{web_.output};
    const DWORD start = GetTickCount();
    while (!watch.seenVisible && p.Running() && GetTickCount() - start < 30000) {
        watch.Look();
        Pump(100);
    }
    ASSERT_TRUE(watch.seenVisible) << "the download did not show the window";
    Pump(1000);
    // The status line says what is going on, in the package's language.
    char status[128] = {};
    GetWindowTextA(FindWindowExA(watch.wnd, nullptr, "Static", nullptr), status, sizeof status);
    EXPECT_STREQ(status, "Lade die Installation...");
    const DWORD asked = GetTickCount();
    PostMessageA(watch.wnd, WM_CLOSE, 0, 0);
    HWND box = WaitForBox(p, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_LT(GetTickCount() - asked, 10000u) << "the download should stop after the current chunk";
    EXPECT_TRUE(IsWindow(watch.wnd)) << "the first close request only stops the download";
    EXPECT_NE(BoxText(box).find("Download Aborted"), std::string::npos) << BoxText(box);
    ClickButton(box, "&OK");
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_FALSE(Record().Has("CommandLine"));
    ExpectTempEmpty();
}

// ---- Broken connections: the cutting relay in front of nginx breaks the setup file's reply -------

// What the relay counted for the setup file fetched through "/cut/PLAN".
testsupport::RelayCounts SetupFileCounts(const std::string& plan) {
    return testsupport::RelayCountsOf(plan + "/" + kWebSetupName);
}

TEST_F(WebRun, BrokenDownloadIsResumedAndTheSetupRuns) {
    const struct {
        const char* what;
        const char* plan;
        double mostBody;  // bytes of the file relayed, in file sizes
    } cases[] = {
        {"dropped at 30 %", "30p", 1.05},
        {"dropped at 95 %", "95p", 1.05},
        // A 200 to the range request: the file comes again from its first byte.
        {"server without ranges, dropped at 30 %", "30p,norange", 1.35},
    };
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BuildWeb(testsupport::RelayUrl(std::string("/cut/") + c.plan));
        const double size = double(ReadWholeFile(opt_.output).size());
        DeleteFileA(record_.c_str());
        EXPECT_EQ(RunWeb(""), 0);
        ExpectAllFilesExtracted(Record());
        const testsupport::RelayCounts n = SetupFileCounts(c.plan);
        EXPECT_EQ(n.cuts, 1) << "the relay did not break the download";
        EXPECT_GE(n.body, size);
        EXPECT_LE(double(n.body), c.mostBody * size);
        ExpectTempEmpty();
    }
}

TEST_F(WebRun, SetupFileReplacedBetweenAttemptsFailsItsSha256) {
    const std::string plan = "30p,swap";
    BuildWeb(testsupport::RelayUrl("/cut/" + plan));
    // What the server holds after the cut: another setup file under the same (public) token.
    const BuildOptions own = opt_;
    opt_.output = built_ + "\\other.exe";
    ASSERT_TRUE(WriteWholeFile(input_ + "\\readme.txt", std::string(5000, 'x')));
    WebOptions other = web_;
    other.output = built_ + "\\otherweb.exe";
    other.setupFileName = kWebSetupName;
    BuildReport report;
    ASSERT_EQ(BuildWebSetup(opt_, other, report), "");
    const std::string swap = Served(std::string(kWebSetupName) + ".swap");
    ASSERT_TRUE(CopyFileA(opt_.output.c_str(), swap.c_str(), FALSE));
    opt_ = own;

    ExpectFailure("The downloaded setup file is damaged or has been altered.");
    EXPECT_EQ(SetupFileCounts(plan).cuts, 1) << "the relay did not break the download";
    EXPECT_TRUE(ReadWholeFile(Served(kWebSetupName)) == ReadWholeFile(built_ + "\\other.exe"))
        << "the file was not replaced after the cut";
    DeleteFileA(swap.c_str());
}

// Headers, then silence: the download fails at the stall deadline (60 s) with a box, no engine,
// nothing left in the temp folder.
TEST_F(WebRun, StalledReplyFailsAtTheStallDeadline) {
    BuildWeb(testsupport::RelayUrl("/cut/0,stall"));
    EnvVar rec("VEL_ENGINE_RECORD", record_);
    EnvVar tmp("TMP", temp_), temp("TEMP", temp_);
    StubProcess p;
    ASSERT_TRUE(p.Start(Quoted(web_.output), dir_.Path()));
    const DWORD start = GetTickCount();
    HWND box = WaitForBox(p, 120000);
    ASSERT_NE(box, nullptr) << "no failure within 60 s of silence and a margin";
    const DWORD took = GetTickCount() - start;
    const std::string text = BoxText(box);
    EXPECT_NE(text.find(std::string(kWebSetupName) + " --- "), std::string::npos) << text;
    EXPECT_NE(text.find("the server sent nothing for 60 seconds"), std::string::npos) << text;
    EXPECT_GE(took, 60000u) << text;
    ClickButton(box, "&OK");
    EXPECT_EQ(p.Wait(), 1);
    EXPECT_FALSE(Record().Has("CommandLine"));
    EXPECT_EQ(SetupFileCounts("0,stall").cuts, 1) << "the relay did not stall the reply";
    ExpectTempEmpty();
}

}  // namespace
}  // namespace vel
