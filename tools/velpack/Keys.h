#pragma once
// Signing keys of velpack: key pairs made by "velpack keygen", in files that OpenSSL reads too.
//   NAME.key  the private key (the 32-byte Ed25519 seed) as PEM PKCS#8, "PRIVATE KEY"
//   NAME.pub  the public key as 64 hex digits on one line
#include <string>

#include "util/Ed25519.h"

namespace vel {

std::string PrivateKeyPem(const Ed25519Seed& seed);
// Reads a PEM PKCS#8 Ed25519 private key (as keygen and OpenSSL write it); false for anything else.
bool ParsePrivateKeyPem(const std::string& text, Ed25519Seed& seed);
std::string PublicKeyText(const Ed25519Public& key);  // hex, with a line end
// Reads NAME.pub's text (surrounding white space allowed); false for anything else.
bool ParsePublicKeyText(const std::string& text, Ed25519Public& key);

// Writes NAME.key and NAME.pub for a fresh random seed. Refuses when either exists; the private key
// is readable by its owner only and appears whole or not at all. Empty, or the error.
std::string MakeKeyPair(const std::string& name);

// ---- Platform layer (Keys_posix.cpp, Keys_win.cpp) ----

// Bytes from the system's random source; false when it fails.
bool SystemRandom(void* buffer, size_t size);
// Creates path with content, readable and writable by the owner only: written under a temporary
// name, then moved into place without replacing anything. Empty, or the error.
std::string WriteNewPrivateFile(const std::string& path, const std::string& content);

}  // namespace vel
