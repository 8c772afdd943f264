#include "autoupdate/UpdateSettings.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "autoupdate/ShutDownDecision.h"
#include "autoupdate/UpdateTexts.h"
#include "package/FileInfo.h"
#include "stub/StubState.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/SUB.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

std::string g_installSettings;  // set by UseSettingsFiles; empty = beside the program
std::string g_updateInfo;

// Shortcut files that the installation recorded, as read before the engine ran.
struct ShortcutLinks {
    std::string startUp;
    std::string checkUpdate;
};
ShortcutLinks g_links;

const char kOriginal[] = "OriginalSetup";
const char kNewSetup[] = "NewSetup";
const char kInform[] = "AutoInform";

// What tells a file's content has changed: its size, creation and last-write times.
struct FileStamp {
    bool exists = false;
    uint64_t size = 0, created = 0, written = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && size == o.size && created == o.created && written == o.written;
    }
};

uint64_t Ticks(const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

FileStamp StampOf(const std::string& file) {
    FileStamp s;
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d)) return s;
    s.exists = true;
    s.size = (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    s.created = Ticks(d.ftCreationTime);
    s.written = Ticks(d.ftLastWriteTime);
    return s;
}

// Values read from one settings file, kept while its stamp is unchanged: reading a value costs
// about twenty times a look at the stamp, and the agent reads a few values on every tick all day.
struct ReadCache {
    std::string file;
    FileStamp stamp;
    std::vector<std::pair<std::string, std::string>> values;  // section \n key \n default -> value
};
ReadCache g_cache[2];  // the two settings files
unsigned g_cacheNext = 0;

ReadCache& CacheFor(const std::string& file, const FileStamp& stamp) {
    ReadCache* c = nullptr;
    for (ReadCache& e : g_cache)
        if (e.file == file) c = &e;
    if (!c) c = &g_cache[g_cacheNext++ % 2];
    if (c->file != file || !(c->stamp == stamp)) {
        c->file = file;
        c->stamp = stamp;
        c->values.clear();
    }
    return *c;
}

// A missing file name reads as all defaults (the private-profile functions would otherwise look
// for the empty name in the Windows folder).
std::string Text(const std::string& file, const char* section, const char* key, const std::string& def) {
    if (file.empty()) return def;
    ReadCache& cache = CacheFor(file, StampOf(file));
    const std::string id = std::string(section) + "\n" + key + "\n" + def;
    for (const auto& v : cache.values)
        if (v.first == id) return v.second;
    const std::string value = ReadIniString(file, section, key, def);
    cache.values.emplace_back(id, value);
    return value;
}
int64_t Int(const std::string& file, const char* section, const char* key, int64_t def) {
    return SettingsInt(Text(file, section, key, IntToStr(def)), def);
}
bool Flag(const char* key) { return SettingsFlag(Text(UpdateInfoFile(), kNewSetup, key, "0")); }
bool Overridable(int position, const char* key) {
    return OverridableFlag(GetTransientOverride(position), Text(UpdateInfoFile(), kNewSetup, key, "0"));
}

std::string Original(const char* section, const char* key, const std::string& def) {
    return Text(InstallSettingsFile(), section, key, def);
}
int64_t OriginalInt(const char* key, int64_t def) { return Int(InstallSettingsFile(), kOriginal, key, def); }
void WriteOriginal(const char* key, int64_t value) {
    const std::string file = InstallSettingsFile();
    if (!file.empty()) WriteIniInt(file, kOriginal, key, value);
    SettingsFilesChanged();
}
// The seconds and, for people reading the file, the same moment as text under "__" + key.
void WriteMoment(const char* key, int64_t seconds) {
    WriteOriginal(key, seconds);
    const std::string file = InstallSettingsFile();
    if (!file.empty()) WriteIniString(file, kOriginal, std::string("__") + key, EchoText(seconds));
    SettingsFilesChanged();
}

std::string Info(const char* section, const char* key) { return Text(UpdateInfoFile(), section, key, ""); }
int64_t InfoInt(const char* section, const char* key, int64_t def) {
    return Int(UpdateInfoFile(), section, key, def);
}

