// A planted DLL: if a program ever loads it, it leaves a marker file (path in the environment
// variable VEL_PLANTED_MARKER) and exports VelPlantedDll so that it can be told apart. Built
// twice: as "shfolder.dll", and as "version.dll" with VERSION.dll's three entry points (a program
// that imports them at load time would not even start without them; see planted_version.def).
#include <windows.h>

extern "C" __declspec(dllexport) int VelPlantedDll() { return 1; }

namespace {

// Creates the marker file, its name followed by `suffix`.
void LeaveMarker(const char* suffix) {
    char marker[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("VEL_PLANTED_MARKER", marker, sizeof marker);
    if (n == 0 || n + lstrlenA(suffix) >= sizeof marker) return;
    lstrcatA(marker, suffix);
    const HANDLE f = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
}

}  // namespace

// The planted "version.dll" entry points: a call leaves the marker with ".called" appended (a
// program that was loaded with this DLL may still never call it), and finds no version anywhere.
extern "C" DWORD WINAPI PlantedVersionInfoSize(LPCSTR, LPDWORD handle) {
    LeaveMarker(".called");
    if (handle) *handle = 0;
    return 0;
}
extern "C" BOOL WINAPI PlantedVersionInfo(LPCSTR, DWORD, DWORD, LPVOID) {
    LeaveMarker(".called");
    return FALSE;
}
extern "C" BOOL WINAPI PlantedVerQueryValue(LPCVOID, LPCSTR, LPVOID*, PUINT) {
    LeaveMarker(".called");
    return FALSE;
}

// Wide twins, which Wine's own user32 calls once the DLL is loaded: they leave no marker.
extern "C" DWORD WINAPI PlantedVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    return 0;
}
extern "C" BOOL WINAPI PlantedVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) { return FALSE; }
extern "C" BOOL WINAPI PlantedVerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return FALSE; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMarker("");
    return TRUE;
}
