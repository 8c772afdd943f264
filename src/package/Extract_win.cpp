#include "package/Extract.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <string>

#include "package/ExtractRules.h"
#include "package/PackageFormat.h"
#include "package/RecordPath.h"
#include "package/PackageWalk.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/NameSet.h"
#include "util/Elevation_win.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/RuntimeProc.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// Only the first failed file write of the whole run is shown to the user.
int g_saveFailures = 0;
// Look of the boxes of the running extraction.
int g_charset = 0;
std::string g_buttons;

std::string g_extractFolder;    // fixed at the first GetExtractFolder call
// An elevated run's extraction folder, held open from its creation to its removal: without
// FILE_SHARE_DELETE nobody can rename it away and put another folder under its name (the user
// owns the temp folder and may delete and rename what is in it).
ScopedHandle g_folderHold;
// What this run made in its extraction folders, by full path in upper case: only these may be
// written again, and nothing else may be in the folder when the engine starts.
NameSet g_madeFiles, g_madeFolders;
bool g_alternateProbed = false;
std::string g_alternateRoot;    // "X:\TEMP" or "X:\TEMP\TEMP", empty when none chosen
std::string g_alternateFolder;  // fixed at the first GetAlternateExtractFolder call

// True when `folder` is the elevated run's extraction folder that this process holds.
bool IsHeldExtractFolder(const std::string& folder) {
    return g_folderHold.valid() && !folder.empty() && folder == g_extractFolder;
}

// Creates a folder and every missing parent; true when it exists afterwards.
bool CreateFolderTree(const std::string& folder) {
    const std::string path = ExcludeTrailingBackslash(folder);
    if (path.empty()) return false;
    if (FolderExists(path)) return true;
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' && path[slash - 1] != '\\')
        CreateFolderTree(path.substr(0, slash));
    CreateDirectoryA(path.c_str(), nullptr);
    return FolderExists(path);
}

