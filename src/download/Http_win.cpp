#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "download/Resume.h"
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
RuntimeProc<BOOL(WINAPI*)(HINTERNET, LPINTERNET_BUFFERSA, DWORD, DWORD_PTR)> rt_InternetReadFileExA{
    kWinInet, "InternetReadFileExA"};
RuntimeProc<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD)> rt_InternetSetOptionA{kWinInet, "InternetSetOptionA"};
RuntimeProc<BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD)> rt_InternetGetLastResponseInfoA{kWinInet,
                                                                                    "InternetGetLastResponseInfoA"};
RuntimeProc<INTERNET_STATUS_CALLBACK(WINAPI*)(HINTERNET, INTERNET_STATUS_CALLBACK)> rt_InternetSetStatusCallback{
    kWinInet, "InternetSetStatusCallback"};


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
    void reset(HINTERNET h) {
        InetHandle old(h_);
        h_ = h;
    }

private:
    HINTERNET h_;
};

void HTTP_SetTimeouts(HINTERNET handle, DWORD ms) {
    auto set = rt_InternetSetOptionA.get();
    if (!set || !handle) return;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
        DWORD value = ms;
        set(handle, option, &value, sizeof value);
    }
}

// One asynchronous WinINet request, shared with the status callback, which runs on WinINet's own
// threads and only records results. It lives while we hold it or a handle made with it exists:
// WinINet may still call back (and finish a read into buffer) after we closed the handle.
struct AsyncRequest {
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // set on each completion
    volatile LONG refs = 1;                                      // ours, and one per handle
    volatile DWORD_PTR result = 0;                               // of the last completed call
    volatile DWORD error = 0;
    INTERNET_BUFFERSA read{};  // of the last read; its dwBufferLength is the count of a read done later
    std::vector<char> buffer;
};

void Release(AsyncRequest* r) {
    if (InterlockedDecrement(&r->refs) == 0) {
        if (r->done) CloseHandle(r->done);
        delete r;
    }
}

void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* r = reinterpret_cast<AsyncRequest*>(context);
    if (!r) return;  // the session itself
    if (status == INTERNET_STATUS_HANDLE_CREATED) {
        InterlockedIncrement(&r->refs);
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE && info) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        r->result = result->dwResult;
        r->error = result->dwError;
        SetEvent(r->done);
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        Release(r);  // the last call WinINet makes for that handle
    }
}

// An asynchronous session with the system's proxy settings and WinINet's time-outs; null when
// WinINet is missing or refuses.
HINTERNET OpenSession(const char* agent, DWORD timeoutMs) {
    auto open = rt_InternetOpenA.get();
    auto callback = rt_InternetSetStatusCallback.get();
    HINTERNET session =
        open && callback ? open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, INTERNET_FLAG_ASYNC) : nullptr;
    if (!session) return nullptr;
    if (callback(session, OnInternetStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
        if (auto close = rt_InternetCloseHandle.get()) close(session);
        return nullptr;
    }
    HTTP_SetTimeouts(session, timeoutMs);
    return session;
}

enum class Waited { Done, Stopped, Stalled };

// What ends the waits of one download: the abort flag, the relay's cancel, no byte for stallMs.
struct Watch {
    TProgBar* progress = nullptr;
    uint32_t stallMs = kStallMs;
    DWORD lastByte = GetTickCount();
    bool Stopped() const { return DownloadAborted() || (progress && progress->cancel); }
};

// Waits for r's pending call in slices of at most 100 ms, pumping the thread's messages.
Waited WaitFor(AsyncRequest* r, const Watch& watch) {
    for (;;) {
        PumpPending();
        if (watch.Stopped()) return Waited::Stopped;
        const DWORD idle = GetTickCount() - watch.lastByte;
        if (idle >= watch.stallMs) return Waited::Stalled;
        const DWORD slice = std::min<DWORD>(100, watch.stallMs - idle);
        if (MsgWaitForMultipleObjects(1, &r->done, FALSE, slice, QS_ALLINPUT) == WAIT_OBJECT_0) return Waited::Done;
    }
}

