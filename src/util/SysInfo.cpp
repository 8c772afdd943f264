// Text rules behind the system-information functions.
#include "util/SysInfo.h"

#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

struct NtEdition {
    const char* version;
    const char* name;
    uint32_t flag;
    const char* name64;       // overrides on 64-bit Windows (nullptr: keep)
    uint32_t flag64;
    const char* server64;     // overrides on a 64-bit server
    uint32_t flagServer64;
    const char* server32;     // overrides on a 32-bit server
    uint32_t flagServer32;
};

const NtEdition kNtEditions[] = {
    {"4.0", "NT", 8, nullptr, 0, nullptr, 0, nullptr, 0},
    {"5.0", "2000", 16, nullptr, 0, nullptr, 0, nullptr, 0},
    {"5.1", "XP", 32, nullptr, 0, nullptr, 0, nullptr, 0},
    {"5.2", "2003", 64, "XP.64", 256, nullptr, 0, nullptr, 0},
    {"6.0", "Vista", 128, "Vista.64", 512, "2008.64", 8192, "2008", 4096},
    {"6.1", "7", 1024, "7.64", 2048, "2008R2.64", 16384, nullptr, 0},
    {"6.2", "8", 32768, "8.64", 65536, "2012.64", 131072, nullptr, 0},
    {"6.3", "8.1", 262144, "8.1.64", 524288, "2012R2.64", 1048576, nullptr, 0},
    {"10.0", "10", 2097152, "10.64", 4194304, nullptr, 0, nullptr, 0},
};

struct RegRoot {
    const char* longName;
    const char* shortName;
    uint32_t root;
};

const RegRoot kRegRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},  {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u}, {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u}, {"HKEY_DYN_DATA", "HKDD", 0x80000006u},
};
constexpr uint32_t kHkeyCurrentUser = 0x80000001u;

// The program part of a command line as Windows splits it: a quoted first token, or the text
// up to the first blank.
std::string DropFirstToken(const std::string& line) {
    const std::string s = TrimLeft(line);
    size_t end;
    if (!s.empty() && s[0] == '"') {
        end = s.find('"', 1);
        end = end == std::string::npos ? s.size() : end + 1;
    } else {
        end = s.find_first_of(" \t");
        if (end == std::string::npos) end = s.size();
    }
    return s.substr(end);
}

}  // namespace

bool OsVersionNeedsKernelVersion(const OsVersionRecord& rec) { return rec.major > 5 && rec.minor > 2; }

OsVersionRecord ApplyKernelVersion(OsVersionRecord rec, const std::string& kernelProductVersion) {
    const std::string list = "." + Trim(kernelProductVersion) + ".";
    const int64_t major = StrToInt64Def(SUB::Item(list, 0), -1);
    if (major < 0 || major > 0xFFFF) return rec;
    rec.major = static_cast<uint32_t>(major);
    rec.minor = static_cast<uint32_t>(EnsureRange64(StrToInt64Def(SUB::Item(list, 1), 0), 0, 0xFFFF));
    rec.build = static_cast<uint32_t>(EnsureRange64(StrToInt64Def(SUB::Item(list, 2), 0), 0, 0x7FFFFFFF));
    return rec;
}

OsIdentity IdentifyOs(const OsVersionRecord& rec, bool is64, bool isServer) {
    OsIdentity id;
    id.version = IntToStr(rec.major) + "." + IntToStr(rec.minor);
    id.build = rec.build;
    id.servicePack = Trim(rec.servicePack);
    switch (rec.platformId) {
    case 0:
        id.name = "32S";
        id.flag = 0;
        break;
    case 1:
        if (id.version == "4.10" && rec.build == 3000) id.version = "4.90";
        if (id.version == "4.0") { id.name = "95"; id.flag = 1; }
        else if (id.version == "4.10") { id.name = "98"; id.flag = 2; }
        else if (id.version == "4.90") { id.name = "ME"; id.flag = 4; }
        else { id.name = "9x"; id.flag = 1; }
        break;
    case 2: {
        id.name = "NTx";
        id.flag = 8;
        for (const NtEdition& e : kNtEditions) {
            if (id.version != e.version) continue;
            id.name = e.name;
            id.flag = e.flag;
            if (is64 && e.name64) { id.name = e.name64; id.flag = e.flag64; }
            if (isServer && is64 && e.server64) { id.name = e.server64; id.flag = e.flagServer64; }
            if (isServer && !is64 && e.server32) { id.name = e.server32; id.flag = e.flagServer32; }
            break;
        }
        break;
    }
    default:  // a platform this program does not know
        break;
    }
    return id;
}

bool IsWindows8OrLaterVersion(const OsVersionRecord& rec) {
    if (rec.platformId != 2) return false;
    return ParseFloatDot(IntToStr(rec.major) + "." + IntToStr(rec.minor), 0) >= 6.2;
}

uint32_t RegRootByName(const std::string& name) {
    const std::string n = UpperCase(Trim(name));
    for (const RegRoot& r : kRegRoots)
        if (n == r.longName || n == r.shortName) return r.root;
    return kHkeyCurrentUser;
}

uint32_t SplitRegPath(const std::string& path, std::string& subKey) {
    const std::string p = Trim(path);
    if (!StartsWith("HK", p, true)) {
        subKey = p;
        return kHkeyCurrentUser;
    }
    const size_t slash = p.find('\\');
    if (slash == std::string::npos) {
        subKey.clear();
        return RegRootByName(p);
    }
    subKey = p.substr(slash + 1);
    return RegRootByName(p.substr(0, slash));
}

std::string CmdParamsFromLine(const std::string& cmdLine, const std::string& exeName,
                              const std::string& exePath) {
    std::string rest;
    int p = exeName.empty() ? 0 : PosCI(exeName + "\"", cmdLine);
    if (p > 0) {
        rest = cmdLine.substr(static_cast<size_t>(p) + exeName.size());
    } else if ((p = exeName.empty() ? 0 : PosCI(exeName, cmdLine)) > 0) {
        rest = cmdLine.substr(static_cast<size_t>(p - 1) + exeName.size());
    } else if ((p = exePath.empty() ? 0 : PosCI(exePath, cmdLine)) > 0) {
        rest = cmdLine;
        rest.erase(static_cast<size_t>(p - 1), exePath.size());
    } else {
        // Started under another spelling (no extension, short name): the program is the first token.
        rest = DropFirstToken(cmdLine);
    }
    rest = Trim(rest);
    return rest.size() == 1 ? std::string() : rest;
}

std::string SwitchValueIn(const std::string& params, const std::string& name, const std::string& def) {
    std::string key = Trim(name);
    if (key.empty()) return def;
    const char sw = key[0] == '-' ? '-' : '/';
    key = ReplaceAll(key, std::string(1, sw), "");
    if (key.empty()) return def;

    std::string list = ReplaceAll(" " + params, "\"", "");
    list = ReplaceAll(list, std::string(" ") + sw, "\x01");
    list = "\x01" + list + "\x01";
    return Trim(SUB::Value(list, key, true, true, "", def));
}

bool HasParamIn(const std::string& params, const std::string& word) {
    const std::string w = Trim(word);
    if (w.empty()) return false;
    return PosCI(w + " ", params + " ") > 0;
}

bool IsDeveloperCode(const std::string& value) { return value == "317"; }

uint32_t PumpStepMs(uint32_t step, uint32_t duration) {
    if (step != 0) return step;
    const uint32_t s = duration / 10;
    return s < 1 ? 1 : (s > 25 ? 25 : s);
}

}  // namespace vel
