#include "stub/StubWindow.h"

#include <commctrl.h>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "package/Extract.h"
#include "package/FileInfo.h"
#include "package/Language.h"
#include "stub/RunModes.h"
#include "stub/RunStub.h"
#include "stub/StubState.h"
#include "ui/Markup.h"
#include "ui/MsgBox.h"
#include "ui/WindowParts_win.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

struct StubWindowState {
    HWND wnd = nullptr;
    HWND label = nullptr;
    HWND mainBar = nullptr;
    HWND activityBar = nullptr;
    ScopedGdi<HFONT> labelFont;
    HICON icon = nullptr;
    bool exitFlag = false;
    StubWindowRole role;
};
StubWindowState g;

int OwnCharset() { return GetCharset(OwnPackage()); }

HWND CreateChild(HWND parent, const char* cls, DWORD style, const StubRect& r) {
    return CreateWindowExA(0, cls, "", style, r.x, r.y, r.width, r.height, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// ---- Message handlers --------------------------------------------------------------------------

LRESULT OnCreate(HWND wnd) {
    const StubLayout layout = StubLayoutFor(OwnCharset());
    g.label = CreateChild(wnd, "Static", WS_CHILD | WS_VISIBLE, layout.label);
    g.mainBar = CreateChild(wnd, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, layout.mainBar);
    g.activityBar = CreateChild(wnd, PROGRESS_CLASSA, WS_CHILD, layout.activityBar);
    SetProgressBars(g.mainBar, g.activityBar);
    SetTimer(wnd, kStubTimerId, kStubTimerMs, nullptr);
    g.labelFont.reset(CreateFontA(-11, 0, 0, 0, 0, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma"));
    SendMessageA(g.label, WM_SETFONT, reinterpret_cast<WPARAM>(g.labelFont.get()), TRUE);
    return 0;
}

LRESULT OnPaint(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    const POINT at = StubLayoutFor(OwnCharset()).icon;
    if (g.icon) DrawIcon(dc, at.x, at.y, g.icon);
    EndPaint(wnd, &ps);
    return 0;
}

LRESULT OnTimer() {
    if (g.role.tick) g.role.tick();
    return 0;
}

// False keeps the window.
bool OnClose() { return !g.role.close || g.role.close(); }

LRESULT OnShutDown(WPARAM wParam) {
    if (g.role.shutDown) g.role.shutDown(static_cast<int64_t>(wParam));
    return 0;
}

LRESULT OnLocalMsg(HWND wnd, WPARAM wParam, LPARAM lParam) {
    SetNotifyHost(static_cast<std::uintptr_t>(wParam), static_cast<unsigned>(lParam));
    NotifyHost(50, reinterpret_cast<std::intptr_t>(wnd));
    NotifyHost(51, wm_AgentMsg);
    return 0;
}

LRESULT OnAgentMsg(WPARAM wParam, LPARAM lParam) {
    if (!g.role.control) return 0;
    return static_cast<LRESULT>(g.role.control(static_cast<int64_t>(wParam), static_cast<int64_t>(lParam)));
}

LRESULT CALLBACK StubWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            OnCreate(wnd);
            break;
        case WM_PAINT:
            return OnPaint(wnd);
        case WM_CLOSE:
            if (!OnClose()) return 0;
            break;
        case WM_DESTROY:
            DebugLine("- wm_Destroy -");
            DestroyMainWindow();
            break;
        case WM_QUIT:
            DebugLine("- wm_Quit -");
            DestroyMainWindow();
            break;
        case WM_TIMER:
            return OnTimer();
        case wm_ShutDown:
            OnShutDown(wParam);
            break;
        case wm_LocalMsg:
            OnLocalMsg(wnd, wParam, lParam);
            break;
        case wm_AgentMsg:
            return OnAgentMsg(wParam, lParam);
        default:
            if (msg != 0 && msg == AutoPlayMessageId()) return 1;  // 0 while suppression is off
            break;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// A window that cannot be had ends the run with a box, not silently.
void ReportNoWindow(const char* step) {
    const std::string error = LastErrorText();
    DebugLine(std::string("WinMain: ") + step + " failed: " + error);
    SetStubExitCode(kStubFailureExitCode);
    const TGFileInfo& own = OwnPackage();
    MsgBoxError(kMsgActive, "The setup window could not be created.<P>" + error, GetString(own, "Error", "Error"),
                GetCharset(own), GetString(own, "BtnText", kDefaultButtonList));
}

WNDCLASSA StubClass() {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StubWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = g.icon;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = StubWindowClassName().c_str();
    return wc;
}

}  // namespace

bool IsRtlCharset(int charset) { return charset == 177 || charset == 178; }

StubLayout StubLayoutFor(int charset) {
    const bool rtl = IsRtlCharset(charset);
    StubLayout l;
    l.label = {rtl ? 122 : 70, 20, 340, 18};
    l.mainBar = {70, 38, 392, 13};
    l.activityBar = {rtl ? 70 : 416, 20, 46, 13};
    l.icon = {18, 20};
    return l;
}

HWND StubWindow() { return g.wnd; }
HWND StatusLabel() { return g.label; }
HWND MainBar() { return g.mainBar; }
HWND ActivityBar() { return g.activityBar; }
void WinMain(const StubWindowRole& role) {
    g.role = role;
    if (g.role.start) g.role.start();

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    g.icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
    const ScopedWindowClass stubClass(StubClass());
    const char* failedStep = stubClass.Registered() ? "CreateWindow" : "RegisterClass";
    if (stubClass.Registered()) {
        const POINT at = CenterInWorkArea(kStubWindowWidth, kStubWindowHeight);
        const std::string title = GetString(OwnPackage(), "s0", "Velnor Installation Suite");
        g.wnd = CreateWindowExA(0, StubWindowClassName().c_str(), title.c_str(), kStubWindowStyle, at.x, at.y,
                                kStubWindowWidth, kStubWindowHeight, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
    }
    SetMsgBoxFont(GetFontName(OwnPackage()), GetFontSize(OwnPackage()), OwnCharset());

    if (g.wnd) {
        ShowWindow(g.wnd, SW_HIDE);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
            if (g.exitFlag) break;
        }
    } else {
        ReportNoWindow(failedStep);
    }
    if (g.wnd) KillTimer(g.wnd, kStubTimerId);
    SetDownloadAbort(true);
    HTTP_UnloadWinINet();
    NotifyHost(43, 0);
}

bool CloseMainWindow() {
    RunLog(".. CloseMainWindow() - Start");
    const bool close = DownloadAborted();
    if (!close) SetDownloadAbort(true);
    RunLog(".. CloseMainWindow() - End");
    return close;
}

void DestroyMainWindow() {
    RunLog(".. DestroyMainWindow() - Start");
    SetDownloadAbort(true);
    RemoveExtractFolder();
    PostQuitMessage(0);
    g.exitFlag = true;
    RunLog(".. DestroyMainWindow() - End");
}

void SetStatusText(HWND label, const std::string& text, const std::string& faceName, int charset,
                   int pointSize) {
    if (!label) return;
    const bool rtl = IsRtlCharset(charset);
    SetWindowLongPtrA(label, GWL_EXSTYLE, rtl ? WS_EX_RTLREADING : 0);
    SetWindowLongPtrA(label, GWL_STYLE, WS_CHILD | WS_VISIBLE | (rtl ? SS_RIGHT : 0));
    HFONT font = CreatePointFont(faceName, pointSize, charset, DEFAULT_PITCH);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (label == g.label) g.labelFont.reset(font);  // the old font is freed once replaced
    SetWindowTextA(label, text.c_str());
}

void ShowActivityBar() {
    if (g.activityBar) ShowWindow(g.activityBar, SW_SHOW);
}

void ShowStubWindow(bool show) {
    if (g.wnd) ShowWindow(g.wnd, show ? SW_SHOW : SW_HIDE);
}

}  // namespace vel
