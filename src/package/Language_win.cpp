// The user's language from the thread locale.
#include "package/Language_win.h"

#include <windows.h>

#include "package/Language.h"

namespace vel {

int ThreadLocaleLanguage() {
    const int id = static_cast<int>(GetThreadLocale() & 0x3FF);
    return id != 0 ? id : 9;
}

void UseThreadLocaleLanguage() { SetUserLanguageProvider(&ThreadLocaleLanguage); }

}  // namespace vel
