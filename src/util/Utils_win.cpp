// System information: Windows version, version resources, registry, INI files, user and machine,
// command line, time, message pumping and screen metrics.
#include "util/Utils.h"

#include <shellapi.h>

#include <cstring>
#include <exception>
#include <vector>

#include "util/Catch.h"
#include "util/DebugLog.h"
#include "util/RuntimeProc.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

// What a 32-bit program on 64-bit Windows needs; present together on such a system.
RuntimeProc<void(WINAPI*)(LPSYSTEM_INFO)> rt_GetNativeSystemInfo("kernel32.dll", "GetNativeSystemInfo");
RuntimeProc<BOOL(WINAPI*)(HANDLE, PBOOL)> rt_IsWow64Process("kernel32.dll", "IsWow64Process");
RuntimeProc<BOOL(WINAPI*)(PVOID*)> rt_Wow64DisableWow64FsRedirection("kernel32.dll",
                                                                    "Wow64DisableWow64FsRedirection");
RuntimeProc<BOOL(WINAPI*)(PVOID)> rt_Wow64RevertWow64FsRedirection("kernel32.dll", "Wow64RevertWow64FsRedirection");
RuntimeProc<UINT(WINAPI*)(LPSTR, UINT)> rt_GetSystemWow64DirectoryA("kernel32.dll", "GetSystemWow64DirectoryA");
RuntimeProc<LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD)> rt_RegDeleteKeyExA("advapi32.dll", "RegDeleteKeyExA");
// VERSION.dll is not among the libraries Windows always takes from the system folder: imported at
// load time, a copy planted beside the program would run before any hardening. Bound on use.
RuntimeProc<DWORD(WINAPI*)(LPCSTR, LPDWORD)> rt_GetFileVersionInfoSizeA("version.dll", "GetFileVersionInfoSizeA");
RuntimeProc<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)> rt_GetFileVersionInfoA("version.dll", "GetFileVersionInfoA");
RuntimeProc<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)> rt_VerQueryValueA("version.dll", "VerQueryValueA");

struct OsVersionInfo {
    OsVersionRecord record;
    BYTE productType = 0;
};

const OsVersionInfo& OsVersion() {
    static const OsVersionInfo info = [] {
        OsVersionInfo v;
        OSVERSIONINFOEXA ex = {};
        ex.dwOSVersionInfoSize = sizeof(ex);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
            ex = {};
            ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
            GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex));
        } else {
            v.productType = ex.wProductType;
        }
        v.record.major = ex.dwMajorVersion;
        v.record.minor = ex.dwMinorVersion;
        v.record.platformId = ex.dwPlatformId;
        // Windows 9x keeps major and minor in the high word of the build number.
        v.record.build = ex.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? LOWORD(ex.dwBuildNumber)
                                                                        : ex.dwBuildNumber;
        v.record.servicePack = std::string(ex.szCSDVersion, strnlen(ex.szCSDVersion, sizeof(ex.szCSDVersion)));
        // Without a matching manifest newer systems report 6.2; kernel32 tells the truth.
        if (OsVersionNeedsKernelVersion(v.record))
            v.record = ApplyKernelVersion(v.record, GetProductVersion(SystemDir(true) + "kernel32.dll"));
        return v;
    }();
    return info;
}

bool DetectWindows64() {
    // A 64-bit program runs on 64-bit Windows only.
    if (sizeof(void*) == 8) return true;
    if (!rt_GetNativeSystemInfo.get()) return false;
    const auto isWow64 = rt_IsWow64Process.get();
    BOOL wow64 = FALSE;
    if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64) || !wow64) return false;
    return rt_Wow64DisableWow64FsRedirection.get() && rt_Wow64RevertWow64FsRedirection.get() &&
           rt_GetSystemWow64DirectoryA.get() && rt_RegDeleteKeyExA.get();
}

// Reads a file's version resource into a buffer of at least 16384 bytes; empty when none.
std::vector<char> VersionResource(const std::string& file) {
    const auto sizeOf = rt_GetFileVersionInfoSizeA.get();
    const auto read = rt_GetFileVersionInfoA.get();
    if (!sizeOf || !read || !rt_VerQueryValueA.get()) return {};
    DWORD handle = 0;
    const DWORD size = sizeOf(file.c_str(), &handle);
    if (size == 0) return {};
    std::vector<char> buf(size < 16384 ? 16384 : size, '\0');
    if (!read(file.c_str(), 0, static_cast<DWORD>(buf.size()), buf.data())) return {};
    return buf;
}

