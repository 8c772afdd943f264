// The user language from the thread locale picks the language section.
#include "package/Language_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "package/Language.h"

namespace vel {
namespace {

TEST(ThreadLocaleLanguage, SelectsTheSectionOfTheThreadLocale) {
    const LCID saved = GetThreadLocale();
    const std::string block = "\x02\x01" "English\x01s1=Hello\x01\x02\x01" "German\x01s1=Hallo\x01\x02"
                              "\x01" "French\x01s1=Bonjour\x01\x02";
    UseThreadLocaleLanguage();
    const struct {
        WORD lang;
        const char* s1;
    } cases[] = {{LANG_GERMAN, "Hallo"}, {LANG_FRENCH, "Bonjour"}, {LANG_JAPANESE, "Hello"}, {LANG_ENGLISH, "Hello"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(c.lang, SUBLANG_DEFAULT), SORT_DEFAULT)));
        EXPECT_EQ(ThreadLocaleLanguage(), c.lang);
        ResetLanguageSelection();
        EXPECT_EQ(GetLanguageString(block, "s1", "x"), c.s1) << c.lang;
    }
    SetThreadLocale(saved);
    SetUserLanguageProvider(nullptr);
    ResetLanguageSelection();
}

}  // namespace
}  // namespace vel
