#pragma once
// The stub's main job: extract the package into the extraction folder, start the setup engine
// with its command line, wait for it, take over its exit code and clean up. Windows-only.
#include <windows.h>

#include <string>

namespace vel {

class TGFileInfo;

// Exit code of the stub when its own job failed before or instead of an engine run: the setup
// file is damaged or fails its checksum, the engine could not be started, or the web download
// (not built yet) was asked for.
constexpr int kStubFailureExitCode = 1;

// The first timer tick of a setup stub: picks the package, extracts and runs it, deletes the
// extraction folder and ends the message loop. Runs once (stops the window's timer first).
void RunStub();

// Extracts packageFile into destFolder (or an alternate folder on a roomier drive), runs the setup
// engine and waits for it. foreground: the user may be asked and sees the stub window.
// True when the engine deleted the engine token atom while it ran.
bool ExtractAndRun(const std::string& destFolder, const std::string& packageFile, const std::string& agentName,
                   const std::string& extraParams, bool foreground);

// The package's space need for the folder's drive is below the drive's free bytes, and the
// folder exists.
bool TempDriveHasRoom(const std::string& folder, const std::string& packageFile);
// The temp-space prompt when one is due; true when the run may go on (no prompt, or Yes).
bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& reader);
// Registry value ForcePrompt of HKCU\Software\Dorvanik\Velnor\SpanDisk is "1".
bool SpanDiskForcePrompt();

// Returns when the process has ended (checks every 500 ms, pumping messages meanwhile).
void WaitForProcess(HANDLE process);

}  // namespace vel
