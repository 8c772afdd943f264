#include "package/Extract.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "package/PackageFormat.h"
#include "package/RecordPath.h"
#include "package/PackageWalk.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// Only the first failed file write of the whole run is shown to the user.
int g_saveFailures = 0;
// Look of the boxes of the running extraction.
int g_charset = 0;
std::string g_buttons;

std::string g_extractFolder;    // fixed at the first GetExtractFolder call
bool g_alternateProbed = false;
std::string g_alternateRoot;    // "X:\TEMP" or "X:\TEMP\TEMP", empty when none chosen
std::string g_alternateFolder;  // fixed at the first GetAlternateExtractFolder call

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

// Writes the update agent image beside the extracted files, dated like the package file. False
// when the write failed (reported).
bool WriteAgentImage(const ExtractRequest& r, int64_t textEnd) {
    const std::string agentFile = FileNamePart(r.agentName);
    std::string image;
    if (!BuildAgentImage(r.packageFile, textEnd, image)) {
        DebugLine(" New AU-Agent: not written (no package image with a manifest level in " + r.packageFile + ")");
        return true;
    }
    const std::string target = r.destFolder + "\\" + agentFile;
    if (!WriteFileText(target, image, FileDosTime(r.packageFile), false)) {
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

    // Opens path for appending (created when missing); existed tells whether it was there before.
    bool Open(const std::string& path, bool& existed) {
        Close();
        path_ = path;
        file_.reset(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        existed = GetLastError() == ERROR_ALREADY_EXISTS;
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
        if (r_.destFolder.empty()) {
            // Without a folder the names would land in the root of the current drive.
            MsgBoxError(0, r_.destFolder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText(), "",
                        r_.charset, r_.buttonList);
            result_.writeFailed = true;
            return false;
        }
        CreateFolderTree(r_.destFolder);
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
            for (const auto& sub : RecordSubfolders(safe))
                CreateDirectoryA((r_.destFolder + "\\" + sub).c_str(), nullptr);
            bool existed = false;
            if (!target_.Open(path, existed)) writeError_ = LastErrorText();
            if (!existed) Progress(r_, 1, 0);  // one step per new file
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
            ReportSaveFailure(target_.Path(), dataSize_, writeError_);
            result_.writeFailed = true;
            return "cannot write " + target_.Path() + ": " + writeError_;
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
    bool writing_ = false;
    size_t dataSize_ = 0;
    std::string writeError_;
    std::string refused_;
};

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

}  // namespace

std::string GetExtractFolder() {
    if (!g_extractFolder.empty()) return g_extractFolder;
    const uint32_t stamp = FileDosTime(ExePath());
    const std::string base = TempDir(true) + "SETUP_" + IntToStr(stamp & 0xFFFF);
    const std::string own = base + "_" + IntToStr(GetCurrentProcessId());
    // Two setup files with the same time of day may run at once: never wipe the other's files.
    // A name that cannot be made a fresh folder of ours (a link that cannot be removed, a file
    // kept open) is passed over too.
    for (int i = 0; i < kFolderTries && g_extractFolder.empty(); ++i) {
        const std::string folder = i == 0 ? base : i == 1 ? own : own + "_" + IntToStr(i);
        if (ClaimFolderName(folder) && CreateFreshFolder(folder)) g_extractFolder = folder;
    }
    if (g_extractFolder.empty()) DebugLine("GetExtractFolder: no folder could be created as " + base);
    return g_extractFolder;
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
