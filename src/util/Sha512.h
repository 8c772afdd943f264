#pragma once
// SHA-512 (FIPS 180-4), portable; the hash inside Ed25519 signatures.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vel {

class Sha512 {
public:
    Sha512();
    void Update(const void* data, size_t size);
    // The 64-byte digest; the object must not be updated afterwards.
    std::string Final();

private:
    void Block(const uint8_t* block);

    uint64_t state_[8];
    uint8_t buffer_[128];
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes hashed so far (messages below 2^61 bytes)
};

// The 64-byte digest of bytes.
std::string Sha512Digest(const std::string& bytes);

}  // namespace vel
