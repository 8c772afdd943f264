#include "autoupdate/InfoSignature.h"

#include "util/Sha256.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

const char kPrefix[] = "; signature ";
const char kAlgorithm[] = "ed25519 ";
const char kDomain[] = "velnor update-info 1\n";
constexpr size_t kKeyIdDigits = 16;
constexpr size_t kSignatureDigits = 128;
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

bool IsLowerHex(const std::string& text) {
    for (char c : text)
        if (HexValue(c, true) < 0) return false;
    return true;
}

// Decimal without sign or leading zeros ("0" itself allowed).
bool ParseExpires(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > kMaxExpiresDigits || (text.size() > 1 && text[0] == '0')) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
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
    // The line is short and of fixed form: look no further than its longest spelling.
    const size_t longest = sizeof kPrefix - 1 + sizeof kAlgorithm - 1 + kKeyIdDigits + 1 + kMaxExpiresDigits + 1 +
                           kSignatureDigits + 2;
    const size_t end = fileBytes.find("\r\n");
    if (end == std::string::npos || end + 2 > longest) return c;
    size_t at = sizeof kPrefix - 1;
    if (!StartsWithText(fileBytes, at, kAlgorithm)) return c;
    at += sizeof kAlgorithm - 1;
    const std::string fields = fileBytes.substr(at, end - at);
    const size_t gap1 = fields.find(' ');
    const size_t gap2 = gap1 == std::string::npos ? gap1 : fields.find(' ', gap1 + 1);
    if (gap2 == std::string::npos) return c;
    const std::string keyId = fields.substr(0, gap1);
    const std::string expires = fields.substr(gap1 + 1, gap2 - gap1 - 1);
    const std::string signature = fields.substr(gap2 + 1);
    int64_t expiresValue = 0;
    if (keyId.size() != kKeyIdDigits || !IsLowerHex(keyId) || !ParseExpires(expires, expiresValue) ||
        signature.size() != kSignatureDigits || !IsLowerHex(signature))
        return c;
    std::string body = fileBytes.substr(end + 2);
    // One signature line only: a second would leave it unclear which one speaks for the file.
    if (StartsWithText(body, 0, kPrefix)) return c;
    c.status = InfoSignatureStatus::Valid;
    c.keyId = keyId;
    c.expires = expiresValue;
    c.body = std::move(body);
    return c;
}

InfoSignatureCheck CheckUpdateInfoSignature(const std::string& fileBytes, const Ed25519Public& key, int64_t nowUnix) {
    InfoSignatureCheck c = ReadUpdateInfoSignature(fileBytes);
    if (c.status != InfoSignatureStatus::Valid) return c;
    if (c.keyId != UpdateKeyId(key)) {
        c.status = InfoSignatureStatus::OtherKey;
        return c;
    }
    Ed25519Signature signature;
    const size_t at = fileBytes.find("\r\n") - kSignatureDigits;
    DecodeHex(fileBytes.substr(at, kSignatureDigits), true, signature.data(), signature.size());
    if (!Ed25519Verify(key, SignedMessage(c.keyId, c.expires, c.body), signature))
        c.status = InfoSignatureStatus::BadSignature;
    else if (c.expires != 0 && nowUnix >= c.expires)
        c.status = InfoSignatureStatus::Expired;
    return c;
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

std::string UpdateInfoRefusal(const std::string& keyItem, const std::string& fileBytes, int64_t nowUnix,
                              std::string& usable) {
    usable.clear();
    if (keyItem.empty()) {
        usable = fileBytes;
        return std::string();
    }
    Ed25519Public key;
    if (!ParseUpdateKeyHex(keyItem, key)) return "the agent's own update key is unreadable";
    InfoSignatureCheck c = CheckUpdateInfoSignature(fileBytes, key, nowUnix);
    switch (c.status) {
    case InfoSignatureStatus::Valid:
        usable = std::move(c.body);
        return std::string();
    case InfoSignatureStatus::OtherKey:
        return std::string("signed by another key (") + c.keyId + ", expected " + UpdateKeyId(key) + ")";
    case InfoSignatureStatus::Expired:
        return "expired at " + ExpiryText(c.expires);
    default:
        return InfoSignatureStatusText(c.status);
    }
}

}  // namespace vel