// Serialises INI reads; lives from first use to the end of the process.
class IniLock {
public:
    IniLock() { InitializeCriticalSection(&cs_); }
    ~IniLock() { DeleteCriticalSection(&cs_); }
    IniLock(const IniLock&) = delete;
    IniLock& operator=(const IniLock&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

IniLock& TheIniLock() {
    static IniLock lock;
    return lock;
}

class IniLockGuard {
public:
    IniLockGuard() { TheIniLock().Enter(); }
    ~IniLockGuard() { TheIniLock().Leave(); }
    IniLockGuard(const IniLockGuard&) = delete;
    IniLockGuard& operator=(const IniLockGuard&) = delete;
};

}  // namespace

// ---- Windows version ----------------------------------------------------------------------------

OsIdentity GetOsName() {
    const OsVersionRecord& rec = OsVersion().record;
    const bool nt = rec.platformId == VER_PLATFORM_WIN32_NT;
    return IdentifyOs(rec, nt && IsWindows64(), nt && IsServerOS());
}

uint32_t GetOsFlag() { return GetOsName().flag; }

bool IsWindowsNT() { return OsVersion().record.platformId == VER_PLATFORM_WIN32_NT; }

bool IsWindowsXP() {
    static const bool xp = IsWindowsNT() && OsVersion().record.major == 5 && OsVersion().record.minor == 1;
    return xp;
}

bool IsWindows8OrLater() { return IsWindows8OrLaterVersion(OsVersion().record); }

bool IsWindows64() {
    static const bool is64 = DetectWindows64();
    return is64;
}

bool IsServerOS() {
    if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
    const BYTE type = OsVersion().productType;
    return type == VER_NT_DOMAIN_CONTROLLER || type == VER_NT_SERVER;
}

// ---- Version resources --------------------------------------------------------------------------

std::string GetExeVersion(const std::string& file, int width, int count) {
    VEL_TRY {
        const std::vector<char> buf = VersionResource(file.empty() ? ExePath(false) : file);
        if (buf.empty()) return "";
        VS_FIXEDFILEINFO* info = nullptr;
        UINT len = 0;
        if (!rt_VerQueryValueA.get()(buf.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info ||
            len < sizeof(VS_FIXEDFILEINFO))
            return "";
        const WORD parts[4] = {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                               HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
        std::string text;
        for (WORD part : parts) text += (text.empty() ? "" : ".") + IntToStr(part);
        return (width > 1 || count < 4) ? FormatVersion(text, width, count) : text;
    } VEL_CATCH_ALL {
        LogException(CaughtText(), "Utils.GetExeVersion()", "");
        return "";
    }
}

std::string GetProductVersion(const std::string& file, int width, int count) {
    VEL_TRY {
        const std::vector<char> buf = VersionResource(file.empty() ? ExePath(false) : file);
        if (buf.empty()) return "";
        const WORD* translation = nullptr;
        UINT len = 0;
        if (!rt_VerQueryValueA.get()(buf.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(
                const_cast<WORD**>(&translation)), &len) || !translation || len < 2 * sizeof(WORD))
            return "";
        // The string table is named by language and code page in lower-case hex ("040904b0").
        char query[] = "\\StringFileInfo\\00000000\\ProductVersion";
        const uint32_t table = static_cast<uint32_t>(translation[0]) << 16 | translation[1];
        for (int i = 0; i < 8; ++i) query[16 + i] = "0123456789abcdef"[table >> (28 - 4 * i) & 15];
        const char* value = nullptr;
        len = 0;
        if (!rt_VerQueryValueA.get()(buf.data(), query, reinterpret_cast<void**>(const_cast<char**>(&value)), &len) ||
            !value || len == 0)
            return "";
        const std::string text = ReplaceChar(std::string(value, strnlen(value, len)), ',', '.');
        return (width > 1 || count < 4) ? FormatVersion(text, width, count) : text;
    } VEL_CATCH_ALL {
        LogException(CaughtText(), "Utils.GetProductVersion()", "");
        return "";
    }
}

// ---- Registry -----------------------------------------------------------------------------------

HKEY ParseRegPath(const std::string& path, std::string& subKey) {
    const uint32_t root = SplitRegPath(path, subKey);
    // Predefined keys are sign-extended 32-bit values, as the system headers define them.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool use64View) {
    VEL_TRY {
        std::string subKey;
        const HKEY root = ParseRegPath(path, subKey);
        ScopedKey key;
        const REGSAM access = KEY_READ | (use64View ? KEY_WOW64_64KEY : 0);
        if (RegOpenKeyExA(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) return def;

        std::vector<char> buf(10241, '\0');
        DWORD type = 0;
        DWORD size = 10240;
        if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                             &size) != ERROR_SUCCESS)
            return def;
        if (size > 10240) size = 10240;
        if (type == REG_DWORD && size == 4) {
            DWORD v = 0;
            std::memcpy(&v, buf.data(), sizeof(v));
            return IntToStr(v);
        }
        if (type == REG_MULTI_SZ && size > 2) {
            std::string s(buf.data(), size);
            while (!s.empty() && s.back() == '\0') s.pop_back();
            return ReplaceAll(s, std::string(1, '\0'), "<0>");
        }
        return std::string(buf.data(), strnlen(buf.data(), size));
    } VEL_CATCH_ALL {
        return def;
    }
}

static std::string CurrentVersionKey() {
    return std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\") + (IsWindowsNT() ? "Windows NT" : "Windows") +
           "\\CurrentVersion";
}

std::string GetRegisteredOwner() {
    return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOwner", GetLoginName(), IsWindows64()));
}

std::string GetRegisteredOrganization() {
    return Trim(ReadRegString(CurrentVersionKey(), "RegisteredOrganization", "", IsWindows64()));
}

// ---- INI files ----------------------------------------------------------------------------------

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def) {
    IniLockGuard guard;
    std::string result = def;
    VEL_TRY {
        if (section.empty() || key.empty()) return result;
        std::vector<char> buf(32769, '\0');
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf.data(),
                                                 static_cast<DWORD>(buf.size()), file.c_str());
        if (n > 0) result.assign(buf.data(), n);
        if (n > 10240) DebugLine("ReadIniString SizeError=" + IntToStr(n));
    } VEL_CATCH_ALL {
        DebugLine("EXCEPTION --- Utils.ReadIniString()  " + LastErrorText());
    }
    return result;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def) {
    return StrToInt64Def(ReadIniString(file, section, key, IntToStr(def)), def);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    if (file.empty() || section.empty() || key.empty()) return false;
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value) {
    return WriteIniString(file, section, key, IntToStr(value));
}

