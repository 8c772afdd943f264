// Windows-only test helpers: trace capture window and child programs. See TraceCapture_win.h.
#include "support/TraceCapture_win.h"

#include <mutex>
#include <thread>

#include "support/DebugCapture.h"
#include "util/DebugLog.h"

namespace vel {
namespace testsupport {

namespace {

// Handles every message waiting for the calling thread.
void PumpWaiting() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Moves whatever the pipe holds into out, without blocking.
void DrainPipe(HANDLE pipe, std::string& out) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buf, available < sizeof buf ? available : sizeof buf, &got, nullptr) || got == 0) return;
        out.append(buf, got);
    }
}

}  // namespace

// ---- ViewerLock

ViewerLock::ViewerLock(DWORD timeoutMs) {
    mutex_ = CreateMutexA(nullptr, FALSE, "VelnorTestViewerLock");
    if (!mutex_) return;
    const DWORD r = WaitForSingleObject(mutex_, timeoutMs);
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;  // abandoned: its holder died
}

ViewerLock::~ViewerLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
}

// ---- TraceCapture

struct TraceCapture::Impl {
    ViewerLock lock;
    UINT chunkMessage = 0;
    HWND window = nullptr;
    bool ready = false;
    std::thread thread;
    mutable std::mutex mutex;
    std::vector<std::string> chunks;

    void Run(HANDLE readyEvent);
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

LRESULT CALLBACK TraceCapture::Impl::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (self && msg == self->chunkMessage && wParam == kDebugViewerChannel) {
        char name[256];
        const UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lParam), name, sizeof name);
        if (n > 0) {
            std::lock_guard<std::mutex> guard(self->mutex);
            self->chunks.emplace_back(name, n);
        }
        return 0;
    }
    switch (msg) {
        case WM_CLOSE: DestroyWindow(wnd); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

void TraceCapture::Impl::Run(HANDLE readyEvent) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Impl::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kDebugViewerClass;
    RegisterClassA(&wc);  // fails harmlessly when an earlier capture of this process registered it
    window = CreateWindowExA(0, kDebugViewerClass, "trace capture", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                             nullptr, instance, this);
    ready = window != nullptr;
    SetEvent(readyEvent);
    if (!window) return;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TraceCapture::TraceCapture() : impl_(new Impl()) {
    if (!impl_->lock.Held()) return;
    impl_->chunkMessage = RegisterWindowMessageA(kDebugViewerMessage);
    const HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!readyEvent) return;
    Impl* impl = impl_.get();
    impl_->thread = std::thread([impl, readyEvent] { impl->Run(readyEvent); });
    WaitForSingleObject(readyEvent, INFINITE);
    CloseHandle(readyEvent);
}

TraceCapture::~TraceCapture() {
    if (impl_->window) PostMessageA(impl_->window, WM_CLOSE, 0, 0);
    if (impl_->thread.joinable()) impl_->thread.join();
}

bool TraceCapture::Ready() const { return impl_->ready; }

std::vector<std::string> TraceCapture::Chunks() const {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    return impl_->chunks;
}

std::string TraceCapture::Text() const {
    std::string text;
    for (const std::string& c : Chunks()) text += c;
    return text;
}

std::vector<std::string> TraceCapture::Lines() const { return SplitTraceLines(Text()); }

bool TraceCapture::Contains(const std::string& needle) const { return Text().find(needle) != std::string::npos; }

bool TraceCapture::WaitFor(const std::string& needle, DWORD timeoutMs) const {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (Contains(needle)) return true;
        if (GetTickCount64() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpWaiting();
    }
}

void TraceCapture::Clear() {
    std::lock_guard<std::mutex> guard(impl_->mutex);
    impl_->chunks.clear();
}

// ---- Child programs

ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs, bool captureOutput,
                     const std::string& workDir) {
    ChildResult result;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (captureOutput) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return result;
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        si.hStdError = writeEnd;
        si.hStdInput = nullptr;
    }
    std::string cmd = commandLine;
    PROCESS_INFORMATION pi = {};
    result.started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, captureOutput ? TRUE : FALSE,
                                    CREATE_NO_WINDOW, nullptr, workDir.empty() ? nullptr : workDir.c_str(), &si,
                                    &pi) != FALSE;
    if (writeEnd) CloseHandle(writeEnd);
    if (!result.started) {
        if (readEnd) CloseHandle(readEnd);
        return result;
    }
    CloseHandle(pi.hThread);

    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20, QS_ALLINPUT);
        if (readEnd) DrainPipe(readEnd, result.output);
        if (r == WAIT_OBJECT_0) break;
        PumpWaiting();
        if (GetTickCount64() - start >= timeoutMs) {
            result.timedOut = true;
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    if (readEnd) {
        DrainPipe(readEnd, result.output);
        CloseHandle(readEnd);
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hProcess);
    return result;
}

std::string TestExeDir() {
    char buf[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    std::string path(buf, n);
    const std::size_t sep = path.find_last_of('\\');
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string BuildTreePath(const std::string& relative) {
    std::string dir = TestExeDir();
    const std::size_t sep = dir.find_last_of('\\');
    if (sep == std::string::npos) return std::string();
    std::string path = dir.substr(0, sep + 1) + relative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string StubUnderTest() {
    char buf[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("VEL_TEST_STUB", buf, sizeof buf);
    if (n > 0 && n < sizeof buf) return std::string(buf, n);
    return BuildTreePath("src/stub/stub.exe");
}

}  // namespace testsupport
}  // namespace vel