// A junction or symbolic link stands under the name: writing there would write where it leads.
bool IsLinkedFolder(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Makes `folder` a new plain folder of this run. Whatever stands under the name is removed first
// (a junction or link as a link, never what it leads to). The name is predictable and the folder
// lies where the user's other programs may write: false when this process could not create the
// folder itself (the caller then takes another name).
bool CreateFreshFolder(const std::string& folder) {
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteTree(folder, true);
    const size_t slash = folder.find_last_of('\\');
    if (slash != std::string::npos) CreateFolderTree(folder.substr(0, slash));
    return CreateDirectoryA(folder.c_str(), nullptr) && FolderExists(folder) && !IsLinkedFolder(folder);
}

// Names tried for one extraction folder before giving up.
constexpr int kFolderTries = 16;

// Keeps the window responsive during extraction. Pumping costs a round trip to the window system,
// so between reads and inflate steps it runs at most every 20 ms.
void PumpMessages() {
    static DWORD last = 0;
    const DWORD now = GetTickCount();
    if (now - last < 20) return;
    YieldX(0);
    last = GetTickCount();
}

void ReportSaveFailure(const std::string& target, size_t dataSize, const std::string& errorText) {
    if (g_saveFailures++ != 0) return;
    const std::string details = errorText + "<P>" + "  Data Size: <T>" + IntToStr(int64_t(dataSize)) +
                                " Bytes<P>" + "  File Size:  <T>" + IntToStr(FileSizeByName(target)) +
                                " Bytes<P>" + "  Bytes Free: <T>" + FloatText(DiskFree(target), 0, false) +
                                " Bytes";
    MsgBoxError(0, target + "<P><P>Unable to save Extracted File!<P><P>" + details, "", g_charset, g_buttons);
}

void Progress(const ExtractRequest& r, int mode, int range) {
    if (r.progress) r.progress(mode, range);
}

// Writes the update agent image beside the extracted files, dated like the package file: a new
// file, or the file of that name this run extracted. False when the write failed (reported).
bool WriteAgentImage(const ExtractRequest& r, int64_t textEnd) {
    const std::string agentFile = FileNamePart(r.agentName);
    std::string image;
    if (!BuildAgentImage(r.packageFile, textEnd, image)) {
        DebugLine(" New AU-Agent: not written (no package image with a manifest level in " + r.packageFile + ")");
        return true;
    }
    const std::string target = r.destFolder + "\\" + agentFile;
    if (!WriteExtractedFile(target, image, FileDosTime(r.packageFile))) {
        ReportSaveFailure(target, image.size(), LastErrorText());
        return false;
    }
    DebugLine(" New AU-Agent: " + target);
    return true;
}

// The file that consecutive records of one name are appended to: it stays open from record to
// record and gets its date when it is closed.
class TargetFile {
public:
    ~TargetFile() { Close(); }

    const std::string& Path() const { return path_; }

    // Creates path anew, or, when this run created it before, opens it for appending. Never
    // opens a file someone else put there, nor through a link under the name.
    bool Open(const std::string& path, bool createdBefore) {
        Close();
        path_ = path;
        file_.reset(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ,
                                nullptr, createdBefore ? OPEN_EXISTING : CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return file_.valid();
    }
    bool IsOpen() const { return file_.valid(); }
    bool Write(const char* p, size_t n) {
        DWORD done = 0;
        const bool ok = file_ && WriteFile(file_.get(), p, static_cast<DWORD>(n), &done, nullptr) && done == n;
        if (!ok) failed_ = true;
        return ok;
    }
    // Date of the file once it is complete (DOS date-time, local); 0 keeps the one it has.
    void SetDate(uint32_t dosDate) {
        if (dosDate != 0) date_ = dosDate;
    }
    void Close() {
        if (file_ && !failed_ && date_ != 0) {
            FILETIME local, utc;
            if (DosDateTimeToFileTime(HIWORD(date_), LOWORD(date_), &local) && LocalFileTimeToFileTime(&local, &utc))
                SetFileTime(file_.get(), nullptr, nullptr, &utc);
        }
        file_.reset();
        path_.clear();
        date_ = 0;
        failed_ = false;
    }

private:
    ScopedHandle file_;
    std::string path_;
    uint32_t date_ = 0;
    bool failed_ = false;
};

// The stub's side of the package walk: writes the files, steps the progress, asks for the next
// disk and writes the agent image.
class Extractor : public PackageVisitor {
public:
    Extractor(const ExtractRequest& r, ExtractResult& result) : r_(r), result_(result) {}

    bool BeforePart(int number, const std::string& path) override {
        SetAutoPlaySuppression(true);
        bool answer = true;
        if (r_.forcePrompt || !FileExists(path)) {
            EjectCD(path);
            do {
                const std::string text = ReplaceAll(r_.diskPrompt, "<DISK_NUM>", IntToStr(number));
                answer = MsgBoxConfirmOkCancel(0, text, r_.promptCaption, r_.charset, r_.buttonList);
                WaitPumping(0, 500);
            } while (!FileExists(path) && answer);
        }
        Progress(r_, 1, 0);
        return answer;
    }

    bool OnPart(const PackagePart& part) override {
        if (part.number == 1) DebugLine("FileInfo.FilesCount=" + IntToStr(part.trailer.FileCount()));
        result_.checksumPassed = part.checksumPasses;
        if (!part.checksumPasses) return false;
        DebugLine("FileLen=" + IntToStr(part.where.end));
        if (!part.HasPackage()) return true;  // the walk ends it as damaged
        if (part.number == 1) Progress(r_, 0, static_cast<int>(part.trailer.FileCount()));
        if (RunExtractRules().protectedFolder && !IsHeldExtractFolder(r_.destFolder)) {
            // An elevated run writes only into the folder it made and holds.
            MsgBoxError(0, r_.destFolder + "<P><P>Unable to create Directory!<P><P>Not a folder of this setup.", "",
                        r_.charset, r_.buttonList);
            result_.writeFailed = true;
            return false;
        }
        if (r_.destFolder.empty()) {
            // Without a folder the names would land in the root of the current drive.
            MsgBoxError(0, r_.destFolder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText(), "",
                        r_.charset, r_.buttonList);
            result_.writeFailed = true;
            return false;
        }
        if (!IsHeldExtractFolder(r_.destFolder)) CreateFolderTree(r_.destFolder);
        if (IsLinkedFolder(r_.destFolder)) {
            // Someone else's junction or link: the files would go where it leads.
            MsgBoxError(0, r_.destFolder + "<P><P>Unable to create Directory!<P><P>A link stands in its place.", "",
                        r_.charset, r_.buttonList);
            result_.writeFailed = true;
            return false;
        }
        return true;
    }

    bool OnRecord(const FileRecord& rec, const RawRecord&) override {
        writing_ = false;
        dataSize_ = 0;
        writeError_.clear();
        if (rec.header.empty()) return false;
        if (rec.launch) result_.runSpec = rec.RunSpec();
        const std::string safe = SafeRecordPath(rec.name);
        if (safe.empty()) {
            refused_ = "refused file name \"" + rec.name + "\" (it would be written outside the folder)";
            return false;
        }
        const std::string path = r_.destFolder + "\\" + safe;
        if (path != target_.Path() || !target_.IsOpen()) {
            // Every folder and file is made new by this run, or was made by it earlier: what
            // another program put there first is never written to, nor run.
            path_ = path;
            for (const auto& sub : RecordSubfolders(safe)) {
                const std::string folder = r_.destFolder + "\\" + sub;
                const std::string key = UpperCase(folder);
                if (g_madeFolders.Contains(key)) continue;
                if (!CreateDirectoryA(folder.c_str(), nullptr)) {
                    writeError_ = LastErrorText();
                    return true;
                }
                g_madeFolders.Insert(key);
            }
            const std::string key = UpperCase(path);
            const bool createdBefore = g_madeFiles.Contains(key);
            if (!target_.Open(path, createdBefore)) {
                writeError_ = LastErrorText();
                return true;
            }
            if (!createdBefore) {
                g_madeFiles.Insert(key);
                Progress(r_, 1, 0);  // one step per new file
            }
        }
        target_.SetDate(rec.dosDate);
        writing_ = target_.IsOpen();
        return true;
    }

    void OnData(const char* p, size_t n) override {
        dataSize_ += n;
        if (writing_ && !target_.Write(p, n)) {
            writing_ = false;
            writeError_ = LastErrorText();
        }
    }

    std::string AfterRecord(const RawRecord&) override {
        if (!refused_.empty()) return refused_;
        if (!writeError_.empty()) {
            // A missing or short file must not reach the engine, nor may a later record of the
            // same name be appended after the gap: the extraction ends here.
            ReportSaveFailure(path_, dataSize_, writeError_);
            result_.writeFailed = true;
            return "cannot write " + path_ + ": " + writeError_;
        }
        return std::string();
    }

    void AfterPart(const PackagePart& part, int64_t textEnd) override {
        target_.Close();
        if (part.number == 1 && !FileNamePart(r_.agentName).empty() &&
            (EndsWith(".exe", r_.packageFile, true) || EndsWith(".exe.001", r_.packageFile, true)) &&
            !WriteAgentImage(r_, textEnd))
            result_.writeFailed = true;
    }

    void Pump() override { PumpMessages(); }

private:
    const ExtractRequest& r_;
    ExtractResult& result_;
    TargetFile target_;
    std::string path_;  // the file of the current record
    bool writing_ = false;
    size_t dataSize_ = 0;
    std::string writeError_;
    std::string refused_;
};

// The first file or folder in `folder`'s tree that this run did not make, or empty. Someone else's
// file there (a DLL the engine would load) must not meet the engine.
std::string ForeignEntry(const std::string& folder) {
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return std::string();
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!(isFolder ? g_madeFolders : g_madeFiles).Contains(UpperCase(path))) return path;
        if (isFolder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            const std::string inner = ForeignEntry(path);
            if (!inner.empty()) return inner;
        }
    } while (FindNextFileA(find.get(), &found));
    return std::string();
}

}  // namespace

