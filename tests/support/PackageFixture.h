#pragma once
// Test helpers for package files: a scratch folder that removes itself, a fake stamped stub image
// and whole-file reads and writes. Portable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel {
namespace testsupport {

// A fresh empty folder under the system temp folder, deleted with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const;  // Path() + separator + name
    std::vector<std::string> Names() const;           // entries directly inside, sorted

private:
    std::string path_;
};

// Entries directly inside a folder, sorted; empty when it is missing.
std::vector<std::string> FolderNames(const std::string& folder);

// "MZ" at 0, "PE\0\0" at 256, a recognisable filler elsewhere, end stamp bytes 248..255 zero;
// from 1024 bytes on a real PE header with a manifest that requires administrator rights.
std::string FakeStampedImage(size_t size = 1024);

// Deterministic bytes that zlib cannot shrink.
std::string RandomBytes(size_t count, uint32_t seed);

std::string ReadWholeFile(const std::string& path);  // empty when missing
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Little-endian 32-bit field helpers for patching fixtures.
std::string LE32(uint32_t value);
void PutLE32(std::string& bytes, size_t offset, uint32_t value);

}  // namespace testsupport
}  // namespace vel
