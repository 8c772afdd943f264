// The floor of an idle agent's cost on this platform: one hidden top-level window whose
// one-second timer ticks do nothing, in a message loop like the agent's. Ends on WM_CLOSE.
#include <windows.h>

namespace {

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) return 0;
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "VelnorTimerFloor";
    if (!RegisterClassA(&wc)) return 1;
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "timer floor", WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, nullptr,
                               nullptr, instance, nullptr);
    if (!wnd) return 1;
    SetTimer(wnd, 1, 1000, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
