// A planted DLL: if a program ever loads it, it leaves a marker file (path in the environment
// variable VEL_PLANTED_MARKER) and exports VelPlantedDll so the loader can be told apart.
#include <windows.h>

extern "C" __declspec(dllexport) int VelPlantedDll() { return 1; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char marker[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("VEL_PLANTED_MARKER", marker, sizeof marker);
    if (n == 0 || n >= sizeof marker) return TRUE;
    const HANDLE f = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return TRUE;
}