// Pauses, pumping messages; false when the download is stopped meanwhile.
bool PausePumping(DWORD ms, const Watch& watch) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (watch.Stopped()) return false;
        const DWORD passed = GetTickCount() - start;
        if (passed >= ms) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(100, ms - passed), QS_ALLINPUT);
    }
}

// A request on an asynchronous session; closed, and its shared state let go, at scope end.
class Request {
public:
    Request() = default;
    ~Request() { Close(); }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Opens url (flags and extra header lines as InternetOpenUrlA takes them) and waits for the
    // reply's headers: Done with a handle or with error() set; Stopped or Stalled without one,
    // and then the caller must close the session, which ends what WinINet still does for it.
    Waited Open(HINTERNET session, const std::string& url, DWORD flags, const std::string& headers,
                const Watch& watch, DWORD timeoutMs) {
        Close();
        auto open = rt_InternetOpenUrlA.get();
        state_ = new AsyncRequest;
        if (!open || !session || !state_->done) return Fail(ERROR_PROC_NOT_FOUND);
        // An address without its scheme fails at once in WinINet's synchronous mode; its
        // asynchronous mode may never answer for it.
        if (!StartsWith("http://", url, true) && !StartsWith("https://", url, true))
            return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        h_ = open(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                  headers.empty() ? 0 : static_cast<DWORD>(-1), flags, reinterpret_cast<DWORD_PTR>(state_));
        if (!h_) {
            if (GetLastError() != ERROR_IO_PENDING) return Fail(GetLastError());
            const Waited waited = WaitFor(state_, watch);
            if (waited != Waited::Done) {
                state_ = nullptr;  // WinINet may still make a handle with it: kept for good
                return waited;
            }
            h_ = reinterpret_cast<HINTERNET>(state_->result);
            if (!h_) return Fail(state_->error);
        }
        HTTP_SetTimeouts(h_, timeoutMs);
        return Waited::Done;
    }

    // Reads at most size bytes into data(): what has arrived, or else the first bytes to come,
    // or the end (n = 0). Done with n set, or with error() set.
    // InternetReadFile is not used: a WinINet may zero its count after starting a read that its
    // own thread has already finished, which loses the bytes read. The Ex form counts in a record.
    Waited Read(DWORD size, DWORD& n, const Watch& watch) {
        n = 0;
        auto read = rt_InternetReadFileExA.get();
        if (!read) return Fail(ERROR_PROC_NOT_FOUND);
        if (state_->buffer.size() < size) state_->buffer.resize(size);
        // Both the buffer and the count live in the shared state: a read that completes later
        // writes there, also after a cancel.
        state_->read = INTERNET_BUFFERSA{};
        state_->read.dwStructSize = sizeof state_->read;
        state_->read.lpvBuffer = state_->buffer.data();
        state_->read.dwBufferLength = size;
        if (!read(h_, &state_->read, 0, reinterpret_cast<DWORD_PTR>(state_))) {
            if (GetLastError() != ERROR_IO_PENDING) return Fail(GetLastError());
            const Waited waited = WaitFor(state_, watch);
            if (waited != Waited::Done) return waited;
            if (!state_->result) return Fail(state_->error);
        }
        n = std::min(state_->read.dwBufferLength, size);
        return Waited::Done;
    }

    void Close() {
        if (h_) {
            if (auto close = rt_InternetCloseHandle.get()) close(h_);
            h_ = nullptr;
        }
        if (state_) Release(state_);
        state_ = nullptr;
        error_ = 0;
    }

    HINTERNET get() const { return h_; }
    DWORD error() const { return error_; }
    const char* data() const { return state_->buffer.data(); }

private:
    Waited Fail(DWORD code) {
        error_ = code ? code : ERROR_INTERNET_CONNECTION_ABORTED;
        return Waited::Done;
    }
    HINTERNET h_ = nullptr;
    AsyncRequest* state_ = nullptr;
    DWORD error_ = 0;
};

// The download's request: always from the server, not kept in the cache (a setup file is fetched
// once, and a cache copy would be a second copy to write).
const DWORD kDownloadFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

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
    if (reason.empty() && code != 0) reason = "error " + IntToStr(code);
    return reason;
}

