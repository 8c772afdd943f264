#include <gtest/gtest.h>

#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateCycle.h"
#include "util/StrUtils.h"

#include <map>
#include <string>

using namespace vel;

namespace {

// Number of the first tick (1-based) that considers a shot, within a limit; 0 when none does.
int FirstShotTick(UpdateCycleState s, int limit) {
    for (int tick = 1; tick <= limit; ++tick)
        if (CountTick(s).considerShot) return tick;
    return 0;
}

// Number of the tick (1-based) that asks the agent to quit; 0 when none does within the limit.
int QuitTick(UpdateCycleState s, int limit) {
    for (int tick = 1; tick <= limit; ++tick)
        if (CountTick(s).quit) return tick;
    return 0;
}

TEST(UpdateCycle, FirstTicksOnlyCountUnlessSleepXSaysOtherwise) {
    const struct {
        int64_t sleepX;  // -1: the switch is absent
        int firstShotTick;
    } cases[] = {{-1, 4}, {0, 1}, {1, 2}, {10, 11}};
    for (const auto& c : cases) {
        UpdateCycleState s;
        s.timerCount = StartTimerCount(c.sleepX);
        EXPECT_EQ(FirstShotTick(s, 20), c.firstShotTick) << "SleepX " << c.sleepX;
    }
    // Once above 0 the counter keeps every later tick eligible.
    UpdateCycleState s;
    s.timerCount = StartTimerCount(0);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(CountTick(s).considerShot);
}

TEST(UpdateCycle, ShutDownCountdownEndsTheAgentAfterThatManyTicks) {
    const struct {
        int32_t countdown;
        int quitTick;
    } cases[] = {{-1, 0}, {0, 1}, {2, 3}, {5, 6}};
    for (const auto& c : cases) {
        UpdateCycleState s;
        s.shutDownCountdown = c.countdown;
        EXPECT_EQ(QuitTick(s, 20), c.quitTick) << "countdown " << c.countdown;
    }
    // It asks once: the countdown then stays at -1.
    UpdateCycleState s;
    s.shutDownCountdown = 0;
    EXPECT_TRUE(CountTick(s).quit);
    EXPECT_EQ(s.shutDownCountdown, -1);
    EXPECT_FALSE(CountTick(s).quit);
}

// The installation settings as a map; records what the cycle wrote.
class FakeSettings : public CycleSettings {
public:
    std::map<std::string, int64_t> values{{"VersionOriginal", 0},      {"VersionNew", 0},
                                          {"ProbeSecondsInterval", 0}, {"ReAskSecondsInterval", 0},
                                          {"ProbeSecondsLast", 0},     {"ReAskSecondsLast", 0}};
    int writes = 0;

