#pragma once
// The stub's main job: extract the package into the extraction folder, start the setup engine
// with its command line, wait for it, take over its exit code and clean up. Windows-only.
#include <windows.h>

#include <string>

namespace vel {

class TGFileInfo;

// Exit code of the stub when its own job failed before or instead of an engine run: the setup
// file is damaged or fails its checksum, the engine could not be started, or the web setup file
// could not be had or failed its checks.
constexpr int kStubFailureExitCode = 1;

// The first timer tick of a setup stub: picks the package, extracts and runs it, deletes the
// extraction folder and ends the message loop. Runs once (stops the window's timer first).
void RunStub();

// Extracts packageFile into destFolder (or an alternate folder on a roomier drive), runs the setup
// engine and waits for it. foreground: the user may be asked and sees the stub window.
// True when the engine deleted the engine token atom while it ran.
bool ExtractAndRun(const std::string& destFolder, const std::string& packageFile, const std::string& agentName,
                   const std::string& extraParams, bool foreground);

// A web stub's job: the setup file beside the stub in location (a local folder) or fetched from
// location (a folder URL) into the temp folder, checked against the own package's SHA-256 (when
// it carries one) and download token, then extracted and run. Every failure ends in a box and the
// failure exit code; No to the download question ends silently. A downloaded file is deleted.
void WebDownloadAndRun(const std::string& extractFolder, const std::string& location,
                       const std::string& setupFileName);
// Writes the web stub's own file as the update agent image (certificate table cut, agent flag
// set), dated like the own file. False when it could not be read or written.
bool WriteWebAgentImage(const std::string& target);

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
