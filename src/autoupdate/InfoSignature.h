#pragma once
// Signed update-info files: one line in front of the unchanged body,
//     "; signature ed25519 <keyid> <expires> <signature>" CR LF
// keyid: the first 16 hex digits of the SHA-256 of the public key; expires: seconds since
// 1970-01-01 UTC, 0 for never; signature: 128 hex digits, Ed25519 over
//     "velnor update-info 1\n" + keyid + "\n" + expires + "\n" + body.
// The line has no "=" and stands before any section, so an INI reader passes over it; the agent
// still keeps only the verified body. All hex is lower case and the line ends in CR LF: one
// spelling for each file, anything else is malformed. Portable: no Windows API.
#include <cstdint>
#include <string>

#include "util/Ed25519.h"

namespace vel {

enum class InfoSignatureStatus { Unsigned, Malformed, OtherKey, BadSignature, Expired, Valid };

struct InfoSignatureCheck {
    InfoSignatureStatus status = InfoSignatureStatus::Unsigned;
    // The bytes after the signature line (the whole file when unsigned; empty when malformed).
    // Trusted only when status is Valid.
    std::string body;
    std::string keyId;    // as written in the line (signed files)
    int64_t expires = 0;  // as written in the line (signed files); 0 = never
    Ed25519Signature signature{};  // as written in the line (signed files)
};

std::string UpdateKeyId(const Ed25519Public& key);
// The public key's hex text (64 lower-case digits).
std::string UpdateKeyHex(const Ed25519Public& key);
// Reads 64 hex digits (either case, nothing else); false otherwise.
bool ParseUpdateKeyHex(const std::string& text, Ed25519Public& key);

// The signed file: the signature line, then body unchanged. expires: 0 = never.
std::string SignUpdateInfo(const std::string& body, const Ed25519Seed& secret, int64_t expires);

// The signature line read, not checked: Unsigned, Malformed, or Valid meaning "well formed".
InfoSignatureCheck ReadUpdateInfoSignature(const std::string& fileBytes);
// The whole check against the agent's key at the given time (seconds since 1970, UTC). A file
// expires at the second it names.
InfoSignatureCheck CheckUpdateInfoSignature(const std::string& fileBytes, const Ed25519Public& key, int64_t nowUnix);
// The same with the key's id given (UpdateKeyId(key), perhaps hashed another way).
InfoSignatureCheck CheckUpdateInfoSignature(const std::string& fileBytes, const Ed25519Public& key,
                                            const std::string& keyId, int64_t nowUnix);

// "unsigned", "malformed signature line", "signed by another key", "bad signature", "expired", "valid".
const char* InfoSignatureStatusText(InfoSignatureStatus status);
// "2026-12-11 07:38:27 UTC"; "never" for 0.
std::string ExpiryText(int64_t unixSeconds);

// The agent's decision on a fetched update-info file. keyItem: the key in its package's settings
// (hex; empty when it carries none); keyIdOf: UpdateKeyId, or the same computed with the system's
// SHA-256 (the stub carries no SHA-256 of its own). Empty result: the file may be used and usable
// holds what to keep (the body of a signed file; the file itself without a key). Otherwise the
// reason it is refused, and usable is empty.
using KeyIdFn = std::string (*)(const Ed25519Public& key);
std::string UpdateInfoRefusal(const std::string& keyItem, KeyIdFn keyIdOf, const std::string& fileBytes,
                              int64_t nowUnix, std::string& usable);

}  // namespace vel
