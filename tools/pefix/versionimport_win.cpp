// A program shaped like the stub that imports VERSION.dll at load time: the image check must
// refuse it (a copy of VERSION.dll beside a setup file would run before the program does).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DWORD handle = 0;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    return GetFileVersionInfoSizeA(self, &handle) != 0 ? 0 : 1;
}
