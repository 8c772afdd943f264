#include "stub/RunModes.h"

#include "util/FileText.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

std::string FitWindowClassName(const std::string& name) {
    if (name.size() <= kMaxWindowClassName) return name;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        hash ^= (u >= 'a' && u <= 'z') ? u - ('a' - 'A') : u;
        hash *= 1099511628211ull;
    }
    std::string fitted = ".VelnorStub.";
    for (int shift = 60; shift >= 0; shift -= 4) fitted += "0123456789ABCDEF"[(hash >> shift) & 0xF];
    return fitted;
}

std::string WindowClassNameFor(const std::string& ownPath, bool isAutoUpdateProg) {
    if (!isAutoUpdateProg) return FitWindowClassName(ownPath);
    return FitWindowClassName(".AutoUpdate." + StripLastExtension(FileNamePart(ownPath)));
}

std::string AgentCopyClassName(const std::string& agentName) {
    return FitWindowClassName(".AutoUpdate.X_" + StripLastExtension(Trim(agentName)));
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

bool IsSpanCopyRole(bool spanCopyFlag, int64_t spanCdLvl, const std::string& ownPath) {
    const std::string name = FileNamePart(ownPath);
    return spanCopyFlag && IsSpanLevel2(spanCdLvl) && name.size() > 2 && UpperCase(name.substr(0, 2)) == "Y_";
}

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

int64_t AgentStartWaitSeconds(int64_t requested) {
    constexpr int64_t kMaxSeconds = 0xFFFFFFFFLL / 1000;  // 49 days in a 32-bit millisecond count
    return requested < 0 ? 0 : requested > kMaxSeconds ? kMaxSeconds : requested;
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
