#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "paths/Macros.h"
#include "util/StrUtils.h"

using namespace vel;

namespace {

// Every system value is "V<n>" with n its position in MacroValue, folders below a drive letter
// so that drive and disk rows show; asked values are recorded.
struct FakeMacros : MacroSystem {
    std::map<MacroValue, std::string> values;
    std::vector<MacroValue> asked;
    double now = EncodeDateTime(2026, 3, 7, 9, 5, 4);
    std::string dateSep = ".", timeSep = "h";
    std::string Value(MacroValue v) override {
        asked.push_back(v);
        auto it = values.find(v);
        return it != values.end() ? it->second : "D:\\V" + IntToStr(static_cast<int>(v));
    }
    double Now() override { return now; }
    std::string MonthName(int m) override { return "Month" + IntToStr(m); }
    std::string DateSeparator() override { return dateSep; }
    std::string TimeSeparator() override { return timeSep; }
    std::string FullPath(const std::string& p) override {
        // Enough of the system's expansion for the tests: fold "X\..\" pairs, anchor relative paths.
        std::string s = p.size() > 1 && p[1] == ':' ? p : "C:\\Cur\\" + p;
        for (size_t at; (at = s.find("\\..")) != std::string::npos;) {
            const size_t start = s.rfind('\\', at - 1);
            s.erase(start, at + 3 - start);
        }
        return s;
    }
};

std::string Expand(FakeMacros& sys, const std::string& text, bool pathMacros = true, bool foldDots = false,
                   const std::string& tail = "\\") {
    std::string out;
    ExpandMacros(text, tail, foldDots, pathMacros, sys, out);
    return out;
}

class Macros : public ::testing::Test {
protected:
    void SetUp() override {
        SetInstallDirs("C:\\App\\", "C:\\Common", "E:\\Aux");
        SetEnteredValueProvider(nullptr);
        SetRunTimeDirResolver(nullptr);
        ResetRunTimeDirs();
    }
    void TearDown() override { SetUp(); SetInstallDirs("", "", ""); }
    FakeMacros sys;
};

std::string V(MacroValue v) { return "D:\\V" + IntToStr(static_cast<int>(v)); }

TEST_F(Macros, EveryDirectoryMacro) {
    const struct {
        const char* macro;
        std::string value;
    } cases[] = {
        {"<Application Folder>", "C:\\App"}, {"<Common Folder>", "C:\\Common"}, {"<Auxiliary Folder>", "E:\\Aux"},
        {"<Windows Directory>", V(MacroValue::WindowsDir)}, {"<System Directory>", V(MacroValue::SystemDir)},
        {"<System16 Directory>", V(MacroValue::System16Dir)},
        {"<InstallDir>", "C:\\App"}, {"<InstallCommonDir>", "C:\\Common"}, {"<InstallAuxDir>", "E:\\Aux"},
        {"<WinDir>", V(MacroValue::WindowsDir)}, {"<WinSysDir>", V(MacroValue::SystemDir)},
        {"<WinSys32Dir>", V(MacroValue::SystemDir)}, {"<WinSys16Dir>", V(MacroValue::System16Dir)},
        {"<StartMenuDir>", V(MacroValue::StartMenuRegDir)}, {"<ProgramFilesDir>", V(MacroValue::ProgramFilesRegDir)},
        {"<CommonFilesDir>", V(MacroValue::CommonFilesRegDir)}, {"<FontDir>", V(MacroValue::FontDir)},
        {"<SrcDir>", V(MacroValue::OwnDir)}, {"<OriginDir>", V(MacroValue::OriginDir)}, {"<TempDir>", V(MacroValue::TempDir)},
        {"<ServiceDir>", V(MacroValue::OwnDir)}, {"<UserDir>", V(MacroValue::UserDir)},
        {"<UserAppDataDir>", V(MacroValue::UserAppDataDir)}, {"<UserLocalAppDataDir>", V(MacroValue::UserLocalAppDataDir)},
        {"<MyDocumentsDir>", V(MacroValue::MyDocumentsDir)}, {"<UserStartMenuDir>", V(MacroValue::UserStartMenuDir)},
        {"<UserStartProgramMenuDir>", V(MacroValue::UserProgramsMenuDir)},
        {"<UserDesktopDir>", V(MacroValue::UserDesktopDir)}, {"<DocumentsAndSettingsDir>", V(MacroValue::ProfilesRootDir)},
        {"<AllUsersDir>", V(MacroValue::AllUsersDir)}, {"<AllUsersAppDataDir>", V(MacroValue::AllUsersAppDataDir)},
        {"<AllUsersDocumentsDir>", V(MacroValue::AllUsersDocumentsDir)},
        {"<AllUsersStartMenuDir>", V(MacroValue::AllUsersStartMenuDir)},
        {"<AllUsersStartProgramMenuDir>", V(MacroValue::AllUsersProgramsMenuDir)},
        {"<AllUsersDesktopDir>", V(MacroValue::AllUsersDesktopDir)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Expand(sys, std::string(c.macro) + "x.exe"), c.value + "\\x.exe") << c.macro;
        EXPECT_EQ(Expand(sys, c.macro), c.value) << c.macro;
        EXPECT_EQ(Expand(sys, c.macro, false), c.macro) << c.macro;  // path macros off
    }
}

TEST_F(Macros, DriveAndDiskRowsHaveNoTail) {
    sys.values[MacroValue::OriginDir] = "F:\\From";
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"<InstallDrive>x", "C:\\x"}, {"<WinDrive>x", "D:\\x"}, {"<WinSysDrive>x", "D:\\x"}, {"<OriginDrive>x", "F:\\x"},
        {"<InstallDisk>x", "C:x"},    {"<WinDisk>x", "D:x"},    {"<WinSysDisk>x", "D:x"},    {"<OriginDisk>x", "F:x"},
    };
    for (const auto& c : cases) EXPECT_EQ(Expand(sys, c.text), c.want) << c.text;
}