std::string WriteFailureReason(DWORD code) {
    const std::string reason = ErrorMessage(code);
    return reason.empty() ? "error " + IntToStr(code) + " writing the file" : reason;
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

// A header of the reply as text; empty when it is missing.
std::string QueryText(HINTERNET request, DWORD info) {
    auto query = rt_HttpQueryInfoA.get();
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1, index = 0;
    if (!query || !query(request, info, buffer, &size, &index)) return std::string();
    return std::string(buffer, std::min<DWORD>(size, sizeof buffer - 1));
}

int QueryStatus(HINTERNET request) {
    auto query = rt_HttpQueryInfoA.get();
    DWORD value = 0, size = sizeof value, index = 0;
    return query && query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, &index)
               ? static_cast<int>(value)
               : 0;
}

// A number in [0, 1) that spreads the retry pauses of many clients; no secret rests on it.
double RetryDraw() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const uint64_t x = static_cast<uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull;
    return static_cast<double>((x >> 40) % 1000000) / 1000000.0;
}

// Opens the URL (as given) in a session of its own and closes it again without reading. Asks for
// the first byte only: a request closed unread may otherwise cost the whole body (a WinINet that
// keeps the connection reads the rest of the reply first).
Waited PreOpen(const std::string& url, const Watch& watch) {
    InetHandle session(OpenSession(kProbeAgent, watch.stallMs));
    Request request;
    return request.Open(session.get(), url, 0, "Range: bytes=0-0\r\n", watch, watch.stallMs);
}

// One download, attempt after attempt, and what it has gathered so far.
class Downloader {
public:
    Downloader(const std::string& url, const std::string& localFile, std::string& content, TProgBar* progress,
               const DownloadLimits& limits, uintptr_t ownerWindow)
        : url_(url), localFile_(localFile), content_(content), progress_(progress), limits_(limits),
          owner_(ownerWindow), name_(DownloadDisplayName(url)) {
        watch_.progress = progress;
        watch_.stallMs = limits.stallMs;
    }

    std::string Run() {
        content_.clear();
        // A server that does not answer the probe in time is not asked again.
        if (PreOpen(url_, watch_) == Waited::Stalled) return DownloadError(name_, StallReason(limits_.stallMs));
        session_.reset(OpenSession(kDownloadAgent, limits_.stallMs));
        if (!session_) return kWinInetInitError;
        int counted = 0;
        for (;;) {
            const uint64_t before = have_;
            Attempt();
            if (end_ != End::Broken) break;
            // Only a file goes on from what it holds; a download into memory is one attempt.
            const RetryStep next = NextAttempt(counted, have_ - std::min(have_, before), status_, false, stalled_,
                                               RetryDraw());
            if (!file_ || !next.retry) break;
            DebugLine(IntToStr(GetCurrentProcessId()) + " HTTP_DownloadFile_Incremental: " + name_ + " broke at " +
                      IntToStr(have_) + " bytes (" + reason_ + "), trying again");
            if (!PausePumping(next.pauseMs, watch_)) {
                end_ = End::Stopped;
                break;
            }
        }
        return Finish();
    }

private:
    enum class End { Complete, Broken, Failed, Stopped, Error };

