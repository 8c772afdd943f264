#pragma once
// A small hand-made PE image with one resource section that carries an application manifest, for
// the tests of the manifest reader and the fake stubs that velpack builds from. Portable.
#include <cstddef>
#include <string>

namespace vel {
namespace testsupport {

// Where the parts of a TinyPe lie, for tests that damage them.
struct TinyPe {
    std::string image;
    size_t optionalHeader = 0;  // file offset of the optional header
    size_t resourceDirEntry = 0;  // file offset of the resource data directory (RVA, size)
    size_t sectionHeader = 0;   // file offset of the one section header
    size_t resources = 0;       // file offset of the resource directory (RVA 0x1000)
    size_t manifest = 0;        // file offset of the manifest text
};

// Offsets inside the resource section: root directory, name directory, language directory, data
// entry, manifest text.
constexpr size_t kTinyNameDir = 24, kTinyLanguageDir = 48, kTinyDataEntry = 72, kTinyManifestAt = 88;

// "MZ" at 0, "PE" at 256, bytes 248..255 zero, one section ".rsrc" with the manifest as resource
// type 24, name 1, language 1033; at least size bytes (filler after the section).
TinyPe MakeTinyPe(bool pe64, const std::string& manifest, size_t size = 0);

// A manifest text that asks for the given level value, as the stub's own manifest does.
std::string ManifestWithLevel(const std::string& levelValue);

}  // namespace testsupport
}  // namespace vel