TEST_F(Macros, UserMacrosAndTheEnteredValueProvider) {
    sys.values[MacroValue::UserName] = "Ann";
    std::vector<std::string> keys;
    SetEnteredValueProvider([&keys](const std::string& key) {
        keys.push_back(key);
        return "[" + key + "]";
    });
    const struct {
        const char* text;
        std::string want;
    } cases[] = {
        {"<LoggedUserName>", V(MacroValue::LoggedUserName)}, {"<UserName>", "Ann"},
        {"<CompanyName>", V(MacroValue::CompanyName)},       {"<ComputerName>", V(MacroValue::ComputerName)},
        {"<CurrentDomainName>", V(MacroValue::CurrentDomainName)},
        {"<LastExecutableExitCode>", "0"},                   {"<ReqFreeDiskSpaceMB>", "0"},
        {"<EnteredUserName>", "[UserName]"},                 {"<EnteredCompanyName>", "[CompanyName]"},
        {"<EnteredSerialNum>", "[SerialNum]"},               {"<EnteredStartProgramMenu>", "[EnteredStartProgramMenu]"},
        {"<VendorCompanyName>", "[VendorCompanyName]"},      {"<ProjectName>", "[ProjectName]"},
        {"<ProgramDescriptiveName>", "[ProgramDescriptiveName]"}, {"<ProgramVersion>", "[ProgramVersion]"},
        {"<SelectedLanguage>", "[SelectedLanguage]"},         {"<UnInstallExePath>x", "[UnInstallExePath]x"},
        {"a<username>b<USERNAME>", "aAnnbAnn"},  // any letter case, every occurrence
    };
    for (const auto& c : cases) EXPECT_EQ(Expand(sys, c.text), c.want) << c.text;
    // Asked only for the macros that occur.
    keys.clear();
    sys.asked.clear();
    EXPECT_EQ(Expand(sys, "<ProjectName> <ComputerName>"), "[ProjectName] " + V(MacroValue::ComputerName));
    EXPECT_EQ(keys, std::vector<std::string>{"ProjectName"});
    EXPECT_EQ(sys.asked, std::vector<MacroValue>{MacroValue::ComputerName});
    // Without a provider they expand to nothing; with path macros off user macros still expand.
    SetEnteredValueProvider(nullptr);
    EXPECT_EQ(Expand(sys, "a<EnteredSerialNum>b"), "ab");
    EXPECT_EQ(Expand(sys, "<WinDir>\\<ComputerName>", false), "<WinDir>\\" + V(MacroValue::ComputerName));
    EXPECT_EQ(FreeSpaceMBText(3 * 1048576 - 1), "2");  // truncated, not rounded up
}

TEST_F(Macros, RunTimeSlotsResolveOnceAndEmptyWithoutAResolver) {
    EXPECT_EQ(Expand(sys, "<RunTimeDir_3>x"), "\\x");
    int calls = 0;
    SetRunTimeDirResolver([&calls](int slot) {
        ++calls;
        return "R:\\Slot" + IntToStr(slot);
    });
    ResetRunTimeDirs();
    EXPECT_EQ(Expand(sys, "<RunTimeDir_1>a|<RunTimeDir_8>"), "R:\\Slot1\\a|R:\\Slot8");
    EXPECT_EQ(Expand(sys, "<runtimedir_1>b"), "R:\\Slot1\\b");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Expand(sys, "<RunTimeDir_9>"), "<RunTimeDir_9>");
}

