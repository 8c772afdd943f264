// Signed update-info files: every way a file can be refused, and the agent's decision on it.
#include "autoupdate/InfoSignature.h"

#include <gtest/gtest.h>

#include <cctype>

namespace vel {
namespace {

constexpr int64_t kNow = 1800000000;  // 2027-01-15 08:00:00 UTC
const std::string kBody = "[NewSetup]\r\nDownloadURL_UPDATE=http://example.test/u\r\nVersionNew=2\r\n";

Ed25519Seed Seed(uint8_t fill) {
    Ed25519Seed s;
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(fill + 7 * i);
    return s;
}
const Ed25519Seed kOurs = Seed(1), kTheirs = Seed(2);
const Ed25519Public kOurKey = Ed25519PublicKey(kOurs);

// The file with one character of its first line replaced.
std::string ChangeInLine(std::string file, const std::string& from, const std::string& to) {
    const size_t at = file.find(from);
    if (at == std::string::npos || at > file.find("\r\n")) return "(no " + from + " in the line)";
    return file.replace(at, from.size(), to);
}

std::string FlipLastSignatureDigit(std::string file) {
    char& c = file[file.find("\r\n") - 1];
    c = c == '0' ? '1' : '0';
    return file;
}

TEST(InfoSignature, EachStatus) {
    const std::string good = SignUpdateInfo(kBody, kOurs, kNow + 100);
    const std::string keyId = UpdateKeyId(kOurKey);
    const std::string expiry = std::to_string(kNow + 100);
    std::string flippedBody = good;
    flippedBody[flippedBody.size() - 3] ^= 0x01;  // "2" of VersionNew becomes "3"
    std::string lfBody = SignUpdateInfo("[NewSetup]\nVersionNew=2\n", kOurs, 0);
    const struct {
        const char* name;
        std::string file;
        InfoSignatureStatus status;
    } cases[] = {
        {"plain file", kBody, InfoSignatureStatus::Unsigned},
        {"empty file", "", InfoSignatureStatus::Unsigned},
        {"line not first", "\r\n" + good, InfoSignatureStatus::Unsigned},
        {"signed", good, InfoSignatureStatus::Valid},
        {"never expires", SignUpdateInfo(kBody, kOurs, 0), InfoSignatureStatus::Valid},
        {"body with LF lines", lfBody, InfoSignatureStatus::Valid},
        {"expires next second", SignUpdateInfo(kBody, kOurs, kNow + 1), InfoSignatureStatus::Valid},
        {"expires this second", SignUpdateInfo(kBody, kOurs, kNow), InfoSignatureStatus::Expired},
        {"expired long ago", SignUpdateInfo(kBody, kOurs, 1), InfoSignatureStatus::Expired},
        {"another key", SignUpdateInfo(kBody, kTheirs, 0), InfoSignatureStatus::OtherKey},
        {"key id changed", ChangeInLine(good, keyId, std::string(16, 'a')), InfoSignatureStatus::OtherKey},
        {"body bit flipped", flippedBody, InfoSignatureStatus::BadSignature},
        {"body cut", good.substr(0, good.size() - 1), InfoSignatureStatus::BadSignature},
        {"body lengthened", good + "BackgroundUpdate=1\r\n", InfoSignatureStatus::BadSignature},
        {"signature digit changed", FlipLastSignatureDigit(good), InfoSignatureStatus::BadSignature},
        {"expiry moved on", ChangeInLine(good, " " + expiry + " ", " " + std::to_string(kNow + 900) + " "),
         InfoSignatureStatus::BadSignature},
        {"expiry made never", ChangeInLine(good, " " + expiry + " ", " 0 "),
         InfoSignatureStatus::BadSignature},
        // One spelling only.
        {"LF line end", ChangeInLine(good, "\r\n", "\n"), InfoSignatureStatus::Malformed},
        {"blank before line end", ChangeInLine(good, "\r\n", " \r\n"), InfoSignatureStatus::Malformed},
        {"upper-case key id", ChangeInLine(good, keyId, "ABCDEF0123456789"), InfoSignatureStatus::Malformed},
        {"key id too short", ChangeInLine(good, keyId, keyId.substr(1)), InfoSignatureStatus::Malformed},
        {"leading zero in expiry", ChangeInLine(good, " " + expiry, " 0" + expiry),
         InfoSignatureStatus::Malformed},
        {"negative expiry", ChangeInLine(good, " " + expiry, " -" + expiry),
         InfoSignatureStatus::Malformed},
        {"value with =", ChangeInLine(good, "ed25519 ", "ed25519="), InfoSignatureStatus::Malformed},
        {"other algorithm", ChangeInLine(good, "ed25519", "ed448"), InfoSignatureStatus::Malformed},
        {"field missing", "; signature ed25519 " + keyId + " 0\r\n" + kBody, InfoSignatureStatus::Malformed},
        {"field added", ChangeInLine(good, "\r\n", " 1\r\n"), InfoSignatureStatus::Malformed},
        {"prefix alone", "; signature \r\n" + kBody, InfoSignatureStatus::Malformed},
        {"no line end", good.substr(0, good.find("\r\n")), InfoSignatureStatus::Malformed},
        {"second signature line", SignUpdateInfo(good, kOurs, 0), InfoSignatureStatus::Malformed},
    };
    for (const auto& c : cases) {
        const InfoSignatureCheck r = CheckUpdateInfoSignature(c.file, kOurKey, kNow);
        EXPECT_EQ(InfoSignatureStatusText(r.status), std::string(InfoSignatureStatusText(c.status))) << c.name;
    }
}

TEST(InfoSignature, SignedFileIsTheLineThenTheBodyUnchanged) {
    const std::string file = SignUpdateInfo(kBody, kOurs, kNow + 100);
    const size_t end = file.find("\r\n");
    EXPECT_EQ(file.substr(end + 2), kBody);
    EXPECT_EQ(file.find('='), file.find("DownloadURL_UPDATE=") + 18);  // no "=" before the body's first value
    const InfoSignatureCheck r = CheckUpdateInfoSignature(file, kOurKey, kNow);
    EXPECT_EQ(r.body, kBody);
    EXPECT_EQ(r.keyId, UpdateKeyId(kOurKey));
    EXPECT_EQ(r.expires, kNow + 100);
    EXPECT_EQ(r.keyId.size(), 16u);
    EXPECT_NE(UpdateKeyId(Ed25519PublicKey(kTheirs)), r.keyId);
    // Reading without a key gives the same fields, unchecked.
    const InfoSignatureCheck read = ReadUpdateInfoSignature(file);
    EXPECT_EQ(read.status, InfoSignatureStatus::Valid);
    EXPECT_EQ(read.keyId, r.keyId);
    EXPECT_EQ(read.body, kBody);
}

TEST(InfoSignature, AgentKeepsOnlyTheVerifiedBody) {
    const std::string ours = UpdateKeyHex(kOurKey);
    std::string upper = ours;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string signedFile = SignUpdateInfo(kBody, kOurs, kNow + 100);
    const struct {
        const char* name;
        std::string keyItem;
        std::string file;
        std::string refusal;  // empty: accepted
        std::string usable;
    } cases[] = {
        {"no key: file as it is", "", kBody, "", kBody},
        {"no key: signed file as it is", "", signedFile, "", signedFile},
        {"key: body of a signed file", ours, signedFile, "", kBody},
        {"key in capitals", upper, signedFile, "", kBody},
        {"key: plain file", ours, kBody, "unsigned", ""},
        {"key: malformed", ours, ChangeInLine(signedFile, "\r\n", "\n"), "malformed signature line", ""},
        {"key: tampered", ours, signedFile + "x", "bad signature", ""},
        {"key: expired", ours, SignUpdateInfo(kBody, kOurs, kNow - 1), "expired at 2027-01-15 07:59:59 UTC", ""},
        {"key: another key", ours, SignUpdateInfo(kBody, kTheirs, 0),
         "signed by another key (" + UpdateKeyId(Ed25519PublicKey(kTheirs)) + ", expected " + UpdateKeyId(kOurKey) + ")",
         ""},
        {"unreadable key", ours.substr(2), signedFile, "the agent's own update key is unreadable", ""},
        {"key that is no hex", std::string(64, 'g'), signedFile, "the agent's own update key is unreadable", ""},
    };
    for (const auto& c : cases) {
        std::string usable = "left over";
        EXPECT_EQ(UpdateInfoRefusal(c.keyItem, UpdateKeyId, c.file, kNow, usable), c.refusal) << c.name;
        EXPECT_EQ(usable, c.usable) << c.name;
    }
}

TEST(InfoSignature, KeyHexAndExpiryTexts) {
    Ed25519Public back{};
    ASSERT_TRUE(ParseUpdateKeyHex(UpdateKeyHex(kOurKey), back));
    EXPECT_EQ(back, kOurKey);
    for (const char* bad : {"", "00", " 00000000000000000000000000000000000000000000000000000000000000",
                            "0000000000000000000000000000000000000000000000000000000000000000 "})
        EXPECT_FALSE(ParseUpdateKeyHex(bad, back)) << "\"" << bad << "\"";
    const struct {
        int64_t t;
        const char* text;
    } times[] = {{0, "never"},
                 {1, "1970-01-01 00:00:01 UTC"},
                 {kNow, "2027-01-15 08:00:00 UTC"},
                 {951868799, "2000-02-29 23:59:59 UTC"},
                 {4102444800, "2100-01-01 00:00:00 UTC"}};
    for (const auto& t : times) EXPECT_EQ(ExpiryText(t.t), t.text) << t.t;
}

}  // namespace
}  // namespace vel
