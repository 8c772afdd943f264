#pragma once
// Windows-only: the user's language from the thread locale.

namespace vel {

// Primary language identifier of the thread locale (its low 10 bits); 9 (English) when the
// locale cannot be read.
int ThreadLocaleLanguage();

// Makes the thread locale the user language of the language lookups (call once at start-up).
void UseThreadLocaleLanguage();

}  // namespace vel
