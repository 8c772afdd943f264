#include "util/Process.h"

#include <tlhelp32.h>

#include <functional>
#include <utility>
#include <vector>

#include "util/Catch.h"
#include "util/RuntimeProc.h"
#include "util/StrUtils.h"
#include "util/SUB.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// Process listing entry points: missing on some systems, so bound by name.
using EnumProcessesFn = BOOL(WINAPI*)(DWORD* ids, DWORD bytes, DWORD* needed);
using GetModuleNameFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, LPSTR name, DWORD size);
using QueryImageNameFn = BOOL(WINAPI*)(HANDLE process, DWORD flags, LPSTR name, DWORD* size);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD flags, DWORD pid);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);

RuntimeProc<EnumProcessesFn> rt_EnumProcesses("psapi.dll", "EnumProcesses");
RuntimeProc<GetModuleNameFn> rt_GetModuleFileNameExA("psapi.dll", "GetModuleFileNameExA");
RuntimeProc<GetModuleNameFn> rt_GetModuleBaseNameA("psapi.dll", "GetModuleBaseNameA");
RuntimeProc<QueryImageNameFn> rt_QueryFullProcessImageNameA("kernel32.dll", "QueryFullProcessImageNameA");
RuntimeProc<CreateSnapshotFn> rt_CreateToolhelp32Snapshot("kernel32.dll", "CreateToolhelp32Snapshot");
RuntimeProc<ProcessWalkFn> rt_Process32First("kernel32.dll", "Process32First");
RuntimeProc<ProcessWalkFn> rt_Process32Next("kernel32.dll", "Process32Next");

constexpr DWORD kCaptureStartFailed = 21;
constexpr DWORD kCaptureCancelled = 255;
constexpr DWORD kPipeChunk = 30000;
constexpr size_t kMaxCommandLine = 32766;

HANDLE g_captureInput = nullptr;  // write end of the running capture's standard input

// Runs body; a failure thrown by library code (allocation) gives the failure value instead.
template <typename R, typename Body>
R Guarded(R failure, Body&& body) {
    VEL_TRY {
        return body();
    } VEL_CATCH_ALL {
        return failure;
    }
}

std::string StripPath(const std::string& path) {
    return Trim(Unquote(path, true));
}

// ---- Capture pipes ----

struct PipeTarget {
    std::string* text;
    TCaptureCallback callback;
    void* data;
    bool* cancel;
};

// Reads what waits in the pipe (at most one chunk) into the target; true when more was waiting.
bool ReadPipe(HANDLE pipe, const PipeTarget& target) {
    DWORD avail = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return false;
    const DWORD want = avail < kPipeChunk ? avail : kPipeChunk;
    std::string chunk(want, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, &chunk[0], want, &got, nullptr) || got == 0) return false;
    chunk.resize(got);
    OemToCharBuffA(chunk.data(), &chunk[0], got);
    *target.text += chunk;
    if (target.callback) target.callback(target.data, chunk, *target.cancel);
    return avail > got;
}

// ---- Process facts ----

std::string ModuleName(HANDLE process, bool fullPath) {
    GetModuleNameFn fn = fullPath ? rt_GetModuleFileNameExA.get() : rt_GetModuleBaseNameA.get();
    char buf[MAX_PATH + 1];
    if (fn) {
        const DWORD n = fn(process, nullptr, buf, MAX_PATH);
        if (n > 0 && n <= MAX_PATH) return std::string(buf, n);
    }
    // A 32-bit program cannot read the modules of a 64-bit one; the image name it can have.
    QueryImageNameFn image = rt_QueryFullProcessImageNameA.get();
    DWORD size = MAX_PATH;
    if (!image || !image(process, 0, buf, &size) || size == 0 || size > MAX_PATH) return std::string();
    const std::string path(buf, size);
    return fullPath ? path : FileNamePart(path);
}

// Process ids as the status functions report them; empty when they are missing.
std::vector<DWORD> EnumProcessIds() {
    std::vector<DWORD> ids;
    EnumProcessesFn enumProcesses = rt_EnumProcesses.get();
    if (!enumProcesses) return ids;
    DWORD bytes = 1024;
    for (;;) {
        ids.assign(bytes / sizeof(DWORD), 0);
        DWORD needed = 0;
        if (!enumProcesses(ids.data(), bytes, &needed)) return {};
        if (needed < bytes) {
            ids.resize(needed / sizeof(DWORD));
            return ids;
        }
        bytes += 1024;
    }
}

struct SnapshotEntry {
    DWORD pid;
    std::string exe;  // as the snapshot gives it (a file name on NT, a full path on 9x)
};

