// Random bytes and owner-only files on Windows.
#include <windows.h>
#include <sddl.h>

#include <cstring>

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

// The SID of the process's user as text ("S-1-5-21-..."); empty when it cannot be read.
std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
    union {
        TOKEN_USER user;
        char bytes[256];
    } info;
    DWORD size = 0;
    std::wstring text;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) && ConvertSidToStringSidW(info.user.User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
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
    // Protected DACL: full access for the running user only, nothing inherited from the folder.
    const std::wstring user = CurrentUserSid();
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (user.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            (L"D:P(A;;FA;;;" + user + L")").c_str(), SDDL_REVISION_1, &sd, nullptr))
        return "cannot make the key file's security descriptor";
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    const std::string temp = TempNameBeside(path);
    HANDLE h = CreateFileW(Wide(temp).c_str(), GENERIC_WRITE | DELETE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(sd);
    if (h == INVALID_HANDLE_VALUE) return "cannot create " + temp;
    DWORD written = 0;
    bool ok = content.size() < 0x10000 &&
              WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size();
    ok = FlushFileBuffers(h) && ok;
    std::string error;
    if (!ok) {
        error = "cannot write " + temp;
    } else {
        // Renamed and, on failure, deleted through the open handle: no second open of a file whose
        // DACL grants its owner alone, and ReplaceIfExists = FALSE refuses an existing target.
        const std::wstring target = Wide(path);
        std::string buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t), '\0');
        FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
        info->ReplaceIfExists = FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::memcpy(info->FileName, target.c_str(), info->FileNameLength);
        if (!SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
            error = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS
                        ? path + " exists; not replaced"
                        : "cannot create " + path;
    }
    if (!error.empty()) {
        FILE_DISPOSITION_INFO dispose = {TRUE};
        SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    }
    CloseHandle(h);
    return error;
}

}  // namespace vel
