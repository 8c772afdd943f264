#pragma once
// Windows-only. The stub window: one hidden top-level window with a status label, a main progress
// bar and an activity bar, whose timer drives the work (the stub's extract-and-launch flow, or the
// update agent's cycle) and which receives the agent's control messages. One per process.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vel {

// Registers the class, creates the window hidden, runs the message loop until it ends, tidies up.
void WinMain();

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

// State of the update cycle that the window sets: the shut-down countdown (wm_ShutDown) and the
// tick counter's start value (from "/SleepX=").
int64_t ShutDownCountdown();
int64_t AutoUpdateTimerCount();

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