// ---- User and machine ---------------------------------------------------------------------------

std::string GetLoginName() {
    char buf[256] = {};
    DWORD size = sizeof(buf);
    if (!GetUserNameA(buf, &size)) return "";
    return Trim(std::string(buf, strnlen(buf, sizeof(buf))));
}

std::string GetMachineName() {
    char buf[256] = {};
    DWORD size = sizeof(buf);
    if (!GetComputerNameA(buf, &size)) return "";
    return Trim(std::string(buf, strnlen(buf, sizeof(buf))));
}

std::string GetAccountDomain(const std::string& account) {
    if (account.empty()) return "";
    VEL_TRY {
        DWORD sidSize = 0;
        DWORD domainSize = 0;
        SID_NAME_USE use;
        LookupAccountNameA(nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
        if (sidSize == 0 || domainSize == 0) return "";
        std::vector<BYTE> sid(sidSize);
        std::vector<char> domain(domainSize + 1, '\0');
        if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
            return "";
        return std::string(domain.data(), strnlen(domain.data(), domain.size()));
    } VEL_CATCH_ALL {
        return "";
    }
}

std::string UserDecimalSeparator() {
    char buf[8] = {};
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, sizeof buf) > 1 ? std::string(buf) : ".";
}

namespace {
std::string LocaleText(LCTYPE type, const std::string& def) {
    char buf[96] = {};
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
    return n > 1 ? std::string(buf, strnlen(buf, sizeof buf)) : def;
}
}  // namespace

std::string UserDateSeparator() { return LocaleText(LOCALE_SDATE, "/"); }
std::string UserTimeSeparator() { return LocaleText(LOCALE_STIME, ":"); }

