// testwin: a small window program that tests start as a stand-in for a product.
//
// It shows a top-level window with a given class and title and runs until a message ends it.
// The exit code tells which one, and with what parameters:
//   WM_CLOSE        100000 + 1000 * wParam + lParam
//   WM_QUIT         200000 + 1000 * wParam + lParam
//   WM_APP + 1      300000 + 1000 * wParam + lParam
//   time limit      3
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "usage: testwin [options]\n"
    "  --class NAME      window class (default VelTestWin)\n"
    "  --title TEXT      window title (default \"Vel Test Window\")\n"
    "  --owned           also show a titled popup owned by the main window, above it\n"
    "  --no-window       create no window at all\n"
    "  --ignore-close    keep running when asked to close\n"
    "  --print MS        write a numbered line to standard output every MS milliseconds\n"
    "  --ms MS           end by itself after MS milliseconds (default 60000), exit code 3\n"
    "Exit code: 100000/200000/300000 + 1000 * wParam + lParam for WM_CLOSE/WM_QUIT/WM_APP+1.\n";

constexpr UINT kAppMessage = WM_APP + 1;
bool g_ignoreClose = false;
int g_exitCode = -1;

int Encode(int base, WPARAM wParam, LPARAM lParam) {
    return base + 1000 * static_cast<int>(wParam) + static_cast<int>(lParam);
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        if (g_ignoreClose) return 0;
        if (g_exitCode < 0) g_exitCode = Encode(100000, wParam, lParam);
        DestroyWindow(wnd);
        return 0;
    case kAppMessage:
        g_exitCode = Encode(300000, wParam, lParam);
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        if (GetWindow(wnd, GW_OWNER) == nullptr) PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

bool ParseNumber(const char* text, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end && *end == '\0' && end != text;
}

int Fail(const char* message) {
    std::fprintf(stderr, "testwin: %s\n%s", message, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string windowClass = "VelTestWin";
    std::string title = "Vel Test Window";
    bool owned = false, noWindow = false;
    unsigned long printMs = 0, lifeMs = 60000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--class" && hasValue) {
            windowClass = argv[++i];
        } else if (arg == "--title" && hasValue) {
            title = argv[++i];
        } else if (arg == "--owned") {
            owned = true;
        } else if (arg == "--no-window") {
            noWindow = true;
        } else if (arg == "--ignore-close") {
            g_ignoreClose = true;
        } else if (arg == "--print" && hasValue) {
            if (!ParseNumber(argv[++i], printMs) || printMs == 0) return Fail("--print needs a positive number");
        } else if (arg == "--ms" && hasValue) {
            if (!ParseNumber(argv[++i], lifeMs) || lifeMs == 0) return Fail("--ms needs a positive number");
        } else {
            return Fail(("unknown or incomplete option: " + arg).c_str());
        }
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!noWindow) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = windowClass.c_str();
        if (!RegisterClassA(&wc)) return Fail("cannot register the window class");
        HWND main = CreateWindowExA(0, windowClass.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                                    nullptr, nullptr, instance, nullptr);
        if (!main) return Fail("cannot create the window");
        ShowWindow(main, SW_SHOWNOACTIVATE);
        if (owned) {
            HWND popup = CreateWindowExA(0, windowClass.c_str(), "Owned Tool", WS_POPUP | WS_CAPTION, 80, 80, 200, 100,
                                         main, nullptr, instance, nullptr);
            if (!popup) return Fail("cannot create the owned window");
            ShowWindow(popup, SW_SHOWNOACTIVATE);
        }
    }

    const UINT_PTR lifeTimer = SetTimer(nullptr, 0, static_cast<UINT>(lifeMs), nullptr);
    const UINT_PTR printTimer = printMs ? SetTimer(nullptr, 0, static_cast<UINT>(printMs), nullptr) : 0;
    unsigned long line = 0;
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            if (g_exitCode < 0) g_exitCode = Encode(200000, msg.wParam, msg.lParam);
            break;
        }
        if (got < 0) return 1;
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            if (msg.wParam == lifeTimer) return 3;
            if (printTimer && msg.wParam == printTimer) {
                std::printf("line %lu\n", ++line);
                std::fflush(stdout);
            }
            continue;
        }
        if (msg.message == kAppMessage && msg.hwnd == nullptr) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return g_exitCode;
}
