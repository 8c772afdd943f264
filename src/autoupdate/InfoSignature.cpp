#include "autoupdate/InfoSignature.h"

#include "util/Sha256.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

const char kPrefix[] = "; signature ";
const char kAlgorithm[] = "ed25519 ";
const char kDomain[] = "velnor update-info 1\n";
constexpr size_t kKeyIdDigits = 16;
constexpr size_t kMaxExpiresDigits = 18;  // below 10^18: fits int64 with room

const char kHexDigits[] = "0123456789abcdef";

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 15];
    }
    return out;
}

int HexValue(char c, bool lowerOnly) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (!lowerOnly && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool DecodeHex(const std::string& text, bool lowerOnly, uint8_t* out, size_t size) {
    if (text.size() != 2 * size) return false;
    for (size_t i = 0; i < size; ++i) {
        const int hi = HexValue(text[2 * i], lowerOnly), lo = HexValue(text[2 * i + 1], lowerOnly);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

std::string SignedMessage(const std::string& keyId, int64_t expires, const std::string& body) {
    return kDomain + keyId + "\n" + IntToStr(expires) + "\n" + body;
}

bool StartsWithText(const std::string& text, size_t at, const char* prefix) {
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

std::string UpdateKeyId(const Ed25519Public& key) {
    return Sha256Hex(std::string(reinterpret_cast<const char*>(key.data()), key.size())).substr(0, kKeyIdDigits);
}

std::string UpdateKeyHex(const Ed25519Public& key) { return Hex(key.data(), key.size()); }

bool ParseUpdateKeyHex(const std::string& text, Ed25519Public& key) {
    return DecodeHex(text, false, key.data(), key.size());
}

std::string SignUpdateInfo(const std::string& body, const Ed25519Seed& secret, int64_t expires) {
    const std::string keyId = UpdateKeyId(Ed25519PublicKey(secret));
    const Ed25519Signature signature = Ed25519Sign(secret, SignedMessage(keyId, expires, body));
    return std::string(kPrefix) + kAlgorithm + keyId + " " + IntToStr(expires) + " " +
           Hex(signature.data(), signature.size()) + "\r\n" + body;
}

InfoSignatureCheck ReadUpdateInfoSignature(const std::string& fileBytes) {
    InfoSignatureCheck c;
    if (!StartsWithText(fileBytes, 0, kPrefix)) {
        c.body = fileBytes;
        return c;
    }
    c.status = InfoSignatureStatus::Malformed;
    // "ed25519 " KEYID " " EXPIRES " " SIGNATURE CR LF, read in place: each field of its one spelling.
    const char* const text = fileBytes.c_str();  // NUL-terminated: a short file stops at a mismatch
    size_t at = sizeof kPrefix - 1;
    if (!StartsWithText(fileBytes, at, kAlgorithm)) return c;
    at += sizeof kAlgorithm - 1;
    const size_t keyIdAt = at;
    while (at - keyIdAt < kKeyIdDigits && HexValue(text[at], true) >= 0) ++at;
    if (at - keyIdAt != kKeyIdDigits || text[at++] != ' ') return c;
    const size_t expiresAt = at;
    int64_t expires = 0;
    while (at - expiresAt < kMaxExpiresDigits && text[at] >= '0' && text[at] <= '9')
        expires = expires * 10 + (text[at++] - '0');
    if (at == expiresAt || (text[expiresAt] == '0' && at - expiresAt > 1) || text[at++] != ' ') return c;
    for (size_t i = 0; i < c.signature.size(); ++i, at += 2) {
        const int hi = HexValue(text[at], true), lo = hi < 0 ? -1 : HexValue(text[at + 1], true);
        if (lo < 0) return c;
        c.signature[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    if (text[at] != '\r' || text[at + 1] != '\n') return c;
    // One signature line only: a second would leave it unclear which one speaks for the file.
    if (StartsWithText(fileBytes, at + 2, kPrefix)) return c;
    c.status = InfoSignatureStatus::Valid;
    c.keyId.assign(text + keyIdAt, kKeyIdDigits);
    c.expires = expires;
    c.body.assign(fileBytes, at + 2, std::string::npos);
    return c;
}

InfoSignatureCheck CheckUpdateInfoSignature(const std::string& fileBytes, const Ed25519Public& key,
                                            const std::string& keyId, int64_t nowUnix) {
    InfoSignatureCheck c = ReadUpdateInfoSignature(fileBytes);
    if (c.status != InfoSignatureStatus::Valid) return c;
    if (c.keyId != keyId) c.status = InfoSignatureStatus::OtherKey;
    else if (!Ed25519Verify(key, SignedMessage(c.keyId, c.expires, c.body), c.signature))
        c.status = InfoSignatureStatus::BadSignature;
    else if (c.expires != 0 && nowUnix >= c.expires)
        c.status = InfoSignatureStatus::Expired;
    return c;
}

InfoSignatureCheck CheckUpdateInfoSignature(const std::string& fileBytes, const Ed25519Public& key, int64_t nowUnix) {
    return CheckUpdateInfoSignature(fileBytes, key, UpdateKeyId(key), nowUnix);
}

const char* InfoSignatureStatusText(InfoSignatureStatus status) {
    switch (status) {
    case InfoSignatureStatus::Unsigned: return "unsigned";
    case InfoSignatureStatus::Malformed: return "malformed signature line";
    case InfoSignatureStatus::OtherKey: return "signed by another key";
    case InfoSignatureStatus::BadSignature: return "bad signature";
    case InfoSignatureStatus::Expired: return "expired";
    case InfoSignatureStatus::Valid: return "valid";
    }
    return "unknown";
}

std::string ExpiryText(int64_t unixSeconds) {
    if (unixSeconds == 0) return "never";
    const int64_t days = unixSeconds / 86400, seconds = unixSeconds % 86400;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    DecodeDateTime(double(days + 25569), year, month, day, hour, minute, second);  // 25569: 1899-12-30 to 1970
    return IntZeroPad(year, 4) + "-" + IntZeroPad(month, 2) + "-" + IntZeroPad(day, 2) + " " +
           IntZeroPad(seconds / 3600, 2) + ":" + IntZeroPad(seconds / 60 % 60, 2) + ":" + IntZeroPad(seconds % 60, 2) +
           " UTC";
}

std::string UpdateInfoRefusal(const std::string& keyItem, KeyIdFn keyIdOf, const std::string& fileBytes,
                              int64_t nowUnix, std::string& usable) {
    usable.clear();
    if (keyItem.empty()) {
        usable = fileBytes;
        return std::string();
    }
    Ed25519Public key;
    if (!ParseUpdateKeyHex(keyItem, key)) return "the agent's own update key is unreadable";
    const std::string keyId = keyIdOf(key);
    InfoSignatureCheck c = CheckUpdateInfoSignature(fileBytes, key, keyId, nowUnix);
    switch (c.status) {
    case InfoSignatureStatus::Valid:
        usable = std::move(c.body);
        return std::string();
    case InfoSignatureStatus::OtherKey:
        return "signed by another key (" + c.keyId + ", expected " + keyId + ")";
    case InfoSignatureStatus::Expired:
        return "expired at " + ExpiryText(c.expires);
    default:
        return InfoSignatureStatusText(c.status);
    }
}

}  // namespace vel
