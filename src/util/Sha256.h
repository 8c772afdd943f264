#pragma once
// SHA-256 (FIPS 180-4) of texts and files, as lower-case hex digits. The portable implementation
// serves the builder and the tests; the stub hashes with the system's own (SystemSha256FileHex).
// Nothing here throws: a file that cannot be read gives an empty text.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vel {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The 32-byte digest; the object must not be updated afterwards.
    std::string Final();

private:
    void Block(const uint8_t* block);

    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes hashed so far
};

std::string HexDigest(const std::string& digest);  // lower-case, two digits per byte
std::string Sha256Hex(const std::string& bytes);
// Hash of a whole file read with the portable file layer; empty when it cannot be read.
std::string Sha256FileHex(const std::string& path);

// Whether text is a SHA-256 written as 64 hex digits (either letter case).
bool IsSha256Hex(const std::string& text);
// Whether two hashes in hex are equal: both 64 hex digits, compared without regard to letter case.
// A malformed expectation never matches.
bool SameSha256(const std::string& expected, const std::string& actual);

// ---- Windows only (Sha256_win.cpp) ----

// Hash of a whole file computed by the system's cryptographic provider (advapi32), read with writes
// by others denied; empty when the file cannot be read or the provider has no SHA-256. between (may be
// null) runs after every megabyte, for a caller that pumps window messages.
std::string SystemSha256FileHex(const std::string& path, const std::function<void()>& between = nullptr);
// The same for bytes in memory (up to 4 GiB).
std::string SystemSha256Hex(const std::string& bytes);

}  // namespace vel
