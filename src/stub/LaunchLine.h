#pragma once
// The texts of the extract-and-launch flow that need no system call: the setup engine's command
// line, its thread token and the names derived from it, the temp-space prompt and its MB figures.
// Portable: no Windows API. Nothing here throws.
#include <cstdint>
#include <string>

namespace vel {

// Size in MiB for the space prompt: 3 decimals below 1, 2 up to 10, 1 above; "." decimal point.
std::string FormatSpaceMB(double bytes);

// Removes every occurrence of a switch (exact letter case) with its value and the blank before the
// next switch; the next switch stays. A quoted value is removed whole, even when it holds a "/".
std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName);

// "_" followed by the decimal thread id: passed to the engine as " /TH_ID=".
std::string ThreadToken(uint32_t threadId);
// Global atom the engine deletes to tell the stub it has done its job.
std::string EngineAtomName(const std::string& threadToken);
// Class of the dialog the engine may leave open after it has ended.
std::string EngineDialogClass(const std::string& threadToken);

// Program part of a launch entry ("Engine.exe*/x" -> "Engine.exe"), trimmed.
std::string RunSpecProgram(const std::string& runSpec);
// Parameters of a launch entry (text after "*"), trimmed; empty without "*".
std::string RunSpecParams(const std::string& runSpec);

struct EngineLaunch {
    std::string destFolder;    // extraction folder, with or without trailing backslash
    std::string runSpec;       // launch entry: program name, "*", optional parameters
    std::string extraParams;   // the stub's own command-line tail
    std::string threadToken;   // ThreadToken() of the stub's thread
    std::string ownPath;       // full path of the running stub
    bool isAutoUpdateProg = false;
};

// Path of the engine program: the folder with a trailing backslash and the program name.
std::string EngineProgramPath(const EngineLaunch& l);
// Full command line of the engine: program path, parameters, " /TH_ID=", " /OriginExe=" (unless
// already given), " /AutoUpdateProg" for an agent; without "/SpanCdLvl=" and "/SpanDiskFName1=".
std::string BuildEngineCommandLine(const EngineLaunch& l);

// Whether an engine run succeeded: the token atom was ours (added before the start), the engine
// started and ended with exit code 0, and the atom was gone afterwards (the engine's report). An
// atom missing for another reason, or a report from an engine that then failed, is no success.
bool EngineRunSucceeded(bool atomAdded, bool engineEnded, uint32_t exitCode, bool atomGone);

// The setup's command-line tail marks an update run started by an update agent ("/AutoUpdateProg"
// as a parameter of its own, any letter case).
bool IsUpdateRunLine(const std::string& cmdTail);

// Language texts of the temp-space prompt ("s2" to "s6").
struct TempSpaceTexts {
    std::string announce;    // s2
    std::string limited;     // s3
    std::string required;    // s4
    std::string available;   // s5
    std::string question;    // s6
};

// The temp-space prompt text, or empty when no prompt is due (room enough and no announcement).
std::string TempSpaceMessage(const std::string& folder, bool announceExtraction, double needBytes,
                             double freeBytes, const TempSpaceTexts& texts);

}  // namespace vel
