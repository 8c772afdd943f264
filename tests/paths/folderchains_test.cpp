#include <gtest/gtest.h>

#include <map>
#include <set>

#include "paths/FolderChains.h"

using namespace vel;

namespace {

// A system as plain data: existing folders, shell answers by id, registry values.
struct FakeSystem : FolderSystem {
    std::string windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\SYSTEM32", owner = "Ann";
    std::set<std::string> dirs;
    std::map<int, std::string> shell, special;
    std::map<std::string, std::string> reg;
    std::string WindowsDir() override { return windows; }
    std::string SystemDir() override { return system; }
    bool DirectoryExists(const std::string& p) override { return dirs.count(p) > 0; }
    int shellCalls = 0;
    std::string ShellFolder(int id) override {
        ++shellCalls;  // each call may create a folder: only the steps taken may ask
        return shell.count(id) ? shell[id] : "";
    }
    std::string SpecialFolder(int id) override { return special.count(id) ? special[id] : ""; }
    std::string ShellFolderRegValue(const std::string& n) override { return reg.count(n) ? reg[n] : ""; }
    std::string RegisteredOwner() override { return owner; }
    LeadByteTest LeadBytes() override {
        return [](unsigned char c) { return c == 0x81; };
    }
};

// A system whose shell answers everything, with per-user folders below C:\Users\Ann.
FakeSystem Modern() {
    FakeSystem s;
    s.shell = {{kCsidlPersonal, "C:\\Users\\Ann\\Documents"},
               {kCsidlAppData, "C:\\Users\\Ann\\AppData\\Roaming"},
               {kCsidlLocalAppData, "C:\\Users\\Ann\\AppData\\Local"},
               {kCsidlCommonAppData, "C:\\ProgramData"},
               {kCsidlCommonDocuments, "C:\\Users\\Public\\Documents"}};
    s.special = {{kCsidlStartMenu, "C:\\Users\\Ann\\Start"}, {kCsidlPrograms, "C:\\Users\\Ann\\Start\\Programs"},
                 {kCsidlDesktopDirectory, "C:\\Users\\Ann\\Desktop"},
                 {kCsidlCommonStartMenu, "C:\\ProgramData\\Start"},
                 {kCsidlCommonPrograms, "C:\\ProgramData\\Start\\Programs"},
                 {kCsidlCommonDesktopDirectory, "C:\\Users\\Public\\Desktop"}};
    for (const auto& m : {s.shell, s.special})
        for (const auto& kv : m) s.dirs.insert(kv.second);
    for (const char* d : {"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM32", "C:\\Users\\Ann", "C:\\Users", "C:"})
        s.dirs.insert(d);
    return s;
}

using Getter = std::string (FolderChains::*)(bool);

TEST(FolderChains, ShellAnswersComeFirst) {
    FakeSystem sys = Modern();
    FolderChains c(sys);
    const struct {
        Getter get;
        const char* want;
    } cases[] = {
        {&FolderChains::UserDir, "C:\\Users\\Ann"},
        {&FolderChains::ProfilesRootDir, "C:\\Users"},
        {&FolderChains::AllUsersDir, "C:"},  // parent of C:\ProgramData
        {&FolderChains::UserAppDataDir, "C:\\Users\\Ann\\AppData\\Roaming"},
        {&FolderChains::UserLocalAppDataDir, "C:\\Users\\Ann\\AppData\\Local"},
        {&FolderChains::AllUsersAppDataDir, "C:\\ProgramData"},
        {&FolderChains::MyDocumentsDir, "C:\\Users\\Ann\\Documents"},
        {&FolderChains::AllUsersDocumentsDir, "C:\\Users\\Public\\Documents"},
        {&FolderChains::UserStartMenuDir, "C:\\Users\\Ann\\Start"},
        {&FolderChains::AllUsersStartMenuDir, "C:\\ProgramData\\Start"},
        {&FolderChains::UserProgramsMenuDir, "C:\\Users\\Ann\\Start\\Programs"},
        {&FolderChains::AllUsersProgramsMenuDir, "C:\\ProgramData\\Start\\Programs"},
        {&FolderChains::UserDesktopDir, "C:\\Users\\Ann\\Desktop"},
        {&FolderChains::AllUsersDesktopDir, "C:\\Users\\Public\\Desktop"},
    };
    for (const auto& c2 : cases) {
        EXPECT_EQ((c.*c2.get)(false), c2.want);
        const std::string with = (c.*c2.get)(true);
        EXPECT_EQ(with, std::string(c2.want) + "\\");
    }
    sys.shellCalls = 0;
    c.UserDesktopDir(false);
    c.AllUsersStartMenuDir(false);
    EXPECT_EQ(sys.shellCalls, 0);
    c.UserAppDataDir(false);
    EXPECT_EQ(sys.shellCalls, 1);
}

TEST(FolderChains, FallbacksWithoutTheShell) {
    FakeSystem sys;  // no shell answers at all (SHFolder.dll missing)
    sys.dirs = {"C:\\WINDOWS", "C:\\WINDOWS\\Profiles\\Ann", "C:\\WINDOWS\\Profiles\\Ann\\Start Menu"};
    FolderChains c(sys);
    const struct {
        Getter get;
        const char* want;
    } cases[] = {
        {&FolderChains::ProfilesDir, "C:\\WINDOWS\\Profiles\\Ann"},
        {&FolderChains::UserDir, "C:\\WINDOWS\\Profiles\\Ann"},
        {&FolderChains::ProfilesRootDir, "C:\\WINDOWS\\Profiles\\Ann"},
        {&FolderChains::AllUsersDir, "C:\\WINDOWS"},
        {&FolderChains::UserAppDataDir, "C:\\WINDOWS\\Profiles\\Ann\\Application Data"},
        {&FolderChains::UserLocalAppDataDir, "C:\\WINDOWS\\Profiles\\Ann\\Application Data"},
        {&FolderChains::AllUsersAppDataDir, "C:\\WINDOWS\\Application Data"},
        {&FolderChains::MyDocumentsDir, "C:\\WINDOWS\\Profiles\\Ann\\My Documents"},
        {&FolderChains::AllUsersDocumentsDir, "C:\\WINDOWS\\Documents"},
        {&FolderChains::UserStartMenuDir, "C:\\WINDOWS\\Profiles\\Ann\\Start Menu"},  // exists: second step
        {&FolderChains::AllUsersStartMenuDir, "C:\\WINDOWS\\Start Menu"},
        // The user folder has no Programs below its Start Menu: the all-users one, unchecked.
        {&FolderChains::UserProgramsMenuDir, "C:\\WINDOWS\\Start Menu\\Programs"},
        {&FolderChains::AllUsersProgramsMenuDir, "C:\\WINDOWS\\Start Menu\\Programs"},
        {&FolderChains::UserDesktopDir, "C:\\WINDOWS\\Desktop"},
        {&FolderChains::AllUsersDesktopDir, "C:\\WINDOWS\\Desktop"},
    };
    for (const auto& c2 : cases) EXPECT_EQ((c.*c2.get)(false), c2.want);

    // No profile folder for the owner: the Windows folder stands in.
    sys.owner = "Bob";
    EXPECT_EQ(c.ProfilesDir(false), "C:\\WINDOWS");
    EXPECT_EQ(c.UserAppDataDir(false), "C:\\WINDOWS\\Application Data");
    // A shell answer that names no existing folder is passed over as well.
    sys.shell[kCsidlAppData] = "D:\\Gone";
    EXPECT_EQ(c.UserAppDataDir(false), "C:\\WINDOWS\\Application Data");
}

TEST(FolderChains, System16AndFonts) {
    FakeSystem sys;
    sys.dirs = {"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"};
    FolderChains c(sys);
    EXPECT_EQ(c.System16Dir(false), "C:\\WINDOWS\\SYSTEM");  // "32" cut from SYSTEM32
    sys.dirs = {"C:\\WINDOWS", "C:\\WINDOWS\\System"};
    sys.system = "C:\\WIN32\\SYS";  // no "32" that leads to a folder: Windows folder + System
    EXPECT_EQ(c.System16Dir(true), "C:\\WINDOWS\\System\\");
    sys.dirs = {"C:\\WINDOWS"};
    EXPECT_EQ(c.System16Dir(false), "C:\\WIN32\\SYS");  // neither: the system folder

    sys.reg["Fonts"] = "D:\\Fonts";
    EXPECT_EQ(c.FontsDir(false), "C:\\WINDOWS\\Fonts");  // registry folder missing: unchecked default
    sys.dirs.insert("D:\\Fonts");
    EXPECT_EQ(c.FontsDir(true), "D:\\Fonts\\");
}

TEST(FolderChains, NormalizeKeepsRootsAndTrailBytes) {
    FakeSystem sys;
    FolderChains c(sys);
    const struct {
        const char* in;
        bool with;
        const char* want;
    } cases[] = {
        {"C:\\", false, "C:"},          {"C:\\", true, "C:\\"},          {"C:\\A\\", false, "C:\\A"},
        {"C:\\A", true, "C:\\A\\"},     {"C:\\A\\", true, "C:\\A\\"},    {"C:", true, "C:\\"},
        {"C:\\A\x81\\", false, "C:\\A\x81\\"},  // the backslash is a trail byte, not a separator
    };
    for (const auto& k : cases) EXPECT_EQ(c.Normalize(k.in, k.with), k.want) << k.in;
    sys.windows = "C:\\";
    EXPECT_EQ(c.WindowsDir(false), "C:");
}

}  // namespace
