// Debug stream and run log on Windows: the viewer window protocol, the stream's critical
// section, and the system facts the run log needs.
#include <windows.h>

#include "util/DebugLog.h"
#include "util/DebugLogPlatform.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// A viewer that stops pumping must not freeze the program: give up on it after this long.
constexpr UINT kViewerSendTimeoutMs = 5000;

UINT ViewerMessage() {
    static UINT message = 0;
    if (message == 0) message = RegisterWindowMessageA(kDebugViewerMessage);
    return message;
}

// Trivially destructible, so the section outlives every other static of the process.
struct StreamSection {
    CRITICAL_SECTION cs;
    StreamSection() { InitializeCriticalSection(&cs); }
};

CRITICAL_SECTION* Section() {
    static StreamSection section;
    return &section.cs;
}

}  // namespace

bool SendToDebugViewer(const std::string& chunk) {
    const HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
    if (!viewer) return false;
    const UINT message = ViewerMessage();
    if (message == 0) return false;
    ScopedAtom atom(GlobalAddAtomA(chunk.c_str()));
    if (!atom) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(viewer, message, static_cast<WPARAM>(kDebugViewerChannel),
                               static_cast<LPARAM>(atom.get()), SMTO_ABORTIFHUNG, kViewerSendTimeoutMs,
                               &result) != 0;
}

namespace debuglog {

void LockStream() { EnterCriticalSection(Section()); }

void UnlockStream() { LeaveCriticalSection(Section()); }

bool AppendText(const std::string& path, const std::string& text) { return AppendToFile(path, text, false, 0); }

std::string ExecutablePath() { return ExePath(false); }

void StampSeparators(char& dateSep, char& timeSep) {
    dateSep = UserDateSeparator()[0];
    timeSep = UserTimeSeparator()[0];
}

std::uint32_t CurrentThreadNumber() { return static_cast<std::uint32_t>(GetCurrentThreadId()); }

void PostToWindow(std::uintptr_t window, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
    PostMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
}

}  // namespace debuglog
}  // namespace vel