std::vector<SnapshotEntry> SnapshotProcesses() {
    std::vector<SnapshotEntry> entries;
    CreateSnapshotFn createSnapshot = rt_CreateToolhelp32Snapshot.get();
    ProcessWalkFn first = rt_Process32First.get();
    ProcessWalkFn next = rt_Process32Next.get();
    if (!createSnapshot || !first || !next) return entries;
    ScopedHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return entries;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = first(snapshot.get(), &pe); ok; ok = next(snapshot.get(), &pe))
        entries.push_back({pe.th32ProcessID, pe.szExeFile});
    return entries;
}

// ---- Top-level windows ----

using TWindowVisitor = std::function<bool(HWND window)>;  // false stops the enumeration

BOOL CALLBACK VisitWindow(HWND window, LPARAM visitor) {
    VEL_TRY {
        return (*reinterpret_cast<TWindowVisitor*>(visitor))(window) ? TRUE : FALSE;
    } VEL_CATCH_ALL {
        return FALSE;  // nothing may cross the system's enumeration
    }
}

void ForEachTopWindow(TWindowVisitor visitor) {
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&visitor));
}

DWORD WindowPid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

}  // namespace

// ---- Starting and running programs ----

ScopedHandle StartProcess(const std::string& commandLine, const ProcessStartOptions& options) {
    VEL_TRY {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW | (options.busyCursor ? STARTF_FORCEONFEEDBACK : 0);
        si.wShowWindow = options.showWindow;
        const bool stdHandles = options.stdInput || options.stdOutput || options.stdError;
        if (stdHandles) {
            si.dwFlags |= STARTF_USESTDHANDLES;
            si.hStdInput = options.stdInput;
            si.hStdOutput = options.stdOutput;
            si.hStdError = options.stdError;
        }
        PROCESS_INFORMATION pi{};
        std::string line = commandLine;  // the system may write into the buffer
        const char* program = options.applicationPath.empty() ? nullptr : options.applicationPath.c_str();
        if (!CreateProcessA(program, &line[0], nullptr, nullptr, stdHandles ? TRUE : FALSE, options.creationFlags,
                            nullptr, nullptr, &si, &pi))
            return ScopedHandle();
        CloseHandle(pi.hThread);
        return ScopedHandle(pi.hProcess);
    } VEL_CATCH_ALL {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ScopedHandle();
    }
}

HANDLE CaptureInputPipe() {
    return g_captureInput;
}

bool RunCommandCapture(const std::string& program, const std::string& params, WORD showWindow,
                       TCaptureCallback callback, void* callbackData, DWORD settleMs, std::string& errors,
                       std::string& output, DWORD& exitCode) {
    errors.clear();
    output.clear();
    exitCode = kCaptureStartFailed;
    bool cancel = false;
    VEL_TRY {
        const std::string commandLine = CaptureCommandLine(program, params);
        auto startFailed = [&](const std::string& reason) {
            exitCode = kCaptureStartFailed;
            errors = reason;
            if (callback) callback(callbackData, errors + "\r\n", cancel);
            return false;
        };
        if (commandLine.size() > kMaxCommandLine) return startFailed("Command line is too long");

        // Inheritable pipes for the child's three standard handles; our own ends stay private.
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        ScopedHandle inRead, inWrite, outRead, outWrite, errRead, errWrite;
        if (!CreatePipe(inRead.put(), inWrite.put(), &sa, 0) || !CreatePipe(outRead.put(), outWrite.put(), &sa, 0) ||
            !CreatePipe(errRead.put(), errWrite.put(), &sa, 0))
            return startFailed(commandLine.substr(0, 256) + " --- " + LastErrorText());
        SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

        ProcessStartOptions start;
        start.showWindow = showWindow;
        start.busyCursor = true;
        start.creationFlags = IDLE_PRIORITY_CLASS;
        start.stdInput = inRead.get();
        start.stdOutput = outWrite.get();
        start.stdError = errWrite.get();
        ScopedHandle process = StartProcess(commandLine, start);
        if (!process) return startFailed(commandLine.substr(0, 256) + " --- " + LastErrorText());
        // The child holds its ends now; closing ours lets the pipes end with the child.
        inRead.reset();
        outWrite.reset();
        errWrite.reset();
        g_captureInput = inWrite.get();

        const PipeTarget toOutput{&output, callback, callbackData, &cancel};
        const PipeTarget toErrors{&errors, callback, callbackData, &cancel};
        DWORD wait = callback ? 1 : 100;
        for (;;) {
            // The wait's result, not the exit code, tells whether the child has ended: a program
            // may well exit with code 259 (STILL_ACTIVE).
            const bool running = WaitForSingleObject(process.get(), wait) == WAIT_TIMEOUT;
            if (!output.empty() && wait > 10) wait -= 10;
            const bool moreOutput = ReadPipe(outRead.get(), toOutput);
            const bool moreErrors = ReadPipe(errRead.get(), toErrors);
            if (cancel) TerminateProcess(process.get(), kCaptureCancelled);
            if (!GetExitCodeProcess(process.get(), &exitCode)) exitCode = kCaptureStartFailed;
            if (!running && !moreOutput && !moreErrors) break;
        }

        WaitPumping(0, settleMs);
        ReadPipe(outRead.get(), toOutput);
        ReadPipe(errRead.get(), toErrors);
        g_captureInput = nullptr;
        return exitCode == 0;
    } VEL_CATCH_ALL {
        g_captureInput = nullptr;
        if (errors.empty()) errors = "RunCommandCapture: out of memory";
        return false;
    }
}

