#include "paths/Macros_win.h"

#include <windows.h>

#include "paths/SystemFolders.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

bool g_originKnown = false;
std::string g_originExe;
bool g_originDirKnown = false;
std::string g_originDir;

}  // namespace

std::string OriginExe() {
    if (!g_originKnown) {
        g_originExe = GetSwitchValue("/OriginExe=", "");
        if (g_originExe.empty()) g_originExe = ExePath(false);
        g_originKnown = true;
    }
    return g_originExe;
}

std::string OriginDir() {
    if (!g_originDirKnown) {
        g_originDir = SetTrailingBackslash(FileFolder(OriginExe(), AnsiLeadByte), false);
        if (g_originDir.empty()) g_originDir = ExeDir(false);
        g_originDirKnown = true;
    }
    return g_originDir;
}

std::string WindowsMacroSystem::Value(MacroValue which) {
    switch (which) {
        case MacroValue::LoggedUserName: return GetLoginName();
        case MacroValue::UserName: return GetRegisteredOwner();
        case MacroValue::CompanyName: return GetRegisteredOrganization();
        case MacroValue::ComputerName: return GetMachineName();
        case MacroValue::CurrentDomainName: return GetUserDomain();
        case MacroValue::WindowsDir: return WindowsDir(false);
        case MacroValue::SystemDir: return SystemDir(false);
        case MacroValue::System16Dir: return SystemFolder(&FolderChains::System16Dir, false);
        case MacroValue::StartMenuRegDir: return ShellFolderRegValue("Start Menu");
        case MacroValue::ProgramFilesRegDir: return WindowsVersionRegValue("ProgramFilesDir");
        case MacroValue::CommonFilesRegDir: return WindowsVersionRegValue("CommonFilesDir");
        case MacroValue::FontDir: return SystemFolder(&FolderChains::FontsDir, false);
        case MacroValue::OwnDir: return ExeDir(false);
        case MacroValue::OriginDir: return vel::OriginDir();
        case MacroValue::TempDir: return TempDir(false);
        case MacroValue::UserDir: return SystemFolder(&FolderChains::UserDir, false);
        case MacroValue::UserAppDataDir: return SystemFolder(&FolderChains::UserAppDataDir, false);
        case MacroValue::UserLocalAppDataDir: return SystemFolder(&FolderChains::UserLocalAppDataDir, false);
        case MacroValue::MyDocumentsDir: return SystemFolder(&FolderChains::MyDocumentsDir, false);
        case MacroValue::UserStartMenuDir: return SystemFolder(&FolderChains::UserStartMenuDir, false);
        case MacroValue::UserProgramsMenuDir: return SystemFolder(&FolderChains::UserProgramsMenuDir, false);
        case MacroValue::UserDesktopDir: return SystemFolder(&FolderChains::UserDesktopDir, false);
        case MacroValue::ProfilesRootDir: return SystemFolder(&FolderChains::ProfilesRootDir, false);
        case MacroValue::AllUsersDir: return SystemFolder(&FolderChains::AllUsersDir, false);
        case MacroValue::AllUsersAppDataDir: return SystemFolder(&FolderChains::AllUsersAppDataDir, false);
        case MacroValue::AllUsersDocumentsDir: return SystemFolder(&FolderChains::AllUsersDocumentsDir, false);
        case MacroValue::AllUsersStartMenuDir: return SystemFolder(&FolderChains::AllUsersStartMenuDir, false);
        case MacroValue::AllUsersProgramsMenuDir: return SystemFolder(&FolderChains::AllUsersProgramsMenuDir, false);
        case MacroValue::AllUsersDesktopDir: return SystemFolder(&FolderChains::AllUsersDesktopDir, false);
    }
    return std::string();
}

double WindowsMacroSystem::Now() { return NowDateTime(); }
std::string WindowsMacroSystem::MonthName(int month) { return LocaleMonthName(month); }
std::string WindowsMacroSystem::DateSeparator() { return UserDateSeparator(); }
std::string WindowsMacroSystem::TimeSeparator() { return UserTimeSeparator(); }
std::string WindowsMacroSystem::FullPath(const std::string& path) { return FullPathName(path); }
LeadByteTest WindowsMacroSystem::LeadBytes() { return AnsiLeadByte; }

void ExpandMacros(const std::string& text, const std::string& tail, bool foldDots, bool pathMacros, std::string& out) {
    WindowsMacroSystem sys;
    ExpandMacros(text, tail, foldDots, pathMacros, sys, out);
}

std::string ExpandDateMacro(const std::string& text) {
    WindowsMacroSystem sys;
    return ExpandDateMacro(text, sys);
}

std::string FoldDotDot(const std::string& text) {
    WindowsMacroSystem sys;
    return FoldDotDot(text, sys);
}

}  // namespace vel
