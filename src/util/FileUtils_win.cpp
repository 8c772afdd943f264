// File utilities: standard folders, reading and writing files, free space, tree searches,
// deleting files and trees, self-deletion and CD eject.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "util/Catch.h"
#include "util/DebugLog.h"
#include "util/RuntimeProc.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

RuntimeProc<BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER)> rt_GetDiskFreeSpaceExA(
    "kernel32.dll", "GetDiskFreeSpaceExA");

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

struct DirEntry {
    std::string name;
    DWORD attributes;
};

// The entries of a search mask in the order the system lists them ("." and ".." left out).
std::vector<DirEntry> ListEntries(const std::string& mask) {
    std::vector<DirEntry> out;
    WIN32_FIND_DATAA fd;
    ScopedFind find(FindFirstFileA(mask.c_str(), &fd));
    if (!find) return out;
    do {
        if (!IsDotEntry(fd.cFileName)) out.push_back({fd.cFileName, fd.dwFileAttributes});
    } while (FindNextFileA(find.get(), &fd));
    return out;
}

// A linked folder (junction or symbolic link) is not descended into: it may lead back up the
// tree or into a tree that is not ours.
bool IsPlainSubfolder(const DirEntry& e) {
    return (e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(e.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A text from a fixed-size system call (GetWindowsDirectory and friends); empty on failure.
template <typename Call>
std::string SystemText(Call call) {
    char buf[261] = {};
    const DWORD n = call(buf, static_cast<DWORD>(sizeof(buf)));
    return (n == 0 || n >= sizeof(buf)) ? std::string() : std::string(buf, n);
}

// The short form where the volume has one, else the path as it is.
std::string ShortPath(const std::string& path) {
    const std::string shortForm = ShortPathOf(path);
    return shortForm.empty() ? path : shortForm;
}

bool SetDosFileTime(HANDLE file, uint32_t dosDate) {
    FILETIME local;
    FILETIME utc;
    if (!DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local)) return false;
    if (!LocalFileTimeToFileTime(&local, &utc)) return false;
    return SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
}

}  // namespace

bool FolderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FullPathName(const std::string& path) {
    VEL_TRY {
        if (path.empty()) return std::string();
        const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
        if (size == 0) return std::string();
        std::string buf(size, '\0');
        const DWORD n = GetFullPathNameA(path.c_str(), size, &buf[0], nullptr);
        return n > 0 && n < size ? buf.substr(0, n) : std::string();
    } VEL_CATCH_ALL {
        return std::string();
    }
}

std::string ShortPathOf(const std::string& path) {
    VEL_TRY {
        if (path.empty()) return std::string();
        const DWORD size = GetShortPathNameA(path.c_str(), nullptr, 0);
        if (size == 0) return std::string();
        std::string buf(size, '\0');
        const DWORD n = GetShortPathNameA(path.c_str(), &buf[0], size);
        return n > 0 && n < size ? buf.substr(0, n) : std::string();
    } VEL_CATCH_ALL {
        return std::string();
    }
}

// ---- Paths and folders --------------------------------------------------------------------------

bool AnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::string SetTrailingBackslash(const std::string& path, bool wanted) {
    return SetTrailingBackslash(path, wanted, AnsiLeadByte);
}

std::string ExcludeTrailingBackslash(const std::string& path) { return ExcludeTrailingBackslash(path, AnsiLeadByte); }

std::string CollapseBackslashes(const std::string& path, bool excludeTrailing) {
    return CollapseBackslashes(path, excludeTrailing, AnsiLeadByte);
}

std::string BaseName(const std::string& path, bool allExtensions) {
    return BaseName(path, allExtensions, AnsiLeadByte);
}

std::string ExePath(bool baseNameOnly) {
    VEL_TRY {
        std::vector<char> buf(MAX_PATH + 1, '\0');
        for (;;) {
            const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) return "";
            if (n < buf.size()) {
                const std::string path(buf.data(), n);
                return baseNameOnly ? BaseName(path, false) : path;
            }
            if (buf.size() >= 32768) return "";
            buf.resize(buf.size() * 2);
        }
    } VEL_CATCH_ALL {
        return "";
    }
}

