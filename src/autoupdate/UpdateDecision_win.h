#pragma once
// Windows-only. The update decision over the installed product's settings files.
#include <string>

#include "autoupdate/UpdateDecision.h"

namespace vel {

// Reads both settings files afresh (UpdateSettings.h); test mode and interactive mode come from
// the update cycle. True exactly when code is 6 ("OK").
bool GetOkToPerformAU(const UpdateDecisionMode& mode, bool infoFetched, int& code, std::string& text);

// The decision's values as this program reads them: the settings files, the agent's clock,
// files in drive or UNC folders, and HTTP for a web location.
class SettingsDecisionSource : public UpdateDecisionSource {
public:
    int64_t VersionOriginal() override;
    int64_t OriginalStamp() override;
    int64_t ReAskSecondsLast() override;
    int64_t ReAskSecondsInterval() override;
    int64_t InfoStamp() override;
    int64_t VersionNew() override;
    std::string ValidVersions() override;
    std::string DownloadURL_UPDATE() override;
    std::string NameOfUpdateFile() override;
    int64_t SizeOfUpdateFile() override;
    int64_t AutoInform() override;
    std::string NameOfInformFile() override;
    int64_t SizeOfInformFile() override;
    int64_t NowSeconds() override;
    int64_t FolderFileSize(const std::string& path) override;
    bool IsConnected() override;
    int64_t HttpFileSize(const std::string& url) override;
    void Trace(const std::string& line) override;
    void RunLog(const std::string& line) override;
};

}  // namespace vel
