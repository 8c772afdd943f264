#pragma once
// The fallback chains of the system folders, over the system's answers. Portable: the Windows
// answers are in SystemFolders_win.cpp. Every chain ends in a path, possibly one that does not
// exist; results carry no trailing backslash unless withBackslash is set.
#include <string>

#include "util/FileText.h"

namespace vel {

// Shell folder ids (CSIDL values).
enum Csidl {
    kCsidlPrograms = 0x0002,
    kCsidlPersonal = 0x0005,
    kCsidlStartMenu = 0x000B,
    kCsidlDesktopDirectory = 0x0010,
    kCsidlCommonStartMenu = 0x0016,
    kCsidlCommonPrograms = 0x0017,
    kCsidlCommonDesktopDirectory = 0x0019,
    kCsidlAppData = 0x001A,
    kCsidlLocalAppData = 0x001C,
    kCsidlCommonAppData = 0x0023,
    kCsidlCommonDocuments = 0x002E,
};

// What the chains ask the system. Folder texts are as the system gives them; empty on failure.
class FolderSystem {
public:
    virtual ~FolderSystem() = default;
    virtual std::string WindowsDir() = 0;
    virtual std::string SystemDir() = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual std::string ShellFolder(int csidl) = 0;         // SHGetFolderPathA
    virtual std::string SpecialFolder(int csidl) = 0;       // SHGetSpecialFolderPathA
    virtual std::string ShellFolderRegValue(const std::string& name) = 0;  // current user's "Shell Folders"
    virtual std::string RegisteredOwner() = 0;
    // The lead-byte test of the ANSI code page.
    virtual LeadByteTest LeadBytes() { return NoLeadBytes; }
};

class FolderChains {
public:
    explicit FolderChains(FolderSystem& sys) : sys_(sys) {}

    // Trailing backslash removed (not a drive root's "\" of a 2-character text, nor a trail
    // byte), then one appended when asked.
    std::string Normalize(const std::string& folder, bool withBackslash);
    // Not empty and an existing directory.
    bool Exists(const std::string& folder);

    std::string WindowsDir(bool withBackslash);
    std::string SystemDir(bool withBackslash);
    std::string System16Dir(bool withBackslash);
    std::string FontsDir(bool withBackslash);
    std::string ProfilesDir(bool withBackslash);

    std::string UserDir(bool withBackslash);
    std::string ProfilesRootDir(bool withBackslash);
    std::string AllUsersDir(bool withBackslash);
    std::string UserAppDataDir(bool withBackslash);
    std::string UserLocalAppDataDir(bool withBackslash);
    std::string AllUsersAppDataDir(bool withBackslash);
    std::string MyDocumentsDir(bool withBackslash);
    std::string AllUsersDocumentsDir(bool withBackslash);
    std::string UserStartMenuDir(bool withBackslash);
    std::string AllUsersStartMenuDir(bool withBackslash);
    std::string UserProgramsMenuDir(bool withBackslash);
    std::string AllUsersProgramsMenuDir(bool withBackslash);
    std::string UserDesktopDir(bool withBackslash);
    std::string AllUsersDesktopDir(bool withBackslash);

private:
    // The folder part of an existing path, without its trailing backslash; the path itself
    // (unchecked) when it does not exist.
    std::string ParentIfExists(const std::string& path);
    // first when it exists, otherwise fallback (unchecked).
    std::string FirstExisting(const std::string& first, const std::string& fallback);
    // A shell folder with a chain of fallbacks of the form base + "\" + sub; each base is asked
    // for only when its step is taken (base2 may be null).
    using Base = std::string (FolderChains::*)(bool);
    std::string Chain(const std::string& shell, Base base1, Base base2, const std::string& sub, bool withBackslash);

    FolderSystem& sys_;
};

}  // namespace vel
