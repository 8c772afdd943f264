// dllprobe: loads a DLL by name and tells where it came from; the fixture of the DLL-search
// hardening test.
#include <windows.h>

#include <cstdio>
#include <string>

#include "util/DllSearch_win.h"
#include "util/WinHandles.h"

namespace {

const char kUsage[] =
    "Usage: dllprobe [--harden] [--system] NAME.dll\n"
    "Loads NAME.dll by name and prints the path of the module that was loaded.\n"
    "  --harden   restrict the DLL search to the system folder first (HardenDllSearch)\n"
    "  --system   load through LoadSystemLibrary instead of LoadLibrary\n"
    "Exit codes: 0 loaded from the system folder, 1 loaded the planted DLL, 2 loaded from\n"
    "elsewhere, 3 not loaded, 4 bad command line.\n";

std::string FolderOf(const std::string& path) {
    const std::size_t sep = path.find_last_of('\\');
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

}  // namespace

int main(int argc, char** argv) {
    bool harden = false;
    bool system = false;
    std::string name;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--harden") {
            harden = true;
        } else if (arg == "--system") {
            system = true;
        } else if (!arg.empty() && arg[0] != '-' && name.empty()) {
            name = arg;
        } else {
            std::fprintf(stderr, "dllprobe: unexpected argument \"%s\" (see --help)\n", arg.c_str());
            return 4;
        }
    }
    if (name.empty()) {
        std::fprintf(stderr, "dllprobe: no DLL name given (see --help)\n");
        return 4;
    }

    if (harden) std::printf("HardenDllSearch: %s\n", vel::HardenDllSearch() ? "restricted" : "failed");
    vel::ScopedModule module(system ? vel::LoadSystemLibrary(name) : LoadLibraryA(name.c_str()));
    if (!module) {
        std::printf("not loaded (error %lu)\n", GetLastError());
        return 3;
    }
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(module.get(), path, sizeof path);
    const std::string loaded(path, n < sizeof path ? n : 0);
    std::printf("loaded: %s\n", loaded.c_str());
    if (GetProcAddress(module.get(), "VelPlantedDll")) return 1;

    char sysDir[MAX_PATH + 1];
    const UINT s = GetSystemDirectoryA(sysDir, sizeof sysDir);
    if (s > 0 && s < sizeof sysDir && lstrcmpiA(FolderOf(loaded).c_str(), sysDir) == 0) return 0;
    return 2;
}
