// Recording setup engine for the tests. The stub starts it like a real engine; it writes what it
// received to the file named by VEL_ENGINE_RECORD, one "key=value" line each:
//   CommandLine, ExePath, WorkDir, ThreadToken, ShowWindow (the show mode it was started with),
//   AtomExisted (0/1), File=<relative>|<size>|<crc32>|<dos time> for every file in its own folder
//   tree, then AtomDeleted, DialogLeft, ExitCode; the dialog helper adds DialogClosed.
// Behaviour is chosen by environment variables (inherited through the stub):
//   VEL_ENGINE_EXIT=<n>          exit code (default 0)
//   VEL_ENGINE_DELETE_ATOM=1     delete the engine token atom (tells the stub the job was done)
//   VEL_ENGINE_DIALOG_MS=<ms>    leave a ".SDialog_Class_Name.<token>" window open for ms after exit
//   VEL_ENGINE_SLEEP_MS=<ms>     stay running that long (pumping messages) before exiting
//   VEL_ENGINE_COPY_TO=<folder>  copy its folder tree there (dates kept), for byte checks
//   VEL_ENGINE_LOAD_DLL=<name>   load that DLL by name, as an engine does, and record
//                                LoadedDll=<path of the module loaded> (or "none")
// As an update's engine it also installs: when its folder holds a folder "install", that tree is
// copied over the product folder, and success is reported by deleting the engine token atom
// (unless VEL_ENGINE_DELETE_ATOM=0: a failed update). The product folder is VEL_ENGINE_INSTALL_TO,
// else "TargetDir" of [Directories] in the installation settings file beside the update-info file
// that /OriginalInfoFile= names (its name without extensions, + ".original"). Records
// Installed=<folder> or InstallFailed=<why>, before AtomDeleted.
// With "--dialog <token> <ms>" it is the helper process that holds that window.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Env(const char* name) {
    char buf[4096];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

long EnvInt(const char* name, long def) {
    const std::string v = Env(name);
    return v.empty() ? def : std::strtol(v.c_str(), nullptr, 10);
}

void Record(const std::string& line) {
    const std::string path = Env("VEL_ENGINE_RECORD");
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fwrite("\r\n", 1, 2, f);
        std::fclose(f);
    }
}

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

// Value of a switch "/NAME=" in the command line, up to the next blank.
std::string SwitchValue(const std::string& cmd, const std::string& name) {
    const size_t at = cmd.find(name);
    if (at == std::string::npos) return std::string();
    const size_t from = at + name.size();
    const size_t end = cmd.find(' ', from);
    return cmd.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string FolderOf(const std::string& path) {
    const size_t p = path.find_last_of('\\');
    return p == std::string::npos ? std::string() : path.substr(0, p);
}

uint32_t FileCrc(const std::string& path, uint64_t& size) {
    size = 0;
    uLong crc = crc32(0, nullptr, 0);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<unsigned char> buf(1 << 16);
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        crc = crc32(crc, buf.data(), static_cast<uInt>(n));
        size += n;
    }
    std::fclose(f);
    return static_cast<uint32_t>(crc);
}

void RecordTree(const std::string& root, const std::string& rel, const std::string& copyTo) {
    WIN32_FIND_DATAA fd;
    const std::string dir = rel.empty() ? root : root + "\\" + rel;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> subdirs;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string relName = rel.empty() ? name : rel + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            subdirs.push_back(relName);
            if (!copyTo.empty()) CreateDirectoryA((copyTo + "\\" + relName).c_str(), nullptr);
            continue;
        }
        if (!copyTo.empty()) CopyFileA((root + "\\" + relName).c_str(), (copyTo + "\\" + relName).c_str(), FALSE);
        uint64_t size = 0;
        const uint32_t crc = FileCrc(root + "\\" + relName, size);
        FILETIME local;
        WORD dosDate = 0, dosTime = 0;
        FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local);
        FileTimeToDosDateTime(&local, &dosDate, &dosTime);
        char buf[96];
        std::snprintf(buf, sizeof buf, "|%llu|%08lX|%lu", static_cast<unsigned long long>(size),
                      static_cast<unsigned long>(crc),
                      static_cast<unsigned long>((static_cast<DWORD>(dosDate) << 16) | dosTime));
        Record("File=" + relName + buf);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    for (const auto& s : subdirs) RecordTree(root, s, copyTo);
}

// Value of a switch whose value may be quoted: /NAME="a b" or /NAME=ab.
std::string QuotedSwitchValue(const std::string& cmd, const std::string& name) {
    const size_t at = cmd.find(name);
    if (at == std::string::npos) return std::string();
    const size_t from = at + name.size();
    if (from < cmd.size() && cmd[from] == '"') {
        const size_t end = cmd.find('"', from + 1);
        return end == std::string::npos ? std::string() : cmd.substr(from + 1, end - from - 1);
    }
    return SwitchValue(cmd, name);
}

bool IsFolder(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies a folder tree over another (files replaced); false at the first failure.
bool CopyTree(const std::string& from, const std::string& to) {
    if (!IsFolder(to) && !CreateDirectoryA(to.c_str(), nullptr)) return false;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string src = from + "\\" + name, dst = to + "\\" + name;
        ok = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CopyTree(src, dst)
                                                              : CopyFileA(src.c_str(), dst.c_str(), FALSE) != 0;
    } while (ok && FindNextFileA(h, &fd));
    FindClose(h);
    return ok;
}