uint32_t FileDosTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa)) return 0;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&fa.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return (static_cast<uint32_t>(date) << 16) | time;
}

ExtractResult ExtractPackage(const ExtractRequest& r) {
    const DWORD start = GetTickCount();
    ExtractResult result;
    g_charset = r.charset;
    g_buttons = r.buttonList;
    Progress(r, 0, 0);
    Extractor extractor(r, result);
    const WalkResult walk = WalkPackage(r.packageFile, extractor);
    switch (walk.end) {
        case WalkEnd::Complete:
            break;
        case WalkEnd::Stopped:  // a checksum that fails, or no folder to extract into
            result.runSpec.clear();
            break;
        case WalkEnd::Cancelled:
            result.cancelled = true;
            result.runSpec.clear();
            break;
        case WalkEnd::Unreadable:
            // A first file that cannot be read counts as failing its checksum; a later part
            // would leave the setup incomplete.
            if (walk.part == 1) break;
            [[fallthrough]];
        case WalkEnd::NoPackage:
        case WalkEnd::Damaged:
            if (result.writeFailed) break;  // reported already; no second box
            result.damaged = true;
            result.damage = walk.error;
            result.runSpec.clear();
            DebugLine("ExtractPackage: setup file damaged: " + result.damage);
            break;
    }
    if (!result.runSpec.empty() && !result.writeFailed && RunExtractRules().protectedFolder) {
        const std::string foreign = ForeignEntry(r.destFolder);
        if (!foreign.empty()) {
            ReportSaveFailure(foreign, 0, "This file was not written by the setup.");
            result.writeFailed = true;
        }
    }
    if (result.writeFailed) {
        result.runSpec.clear();
        DebugLine("ExtractPackage: a file could not be written; nothing is started");
    }
    DebugLine("UnCompressTime: " + IntToStr(int64_t(GetTickCount() - start)) + " MS");
    DebugLine("");
    WaitPumping(0, 500);
    return result;
}

