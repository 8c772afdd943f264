#include "stub/RunModes.h"

#include "util/FileText.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

std::string WindowClassNameFor(const std::string& ownPath, bool isAutoUpdateProg) {
    if (!isAutoUpdateProg) return ownPath;
    return ".AutoUpdate." + StripLastExtension(FileNamePart(ownPath));
}

std::string AgentCopyClassName(const std::string& agentName) {
    return ".AutoUpdate.X_" + StripLastExtension(Trim(agentName));
}

bool IsPlainAutoUpdateExe(bool isAutoUpdateProg, const std::string& ownPath, const std::string& agentName) {
    return isAutoUpdateProg && !Trim(agentName).empty() && SameTextTrimmed(FileNamePart(ownPath), agentName);
}

bool IsXAutoUpdateExe(bool isAutoUpdateProg, const std::string& ownPath, const std::string& agentName) {
    return isAutoUpdateProg && !Trim(agentName).empty() &&
           SameTextTrimmed(FileNamePart(ownPath), "X_" + Trim(agentName));
}

bool IsSpanLevel1(bool spanCopyFlag, int64_t spanCdLvl) { return spanCopyFlag && spanCdLvl == 1; }
bool IsSpanLevel2(int64_t spanCdLvl) { return spanCdLvl == 2; }

StubBranch ChooseBranch(const RunFacts& f) {
    if (f.ownWindowExists) return StubBranch::SecondInstance;
    if (IsPlainAutoUpdateExe(f.isAutoUpdateProg, f.ownPath, f.agentName)) return StubBranch::CreateAgentCopy;
    if (IsXAutoUpdateExe(f.isAutoUpdateProg, f.ownPath, f.agentName)) return StubBranch::RunAgentCopy;
    if (IsSpanLevel1(f.spanCopyFlag, f.spanCdLvl)) return StubBranch::StartSpanCopy;
    return StubBranch::RunStubWindow;
}

const char* BranchName(StubBranch b) {
    switch (b) {
        case StubBranch::SecondInstance: return "SecondInstance";
        case StubBranch::CreateAgentCopy: return "CreateAndRun_X_Exe";
        case StubBranch::RunAgentCopy: return "AgentCopy";
        case StubBranch::StartSpanCopy: return "StartSpanCopy";
        case StubBranch::RunStubWindow: return "WinMain";
    }
    return "?";
}

std::string AgentCopyArguments(const std::string& transient, const std::string& delay) {
    std::string args;
    if (!transient.empty()) args += " /TRANSIENTx=" + transient;
    if (!delay.empty()) args += " /SleepX=" + delay;
    return args;
}

std::string SpanCopyArguments(const std::string& cmdTail, const std::string& ownPath) {
    return Trim(cmdTail + " /SpanCdLvl=2 /SpanDiskFName1=\"" + ownPath + ".001\"" + " /OriginExe=\"" + ownPath +
                "\"");
}

std::vector<AgentPost> PlanAgentPosts(const ParamRequests& r, const std::string& xPath, bool xPathExists,
                                      bool copyWasRunning) {
    std::vector<AgentPost> posts;
    if (!xPathExists) return posts;
    if (r.stop >= 0) posts.push_back({wm_ShutDown, r.stop, 0, "PostProcessMessage(wm_ShutDown) to: " + xPath});
    if (!r.wmMsg.empty()) {
        const std::string list = ":" + r.wmMsg + ":";
        posts.push_back({wm_LocalMsg, SUB::ItemInt64(list, 0, 0), SUB::ItemInt64(list, 1, 0),
                         "PostProcessMessage(wm_LocalMsg) to: " + xPath + " - " + list});
    }
    if (r.test >= 0) {
        posts.push_back({wm_AgentMsg, AU_PerformUpdateCycle, r.test,
                         "PostProcessMessage(wm_AgentMsg) to: " + xPath + " - AU_PerformUpdateCycle (" +
                             IntToStr(r.test) + ")"});
        // A copy started just for this request ends soon after the requested cycle.
        if (!copyWasRunning && r.test > 0) posts.push_back({wm_ShutDown, 2, 0, ""});
    }
    return posts;
}

}  // namespace vel
