#pragma once
// The decisions of a download that survives the network, apart from the network: which validator
// makes a resume safe, whether a reply to a range request may continue the file, and when and
// after what pause a broken transfer is tried again. Portable: no Windows API. Nothing here throws.
#include <cstdint>
#include <string>

namespace vel {

// The If-Range validator of a resumed request: the first reply's strong ETag, else its
// Last-Modified text; empty (a weak ETag "W/..." and no date, or neither) when no resume is safe.
std::string ResumeValidator(const std::string& etag, const std::string& lastModified);

enum class RangeReply {
    Continue,   // 206 for exactly the bytes asked: append
    StartOver,  // 200: the whole file again from byte 0 (truncate what we have)
    Distrust,   // any other 206: drop this reply and what we have, ask again without a range
    Failed,     // an error status: the body is not the file
};
// Judges the reply to "Range: bytes=from-": status, its Content-Range text and the total of the
// first reply (0 when it gave no length).
RangeReply JudgeRangeReply(int status, const std::string& contentRange, uint64_t from, uint64_t total);

// Attempts that count, and the progress after which a broken attempt is tried again at once
// without counting (the file size bounds how often that happens).
constexpr int kMaxDownloadAttempts = 5;
constexpr uint64_t kFreeRetryProgress = 65536;
constexpr uint32_t kFirstRetryPauseMs = 2000;

struct RetryStep {
    bool retry = false;
    uint32_t pauseMs = 0;
};
// After a broken attempt. counted: attempts that counted so far, updated; advanced: bytes the
// attempt added to the file; status: its HTTP status (0 before one arrived); draw: a random number
// in [0, 1). No retry after an abort, nor for a 4xx answer, nor for a stall that moved nothing
// worth keeping (a server that holds a connection silent is not helped by asking again), nor once
// kMaxDownloadAttempts attempts have counted. The pause of the k-th counted retry is
// 2 s * 2^(k-1), randomised by +-50 %.
RetryStep NextAttempt(int& counted, uint64_t advanced, int status, bool aborted, bool stalled, double draw);

}  // namespace vel
