// Post-link step for the stub: moves the PE headers from where the linker put them to file
// offset 256 and clears bytes 248..255, the place of the package end stamp.
// Usage: pefix FILE.exe          rewrites the file in place via a temporary file
//        pefix --check FILE.exe [--max-bytes N | --max-kb N] [--level LEVEL]
//                                checks the layout and that only DLLs that Windows always loads
//                                from the system folder are imported,
//                                reports the size against the 200 KiB goal, and fails above the
//                                size limit (default kStubLimit: the stub's size when the goal
//                                was reached plus 5 %, so that growth is seen); prints
//                                the execution level its manifest requests, which must be
//                                readable (and LEVEL when given: asInvoker, highestAvailable or
//                                requireAdministrator); exit code 0 when all hold
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/ImageManifest.h"

static uint32_t rd32(const std::vector<unsigned char>& b, size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t(b[o + 3]) << 24);
}
static uint16_t rd16(const std::vector<unsigned char>& b, size_t o) { return uint16_t(b[o] | (b[o + 1] << 8)); }

static std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper((unsigned char)c));
    return s;
}

// The stub's size goal, and its limit: the size it had when it reached the goal, plus 5 %.
constexpr size_t kStubGoal = 204800;
constexpr size_t kStubReached = 201216;
constexpr size_t kStubLimit = kStubReached + kStubReached / 20;

