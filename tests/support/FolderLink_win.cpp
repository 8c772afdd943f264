#include "support/FolderLink_win.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>


namespace vel {
namespace testsupport {

namespace {

bool IsLinkedFolder(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Runs a program of the host under Wine (Wine starts one given by a path on its host drive Z:)
// and waits until `done` holds, for at most 10 s: Wine gives no exit of a host program to wait for.
template <typename Done>
bool RunHost(const std::string& commandLine, Done done) {
    std::string cmd = "Z:" + commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 200 && !done(); ++i) Sleep(50);
    return done();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A junction: a mount-point reparse point on an empty folder.
bool MakeJunction(const std::string& link, const std::string& target) {
    HANDLE h = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::string nt = "\\??\\" + target;
    const WORD nameBytes = static_cast<WORD>(nt.size() * sizeof(WCHAR));
    // Tag, data length, reserved, substitute name offset and length, print name offset and
    // length, then the substitute name and an empty print name, each ending in a NUL.
    std::vector<char> buf(16 + nameBytes + 2 * sizeof(WCHAR), 0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD fields[6] = {static_cast<WORD>(buf.size() - 8), 0, 0, nameBytes, static_cast<WORD>(nameBytes + 2), 0};
    std::memcpy(&buf[0], &tag, sizeof tag);
    std::memcpy(&buf[4], fields, sizeof fields);
    for (size_t i = 0; i < nt.size(); ++i) {
        const WCHAR c = static_cast<unsigned char>(nt[i]);
        std::memcpy(&buf[16 + i * sizeof(WCHAR)], &c, sizeof c);
    }
    DWORD done = 0;
    const BOOL ok =
        DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(), static_cast<DWORD>(buf.size()), nullptr, 0, &done, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

// The host folder of the prefix's drive links: the parent of C:'s ("…/dosdevices/c:/").
std::string HostDriveFolder() {
    std::string c = HostPath("C:\\");
    while (!c.empty() && c.back() == '/') c.pop_back();
    const size_t slash = c.find_last_of('/');
    return slash == std::string::npos ? std::string() : c.substr(0, slash + 1);
}

}  // namespace

std::string HostPath(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return std::string();
    const std::wstring wide(path.begin(), path.end());
    char* name = unixName(wide.c_str());
    const std::string out = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

bool MakeFolderLink(const std::string& link, const std::string& target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
    if (MakeJunction(link, target)) return IsLinkedFolder(link);
    RemoveDirectoryA(link.c_str());
    const std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) return false;
    return RunHost("\\bin\\ln -s " + Quoted(hostTarget) + " " + Quoted(hostLink), [&] { return IsLinkedFolder(link); });
}

void RemoveLink(const std::string& link) {
    if (!RemoveDirectoryA(link.c_str())) DeleteFileA(link.c_str());
    // Wine may report success and leave a host link in place, or keep one whose target is gone.
    const std::string host = HostPath(link);
    if (!host.empty()) RunHost("\\bin\\rm -f " + Quoted(host), [&] { return !Exists(link); });
}

bool MakeFileLink(const std::string& link, const std::string& target) {
    // Wine's CreateSymbolicLink reports success without making a link: look, then use the host's.
    const DWORD kUnprivileged = 2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(), kUnprivileged) && Exists(link)) return true;
    const std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) return false;
    return RunHost("\\bin\\ln -sf " + Quoted(hostTarget) + " " + Quoted(hostLink), [&] { return Exists(link); });
}

bool MapDriveLetter(char letter, const std::string& folder) {
    const std::string drive = std::string(1, letter) + ":";
    if (Exists(drive + "\\")) return false;  // in use
    if (DefineDosDeviceA(0, drive.c_str(), folder.c_str())) {
        if (Exists(drive + "\\")) return true;
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    }
    const std::string drives = HostDriveFolder(), hostFolder = HostPath(folder);
    if (drives.empty() || hostFolder.empty()) return false;
    return RunHost("\\bin\\ln -s " + Quoted(hostFolder) + " " + Quoted(drives + static_cast<char>(letter | 0x20) + ":"),
                   [&] { return Exists(drive + "\\"); });
}

void UnmapDriveLetter(char letter) {
    const std::string drive = std::string(1, letter) + ":";
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    const std::string drives = HostDriveFolder();
    if (!drives.empty())
        RunHost("\\bin\\rm -f " + Quoted(drives + static_cast<char>(letter | 0x20) + ":"),
                [&] { return !Exists(drive + "\\"); });
}

}  // namespace testsupport
}  // namespace vel
