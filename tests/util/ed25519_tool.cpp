// Test helper for the OpenSSL cross-check: signs and verifies files with our Ed25519 and the key files
// of "velpack keygen".
//   ed25519_tool sign KEY FILE SIG        KEY: PEM PKCS#8; SIG: the 64 raw bytes
//   ed25519_tool verify PUB FILE SIG      PUB: hex on one line; exit 0 when valid, 1 when not
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "Keys.h"

namespace {

bool Read(const char* path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "ed25519_tool: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc != 5 || (command != "sign" && command != "verify"))
        return Fail("usage: ed25519_tool sign KEY FILE SIG | verify PUB FILE SIG");
    std::string key, message, sig;
    if (!Read(argv[2], key) || !Read(argv[3], message)) return Fail("cannot read the key or the file");
    if (command == "sign") {
        vel::Ed25519Seed seed;
        if (!vel::ParsePrivateKeyPem(key, seed)) return Fail("not an Ed25519 private key");
        const vel::Ed25519Signature s = vel::Ed25519Sign(seed, message);
        std::ofstream out(argv[4], std::ios::binary);
        out.write(reinterpret_cast<const char*>(s.data()), s.size());
        return out.good() ? 0 : Fail("cannot write the signature");
    }
    vel::Ed25519Public pub;
    vel::Ed25519Signature s;
    if (!vel::ParsePublicKeyText(key, pub)) return Fail("not a public key");
    if (!Read(argv[4], sig) || sig.size() != s.size()) return Fail("not a 64-byte signature");
    std::copy(sig.begin(), sig.end(), s.begin());
    const bool ok = vel::Ed25519Verify(pub, message, s);
    std::puts(ok ? "valid" : "invalid");
    return ok ? 0 : 1;
}
