#include "autoupdate/UpdateDecision.h"

#include <cstdint>

#include "autoupdate/UpdateTexts.h"
#include "util/FileText.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

const char kUpdateReasonTexts[] =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch|Download file size error|OK|";

std::string UpdateReasonText(int code) { return SUB::Item(kUpdateReasonTexts, code); }

namespace {
// Versions, stamps and sizes are compared as the low 32 bits of what was read.
int32_t Low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
}  // namespace

bool ReAskDue(UpdateDecisionSource& src) {
    const int64_t interval = src.ReAskSecondsInterval();
    if (interval <= 0) return false;
    const int64_t last = src.ReAskSecondsLast();
    if (last > INT64_MAX - interval) return false;  // never due, and no overflow
    return src.NowSeconds() > last + interval;
}

bool ValidVersionsMatch(UpdateDecisionSource& src) {
    const std::string valid = src.ValidVersions();
    if (valid.empty()) return true;
    const std::string version = "," + IntToStr(Low32(src.VersionOriginal())) + ",";
    return ("," + valid + ",").find(version) != std::string::npos;
}

bool SizeCheck(UpdateDecisionSource& src, const UpdateDecisionMode& mode, const std::string& location,
               const std::string& updateName, const std::string& informName) {
    int64_t expected = src.SizeOfUpdateFile();
    std::string name = updateName;
    if (src.AutoInform() == 1) {
        name = informName;
        expected = src.SizeOfInformFile();
    }
    name = FileNamePart(name);
    const std::string where = mode.testMode ? mode.testLocation : location;
    if (!mode.testMode && !UpdateLocationUsable(where, mode.infoFromWeb)) {
        src.RunLog("ERROR: DownloadURL_UPDATE is not a web address, not used: " + where);
        return false;
    }
    int32_t actual = -1;
    std::string path = where + "\\" + name;
    const int64_t folderSize = src.FolderFileSize(path);
    if (folderSize >= 0) {
        actual = Low32(folderSize);
    } else if (!mode.testMode && src.IsConnected()) {
        path = where + "/" + name;
        actual = Low32(src.HttpFileSize(path));
    }
    // In 64 bits: two 32-bit sizes near 2 GiB apart must not wrap into a small difference.
    const int64_t difference = static_cast<int64_t>(actual) - static_cast<int64_t>(Low32(expected));
    const bool passed = difference > -100 && difference < 100;
    if (!passed) {
        src.RunLog("  InfoSize=" + IntToStr(Low32(expected)));
        src.RunLog("  HttpSize=" + IntToStr(actual));
        src.RunLog("  URL=" + path);
    }
    return passed;
}

bool DecideUpdate(UpdateDecisionSource& src, const UpdateDecisionMode& mode, bool infoFetched, int& code,
                  std::string& text) {
    code = kReasonInfoNotFetched;
    if (infoFetched) code = kReasonNoOriginal;
    const int32_t original = code == kReasonNoOriginal ? Low32(src.VersionOriginal()) : 0;
    if (code == kReasonNoOriginal && original > 0) code = kReasonTooEarly;
    if (code == kReasonTooEarly &&
        (Low32(src.InfoStamp()) != Low32(src.OriginalStamp()) || ReAskDue(src) || mode.interactive))
        code = kReasonNotHigher;
    if (code == kReasonNotHigher && Low32(src.VersionNew()) > original) code = kReasonValidVersions;
    if (code == kReasonValidVersions && ValidVersionsMatch(src)) code = kReasonSizeError;
    if (code == kReasonSizeError &&
        SizeCheck(src, mode, src.DownloadURL_UPDATE(), src.NameOfUpdateFile(), src.NameOfInformFile()))
        code = kReasonOk;
    text = UpdateReasonText(code);
    src.Trace(IntToStr(mode.processId) + " GetOkToPerformAU=" + IntToStr(code));
    src.RunLog("GetOkToPerformAU = " + IntToStr(code) + " - " + text);
    return code == kReasonOk;
}

}  // namespace vel
