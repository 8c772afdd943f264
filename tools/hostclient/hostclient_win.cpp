// hostclient: registers a window of its own with a running update agent and records every
// progress notification it receives, one line "code value" each (decimal), to a file.
//
// Registering: either through the plain update agent ("--agent PATH" runs PATH /WM_MSG=W:M, which
// forwards the request to the agent copy, starting it when needed), or by posting wm_LocalMsg
// (1124) to the agent copy's window itself ("--window-class NAME").
// It ends when its window is closed, when a notification with the code given by --until arrives
// (recorded first), or after --seconds; the last line is then "end closed", "end until" or
// "end timeout".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kUsage[] =
    "usage: hostclient --out FILE (--agent AGENT.exe | --window-class NAME)\n"
    "                  [--until CODE] [--seconds N]\n"
    "Registers with the update agent and writes every notification it gets to FILE as\n"
    "\"code value\" lines. --agent runs the plain agent with /WM_MSG=; --window-class posts\n"
    "wm_LocalMsg (1124) to the agent copy's window. Ends when its window (class VelnorHostClient)\n"
    "is closed, when code CODE arrives (e.g. 43: the agent ended) or after N seconds (default 600).\n";

const char kClassName[] = "VelnorHostClient";
constexpr UINT kNotifyMessage = WM_APP + 40;
constexpr UINT wm_LocalMsg = WM_USER + 100;

std::string g_out;
long g_until = -1;
const char* g_end = "timeout";

void Append(const std::string& line) {
    if (FILE* f = std::fopen(g_out.c_str(), "ab")) {
        std::fprintf(f, "%s\r\n", line.c_str());
        std::fclose(f);
    }
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kNotifyMessage:
        Append(std::to_string(static_cast<long long>(wParam)) + " " + std::to_string(static_cast<long long>(lParam)));
        if (g_until >= 0 && static_cast<long long>(wParam) == g_until) {
            g_end = "until";
            DestroyWindow(wnd);
        }
        return 0;
    case WM_CLOSE:
        g_end = "closed";
        DestroyWindow(wnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "hostclient: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Runs the plain agent with the registration request and waits for it to end.
bool RegisterThroughAgent(const std::string& agent, HWND wnd) {
    std::string cmd = "\"" + agent + "\" /WM_MSG=" + std::to_string(reinterpret_cast<uintptr_t>(wnd)) + ":" +
                      std::to_string(kNotifyMessage);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(agent.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    // Keep taking messages meanwhile: the registration's answer may arrive before it ends.
    while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    CloseHandle(pi.hProcess);
    return true;
}

bool RegisterByWindow(const std::string& cls, HWND wnd) {
    for (int i = 0; i < 100; ++i) {
        if (HWND agent = FindWindowA(cls.c_str(), nullptr))
            return PostMessageA(agent, wm_LocalMsg, reinterpret_cast<WPARAM>(wnd), kNotifyMessage) != 0;
        Sleep(100);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::string agent, agentClass;
    unsigned long seconds = 600;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--out" && hasValue) {
            g_out = argv[++i];
        } else if (arg == "--agent" && hasValue) {
            agent = argv[++i];
        } else if (arg == "--window-class" && hasValue) {
            agentClass = argv[++i];
        } else if (arg == "--until" && hasValue) {
            g_until = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::strtoul(argv[++i], nullptr, 10);
            if (seconds == 0 || seconds > 2000000) return Fail("--seconds needs a number from 1 to 2000000");
        } else {
            return Fail("unknown or incomplete option: " + arg);
        }
    }
    if (g_out.empty()) return Fail("no --out file given");
    if (agent.empty() == agentClass.empty()) return Fail("give one of --agent and --window-class");

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) return 1;
    // A hidden top-level window: a message-only one could not be found by other programs.
    HWND wnd = CreateWindowExA(0, kClassName, "Velnor host client", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    if (!wnd) return 1;

    const bool registered = agent.empty() ? RegisterByWindow(agentClass, wnd) : RegisterThroughAgent(agent, wnd);
    if (!registered) {
        std::fprintf(stderr, "hostclient: could not reach the agent\n");
        DestroyWindow(wnd);
        return 1;
    }

    const UINT_PTR limit = SetTimer(nullptr, 0, static_cast<UINT>(seconds * 1000), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == limit) {
            DestroyWindow(wnd);
            continue;
        }
        DispatchMessageA(&msg);
    }
    Append(std::string("end ") + g_end);
    return 0;
}
