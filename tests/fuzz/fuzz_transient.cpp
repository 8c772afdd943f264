// The transient overrides list passed on the agent's command line ("/TRANSIENT=|1|255|...|"):
// read over the current overrides, written back, read again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "autoupdate/SettingsValues.h"
#include "util/SUB.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    ResetTransientOverrides();
    ReadTransientList(list);
    uint8_t read[kTransientCount];
    for (int i = 0; i < kTransientCount; ++i) read[i] = GetTransientOverride(i);
    VEL_FUZZ_CHECK(GetTransientOverride(-1) == kTransientUnset && GetTransientOverride(kTransientCount) == kTransientUnset);

    const std::string written = WriteTransientList();
    VEL_FUZZ_CHECK(SUB::Count(written) == kTransientCount && written[0] == '|');
    ResetTransientOverrides();
    ReadTransientList(written);
    for (int i = 0; i < kTransientCount; ++i) VEL_FUZZ_CHECK(GetTransientOverride(i) == read[i]);
    VEL_FUZZ_CHECK(WriteTransientList() == written);
    for (int i = 0; i < kTransientCount; ++i)
        VEL_FUZZ_CHECK(OverridableFlag(read[i], "1") == (read[i] == kTransientUnset || read[i] == 1));
    ResetTransientOverrides();
    return 0;
}