std::string LocaleMonthName(int month) {
    static const char kEnglish[] = "||January|February|March|April|May|June|July|August|September|October"
                                   "|November|December|";
    if (month < 1 || month > 12) return std::string();
    return LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + month - 1), SUB::Item(kEnglish, month));
}

std::string GetUserDomain() { return GetAccountDomain(GetLoginName()); }

// ---- Command line and processes -----------------------------------------------------------------

std::string GetCmdParams() {
    const std::string exe = ExePath(false);
    const std::string name = exe.substr(FileFolder(exe, AnsiLeadByte).size());
    const char* line = GetCommandLineA();
    return CmdParamsFromLine(line ? line : "", name, exe);
}

std::string GetSwitchValue(const std::string& name, const std::string& def) {
    return SwitchValueIn(GetCmdParams(), name, def);
}

int64_t GetSwitchInt(const std::string& name, int64_t def) { return StrToInt64Def(GetSwitchValue(name, ""), def); }

bool HasCmdParam(const std::string& word) { return HasParamIn(GetCmdParams(), word); }

bool ShellOpen(const std::string& file, const std::string& params, int showCmd) {
    const HINSTANCE r = ShellExecuteA(GetDesktopWindow(), nullptr, file.c_str(),
                                      params.empty() ? nullptr : params.c_str(), nullptr, showCmd);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

// ---- Time, messages and screen ------------------------------------------------------------------

int64_t MilliCounter() {
    static const double factor = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? 1000.0 / static_cast<double>(f.QuadPart) : 0.0;
    }();
    if (factor == 0.0) return static_cast<int64_t>(GetTickCount64());
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<int64_t>(static_cast<double>(c.QuadPart) * factor);
}

void PumpPending() {
    VEL_TRY {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit request for the message loop that owns it.
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    } VEL_CATCH_ALL {
        LogException(CaughtText(), "PumpPending", "");
    }
}

void YieldX(DWORD ms) {
    PumpPending();
    Sleep(ms);
}

void WaitPumping(DWORD step, DWORD duration) {
    const DWORD s = PumpStepMs(step, duration);
    const int64_t start = MilliCounter();
    // At least one pass, so a wait of 0 still pumps the queue once.
    do {
        YieldX(s);
    } while (MilliCounter() - start < static_cast<int64_t>(duration));
}

int ScreenDpiY() {
    static const int dpi = [] {
        const HDC dc = GetDC(nullptr);
        if (!dc) return 96;
        const int v = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
        return v > 0 ? v : 96;
    }();
    return dpi;
}

int PointsToPixels(int points) { return MulDiv(points, ScreenDpiY(), 72); }

POINT CenterInWorkArea(int width, int height) {
    RECT work = {};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    POINT p;
    p.x = work.left + (work.right - work.left - width) / 2;
    p.y = work.top + (work.bottom - work.top - height) / 2;
    return p;
}

std::string GetWindowTextStr(HWND wnd) {
    if (!wnd) return "";
    VEL_TRY {
        std::vector<char> buf(102401, '\0');
        const int n = GetWindowTextA(wnd, buf.data(), static_cast<int>(buf.size()));
        return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
    } VEL_CATCH_ALL {
        return "";
    }
}

std::string GetWindowClassStr(HWND wnd) {
    if (!wnd) return "";
    char buf[1024] = {};
    const int n = GetClassNameA(wnd, buf, static_cast<int>(sizeof(buf)));
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

HWND TopLevelOwner(HWND wnd) {
    HWND top = wnd;
    for (HWND owner = wnd ? GetWindow(wnd, GW_OWNER) : nullptr; owner; owner = GetWindow(owner, GW_OWNER))
        top = owner;
    return top;
}

std::string LastErrorText() {
    const DWORD error = GetLastError();
    char* msg = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<LPSTR>(&msg), 0, nullptr);
    if (n == 0 || !msg) {
        if (msg) LocalFree(msg);
        return "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"";
    }
    std::string text(msg, n);
    LocalFree(msg);
    return Trim(text);
}

bool IsDeveloperMode() {
    static const bool developer = [] {
        char buf[16] = {};
        const DWORD n = GetEnvironmentVariableA("DVX", buf, sizeof(buf));
        return n > 0 && n < sizeof(buf) && IsDeveloperCode(std::string(buf, n));
    }();
    return developer;
}

}  // namespace vel
