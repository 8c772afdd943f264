// Process lists, tasklist parsing, name matching and main-window weighting, without a system.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "util/ProcessList.h"

using namespace vel;

namespace {

// Recorded "tasklist /FO csv" output of an English Windows 10 (trimmed to a few rows): two
// instances of the product, a name with blanks, thousands separators in the memory column.
const char* const kTasklistEnglish =
    "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
    "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
    "\"System\",\"4\",\"Services\",\"0\",\"2,316 K\"\r\n"
    "\"svchost.exe\",\"1012\",\"Services\",\"0\",\"27,676 K\"\r\n"
    "\"explorer.exe\",\"6212\",\"Console\",\"1\",\"118,424 K\"\r\n"
    "\"prod.exe\",\"2212\",\"Console\",\"1\",\"15,104 K\"\r\n"
    "\"Acme Helper.exe\",\"4410\",\"Console\",\"1\",\"3,020 K\"\r\n"
    "\"prod.exe\",\"7740\",\"Console\",\"1\",\"12,000 K\"\r\n"
    "\"tasklist.exe\",\"9988\",\"Console\",\"1\",\"9,148 K\"\r\n";

// The same program on a German system: other header, "." as thousands separator; leading blank
// line and trailing blank lines as the console sometimes leaves them.
const char* const kTasklistGerman =
    "\r\n"
    "\"Abbildname\",\"PID\",\"Sitzungsname\",\"Sitz.-Nr.\",\"Speichernutzung\"\r\n"
    "\"System\",\"4\",\"Services\",\"0\",\"1.916 K\"\r\n"
    "\"winlogon.exe\",\"812\",\"Console\",\"1\",\"10.240 K\"\r\n"
    "\"prod.exe\",\"3300\",\"Console\",\"1\",\"8.004 K\"\r\n"
    "\r\n\r\n";

TEST(TasklistPid, FindsFirstMatchingImageInRecordedOutput) {
    struct Case {
        const char* output;
        const char* path;
        uint32_t pid;
    } cases[] = {
        {kTasklistEnglish, "C:\\Program Files\\Prod\\prod.exe", 2212},  // first of two instances
        {kTasklistEnglish, "PROD.EXE", 2212},
        {kTasklistEnglish, "C:\\Tools\\Acme Helper.exe", 4410},
        {kTasklistEnglish, "explorer.exe", 6212},
        {kTasklistEnglish, "Image Name", 0},           // the header line never yields a pid
        {kTasklistEnglish, "System Idle Process", 0},  // pid 0 does not count
        {kTasklistEnglish, "missing.exe", 0},
        {kTasklistEnglish, "C:\\dir\\", 0},            // no file name
        {kTasklistGerman, "d:\\x\\Prod.exe", 3300},
        {kTasklistGerman, "winlogon.exe", 812},
        {"", "prod.exe", 0},
        {"\"prod.exe\",\"12\"\n\"other.exe\",\"13\"\n", "other.exe", 13},  // line feeds alone
    };
    for (const Case& c : cases) EXPECT_EQ(TasklistPid(c.output, c.path), c.pid) << c.path;
}

TEST(CaptureCommandLine, QuotesProgramWithBlankUnlessAlreadyQuoted) {
    struct Case {
        const char* program;
        const char* params;
        const char* line;
    } cases[] = {
        {"C:\\Program Files\\Tool\\t.exe", "/a /b", "\"C:\\Program Files\\Tool\\t.exe\" /a /b"},
        {"C:\\Program Files\\Tool\\t.exe", "", "\"C:\\Program Files\\Tool\\t.exe\""},
        {"\"C:\\Program Files\\Tool\\t.exe\"", "-x", "\"C:\\Program Files\\Tool\\t.exe\" -x"},
        {"C:\\a\"b c.exe", "", "C:\\a\"b c.exe"},  // holds a quotation mark: passed as it is
        {"tasklist.exe", "/FO csv", "tasklist.exe /FO csv"},
    };
    for (const Case& c : cases) EXPECT_EQ(CaptureCommandLine(c.program, c.params), c.line) << c.program;
}

// Short forms of a tiny imaginary file system; anything else has none.
std::string FakeShortPath(const std::string& path) {
    static const std::map<std::string, std::string> known = {
        {"C:\\Program Files\\Prod\\LongProductName.exe", "C:\\PROGRA~1\\Prod\\LONGPR~1.EXE"},
        {"C:\\PROGRA~1\\Prod\\LONGPR~1.EXE", "C:\\PROGRA~1\\Prod\\LONGPR~1.EXE"},
        {"LongProductName.exe", "LONGPR~1.EXE"},
        {"LONGPR~1.EXE", "LONGPR~1.EXE"},
    };
    auto it = known.find(path);
    return it == known.end() ? std::string() : it->second;
}

TEST(ProcessPathMatches, FullPathBaseNameAndShortPath) {
    const std::string full = "C:\\Program Files\\Prod\\LongProductName.exe";
    struct Case {
        std::string path;
        bool pathOnly;
        bool match;
    } cases[] = {
        {full, false, true},
        {" c:\\program files\\prod\\LONGPRODUCTNAME.EXE ", true, true},
        {"LongProductName.exe", false, true},
        {"LongProductName.exe", true, false},  // the bare name may not match with pathOnly
        {"C:\\PROGRA~1\\Prod\\LONGPR~1.EXE", true, true},
        {"C:\\Other\\LongProductName.exe", false, false},
        {"C:\\Other\\Unknown.exe", false, false},  // neither side of a missing short form matches
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessPathMatches(c.path, full, "LongProductName.exe", c.pathOnly, FakeShortPath), c.match)
            << c.path << " pathOnly=" << c.pathOnly;
    // Two paths without short forms are not the same program.
    EXPECT_FALSE(SameShortPath("C:\\x\\a.exe", "C:\\y\\b.exe", [](const std::string&) { return std::string(); }));
}

TEST(ProcessList, ZipReverseAndLookup) {
    const std::string list = ZipProcessList("|explorer.exe|prod.exe|LongProductName.exe|prod.exe|",
                                            "|1460|2212|3000|2300|");
    EXPECT_EQ(list, "|explorer.exe=1460|prod.exe=2212|LongProductName.exe=3000|prod.exe=2300|");
    struct Case {
        const char* name;
        uint32_t pid;
    } cases[] = {
        {"prod.exe", 2300},  // the entry listed last is met first
        {" PROD.EXE ", 2300},
        {"Explorer.EXE", 1460},
        {"LONGPR~1.EXE", 3000},  // by short path
        {"nothing.exe", 0},
        {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(LookupProcessList(list, c.name, FakeShortPath), c.pid) << c.name;

    // Names that have no short form never match each other through it.
    auto none = [](const std::string&) { return std::string(); };
    EXPECT_EQ(LookupProcessList("|a.exe=5|", "b.exe", none), 0u);
    // A file name may contain "="; the pid follows the last one.
    EXPECT_EQ(LookupProcessList("|x=y.exe=77|", "x=y.exe", none), 77u);
    EXPECT_EQ(LookupProcessList("", "a.exe", none), 0u);
}

TEST(ProcessList, PsapiEntryNames) {
    struct Case {
        uint32_t pid;
        uint32_t osFlag;
        const char* name;
    } cases[] = {
        {0, 32, "System Idle Process"}, {2, 8, "System Process"}, {8, 16, "System Process"},
        {2, 32, "mod.exe"},             {8, 32, "mod.exe"},       {4, 16, "mod.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(PsapiEntryName(c.pid, "mod.exe", c.osFlag), c.name) << c.pid;
}

TEST(TProcessData, OneRowPerNameStopsAtFilters) {
    TProcessData d;
    d.nameFilter = "*";
    EXPECT_TRUE(d.AddWindow(10, "a.exe", "ClsA", 100, 5, "Alpha", true));
    EXPECT_TRUE(d.AddWindow(10, " A.EXE", "ClsA2", 101, 5, "", false));  // same name: no row
    EXPECT_TRUE(d.AddWindow(11, "b.exe", "ClsB", 102, 6, "Beta", false));
    EXPECT_EQ(d.pids, "|10|11|");
    EXPECT_EQ(d.executables, "|a.exe|b.exe|");
    EXPECT_EQ(d.classes, "|ClsA|ClsB|");
    EXPECT_EQ(d.windows, "|100|102|");
    EXPECT_EQ(d.threads, "|5|6|");
    EXPECT_EQ(d.titles, "|Alpha|Beta|");
    EXPECT_EQ(d.visible, "|1|0|");

    TProcessData byName;
    byName.nameFilter = "target.exe";
    EXPECT_TRUE(byName.AddWindow(1, "x.exe", "C", 1, 1, "", true));
    EXPECT_FALSE(byName.AddWindow(2, "TARGET.exe", "C", 2, 1, "", true));
    EXPECT_EQ(byName.executables, "|x.exe|TARGET.exe|");

    TProcessData byPid;
    byPid.nameFilter = "*";
    byPid.pidFilter = 42;
    EXPECT_TRUE(byPid.AddWindow(41, "x.exe", "C", 1, 1, "", true));
    EXPECT_FALSE(byPid.AddWindow(42, "x.exe", "C", 2, 1, "", true));  // stops even without a new row

    TProcessData every;
    every.everyWindow = 1;
    every.nameFilter = "x.exe";
    every.pidFilter = 1;
    EXPECT_TRUE(every.AddWindow(1, "x.exe", "C", 1, 1, "t", true));
    EXPECT_TRUE(every.AddWindow(1, "x.exe", "D", 2, 1, "", false));
    EXPECT_EQ(every.windows, "|1|2|");
    EXPECT_EQ(every.visible, "|1|0|");
}

struct FakeWindow {
    uintptr_t handle;
    uintptr_t topOwner;
    bool titled;
    bool visible;
};

// Collects the windows into a and picks the main one with their facts.
uintptr_t Weigh(TAnalizer& a, const std::vector<FakeWindow>& windows) {
    for (const FakeWindow& w : windows) a.Add(w.handle);
    return a.PickMain([&](uintptr_t h) {
        for (const FakeWindow& w : windows)
            if (w.handle == h) return TWindowFacts{w.topOwner, w.titled, w.visible};
        return TWindowFacts{};
    });
}

TEST(TAnalizer, PicksHeaviestWindow) {
    struct Case {
        const char* what;
        std::vector<FakeWindow> windows;
        uintptr_t main;
    } cases[] = {
        {"owned popup enumerated first loses to its owner",
         {{20, 10, true, true}, {10, 10, true, true}}, 10},
        {"unowned hidden untitled window beats an owned visible titled one",
         {{20, 99, true, true}, {30, 30, false, false}}, 30},
        {"equal weights: the first collected", {{40, 40, true, true}, {50, 50, true, true}}, 40},
        {"title counts more than visibility", {{60, 99, false, true}, {70, 99, true, false}}, 70},
        {"hidden, untitled and owned everywhere: none", {{80, 99, false, false}, {81, 98, false, false}}, 0},
        {"no windows", {}, 0},
    };
    for (const Case& c : cases) {
        TAnalizer a(7);
        EXPECT_EQ(Weigh(a, c.windows), c.main) << c.what;
    }

    // A main window with two owned windows: (1 + 2) * 4 + 2 + 1.
    TAnalizer a(7);
    EXPECT_EQ(Weigh(a, {{10, 10, true, true}, {11, 10, true, true}, {12, 10, false, false}}), 10u);
    ASSERT_EQ(a.Count(), 3);
    EXPECT_EQ(a.Weight(0), 15);
    EXPECT_EQ(a.Weight(1), 3);
    EXPECT_EQ(a.Weight(2), 0);
}

TEST(TAnalizer, IgnoresWindowsBeyondCapacity) {
    TAnalizer a(1);
    for (int i = 1; i <= TAnalizer::kCapacity; ++i) ASSERT_TRUE(a.Add(static_cast<uintptr_t>(i)));
    EXPECT_FALSE(a.Add(99999));
    EXPECT_EQ(a.Count(), TAnalizer::kCapacity);
    // Every window its own top: all weigh 4 + 1; the first wins.
    EXPECT_EQ(a.PickMain([](uintptr_t h) { return TWindowFacts{h, false, true}; }), 1u);
    EXPECT_EQ(a.Weight(TAnalizer::kCapacity - 1), 5);
}

}  // namespace