// ---- Listing methods ----

DWORD FindProcessIdByTasklist(const std::string& path) {
    return Guarded<DWORD>(0, [&] {
        std::string errors, output;
        DWORD code = 0;
        RunCommandCapture(SystemDir(true) + "tasklist.exe", "/FO csv", SW_HIDE, nullptr, nullptr, 1, errors,
                          output, code);
        return static_cast<DWORD>(TasklistPid(output, path));
    });
}

DWORD FindProcessIdByPsapi(const std::string& path, bool pathOnly) {
    return Guarded<DWORD>(0, [&] {
        const std::vector<DWORD> ids = EnumProcessIds();
        for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
            ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, *it));
            if (!process) continue;
            const std::string fullPath = ModuleName(process.get(), true);
            const std::string baseName = ModuleName(process.get(), false);
            if (ProcessPathMatches(path, fullPath, baseName, pathOnly, ShortPathOf)) return *it;
        }
        return DWORD(0);
    });
}

DWORD FindProcessIdByFullPath(const std::string& path) {
    return Guarded<DWORD>(0, [&] {
        const std::string wanted = StripPath(path);
        if (wanted.empty()) return DWORD(0);
        const std::vector<DWORD> ids = EnumProcessIds();
        for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
            // The limited right is enough for the image path, also of another bitness or an
            // elevated process; systems before it take the older rights.
            ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *it));
            if (!process) process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, *it));
            if (!process) continue;
            const std::string image = ModuleName(process.get(), true);
            if (!image.empty() && ProcessPathMatches(wanted, image, std::string(), true, ShortPathOf)) return *it;
        }
        return DWORD(0);
    });
}

DWORD FindProcessIdBySnapshot(const std::string& path, bool pathOnly) {
    return Guarded<DWORD>(0, [&] {
        DWORD found = 0;
        for (const SnapshotEntry& e : SnapshotProcesses())
            if (ProcessPathMatches(path, e.exe, FileNamePart(e.exe), pathOnly, ShortPathOf)) found = e.pid;
        return found;
    });
}

void EnumTopWindows(TProcessData& data) {
    Guarded(false, [&] {
        const std::vector<SnapshotEntry> processes = SnapshotProcesses();
        auto exeOf = [&](DWORD pid) {
            for (const SnapshotEntry& e : processes)
                if (e.pid == pid) return FileNamePart(e.exe);
            return std::string();
        };
        ForEachTopWindow([&](HWND window) {
            DWORD pid = 0;
            const DWORD thread = GetWindowThreadProcessId(window, &pid);
            return data.AddWindow(pid, exeOf(pid), GetWindowClassStr(window), reinterpret_cast<uintptr_t>(window),
                                  thread, GetWindowTextStr(window), IsWindowVisible(window) != FALSE);
        });
        return true;
    });
}

std::string ProcessListByWindows() {
    return Guarded(std::string(), [&] {
        TProcessData data;
        data.everyWindow = 0;
        data.nameFilter = "*";
        data.pidFilter = -1;
        EnumTopWindows(data);
        return ZipProcessList(data.executables, data.pids);
    });
}

std::string ProcessListByPsapi(bool fullPaths) {
    return Guarded(std::string(), [&] {
        const uint32_t osFlag = GetOsFlag();
        std::vector<std::string> entries;
        for (DWORD pid : EnumProcessIds()) {
            std::string name;
            ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
            if (process) name = ModuleName(process.get(), fullPaths);
            name = PsapiEntryName(pid, name, osFlag);
            if (!name.empty()) entries.push_back(name + "=" + IntToStr(pid));
        }
        return SUB::FromArray(entries, false);
    });
}

