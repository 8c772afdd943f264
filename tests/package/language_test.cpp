// Language section selection and key lookup, with the user's language forced per case.
#include "package/Language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/FileInfo.h"
#include "package/PackageWriter.h"
#include "support/PackageFixture.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {
namespace {

// A section as packages carry it: separator 0x01, item 0 the name, then key=value items.
std::string Section(const std::string& name, const std::vector<std::string>& items) {
    std::string s = "\x01" + name + "\x01";
    for (const std::string& it : items) s += it + "\x01";
    return s;
}

// A language block: separator 0x02 around each section.
std::string Block(const std::vector<std::string>& sections) {
    std::string b = "\x02";
    for (const std::string& s : sections) b += s + "\x02";
    return b;
}

class Language : public ::testing::Test {
protected:
    void SetUp() override { ResetLanguageSelection(); }
    void TearDown() override {
        ResetLanguageSelection();
        ForceUserLanguage(-1);
    }
};

const int kGerman = 7, kEnglish = 9, kFrench = 12, kHebrew = 13, kItalian = 16;

TEST_F(Language, SectionSelectionTable) {
    const std::string english = Section("English", {"s0=Setup", "s1=Hello"});
    const std::string deutsch = Section("Deutsch", {"s0=Installation", "s1=Hallo"});
    const std::string german = Section("German", {"s0=Einrichtung", "s1=Guten Tag"});
    const std::string hebrew = Section(" hebrew ", {"s1=Shalom", "Charset=177"});
    const std::string francais = Section("Francais", {"s1=Bonjour"});
    const struct {
        const char* name;
        int userLang;
        std::string block;
        std::string s1;   // lookup of "s1" with default "default"
    } cases[] = {
        {"only English, German user", kGerman, Block({english}), "Hello"},
        {"only a section of another name", kItalian, Block({deutsch}), "Hallo"},
        {"English and Deutsch, French user", kFrench, Block({deutsch, english}), "Hello"},
        {"English and Deutsch, German user", kGerman, Block({deutsch, english}), "Hello"},
        {"German section, any case", kGerman, Block({english, german}), "Guten Tag"},
        {"name trimmed and case-blind", kHebrew, Block({english, hebrew}), "Shalom"},
        {"English user", kEnglish, Block({german, english}), "Hello"},
        {"no match and no English", kItalian, Block({deutsch, francais}), "default"},
        {"unknown language id", 99, Block({german, english}), "Hello"},
        {"empty block", kEnglish, "", "default"},
    };
    for (const auto& c : cases) {
        ResetLanguageSelection();
        ForceUserLanguage(c.userLang);
        EXPECT_EQ(GetLanguageString(c.block, "s1", "default"), c.s1) << c.name;
    }
}

TEST_F(Language, KeyLookupTable) {
    const std::string block = Block({Section("English", {
        "Charset=177", "FontSize=big", "FontName=Arial", "s1   =spaced key", "s5=", "s10=ten",
        "BtnText=|&Ja|&Nein|", "s2= keeps its blank"})});
    ForceUserLanguage(kEnglish);
    const struct {
        const char* key;
        const char* expected;
    } cases[] = {
        {"s1", "spaced key"},          // blanks before "=" do not matter
        {"S1", "spaced key"},          // nor letter case
        {"s1=", "spaced key"},         // a key may carry its "="
        {"s5", ""},                    // present and empty: empty, not the default
        {"s10", "ten"},
        {"s0", "default"},             // absent
        {"s", "default"},              // a prefix of a key is not the key
        {"BtnText", "|&Ja|&Nein|"},    // "|" is not the section separator
        {"s2", " keeps its blank"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetLanguageString(block, c.key, "default"), c.expected) << c.key;

    EXPECT_EQ(GetLanguageCharset(block), 177);
    EXPECT_EQ(GetLanguageFontSize(block), 8);  // not a number
    EXPECT_EQ(GetLanguageFontName(block), "Arial");
}

TEST_F(Language, FontDefaultsWithoutASection) {
    ForceUserLanguage(kItalian);
    const std::string block = Block({Section("Deutsch", {"FontSize=12"}), Section("Francais", {})});
    EXPECT_EQ(GetLanguageCharset(block), 0);
    EXPECT_EQ(GetLanguageFontSize(block), 8);
    EXPECT_EQ(GetLanguageFontName(block), "Tahoma");
    EXPECT_EQ(SelectedLanguageSection(), "*");
}

TEST_F(Language, FirstLookupFixesTheSectionForTheRun) {
    ForceUserLanguage(kGerman);
    const std::string own = Block({Section("German", {"s1=eigen"}), Section("English", {"s1=own"})});
    const std::string other = Block({Section("English", {"s1=other", "s3=drei"})});
    EXPECT_EQ(GetLanguageString(own, "s1", "x"), "eigen");
    // A later package, another user language: still the first selection.
    ForceUserLanguage(kEnglish);
    EXPECT_EQ(GetLanguageString(other, "s1", "x"), "eigen");
    EXPECT_EQ(GetLanguageString(other, "s3", "x"), "x");
    ResetLanguageSelection();
    EXPECT_EQ(GetLanguageString(other, "s1", "x"), "other");
}

TEST_F(Language, MalformedSectionsGiveDefaults) {
    ForceUserLanguage(kEnglish);
    for (const std::string& section : {std::string("\x01"), std::string("\x01" "English"),
                                       std::string("\x01" "English\x01s1=x")}) {
        EXPECT_EQ(SectionString(section, "s1", "d"), "d") << section.size();
    }
    EXPECT_EQ(SectionString(Section("English", {"s1=x"}), "s1", "d"), "x");
}

// Through real package files: the own package selects, a later package is read in that language.
TEST_F(Language, LookupsThroughPackageReaders) {
    const testsupport::ScratchFolder dir;
    const std::string ownPath = dir.File("own.pkg"), otherPath = dir.File("other.pkg");
    auto write = [](const std::string& path, const std::string& block) {
        PackageContent content;
        content.languageBlock = block;
        content.settingsList = "|||||";
        PackageWriter w;
        std::string err = w.Begin(path, content);
        if (err.empty()) err = w.Finish();
        return err;
    };
    ASSERT_EQ(write(ownPath, Block({Section("English", {"s0=Own setup", "FontSize=10"}),
                                    Section("Hebrew", {"s0=Shalom", "Charset=177", "FontName=David"})})),
              "");
    ASSERT_EQ(write(otherPath, Block({Section("English", {"s0=Other setup"}), Section("Hebrew", {"s7=Error"})})),
              "");
    ForceUserLanguage(kHebrew);
    {
        const TGFileInfo own(ownPath);
        EXPECT_EQ(GetString(own, "s0", "x"), "Shalom");
        EXPECT_EQ(GetCharset(own), 177);
        EXPECT_EQ(GetFontSize(own), 8);
        EXPECT_EQ(GetFontName(own), "David");
    }
    const TGFileInfo other(otherPath);
    EXPECT_EQ(GetString(other, "s0", "x"), "Shalom");  // the own package's section stays selected
    const TGFileInfo missing(dir.File("missing.pkg"));
    EXPECT_EQ(GetString(missing, "s0", "x"), "Shalom");
    ResetLanguageSelection();
    EXPECT_EQ(GetString(missing, "s0", "x"), "x");
}

TEST(LanguageNames, NameOfAnId) {
    const struct {
        int id;
        const char* name;
    } cases[] = {
        {9, "ENGLISH"}, {7, "GERMAN"}, {1, "ARABIC"}, {13, "HEBREW"}, {10, "SPANISH"},
        {26, "CROATIAN"},              // the first of two entries with 26
        {52, "CHINESE(SIMPLIFIED)"},   // digits found inside 2052
        {2052, "CHINESE(SIMPLIFIED)"}, {3098, "SERBIAN(CYRILIC)"}, {20, "NORWEGIAN"},
        {0, ""}, {99, ""}, {-5, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(LanguageNameOf(c.id), c.name) << c.id;
}

TEST(LanguageNames, TableLayout) {
    const std::vector<std::string> entries = SUB::Items(LanguageNameTable());
    ASSERT_EQ(entries.size(), 51u);
    for (const std::string& e : entries) {
        const bool parenthesised = e.find('(') != std::string::npos;
        EXPECT_EQ(e.find('='), parenthesised ? 21u : 13u) << e;
        const std::string number = e.substr(e.find("= ") + 2);
        EXPECT_GE(number.size(), 2u) << e;
        EXPECT_GE(StrToInt64Def(number, -1), 1) << e;
    }
}

}  // namespace
}  // namespace vel
