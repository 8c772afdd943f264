#include "ui/WindowParts_win.h"

#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

HMODULE LoadRichEditOnce() {
    static const HMODULE lib = LoadSystemLibrary("RICHED32.DLL");
    return lib;
}

HFONT CreatePointFont(const std::string& faceName, int pointSize, int charset, BYTE pitchAndFamily) {
    return CreateFontA(-PointsToPixels(pointSize), 0, 0, 0, 0, FALSE, FALSE, FALSE, static_cast<DWORD>(charset),
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, faceName.c_str());
}

ScopedWindowClass::ScopedWindowClass(const WNDCLASSA& wc)
    : name_(wc.lpszClassName), instance_(wc.hInstance), registered_(RegisterClassA(&wc) != 0) {}

ScopedWindowClass::~ScopedWindowClass() { UnregisterClassA(name_, instance_); }

ModalEnd RunModalLoop(HWND window, const bool& done, ModalFilter filter, void* context) {
    ModalEnd end;
    MSG m;
    while (!done) {
        const BOOL got = GetMessageA(&m, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            end.quit = got == 0;
            end.quitCode = static_cast<int>(m.wParam);
            if (IsWindow(window)) SendMessageA(window, WM_CLOSE, 0, 0);
            break;
        }
        if (filter && filter(context, m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return end;
}

void PassOnQuit(const ModalEnd& end) {
    if (end.quit) PostQuitMessage(end.quitCode);
}

WNDCLASSA ModalBoxClass(WNDPROC proc, const char* name) {
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = name;
    return wc;
}

}  // namespace vel
