// The language block of a package: section choice for a user language, key lookups with their
// defaults, charset, font size and font name. Input: one byte (user language id), a key text
// up to "\n", then the block.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "package/Language.h"
#include "util/SUB.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const int lang = in.Byte();
    const std::string key = in.TextUntil('\n');
    const std::string block = in.Rest();

    (void)LanguageNameOf(lang);
    const std::string chosen = ChooseLanguageSection(block, lang);
    VEL_FUZZ_CHECK(chosen == "*" || block.find(chosen) != std::string::npos);
    const std::string english = FindLanguageSection(block, "English");
    VEL_FUZZ_CHECK(english == "*" || block.find(english) != std::string::npos);

    ResetLanguageSelection();
    ForceUserLanguage(lang);
    const std::string value = GetLanguageString(block, key, "\x7f" "default");
    VEL_FUZZ_CHECK(SelectedLanguageSection() == chosen);
    VEL_FUZZ_CHECK(value == SectionString(chosen, key, "\x7f" "default"));
    (void)GetLanguageCharset(block);
    (void)GetLanguageFontSize(block);
    (void)GetLanguageFontName(block);
    // Every key of the chosen section, as the program asks for its texts.
    for (const std::string& item : SUB::Items(chosen)) {
        const size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        (void)GetLanguageString(block, item.substr(0, eq), std::string());
    }
    ForceUserLanguage(-1);
    return 0;
}
