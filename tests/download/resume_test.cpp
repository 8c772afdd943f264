// The decisions of a resumed download: the validator, the judgement of a reply to a range
// request, and the retry plan.
#include "download/Resume.h"

#include <gtest/gtest.h>

namespace vel {
namespace {

TEST(Resume, Validator) {
    const std::string date = "Tue, 05 Mar 2024 14:30:20 GMT";
    struct Case {
        const char* etag;
        std::string lastModified, expected;
    } cases[] = {
        {"\"abc\"", date, "\"abc\""},    // strong ETag first
        {"\"abc\"", "", "\"abc\""},
        {"W/\"abc\"", date, date},       // weak: never in If-Range
        {"W/\"abc\"", "", ""},
        {"", date, date},
        {"", "", ""},                     // nothing: no safe resume
        {"abc", "", ""},                 // not a quoted tag
        {"\"", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ResumeValidator(c.etag, c.lastModified), c.expected) << c.etag;
}

TEST(Resume, ReplyToARangeRequest) {
    struct Case {
        int status;
        const char* contentRange;
        uint64_t from, total;
        RangeReply expected;
    } cases[] = {
        {206, "bytes 300-999/1000", 300, 1000, RangeReply::Continue},
        {206, "bytes 999-999/1000", 999, 1000, RangeReply::Continue},
        {200, "", 300, 1000, RangeReply::StartOver},              // no ranges, or If-Range failed
        {200, "bytes 300-999/1000", 300, 1000, RangeReply::StartOver},
        {206, "bytes 0-999/1000", 300, 1000, RangeReply::Distrust},    // not where we asked
        {206, "bytes 300-998/1000", 300, 1000, RangeReply::Distrust},  // not to the end
        {206, "bytes 300-1999/2000", 300, 1000, RangeReply::Distrust}, // another total
        {206, "bytes 300-999/*", 300, 1000, RangeReply::Distrust},
        {206, "bytes 300-999/1000 ", 300, 1000, RangeReply::Distrust},
        {206, "bytes  300-999/1000", 300, 1000, RangeReply::Distrust},
        {206, "items 300-999/1000", 300, 1000, RangeReply::Distrust},
        {206, "", 300, 1000, RangeReply::Distrust},
        {206, "bytes 300-999/1000", 300, 0, RangeReply::Distrust},     // no total known
        {206, "bytes 1000-999/1000", 1000, 1000, RangeReply::Distrust},
        {206, "bytes 300-99999999999999999999/1000", 300, 1000, RangeReply::Distrust},
        {206, "bytes 4294967596-8589934591/8589934592", 4294967596ull, 8589934592ull, RangeReply::Continue},
        {416, "bytes */1000", 300, 1000, RangeReply::Failed},
        {404, "", 300, 1000, RangeReply::Failed},
        {503, "", 300, 1000, RangeReply::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeRangeReply(c.status, c.contentRange, c.from, c.total), c.expected)
            << c.status << " " << c.contentRange << " from " << c.from;
}

TEST(Resume, RetryPlan) {
    // Attempts without progress: up to five in all, pauses 2, 4, 8, 16 s at the middle draw.
    int counted = 0;
    for (uint32_t pause : {2000u, 4000u, 8000u, 16000u}) {
        const RetryStep step = NextAttempt(counted, 100, 0, false, false, 0.5);
        EXPECT_TRUE(step.retry);
        EXPECT_EQ(step.pauseMs, pause);
    }
    EXPECT_FALSE(NextAttempt(counted, 0, 200, false, false, 0.5).retry);
    EXPECT_EQ(counted, kMaxDownloadAttempts);

    // The draw spreads the pause by +-50 %; a draw out of range counts as the middle.
    struct Draw {
        double draw;
        uint32_t pauseMs;
    } draws[] = {{0.0, 1000}, {0.999, 2998}, {0.25, 1500}, {-1, 2000}, {1.0, 2000}};
    for (const Draw& d : draws) {
        int first = 0;
        EXPECT_EQ(NextAttempt(first, 0, 0, false, false, d.draw).pauseMs, d.pauseMs) << d.draw;
    }

    // An attempt that moved the file by 64 KiB goes again at once and does not count, even at the
    // last attempt and after a stall.
    for (bool stalled : {false, true}) {
        int last = kMaxDownloadAttempts - 1;
        const RetryStep step = NextAttempt(last, kFreeRetryProgress, 206, false, stalled, 0.5);
        EXPECT_TRUE(step.retry);
        EXPECT_EQ(step.pauseMs, 0u);
        EXPECT_EQ(last, kMaxDownloadAttempts - 1);
    }
    int fresh = 0;
    EXPECT_TRUE(NextAttempt(fresh, kFreeRetryProgress - 1, 200, false, false, 0.5).pauseMs > 0);

    // Never after an abort, a 4xx answer, or a stall that brought nothing worth keeping.
    struct Final {
        uint64_t advanced;
        int status;
        bool aborted, stalled;
    } finals[] = {
        {1 << 20, 200, true, false}, {0, 404, false, false}, {1 << 20, 403, false, false},
        {0, 416, false, false},      {100, 200, false, true},
    };
    for (const Final& f : finals) {
        int none = 0;
        EXPECT_FALSE(NextAttempt(none, f.advanced, f.status, f.aborted, f.stalled, 0.5).retry) << f.status;
    }
    int server = 0;
    EXPECT_TRUE(NextAttempt(server, 0, 503, false, false, 0.5).retry);  // a server error may pass
}

}  // namespace
}  // namespace vel
