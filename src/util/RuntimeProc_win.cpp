#include "util/RuntimeProc.h"

#include <cstring>

#include "util/WinHandles.h"

namespace vel {

namespace {

// Libraries loaded so far and not unloaded; a handful at most.
struct LoadedLibrary {
    char name[64];
    HMODULE module;
};
LoadedLibrary g_loaded[32];
int g_loadedCount = 0;
unsigned g_bindingCount = 0;

}  // namespace

HMODULE RuntimeLibrary(const char* library) {
    if (!library || !*library) return nullptr;
    for (int i = 0; i < g_loadedCount; ++i)
        if (lstrcmpiA(g_loaded[i].name, library) == 0) return g_loaded[i].module;
    HMODULE module = LoadSystemLibrary(library);
    if (module && g_loadedCount < static_cast<int>(sizeof g_loaded / sizeof g_loaded[0]) &&
        std::strlen(library) < sizeof g_loaded[0].name) {
        LoadedLibrary& entry = g_loaded[g_loadedCount++];
        std::strcpy(entry.name, library);
        entry.module = module;
    }
    return module;
}

FARPROC RuntimeAddress(const char* library, const char* function) {
    HMODULE module = RuntimeLibrary(library);
    return module && function ? GetProcAddress(module, function) : nullptr;
}

bool UnloadRuntimeLibrary(const char* library) {
    if (!library) return false;
    for (int i = 0; i < g_loadedCount; ++i) {
        if (lstrcmpiA(g_loaded[i].name, library) != 0) continue;
        ++g_bindingCount;  // first, so that nothing stays bound into the freed library
        FreeLibrary(g_loaded[i].module);
        g_loaded[i] = g_loaded[--g_loadedCount];
        return true;
    }
    return false;
}

unsigned RuntimeBindingCount() { return g_bindingCount; }

}  // namespace vel
