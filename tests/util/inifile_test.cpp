// The INI reader of the tools: sections, keys, comments, quotes and letter case.
#include "util/IniFile.h"

#include <gtest/gtest.h>

#include "support/PackageFixture.h"

namespace vel {
namespace {

TEST(IniFile, ParsesSectionsKeysAndComments) {
    IniFile ini;
    ini.Parse(
        "\xEF\xBB\xBF" "lead=in\r\n"
        "; a comment line\r\n"
        "[English]\r\n"
        "  s0 =  Hello Setup  \r\n"
        "s1=\"  kept blanks  \"\r\n"
        "s2=a=b;c\r\n"
        "S0=second value ignored\r\n"
        "no key line\r\n"
        "=no key\r\n"
        "empty=\r\n"
        "[ Deutsch ]\n"
        "s0=Hallo\n"
        "[english]\n"
        "s3=merged\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"English", "Deutsch"}));
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"", "lead", "in"},
        {"ENGLISH", "S0", "Hello Setup"},
        {"English", "s1", "  kept blanks  "},
        {"English", "s2", "a=b;c"},
        {"English", "s3", "merged"},
        {"English", "empty", ""},
        {"deutsch", "s0", "Hallo"},
        {"English", "no key line", "<default>"},
        {"French", "s0", "<default>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.Get(c.section, c.key, "<default>"), c.value) << c.section << "." << c.key;
    EXPECT_TRUE(ini.HasKey("english", "EMPTY"));
    EXPECT_FALSE(ini.HasKey("English", "s9"));
    // Entries keep the file's order and spelling.
    const auto entries = ini.Entries("English");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].first, "s0");
    EXPECT_EQ(entries[4].first, "s3");
}

TEST(IniFile, LoadReportsAMissingFile) {
    testsupport::ScratchFolder dir;
    IniFile ini;
    std::string error;
    EXPECT_FALSE(ini.Load(dir.File("missing.ini"), error));
    EXPECT_NE(error.find("missing.ini"), std::string::npos);
    ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("a.ini"), "[A]\nk=v\n"));
    EXPECT_TRUE(ini.Load(dir.File("a.ini"), error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(ini.Get("a", "K"), "v");
}

}  // namespace
}  // namespace vel
