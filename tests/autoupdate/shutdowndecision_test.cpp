// After the product was asked to end: the update never runs while the product still runs (unless
// the publisher chose to leave it running), and only a product the shut-down ended is restarted.
#include "autoupdate/ShutDownDecision.h"

#include <gtest/gtest.h>

#include "autoupdate/UpdateInfoFormat.h"
#include "util/IniFile.h"

namespace vel {
namespace {

TEST(ShutDownDecision, UpdateRunsOnlyOnceTheProductHasEnded) {
    const struct {
        const char* name;
        bool leftRunning, wasRunning, stillRunning, restartWanted;
        bool runUpdate, restart;
    } cases[] = {
        {"ended in time, restart on", false, true, false, true, true, true},
        {"ended in time, restart off", false, true, false, false, true, false},
        {"still running, restart on", false, true, true, true, false, false},
        {"still running, restart off", false, true, true, false, false, false},
        {"not running at all", false, false, false, true, true, false},
        {"started during the wait", false, false, true, true, false, false},
        {"left running on purpose", true, true, true, true, true, false},
        {"left running, not running", true, false, false, true, true, false},
    };
    for (const auto& c : cases) {
        const AfterShutDown after = DecideAfterShutDown(c.leftRunning, c.wasRunning, c.stillRunning, c.restartWanted);
        EXPECT_EQ(after.runUpdate, c.runUpdate) << c.name;
        EXPECT_EQ(after.restart, c.restart) << c.name;
    }
}

TEST(ShutDownDecision, WaitSettingFallsBackToTheDefaultOutOfRange) {
    const struct {
        const char* text;
        int64_t seconds;
    } cases[] = {
        {"", 30},     {"0", 0},     {"1", 1},      {"45", 45},  {"300", 300}, {"301", 30},
        {"-1", 30},   {"abc", 30},  {"5s", 30},    {" 7 ", 7},  {"2.5", 30},
        {"99999999999999999999", 30},
    };
    for (const auto& c : cases) EXPECT_EQ(ShutDownWaitSeconds(c.text), c.seconds) << "\"" << c.text << "\"";
}

// The publisher's file carries a wait of its own and leaves the key out for the default.
TEST(ShutDownDecision, UpdateInfoFileCarriesTheWait) {
    const struct {
        int64_t written;
        bool keyPresent;
        int64_t read;
    } cases[] = {{30, false, 30}, {2, true, 2}, {0, true, 0}, {301, true, 30}};
    for (const auto& c : cases) {
        UpdateInfo in;
        in.shutDownWaitSeconds = c.written;
        const std::string text = UpdateInfoText(in);
        EXPECT_EQ(text.find("ShutDownWaitSeconds=") != std::string::npos, c.keyPresent) << text;
        IniFile ini;
        ini.Parse(text);
        EXPECT_EQ(ReadUpdateInfo(ini).shutDownWaitSeconds, c.read) << c.written;
    }
}

}  // namespace
}  // namespace vel
