#pragma once
// Windows-only test helpers for programs run as child processes of a test: the process itself, and a
// client window that collects the notifications such a program posts back to the test.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace vel {
namespace testsupport {

// How long a whole run of a program under test may take (an emulated process is slow).
constexpr DWORD kChildRunLimitMs = 90000;

// A started program; killed on destruction when it still runs.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    bool Start(const std::string& commandLine, const std::string& workDir);
    DWORD Pid() const { return pi_.dwProcessId; }
    bool Running() const;
    // Exit code, or -1 when it was still running at the limit (it is then killed). Pumps messages
    // while it waits.
    long Wait(DWORD limitMs = kChildRunLimitMs);

private:
    PROCESS_INFORMATION pi_ = {};
};

// The message box of process p, laid out with its buttons, or null when it shows none within limitMs
// or p ends.
HWND WaitForBox(const ChildProcess& p, DWORD limitMs);

// A window of the test that records the (code, value) notifications posted to it with kMessage.
// One at a time: the record is shared and cleared by each new client.
class NotifyClient {
public:
    static constexpr UINT kMessage = WM_APP + 7;
    using Note = std::pair<WPARAM, LPARAM>;

    NotifyClient();
    NotifyClient(const NotifyClient&) = delete;
    NotifyClient& operator=(const NotifyClient&) = delete;
    ~NotifyClient();

    HWND Window() const { return wnd_; }
    // The notifications in the order they arrived.
    static std::vector<Note>& Received();
    // True once note has arrived, false when it has not within limitMs.
    bool WaitFor(const Note& note, DWORD limitMs) const;
    // True once at least n notifications have arrived, false when they have not within limitMs.
    bool WaitForCount(size_t n, DWORD limitMs) const;

private:
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    HWND wnd_ = nullptr;
};

}  // namespace testsupport
}  // namespace vel