// ---- Extraction folders ------------------------------------------------------------------------

namespace {

// Claims a folder name for this process with a named mutex that lives until the process ends.
// False when another running stub holds the same name.
bool ClaimFolderName(const std::string& folder) {
    const std::string name = "Local\\VelnorExtract:" + ReplaceChar(UpperCase(folder), '\\', '/');
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    if (!m) return true;  // no way to tell: behave as if the name were free
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m);
        return false;
    }
    return true;  // the handle stays open on purpose: the claim ends with the process
}

// Owner Administrators; a protected DACL: SYSTEM and Administrators full control, inherited by the
// files and folders within, nothing from the parent, nobody else.
constexpr char kProtectedFolderSddl[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

struct NtUnicodeString {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
struct NtObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    NtUnicodeString* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
struct NtIoStatusBlock {
    union {
        LONG Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};
using NtCreateFileFn = LONG(WINAPI*)(PHANDLE, ACCESS_MASK, NtObjectAttributes*, NtIoStatusBlock*, PLARGE_INTEGER, ULONG,
                                     ULONG, ULONG, ULONG, PVOID, ULONG);
RuntimeProc<NtCreateFileFn> rt_NtCreateFile("ntdll.dll", "NtCreateFile");
// Present only in Wine's ntdll. Wine keeps no security descriptors for files: it reports ones made
// up from the Unix file modes, whatever was set.
RuntimeProc<const char*(CDECL*)()> rt_wine_get_version("ntdll.dll", "wine_get_version");
using RtlNtStatusToDosErrorFn = ULONG(WINAPI*)(LONG);
RuntimeProc<RtlNtStatusToDosErrorFn> rt_RtlNtStatusToDosError("ntdll.dll", "RtlNtStatusToDosError");

constexpr ULONG kFileCreate = 2;                   // fails when the name exists
constexpr ULONG kFileDirectoryFile = 0x1;
constexpr ULONG kFileSynchronousIoNonalert = 0x20;
constexpr ULONG kFileOpenReparsePoint = 0x200000;  // a link under the name is not followed
constexpr ULONG kObjCaseInsensitive = 0x40;

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return std::string();
    const std::string result = text;
    LocalFree(text);
    return result;
}

// What the handle tells of its folder: kind, owner and DACL.
FolderFacts ReadFolderFacts(HANDLE folder) {
    FolderFacts facts;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(folder, &info)) {
        facts.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        facts.isReparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return facts;
    facts.ownerSid = SidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(sd, &control, &revision)) facts.daclProtected = (control & SE_DACL_PROTECTED) != 0;
    facts.daclPresent = dacl != nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        AceFacts ace;
        ace.type = header->AceType;
        ace.flags = header->AceFlags;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
            ace.mask = allowed->Mask;
            ace.sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
        }
        facts.aces.push_back(ace);
    }
    LocalFree(sd);
    return facts;
}

