#include <gtest/gtest.h>

#include "util/Sha256.h"

using namespace vel;

TEST(Sha256, KnownDigests) {
    const struct {
        std::string in;
        const char* want;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: padding spills a block
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.in), c.want) << c.in.size() << " bytes";
    // Fed in uneven pieces, the digest is the same.
    Sha256 s;
    const std::string text(200, 'x');
    for (size_t at = 0, step = 1; at < text.size(); at += step, step = step * 2 + 1)
        s.Update(text.data() + at, std::min(step, text.size() - at));
    EXPECT_EQ(s.HexDigest(), Sha256Hex(text));
}
