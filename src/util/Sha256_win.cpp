#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "util/Catch.h"
#include "util/Sha256.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

// Owners of the provider context and the hash object, released in reverse order.
struct CryptProvider {
    HCRYPTPROV h = 0;
    ~CryptProvider() {
        if (h) CryptReleaseContext(h, 0);
    }
};
struct CryptHash {
    HCRYPTHASH h = 0;
    ~CryptHash() {
        if (h) CryptDestroyHash(h);
    }
};

constexpr DWORD kReadSize = 1 << 16;
constexpr int kReadsBetweenCalls = 16;  // one megabyte

}  // namespace

std::string SystemSha256FileHex(const std::string& path, const std::function<void()>& between) {
    VEL_TRY {
        // Others may read but not write while the file is hashed.
        ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) return std::string();
        // The AES provider type is the one that offers SHA-256; no key container is needed.
        CryptProvider provider;
        if (!CryptAcquireContextA(&provider.h, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            return std::string();
        CryptHash hash;
        if (!CryptCreateHash(provider.h, CALG_SHA_256, 0, 0, &hash.h)) return std::string();

        std::vector<BYTE> buffer(kReadSize);
        for (int reads = 1;; ++reads) {
            DWORD n = 0;
            if (!ReadFile(file.get(), buffer.data(), kReadSize, &n, nullptr)) return std::string();
            if (n == 0) break;
            if (!CryptHashData(hash.h, buffer.data(), n, 0)) return std::string();
            if (between && reads % kReadsBetweenCalls == 0) between();
        }
        BYTE digest[32];
        DWORD length = sizeof digest;
        if (!CryptGetHashParam(hash.h, HP_HASHVAL, digest, &length, 0) || length != sizeof digest)
            return std::string();
        return HexDigest(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
    } VEL_CATCH_ALL {
        return std::string();
    }
}

}  // namespace vel
