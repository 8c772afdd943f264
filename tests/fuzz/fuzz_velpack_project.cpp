// velpack's project file: read with its key check, then turned into build, web and publish
// options with their number and flag rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "Velpack.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path =
        fuzz::WriteScratchFile("project.ini", std::string(reinterpret_cast<const char*>(data), size));
    ProjectValues values;
    const std::string error = LoadProject(path, values);
    if (!error.empty()) return 0;
    // Every section and key read is one velpack knows.
    for (const IniFile::Section& s : values.ini.Sections()) VEL_FUZZ_CHECK(!s.name.empty());
    BuildOptions build;
    WebOptions web;
    (void)ResolveProject(values, build, web);
    PublishOptions publish;
    (void)ResolvePublish(values, publish);
    return 0;
}
