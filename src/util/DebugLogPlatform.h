#pragma once
// What the debug stream and the run log need from the system, kept apart from the portable rules.
// Defined in DebugLog_win.cpp on Windows and in DebugLog_posix.cpp on other hosts.
// None of these throws; failures are silent (the diagnostics never disturb the program).
#include <cstdint>
#include <string>

namespace vel {
namespace debuglog {

// Recursive lock around the process-wide debug stream; usable from the first call.
void LockStream();
void UnlockStream();

// Appends the text to a file (created when missing, shared with other writers); false on failure.
bool AppendText(const std::string& path, const std::string& text);

// Full path of the running executable; empty when unknown.
std::string ExecutablePath();

// The user's date and time separators ('/' and ':' when the system gives none).
void StampSeparators(char& dateSep, char& timeSep);

// Id of the calling thread as the system numbers it.
std::uint32_t CurrentThreadNumber();

// Posts a message to a window; nothing when there is no window system.
void PostToWindow(std::uintptr_t window, unsigned message, std::intptr_t wParam, std::intptr_t lParam);

}  // namespace debuglog
}  // namespace vel
