#pragma once
// The decisions of the stub's entry: which role this run plays, the window class names by which
// running instances are found, and the requests a plain update agent forwards to its running copy.
// Pure functions of the facts the entry gathers (own path, package trailer, command-line switches),
// so every case can be built and checked without starting a program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel {

// Window messages between processes.
constexpr unsigned wm_ShutDown = 1123;  // WM_USER + 99
constexpr unsigned wm_LocalMsg = 1124;  // WM_USER + 100
constexpr unsigned wm_AgentMsg = 1125;  // WM_USER + 101
constexpr int AU_PerformUpdateCycle = 31;

// Longest window class name the system registers (class names are atom names).
constexpr size_t kMaxWindowClassName = 255;
// A class name that the system registers: the name itself when it fits, otherwise ".VelnorStub."
// and 16 hex digits of a 64-bit hash of the name with its letters upper-cased (class names are
// found regardless of letter case), so that each long name still has its own class.
std::string FitWindowClassName(const std::string& name);

// Class of the stub window: ".AutoUpdate." + own file name without its last extension for an
// update agent, otherwise the full path as the system reports it; fitted (FitWindowClassName).
std::string WindowClassNameFor(const std::string& ownPath, bool isAutoUpdateProg);
// Class of the agent copy's window: ".AutoUpdate.X_" + the agent name without its last extension,
// fitted.
std::string AgentCopyClassName(const std::string& agentName);

bool IsPlainAutoUpdateExe(bool isAutoUpdateProg, const std::string& ownPath, const std::string& agentName);
bool IsXAutoUpdateExe(bool isAutoUpdateProg, const std::string& ownPath, const std::string& agentName);

// "/SpanCdLvl=" value as read (default 1 when absent or not a number).
bool IsSpanLevel1(bool spanCopyFlag, int64_t spanCdLvl);
bool IsSpanLevel2(int64_t spanCdLvl);
// The span copy's own run: a file named "Y_" + the setup's name, whose package asks for a span copy,
// started with "/SpanCdLvl=2". Only this run extracts the file named by "/SpanDiskFName1=" and removes
// its own folder at its end: anyone can start a setup with those switches.
bool IsSpanCopyRole(bool spanCopyFlag, int64_t spanCdLvl, const std::string& ownPath);

enum class StubBranch {
    SecondInstance,   // a window of our class exists: do nothing but forward requests
    CreateAgentCopy,  // plain update agent: make and start the "X_" copy
    RunAgentCopy,     // the "X_" copy: run the update cycle in the stub window
    StartSpanCopy,    // copy to "Y_" in the extraction folder and run that
    RunStubWindow     // the setup stub (or the span copy itself)
};

struct RunFacts {
    std::string ownPath;
    bool isAutoUpdateProg = false;
    bool spanCopyFlag = false;      // trailer flag bit 2
    std::string agentName;          // settings list item 2
    int64_t spanCdLvl = 1;          // "/SpanCdLvl="
    bool ownWindowExists = false;   // a top-level window of our own class exists
};

StubBranch ChooseBranch(const RunFacts& f);
const char* BranchName(StubBranch b);

// "/WAIT=" seconds before the plain agent makes its copy, limited to what a wait in milliseconds
// can hold (a negative value waits not at all).
int64_t AgentStartWaitSeconds(int64_t requested);

// Arguments of the agent copy: " /TRANSIENTx=" + transient, then " /SleepX=" + delay (each when given).
std::string AgentCopyArguments(const std::string& transient, const std::string& delay);
// Command-line arguments of the span copy (trimmed), given this run's command-line tail.
std::string SpanCopyArguments(const std::string& cmdTail, const std::string& ownPath);

// One message the plain update agent posts to its running copy.
struct AgentPost {
    unsigned message;
    int64_t wParam;
    int64_t lParam;
    std::string logLine;
};

struct ParamRequests {
    int64_t stop = -1;           // "/STOP="
    std::string wmMsg;           // "/WM_MSG="
    int64_t test = -1;           // "/TEST="
};

// The posts that forward command-line requests, in order. xPath is the agent copy's path; nothing is
// posted when it does not exist. copyWasRunning: the agent copy ran before this program started.
std::vector<AgentPost> PlanAgentPosts(const ParamRequests& r, const std::string& xPath, bool xPathExists,
                                      bool copyWasRunning);

}  // namespace vel
