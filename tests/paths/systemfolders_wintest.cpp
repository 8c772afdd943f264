// System folders and macro expansion with the running system's values (under Wine).
#include <gtest/gtest.h>

#include "paths/FolderChains.h"
#include "paths/Macros_win.h"
#include "paths/SystemFolders.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {
namespace {

// A folder of the running system by its chain.
std::string Folder(FolderGetter getter, bool withBackslash) { return SystemFolder(getter, withBackslash); }

TEST(SystemFolders, EveryGetterNormalisesAndTheShellFoldersExist) {
    const struct {
        const char* name;
        FolderGetter get;
        int csidl;  // the shell's answer it must give, 0 for derived folders
    } cases[] = {
        {"16-bit system", &FolderChains::System16Dir, 0},
        {"fonts", &FolderChains::FontsDir, 0},
        {"profiles", &FolderChains::ProfilesDir, 0},
        {"user", &FolderChains::UserDir, 0},
        {"profiles root", &FolderChains::ProfilesRootDir, 0},
        {"all users", &FolderChains::AllUsersDir, 0},
        {"user app data", &FolderChains::UserAppDataDir, kCsidlAppData},
        {"user local app data", &FolderChains::UserLocalAppDataDir, kCsidlLocalAppData},
        {"all-users app data", &FolderChains::AllUsersAppDataDir, kCsidlCommonAppData},
        {"documents", &FolderChains::MyDocumentsDir, kCsidlPersonal},
        {"all-users documents", &FolderChains::AllUsersDocumentsDir, kCsidlCommonDocuments},
        {"start menu", &FolderChains::UserStartMenuDir, 0},
        {"all-users start menu", &FolderChains::AllUsersStartMenuDir, 0},
        {"programs menu", &FolderChains::UserProgramsMenuDir, 0},
        {"all-users programs menu", &FolderChains::AllUsersProgramsMenuDir, 0},
        {"desktop", &FolderChains::UserDesktopDir, 0},
        {"all-users desktop", &FolderChains::AllUsersDesktopDir, 0},
    };
    for (const auto& c : cases) {
        const std::string plain = Folder(c.get, false);
        const std::string with = Folder(c.get, true);
        ASSERT_FALSE(plain.empty()) << c.name;
        EXPECT_NE(plain.back(), '\\') << c.name << ": " << plain;
        EXPECT_EQ(with, plain + "\\") << c.name;
        EXPECT_TRUE(FolderExists(plain)) << c.name << ": " << plain;
        if (c.csidl) {
            EXPECT_EQ(plain, SetTrailingBackslash(ShellFolderPath(c.csidl), false)) << c.name;
        }
    }
    // The shell's start menu is what the user start menu is, when it gives one.
    const std::string startMenu = ShellSpecialFolderPath(kCsidlStartMenu);
    if (FolderExists(startMenu)) {
        EXPECT_EQ(Folder(&FolderChains::UserStartMenuDir, false), SetTrailingBackslash(startMenu, false));
    }
    EXPECT_EQ(Folder(&FolderChains::UserDir, false),
              SetTrailingBackslash(FileFolder(Folder(&FolderChains::MyDocumentsDir, false)), false));
}

TEST(SystemFolders, System16IsTheSystemFolderWithout32WhereThatExists) {
    std::string without32 = SystemDir(false);
    const int at = LastPos("32", without32);
    ASSERT_GT(at, 0) << without32;
    without32.erase(static_cast<size_t>(at - 1), 2);
    const std::string want = FolderExists(without32)                       ? without32
                             : FolderExists(WindowsDir(true) + "System") ? WindowsDir(true) + "System"
                                                                           : SystemDir(false);
    EXPECT_EQ(Folder(&FolderChains::System16Dir, false), want);
}

TEST(Macros, RunningSystemValues) {
    SetInstallDirs("C:\\Prog\\App\\", "", "");
    std::string out;
    const struct {
        std::string text, want;
    } cases[] = {
        {"<WinDir>\\x.dll", WindowsDir(false) + "\\x.dll"},
        {"<windir>x.dll", WindowsDir(false) + "\\x.dll"},
        {"<WinSysDir>", SystemDir(false)},
        {"<TempDir>", TempDir(false)},
        {"<SrcDir>", ExeDir(false)},
        {"<OriginDir>", ExeDir(false)},  // no /OriginExe here
        {"<OriginDisk>", ExeDir(false).substr(0, 2)},
        {"<FontDir>", Folder(&FolderChains::FontsDir, false)},
        {"<ComputerName>", GetMachineName()},
        {"<LoggedUserName>", GetLoginName()},
        {"<UserName>", GetRegisteredOwner()},
        {"<InstallDir>App.exe", "C:\\Prog\\App\\App.exe"},
        {"<InstallDir><Windows Directory>\\Temp", WindowsDir(false) + "\\Temp"},
        {"<AbsoluteDir>D:\\Data", "D:\\Data"},
        {"<InstallDir>Sub\\..\\App.exe", "C:\\Prog\\App\\App.exe"},
        {"<EnteredSerialNum>", ""},
        {"<ProgramFilesDir>", WindowsVersionRegValue("ProgramFilesDir")},
    };
    for (const auto& c : cases) {
        ExpandMacros(c.text, "\\", true, true, out);
        EXPECT_EQ(out, c.want) << c.text;
    }
    ExpandMacros("<WinDir>|<ComputerName>", "\\", false, false, out);
    EXPECT_EQ(out, "<WinDir>|" + GetMachineName());
    SetInstallDirs("", "", "");
}

TEST(Macros, DateAndFullPathFromTheSystem) {
    int y, m, d, h, n, s;
    DecodeDateTime(NowDateTime(), y, m, d, h, n, s);
    const std::string iso = IntZeroPad(y, 4) + "-" + IntZeroPad(m, 2) + "-" + IntZeroPad(d, 2);
    EXPECT_EQ(ExpandDateMacro("log-<Date=6>.txt"), "log-" + iso + ".txt");
    const std::string sep = UserDateSeparator();
    EXPECT_EQ(ExpandDateMacro("<Date=#>"), IntZeroPad(d, 2) + sep + LocaleMonthName(m) + sep + IntZeroPad(y, 4));
    EXPECT_FALSE(LocaleMonthName(m).empty());
    EXPECT_EQ(ExpandDateMacro("<Date=9>"), "<Date=9>");

    EXPECT_EQ(FoldDotDot("C:\\Prog\\Sub\\..\\App.exe"), "C:\\Prog\\App.exe");
    EXPECT_EQ(FoldDotDot("|C:\\A\\..\\B|C:\\C|"), "|C:\\B|C:\\C|");
    char cwd[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    EXPECT_EQ(FoldDotDot("x\\..\\y.txt"), SetTrailingBackslash(cwd, true) + "y.txt");
}

}  // namespace
}  // namespace vel
