#pragma once
// Windows-only. Macro expansion with the running system's values (Macros.h has the rules).
#include <string>

#include "paths/Macros.h"

namespace vel {

// The value of "/OriginExe", or this program's path when the switch is absent or empty. Cached.
std::string OriginExe();
// The origin executable's folder without a trailing backslash, or this program's folder. Cached.
std::string OriginDir();

void ExpandMacros(const std::string& text, const std::string& tail, bool foldDots, bool pathMacros, std::string& out);
std::string ExpandDateMacro(const std::string& text);
std::string FoldDotDot(const std::string& text);

// The running system's values for the macros.
class WindowsMacroSystem : public MacroSystem {
public:
    std::string Value(MacroValue which) override;
    double Now() override;
    std::string MonthName(int month) override;
    std::string DateSeparator() override;
    std::string TimeSeparator() override;
    std::string FullPath(const std::string& path) override;
    LeadByteTest LeadBytes() override;
};

}  // namespace vel