void RemoveShortcut(bool wanted, const std::string& link) {
    if (!wanted || link.empty() || !FileExists(link)) return;
    if (DeleteFileA(link.c_str())) DebugLine("Removed shortcut " + link);
}

}  // namespace

std::string InstallSettingsFile() {
    if (!g_installSettings.empty() || !g_updateInfo.empty()) return g_installSettings;
    const TGFileInfo& own = OwnPackage();
    return own.InfoFileName().empty() ? std::string() : own.InstallSettingsPath(ExeDir(true));
}

bool InfoFromWeb() { return !IsDriveOrUncPath(OwnPackage().InfoLocation()); }

std::string UpdateInfoFile() {
    if (!g_installSettings.empty() || !g_updateInfo.empty()) return g_updateInfo;
    const std::string name = OwnPackage().InfoFileName();
    return name.empty() ? std::string() : ExeDir(true) + name;
}

void SettingsFilesChanged() {
    for (ReadCache& e : g_cache) e = ReadCache();
}

void UseSettingsFiles(const std::string& installSettings, const std::string& updateInfo) {
    SettingsFilesChanged();
    g_installSettings = installSettings;
    g_updateInfo = updateInfo;
}

int64_t GetProbeSecondsInterval() { return OriginalInt("ProbeSecondsInterval", 0); }
int64_t GetProbeSecondsLast() { return OriginalInt("ProbeSecondsLast", 0); }
int64_t GetReAskSecondsInterval() { return OriginalInt("ReAskSecondsInterval", 0); }
int64_t GetReAskSecondsLast() { return OriginalInt("ReAskSecondsLast", 0); }
int64_t GetVersionOriginal() { return OriginalInt("VersionOriginal", 0); }
int64_t GetOriginalStamp() { return OriginalInt("Stamp", 0); }
std::string GetOriginalProgramName() { return Original(kOriginal, "ProgramName", ""); }
void SetProbeSecondsInterval(int64_t seconds) { WriteOriginal("ProbeSecondsInterval", seconds); }
void SetProbeSecondsLast(int64_t seconds) { WriteMoment("ProbeSecondsLast", seconds); }
void SetReAskSecondsInterval(int64_t seconds) { WriteOriginal("ReAskSecondsInterval", seconds); }
void SetReAskSecondsLast(int64_t seconds) { WriteMoment("ReAskSecondsLast", seconds); }
void SetVersionOriginal(int32_t version) { WriteOriginal("VersionOriginal", version); }
void SetOriginalStamp(int32_t stamp) { WriteOriginal("Stamp", stamp); }

std::string GetTargetDir() { return Original("Directories", "TargetDir", ""); }
std::string GetSharedDir() { return Original("Directories", "SharedDir", ""); }
std::string GetAuxiliaryDir() { return Original("Directories", "AuxiliaryDir", ""); }
std::string GetStartUpLink() { return Original("UnInstall", "StartUpLink", ""); }
std::string GetCheckforNewUpdateLink() { return Original("UnInstall", "CheckforNewUpdateLink", ""); }

std::string GetMsgBoxBtnText() { return Original("MsgBox", "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"); }
std::string GetMsgBoxError() { return Original("MsgBox", "Error", "Error"); }
std::string GetMsgBoxConfirm() { return Original("MsgBox", "Confirm", "Confirm"); }
std::string GetMsgBoxAttention() { return Original("MsgBox", "Attention", "Attention"); }
int64_t GetMsgBoxCharSet() { return Int(InstallSettingsFile(), "MsgBox", "CharSet", 0); }
std::string GetMsgBoxFontName() { return Original("MsgBox", "FontName", "Tahoma"); }
int64_t GetMsgBoxFontSize() { return Int(InstallSettingsFile(), "MsgBox", "FontSize", 8); }

std::string UpdateTextDefault(const std::string& key) {
    static const char kDefaults[] =
        "|s3=File Download Aborted!|s4=File not Found!|s5=Unable to Download File!"
        "|s31=Downloading INFO File...|s32=Downloading UPDATE File...|s33=Downloading INFORM File..."
        "|s34=New Version|s35=Download|";
    return SUB::Value(kDefaults, key, true, false, "", "");
}
std::string GetUpdateText(const std::string& key, const std::string& def) {
    return key.empty() ? def : Text(InstallSettingsFile(), "AutoUpdate", key.c_str(), def);
}
std::string GetUpdateText(const std::string& key) { return GetUpdateText(key, UpdateTextDefault(key)); }