// Verifies a built stub: "MZ" at 0, "PE" at 256, zero bytes 248..255, size limit, imports.
static int check(const std::vector<unsigned char>& b, const std::string& path, size_t maxBytes,
                 const std::string& wantedLevel) {
    int bad = 0;
    auto fail = [&](const std::string& what) { std::fprintf(stderr, "FAIL %s: %s\n", path.c_str(), what.c_str()); ++bad; };
    if (b.size() < 0x400 || b[0] != 'M' || b[1] != 'Z') { fail("no MZ at offset 0"); return 1; }
    if (rd32(b, 0x3C) != 256 || std::memcmp(&b[256], "PE\0\0", 4) != 0) { fail("PE header is not at offset 256"); return 1; }
    for (int i = 248; i < 256; ++i) if (b[i]) { fail("bytes 248..255 are not zero"); break; }
    const uint32_t pe = 256;
    const uint16_t machine = rd16(b, pe + 4), sections = rd16(b, pe + 6), optSize = rd16(b, pe + 20);
    const uint16_t magic = rd16(b, pe + 24);
    std::printf("%s: %zu bytes, machine 0x%x, %s\n", path.c_str(), b.size(), machine, magic == 0x10b ? "PE32" : "PE32+");
    if (b.size() > maxBytes) fail(std::to_string(b.size()) + " bytes, above the limit of " + std::to_string(maxBytes));
    else std::printf("  size %zu bytes: within the limit of %zu; the goal is %zu bytes%s\n", b.size(), maxBytes,
                     kStubGoal, b.size() <= kStubGoal ? " (reached)" : "");
    const uint32_t dirBase = pe + 24 + (magic == 0x10b ? 96 : 112);
    const uint32_t importRva = rd32(b, dirBase + 8);
    auto toOff = [&](uint32_t rva) -> int64_t {
        for (uint16_t i = 0; i < sections; ++i) {
            const uint32_t sh = pe + 24 + optSize + 40u * i;
            const uint32_t va = rd32(b, sh + 12), vsz = rd32(b, sh + 8), raw = rd32(b, sh + 20), rsz = rd32(b, sh + 16);
            if (rva >= va && rva < va + (vsz > rsz ? vsz : rsz)) return int64_t(raw) + (rva - va);
        }
        return -1;
    };
    // Imports are resolved before the program's first instruction, so before its DLL-search
    // hardening: only libraries that Windows always takes from the system folder (its known DLLs),
    // and the common controls, which the manifest binds to the system's side-by-side copy. All
    // others are bound at run time from the system folder.
    static const char* allowed[] = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL",
                                    "SHELL32.DLL",  "OLE32.DLL",  "MSVCRT.DLL", "COMCTL32.DLL"};
    // Windows reads the manifest's level before the program starts: it must be there to be read.
    vel::ExecutionLevel level;
    if (!vel::ReadImageExecutionLevel(std::string(b.begin(), b.end()), level)) {
        fail("no readable execution level in the manifest");
    } else {
        std::printf("  execution level %s\n", vel::ExecutionLevelName(level));
        if (!wantedLevel.empty() && wantedLevel != vel::ExecutionLevelName(level))
            fail(std::string("execution level ") + vel::ExecutionLevelName(level) + ", not " + wantedLevel);
    }
    int64_t d = importRva ? toOff(importRva) : -1;
    for (; d >= 0 && size_t(d) + 20 <= b.size(); d += 20) {
        const uint32_t nameRva = rd32(b, size_t(d) + 12);
        if (!nameRva) break;
        int64_t n = toOff(nameRva);
        if (n < 0) { fail("bad import name"); break; }
        std::string name(reinterpret_cast<const char*>(&b[size_t(n)]));
        std::printf("  imports %s\n", name.c_str());
        bool ok = false;
        for (const char* a : allowed) ok = ok || upper(name) == a;
        if (!ok) fail("imports " + name + ", which Windows does not always load from the system folder");
    }
    return bad ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--check") {
        size_t maxBytes = kStubLimit;
        std::string wantedLevel;
        for (int i = 3; i < argc; i += 2) {
            const std::string opt = argv[i];
            vel::ExecutionLevel level;
            const bool good = i + 1 < argc && (((opt == "--max-kb" || opt == "--max-bytes") && std::atol(argv[i + 1]) > 0) ||
                                               (opt == "--level" && vel::ExecutionLevelFromName(argv[i + 1], level)));
            if (!good) {
                std::fprintf(stderr, "usage: pefix --check FILE.exe [--max-bytes N | --max-kb N] [--level asInvoker|highestAvailable|"
                                     "requireAdministrator]\n");
                return 2;
            }
            if (opt == "--max-kb") maxBytes = size_t(std::atol(argv[i + 1])) * 1024;
            else if (opt == "--max-bytes") maxBytes = size_t(std::atol(argv[i + 1]));
            else wantedLevel = argv[i + 1];
        }
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) { std::fprintf(stderr, "pefix: cannot read %s\n", argv[2]); return 1; }
        std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return check(b, argv[2], maxBytes, wantedLevel);
    }
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr, "usage: pefix FILE.exe\nMoves the PE header to offset 256 and clears bytes 248..255.\n"
                             "       pefix --check FILE.exe [--max-bytes N | --max-kb N] [--level LEVEL]\nChecks a built stub: layout, "
                             "imports, size and the execution level its manifest requests.\n");
        return argc == 2 ? 0 : 2;
    }
    const std::string path = argv[1];
    std::ifstream in(path, std::ios::binary);
    if (!in) { std::fprintf(stderr, "pefix: cannot read %s\n", path.c_str()); return 1; }
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const uint32_t target = 256;
    if (b.size() < 0x400 || b[0] != 'M' || b[1] != 'Z') { std::fprintf(stderr, "pefix: %s is not an executable\n", path.c_str()); return 1; }
    const uint32_t lfanew = rd32(b, 0x3C);
    if (lfanew + 24 > b.size() || std::memcmp(&b[lfanew], "PE\0\0", 4) != 0) { std::fprintf(stderr, "pefix: no PE header\n"); return 1; }
    if (lfanew != target) {
        const uint16_t sections = rd16(b, lfanew + 6);
        const uint16_t optSize = rd16(b, lfanew + 20);
        const uint32_t sizeOfHeaders = rd32(b, lfanew + 24 + 60);
        const uint32_t headersLen = 24 + optSize + 40u * sections;
        // Headers must still fit before the first section's data.
        uint32_t firstRaw = sizeOfHeaders;
        for (uint16_t i = 0; i < sections; ++i) {
            uint32_t raw = rd32(b, lfanew + 24 + optSize + 40u * i + 20);
            if (raw && raw < firstRaw) firstRaw = raw;
        }
        if (lfanew > target || target + headersLen > firstRaw) {
            std::fprintf(stderr, "pefix: no room to move the PE header to %u\n", target);
            return 1;
        }
        std::vector<unsigned char> hdr(b.begin() + lfanew, b.begin() + lfanew + headersLen);
        std::fill(b.begin() + lfanew, b.begin() + firstRaw, 0);
        std::copy(hdr.begin(), hdr.end(), b.begin() + target);
        b[0x3C] = target & 0xFF; b[0x3D] = (target >> 8) & 0xFF; b[0x3E] = 0; b[0x3F] = 0;
    }
    std::fill(b.begin() + 248, b.begin() + 256, 0);
    const std::string tmp = path + ".pefix.tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        if (!out) { std::fprintf(stderr, "pefix: cannot write %s\n", tmp.c_str()); std::remove(tmp.c_str()); return 1; }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) { std::fprintf(stderr, "pefix: cannot replace %s\n", path.c_str()); std::remove(tmp.c_str()); return 1; }
    return 0;
}
