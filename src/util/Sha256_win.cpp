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

// SHA-256 by the system's provider: the AES provider type is the one that offers it; no key
// container is needed. Hex() is empty when the provider failed at any step.
class SystemHash {
public:
    SystemHash() {
        ok_ = CryptAcquireContextA(&provider_.h, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider_.h, CALG_SHA_256, 0, 0, &hash_.h);
    }
    bool Add(const void* data, DWORD size) {
        ok_ = ok_ && CryptHashData(hash_.h, static_cast<const BYTE*>(data), size, 0);
        return ok_;
    }
    std::string Hex() {
        BYTE digest[32];
        DWORD length = sizeof digest;
        if (!ok_ || !CryptGetHashParam(hash_.h, HP_HASHVAL, digest, &length, 0) || length != sizeof digest)
            return std::string();
        return HexDigest(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
    }

private:
    CryptProvider provider_;  // released after the hash
    CryptHash hash_;
    bool ok_ = false;
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
        SystemHash hash;
        std::vector<BYTE> buffer(kReadSize);
        for (int reads = 1;; ++reads) {
            DWORD n = 0;
            if (!ReadFile(file.get(), buffer.data(), kReadSize, &n, nullptr)) return std::string();
            if (n == 0) break;
            if (!hash.Add(buffer.data(), n)) return std::string();
            if (between && reads % kReadsBetweenCalls == 0) between();
        }
        return hash.Hex();
    } VEL_CATCH_ALL {
        return std::string();
    }
}

std::string SystemSha256Hex(const std::string& bytes) {
    VEL_TRY {
        SystemHash hash;
        hash.Add(bytes.data(), static_cast<DWORD>(bytes.size()));
        return hash.Hex();
    } VEL_CATCH_ALL {
        return std::string();
    }
}

}  // namespace vel
