#pragma once
// The two settings files of an installed product, beside the running program: the installation
// settings file (".original", written at installation; the agent rewrites a few keys) and the
// update-info file (".info", fetched from the update location; only read). Every accessor sees
// the file's current content, so a value written by one step is seen by the next; a missing file,
// section or key reads as the default. Value rules: SettingsValues.h. Windows-only implementation
// (UpdateSettings_win.cpp).
#include <cstdint>
#include <string>

#include "autoupdate/SettingsValues.h"

namespace vel {

// Paths of the two files; empty when the own package names no update-info file.
std::string InstallSettingsFile();
std::string UpdateInfoFile();
// Whether the update-info file comes from the web: the own package's information location is not
// a drive or UNC folder.
bool InfoFromWeb();
// Every accessor reads the file's current content; values are kept only while the file's size
// and times stay the same. A writer that may keep both (a rewrite within the same clock tick)
// calls this after writing.
void SettingsFilesChanged();
// Points the accessors at other files (a checking tool, tests); two empty paths restore the
// files beside the running program.
void UseSettingsFiles(const std::string& installSettings, const std::string& updateInfo);

// ---- Installation settings file -----------------------------------------------------------------
// [OriginalSetup]
int64_t GetProbeSecondsInterval();
int64_t GetProbeSecondsLast();
int64_t GetReAskSecondsInterval();
int64_t GetReAskSecondsLast();
int64_t GetVersionOriginal();
int64_t GetOriginalStamp();
std::string GetOriginalProgramName();
void SetProbeSecondsInterval(int64_t seconds);
// Also write the echo text under "__ProbeSecondsLast" / "__ReAskSecondsLast".
void SetProbeSecondsLast(int64_t seconds);
void SetReAskSecondsInterval(int64_t seconds);
void SetReAskSecondsLast(int64_t seconds);
// Versions and stamps are 32-bit values, written sign-extended.
void SetVersionOriginal(int32_t version);
void SetOriginalStamp(int32_t stamp);
// [Directories]
std::string GetTargetDir();
std::string GetSharedDir();
std::string GetAuxiliaryDir();
// [UnInstall]
std::string GetStartUpLink();
std::string GetCheckforNewUpdateLink();
// [MsgBox]
std::string GetMsgBoxBtnText();
std::string GetMsgBoxError();
std::string GetMsgBoxConfirm();
std::string GetMsgBoxAttention();
int64_t GetMsgBoxCharSet();
std::string GetMsgBoxFontName();
int64_t GetMsgBoxFontSize();
// [AutoUpdate] "s2" .. "s35": with the given default, or with the agent's own default.
std::string GetUpdateText(const std::string& key, const std::string& def);
std::string GetUpdateText(const std::string& key);
// The agent's own default of an update text (empty for those the installation must supply).
std::string UpdateTextDefault(const std::string& key);

// ---- Update-info file ---------------------------------------------------------------------------
// [NewSetup]
std::string GetDownloadURL_UPDATE();
std::string GetNameOfUpdateFile();
int64_t GetSizeOfUpdateFile();
// The update file's SHA-256 as 64 hex digits; empty when the file names none.
std::string GetSHA256OfUpdateFile();
bool GetRequestConfirmationBeforeDownload();
bool GetRequestConfirmationBeforeDownloadForce();
bool GetRequestConfirmationBeforeInstall();
bool GetRequestConfirmationBeforeInstallForce();
bool GetBackgroundUpdate();
std::string GetShutDownMethod();
// Seconds to wait for the product to end after asking it to (ShutDownDecision.h).
int64_t GetShutDownWaitSeconds();
bool GetRestartProcess();
bool GetInformFinish();
std::string GetRunningProcess();
std::string GetInfoProgramName();
int64_t GetVersionNew();
int64_t GetInfoStamp();
std::string GetValidVersions();
bool GetRemoveStartUpShortcut();
bool GetRemoveCheckForNewUpdateShortcut();
// [General]
int64_t GetAutoInform();
// [AutoInform]
std::string GetDownloadURL_INFORM();
std::string GetNameOfInformFile();
int64_t GetSizeOfInformFile();
// The inform file's SHA-256 as 64 hex digits; empty when the file names none.
std::string GetSHA256OfInformFile();
int64_t GetAutoInformW();
int64_t GetAutoInformH();

// ---- Around a setup engine run ------------------------------------------------------------------
// The shortcut files that the installation recorded ("StartUpLink", "CheckforNewUpdateLink") are
// read before the engine starts; after an engine that deleted the engine token atom, each is
// deleted when the update-info file asks for it and it exists.
void NoteShortcutsBeforeEngine();
void RemoveShortcutsAfterEngine(bool tokenDeleted);

// The transient list of a starting program ("/TRANSIENTx=").
void SetTransientOverrides(const std::string& list);

}  // namespace vel