DWORD FindProcessIdInList(const std::string& path, bool pathOnly) {
    return Guarded<DWORD>(0, [&] {
        if (IsWindowsXP()) {
            // The PSAPI list holds full paths with pathOnly, so the full path is what can match.
            const std::string list = ProcessListByPsapi(pathOnly);
            return static_cast<DWORD>(LookupProcessList(list, pathOnly ? path : FileNamePart(path), ShortPathOf));
        }
        return static_cast<DWORD>(LookupProcessList(ProcessListByWindows(), FileNamePart(path), ShortPathOf));
    });
}

// ---- Operations by path ----

DWORD FindProcessId(const std::string& path, bool pathOnly) {
    if (!IsWindowsNT()) return FindProcessIdBySnapshot(path, pathOnly);
    // A shut-down request goes to the product itself, never to a program that only shares its name.
    if (pathOnly) return FindProcessIdByFullPath(path);
    if (IsWindows8OrLater()) return FindProcessIdByTasklist(path);
    return FindProcessIdByPsapi(path, pathOnly);
}

bool IsProcessRunning(const std::string& path) {
    const std::string p = StripPath(path);
    if (p.empty()) return false;
    if (IsWindowsNT()) return FindProcessIdInList(p, false) != 0;
    return FindProcessIdBySnapshot(p, false) != 0;
}

HWND FindProcessMainWindow(const std::string& path, bool pathOnly) {
    const DWORD pid = FindProcessId(path, pathOnly);
    if (pid == 0) return nullptr;
    return Guarded<HWND>(nullptr, [&] {
        TAnalizer windows(pid);
        ForEachTopWindow([&](HWND window) {
            if (WindowPid(window) != pid) return true;
            return windows.Add(reinterpret_cast<uintptr_t>(window));  // further windows are ignored
        });
        const uintptr_t main = windows.PickMain([](uintptr_t handle) {
            HWND window = reinterpret_cast<HWND>(handle);
            TWindowFacts facts;
            facts.topOwner = reinterpret_cast<uintptr_t>(TopLevelOwner(window));
            facts.titled = GetWindowTextLengthA(window) > 0;
            facts.visible = IsWindowVisible(window) != FALSE;
            return facts;
        });
        return reinterpret_cast<HWND>(main);
    });
}

bool PostProcessMessage(const std::string& path, bool pathOnly, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = FindProcessMainWindow(path, pathOnly);
    return window && PostMessageA(window, message, wParam, lParam);
}

bool CloseProcessWindow(const std::string& path, bool pathOnly, DWORD waitMs) {
    if (!PostProcessMessage(path, pathOnly, WM_CLOSE, 15, 255)) return false;
    if (waitMs > 0) WaitWhileRunning(path, waitMs);
    return true;
}

bool QuitProcessWindow(const std::string& path, bool pathOnly) {
    return PostProcessMessage(path, pathOnly, WM_QUIT, 15, 255);
}

bool TerminateProcessByPath(const std::string& path, bool pathOnly) {
    const DWORD pid = !IsWindowsNT() ? FindProcessIdBySnapshot(path, pathOnly)
                      : pathOnly     ? FindProcessIdByFullPath(path)
                                     : FindProcessIdInList(path, pathOnly);
    if (pid == 0) return false;
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    return process && TerminateProcess(process.get(), 0);
}

void WaitWhileRunning(const std::string& path, DWORD timeoutMs) {
    const std::string p = StripPath(path);
    const DWORD limit = timeoutMs ? timeoutMs : 1000;
    const DWORD start = GetTickCount();
    do {
        if (!IsProcessRunning(p)) return;
        WaitPumping(0, 100);
    } while (GetTickCount() - start <= limit);
}

bool IsProcessRunningAt(const std::string& path) {
    if (!IsWindowsNT()) return FindProcessIdBySnapshot(StripPath(path), true) != 0;
    return FindProcessIdByFullPath(path) != 0;
}

void WaitWhileRunningAt(const std::string& path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsProcessRunningAt(path) && GetTickCount() - start < timeoutMs) WaitPumping(0, 100);
}

void WaitWhileWindowExists(const std::string& windowClass, const std::string& title) {
    // With neither class nor title every window would match, and the wait would never end.
    if (windowClass.empty() && title.empty()) return;
    const char* cls = windowClass.empty() ? nullptr : windowClass.c_str();
    const char* text = title.empty() ? nullptr : title.c_str();
    while (FindWindowA(cls, text)) YieldX(100);
}

}  // namespace vel
