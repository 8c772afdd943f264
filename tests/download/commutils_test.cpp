// Rate meter and progress relay, driven by a test clock and a recording sink.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/CommUtils.h"

using namespace vel;

namespace {

// A clock the test moves by hand.
struct TestClock {
    uint32_t now = 10000;
    TTickSource Source() {
        return [this] { return now; };
    }
};

TEST(TBytesRate, PushSampleShiftsAndMeasures) {
    std::vector<int32_t> bytes(5, 0);
    EXPECT_EQ(TBytesRate::PushSample<int32_t>(bytes, 10, TSampleMode::Sum), 10);
    EXPECT_EQ(TBytesRate::PushSample<int32_t>(bytes, 20, TSampleMode::Sum), 30);
    for (int32_t v : {30, 40, 50}) TBytesRate::PushSample<int32_t>(bytes, v, TSampleMode::Sum);
    EXPECT_EQ(bytes, (std::vector<int32_t>{10, 20, 30, 40, 50}));
    // The newest four only.
    EXPECT_EQ(TBytesRate::PushSample<int32_t>(bytes, 60, TSampleMode::Sum), 30 + 40 + 50 + 60);

    // Span against the sample four places back, across the 32-bit wrap of the tick count.
    std::vector<uint32_t> ticks{0xFFFFFF00u, 0xFFFFFF80u, 0xFFFFFFC0u, 0xFFFFFFF0u, 0xFFFFFFFFu};
    EXPECT_EQ(TBytesRate::PushSample<uint32_t>(ticks, 0x100u, TSampleMode::Span), 0x180);

    std::vector<uint32_t> one{7};
    EXPECT_EQ(TBytesRate::PushSample<uint32_t>(one, 100u, TSampleMode::Span), 0);
    std::vector<uint32_t> none;
    EXPECT_EQ(TBytesRate::PushSample<uint32_t>(none, 100u, TSampleMode::Sum), 0);
}

TEST(TBytesRate, RateAppearsOnFifthSampleAndChangesAtMostTwiceASecond) {
    TestClock clock;
    TBytesRate meter(true, false, clock.Source());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(meter.RateText(1024), "") << "call " << i + 1;
        clock.now += 250;
    }
    // Newest four reads of 1024 bytes over the 1000 ms since the first sample: 4 KB/s.
    EXPECT_EQ(meter.RateText(1024), "4.00");
    clock.now += 300;
    EXPECT_EQ(meter.RateText(8192), "4.00");  // 300 ms later: unchanged
    clock.now += 250;
    // 550 ms after the computation: (1024 * 2 + 8192 * 2) bytes over the 1050 ms since the
    // sample four places back.
    EXPECT_EQ(meter.RateText(8192), "17.14");

    meter.Reset();
    for (int i = 0; i < 4; ++i) {
        clock.now += 100;
        EXPECT_EQ(meter.RateText(100), "") << "after reset, call " << i + 1;
    }
}

TEST(TBytesRate, NoRateWithoutElapsedTimeOrSoonAfterStart) {
    TestClock still;
    TBytesRate frozen(false, false, still.Source());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(frozen.RateText(500), "");  // all samples at one tick

    // A system up for only 400 ms: the first computation waits until 500 ms have passed.
    TestClock early;
    early.now = 0;
    TBytesRate meter(false, false, early.Source());
    for (int i = 0; i < 5; ++i) {
        early.now += 80;
        EXPECT_EQ(meter.RateText(512), "") << "tick " << early.now;
    }
    early.now += 120;  // 520 ms
    EXPECT_FALSE(meter.RateText(512).empty());
}

TEST(TBytesRate, ProgressTextUnits) {
    struct Case {
        bool inKB, inMB;
        int32_t total, received;
        const char* text;
    } cases[] = {
        {false, false, 5000, 1000, "1000/5000 BytesArr"},
        {true, false, 204800, 1536, "1.5/200.0 KB"},
        {true, false, 204800, 0, "0.0/200.0 KB"},
        {true, false, 2000000000, 1048576000, "1,024,000.0/1,953,125.0 KB"},
        {false, true, 20971520, 1048576, "1.0/20.0 MB"},
        {true, true, 1572864000, 524288, "0.5/1,500.0 MB"},  // MB wins over KB
        {false, false, -1, 8192, "8192/-1 BytesArr"},       // unknown length reads as -1
    };
    for (const Case& c : cases) {
        TestClock clock;  // never moves: no rate part
        TBytesRate meter(c.inKB, c.inMB, clock.Source());
        EXPECT_EQ(meter.ProgressText(c.total, c.received, 100), c.text);
    }
}

TEST(TBytesRate, ProgressTextCarriesRateOnceKnown) {
    TestClock clock;
    TBytesRate meter(true, false, clock.Source());
    EXPECT_EQ(meter.ProgressText(204800, 0, 0), "0.0/200.0 KB");
    int32_t received = 0;
    for (int i = 0; i < 3; ++i) {
        clock.now += 250;
        received += 3200;
        EXPECT_EQ(meter.ProgressText(204800, received, 3200).find("KB/Sec"), std::string::npos);
    }
    clock.now += 250;
    // 4 reads of 3200 bytes in one second: 12.5 KB/s.
    EXPECT_EQ(meter.ProgressText(204800, 1536, 3200), "1.5/200.0 KB   -   12.50 KB/Sec");
}

// Records the relay's events and waits in order.
struct Recorder {
    std::vector<std::string> events;
    TProgressSinkFn Sink() {
        return [this](int32_t a, int32_t mn, int32_t mx, int32_t pos, int32_t step, const std::string& text) {
            events.push_back("sink " + std::to_string(a) + " " + std::to_string(mn) + " " + std::to_string(mx) + " " +
                             std::to_string(pos) + " " + std::to_string(step) + " [" + text + "]");
        };
    }
    TYieldFn Waits() {
        return [this](uint32_t ms) { events.push_back("yield " + std::to_string(ms)); };
    }
};

TEST(TProgBar, EventsReachSinkBetweenTheirWaits) {
    Recorder rec;
    {
        TProgBar bar(rec.Sink(), rec.Waits());
        EXPECT_FALSE(bar.cancel);
        bar.rangeDelayBefore = 11;
        bar.rangeDelayAfter = 12;
        bar.stepDelayBefore = 21;
        bar.stepDelayAfter = 22;
        bar.finishDelayBefore = 31;
        bar.finishDelayAfter = 32;
        bar.SetRange(1, 6);
        bar.SetCaption("setup.exe");
        bar.Step("1/5 BytesArr");
        bar.Finish(100, 200);
        EXPECT_EQ(rec.events, (std::vector<std::string>{
                                  "yield 11", "sink 0 0 6 1 1 []", "yield 12",  // range
                                  "yield 0",                                    // caption: no sink event
                                  "yield 21", "sink 1 0 0 0 0 [1/5 BytesArr]", "yield 22",
                                  "yield 100", "yield 31", "sink 0 0 0 0 1 []", "yield 32", "yield 200",
                              }));
        rec.events.clear();
    }
    // Going away finishes once more, with no extra waits.
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"yield 0", "yield 31", "sink 0 0 0 0 1 []", "yield 32", "yield 0"}));
}

TEST(TProgBar, WorksWithoutYield) {
    Recorder rec;
    TProgBar bar(rec.Sink(), nullptr);
    bar.SetRange(1, 3);
    bar.Step("x");
    EXPECT_EQ(rec.events, (std::vector<std::string>{"sink 0 0 3 1 1 []", "sink 1 0 0 0 0 [x]"}));
}

}  // namespace
