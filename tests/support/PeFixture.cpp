#include "support/PeFixture.h"

#include <algorithm>

#include "support/PackageFixture.h"

namespace vel {
namespace testsupport {

namespace {

void Put16(std::string& b, size_t at, unsigned v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

}  // namespace

TinyPe MakeTinyPe(bool pe64, const std::string& manifest, size_t size) {
    TinyPe pe;
    const size_t rsrcSize = kTinyManifestAt + manifest.size();
    const size_t rawAt = 576;
    std::string& b = pe.image;
    b.assign(std::max(size, rawAt + rsrcSize), '\0');
    b[0] = 'M';
    b[1] = 'Z';
    PutLE32(b, 0x3C, 256);
    b.replace(256, 4, std::string("PE\0\0", 4));
    Put16(b, 260, pe64 ? 0x8664 : 0x14C);
    Put16(b, 262, 1);
    const unsigned optSize = pe64 ? 240 : 224;
    Put16(b, 276, optSize);
    Put16(b, 278, 0x0102);
    pe.optionalHeader = 280;
    Put16(b, 280, pe64 ? 0x20B : 0x10B);
    PutLE32(b, 280 + (pe64 ? 108 : 92), 16);
    pe.resourceDirEntry = 280 + (pe64 ? 112 : 96) + 2 * 8;
    PutLE32(b, pe.resourceDirEntry, 0x1000);
    PutLE32(b, pe.resourceDirEntry + 4, uint32_t(rsrcSize));
    pe.sectionHeader = 280 + optSize;
    b.replace(pe.sectionHeader, 5, ".rsrc");
    PutLE32(b, pe.sectionHeader + 8, uint32_t(rsrcSize));
    PutLE32(b, pe.sectionHeader + 12, 0x1000);
    PutLE32(b, pe.sectionHeader + 16, uint32_t(rsrcSize));
    PutLE32(b, pe.sectionHeader + 20, uint32_t(rawAt));
    pe.resources = rawAt;
    const size_t r = rawAt;
    // Each directory: 16 bytes, then one id entry (id, offset; high bit = subdirectory).
    Put16(b, r + 14, 1);
    PutLE32(b, r + 16, 24);
    PutLE32(b, r + 20, 0x80000000u | kTinyNameDir);
    Put16(b, r + kTinyNameDir + 14, 1);
    PutLE32(b, r + kTinyNameDir + 16, 1);
    PutLE32(b, r + kTinyNameDir + 20, 0x80000000u | kTinyLanguageDir);
    Put16(b, r + kTinyLanguageDir + 14, 1);
    PutLE32(b, r + kTinyLanguageDir + 16, 1033);
    PutLE32(b, r + kTinyLanguageDir + 20, kTinyDataEntry);
    PutLE32(b, r + kTinyDataEntry, uint32_t(0x1000 + kTinyManifestAt));
    PutLE32(b, r + kTinyDataEntry + 4, uint32_t(manifest.size()));
    pe.manifest = r + kTinyManifestAt;
    b.replace(pe.manifest, manifest.size(), manifest);
    for (size_t i = pe.manifest + manifest.size(); i < b.size(); ++i) b[i] = char('a' + i % 26);
    return pe;
}

std::string ManifestWithLevel(const std::string& levelValue) {
    return "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
           "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
           "<requestedExecutionLevel level=\"" +
           levelValue + "\" uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
}

}  // namespace testsupport
}  // namespace vel
