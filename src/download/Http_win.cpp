#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <memory>
#include <vector>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "util/Catch.h"
#include "util/DebugLog.h"
#include "util/RuntimeProc.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// WinINet is bound at run time, so that the program does not need it to start and takes it from
// the system folder only.
const char kWinInet[] = "wininet.dll";
RuntimeProc<BOOL(WINAPI*)(LPDWORD, DWORD)> rt_InternetGetConnectedState{kWinInet, "InternetGetConnectedState"};
RuntimeProc<BOOL(WINAPI*)(HINTERNET)> rt_InternetCloseHandle{kWinInet, "InternetCloseHandle"};
RuntimeProc<HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD)> rt_InternetOpenA{kWinInet, "InternetOpenA"};
RuntimeProc<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR)> rt_InternetOpenUrlA{
    kWinInet, "InternetOpenUrlA"};
RuntimeProc<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD)> rt_HttpQueryInfoA{kWinInet, "HttpQueryInfoA"};
RuntimeProc<BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD)> rt_InternetReadFile{kWinInet, "InternetReadFile"};
RuntimeProc<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD)> rt_InternetSetOptionA{kWinInet, "InternetSetOptionA"};
RuntimeProc<BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD)> rt_InternetGetLastResponseInfoA{kWinInet,
                                                                                    "InternetGetLastResponseInfoA"};

const char kDownloadAgent[] = "HTTP_Connect_3";
const char kProbeAgent[] = "HTTP_Connect_2";  // pre-open and size query

// A session or request handle, closed when it goes out of scope.
class InetHandle {
public:
    explicit InetHandle(HINTERNET h = nullptr) : h_(h) {}
    ~InetHandle() {
        if (h_) {
            if (auto close = rt_InternetCloseHandle.get()) close(h_);
        }
    }
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// A session with the system's proxy settings; null when WinINet is missing or refuses.
HINTERNET OpenSession(const char* agent) {
    auto open = rt_InternetOpenA.get();
    return open ? open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
}

HINTERNET OpenRequest(HINTERNET session, const std::string& url, DWORD flags, const char* headers = nullptr) {
    auto open = rt_InternetOpenUrlA.get();
    return open && session ? open(session, url.c_str(), headers, headers ? static_cast<DWORD>(-1) : 0, flags, 0)
                           : nullptr;
}

// The download's request: the address after the URL rule, always from the server, not kept in the
// cache (a setup file is fetched once, and a cache copy would be a second copy to write).
HINTERNET HTTP_OpenUrl(HINTERNET session, const std::string& url) {
    return OpenRequest(session, DownloadUrl(url), INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE);
}

void HTTP_SetTimeouts(HINTERNET session, DWORD ms) {
    auto set = rt_InternetSetOptionA.get();
    if (!set) return;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
        DWORD value = ms;
        set(session, option, &value, sizeof value);
    }
}

// Content-Length; false when the server sent none.
bool QueryContentLength(HINTERNET request, uint32_t& length) {
    auto query = rt_HttpQueryInfoA.get();
    DWORD value = 0xFFFFFFFFu, size = sizeof value, index = 0;
    const bool ok = query && query(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size, &index);
    length = ok ? value : 0xFFFFFFFFu;
    return ok;
}

