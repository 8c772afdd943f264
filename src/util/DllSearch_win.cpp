// Start-up hardening of the DLL search. See DllSearch_win.h.
#include "util/DllSearch_win.h"

#include <windows.h>

#include "util/RuntimeProc.h"

namespace vel {

namespace {
RuntimeProc<BOOL(WINAPI*)(DWORD)> rt_SetDefaultDllDirectories("kernel32.dll", "SetDefaultDllDirectories");
}  // namespace

bool HardenDllSearch() {
    const auto setDefault = rt_SetDefaultDllDirectories.get();
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    return SetDllDirectoryA("") != FALSE;
}

}  // namespace vel
