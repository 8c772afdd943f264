#include "paths/FolderChains.h"

#include "util/StrUtils.h"

namespace vel {

std::string FolderChains::Normalize(const std::string& folder, bool withBackslash) {
    return SetTrailingBackslash(folder, withBackslash, sys_.LeadBytes());
}

bool FolderChains::Exists(const std::string& folder) { return !folder.empty() && sys_.DirectoryExists(folder); }

std::string FolderChains::ParentIfExists(const std::string& path) {
    if (!Exists(path)) return std::string();
    return Normalize(FileFolder(Normalize(path, false)), false);
}

std::string FolderChains::FirstExisting(const std::string& first, const std::string& fallback) {
    return Exists(first) ? first : fallback;
}

std::string FolderChains::Chain(const std::string& shell, Base base1, Base base2, const std::string& sub,
                                bool withBackslash) {
    std::string result = shell;
    if (!Exists(result)) result = (this->*base1)(true) + sub;
    if (base2 && !Exists(result)) result = (this->*base2)(true) + sub;
    return Normalize(result, withBackslash);
}

std::string FolderChains::WindowsDir(bool withBackslash) { return Normalize(sys_.WindowsDir(), withBackslash); }
std::string FolderChains::SystemDir(bool withBackslash) { return Normalize(sys_.SystemDir(), withBackslash); }

std::string FolderChains::System16Dir(bool withBackslash) {
    const std::string system = SystemDir(false);
    std::string result = system;
    const int at = LastPos("32", system);
    const std::string without32 = at > 0 ? std::string(system).erase(static_cast<size_t>(at - 1), 2) : system;
    if (at > 0 && Exists(without32)) result = without32;
    else if (Exists(WindowsDir(true) + "System")) result = WindowsDir(true) + "System";
    return Normalize(result, withBackslash);
}

std::string FolderChains::FontsDir(bool withBackslash) {
    return Normalize(FirstExisting(sys_.ShellFolderRegValue("Fonts"), WindowsDir(true) + "Fonts"), withBackslash);
}

std::string FolderChains::ProfilesDir(bool withBackslash) {
    return Normalize(FirstExisting(WindowsDir(true) + "Profiles\\" + sys_.RegisteredOwner(), WindowsDir(false)),
                     withBackslash);
}

std::string FolderChains::UserDir(bool withBackslash) {
    return Normalize(FirstExisting(ParentIfExists(sys_.ShellFolder(kCsidlPersonal)), ProfilesDir(false)),
                     withBackslash);
}

std::string FolderChains::ProfilesRootDir(bool withBackslash) {
    std::string p = sys_.ShellFolder(kCsidlPersonal);
    if (Exists(p)) p = ParentIfExists(p);
    if (Exists(p)) p = ParentIfExists(p);
    return Normalize(FirstExisting(p, ProfilesDir(false)), withBackslash);
}

std::string FolderChains::AllUsersDir(bool withBackslash) {
    return Normalize(FirstExisting(ParentIfExists(sys_.ShellFolder(kCsidlCommonAppData)), WindowsDir(false)),
                     withBackslash);
}

std::string FolderChains::UserAppDataDir(bool withBackslash) {
    return Chain(sys_.ShellFolder(kCsidlAppData), &FolderChains::ProfilesDir, nullptr, "Application Data", withBackslash);
}
std::string FolderChains::UserLocalAppDataDir(bool withBackslash) {
    return Chain(sys_.ShellFolder(kCsidlLocalAppData), &FolderChains::ProfilesDir, nullptr, "Application Data", withBackslash);
}
std::string FolderChains::AllUsersAppDataDir(bool withBackslash) {
    return Chain(sys_.ShellFolder(kCsidlCommonAppData), &FolderChains::WindowsDir, nullptr, "Application Data", withBackslash);
}
std::string FolderChains::MyDocumentsDir(bool withBackslash) {
    return Chain(sys_.ShellFolder(kCsidlPersonal), &FolderChains::ProfilesDir, nullptr, "My Documents", withBackslash);
}
std::string FolderChains::AllUsersDocumentsDir(bool withBackslash) {
    return Chain(sys_.ShellFolder(kCsidlCommonDocuments), &FolderChains::WindowsDir, nullptr, "Documents", withBackslash);
}
std::string FolderChains::UserStartMenuDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlStartMenu), &FolderChains::UserDir, &FolderChains::AllUsersDir, "Start Menu", withBackslash);
}
std::string FolderChains::AllUsersStartMenuDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlCommonStartMenu), &FolderChains::AllUsersDir, nullptr, "Start Menu", withBackslash);
}
std::string FolderChains::UserProgramsMenuDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlPrograms), &FolderChains::UserDir, &FolderChains::AllUsersDir, "Start Menu\\Programs",
                 withBackslash);
}
std::string FolderChains::AllUsersProgramsMenuDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlCommonPrograms), &FolderChains::AllUsersDir, nullptr, "Start Menu\\Programs",
                 withBackslash);
}
std::string FolderChains::UserDesktopDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlDesktopDirectory), &FolderChains::UserDir, &FolderChains::AllUsersDir, "Desktop",
                 withBackslash);
}
std::string FolderChains::AllUsersDesktopDir(bool withBackslash) {
    return Chain(sys_.SpecialFolder(kCsidlCommonDesktopDirectory), &FolderChains::AllUsersDir, nullptr, "Desktop", withBackslash);
}

}  // namespace vel
