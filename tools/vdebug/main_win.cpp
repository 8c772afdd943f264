// vdebug: the debug viewer. Owns a hidden top-level window of the viewer class, receives the
// registered viewer message (wParam = channel, lParam = a global atom named by the chunk) and
// prints each chunk as it arrives. Ends on Ctrl+C, WM_CLOSE or after --seconds.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "util/DebugLog.h"
#include "util/StrUtils.h"

namespace {

const char kUsage[] =
    "Usage: vdebug [--out FILE] [--quiet] [--seconds N]\n"
    "Shows the trace lines that the setup programs send to the debug viewer window.\n"
    "  --out FILE    also append every chunk to FILE (each chunk written through at once)\n"
    "  --quiet       do not print the chunks\n"
    "  --seconds N   end after N seconds (default: run until Ctrl+C or until the window is closed)\n"
    "  --help        show this text\n"
    "Exit codes: 0 ended normally, 1 could not start, 2 bad command line.\n";

constexpr UINT_PTR kEndTimer = 1;
constexpr long long kMaxSeconds = 30LL * 24 * 3600;  // the timer takes milliseconds in 32 bits

struct Options {
    std::string outPath;
    bool quiet = false;
    long long seconds = 0;  // 0 = no time limit
};

// The one viewer of this process, reached from the window procedure and the Ctrl+C handler.
struct Viewer {
    UINT chunkMessage = 0;
    bool quiet = false;
    std::FILE* out = nullptr;
    HWND window = nullptr;
};
Viewer g_viewer;

// Returns 0 when parsed, 2 on a bad command line, -1 when help was shown.
int ParseOptions(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            std::fputs(kUsage, stdout);
            return -1;
        }
        if (arg == "--quiet") {
            opt.quiet = true;
        } else if (arg == "--out" || arg == "--seconds") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vdebug: %s needs a value (see --help)\n", arg.c_str());
                return 2;
            }
            const std::string value = argv[++i];
            if (arg == "--out") {
                if (value.empty()) {
                    std::fprintf(stderr, "vdebug: --out needs a file name\n");
                    return 2;
                }
                opt.outPath = value;
            } else {
                opt.seconds = vel::StrToInt64Def(value, -1);
                if (opt.seconds <= 0 || opt.seconds > kMaxSeconds) {
                    std::fprintf(stderr, "vdebug: --seconds needs a whole number from 1 to %lld, not \"%s\"\n",
                                 kMaxSeconds, value.c_str());
                    return 2;
                }
            }
        } else {
            std::fprintf(stderr, "vdebug: unknown argument \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }
    return 0;
}

void WriteThrough(std::FILE* f, const char* text, size_t size) {
    std::fwrite(text, 1, size, f);
    std::fflush(f);
}

void OnChunk(WPARAM channel, LPARAM atomParam) {
    if (channel != vel::kDebugViewerChannel) return;
    char name[256];
    const UINT n = GlobalGetAtomNameA(static_cast<ATOM>(atomParam), name, sizeof name);
    if (n == 0) return;  // the sender gave up and deleted it already
    if (!g_viewer.quiet) WriteThrough(stdout, name, n);
    if (g_viewer.out) WriteThrough(g_viewer.out, name, n);
}

LRESULT OnTimer(HWND wnd, WPARAM id) {
    if (id == kEndTimer) DestroyWindow(wnd);
    return 0;
}

LRESULT OnClose(HWND wnd) {
    DestroyWindow(wnd);
    return 0;
}

LRESULT OnDestroy() {
    g_viewer.window = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK ViewerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == g_viewer.chunkMessage && msg != 0) {
        OnChunk(wParam, lParam);
        return 0;
    }
    switch (msg) {
        case WM_TIMER: return OnTimer(wnd, wParam);
        case WM_CLOSE: return OnClose(wnd);
        case WM_DESTROY: return OnDestroy();
        default: return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

// Ctrl+C and console close arrive on a thread of their own: hand them to the window.
BOOL WINAPI OnConsoleControl(DWORD) {
    const HWND wnd = g_viewer.window;
    if (wnd) PostMessageA(wnd, WM_CLOSE, 0, 0);
    return TRUE;
}

int Run(const Options& opt) {
    g_viewer.quiet = opt.quiet;
    g_viewer.chunkMessage = RegisterWindowMessageA(vel::kDebugViewerMessage);
    if (g_viewer.chunkMessage == 0) {
        std::fprintf(stderr, "vdebug: cannot register the viewer message (error %lu)\n", GetLastError());
        return 1;
    }
    if (!opt.outPath.empty()) {
        g_viewer.out = std::fopen(opt.outPath.c_str(), "ab");
        if (!g_viewer.out) {
            std::fprintf(stderr, "vdebug: cannot open \"%s\" for appending\n", opt.outPath.c_str());
            return 1;
        }
    }
    if (FindWindowA(vel::kDebugViewerClass, nullptr))
        std::fprintf(stderr, "vdebug: another viewer window is open; programs may send their lines there\n");

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.lpszClassName = vel::kDebugViewerClass;
    if (!RegisterClassA(&wc)) {
        std::fprintf(stderr, "vdebug: cannot register the window class (error %lu)\n", GetLastError());
        return 1;
    }
    // Top-level (not message-only) so that senders find it with FindWindow; never shown.
    g_viewer.window = CreateWindowExA(0, vel::kDebugViewerClass, "Velnor debug viewer", WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr);
    if (!g_viewer.window) {
        std::fprintf(stderr, "vdebug: cannot create the viewer window (error %lu)\n", GetLastError());
        return 1;
    }
    if (opt.seconds > 0) SetTimer(g_viewer.window, kEndTimer, static_cast<UINT>(opt.seconds * 1000), nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    const int parsed = ParseOptions(argc, argv, opt);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;
    _setmode(_fileno(stdout), _O_BINARY);  // chunks carry their own CR LF
    const int rc = Run(opt);
    if (g_viewer.out && std::fclose(g_viewer.out) != 0 && rc == 0) {
        std::fprintf(stderr, "vdebug: could not finish writing \"%s\"\n", opt.outPath.c_str());
        return 1;
    }
    return rc;
}