std::string GetDownloadURL_UPDATE() { return Info(kNewSetup, "DownloadURL_UPDATE"); }
std::string GetNameOfUpdateFile() { return Info(kNewSetup, "NameOfUpdateFile"); }
int64_t GetSizeOfUpdateFile() { return InfoInt(kNewSetup, "SizeOfUpdateFile", 0); }
std::string GetSHA256OfUpdateFile() { return Info(kNewSetup, "SHA256OfUpdateFile"); }
bool GetRequestConfirmationBeforeDownload() {
    return Overridable(kTransientConfirmDownload, "RequestConfirmationBeforeDownload");
}
bool GetRequestConfirmationBeforeDownloadForce() {
    return Overridable(kTransientConfirmDownloadForce, "RequestConfirmationBeforeDownloadForce");
}
bool GetRequestConfirmationBeforeInstall() {
    return Overridable(kTransientConfirmInstall, "RequestConfirmationBeforeInstall");
}
bool GetRequestConfirmationBeforeInstallForce() {
    return Overridable(kTransientConfirmInstallForce, "RequestConfirmationBeforeInstallForce");
}
bool GetBackgroundUpdate() { return Overridable(kTransientBackgroundUpdate, "BackgroundUpdate"); }
std::string GetShutDownMethod() { return Info(kNewSetup, "ShutDownMethod"); }
int64_t GetShutDownWaitSeconds() { return ShutDownWaitSeconds(Info(kNewSetup, "ShutDownWaitSeconds")); }
bool GetRestartProcess() { return Overridable(kTransientRestartProcess, "RestartProcess"); }
bool GetInformFinish() { return Overridable(kTransientInformFinish, "InformFinish"); }
std::string GetRunningProcess() { return Info(kNewSetup, "RunningProcess"); }
std::string GetInfoProgramName() { return Info(kNewSetup, "ProgramName"); }
int64_t GetVersionNew() { return InfoInt(kNewSetup, "VersionNew", 0); }
int64_t GetInfoStamp() { return InfoInt(kNewSetup, "Stamp", 0); }
std::string GetValidVersions() { return Info(kNewSetup, "ValidVersions"); }
bool GetRemoveStartUpShortcut() { return Flag("RemoveStartUpShortcut"); }
bool GetRemoveCheckForNewUpdateShortcut() { return Flag("RemoveCheckForNewUpdateShortcut"); }

int64_t GetAutoInform() { return InfoInt("General", "AutoInform", 0); }
std::string GetDownloadURL_INFORM() { return Info(kInform, "DownloadURL_INFORM"); }
std::string GetNameOfInformFile() { return Info(kInform, "NameOfInformFile"); }
int64_t GetSizeOfInformFile() { return InfoInt(kInform, "SizeOfInformFile", 0); }
std::string GetSHA256OfInformFile() { return Info(kInform, "SHA256OfInformFile"); }
int64_t GetAutoInformW() { return InfoInt(kInform, "AutoInformW", 360); }
int64_t GetAutoInformH() { return InfoInt(kInform, "AutoInformH", 360); }

void NoteShortcutsBeforeEngine() {
    g_links.startUp = GetStartUpLink();
    g_links.checkUpdate = GetCheckforNewUpdateLink();
}

void RemoveShortcutsAfterEngine(bool tokenDeleted) {
    if (tokenDeleted) {
        RemoveShortcut(GetRemoveStartUpShortcut(), g_links.startUp);
        RemoveShortcut(GetRemoveCheckForNewUpdateShortcut(), g_links.checkUpdate);
    }
    g_links = ShortcutLinks();
}

void SetTransientOverrides(const std::string& list) {
    ReadTransientList(list);
    DebugLine(IntToStr(GetCurrentProcessId()) + " HandleParamOK: transient overrides " + WriteTransientList());
}

}  // namespace vel
