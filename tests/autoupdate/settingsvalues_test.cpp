#include <gtest/gtest.h>

#include "autoupdate/SettingsValues.h"
#include "util/StrUtils.h"

using namespace vel;

namespace {

TEST(SettingsValues, IntegersAreSigned64BitDecimalOnly) {
    const struct {
        const char* text;
        int64_t want;
    } cases[] = {
        {"42", 42},
        {"-7", -7},
        {" 12 ", 12},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", -1},  // out of range: the default
        {"abc", -1},
        {"", -1},
        {"0x10", -1},  // the shared INI reader takes hex; these files do not
        {"$10", -1},
        {"12abc", -1},
        {"0012", 12},
    };
    for (const auto& c : cases) EXPECT_EQ(SettingsInt(c.text, -1), c.want) << "\"" << c.text << "\"";
}

TEST(SettingsValues, FlagIsTrueOnlyForExactlyOne) {
    const struct {
        const char* text;
        bool want;
    } cases[] = {{"1", true}, {"01", false}, {"true", false}, {"yes", false}, {"0", false}, {"", false}, {" 1", false}};
    for (const auto& c : cases) EXPECT_EQ(SettingsFlag(c.text), c.want) << "\"" << c.text << "\"";
}

TEST(SettingsValues, OverrideDecidesUnlessUnset) {
    const struct {
        uint8_t override;
        const char* text;
        bool want;
    } cases[] = {
        {255, "1", true}, {255, "0", false}, {255, "01", false},  // the file decides
        {0, "1", false},  {1, "0", true},    {2, "1", false},     // any value but 1 is false
    };
    for (const auto& c : cases)
        EXPECT_EQ(OverridableFlag(c.override, c.text), c.want) << int(c.override) << " / " << c.text;
}

TEST(SettingsValues, AgentClockCountsSecondsSince1899) {
    EXPECT_EQ(AgentSeconds(0.0), 0);
    EXPECT_EQ(AgentSeconds(1.5), 129600);
    const double moment = EncodeDateTime(2026, 12, 6, 14, 5, 9);
    EXPECT_EQ(AgentSeconds(moment), 46362 * int64_t{86400} + 14 * 3600 + 5 * 60 + 9);
    // Rounded to the nearest second, not truncated.
    EXPECT_EQ(AgentSeconds(moment + 0.6 / 86400), AgentSeconds(moment) + 1);
    const int64_t before = AgentSeconds(NowDateTime());
    const int64_t now = AgentClockNow();
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 2);
}

TEST(SettingsValues, EchoTextShowsTheMomentAndClampsTheDayCount) {
    const int64_t moment = AgentSeconds(EncodeDateTime(2026, 12, 6, 14, 5, 9));
    const struct {
        int64_t seconds;
        const char* want;
    } cases[] = {
        {moment, "06-DEC-2026 14:05:09"},
        {0, "30-DEC-1899 00:00:00"},
        {-86400, "30-DEC-1899 00:00:00"},  // day count -1: clamped, not "now"
        {-1, "30-DEC-1899 00:00:00"},
        {INT64_MIN, "30-DEC-1899 00:00:00"},
        {INT64_MAX, "24-JAN-29279 00:00:00"},  // 10000000 days
        {86400 + 3600, "31-DEC-1899 01:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(EchoText(c.seconds), c.want) << c.seconds;
}

TEST(SettingsValues, TransientListRoundTripsAndKeepsWhatItCannotRead) {
    ResetTransientOverrides();
    EXPECT_EQ(WriteTransientList(), "|255|255|255|255|255|255|255|255|");
    ReadTransientList("|255|1|255|255|255|255|255|255|");
    EXPECT_EQ(GetTransientOverride(kTransientConfirmDownload), 1);
    EXPECT_EQ(WriteTransientList(), "|255|1|255|255|255|255|255|255|");

    const struct {
        const char* list;
        const char* want;
    } cases[] = {
        {"|0|0|0|0|0|0|0|0|", "|0|0|0|0|0|0|0|0|"},
        {"|7|", "|7|1|255|255|255|255|255|255|"},                        // missing items: unchanged
        {"|x|0|abc||9|9|9|9|", "|255|0|255|255|9|9|9|9|"},              // not numbers: unchanged
        {"|256|-1|1|1|1|1|1|1|", "|255|1|1|1|1|1|1|1|"},                // not a byte: unchanged
        {"", "|255|1|255|255|255|255|255|255|"},
    };
    for (const auto& c : cases) {
        ResetTransientOverrides();
        SetTransientOverride(kTransientConfirmDownload, 1);
        ReadTransientList(c.list);
        EXPECT_EQ(WriteTransientList(), c.want) << c.list;
    }
    SetTransientOverride(8, 0);
    SetTransientOverride(-1, 0);
    EXPECT_EQ(GetTransientOverride(8), kTransientUnset);
    ResetTransientOverrides();
}

}  // namespace
