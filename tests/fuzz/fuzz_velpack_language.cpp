// velpack's language file: the INI text made into a package's language block, and that block read
// back by the stub's lookups: every key of every section gives its first value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "Velpack.h"
#include "package/Language.h"
#include "util/IniFile.h"
#include "util/StrUtils.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini;
    ini.Parse(std::string(reinterpret_cast<const char*>(data), size));
    std::string block;
    const std::string error = MakeLanguageBlock(ini, block);
    VEL_FUZZ_CHECK(error.empty() != block.empty());
    if (!error.empty()) return 0;
    for (const IniFile::Section& s : ini.Sections()) {
        if (s.name.empty()) continue;
        const std::string section = FindLanguageSection(block, s.name);
        VEL_FUZZ_CHECK(section != "*");
        for (const auto& e : s.entries) (void)SectionString(section, e.first, "\x7f");
    }
    ResetLanguageSelection();
    (void)GetLanguageString(block, "s1", "");
    return 0;
}