// Makes `folder` a new folder that only SYSTEM and Administrators may change, and holds it: created
// with its owner and protected DACL and opened in one step (the name must not exist; a link under
// it is not followed), so that no other folder can be put in its place between the two; then
// checked through the same handle. The handle allows no deleting or renaming. False, with the
// reason, when any step fails.
bool CreateProtectedFolder(const std::string& folder, ScopedHandle& hold, std::string& why) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderSddl, SDDL_REVISION_1, &sd, nullptr)) {
        why = "no security descriptor: " + LastErrorText();
        return false;
    }
    struct FreeSd {
        PSECURITY_DESCRIPTOR sd;
        ~FreeSd() { LocalFree(sd); }
    } freeSd{sd};
    const auto create = rt_NtCreateFile.get();
    if (!create) {
        why = "NtCreateFile is missing";
        return false;
    }
    // The kernel's name of the path: "\??\C:\..." or "\??\UNC\server\share\...".
    const std::string nt = folder.compare(0, 2, "\\\\") == 0 ? "\\??\\UNC" + folder.substr(1) : "\\??\\" + folder;
    std::wstring wide(nt.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, nt.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    if (n <= 1 || (n - 1) * sizeof(wchar_t) > 0xFFFE) {
        why = "bad path";
        return false;
    }
    NtUnicodeString name = {static_cast<USHORT>((n - 1) * sizeof(wchar_t)), static_cast<USHORT>(n * sizeof(wchar_t)),
                            &wide[0]};
    NtObjectAttributes attributes = {sizeof(NtObjectAttributes), nullptr, &name, kObjCaseInsensitive, sd, nullptr};
    NtIoStatusBlock io = {};
    HANDLE raw = nullptr;
    const LONG status = create(&raw, READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               kFileCreate, kFileDirectoryFile | kFileSynchronousIoNonalert | kFileOpenReparsePoint,
                               nullptr, 0);
    if (status < 0 || !raw) {
        const auto toDos = rt_RtlNtStatusToDosError.get();
        SetLastError(toDos ? toDos(status) : ERROR_ACCESS_DENIED);
        why = "not created: " + LastErrorText();
        return false;
    }
    ScopedHandle handle(raw);
    if (IsProtectedExtractFolder(ReadFolderFacts(handle.get()), !rt_wine_get_version.get(), why)) {
        hold = std::move(handle);
        return true;
    }
    handle.reset();
    RemoveDirectoryA(folder.c_str());  // the empty folder just made
    return false;
}

// Names tried for the extraction folder: "SETUP_n", then with the process id appended.
std::string ExtractFolderName(const std::string& base, int attempt) {
    const std::string own = base + "_" + IntToStr(GetCurrentProcessId());
    return attempt == 0 ? base : attempt == 1 ? own : own + "_" + IntToStr(attempt);
}

}  // namespace

const ExtractFolderRules& RunExtractRules() {
    static const ExtractFolderRules rules = ExtractFolderRulesFor(IsProcessElevated());
    return rules;
}