    // One request and its read loop; sets end_ (and reason_ or error_).
    void Attempt() {
        // Resumable: a file, a validator and bytes to keep; otherwise the file starts over.
        const bool resume = file_ && have_ > 0 && !validator_.empty();
        if (!resume && !StartOver()) return;
        const std::string headers =
            resume ? "Range: bytes=" + IntToStr(have_) + "-\r\nIf-Range: " + validator_ + "\r\n" : "";
        status_ = 0;
        stalled_ = false;
        watch_.lastByte = GetTickCount();
        Request request;
        const Waited opened =
            request.Open(session_.get(), DownloadUrl(url_), kDownloadFlags, headers, watch_, limits_.stallMs);
        if (opened != Waited::Done) {
            // WinINet may still be connecting: closing the session ends that; the next attempt
            // opens a new one.
            session_.reset(opened == Waited::Stalled ? OpenSession(kDownloadAgent, limits_.stallMs) : nullptr);
            if (opened == Waited::Stopped) return Stop();
            if (!session_) return Error(kWinInetInitError);
            return Broke(StallReason(limits_.stallMs), true);
        }
        if (!request.get()) {
            const DWORD code = request.error();
            if (code == ERROR_INTERNET_TIMEOUT) return Broke(StallReason(limits_.stallMs), true);
            // No server, or one that fails its certificate: nothing to go on from.
            if (!replied_)
                return Error(OpenConnectionError(url_, IsCertificateError(code) ? CertificateErrorReason(code) : ""));
            return Broke(ReadFailureReason(code), false);
        }
        status_ = QueryStatus(request.get());
        if (resume) {
            const RangeReply judged = JudgeRangeReply(status_, QueryText(request.get(), HTTP_QUERY_CONTENT_RANGE),
                                                      have_, lengthKnown_ ? length_ : 0);
            if (judged == RangeReply::Failed)
                return Broke("the server answered " + IntToStr(status_) + " to a resumed request", false);
            if (judged == RangeReply::Distrust) {
                validator_.clear();  // its ranges are not what was asked: the next attempt starts over
                return Broke("the server sent another part of the file than asked", false);
            }
            if (judged == RangeReply::StartOver && !StartOver()) return;
            if (judged == RangeReply::StartOver && !FirstReply(request.get())) return;
        } else if (!FirstReply(request.get())) {
            return;
        }
        ReadLoop(request);
    }

    // Takes a reply that carries the file from its first byte; false when the download ends here.
    bool FirstReply(HINTERNET request) {
        uint32_t length = 0;
        lengthKnown_ = QueryContentLength(request, length);
        length_ = length;
        if (lengthKnown_ && length == 0) {
            Error(FileNotFoundError(url_));
            return false;
        }
        if (limits_.maxBytes && lengthKnown_ && length > limits_.maxBytes) {
            Fail(TooLargeReason(limits_.maxBytes));
            return false;
        }
        // If-Range only ever names the version that a successful reply announced.
        validator_ = status_ >= 200 && status_ < 300 ? ResumeValidator(QueryText(request, HTTP_QUERY_ETAG),
                                                                       QueryText(request, HTTP_QUERY_LAST_MODIFIED))
                                                     : std::string();
        chunk_ = DownloadChunkSize(length);
        const bool first = !replied_;
        replied_ = true;
        if (first) {
            if (owner_ > 10) ShowWindow(reinterpret_cast<HWND>(owner_), SW_SHOW);
            // A file arrives under its temporary name, created afresh and open to readers only.
            if (!localFile_.empty()) {
                tempFile_ = TempDownloadName(localFile_, length, QueryLastModified(request));
                DeleteLeftovers(localFile_);
                file_.reset(CreateFileA(tempFile_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!file_) {
                    Error(DownloadError(name_, WriteFailureReason(GetLastError())));
                    return false;
                }
            }
        }
        if (progress_) {
            progress_->SetRange(1, ProgressMaximum(length, chunk_));
            rate_.reset(new TBytesRate(ProgressInKB(length), ProgressInMB(length)));
            if (first) progress_->SetCaption(name_);
        }
        return true;
    }

    // Reads whole chunks (all of one unless the data ends), so that the progress moves in the
    // steps it was set up for, and writes each one through.
    void ReadLoop(Request& request) {
        std::vector<char> chunk(chunk_);
        for (;;) {
            DWORD filled = 0, n = 0;
            do {
                const Waited waited = request.Read(chunk_ - filled, n, watch_);
                if (waited == Waited::Stopped) return Stop();
                if (waited == Waited::Stalled) return Broke(StallReason(limits_.stallMs), true);
                if (request.error() == ERROR_INTERNET_TIMEOUT) return Broke(StallReason(limits_.stallMs), true);
                if (request.error()) return Broke(ReadFailureReason(request.error()), false);
                if (n == 0) break;
                watch_.lastByte = GetTickCount();
                if (limits_.maxBytes && have_ + filled + n > limits_.maxBytes) return Fail(TooLargeReason(limits_.maxBytes));
                memcpy(chunk.data() + filled, request.data(), n);
                filled += n;
            } while (filled < chunk_);
            if (filled == 0) break;
            if (file_) {
                if (!WriteAll(file_.get(), chunk.data(), filled)) return Fail(WriteFailureReason(GetLastError()));
            } else {
                content_.append(chunk.data(), filled);
            }
            have_ += filled;
            if (progress_)
                progress_->Step(rate_->ProgressText(static_cast<int32_t>(length_), static_cast<int32_t>(have_),
                                                    static_cast<int32_t>(filled)));
            if (watch_.Stopped()) return Stop();
            if (n == 0) break;
        }
        // A clean end: with a length, fewer bytes mean the connection closed early.
        if (lengthKnown_ && have_ < length_) return Broke("", false);
        end_ = End::Complete;
    }

    bool StartOver() {
        have_ = 0;
        content_.clear();
        LARGE_INTEGER zero{};
        if (!file_ || (SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN) && SetEndOfFile(file_.get())))
            return true;
        Fail(WriteFailureReason(GetLastError()));
        return false;
    }

