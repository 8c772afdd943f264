#include "download/Resume.h"

namespace vel {

std::string ResumeValidator(const std::string& etag, const std::string& lastModified) {
    // A strong ETag is a quoted text; "W/" marks a weak one, which If-Range must not carry.
    // A date is a validator of its own (If-Range compares it exactly).
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' ? etag : lastModified;
}

namespace {

// A decimal number of at most 19 digits at s[at], advancing at; false when there is none.
bool ParseNumber(const std::string& s, size_t& at, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - start < 19) value = value * 10 + (s[at++] - '0');
    return at > start && (at >= s.size() || s[at] < '0' || s[at] > '9');
}

}  // namespace

RangeReply JudgeRangeReply(int status, const std::string& contentRange, uint64_t from, uint64_t total) {
    if (status == 200) return RangeReply::StartOver;
    if (status != 206) return RangeReply::Failed;
    // "bytes FIRST-LAST/TOTAL", exactly, for the bytes asked and the total first announced.
    const std::string unit = "bytes ";
    if (contentRange.compare(0, unit.size(), unit) != 0 || total == 0) return RangeReply::Distrust;
    size_t at = unit.size();
    uint64_t first = 0, last = 0, size = 0;
    if (!ParseNumber(contentRange, at, first) || at >= contentRange.size() || contentRange[at++] != '-' ||
        !ParseNumber(contentRange, at, last) || at >= contentRange.size() || contentRange[at++] != '/' ||
        !ParseNumber(contentRange, at, size) || at != contentRange.size())
        return RangeReply::Distrust;
    return first == from && size == total && last == total - 1 && from < total ? RangeReply::Continue
                                                                               : RangeReply::Distrust;
}

RetryStep NextAttempt(int& counted, uint64_t advanced, int status, bool aborted, bool stalled, double draw) {
    RetryStep step;
    if (aborted || (status >= 400 && status < 500)) return step;
    if (advanced >= kFreeRetryProgress) {
        step.retry = true;  // the connection carried data: at once, free
        return step;
    }
    if (stalled || ++counted >= kMaxDownloadAttempts) return step;
    if (draw < 0 || draw >= 1) draw = 0.5;
    const double base = static_cast<double>(kFirstRetryPauseMs) * static_cast<double>(1u << (counted - 1));
    step.retry = true;
    step.pauseMs = static_cast<uint32_t>(base * (0.5 + draw));
    return step;
}

}  // namespace vel
