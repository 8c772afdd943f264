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
    VEL_TRY {
        std::vector<char> dir(MAX_PATH + 1, '\0');
        const UINT n = GetSystemDirectoryA(dir.data(), static_cast<UINT>(dir.size()));
        if (n == 0 || n >= dir.size()) return nullptr;
        // By full path: a load by name alone is answered with any module of that name already in
        // the process, wherever it was loaded from. Its own imports come from the system folder.
        const std::string path = std::string(dir.data(), n) + "\\" + name;
        return LoadLibraryExA(path.c_str(), nullptr,
                              SearchFlagsSupported() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
    } VEL_CATCH_ALL {
        return nullptr;
    }
}

}  // namespace vel
