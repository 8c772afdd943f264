// How an update file is started: only an update that asks for nothing more than the user's rights
// runs inside the agent; one that may need administrator rights gets its own process (and
// Windows' prompt); one whose level cannot be read is not run at all.
#include "autoupdate/UpdateStart.h"

#include <gtest/gtest.h>

namespace vel {
namespace {

TEST(UpdateStart, ByTheUpdatesManifestLevel) {
    const struct {
        bool known;
        ExecutionLevel level;
        UpdateStart how;
    } cases[] = {
        {true, ExecutionLevel::AsInvoker, UpdateStart::InProcess},
        {true, ExecutionLevel::RequireAdministrator, UpdateStart::OwnProcess},
        {true, ExecutionLevel::HighestAvailable, UpdateStart::OwnProcess},
        {false, ExecutionLevel::AsInvoker, UpdateStart::Refused},
        {false, ExecutionLevel::RequireAdministrator, UpdateStart::Refused},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseUpdateStart(c.known, c.level), c.how) << c.known << " " << ExecutionLevelName(c.level);
}

TEST(UpdateStart, OwnProcessGetsTheEnginesParameters) {
    const struct {
        const char* extra;
        bool background;
        const char* params;
    } cases[] = {
        {"/OriginalInfoFile=\"C:\\P\\Product.info\"", false,
         "/OriginalInfoFile=\"C:\\P\\Product.info\" /OriginExe=\"C:\\P\\X_Agent.exe\" /AutoUpdateProg"},
        {"/OriginalInfoFile=\"C:\\P\\Product.info\"", true,
         "/OriginalInfoFile=\"C:\\P\\Product.info\" /OriginExe=\"C:\\P\\X_Agent.exe\" /AutoUpdateProg /hide"},
        {"", false, "/OriginExe=\"C:\\P\\X_Agent.exe\" /AutoUpdateProg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateProcessParams(c.extra, "C:\\P\\X_Agent.exe", c.background), c.params);
}

}  // namespace
}  // namespace vel
