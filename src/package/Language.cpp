// Language texts of a package: the language-name table, section selection and key lookup.
#include "package/Language.h"

#include <climits>

#include "package/FileInfo.h"
#include "util/Catch.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {

namespace {

// Plain names are padded to 13 characters, names with parentheses to 21.
const char kLanguageNames[] =
    "|AFRIKAANS    = 54|ALBANIAN     = 28|ARABIC       = 01|BASQUE       = 45"
    "|BELARUSIAN   = 35|BULGARIAN    = 02|CATALAN      = 03|CHINESE      = 04"
    "|CROATIAN     = 26|CZECH        = 05|DANISH       = 06|DUTCH        = 19"
    "|ENGLISH      = 09|ESTONIAN     = 37|FAEROESE     = 56|FARSI        = 41"
    "|FINNISH      = 11|FRENCH       = 12|GERMAN       = 07|GREEK        = 08"
    "|HEBREW       = 13|HUNGARIAN    = 14|ICELANDIC    = 15|INDONESIAN   = 33"
    "|ITALIAN      = 16|JAPANESE     = 17|KOREAN       = 18|LATVIAN      = 38"
    "|LITHUANIAN   = 39|NORWEGIAN    = 20|POLISH       = 21|PORTUGUESE   = 22"
    "|ROMANIAN     = 24|RUSSIAN      = 25|SERBIAN      = 26|SLOVAK       = 27"
    "|SLOVENIAN    = 36|SPANISH      = 10|SWEDISH      = 29|THAI         = 30"
    "|TURKISH      = 31|UKRAINIAN    = 34|VIETNAMESE   = 42"
    "|CHINESE(SIMPLIFIED)  = 2052|CHINESE(TRADITIONAL) = 1028"
    "|DUTCH(FLEMISH)       = 2067|DUTCH(STANDARD)      = 1043"
    "|PORTUGUESE(PORTUGAL) = 2070|PORTUGUESE(BRAZIL)   = 1046"
    "|SERBIAN(LATIN)       = 2074|SERBIAN(CYRILIC)     = 3098|";

const int kEnglish = 9;

UserLanguageProvider g_provider = nullptr;
int g_forcedLanguage = -1;
std::string g_selected;  // empty until the first lookup of the run

int ToInt(int64_t v) {
    return static_cast<int>(EnsureRange64(v, INT_MIN, INT_MAX));
}

}  // namespace

const std::string& LanguageNameTable() {
    static const std::string table(kLanguageNames);
    return table;
}

std::string LanguageNameOf(int primaryLangId) {
    const std::string digits = IntZeroPad(primaryLangId, 2);
    for (const std::string& entry : SUB::Items(LanguageNameTable())) {
        if (entry.find(digits) != std::string::npos) return Trim(TextBefore(entry, "=", entry, false));
    }
    return std::string();
}

std::string FindLanguageSection(const std::string& languageBlock, const std::string& name) {
    for (const std::string& section : SUB::Items(languageBlock)) {
        if (SameTextTrimmed(SUB::Item(section, 0), name)) return section;
    }
    if (SUB::Count(languageBlock) == 1) return SUB::Item(languageBlock, 0);
    return "*";
}

std::string ChooseLanguageSection(const std::string& languageBlock, int userLangId) {
    const std::string section = FindLanguageSection(languageBlock, LanguageNameOf(userLangId));
    if (section != "*") return section;
    return FindLanguageSection(languageBlock, "English");
}

std::string SectionString(const std::string& section, const std::string& key, const std::string& def) {
    if (section.size() <= 1) return def;
    return SUB::Value(section, key, true, true, std::string(), def);
}

void SetUserLanguageProvider(UserLanguageProvider provider) { g_provider = provider; }

int UserLanguageId() {
    if (g_forcedLanguage >= 0) return g_forcedLanguage;
    return g_provider ? g_provider() : kEnglish;
}

void ForceUserLanguage(int primaryLangId) { g_forcedLanguage = primaryLangId < 0 ? -1 : primaryLangId; }

const std::string& SelectedLanguageSection() { return g_selected; }

void ResetLanguageSelection() { g_selected.clear(); }

std::string GetLanguageString(const std::string& languageBlock, const std::string& key,
                              const std::string& def) {
    VEL_TRY {
        if (g_selected.empty()) g_selected = ChooseLanguageSection(languageBlock, UserLanguageId());
        return SectionString(g_selected, key, def);
    } VEL_CATCH_ALL {  // out of memory: the text the code carries
        return def;
    }
}

int GetLanguageCharset(const std::string& languageBlock) {
    return ToInt(StrToInt64Def(GetLanguageString(languageBlock, "Charset", "0"), 0));
}

int GetLanguageFontSize(const std::string& languageBlock) {
    return ToInt(StrToInt64Def(GetLanguageString(languageBlock, "FontSize", "8"), 8));
}

std::string GetLanguageFontName(const std::string& languageBlock) {
    return GetLanguageString(languageBlock, "FontName", "Tahoma");
}

std::string GetString(const TGFileInfo& package, const std::string& key, const std::string& def) {
    return GetLanguageString(package.LanguageBlock(), key, def);
}

int GetCharset(const TGFileInfo& package) { return GetLanguageCharset(package.LanguageBlock()); }

int GetFontSize(const TGFileInfo& package) { return GetLanguageFontSize(package.LanguageBlock()); }

std::string GetFontName(const TGFileInfo& package) { return GetLanguageFontName(package.LanguageBlock()); }

}  // namespace vel
