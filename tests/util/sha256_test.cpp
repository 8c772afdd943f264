// SHA-256: the FIPS 180-2 examples, every padding boundary, data fed in uneven pieces, a file of a
// few megabytes (digests from sha256sum), and the hex comparison the download check relies on.
#include "util/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "support/PackageFixture.h"

namespace vel {
namespace {

using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

// Bytes whose digests were taken with sha256sum.
std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((static_cast<uint64_t>(i) * 2654435761u) >> 13);
    return s;
}

TEST(Sha256, FipsExamples) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingBoundaries) {
    struct Case {
        size_t n;
        const char* hex;
    } cases[] = {
        {55, "8d96a9ee32f7a2df89c4504435add6a5a0d8e9a4de80097c7a4bcc330ac31def"},
        {56, "df82d23a25b1e180b4d9eb27def14d8ada198011b1bfc08f2d4a62e544daed79"},
        {63, "d54ef68e60852bbbef6cc25985de164140cb7bd52e739508a2321cc7b18aba3c"},
        {64, "fc134a3ea0e6c07d4df416a6751701becfd8675a944dd57ed6a5bfbed3b38a3e"},
        {65, "a90613c0aa11735f82647932b199299e0acdb09f2e6fa2c44a7d009dc988257f"},
        {119, "046d2f59226da2edbe9739a53043b0be8e668d474834be3bf23ce5b28aa931f5"},
        {120, "f1d8acb3206dae061099b7b1fd1ebb4786ff5a7456f9e9f333858d7de8206bb4"},
    };
    for (const Case& c : cases) EXPECT_EQ(Sha256Hex(Pattern(c.n)), c.hex) << c.n;
}

TEST(Sha256, PiecesAndFiles) {
    const std::string big = Pattern(3 * 1024 * 1024 + 17);
    const char* const kBig = "0ee7f7e0f66f14b38886a4a318c7073a85256a220d29339606f53f94849afbb6";

    // Pieces that straddle block boundaries in every way.
    Sha256 hash;
    size_t at = 0;
    for (size_t piece = 1; at < big.size(); piece = piece * 7 % 1000 + 1) {
        const size_t n = std::min(piece, big.size() - at);
        hash.Update(big.data() + at, n);
        at += n;
    }
    EXPECT_EQ(HexDigest(hash.Final()), kBig);

    ScratchFolder dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("big.bin"), big));
    ASSERT_TRUE(WriteWholeFile(dir.File("empty.bin"), ""));
    EXPECT_EQ(Sha256FileHex(dir.File("big.bin")), kBig);
    EXPECT_EQ(Sha256FileHex(dir.File("empty.bin")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256FileHex(dir.File("missing.bin")), "");
}

TEST(Sha256, HexComparison) {
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = abc;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    EXPECT_TRUE(IsSha256Hex(abc));
    EXPECT_TRUE(IsSha256Hex(upper));
    EXPECT_TRUE(SameSha256(upper, abc));
    EXPECT_TRUE(SameSha256(abc, abc));

    std::string flipped = abc;
    flipped[63] = 'c';
    const std::string malformed[] = {"", abc.substr(1), abc + "0", "g" + abc.substr(1), " " + abc.substr(1)};
    EXPECT_FALSE(SameSha256(abc, flipped));
    for (const std::string& m : malformed) {
        EXPECT_FALSE(IsSha256Hex(m)) << m;
        EXPECT_FALSE(SameSha256(m, abc)) << m;
        EXPECT_FALSE(SameSha256(abc, m)) << m;
    }
    EXPECT_FALSE(SameSha256("", ""));  // an empty expectation is not a match
}

}  // namespace
}  // namespace vel