bool WriteExtractedFile(const std::string& path, const std::string& bytes, uint32_t dosDate) {
    const std::string key = UpperCase(path);
    const bool createdBefore = g_madeFiles.Contains(key);
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  createdBefore ? TRUNCATE_EXISTING : CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    g_madeFiles.Insert(key);
    for (size_t done = 0; done < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done < (1u << 20) ? bytes.size() - done : (1u << 20));
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    if (dosDate != 0) {
        FILETIME local, utc;
        if (DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(file.get(), nullptr, nullptr, &utc);
    }
    return true;
}

std::string GetExtractFolder() {
    if (!g_extractFolder.empty()) return g_extractFolder;
    const uint32_t stamp = FileDosTime(ExePath());
    const std::string base = TempDir(true) + "SETUP_" + IntToStr(stamp & 0xFFFF);
    const bool protect = RunExtractRules().protectedFolder;
    // Two setup files with the same time of day may run at once: never wipe the other's files.
    // An elevated run takes only a folder it has just made itself; otherwise a name that cannot be
    // made a fresh folder of ours (a link that cannot be removed, a file kept open) is passed over.
    for (int i = 0; i < kFolderTries && g_extractFolder.empty(); ++i) {
        const std::string folder = ExtractFolderName(base, i);
        if (!ClaimFolderName(folder)) continue;
        std::string why;
        if (protect ? CreateProtectedFolder(folder, g_folderHold, why) : CreateFreshFolder(folder))
            g_extractFolder = folder;
        else if (protect)
            DebugLine("GetExtractFolder: " + folder + " passed over: " + why);
    }
    if (g_extractFolder.empty()) DebugLine("GetExtractFolder: no folder could be created as " + base);
    return g_extractFolder;
}

void RemoveExtractFolder() {
    if (g_extractFolder.empty()) return;
    g_folderHold.reset();
    DeleteTree(g_extractFolder, true);
    g_extractFolder.clear();
    g_madeFiles.Clear();
    g_madeFolders.Clear();
}

std::string ExtractFolderIfCreated() { return g_extractFolder; }

bool FindRoomierTempDrive() {
    if (!g_alternateRoot.empty()) return true;
    if (g_alternateProbed) return false;
    g_alternateProbed = true;
    double freeBytes[3] = {0, 0, 0};
    const char letters[3] = {'C', 'D', 'E'};
    for (int i = 0; i < 3; ++i) {
        const std::string root = std::string(1, letters[i]) + ":\\";
        if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
        std::string probe = root + "TEMP";
        if (FolderExists(probe)) probe += "\\TEMP" + RandomText(10000, 100000);
        if (!CreateFreshFolder(probe)) continue;
        const std::string file = probe + "\\~aa.tmp";
        WriteFileText(file, "aa");
        if (FileExists(file)) freeBytes[i] = DiskFree(probe);
        DeleteTree(probe, true);
    }
    const char current = UpperCase(TempDir(true).substr(0, 1)).c_str()[0];
    char best = current;
    double bestFree = 0;
    for (int i = 0; i < 3; ++i)
        if (letters[i] == current) bestFree = freeBytes[i];
    for (int i = 0; i < 3; ++i) {
        if (freeBytes[i] > bestFree) {
            best = letters[i];
            bestFree = freeBytes[i];
        }
    }
    if (best != current) {
        g_alternateRoot = std::string(1, best) + ":\\TEMP";
        if (FolderExists(g_alternateRoot)) g_alternateRoot += "\\TEMP";
    }
    return !g_alternateRoot.empty();
}

std::string GetAlternateExtractFolder() {
    if (g_alternateRoot.empty()) return std::string();
    if (!g_alternateFolder.empty()) return g_alternateFolder;
    for (int i = 0; i < kFolderTries && g_alternateFolder.empty(); ++i) {
        const std::string folder = g_alternateRoot + "_" + RandomText(10000, 100000);
        if (CreateFreshFolder(folder)) g_alternateFolder = folder;
    }
    return g_alternateFolder;
}

void RemoveAlternateExtractFolder() {
    if (!g_alternateFolder.empty() && FolderExists(g_alternateFolder)) DeleteTree(g_alternateFolder, true);
}

}  // namespace vel
