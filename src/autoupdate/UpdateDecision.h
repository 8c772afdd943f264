#pragma once
// The update decision: whether the version described by the update-info file is to be offered
// now. A fixed chain of six tests; the first that fails fixes the reason code. Portable: the
// values come through UpdateDecisionSource (the settings files and the network on Windows, a
// publisher's files in velpack).
#include <cstdint>
#include <string>

namespace vel {

enum UpdateReason {
    kReasonInfoNotFetched = 0,
    kReasonNoOriginal = 1,
    kReasonTooEarly = 2,
    kReasonNotHigher = 3,
    kReasonValidVersions = 4,
    kReasonSizeError = 5,
    kReasonOk = 6,
};

// Item n is the text of reason code n.
extern const char kUpdateReasonTexts[];
std::string UpdateReasonText(int code);

// Everything the decision reads. Each value is asked for when the chain needs it.
class UpdateDecisionSource {
public:
    virtual ~UpdateDecisionSource() = default;
    // Installation settings file.
    virtual int64_t VersionOriginal() = 0;
    virtual int64_t OriginalStamp() = 0;
    virtual int64_t ReAskSecondsLast() = 0;
    virtual int64_t ReAskSecondsInterval() = 0;
    // Update-info file.
    virtual int64_t InfoStamp() = 0;
    virtual int64_t VersionNew() = 0;
    virtual std::string ValidVersions() = 0;
    virtual std::string DownloadURL_UPDATE() = 0;
    virtual std::string NameOfUpdateFile() = 0;
    virtual int64_t SizeOfUpdateFile() = 0;
    virtual int64_t AutoInform() = 0;
    virtual std::string NameOfInformFile() = 0;
    virtual int64_t SizeOfInformFile() = 0;
    // The agent's clock (seconds since 30 December 1899, local time).
    virtual int64_t NowSeconds() = 0;
    // Size of a file at a drive or UNC path; -1 when there is no file.
    virtual int64_t FolderFileSize(const std::string& path) = 0;
    virtual bool IsConnected() = 0;
    // Size the server gives for a URL; -1 when it gives none.
    virtual int64_t HttpFileSize(const std::string& url) = 0;
    // The trace line (debug stream) and a run-log line.
    virtual void Trace(const std::string& line) = 0;
    virtual void RunLog(const std::string& line) = 0;
};

// The agent's mode, from the update cycle.
struct UpdateDecisionMode {
    bool interactive = false;   // an interactive check for updates
    bool testMode = false;      // test mode: the size check looks only at testLocation
    std::string testLocation;
    bool infoFromWeb = false;   // the update-info file came from the web: only a web update location counts
    uint32_t processId = 0;     // for the trace line
};

bool ReAskDue(UpdateDecisionSource& src);
bool ValidVersionsMatch(UpdateDecisionSource& src);
bool SizeCheck(UpdateDecisionSource& src, const UpdateDecisionMode& mode, const std::string& location,
               const std::string& updateName, const std::string& informName);
// True exactly when code is kReasonOk; text is the reason's text.
bool DecideUpdate(UpdateDecisionSource& src, const UpdateDecisionMode& mode, bool infoFetched, int& code,
                  std::string& text);

}  // namespace vel
