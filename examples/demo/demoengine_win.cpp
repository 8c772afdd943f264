// Demo setup engine: a small window that lists the files it was extracted with and copies them,
// one per timer tick, into the folder given by "/Dest=" (default C:\VelnorDemo). When done it
// deletes the engine token atom (so the stub knows the setup completed), writes install.log into
// the folder and exits with code 0 (1 when a file could not be installed; the atom then stays).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

constexpr UINT_PTR kCopyTimer = 1;
constexpr UINT_PTR kCloseTimer = 2;

struct Demo {
    std::string source;                 // folder the engine was extracted into
    std::string dest;                   // install folder
    std::string token;                  // thread token from "/TH_ID="
    std::vector<std::string> files;     // relative names, the engine itself excluded
    size_t next = 0;
    size_t failed = 0;
    HWND list = nullptr, status = nullptr, bar = nullptr;
};
Demo g;

std::string SwitchValue(const std::string& cmd, const std::string& name) {
    const size_t at = cmd.find(name);
    if (at == std::string::npos) return std::string();
    size_t from = at + name.size();
    if (from < cmd.size() && cmd[from] == '"') {
        const size_t close = cmd.find('"', from + 1);
        return cmd.substr(from + 1, close == std::string::npos ? std::string::npos : close - from - 1);
    }
    const size_t end = cmd.find(' ', from);
    return cmd.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

void ListTree(const std::string& rel, const std::string& self) {
    WIN32_FIND_DATAA fd;
    const std::string dir = rel.empty() ? g.source : g.source + "\\" + rel;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string relName = rel.empty() ? name : rel + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(relName, self);
        else if (lstrcmpiA(relName.c_str(), self.c_str()) != 0)
            g.files.push_back(relName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void CreateFolders(const std::string& path) {
    for (size_t p = path.find('\\', 3); p != std::string::npos; p = path.find('\\', p + 1))
        CreateDirectoryA(path.substr(0, p).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

void SetStatus(const std::string& text) { SetWindowTextA(g.status, text.c_str()); }

void Finish(HWND w) {
    std::string log;
    for (const auto& f : g.files) log += f + "\r\n";
    HANDLE h = CreateFileA((g.dest + "\\install.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
        CloseHandle(h);
    }
    if (!g.token.empty() && g.failed == 0) {
        const std::string atomName = "AutoUpdateAtomTokenByVelnor" + g.token;
        if (ATOM a = GlobalFindAtomA(atomName.c_str())) GlobalDeleteAtom(a);
    }
    SetStatus("Installed " + std::to_string(g.files.size() - g.failed) + " files into " + g.dest);
    SetTimer(w, kCloseTimer, 1500, nullptr);
}

void OnCopyTick(HWND w) {
    if (g.next >= g.files.size()) {
        KillTimer(w, kCopyTimer);
        Finish(w);
        return;
    }
    const std::string& rel = g.files[g.next];
    const std::string target = g.dest + "\\" + rel;
    const size_t slash = target.find_last_of('\\');
    CreateFolders(target.substr(0, slash));
    const bool ok = CopyFileA((g.source + "\\" + rel).c_str(), target.c_str(), FALSE) != 0;
    if (!ok) ++g.failed;
    SetStatus((ok ? "Installed " : "Could not install ") + rel);
    SendMessageA(g.list, LB_SETCURSEL, g.next, 0);
    SendMessageA(g.bar, PBM_SETPOS, ++g.next, 0);
}

void OnCreate(HWND w) {
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND label = CreateWindowExA(0, "Static", ("Files of this setup, installing into " + g.dest).c_str(),
                                 WS_CHILD | WS_VISIBLE, 12, 10, 400, 18, w, nullptr, nullptr, nullptr);
    g.list = CreateWindowExA(WS_EX_CLIENTEDGE, "ListBox", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 12, 32, 400,
                             150, w, nullptr, nullptr, nullptr);
    g.bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 12, 190, 400, 14, w, nullptr,
                            nullptr, nullptr);
    g.status = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 12, 212, 400, 18, w, nullptr, nullptr,
                               nullptr);
    for (HWND c : {label, g.list, g.status}) SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    for (const auto& f : g.files) SendMessageA(g.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
    SendMessageA(g.bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(g.files.size()));
    CreateFolders(g.dest);
    SetTimer(w, kCopyTimer, 400, nullptr);
}

LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE: OnCreate(w); return 0;
        case WM_TIMER:
            if (wp == kCopyTimer) OnCopyTick(w);
            else DestroyWindow(w);
            return 0;
        case WM_DESTROY: PostQuitMessage(g.failed ? 1 : 0); return 0;
        default: return DefWindowProcA(w, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int show) {
    const std::string cmd = GetCommandLineA();
    char exe[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    const std::string self = exe;
    const size_t slash = self.find_last_of('\\');
    g.source = self.substr(0, slash);
    g.dest = SwitchValue(cmd, "/Dest=");
    if (g.dest.empty()) g.dest = "C:\\VelnorDemo";
    g.token = SwitchValue(cmd, "/TH_ID=");
    ListTree("", self.substr(slash + 1));

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VelnorDemoEngine";
    if (!RegisterClassA(&wc)) return 1;
    HWND w = CreateWindowExA(0, wc.lpszClassName, "Demo Engine", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                             CW_USEDEFAULT, CW_USEDEFAULT, 440, 280, nullptr, nullptr, inst, nullptr);
    if (!w) return 1;
    ShowWindow(w, show);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}
