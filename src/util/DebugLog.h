#pragma once
// Diagnostics that are never shown to the user: the debug stream (trace lines for an external
// viewer window or a debug file) and the run log (time-stamped step lines in a file beside the
// executable). Nothing here reports failure or throws: a line that cannot be delivered is lost.
// Portable declarations; the delivery to windows and files lives in the platform part.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vel {

// Where the debug stream goes: 0 = viewer window only, 1 = debug file only, 2 = viewer and file,
// any other value = nowhere.
constexpr int kDebugOutputMode = 0;
constexpr const char* kDebugFileName = "C:\\ProgramData\\_vdebug.txt";

// Viewer protocol: a top-level window of this class receives the registered message with
// wParam = channel and lParam = a global atom whose name is the chunk.
constexpr const char* kDebugViewerClass = ".VDebug.";
constexpr const char* kDebugViewerMessage = ".V_DebugMsg.";
constexpr std::uintptr_t kDebugViewerChannel = 1;

// The stream hands its text on in chunks of at most this many characters.
constexpr std::size_t kDebugChunkSize = 128;

// ---- Trace lines (the process-wide debug stream; usable from the first call)

// Writes the text followed by CR LF.
void DebugLine(const std::string& text);
// The same for a literal: its string is made here once, not at every call.
void DebugLine(const char* text);
// Writes "[" + a + "]  [" + b + "]".
void DebugPair(const std::string& a, const std::string& b);
// Writes an exception record: " --- " and the non-empty fields Method, Remark, ErrMsg.
void LogException(const std::string& message, const std::string& method, const std::string& remark);

// ---- Delivery of chunks

// Receives each chunk of the process-wide stream.
using DebugSink = void (*)(const std::string& chunk);
// Replaces the receiver of the process-wide stream (nullptr = DebugOut); returns the previous one.
DebugSink SetDebugSink(DebugSink sink);
// The standard receiver: delivers the chunk by kDebugOutputMode.
void DebugOut(const std::string& chunk);
// Delivers a chunk by the given mode: to the debug file at filePath (line breaks made CR LF)
// and/or to the viewer window.
void DeliverDebugChunk(int mode, const std::string& chunk, const std::string& filePath);
// Sends one chunk to the viewer window; false when there is none or the send failed.
bool SendToDebugViewer(const std::string& chunk);

// ---- Run log (off until switched on; every line opens, appends to and closes the file)

void RunLog(const std::string& message);
void RunLog(const char* message);
// "X_" + executable base name + ".log" beside the executable; empty when the path is unknown.
std::string RunLogFileName();
void SetRunLogIndent(const std::string& indent);  // default three blanks
void SetRunLogEnabled(bool on);
bool RunLogEnabled();

// ---- Host notification (a client window that follows the program's phases)

// window = the client window handle, messageId = the message posted to it; 0 and 0 = none.
void SetNotifyHost(std::uintptr_t window, unsigned messageId);
// Posts messageId with wParam = code and lParam = value when window and message are both set.
void NotifyHost(std::intptr_t code, std::intptr_t value);

// ---- Building blocks

// Collects characters and hands them on in chunks of at most kDebugChunkSize: when the buffer is
// full and at the end of every line. A receiver that throws loses its chunk, never the stream.
// Not locked: the process-wide stream wraps it in its lock.
class DebugStream {
public:
    constexpr explicit DebugStream(DebugSink sink) : sink_(sink) {}

    DebugSink Sink() const { return sink_; }
    void SetSink(DebugSink sink) { sink_ = sink; }

    void Write(const char* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void WriteLine(const std::string& text);  // text, CR LF, flush
    void Flush();

private:
    DebugSink sink_;
    std::size_t used_ = 0;
    bool delivering_ = false;  // a receiver that writes lines itself must not recurse
    char buffer_[kDebugChunkSize] = {};
};

// Makes every CR LF, lone CR and lone LF a CR LF. Keeps state across calls, so a CR LF split
// between two chunks stays one line break.
class LineBreakNormalizer {
public:
    std::string Feed(const std::string& text);

private:
    bool afterCR_ = false;
};
std::string NormalizeLineBreaks(const std::string& text);

// " --- " + " [ Method = m ] " + " [ Remark = r ] " + " [ ErrMsg = e ] ", empty fields left out.
std::string ExceptionRecordText(const std::string& message, const std::string& method,
                                const std::string& remark);
// The run log path for an executable path (see RunLogFileName); empty for an empty path.
std::string RunLogFileNameFor(const std::string& exePath);
// stamp + " " + thread id right-aligned to 5 + indent + message.
std::string RunLogLine(const std::string& stamp, std::uint32_t threadId, const std::string& indent,
                       const std::string& message);

}  // namespace vel