TEST_F(Macros, TailRule) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"<WinDir>System32", "W:\\Win\\System32"},
        {"<WinDir>", "W:\\Win"},
        {"<WinDir> /x", "W:\\Win /x"},
        {"|<WinDir>|<TempDir>|", "|W:\\Win|T:\\Tmp|"},
        {",<WinDir>,b,", ",W:\\Win,b,"},
        {"a<WinDir>|b|", "aW:\\Win\\|b|"},             // not a list: the tail stays
        {"<WinDir><WinDir>", "W:\\Win\\W:\\Win\\"},    // the first occurrence decides for all
        {"x<WinDir>x", "xW:\\Win\\x"},                 // a letter delimiter does not count
    };
    sys.values[MacroValue::WindowsDir] = "W:\\Win\\";
    sys.values[MacroValue::TempDir] = "T:\\Tmp";
    for (const auto& c : cases) EXPECT_EQ(Expand(sys, c.text), c.want) << c.text;
    // The tail decision itself.
    EXPECT_EQ(ReplaceDirMacro("<A>x<A>", "<a>", "V", "/"), "V/xV/");
    EXPECT_EQ(ReplaceDirMacro("<<A><", "<A>", "V", "\\"), "<V\\<");  // "<" is no list delimiter
    EXPECT_EQ(ReplaceDirMacro("none", "<A>", "V", "\\"), "none");
}

TEST_F(Macros, MarkedPointAndCollapse) {
    sys.values[MacroValue::WindowsDir] = "C:\\Windows";
    sys.values[MacroValue::TempDir] = "\\\\srv\\tmp";
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"<InstallDir><Windows Directory>\\Temp", "C:\\Windows\\Temp"},  // prefix dropped, "\\" collapsed
        {"<InstallDir>\\App.exe", "C:\\App\\App.exe"},                   // nothing absolute: prefix kept
        {"<AbsoluteDir>D:\\Data", "D:\\Data"},
        {"<InstallDir><AbsoluteDir>D:\\Data", "C:\\App\\D:\\Data"},      // only marks; prefix stays
        {"<TempDir>\\a", "\\\\srv\\tmp\\a"},                             // UNC prefix kept
        {"|<TempDir>\\a|", "|\\\\srv\\tmp\\a|"},                         // after the list delimiter kept
        {"<WinDir>\\\\\\a", "C:\\Windows\\a"},
        {"x\\\\y", "x\\\\y"},                                            // no macro replaced: untouched
        {"<ComputerName>\\\\y", "D:\\V3\\\\y"},                          // user macros only: untouched
    };
    for (const auto& c : cases) EXPECT_EQ(Expand(sys, c.text), c.want) << c.text;
}

TEST_F(Macros, CollapseSkipsTrailBytes) {
    FakeMacros dbcs;
    struct Lead : FakeMacros {
        LeadByteTest LeadBytes() override {
            return [](unsigned char c) { return c == 0x81; };
        }
    } lead;
    lead.values[MacroValue::WindowsDir] = "C:\\\x81\\";  // a trail byte "\" ends the folder
    std::string out;
    ExpandMacros("<WinDir>\\\\a", "\\", false, true, lead, out);
    EXPECT_EQ(out, "C:\\\x81\\\\a");
}

TEST_F(Macros, DateMacro) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"<Date=#>", "07.Month3.2026"},
        {"<Date=0>", "9562"},
        {"<Date=1>", "07-03-26"},
        {"<Date=2>", "03-07-26"},
        {"<Date=3>", "26-03-07"},
        {"<Date=4>", "07-03-2026"},
        {"<Date=5>", "03-07-2026"},
        {"<Date=6>", "2026-03-07"},
        {"<Date=7>", "2026-03-07 09h05h04"},
        {"<Date=9>", "<Date=9>"},
        {"a<date=6>b<Date=1>", "a2026-03-07b<Date=1>"},  // only the first one
        {"<Date=6", "<Date=6"},                          // no ">" after it
        {"<Date=", "<Date="},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandDateMacro(c.text, sys), c.want) << c.text;
    EXPECT_EQ(Expand(sys, "<WinDir>\\<Date=6>.log", true), V(MacroValue::WindowsDir) + "\\2026-03-07.log");
    sys.now = EncodeDateTime(2000, 1, 1, 23, 59, 59);
    EXPECT_EQ(ExpandDateMacro("<Date=0>", sys), "0");
}

TEST_F(Macros, FoldDotDot) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"C:\\Prog\\Sub\\..\\App.exe", "C:\\Prog\\App.exe"},
        {"C:\\Prog\\App.exe", "C:\\Prog\\App.exe"},
        {"|C:\\A\\..\\B|C:\\C|", "|C:\\B|C:\\C|"},
        {",x\\..\\y,z,", ",C:\\Cur\\y,z,"},
        {"|C:\\A\\..\\B", "C:\\Cur\\|C:\\B"},  // not a closed list: the whole text is one path
    };
    for (const auto& c : cases) EXPECT_EQ(FoldDotDot(c.text, sys), c.want) << c.text;
    EXPECT_EQ(Expand(sys, "C:\\a\\..\\b", true, true), "C:\\b");  // no "<": only the folding
}

}  // namespace