// The product folder an update installs into; empty when it cannot be told.
std::string InstallTarget(const std::string& cmd) {
    const std::string env = Env("VEL_ENGINE_INSTALL_TO");
    if (!env.empty()) return env;
    const std::string info = QuotedSwitchValue(cmd, "/OriginalInfoFile=");
    if (info.empty()) return std::string();
    const size_t slash = info.find_last_of("\\:");
    std::string name = slash == std::string::npos ? info : info.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    const std::string settings = FolderOf(info) + "\\" + name + ".original";
    char dir[MAX_PATH * 4] = {};
    GetPrivateProfileStringA("Directories", "TargetDir", "", dir, sizeof dir, settings.c_str());
    return dir;
}

// Installs the "install" tree of the engine's folder; false when there is none or it failed.
bool Install(const std::string& cmd, const std::string& ownFolder) {
    const std::string payload = ownFolder + "\\install";
    if (!IsFolder(payload)) return false;
    const std::string target = InstallTarget(cmd);
    if (target.empty() || !IsFolder(target)) {
        Record("InstallFailed=no product folder: " + target);
        return false;
    }
    if (!CopyTree(payload, target)) {
        Record("InstallFailed=cannot copy into " + target);
        return false;
    }
    Record("Installed=" + target);
    return true;
}

// Helper process: holds the engine's leftover dialog window for a while.
int HoldDialog(const std::string& token, DWORD ms) {
    const std::string cls = ".SDialog_Class_Name." + token;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls.c_str();
    if (!RegisterClassA(&wc)) return 3;
    HWND w = CreateWindowExA(0, cls.c_str(), "Engine dialog", WS_OVERLAPPED | WS_CAPTION, 40, 40, 240, 80,
                             nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return 4;
    ShowWindow(w, SW_SHOWNOACTIVATE);
    Pump(ms);
    Record("DialogClosed=1");
    DestroyWindow(w);
    return 0;
}

bool StartDialogHolder(const std::string& exe, const std::string& token, long ms) {
    std::string cmd = "\"" + exe + "\" --dialog " + token + " " + std::to_string(ms);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // Exit only once the window is there, so that the stub finds it after this process has ended.
    const std::string cls = ".SDialog_Class_Name." + token;
    for (int i = 0; i < 500 && !FindWindowA(cls.c_str(), nullptr); ++i) Sleep(10);
    return FindWindowA(cls.c_str(), nullptr) != nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string cmd = GetCommandLineA();
    char exe[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);

    const size_t dlg = cmd.find(" --dialog ");
    if (dlg != std::string::npos) {
        const std::string rest = cmd.substr(dlg + 10);
        const size_t sp = rest.find(' ');
        if (sp == std::string::npos) return 2;
        return HoldDialog(rest.substr(0, sp), static_cast<DWORD>(std::strtoul(rest.c_str() + sp + 1, nullptr, 10)));
    }

    char cwd[MAX_PATH * 4] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    const std::string token = SwitchValue(cmd, "/TH_ID=");
    const std::string atomName = "AutoUpdateAtomTokenByVelnor" + token;
    const ATOM atom = token.empty() ? 0 : GlobalFindAtomA(atomName.c_str());

    Record("CommandLine=" + cmd);
    Record(std::string("ExePath=") + exe);
    Record(std::string("WorkDir=") + cwd);
    Record("ThreadToken=" + token);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    Record("ShowWindow=" + std::to_string((si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1));
    Record(std::string("AtomExisted=") + (atom ? "1" : "0"));
    const std::string dll = Env("VEL_ENGINE_LOAD_DLL");
    if (!dll.empty()) {
        char loaded[MAX_PATH * 4] = "none";
        if (HMODULE m = LoadLibraryA(dll.c_str())) GetModuleFileNameA(m, loaded, sizeof loaded);
        Record(std::string("LoadedDll=") + loaded);
    }
    const std::string copyTo = Env("VEL_ENGINE_COPY_TO");
    if (!copyTo.empty()) CreateDirectoryA(copyTo.c_str(), nullptr);
    if (!Env("VEL_ENGINE_RECORD").empty() || !copyTo.empty()) RecordTree(FolderOf(exe), "", copyTo);

    const bool installed = Install(cmd, FolderOf(exe));
    if (EnvInt("VEL_ENGINE_DELETE_ATOM", installed ? 1 : 0) == 1 && atom) {
        GlobalDeleteAtom(atom);
        Record("AtomDeleted=1");
    }
    const long sleepMs = EnvInt("VEL_ENGINE_SLEEP_MS", 0);
    if (sleepMs > 0) Pump(static_cast<DWORD>(sleepMs));
    const long dialogMs = EnvInt("VEL_ENGINE_DIALOG_MS", 0);
    if (dialogMs > 0 && !token.empty())
        Record(std::string("DialogLeft=") + (StartDialogHolder(exe, token, dialogMs) ? "1" : "0"));
    const long code = EnvInt("VEL_ENGINE_EXIT", 0);
    Record("ExitCode=" + std::to_string(code));
    return static_cast<int>(code);
}
