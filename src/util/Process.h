#pragma once
// Windows-only. Process control by the path of a program's executable: is it running, which is
// its main window, post it a message, close, quit or kill it, wait until it has gone; and running
// a console program while capturing what it prints. Nothing here throws: a process that is not
// found gives pid 0 / window 0 / false and nothing is done to it.
// pathOnly: only the full (or short 8.3) path may match, not the bare file name.
#include <windows.h>

#include <string>

#include "util/ProcessList.h"
#include "util/WinHandles.h"

namespace vel {

// How StartProcess starts a program. By default: its first window shown normally, no handle
// inherited, the default environment and current folder.
struct ProcessStartOptions {
    WORD showWindow = SW_SHOWNORMAL;
    // The program file, when known: then blanks in an unquoted program path on the command line
    // cannot make the system start another file.
    std::string applicationPath;
    DWORD creationFlags = 0;     // e.g. a priority class
    bool busyCursor = false;     // the start-up cursor (STARTF_FORCEONFEEDBACK)
    // The child's standard handles, inheritable (all three or none); only then are handles inherited.
    HANDLE stdInput = nullptr;
    HANDLE stdOutput = nullptr;
    HANDLE stdError = nullptr;
};

// Starts a command line as a new process: the one place that does. The process handle, not
// valid when it could not be started (LastErrorText tells why).
ScopedHandle StartProcess(const std::string& commandLine, const ProcessStartOptions& options = {});

// Receives every chunk a captured program prints (standard output and standard error, converted
// from the OEM to the ANSI code page) and, when the program cannot be started, the error text
// followed by CR LF. Setting cancel terminates the program with exit code 255.
using TCaptureCallback = void (*)(void* data, const std::string& chunk, bool& cancel);

// Runs a console program and collects its standard output and standard error. True when its exit
// code is 0. A program that cannot be started gives exitCode 21 and errors = the command line (first
// 256 characters) + " --- " + the system's reason, or "Command line is too long".
bool RunCommandCapture(const std::string& program, const std::string& params, WORD showWindow,
                       TCaptureCallback callback, void* callbackData, DWORD settleMs, std::string& errors,
                       std::string& output, DWORD& exitCode);
// Write end of the standard-input pipe of the capture that is running now (null otherwise), so a
// callback can feed the child.
HANDLE CaptureInputPipe();

// Process id of the program; 0 when none. With pathOnly the program's full path must match (the
// image path of each process); otherwise by the lookup method of this Windows version.
DWORD FindProcessId(const std::string& path, bool pathOnly);
// Whether the program runs (surrounding blanks and quotation marks of path are ignored).
bool IsProcessRunning(const std::string& path);
// Whether a process of exactly that program file runs: its image's full path (or both short
// forms) equal path. A process whose image path cannot be read, or that only shares the file name,
// never counts.
bool IsProcessRunningAt(const std::string& path);
// Returns when no process of exactly that program file runs, or timeoutMs have passed; pumps messages.
void WaitWhileRunningAt(const std::string& path, DWORD timeoutMs);
// The program's main window (the heaviest of its top-level windows); null when none.
HWND FindProcessMainWindow(const std::string& path, bool pathOnly);
// Posts a message to the program's main window; false when there is none.
bool PostProcessMessage(const std::string& path, bool pathOnly, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_CLOSE (15, 255); then, when waitMs > 0, waits up to waitMs for the program to end.
bool CloseProcessWindow(const std::string& path, bool pathOnly, DWORD waitMs);
// Posts WM_QUIT (15, 255).
bool QuitProcessWindow(const std::string& path, bool pathOnly);
// Terminates the program with exit code 0; true when that succeeded. With pathOnly only a process
// of exactly that program file.
bool TerminateProcessByPath(const std::string& path, bool pathOnly);
// Returns when the program no longer runs or timeoutMs (0 = 1000) have passed; pumps messages.
void WaitWhileRunning(const std::string& path, DWORD timeoutMs);
// Returns when no top-level window of that class and title exists (an empty class or title
// stands for any); pumps messages. Returns at once when both are empty.
void WaitWhileWindowExists(const std::string& windowClass, const std::string& title);

// ---- The listing methods, chosen by FindProcessId / IsProcessRunning per Windows version ----

// "tasklist.exe /FO csv" from the system folder, by file name (Windows 8 and later).
DWORD FindProcessIdByTasklist(const std::string& path);
// Process-status functions; of several matches the one enumerated last wins.
DWORD FindProcessIdByPsapi(const std::string& path, bool pathOnly);
// Process snapshot; of several matches the last in the snapshot wins.
DWORD FindProcessIdBySnapshot(const std::string& path, bool pathOnly);
// Lookup by file name in the process list of this Windows version (PSAPI list on XP, the window
// list otherwise). On XP with pathOnly the list holds full paths, and the full path is compared.
DWORD FindProcessIdInList(const std::string& path, bool pathOnly);
// Process whose image has exactly that full path (or the same short form), the newest enumerated
// first; never a match by file name alone. 0 when none.
DWORD FindProcessIdByFullPath(const std::string& path);
// "|name=pid|..." of the processes that own at least one top-level window.
std::string ProcessListByWindows();
// "|name=pid|..." of every process the status functions enumerate (full paths when fullPaths).
std::string ProcessListByPsapi(bool fullPaths);
// Fills data from the top-level windows, in enumeration order, honouring its mode and filters.
void EnumTopWindows(TProcessData& data);

}  // namespace vel
