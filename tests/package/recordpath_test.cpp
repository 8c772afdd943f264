#include "package/RecordPath.h"

#include <gtest/gtest.h>

namespace vel {
namespace {

TEST(SafeRecordPath, KeepsNamesInsideTheFolder) {
    const struct { const char* name; const char* safe; } cases[] = {
        {"Engine.exe", "Engine.exe"},
        {"data\\lang\\en.txt", "data\\lang\\en.txt"},
        {"data/lang/en.txt", "data\\lang\\en.txt"},
        {"a\\\\.\\b.txt", "a\\b.txt"},
        {"a..b.txt", "a..b.txt"},
        {"..hidden", "..hidden"},
        {"console\\x", "console\\x"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeRecordPath(c.name), c.safe) << c.name;
}

TEST(SafeRecordPath, RefusesNamesThatLeaveTheFolder) {
    const char* refused[] = {
        "",           "\\Windows\\evil.dll", "/etc/x",        "\\\\server\\share\\x",
        "C:\\x.exe",  "C:x.exe",             "..\\x.exe",     "a\\..\\..\\x.exe",
        "a/../x",     "...\\x",              ". .\\x",        "..",
        "a\\b\\..",   "x.txt:stream",        "a\\NUL",        "CON.txt",
        "com1",       "a\\lpt9.log",         "bad|name",      "q?.txt",
        "tab\tname",  ".",
    };
    for (const char* n : refused) EXPECT_EQ(SafeRecordPath(n), "") << n;
}

TEST(RecordSubfolders, OutermostFirst) {
    EXPECT_TRUE(RecordSubfolders("x.txt").empty());
    const std::vector<std::string> want{"a", "a\\b"};
    EXPECT_EQ(RecordSubfolders("a\\b\\c.txt"), want);
}

}  // namespace
}  // namespace vel
