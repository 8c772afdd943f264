#include "support/ChildProcess_win.h"

#include "support/WindowDriver_win.h"

#include <cstdio>

namespace vel {
namespace testsupport {

ChildProcess::~ChildProcess() {
    if (!pi_.hProcess) return;
    if (Running()) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hProcess);
}

bool ChildProcess::Start(const std::string& commandLine, const std::string& workDir) {
    std::string cmd = commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &pi_)) {
        // Says why, for a start that fails now and then.
        std::fprintf(stderr, "CreateProcess failed with error %lu: %s\n", GetLastError(), commandLine.c_str());
        return false;
    }
    return CloseHandle(pi_.hThread) != 0;
}

bool ChildProcess::Running() const {
    DWORD code = 0;
    return pi_.hProcess && GetExitCodeProcess(pi_.hProcess, &code) && code == STILL_ACTIVE;
}

long ChildProcess::Wait(DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (Running()) {
        if (GetTickCount() - start > limitMs) {
            TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
            return -1;
        }
        Pump(50);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
}

HWND WaitForBox(const ChildProcess& p, DWORD limitMs) {
    return WaitForBox(p.Pid(), [&p] { return p.Running(); }, limitMs);
}

NotifyClient::NotifyClient() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &NotifyClient::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelTestNotifyClient";
    RegisterClassA(&wc);  // fails harmlessly when an earlier client registered it
    wnd_ = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    Received().clear();
}

NotifyClient::~NotifyClient() { DestroyWindow(wnd_); }

std::vector<NotifyClient::Note>& NotifyClient::Received() {
    static std::vector<Note> list;
    return list;
}

bool NotifyClient::WaitFor(const Note& note, DWORD limitMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        for (const Note& n : Received())
            if (n == note) return true;
        if (GetTickCount() - start > limitMs) return false;
        Pump(50);
    }
}

bool NotifyClient::WaitForCount(size_t n, DWORD limitMs) const {
    const DWORD start = GetTickCount();
    while (Received().size() < n && GetTickCount() - start < limitMs) Pump(50);
    return Received().size() >= n;
}

LRESULT CALLBACK NotifyClient::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMessage) {
        Received().emplace_back(wp, lp);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace testsupport
}  // namespace vel