std::string ExeDir(bool backslash) {
    const std::string path = ExePath(false);
    if (path.empty()) return "";
    return SetTrailingBackslash(FileFolder(path, AnsiLeadByte), backslash);
}

std::string WindowsDir(bool backslash) {
    const std::string d = SystemText([](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); });
    return d.empty() ? d : SetTrailingBackslash(d, backslash);
}

std::string SystemDir(bool backslash) {
    const std::string d = SystemText([](char* b, DWORD n) { return GetSystemDirectoryA(b, n); });
    return d.empty() ? d : SetTrailingBackslash(d, backslash);
}

std::string TempDir(bool backslash) {
    const std::string d = SystemText([](char* b, DWORD n) { return GetTempPathA(n, b); });
    return d.empty() ? d : SetTrailingBackslash(d, backslash);
}

// ---- Files --------------------------------------------------------------------------------------

int64_t FileSizeByName(const std::string& path) {
    WIN32_FIND_DATAA fd;
    ScopedFind find(FindFirstFileA(path.c_str(), &fd));
    if (!find) return 0;
    return static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
}

std::string ReadFilePart(const std::string& path, int64_t maxLength, bool trim, int64_t offset) {
    VEL_TRY {
        ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return "";
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file.get(), &size)) return "";
        int64_t length = size.QuadPart - offset;
        if (maxLength != 0 && length > maxLength) length = maxLength;
        if (offset < 0 || offset >= size.QuadPart || length <= 0) return "";
        if (static_cast<uint64_t>(length) > std::string().max_size()) return "";

        LARGE_INTEGER pos;
        pos.QuadPart = offset;
        if (!SetFilePointerEx(file.get(), pos, nullptr, FILE_BEGIN)) return "";
        if (!MemoryAvailable(static_cast<size_t>(length))) return "";
        std::string data(static_cast<size_t>(length), '\0');
        size_t done = 0;
        while (done < data.size()) {
            const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 0x40000000));
            DWORD got = 0;
            if (!ReadFile(file.get(), &data[done], want, &got, nullptr) || got == 0) return "";
            done += got;
        }
        return trim ? Trim(data) : data;
    } VEL_CATCH_ALL {
        return "";
    }
}

bool WriteFileText(const std::string& path, const std::string& text, uint32_t dosDate, bool append,
                   const WriteProgress& hook) {
    VEL_TRY {
        ScopedHandle file;
        if (append) {
            file.reset(CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) return false;
            LARGE_INTEGER zero = {};
            if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
        } else {
            file.reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) return false;
        }
        const HANDLE h = file.get();
        const bool all = WriteInChunks(text, hook, [h](const char* data, int64_t size) -> int64_t {
            DWORD written = 0;
            if (!WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr)) return 0;
            return written;
        });
        if (all && dosDate != 0) SetDosFileTime(h, dosDate);
        return all;
    } VEL_CATCH_ALL {
        return false;
    }
}

bool AppendToFile(const std::string& path, const std::string& text, bool lineBreak, uint32_t dosDate) {
    return WriteFileText(path, lineBreak ? text + "\r\n" : text, dosDate, true, nullptr);
}

