#pragma once
// SHA-256 of bytes, for the integrity keys of update files. Portable: no Windows API.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vel {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t* p);
    uint32_t h_[8];
    uint8_t buf_[64];
    size_t used_ = 0;
    uint64_t total_ = 0;
};

std::string Sha256Hex(const std::string& bytes);

}  // namespace vel
