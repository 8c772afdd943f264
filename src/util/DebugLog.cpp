// Debug stream, run log and host notification: the portable rules. See DebugLog.h.
#include "util/DebugLog.h"

#include <algorithm>
#include <cstring>

#include "util/Catch.h"
#include "util/DebugLogPlatform.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {

namespace {

// Constant-initialised, so the stream works before any other code of the process has run.
DebugStream g_stream{&DebugOut};

std::uintptr_t g_hostWindow = 0;
unsigned g_hostMessage = 0;

struct StreamLock {
    StreamLock() { debuglog::LockStream(); }
    ~StreamLock() { debuglog::UnlockStream(); }
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;
};

// Process-wide state that needs dynamic storage. Never destroyed, so that lines written while
// the process shuts down still find it.
struct LogState {
    bool runLogEnabled = false;
    std::string runLogIndent = "   ";
    std::string debugFilePath;        // file the normaliser's state belongs to
    LineBreakNormalizer debugFileBreaks;
};

LogState* State() {
    static LogState* state = new LogState();
    return state;
}

const char kExceptionLabels[] = "|Method = |Remark = |SX = |ErrMsg = |";

}  // namespace

// ---- DebugStream

void DebugStream::Write(const char* data, std::size_t size) {
    if (delivering_) return;
    while (size > 0) {
        const std::size_t n = std::min(size, kDebugChunkSize - used_);
        std::memcpy(buffer_ + used_, data, n);
        used_ += n;
        data += n;
        size -= n;
        if (used_ == kDebugChunkSize) Flush();
    }
}

void DebugStream::WriteLine(const std::string& text) {
    if (delivering_) return;
    Write(text);
    Write("\r\n", 2);
    Flush();
}

void DebugStream::Flush() {
    if (used_ == 0 || delivering_) return;
    delivering_ = true;
    VEL_TRY {
        const std::string chunk(buffer_, used_);
        used_ = 0;
        if (sink_) sink_(chunk);
    } VEL_CATCH_ALL {
        // A failing receiver loses this chunk only.
    }
    used_ = 0;
    delivering_ = false;
}

// ---- Line breaks

std::string LineBreakNormalizer::Feed(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (char c : text) {
        if (c == '\n') {
            if (!afterCR_) out += "\r\n";  // the CR already produced this break
            afterCR_ = false;
        } else if (c == '\r') {
            out += "\r\n";
            afterCR_ = true;
        } else {
            out += c;
            afterCR_ = false;
        }
    }
    return out;
}

std::string NormalizeLineBreaks(const std::string& text) {
    LineBreakNormalizer n;
    return n.Feed(text);
}

// ---- Trace lines

void DebugLine(const std::string& text) {
    VEL_TRY {
        StreamLock lock;
        g_stream.WriteLine(text);
    } VEL_CATCH_ALL {
    }
}

void DebugLine(const char* text) { DebugLine(std::string(text)); }

void DebugPair(const std::string& a, const std::string& b) {
    VEL_TRY {
        DebugLine("[" + a + "]  [" + b + "]");
    } VEL_CATCH_ALL {
    }
}

std::string ExceptionRecordText(const std::string& message, const std::string& method,
                                const std::string& remark) {
    // The context field (index 2) is never filled by this program.
    const std::string fields[] = {method, remark, std::string(), message};
    std::string record = " --- ";
    for (int i = 0; i < 4; ++i) {
        if (fields[i].empty()) continue;
        record += " [ " + SUB::Item(kExceptionLabels, i) + fields[i] + " ] ";
    }
    return record;
}

void LogException(const std::string& message, const std::string& method, const std::string& remark) {
    VEL_TRY {
        DebugLine(ExceptionRecordText(message, method, remark));
    } VEL_CATCH_ALL {
    }
}

// ---- Delivery

DebugSink SetDebugSink(DebugSink sink) {
    VEL_TRY {
        StreamLock lock;
        g_stream.Flush();  // what was written so far belongs to the receiver of that time
        const DebugSink previous = g_stream.Sink();
        g_stream.SetSink(sink ? sink : &DebugOut);
        return previous;
    } VEL_CATCH_ALL {
        return nullptr;
    }
}

void DeliverDebugChunk(int mode, const std::string& chunk, const std::string& filePath) {
    VEL_TRY {
        if (mode == 1 || mode == 2) {
            StreamLock lock;
            LogState* s = State();
            if (s->debugFilePath != filePath) {
                s->debugFilePath = filePath;
                s->debugFileBreaks = LineBreakNormalizer();
            }
            debuglog::AppendText(filePath, s->debugFileBreaks.Feed(chunk));
        }
        if (mode == 0 || mode == 2) SendToDebugViewer(chunk);
    } VEL_CATCH_ALL {
    }
}

void DebugOut(const std::string& chunk) { DeliverDebugChunk(kDebugOutputMode, chunk, kDebugFileName); }

// ---- Run log

std::string RunLogFileNameFor(const std::string& exePath) {
    if (exePath.empty()) return std::string();
    const std::size_t sep = exePath.find_last_of("\\/");
    const std::string dir = sep == std::string::npos ? std::string() : exePath.substr(0, sep + 1);
    std::string name = sep == std::string::npos ? exePath : exePath.substr(sep + 1);
    if (!StartsWith("X_", name, false)) name = "X_" + name;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return dir + name + ".log";
}

std::string RunLogFileName() {
    VEL_TRY {
        static const std::string* name = new std::string(RunLogFileNameFor(debuglog::ExecutablePath()));
        return *name;
    } VEL_CATCH_ALL {
        return std::string();
    }
}

std::string RunLogLine(const std::string& stamp, std::uint32_t threadId, const std::string& indent,
                       const std::string& message) {
    return stamp + " " + PadLeft(IntToStr(threadId), 5, ' ') + indent + message;
}

void SetRunLogIndent(const std::string& indent) {
    VEL_TRY {
        State()->runLogIndent = indent;
    } VEL_CATCH_ALL {
    }
}

void SetRunLogEnabled(bool on) {
    VEL_TRY {
        State()->runLogEnabled = on;
    } VEL_CATCH_ALL {
    }
}

bool RunLogEnabled() {
    VEL_TRY {
        return State()->runLogEnabled;
    } VEL_CATCH_ALL {
        return false;
    }
}

void RunLog(const std::string& message) {
    VEL_TRY {
        const LogState* s = State();
        if (!s->runLogEnabled) return;
        const std::string path = RunLogFileName();
        if (path.empty()) return;
        char dateSep = '/';
        char timeSep = ':';
        debuglog::StampSeparators(dateSep, timeSep);
        const std::string line = RunLogLine(StampText(-1, dateSep, timeSep), debuglog::CurrentThreadNumber(),
                                            s->runLogIndent, message);
        debuglog::AppendText(path, line + "\r\n");
    } VEL_CATCH_ALL {
    }
}

void RunLog(const char* message) { RunLog(std::string(message)); }

// ---- Host notification

void SetNotifyHost(std::uintptr_t window, unsigned messageId) {
    g_hostWindow = window;
    g_hostMessage = messageId;
}

void NotifyHost(std::intptr_t code, std::intptr_t value) {
    if (g_hostWindow == 0 || g_hostMessage == 0) return;
    debuglog::PostToWindow(g_hostWindow, g_hostMessage, code, value);
}

}  // namespace vel