// Last-Modified as a packed DOS date-time; 0 when missing or not a DOS date.
uint32_t QueryLastModified(HINTERNET request) {
    auto query = rt_HttpQueryInfoA.get();
    SYSTEMTIME st{};
    DWORD size = sizeof st, index = 0;
    if (!query || !query(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &st, &size, &index)) return 0;
    return DosStampOf(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

// The system's text for an error code, WinINet's own codes included; empty when there is none.
std::string ErrorMessage(DWORD code) {
    if (code == 0) return std::string();
    char* msg = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   GetModuleHandleA(kWinInet), code, 0, reinterpret_cast<LPSTR>(&msg), 0, nullptr);
    std::string text = n && msg ? Trim(std::string(msg, n)) : std::string();
    if (msg) LocalFree(msg);
    return text;
}

// Why a read failed: the system's text, else the server's last response, else the code.
std::string ReadFailureReason(DWORD code) {
    std::string reason = ErrorMessage(code);
    if (reason.empty()) {
        char buffer[1024] = {};
        DWORD error = 0, length = sizeof buffer;
        auto info = rt_InternetGetLastResponseInfoA.get();
        if (info && info(&error, buffer, &length)) reason = Trim(std::string(buffer, strnlen(buffer, sizeof buffer)));
    }
    if (reason.empty() && code != 0) reason = "error " + std::to_string(code);
    return reason;
}

std::string WriteFailureReason(DWORD code) {
    const std::string reason = ErrorMessage(code);
    return reason.empty() ? "error " + std::to_string(code) + " writing the file" : reason;
}

// Deletes what earlier attempts left of localFile: the files named localFile, ".", and digits.
void DeleteLeftovers(const std::string& localFile) {
    const std::string folder = localFile.substr(0, localFile.find_last_of("\\/") + 1);
    const std::string prefix = DownloadDisplayName(localFile) + ".";
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA((localFile + ".*").c_str(), &found));
    if (!find) return;
    do {
        const std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (name.size() <= prefix.size() || !StartsWith(prefix, name, true)) continue;
        if (name.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
        DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(find.get(), &found));
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

std::string Download(uintptr_t ownerWindow, const std::string& url, const std::string& localFile,
                     std::string& content, TProgBar* progress) {
    const std::string name = DownloadDisplayName(url);
    content.clear();
    HTTP_PreOpen(url);

    InetHandle session(OpenSession(kDownloadAgent));
    if (!session) return kWinInetInitError;
    HTTP_SetTimeouts(session.get(), kHttpTimeoutMs);
    InetHandle request(HTTP_OpenUrl(session.get(), url));
    if (!request) {
        const DWORD code = GetLastError();
        return OpenConnectionError(url, IsCertificateError(code) ? CertificateErrorReason(code) : std::string());
    }

    uint32_t length = 0;
    const bool lengthKnown = QueryContentLength(request.get(), length);
    const uint32_t stamp = QueryLastModified(request.get());
    if (lengthKnown && length == 0) return FileNotFoundError(url);
    if (ownerWindow > 10) ShowWindow(reinterpret_cast<HWND>(ownerWindow), SW_SHOW);

    // A file arrives under its temporary name, created afresh and open to readers only.
    std::string tempFile;
    ScopedHandle file;
    if (!localFile.empty()) {
        tempFile = TempDownloadName(localFile, length, stamp);
        DeleteLeftovers(localFile);
        file.reset(CreateFileA(tempFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return DownloadError(name, WriteFailureReason(GetLastError()));
    }

    const uint32_t chunk = DownloadChunkSize(length);
    std::unique_ptr<TBytesRate> rate;
    if (progress) {
        progress->SetRange(1, ProgressMaximum(length, chunk));
        rate.reset(new TBytesRate(ProgressInKB(length), ProgressInMB(length)));
        progress->SetCaption(name);
    }
    auto read = rt_InternetReadFile.get();
    std::vector<char> buffer(chunk);
    uint64_t received = 0;
    bool failed = false;
    std::string reason;
    auto stopped = [&] { return DownloadAborted() || (progress && progress->cancel); };
    for (;;) {
        PumpPending();  // the window answers between reads; no sleep when nothing is waiting
        if (stopped()) break;
        DWORD n = 0;
        if (!read || !read(request.get(), buffer.data(), chunk, &n)) {
            failed = true;
            reason = ReadFailureReason(read ? GetLastError() : ERROR_PROC_NOT_FOUND);
            break;
        }
        if (n == 0) break;
        received += n;
        if (file) {
            if (!WriteAll(file.get(), buffer.data(), n)) {
                failed = true;
                reason = WriteFailureReason(GetLastError());
                break;
            }
        } else {
            content.append(buffer.data(), n);
        }
        if (progress)
            progress->Step(rate->ProgressText(static_cast<int32_t>(length), static_cast<int32_t>(received),
                                              static_cast<int32_t>(n)));
        if (stopped()) break;
    }

    DownloadEnd end = JudgeDownloadEnd(name, lengthKnown, length, received, failed, reason, stopped());
    if (!file) return end.errorText;
    LARGE_INTEGER written{};
    if (!GetFileSizeEx(file.get(), &written) || static_cast<uint64_t>(written.QuadPart) != received) {
        end.putInPlace = false;
        if (end.errorText.empty()) end.errorText = DownloadError(name, "the file does not hold what arrived");
    }
    file.reset();
    if (!end.putInPlace) {
        DeleteFileA(tempFile.c_str());  // a partial file is of no use to anyone
        return end.errorText;
    }
    DeleteFileA(localFile.c_str());
    if (!MoveFileExA(tempFile.c_str(), localFile.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const std::string failure = DownloadError(name, WriteFailureReason(GetLastError()));
        DeleteFileA(tempFile.c_str());
        return failure;
    }
    return end.errorText;
}

}  // namespace

bool HTTP_IsConnected(std::string& reason) {
    reason.clear();
    auto connected = rt_InternetGetConnectedState.get();
    DWORD flags = 0;
    if (connected && connected(&flags, 0)) return true;
    reason = ErrorMessage(connected ? GetLastError() : ERROR_PROC_NOT_FOUND);
    return false;
}

bool HTTP_IsConnected() {
    std::string reason;
    return HTTP_IsConnected(reason);
}

int32_t HTTP_GetFileSize(const std::string& url) {
    VEL_TRY {
        HTTP_PreOpen(url);
        InetHandle session(OpenSession(kProbeAgent));
        InetHandle request(OpenRequest(session.get(), url, 0));
        if (!request) return -1;
        uint32_t length = 0;
        QueryContentLength(request.get(), length);
        const int32_t size = static_cast<int32_t>(length);
        DebugLine("HTTP_GetFileSize=" + IntToStr(size) + "  " + url);
        return size;
    } VEL_CATCH_ALL {
        return -1;
    }
}

void HTTP_PreOpen(const std::string& url) {
    // Asks for the first byte only: a request closed unread may otherwise cost the whole body (a
    // WinINet that keeps the connection reads the rest of the reply first).
    InetHandle session(OpenSession(kProbeAgent));
    InetHandle request(OpenRequest(session.get(), url, 0, "Range: bytes=0-0\r\n"));
}

std::string HTTP_DownloadFile_Incremental(uintptr_t ownerWindow, const std::string& url, const std::string& localFile,
                                          std::string& content, TProgBar* progress) {
    std::string errorText;
    VEL_TRY {
        errorText = Download(ownerWindow, url, localFile, content, progress);
    } VEL_CATCH_ALL {
        errorText = DownloadError(DownloadDisplayName(url), CaughtText());
    }
    if (!errorText.empty())
        DebugLine(IntToStr(GetCurrentProcessId()) + " HTTP_DownloadFile_Incremental: " + errorText);
    return errorText;
}

void HTTP_UnloadWinINet() {
    UnloadRuntimeLibrary(kWinInet);
}

}  // namespace vel
