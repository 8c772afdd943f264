// SHA-512: the FIPS 180-4 examples, every padding boundary (digests from Python's hashlib), and data
// fed in uneven pieces.
#include "util/Sha512.h"

#include <gtest/gtest.h>

#include "util/Sha256.h"

namespace vel {
namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((static_cast<uint64_t>(i) * 2654435761u) >> 13);
    return s;
}

std::string Hex(const std::string& bytes) { return HexDigest(Sha512Digest(bytes)); }

TEST(Sha512, FipsExamples) {
    EXPECT_EQ(Hex(""),
              "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
              "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
    EXPECT_EQ(Hex("abc"),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                  "mnopqrstnopqrstu"),
              "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
              "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
    EXPECT_EQ(Hex(std::string(1000000, 'a')),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
              "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b");
}

TEST(Sha512, PaddingBoundaries) {
    struct Case {
        size_t n;
        const char* hex;
    } cases[] = {
        {111, "92827c2d93466dcbada0cc4f5cc2f6768bcae56408542cde32c95dc4a5090539a68999b1b27974d945b99927b0c7c7afb62d619dc6f81318e72469287529502e"},
        {112, "48092a22f6d34cce2a650103e3ff6849767fda1de9a7785df52cfcb116479cc18700e543881dd08e00b782a1dfaf8020580d394f4fb45a665afd059847d6c760"},
        {113, "a8b57b7e313ceca86f7120a85c10a097aa5ed11db1e7c50ab679f8769fb26e8bae26e5d9c54c8f1346d1ba4c0a43093044f48699add49040fa96e04629df4708"},
        {127, "135550fbf3e7b00a18c997998e3b4ac8c4719141f8b5be28c63665392a12abfeb9a989506e3d33b638f15c177d3f6fdd2144ac3ae521a563770f542657d9ff78"},
        {128, "428868904d5bfb2709498fe71ce691a2aec7a2e8ed16f388c261d94c01e5cff1c9c09bdbf7b5584780af95e30ed9ea9f34dbcea67ea2ed04c39f1a7358607ed3"},
        {129, "f09405ff6766a435e7b5fd309362e5224013cdf7693a14c95601223a814e2e43b73fc2e6692546c47805383930b0d03adcfc20f6afa983310bbea4720ad7105c"},
        {239, "9be163a0c7fcfaf930c4497b6af1b9a54eb0e0bfe63ca2fa4da7860fa4b0bfd9ee560f9ac670dc56cee8070cd2117bcc02507c967d938401c8d5ac79c9adc5e8"},
        {240, "96c35969d33bb6558eab055ebf0303c1148b92b11c7947824c32af4eedb084264fccea9c46b52cf8b0dee0a60f7920a4be316ffa85a1043e9c5a791b9f8bd0a4"},
    };
    for (const Case& c : cases) EXPECT_EQ(Hex(Pattern(c.n)), c.hex) << c.n << " bytes";
}

TEST(Sha512, PiecesGiveTheWholeDigest) {
    const std::string data = Pattern(1000);
    for (size_t piece : {1, 7, 111, 128, 129, 500}) {
        Sha512 hash;
        for (size_t at = 0; at < data.size(); at += piece)
            hash.Update(data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(HexDigest(hash.Final()),
                  "10ed30a41f513d1c2062cb3f4720edad628f17e0c4b26eed02d2560a5be28afd"
                  "83f50a9dc9a535a53f954ac35c1ab18bf4a73a6503e523855b00a80281022e4e")
            << "pieces of " << piece;
    }
}

}  // namespace
}  // namespace vel