    int64_t VersionOriginal() override { return values["VersionOriginal"]; }
    int64_t VersionNew() override { return values["VersionNew"]; }
    int64_t ProbeSecondsInterval() override { return values["ProbeSecondsInterval"]; }
    int64_t ReAskSecondsInterval() override { return values["ReAskSecondsInterval"]; }
    int64_t ProbeSecondsLast() override { return values["ProbeSecondsLast"]; }
    int64_t ReAskSecondsLast() override { return values["ReAskSecondsLast"]; }
    void SetProbeSecondsInterval(int64_t v) override { Write("ProbeSecondsInterval", v); }
    void SetReAskSecondsInterval(int64_t v) override { Write("ReAskSecondsInterval", v); }
    void SetProbeSecondsLast(int64_t v) override { Write("ProbeSecondsLast", v); }
    void SetReAskSecondsLast(int64_t v) override { Write("ReAskSecondsLast", v); }

private:
    void Write(const char* key, int64_t v) {
        values[key] = v;
        ++writes;
    }
};

// A moment on the agent's clock in December 2026: beyond the 32-bit signed range.
constexpr int64_t kNow = 3'974'400'000;

TEST(UpdateCycle, InteractiveCheckRunsOnTheNextTickAndEndsWithIt) {
    UpdateCycleState s;
    s.timerCount = -50;  // a long /SleepX= does not hold it back
    s.mode = kModeInteractiveRequested;
    const TickCount t = CountTick(s);
    EXPECT_EQ(s.mode, kModeInteractive);
    EXPECT_TRUE(t.considerShot);
    EXPECT_EQ(s.timerCount, 1);
    EndShotTick(s);
    EXPECT_EQ(s.mode, kModeTimed);
    // Timed operation counts on from there.
    EXPECT_TRUE(CountTick(s).considerShot);
    EXPECT_EQ(s.timerCount, 2);
    // A timed tick leaves the mode alone.
    EndShotTick(s);
    EXPECT_EQ(s.mode, kModeTimed);
}

TEST(UpdateCycle, ShotTimeStatus) {
    const struct {
        const char* what;
        int64_t interval, last;
        bool testMode, probeEnabled, force;
        int status;
    } cases[] = {
        {"interval passed by a second", 3600, kNow - 3601, false, true, false, 1},
        {"exactly due", 3600, kNow - 3600, false, true, false, 1},
        {"a second early", 3600, kNow - 3599, false, true, false, 0},
        {"interval 0: the run's only shot", 0, kNow - 10, false, true, false, 2},
        {"interval 0, last in the future", 0, kNow + 10, false, true, false, 0},
        {"interval -1: never", -1, 0, false, true, false, 0},
        {"interval -1 forced", -1, 0, false, true, true, 1},
        {"interval 0 forced", 0, kNow - 10, false, true, true, 1},
        {"not due but forced", 3600, kNow, false, true, true, 1},
        {"probing off", 3600, 0, false, false, false, 0},
        {"probing off but forced", 3600, kNow, false, false, true, 1},
        {"test mode: every 5 s", 3600, kNow - 5, true, true, false, 1},
        {"test mode: 4 s is early", 3600, kNow - 4, true, true, false, 0},
        {"test mode, interval 0", 0, kNow - 5, true, true, false, 2},
        {"test mode, interval -1", -1, 0, true, true, false, 0},
        // A last probe beyond 32 bits must not wrap into the past.
        {"last probe now, beyond 32 bits", 3600, kNow, false, true, false, 0},
        {"last probe at the top of the range", 3600, INT64_MAX - 10, false, true, false, 0},
        {"last probe far in the past", 3600, INT64_MIN + 10, false, true, false, 1},
    };
    for (const auto& c : cases) {
        UpdateCycleState s;
        s.testMode = c.testMode;
        s.probeEnabled = c.probeEnabled;
        s.force = c.force;
        FakeSettings f;
        f.values["ProbeSecondsInterval"] = c.interval;
        f.values["ProbeSecondsLast"] = c.last;
        EXPECT_EQ(ShotTimeStatus(s, f, kNow), c.status) << c.what;
        EXPECT_FALSE(s.force) << c.what << ": the force flag serves one computation";
        EXPECT_EQ(s.probeEnabled, c.probeEnabled) << c.what;
        EXPECT_EQ(f.writes, 0) << c.what;
    }
}

TEST(UpdateCycle, IntervalZeroShootsOncePerRunOtherIntervalsAgainWhenDue) {
    FakeSettings f;
    UpdateCycleState s;
    f.values["ProbeSecondsInterval"] = 0;
    f.values["ProbeSecondsLast"] = kNow - 100;
    EXPECT_EQ(TickShotStatus(s, f, kNow), 2);
    f.values["ProbeSecondsLast"] = kNow;  // the shot rewrote it
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(TickShotStatus(s, f, kNow + i * 1000), 0);
    // A request still gets a shot.
    s.force = true;
    EXPECT_EQ(TickShotStatus(s, f, kNow + 5000), 1);

    UpdateCycleState hourly;
    f.values["ProbeSecondsInterval"] = 3600;
    f.values["ProbeSecondsLast"] = kNow - 3601;
    EXPECT_EQ(TickShotStatus(hourly, f, kNow), 1);
    f.values["ProbeSecondsLast"] = kNow;
    EXPECT_EQ(TickShotStatus(hourly, f, kNow + 1), 0);
    EXPECT_EQ(TickShotStatus(hourly, f, kNow + 3600), 1);
}

TEST(UpdateCycle, ControlRequestGettersAnswerTheLow32Bits) {
    UpdateCycleState s;
    s.phase = 3;
    FakeSettings f;
    f.values = {{"VersionOriginal", 0x1'0000'0005}, {"VersionNew", 0x0102'0304},
                {"ProbeSecondsInterval", -1},       {"ReAskSecondsInterval", 86400},
                {"ProbeSecondsLast", kNow},         {"ReAskSecondsLast", kNow - 7}};
    const struct {
        int64_t code;
        int32_t result;
    } cases[] = {
        {4, 5},
        {5, 0x0102'0304},
        {7, 3},
        {8, -1},
        {9, 86400},
        {10, static_cast<int32_t>(static_cast<uint32_t>(kNow))},
        {11, static_cast<int32_t>(static_cast<uint32_t>(kNow - 7))},
    };
    for (const auto& c : cases) EXPECT_EQ(ControlRequest(s, f, c.code, 0), c.result) << "code " << c.code;
    EXPECT_EQ(f.writes, 0);
}

TEST(UpdateCycle, ControlRequestSettersTakeThe32BitValue) {
    const struct {
        int64_t code;
        int64_t value;  // as the message carries it: a 32-bit LPARAM reads negative above 2^31
        const char* key;
        int64_t stored;
    } cases[] = {
        {12, -1, "ProbeSecondsInterval", -1},
        {12, 0xFFFF'FFFF, "ProbeSecondsInterval", -1},
        {12, 0x1'0000'0E10, "ProbeSecondsInterval", 3600},
        {13, 86400, "ReAskSecondsInterval", 86400},
        {13, -1, "ReAskSecondsInterval", 0xFFFF'FFFF},
        {14, static_cast<int32_t>(static_cast<uint32_t>(kNow)), "ProbeSecondsLast", kNow},
        {14, kNow, "ProbeSecondsLast", kNow},
        {15, static_cast<int32_t>(static_cast<uint32_t>(kNow)), "ReAskSecondsLast", kNow},
        {15, 0x7'0000'0001, "ReAskSecondsLast", 1},
    };
    for (const auto& c : cases) {
        UpdateCycleState s;
        FakeSettings f;
        EXPECT_EQ(ControlRequest(s, f, c.code, c.value), 0) << "code " << c.code;
        EXPECT_EQ(f.values[c.key], c.stored) << "code " << c.code << " value " << c.value;
        EXPECT_EQ(f.writes, 1) << "code " << c.code;
    }
}

TEST(UpdateCycle, ControlRequestsOnTheCycleAndTheOverrides) {
    ResetTransientOverrides();
    UpdateCycleState s;
    FakeSettings f;
    for (int64_t code = 20; code <= 25; ++code) EXPECT_EQ(ControlRequest(s, f, code, 0x100 + code - 20), 0);
    for (int pos = 0; pos < 6; ++pos) EXPECT_EQ(GetTransientOverride(pos), pos) << "position " << pos;
    EXPECT_EQ(GetTransientOverride(6), kTransientUnset);
    EXPECT_EQ(GetTransientOverride(7), kTransientUnset);
    ResetTransientOverrides();

    EXPECT_EQ(ControlRequest(s, f, 30, 2), 0);
    EXPECT_EQ(s.shutDownCountdown, 2);
    EXPECT_EQ(ControlRequest(s, f, 30, 0xFFFF'FFFF), 0);
    EXPECT_EQ(s.shutDownCountdown, -1);

    EXPECT_EQ(ControlRequest(s, f, 32, 0), 0);
    EXPECT_TRUE(s.justDownloadInfoFile);

    // 31: a shot at the next tick; value 2 asks for an interactive check.
    s.timerCount = -3;
    EXPECT_EQ(ControlRequest(s, f, 31, 1), 0);
    EXPECT_TRUE(s.force);
    EXPECT_EQ(s.timerCount, 1);
    EXPECT_EQ(s.mode, kModeTimed);
    s.timerCount = 40;
    EXPECT_EQ(ControlRequest(s, f, 31, 2), 0);
    EXPECT_EQ(s.timerCount, 40);
    EXPECT_EQ(s.mode, kModeInteractiveRequested);
    EXPECT_EQ(f.writes, 0);

    // Request 31 with 2 while idling: the next tick shoots, even with probing switched off.
    UpdateCycleState idle;
    f.values["ProbeSecondsInterval"] = -1;
    ControlRequest(idle, f, 31, 2);
    EXPECT_TRUE(CountTick(idle).considerShot);
    EXPECT_EQ(idle.mode, kModeInteractive);
    EXPECT_EQ(TickShotStatus(idle, f, kNow), 1);
}

TEST(UpdateCycle, UnknownControlRequestsChangeNothing) {
    ResetTransientOverrides();
    for (int64_t code : {-1LL, 0LL, 1LL, 3LL, 6LL, 16LL, 19LL, 26LL, 29LL, 33LL, 1125LL, 0x1'0000'0004LL}) {
        UpdateCycleState s;
        FakeSettings f;
        f.values["VersionOriginal"] = 9;
        EXPECT_EQ(ControlRequest(s, f, code, 7), 0) << "code " << code;
        EXPECT_EQ(f.writes, 0) << "code " << code;
        EXPECT_EQ(s.shutDownCountdown, -1) << "code " << code;
        EXPECT_EQ(s.timerCount, -3) << "code " << code;
        EXPECT_FALSE(s.force || s.justDownloadInfoFile) << "code " << code;
        EXPECT_EQ(s.mode, kModeTimed) << "code " << code;
        EXPECT_EQ(WriteTransientList(), "|255|255|255|255|255|255|255|255|") << "code " << code;
    }
}

TEST(UpdateCycle, TestModeNeedsTodaysDate) {
    const double today = EncodeDateTime(2026, 12, 6, 14, 5, 9);
    const struct {
        const char* mode;
        const char* date;
        double when;
        bool on;
    } cases[] = {
        {"1", "06-DEC-2026", today, true},
        {"1", "06-DEC-2026", EncodeDateTime(2026, 12, 6, 23, 59, 59), true},
        {"1", "06-DEC-2026", EncodeDateTime(2026, 12, 7, 0, 0, 1), false},  // ends at midnight
        {"1", "05-DEC-2026", today, false},                                 // yesterday's
        {"1", "06-dec-2026", today, false},
        {"1", "6-DEC-2026", today, false},
        {"1", "", today, false},
        {"0", "06-DEC-2026", today, false},
        {"01", "06-DEC-2026", today, false},
        {"", "06-DEC-2026", today, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TestModeFromValues(c.mode, c.date, c.when), c.on) << c.mode << " " << c.date;
}

TEST(UpdateCycle, TestModeIsReadAgainOnlyWhenForcedOrAfter30Seconds) {
    EXPECT_TRUE(TestModeReadDue(true, 100, 100));
    EXPECT_FALSE(TestModeReadDue(false, 130000, 100000));
    EXPECT_TRUE(TestModeReadDue(false, 130001, 100000));
    EXPECT_TRUE(TestModeReadDue(false, 40000, 0));  // the first check after start reads
}

TEST(UpdateCycle, PreShotConfirmText) {
    const struct {
        const char* location;
        bool testMode;
        std::string text;
    } cases[] = {
        {"http://127.0.0.1/upd/", false, "Check PROD|from the server|now?"},
        {"\\\\server\\share", false, "Check PROD|from the server|now?"},
        {"C:\\updates", false, "Check PROD|now?"},
        {"D:", false, "Check PROD|now?"},
        {"X", false, "Check PROD|now?"},
        {"", false, "Check PROD|now?"},
        {"C:\\t", true, "Check PROD|now?<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!"},
    };
    for (const auto& c : cases) {
        const std::string text =
            PreShotConfirmText("Check PROG_NAME|", "from the server|", "now?", c.location, c.testMode, "PROD");
        EXPECT_EQ(text, c.text) << c.location;
    }
    // Every part carries the name.
    EXPECT_EQ(PreShotConfirmText("PROG_NAME ", "PROG_NAME ", "PROG_NAME", "http://h/", false, "Velnor App"),
              "Velnor App Velnor App Velnor App");
}

}  // namespace
