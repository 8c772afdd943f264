#include "autoupdate/UpdateDecision_win.h"

#include <windows.h>

#include "autoupdate/UpdateSettings.h"
#include "download/Http.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

int64_t SettingsDecisionSource::VersionOriginal() { return GetVersionOriginal(); }
int64_t SettingsDecisionSource::OriginalStamp() { return GetOriginalStamp(); }
int64_t SettingsDecisionSource::ReAskSecondsLast() { return GetReAskSecondsLast(); }
int64_t SettingsDecisionSource::ReAskSecondsInterval() { return GetReAskSecondsInterval(); }
int64_t SettingsDecisionSource::InfoStamp() { return GetInfoStamp(); }
int64_t SettingsDecisionSource::VersionNew() { return GetVersionNew(); }
std::string SettingsDecisionSource::ValidVersions() { return GetValidVersions(); }
std::string SettingsDecisionSource::DownloadURL_UPDATE() { return GetDownloadURL_UPDATE(); }
std::string SettingsDecisionSource::NameOfUpdateFile() { return GetNameOfUpdateFile(); }
int64_t SettingsDecisionSource::SizeOfUpdateFile() { return GetSizeOfUpdateFile(); }
int64_t SettingsDecisionSource::AutoInform() { return GetAutoInform(); }
std::string SettingsDecisionSource::NameOfInformFile() { return GetNameOfInformFile(); }
int64_t SettingsDecisionSource::SizeOfInformFile() { return GetSizeOfInformFile(); }
int64_t SettingsDecisionSource::NowSeconds() { return AgentClockNow(); }

int64_t SettingsDecisionSource::FolderFileSize(const std::string& path) {
    return FileExists(path) ? FileSizeByName(path) : -1;
}

bool SettingsDecisionSource::IsConnected() { return HTTP_IsConnected(); }

int64_t SettingsDecisionSource::HttpFileSize(const std::string& url) { return HTTP_GetFileSize(url); }

void SettingsDecisionSource::Trace(const std::string& line) { DebugLine(line); }
void SettingsDecisionSource::RunLog(const std::string& line) { vel::RunLog(line); }

bool GetOkToPerformAU(const UpdateDecisionMode& mode, bool infoFetched, int& code, std::string& text) {
    SettingsDecisionSource source;
    UpdateDecisionMode m = mode;
    if (m.processId == 0) m.processId = GetCurrentProcessId();
    return DecideUpdate(source, m, infoFetched, code, text);
}

}  // namespace vel