double DiskFree(const std::string& path) {
    const auto freeSpaceEx = rt_GetDiskFreeSpaceExA.get();
    if (path.empty()) return 0;

    const std::string root = DriveRootOf(path);
    if (freeSpaceEx) {
        ULARGE_INTEGER available;
        ULARGE_INTEGER total;
        ULARGE_INTEGER free;
        const std::string query = VolumeQueryPath(path, true);
        if (freeSpaceEx(query.c_str(), &available, &total, &free) || freeSpaceEx(root.c_str(), &available, &total, &free))
            return static_cast<double>(available.QuadPart);
        return 0;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return 0;
    return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

// ---- Searching ----------------------------------------------------------------------------------

std::string FindFileInTree(const std::string& folder, const std::string& fileName) {
    if (folder.empty() || fileName.empty()) return "";
    const std::string base = SetTrailingBackslash(folder, true);
    if (IsFile(base + fileName)) return base + fileName;
    for (const DirEntry& e : ListEntries(base + "*.*")) {
        std::string hit;
        VEL_TRY {
            if (IsPlainSubfolder(e)) hit = FindFileInTree(base + e.name, fileName);
        } VEL_CATCH_ALL {
        }
        YieldX(0);
        if (!hit.empty()) return hit;
    }
    return "";
}

std::string FindFileOnDrives(const std::string& fileName, UINT driveType) {
    for (char d = 'C'; d <= 'Z'; ++d) {
        const std::string root = std::string(1, d) + ":\\";
        if (GetDriveTypeA(root.c_str()) != driveType) continue;
        const std::string hit = FindFileInTree(root, fileName);
        if (!hit.empty()) return hit;
    }
    return "";
}

std::string FindDirInTree(const std::string& folder, const std::string& dirName) {
    if (dirName.empty()) return "";
    const std::string dir = ExcludeTrailingBackslash(folder);
    if (!FolderExists(dir + "\\")) return "";
    if (EndsWith("\\" + dirName, dir, true)) return dir;
    for (const DirEntry& e : ListEntries(dir + "\\*.*")) {
        std::string hit;
        VEL_TRY {
            if (IsPlainSubfolder(e)) hit = FindDirInTree(dir + "\\" + e.name, dirName);
        } VEL_CATCH_ALL {
        }
        YieldX(0);
        if (!hit.empty()) return hit;
    }
    return "";
}

std::string FindDirOnDrives(const std::string& dirName, UINT driveType) {
    if (dirName.size() >= 3 && dirName.compare(1, 2, ":\\") == 0) {
        const std::string root = DriveRootOf(dirName);
        return GetDriveTypeA(root.c_str()) == driveType && FolderExists(dirName) ? dirName : std::string();
    }
    for (char d = 'C'; d <= 'Z'; ++d) {
        const std::string root = std::string(1, d) + ":\\";
        if (GetDriveTypeA(root.c_str()) != driveType) continue;
        const std::string hit = FindDirInTree(root, dirName);
        if (!hit.empty()) return hit;
    }
    return "";
}

// ---- Deleting -----------------------------------------------------------------------------------

namespace {

// Tests only: see SetDeleteTreeEntrySeam.
DeleteTreeEntrySeam g_entrySeam = nullptr;

// Entries are opened as themselves, a link as the link (FILE_FLAG_OPEN_REPARSE_POINT), folders
// too (FILE_FLAG_BACKUP_SEMANTICS); and without FILE_SHARE_DELETE, so that while one is open
// nobody can rename, delete or replace it, nor any folder above it up to the top of the tree.
constexpr DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE;
constexpr DWORD kEntryShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kEntryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// The path the system gives for an open handle, links resolved; empty when it gives none.
std::wstring FinalPathOf(HANDLE h) {
    std::wstring buf(MAX_PATH, L'\0');
    for (int i = 0; i < 2; ++i) {
        const DWORD n = GetFinalPathNameByHandleW(h, &buf[0], static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return std::wstring();
        if (n < buf.size()) {
            buf.resize(n);
            while (!buf.empty() && buf.back() == L'\\') buf.pop_back();
            return buf;
        }
        buf.assign(n + 1, L'\0');
    }
    return std::wstring();
}

// Where the system should name the entry `name` of a folder that it names `folder`; empty when
// that is unknown.
std::wstring PlaceIn(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() ? folder : folder + L"\\" + name;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool FactsOf(HANDLE h, EntryFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return false;
    facts.attributes = info.dwFileAttributes;
    facts.id = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

struct ListedEntry {
    std::wstring name;
    EntryFacts facts;
};

// The entries of an open folder, read through its handle ("." and ".." left out).
bool ListFolder(HANDLE dir, std::vector<ListedEntry>& out) {
    std::vector<LONGLONG> buf(8192);  // 64 KiB, aligned for the records
    const DWORD size = static_cast<DWORD>(buf.size() * sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS cls = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(dir, cls, buf.data(), size)) return GetLastError() == ERROR_NO_MORE_FILES;
        cls = FileIdBothDirectoryInfo;
        const char* p = reinterpret_cast<const char*>(buf.data());
        for (;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(p);
            const std::wstring name(e->FileName, e->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..")
                out.push_back({name, {e->FileAttributes, static_cast<uint64_t>(e->FileId.QuadPart)}});
            if (e->NextEntryOffset == 0) break;
            p += e->NextEntryOffset;
        }
    }
}

// What the listing of its folder says about the entry at `path`, and where the system should name
// it; from its attributes alone (no id, no place) when the folder cannot be listed. False when
// nothing is there.
bool ListedFactsOf(const std::wstring& path, EntryFacts& facts, std::wstring& place) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash + 1 < path.size()) {
        const std::wstring name = path.substr(slash + 1);
        const std::wstring parent = path.substr(0, slash + 1);
        ScopedHandle dir(CreateFileW(parent.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        std::vector<ListedEntry> entries;
        if (dir && ListFolder(dir.get(), entries)) {
            for (const ListedEntry& e : entries) {
                if (SameName(e.name, name)) {
                    facts = e.facts;
                    place = PlaceIn(FinalPathOf(dir.get()), e.name);
                    return true;
                }
            }
        }
    }
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    facts = {a, 0};
    return true;
}

bool ClearAttributes(HANDLE h) {
    FILE_BASIC_INFO basic = {};  // zero times: left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Marks the open entry for deletion: it goes when its last handle closes.
bool MarkDeleted(HANDLE h) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

struct TreeDelete {
    bool clearAttributes;
    bool filesOnly;  // DeleteFiles: never a folder, not even one swapped in for a file
};

bool DeleteEntry(const TreeDelete& how, const std::wstring& path, const EntryFacts& listed,
                 const std::wstring& place, const DeleteProgress* hook);

// Empties the folder open through `dir`: its files first, then its subfolders, each followed by
// the hook (given at the top only) and a short pump. False when the hook cancelled.
bool EmptyFolder(const TreeDelete& how, HANDLE dir, const std::wstring& path, const DeleteProgress* hook) {
    std::vector<ListedEntry> entries;
    ListFolder(dir, entries);
    const std::wstring here = FinalPathOf(dir);
    for (const ListedEntry& e : entries) {
        if (e.facts.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        VEL_TRY {
            DeleteEntry(how, path + L"\\" + e.name, e.facts, PlaceIn(here, e.name), nullptr);
        } VEL_CATCH_ALL {
        }
    }
    bool cancel = false;
    for (const ListedEntry& e : entries) {
        if (cancel) break;
        if (!(e.facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        VEL_TRY {
            const std::wstring sub = path + L"\\" + e.name;
            DeleteEntry(how, sub, e.facts, PlaceIn(here, e.name), nullptr);
            if (hook && *hook) (*hook)(Narrow(sub), cancel);
        } VEL_CATCH_ALL {
        }
        WaitPumping(0, 10);
    }
    return !cancel;
}

// Deletes the entry at `path`, which its folder's listing described as `listed`: opened as itself
// and decided and deleted through that handle, so that a link swapped in at any moment goes as a
// link and is never followed. `place` is the path the system should give for it (empty: unknown).
// True when it is marked for deletion (it goes as the handle closes).
bool DeleteEntry(const TreeDelete& how, const std::wstring& path, const EntryFacts& listed,
                 const std::wstring& place, const DeleteProgress* hook) {
    if (g_entrySeam) g_entrySeam(Narrow(path));
    ScopedHandle h(CreateFileW(path.c_str(), kEntryAccess, kEntryShare, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    if (!h) return false;
    EntryFacts opened;
    if (!FactsOf(h.get(), opened)) return false;
    // This Wine shows a link to a file as a plain file and opens its target: only the target's
    // path tells.
    const std::wstring actual = place.empty() ? place : FinalPathOf(h.get());
    EntryAction action = DeleteActionFor(listed, opened, !actual.empty() && !SameName(actual, place));
    if (how.filesOnly && action == EntryAction::RemoveFolder) action = EntryAction::Leave;
    switch (action) {
        case EntryAction::Leave:
            // This Wine opens a link's target even when asked for the link: it is left alone then.
            DebugLine("DeleteTree: left, not what was listed or a link: " + Narrow(path));
            return false;
        case EntryAction::RemoveFolder:
            if (!EmptyFolder(how, h.get(), path, hook)) return false;
            break;
        case EntryAction::RemoveLink:
        case EntryAction::RemoveFile:
            break;
    }
    if (how.clearAttributes && (opened.attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        ClearAttributes(h.get());
    return MarkDeleted(h.get());
}

}  // namespace

void SetDeleteTreeEntrySeam(DeleteTreeEntrySeam seam) { g_entrySeam = seam; }

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
    const std::string folder = FileFolder(mask, AnsiLeadByte);
    ScopedHandle dir(CreateFileA(folder.empty() ? "." : folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::wstring here = dir ? FinalPathOf(dir.get()) : std::wstring();
    bool matched = false;
    for (const DirEntry& e : ListEntries(mask)) {
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        matched = true;
        VEL_TRY {
            const std::wstring name = Wide(e.name);
            DeleteEntry({clearAttributes, true}, Wide(folder) + name, {e.attributes, 0},
                        PlaceIn(here, name), nullptr);
        } VEL_CATCH_ALL {
        }
    }
    return matched;
}

bool DeleteTree(const std::string& folder, bool clearAttributes, const DeleteProgress& hook) {
    VEL_TRY {
        const std::string dir = ExcludeTrailingBackslash(folder);
        // A whole drive or share is never a tree to delete ("C:\" arrives here as "C:"), nor a path
        // that leads to one ("C:\Temp\..").
        const std::string full = FullPathName(dir);
        if (IsRootPath(folder) || IsRootPath(dir) || full.empty() || IsRootPath(full)) return false;
        const std::wstring path = Wide(full);
        EntryFacts listed;
        std::wstring place;
        if (!ListedFactsOf(path, listed, place) || !(listed.attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        DeleteEntry({clearAttributes, false}, path, listed, place, &hook);
        return !FolderExists(full);
    } VEL_CATCH_ALL {
        return false;
    }
}

bool DeleteMySelf(bool removeFolder, bool shortNames) {
    VEL_TRY {
        std::string exe = ExePath(false);
        std::string folder = ExeDir(false);
        DebugPair("ExeName", exe);
        if (shortNames) {
            exe = ShortPath(exe);
            folder = ShortPath(folder);
        }
        // The system's command processor and ping by full path, the whole bounded loop on the
        // command line: no file is run that anyone else could rewrite meanwhile.
        const std::string system = SystemDir(true);
        const std::string cmd = system + "cmd.exe";
        std::string line = SelfDeleteCommand(cmd, system + "ping.exe", exe, folder, removeFolder);
        if (line.empty()) {
            DebugLine("DeleteMySelf: the path cannot be given to cmd safely, the program is left: " + exe);
            return false;
        }
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION pi = {};
        // Started in the system folder, out of the program's folder, so that it can be removed.
        if (!CreateProcessA(cmd.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                            system.c_str(), &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    } VEL_CATCH_ALL {
        return false;
    }
}

bool EjectCD(const std::string& path) {
    VEL_TRY {
        if (path.empty()) return false;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        if (letter < 'A' || letter > 'Z') return false;
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;

        const std::string device = std::string("\\\\.\\") + letter + ":";
        ScopedHandle drive(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
        DebugLine("EjectCD-2: " + device + " " + IntToStr(reinterpret_cast<intptr_t>(drive.get())));
        if (!drive) {
            drive.reset(CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
            DebugLine("EjectCD-3: " + device + " " + IntToStr(reinterpret_cast<intptr_t>(drive.get())));
        }
        if (!drive) return false;
        DWORD bytes = 0;
        return DeviceIoControl(drive.get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &bytes, nullptr) !=
               FALSE;
    } VEL_CATCH_ALL {
        return false;
    }
}

}  // namespace vel
