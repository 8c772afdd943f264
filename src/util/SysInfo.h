#pragma once
// Text rules behind the system-information functions of Utils.h, kept free of the Windows API so
// they can be checked on any host: OS identification, registry path roots, command-line switches
// and the message-pump step. Never throws.
#include <cstdint>
#include <string>

namespace vel {

// Windows version as the platform reports it (platform id 0 = Win32s, 1 = 9x, 2 = NT).
struct OsVersionRecord {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platformId = 0;
    std::string servicePack;
};

// What GetOsName reports: version text "major.minor", name ("XP", "10.64", ...), trimmed
// service-pack text, build number and the one-bit edition flag (0 for Win32s).
struct OsIdentity {
    std::string version;
    std::string name;
    std::string servicePack;
    uint32_t build = 0;
    uint32_t flag = 0;
};

// True when the reported numbers cannot be trusted (major > 5 and minor > 2) and must be taken
// from kernel32's product version instead.
bool OsVersionNeedsKernelVersion(const OsVersionRecord& rec);
// Replaces major, minor and build by the first three numbers of kernel32's product version;
// the record is returned unchanged when that text holds no leading number.
OsVersionRecord ApplyKernelVersion(OsVersionRecord rec, const std::string& kernelProductVersion);
// Name and flag of a version; the 64-bit and server columns apply as the flags say.
OsIdentity IdentifyOs(const OsVersionRecord& rec, bool is64, bool isServer);
// NT platform and version (read as a decimal number) at least 6.2.
bool IsWindows8OrLaterVersion(const OsVersionRecord& rec);

// Registry root of a path's first component ("HKLM", "HKEY_USERS", ...; case-insensitive);
// any other name gives HKEY_CURRENT_USER (0x80000001).
uint32_t RegRootByName(const std::string& name);
// Splits "root\subkey". Paths not starting with "HK" are subkeys of HKEY_CURRENT_USER.
// Returns the root's numeric value (0x80000000 .. 0x80000006).
uint32_t SplitRegPath(const std::string& path, std::string& subKey);

// The command line without the program part. exeName is the running program's file name
// (no folder), exePath its full path.
std::string CmdParamsFromLine(const std::string& cmdLine, const std::string& exeName,
                              const std::string& exePath);
// Value of switch `name` ("/SleepX=", "-x=") in a parameter text; def when absent or name empty.
std::string SwitchValueIn(const std::string& params, const std::string& name, const std::string& def);
// Whether the trimmed word, followed by a blank, occurs case-insensitively in params + " ".
bool HasParamIn(const std::string& params, const std::string& word);

// Whether an environment value is the developer code (the whole value, case-sensitive).
bool IsDeveloperCode(const std::string& value);

// Step of the message-pumping wait: a step of 0 becomes duration / 10 clamped to 1 .. 25 ms.
uint32_t PumpStepMs(uint32_t step, uint32_t duration);

}  // namespace vel
