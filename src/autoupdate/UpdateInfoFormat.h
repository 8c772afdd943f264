#pragma once
// The update-info file (".info") as one record: written by the publishing tool, read by it back
// with the agent's value rules (SettingsValues.h). The agent itself reads key by key through
// UpdateSettings.h. Portable: no Windows API.
#include <cstdint>
#include <string>

#include "util/IniFile.h"

namespace vel {

struct UpdateInfo {
    // [NewSetup]
    std::string downloadUrlUpdate;
    std::string nameOfUpdateFile;
    int64_t sizeOfUpdateFile = 0;
    std::string sha256OfUpdateFile;
    bool confirmDownload = false;
    bool confirmDownloadForce = false;
    bool confirmInstall = false;
    bool confirmInstallForce = false;
    bool backgroundUpdate = false;
    std::string shutDownMethod;
    int64_t shutDownWaitSeconds = 30;  // written only when it differs from this
    bool restartProcess = false;
    bool informFinish = false;
    std::string runningProcess;
    std::string programName;
    int64_t versionNew = 0;
    int64_t stamp = 0;
    std::string validVersions;
    bool removeStartUpShortcut = false;
    bool removeCheckForNewUpdateShortcut = false;
    // [General]
    int64_t autoInform = 0;
    // [AutoInform]
    std::string downloadUrlInform;
    std::string nameOfInformFile;
    int64_t sizeOfInformFile = 0;
    std::string sha256OfInformFile;
    int64_t autoInformW = 360;
    int64_t autoInformH = 360;
};

// INI text with CR LF lines. Texts are written in double quotes when they begin or end with a
// blank or a quote, so that the reader gets them back unchanged.
std::string UpdateInfoText(const UpdateInfo& info);
// The values as the agent reads them (missing keys read as their defaults).
UpdateInfo ReadUpdateInfo(const IniFile& ini);
// Whether a text can stand as an INI value (no line breaks, no NUL).
bool IsIniValue(const std::string& text);

}  // namespace vel
