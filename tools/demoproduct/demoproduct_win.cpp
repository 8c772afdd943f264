// demoproduct: a small installed product that the update agent keeps up to date.
//
// It reads its version from "version.txt" beside its own file (the update's setup engine rewrites
// that file), shows it in a main window, and appends to a log file one line when it starts and
// one when it ends, so that a test or a demo can tell how it was shut down:
//   start version=N pid=P
//   closed pid=P      its main window got WM_CLOSE
//   quit pid=P        WM_QUIT reached its message loop without a close
// A terminated process leaves a start line without an end line. The log is "demoproduct.log"
// beside its file, or the file named by VEL_DEMO_LOG.
// Two options make it slow to end, as real products are: --close-ms keeps its window that long
// after WM_CLOSE (saving its state), --linger-ms keeps the process that long after its window has
// gone and its message loop has ended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kUsage[] =
    "usage: demoproduct [--close-ms MS] [--linger-ms MS] [--help]\n"
    "A stand-in product: shows its version (version.txt beside it) in a window and logs its start\n"
    "and end to demoproduct.log beside it, or to the file named by VEL_DEMO_LOG:\n"
    "  start version=N pid=P   closed pid=P (WM_CLOSE)   quit pid=P (WM_QUIT)\n"
    "Window class: VelnorDemoProduct. A terminated run leaves no end line.\n"
    "  --close-ms MS    after WM_CLOSE, keep the window MS milliseconds before closing it\n"
    "  --linger-ms MS   after the window has gone, end the process MS milliseconds later\n";

const char kClassName[] = "VelnorDemoProduct";

bool g_closed = false;
std::string g_version;
unsigned long g_closeMs = 0;
unsigned long g_lingerMs = 0;
constexpr UINT_PTR kCloseTimer = 1;

std::string OwnFolder() {
    char path[MAX_PATH * 4] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n < sizeof path ? n : 0);
    const size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string LogPath() {
    char buf[MAX_PATH * 4];
    const DWORD n = GetEnvironmentVariableA("VEL_DEMO_LOG", buf, sizeof buf);
    if (n > 0 && n < sizeof buf) return std::string(buf, n);
    return OwnFolder() + "\\demoproduct.log";
}

void Log(const std::string& line) {
    if (FILE* f = std::fopen(LogPath().c_str(), "ab")) {
        std::fprintf(f, "%s\r\n", line.c_str());
        std::fclose(f);
    }
}

std::string PidText() { return "pid=" + std::to_string(GetCurrentProcessId()); }

// The first line of version.txt without blanks; "0" when the file is missing or empty.
std::string ReadVersion() {
    std::string text;
    if (FILE* f = std::fopen((OwnFolder() + "\\version.txt").c_str(), "rb")) {
        char buf[64] = {};
        const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        text.assign(buf, n);
    }
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string("0") : text.substr(first, last - first + 1);
}

void OnPaint(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT r;
    GetClientRect(wnd, &r);
    const std::string text = "Velnor Demo Product\n\nversion " + g_version;
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
    EndPaint(wnd, &ps);
}

void OnClose(HWND wnd) {
    if (g_closed) return;  // already closing
    g_closed = true;
    Log("closed " + PidText());
    if (g_closeMs > 0 && SetTimer(wnd, kCloseTimer, g_closeMs, nullptr)) return;
    DestroyWindow(wnd);
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: OnPaint(wnd); return 0;
    case WM_CLOSE: OnClose(wnd); return 0;
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            KillTimer(wnd, kCloseTimer);
            DestroyWindow(wnd);
        }
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((arg == "--close-ms" || arg == "--linger-ms") && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long ms = std::strtoul(argv[i + 1], &end, 10);
            if (end && *end == '\0' && end != argv[i + 1]) {
                (arg == "--close-ms" ? g_closeMs : g_lingerMs) = ms;
                ++i;
                continue;
            }
        }
        std::fprintf(stderr, "demoproduct: bad option %s\n%s", arg.c_str(), kUsage);
        return 2;
    }

    g_version = ReadVersion();
    Log("start version=" + g_version + " " + PidText());

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) return 1;
    const std::string title = "Velnor Demo Product - version " + g_version;
    HWND main = CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 60, 60, 360, 200, nullptr,
                                nullptr, instance, nullptr);
    if (!main) return 1;
    ShowWindow(main, SW_SHOWNOACTIVATE);

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (got == 0 && !g_closed) Log("quit " + PidText());
    if (g_lingerMs > 0) Sleep(g_lingerMs);
    return 0;
}