    void Broke(const std::string& reason, bool stalled) {
        end_ = End::Broken;
        reason_ = reason;
        stalled_ = stalled;
    }
    void Fail(const std::string& reason) {
        end_ = End::Failed;
        reason_ = reason;
    }
    void Error(const std::string& text) {
        end_ = End::Error;
        error_ = text;
    }
    void Stop() { end_ = End::Stopped; }

    // The error text of the last attempt, and the file put in place or removed.
    std::string Finish() {
        if (end_ == End::Error) {
            DropFile();
            return error_;
        }
        const bool failed = end_ == End::Failed || (end_ == End::Broken && !reason_.empty());
        DownloadEnd end = JudgeDownloadEnd(name_, lengthKnown_, length_, have_, failed, reason_,
                                           end_ == End::Stopped || watch_.Stopped());
        if (!file_) return end.errorText;
        LARGE_INTEGER written{};
        if (!GetFileSizeEx(file_.get(), &written) || static_cast<uint64_t>(written.QuadPart) != have_) {
            end.putInPlace = false;
            if (end.errorText.empty()) end.errorText = DownloadError(name_, "the file does not hold what arrived");
        }
        file_.reset();
        if (!end.putInPlace) {
            DropFile();
            return end.errorText;
        }
        DeleteFileA(localFile_.c_str());
        if (!MoveFileExA(tempFile_.c_str(), localFile_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const std::string failure = DownloadError(name_, WriteFailureReason(GetLastError()));
            DeleteFileA(tempFile_.c_str());
            return failure;
        }
        return end.errorText;
    }

    void DropFile() {
        if (tempFile_.empty()) return;
        file_.reset();
        DeleteFileA(tempFile_.c_str());  // a partial file is of no use to anyone
    }

    const std::string& url_;
    const std::string& localFile_;
    std::string& content_;
    TProgBar* progress_;
    const DownloadLimits& limits_;
    uintptr_t owner_;
    const std::string name_;
    InetHandle session_;
    Watch watch_;
    std::unique_ptr<TBytesRate> rate_;
    ScopedHandle file_;
    std::string tempFile_;
    uint64_t have_ = 0;          // bytes of the file that arrived
    bool replied_ = false;       // the first reply came: length, name and validator known
    bool lengthKnown_ = false;
    uint32_t length_ = 0;        // of the whole file
    uint32_t chunk_ = 1;
    std::string validator_;      // If-Range of a resumed request; empty: start over instead
    End end_ = End::Error;
    int status_ = 0;
    bool stalled_ = false;
    std::string reason_, error_;
};

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
        InetHandle session(OpenSession(kProbeAgent, kStallMs));
        Request request;
        if (request.Open(session.get(), url, 0, "", Watch(), kStallMs) != Waited::Done || !request.get()) return -1;
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
    PreOpen(url, Watch());
}

std::string HTTP_DownloadFile_Incremental(uintptr_t ownerWindow, const std::string& url, const std::string& localFile,
                                          std::string& content, TProgBar* progress, const DownloadLimits& limits) {
    std::string errorText;
    VEL_TRY {
        errorText = Downloader(url, localFile, content, progress, limits, ownerWindow).Run();
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
