// Macro expansion of settings texts (folders, dates, user values) and the ".." folding, over any
// text. Input: one byte of choices, a tail up to "\n", then the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "paths/Macros.h"
#include "util/StrUtils.h"

using namespace vel;

namespace {

// Fixed values for the system's folders and clock; full paths anchored and folded simply.
struct FixedMacros : MacroSystem {
    std::string Value(MacroValue v) override { return "D:\\V" + IntToStr(static_cast<int>(v)); }
    double Now() override { return EncodeDateTime(2026, 3, 7, 9, 5, 4); }
    std::string MonthName(int m) override { return "Month" + IntToStr(m); }
    std::string DateSeparator() override { return "."; }
    std::string TimeSeparator() override { return ":"; }
    std::string FullPath(const std::string& p) override {
        if (p.size() > 4096) return std::string();
        std::string s = p.size() > 1 && p[1] == ':' ? p : "C:\\Cur\\" + p;
        for (size_t at; (at = s.find("\\..")) != std::string::npos;) {
            const size_t start = at == 0 ? 0 : s.rfind('\\', at - 1);
            s.erase(start == std::string::npos ? 0 : start, at + 3 - (start == std::string::npos ? 0 : start));
        }
        return s;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    const std::string tail = in.TextUntil('\n');
    const std::string text = in.Rest();
    FixedMacros sys;
    SetInstallDirs("C:\\Program Files\\App", "C:\\Common", "");
    std::string out;
    ExpandMacros(text, tail, choice & 1, choice & 2, sys, out);
    (void)FoldDotDot(text, sys);
    (void)ExpandDateMacro(text, sys);
    (void)ReplaceDirMacro(text, "<InstallDir>", "C:\\App", tail);
    (void)FreeSpaceMBText(int64_t(choice) << 30);
    // Text without a "<" holds no macro: without the folding it comes back as it is.
    if (text.find('<') == std::string::npos && !(choice & 3)) VEL_FUZZ_CHECK(out == text);
    return 0;
}
