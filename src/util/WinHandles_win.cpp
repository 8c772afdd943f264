// Library loading restricted to the system folder.
#include "util/Catch.h"
#include "util/WinHandles.h"

#include <vector>

namespace vel {

namespace {

// Whether LoadLibraryEx understands the LOAD_LIBRARY_SEARCH_* flags (Windows 8, or 7 with
// the update that added AddDllDirectory). Looked up directly, not as an rt_ function: the rt_
// functions load their libraries through LoadSystemLibrary, which needs this answer first (and
// kernel32 is always loaded).
bool SearchFlagsSupported() {
    static const bool supported = [] {
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
    }();
    return supported;
}

}  // namespace

HMODULE LoadSystemLibrary(const std::string& name) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return nullptr;
    if (SearchFlagsSupported()) return LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    VEL_TRY {
        std::vector<char> dir(MAX_PATH + 1, '\0');
        const UINT n = GetSystemDirectoryA(dir.data(), static_cast<UINT>(dir.size()));
        if (n == 0 || n >= dir.size()) return nullptr;
        const std::string path = std::string(dir.data(), n) + "\\" + name;
        return LoadLibraryA(path.c_str());
    } VEL_CATCH_ALL {
        return nullptr;
    }
}

}  // namespace vel
