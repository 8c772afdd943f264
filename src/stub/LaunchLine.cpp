#include "stub/LaunchLine.h"

#include "util/FileText.h"
#include "util/StrUtils.h"

namespace vel {

std::string FormatSpaceMB(double bytes) {
    double mb = bytes > 0 ? bytes / 1048576.0 : 0.0;
    const int decimals = mb > 10 ? 1 : (mb >= 1 ? 2 : 3);
    return FloatText(mb, decimals, false);
}

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName) {
    if (switchName.empty()) return commandLine;
    std::string s = commandLine;
    size_t at;
    while ((at = s.find(switchName)) != std::string::npos) {
        size_t end = at + switchName.size();
        while (end < s.size() && s[end] != '/') {
            if (s[end] == '"') {
                const size_t close = s.find('"', end + 1);
                end = close == std::string::npos ? s.size() : close + 1;
                continue;
            }
            ++end;
        }
        s.erase(at, end - at);
    }
    return s;
}

std::string ThreadToken(uint32_t threadId) { return "_" + IntToStr(threadId); }

std::string EngineAtomName(const std::string& threadToken) {
    return "AutoUpdateAtomTokenByVelnor" + threadToken;
}

std::string EngineDialogClass(const std::string& threadToken) {
    return ".SDialog_Class_Name." + threadToken;
}

std::string RunSpecProgram(const std::string& runSpec) {
    return Trim(runSpec.substr(0, runSpec.find('*')));
}

std::string RunSpecParams(const std::string& runSpec) {
    const size_t star = runSpec.find('*');
    return star == std::string::npos ? std::string() : Trim(runSpec.substr(star + 1));
}

std::string EngineProgramPath(const EngineLaunch& l) {
    std::string folder = l.destFolder;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder + RunSpecProgram(l.runSpec);
}

std::string BuildEngineCommandLine(const EngineLaunch& l) {
    std::string cmd = EngineProgramPath(l);
    const std::string params = Trim(l.extraParams + " " + RunSpecParams(l.runSpec));
    if (!params.empty()) cmd += " " + params;
    cmd += " /TH_ID=" + l.threadToken;
    if (cmd.find("/OriginExe=") == std::string::npos) cmd += " /OriginExe=\"" + l.ownPath + "\"";
    if (l.isAutoUpdateProg) cmd += " /AutoUpdateProg";
    cmd = RemoveSwitch(cmd, "/SpanCdLvl=");
    return RemoveSwitch(cmd, "/SpanDiskFName1=");
}

std::string TempSpaceMessage(const std::string& folder, bool announceExtraction, double needBytes,
                             double freeBytes, const TempSpaceTexts& texts) {
    std::string msg;
    if (announceExtraction) msg = texts.announce;
    if (needBytes >= freeBytes) msg = texts.limited;
    if (msg.empty()) return msg;
    msg += texts.required + texts.available + texts.question;
    msg = ReplaceAll(msg, "<DRIVE>", DriveOf(folder));
    msg = ReplaceAll(msg, "<SPACE_REQ>", FormatSpaceMB(needBytes));
    return ReplaceAll(msg, "<SPACE_AVAIL>", FormatSpaceMB(freeBytes));
}

bool EngineRunSucceeded(bool atomAdded, bool engineEnded, uint32_t exitCode, bool atomGone) {
    return atomAdded && engineEnded && exitCode == 0 && atomGone;
}

bool IsUpdateRunLine(const std::string& cmdTail) {
    const std::string line = " " + UpperCase(cmdTail) + " ";
    return line.find(" /AUTOUPDATEPROG ") != std::string::npos;
}

}  // namespace vel
