#pragma once
// Language texts of a package. A language block is a self-delimited list of sections; each
// section is a self-delimited list whose item 0 is the language name and whose other items are
// "key=value". The first lookup of the run picks the section for the user's language and every
// later lookup, through any package, uses that same section.
// Portable: no Windows API. Nothing here throws; a missing key gives the default passed in.
#include <string>

namespace vel {

class TGFileInfo;

// "|AFRIKAANS    = 54|...|SERBIAN(CYRILIC)     = 3098|": names and language identifiers.
const std::string& LanguageNameTable();

// Name of the first table entry whose text holds the id written with at least two digits
// (9 -> "09" -> "ENGLISH", 52 -> "CHINESE(SIMPLIFIED)"); empty when no entry holds it.
std::string LanguageNameOf(int primaryLangId);

// The section of a language block whose name equals name (trimmed, any letter case); a block
// with a single section gives that section whatever its name; "*" when none is found.
std::string FindLanguageSection(const std::string& languageBlock, const std::string& name);

// The section chosen for a user language: its table name, else "English"; "*" when neither.
std::string ChooseLanguageSection(const std::string& languageBlock, int userLangId);

// The value of key in one section: the default when the key is absent or the section is
// malformed, an empty text when the key is present with an empty value. Blanks before "="
// and letter case do not matter.
std::string SectionString(const std::string& section, const std::string& key, const std::string& def);

// The user's primary language identifier. The platform provider is installed at start-up
// (Windows: the thread locale, see Language_win.h); without one it is 9 (English).
using UserLanguageProvider = int (*)();
void SetUserLanguageProvider(UserLanguageProvider provider);
int UserLanguageId();
// Tests: forces the user language (a negative id removes the forcing).
void ForceUserLanguage(int primaryLangId);

// The process-wide selected section: empty until the first lookup, then fixed ("*" = none found).
const std::string& SelectedLanguageSection();
// Tests: forgets the selection so that the next lookup selects again.
void ResetLanguageSelection();

// Lookups on a language block: the first one of the run selects the section from this block.
std::string GetLanguageString(const std::string& languageBlock, const std::string& key,
                              const std::string& def);
int GetLanguageCharset(const std::string& languageBlock);     // "Charset", 0 when absent or not a number
int GetLanguageFontSize(const std::string& languageBlock);    // "FontSize", 8 when absent or not a number
std::string GetLanguageFontName(const std::string& languageBlock);  // "FontName", "Tahoma" when absent

// The same lookups through a package reader (its language block).
std::string GetString(const TGFileInfo& package, const std::string& key, const std::string& def);
int GetCharset(const TGFileInfo& package);
int GetFontSize(const TGFileInfo& package);
std::string GetFontName(const TGFileInfo& package);

}  // namespace vel
