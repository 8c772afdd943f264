#pragma once
// Windows-only. The stub window: one hidden top-level window with a status label, a main progress
// bar and an activity bar, whose timer drives the work and which other processes send requests
// to. One per process. The window knows no role: the role of the run hands it its handlers.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vel {

// What the stub window does for the role it serves. A null handler leaves its message to the
// window's default: ticks and requests are ignored, a close request closes at once, control
// requests answer 0.
struct StubWindowRole {
    // In WinMain before the window exists (the role reads its start switches).
    void (*start)() = nullptr;
    // Every WM_TIMER, whatever its timer id. A role that works once stops timer 1 itself.
    void (*tick)() = nullptr;
    // WM_CLOSE: true lets the window close, false keeps it.
    bool (*close)() = nullptr;
    // wm_ShutDown: wParam is the shut-down countdown in ticks.
    void (*shutDown)(int64_t countdown) = nullptr;
    // wm_AgentMsg: a control request (code, value); its result is the message's result.
    int64_t (*control)(int64_t code, int64_t value) = nullptr;
};

// Registers the class (the window class name of the run), creates the window hidden, runs the
// message loop until it ends, tidies up. A window that cannot be registered or created is reported
// in a box, and the run ends with kStubFailureExitCode.
void WinMain(const StubWindowRole& role);

// The window and its controls; null before the window exists.
HWND StubWindow();
HWND StatusLabel();
HWND MainBar();
HWND ActivityBar();

// First close request: sets the download abort flag and keeps the window (false);
// a second one lets the window close (true).
bool CloseMainWindow();
// Teardown: abort flag, extraction folder deleted, quit posted, exit flag set.
void DestroyMainWindow();

// Text of a status label in the language's font: right-aligned right-to-left reading for the
// charsets 177 and 178. The stub window's status label keeps its font until the next call, which
// frees it; a font given to any other label lives until the process ends.
void SetStatusText(HWND label, const std::string& text, const std::string& faceName, int charset,
                   int pointSize);

void ShowActivityBar();
void ShowStubWindow(bool show);

// Layout of the window's controls, in client pixels.
struct StubRect {
    int x, y, width, height;
};
struct StubLayout {
    StubRect label, mainBar, activityBar;
    POINT icon;
};
// Right-to-left layout for the charsets 177 (Hebrew) and 178 (Arabic).
bool IsRtlCharset(int charset);
StubLayout StubLayoutFor(int charset);

constexpr int kStubWindowWidth = 492;
constexpr int kStubWindowHeight = 110;
constexpr DWORD kStubWindowStyle = 0x02C80000;  // WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN
constexpr UINT_PTR kStubTimerId = 1;
constexpr UINT kStubTimerMs = 1000;

}  // namespace vel
