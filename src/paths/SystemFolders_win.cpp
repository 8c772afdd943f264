#include "paths/SystemFolders.h"

#include <windows.h>

#include <cstring>

#include "paths/FolderChains.h"
#include "util/RuntimeProc.h"
#include "util/Utils.h"

namespace vel {

namespace {

RuntimeProc<HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR)> rt_SHGetFolderPathA("SHFolder.dll",
                                                                                   "SHGetFolderPathA");
RuntimeProc<BOOL(WINAPI*)(HWND, LPSTR, int, BOOL)> rt_SHGetSpecialFolderPathA("shell32.dll",
                                                                              "SHGetSpecialFolderPathA");

const int kCsidlFlagCreate = 0x8000;
const char kShellFoldersKey[] = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kWindowsVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string BufferText(const char* buf, size_t size) { return std::string(buf, strnlen(buf, size)); }

class WindowsFolderSystem : public FolderSystem {
public:
    std::string WindowsDir() override { return vel::WindowsDir(false); }
    std::string SystemDir() override { return vel::SystemDir(false); }
    bool DirectoryExists(const std::string& path) override { return FolderExists(path); }
    std::string ShellFolder(int csidl) override { return ShellFolderPath(csidl); }
    std::string SpecialFolder(int csidl) override { return ShellSpecialFolderPath(csidl); }
    std::string ShellFolderRegValue(const std::string& name) override { return vel::ShellFolderRegValue(name); }
    std::string RegisteredOwner() override { return GetRegisteredOwner(); }
    LeadByteTest LeadBytes() override { return AnsiLeadByte; }
};

}  // namespace

std::string ShellFolderPath(int csidl) {
    const auto fn = rt_SHGetFolderPathA.get();
    if (!fn) return std::string();
    char buf[1025] = {};
    if (fn(nullptr, csidl | kCsidlFlagCreate, nullptr, 0, buf) != 0) return std::string();
    return BufferText(buf, sizeof buf);
}

std::string ShellSpecialFolderPath(int csidl) {
    const auto fn = rt_SHGetSpecialFolderPathA.get();
    if (!fn) return std::string();
    char buf[1025] = {};
    if (!fn(nullptr, buf, csidl, FALSE)) return std::string();
    return BufferText(buf, sizeof buf);
}

std::string ShellFolderRegValue(const std::string& name) {
    return ReadRegString(kShellFoldersKey, name, "", IsWindows64());
}

std::string WindowsVersionRegValue(const std::string& name) {
    return ReadRegString(kWindowsVersionKey, name, "", IsWindows64());
}

std::string SystemFolder(FolderGetter getter, bool withBackslash) {
    WindowsFolderSystem sys;
    FolderChains chains(sys);
    return (chains.*getter)(withBackslash);
}

}  // namespace vel
