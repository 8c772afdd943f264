// Random bytes and owner-only files on Windows.
#include <windows.h>
#include <sddl.h>

#include "Keys.h"
#include "util/FileIO.h"

namespace vel {

namespace {

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

}  // namespace

bool SystemRandom(void* buffer, size_t size) {
    // RtlGenRandom, exported by advapi32 as SystemFunction036.
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    HMODULE advapi = LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!advapi) return false;
    const auto gen = reinterpret_cast<GenRandom>(reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
    const bool ok = gen && size <= 0xffffffffu && gen(buffer, static_cast<ULONG>(size));
    FreeLibrary(advapi);
    return ok;
}

std::string WriteNewPrivateFile(const std::string& path, const std::string& content) {
    // Protected DACL: full access for the owner only, nothing inherited from the folder.
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)", SDDL_REVISION_1, &sd, nullptr))
        return "cannot make the key file's security descriptor";
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    const std::string temp = TempNameBeside(path);
    HANDLE h = CreateFileW(Wide(temp).c_str(), GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(sd);
    if (h == INVALID_HANDLE_VALUE) return "cannot create " + temp;
    DWORD written = 0;
    bool ok = content.size() < 0x10000 &&
              WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size();
    ok = FlushFileBuffers(h) && ok;
    ok = CloseHandle(h) && ok;
    std::string error;
    if (!ok) error = "cannot write " + temp;
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target.
    else if (!MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH))
        error = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS
                    ? path + " exists; not replaced"
                    : "cannot create " + path;
    if (!error.empty()) DeleteFileW(Wide(temp).c_str());
    return error;
}

}  // namespace vel
