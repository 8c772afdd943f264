#pragma once
// Windows-only. What the running agent copy's pieces share: the cycle's state and notifications
// (AgentCopy_win.cpp), the fetch of its three files and the update run (PerformUpdate_win.cpp),
// the announcement of a new version (PerformInform_win.cpp).
#include <cstdint>
#include <string>

#include "autoupdate/UpdateCycle.h"

namespace vel {

// ---- The cycle (AgentCopy_win.cpp) ----------------------------------------------------------------
// The agent copy's process-wide cycle state.
UpdateCycleState& AgentCycle();
// An interactive check is running (agent mode 1).
bool InteractiveCheck();
void SetAgentPhase(int32_t phase);
// A progress notification to the registered client window (codes 40 to 43, 50, 51).
void Notify(int code, std::intptr_t value);
// Test mode from the dated registry values; re-read at most every 30 s unless forced.
bool CheckTestMode(bool force);
// The agent's folder, with a trailing backslash.
std::string AgentFolder();
// The agent's boxes speak the installation's language: captions, buttons and charset come from
// its "MsgBox" section; they are never timed out. mode: an owner-or-mode of ui/MsgBox.h.
void AgentError(std::uintptr_t mode, const std::string& text);
void AgentAttention(std::uintptr_t mode, const std::string& text);
bool AgentConfirm(std::uintptr_t mode, const std::string& text);

// ---- Fetch and update (PerformUpdate_win.cpp) ------------------------------------------------------
// Kinds of DownloadFileAU.
constexpr int kFetchInfo = 1;    // update-info file: into memory, then written to the agent's folder
constexpr int kFetchUpdate = 2;  // update file: straight into the agent's folder
constexpr int kFetchInform = 3;  // inform file: straight into the agent's folder
// Fetches name from location (a drive or UNC folder, or over HTTP) into the agent's folder and,
// for kinds 2 and 3, checks that it belongs to this product. errorText: why a fetch failed.
bool DownloadFileAU(const std::string& location, const std::string& name, int kind, std::string& errorText);
// Asks as the update-info file says, fetches the update, shuts the product down, runs the update,
// records the new version and restarts the product. True when the setup engine reported success.
// productStillRunning (when given) tells a shot that ended because the product did not end in time:
// the update was not run and its file is gone.
bool PerformAutoUpdate(bool* productStillRunning = nullptr);
// Starts a fresh copy of the agent and ends this one (after a successful update).
void ReStartAutoUpdateExe();

// ---- Inform (PerformInform_win.cpp) ------------------------------------------------------------------
// Fetches the inform file and shows its announcement in the rich-text box. True when shown.
bool PerformAutoInform();

}  // namespace vel
