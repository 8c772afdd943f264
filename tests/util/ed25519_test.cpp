// Ed25519: the RFC 8032 examples, every flipped bit refused, and the strict decoding rules
// (non-canonical S and y, small-order keys and R).
#include "util/Ed25519.h"

#include <gtest/gtest.h>

#include "util/Sha512.h"

namespace vel {
namespace {

template <size_t N>
std::array<uint8_t, N> FromHex(const std::string& hex) {
    std::array<uint8_t, N> out{};
    EXPECT_EQ(hex.size(), 2 * N);
    for (size_t i = 0; i < N && 2 * i + 1 < hex.size(); ++i)
        out[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::string Bytes(const std::string& hex) {
    std::string s;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) s += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return s;
}

struct Vector {
    const char* name;
    const char* seed;
    const char* pub;
    std::string message;
    const char* sig;
};

std::vector<Vector> RfcVectors() {
    return {
        {"TEST 1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
         "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
         "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
        {"TEST 2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
         "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", Bytes("72"),
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
         "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
        {"TEST 3", "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
         "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", Bytes("af82"),
         "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
         "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
        {"TEST SHA(abc)", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
         "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf", Sha512Digest("abc"),
         "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
         "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704"},
    };
}

TEST(Ed25519, RfcVectors) {
    for (const Vector& v : RfcVectors()) {
        SCOPED_TRACE(v.name);
        const Ed25519Seed seed = FromHex<32>(v.seed);
        const Ed25519Public pub = FromHex<32>(v.pub);
        const Ed25519Signature sig = FromHex<64>(v.sig);
        EXPECT_EQ(Ed25519PublicKey(seed), pub);
        EXPECT_EQ(Ed25519Sign(seed, v.message), sig);
        EXPECT_TRUE(Ed25519Verify(pub, v.message, sig));
    }
}

// Any single flipped bit in the signature, the public key or the message is refused.
TEST(Ed25519, EveryFlippedBitIsRefused) {
    const Vector v = RfcVectors()[2];
    const Ed25519Public pub = FromHex<32>(v.pub);
    const Ed25519Signature sig = FromHex<64>(v.sig);
    for (int bit = 0; bit < 512; ++bit) {
        Ed25519Signature bad = sig;
        bad[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(Ed25519Verify(pub, v.message, bad)) << "signature bit " << bit;
    }
    for (int bit = 0; bit < 256; ++bit) {
        Ed25519Public bad = pub;
        bad[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(Ed25519Verify(bad, v.message, sig)) << "public key bit " << bit;
    }
    const std::string message = "info";
    const Ed25519Signature signed_ = Ed25519Sign(FromHex<32>(v.seed), message);
    ASSERT_TRUE(Ed25519Verify(pub, message, signed_));
    for (size_t bit = 0; bit < 8 * message.size(); ++bit) {
        std::string bad = message;
        bad[bit / 8] = static_cast<char>(bad[bit / 8] ^ (1 << (bit % 8)));
        EXPECT_FALSE(Ed25519Verify(pub, bad, signed_)) << "message bit " << bit;
    }
    EXPECT_FALSE(Ed25519Verify(pub, message + "x", signed_));
    EXPECT_FALSE(Ed25519Verify(pub, message.substr(1), signed_));
}

// S + L is the same scalar modulo L, so the equation holds: only the range check refuses it.
TEST(Ed25519, NonCanonicalSIsRefused) {
    const uint8_t l[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                           0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
    for (const Vector& v : RfcVectors()) {
        SCOPED_TRACE(v.name);
        Ed25519Signature sig = FromHex<64>(v.sig);
        unsigned carry = 0;
        for (int i = 0; i < 32; ++i) {
            const unsigned t = sig[32 + i] + l[i] + carry;
            sig[32 + i] = static_cast<uint8_t>(t);
            carry = t >> 8;
        }
        ASSERT_EQ(carry, 0u);  // S + L still fits the 32 bytes: S < 2^253
        EXPECT_FALSE(Ed25519Verify(FromHex<32>(v.pub), v.message, sig));
        // S = L itself (zero modulo L) and all ones are out of range too.
        std::copy(l, l + 32, sig.begin() + 32);
        EXPECT_FALSE(Ed25519Verify(FromHex<32>(v.pub), v.message, sig));
        std::fill(sig.begin() + 32, sig.end(), 0xff);
        EXPECT_FALSE(Ed25519Verify(FromHex<32>(v.pub), v.message, sig));
    }
}

// Encodings of small-order points and of non-canonical y (y >= p), as a public key and as R.
TEST(Ed25519, BadPointEncodingsAreRefused) {
    const char* bad[] = {
        // the eight small-order points
        "0100000000000000000000000000000000000000000000000000000000000000",  // identity
        "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",  // order 2
        "0000000000000000000000000000000000000000000000000000000000000000",  // order 4
        "0000000000000000000000000000000000000000000000000000000000000080",  // order 4
        "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",  // order 8
        "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85",
        "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a",
        "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa",
        // y >= p: p itself (y = 0), p + 1 (the identity again), 2^255 - 1, with either sign
        "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
        "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
        "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
        // x = 0 with the sign bit set
        "0100000000000000000000000000000000000000000000000000000000000080",
        // y = 2, which names no point
        "0200000000000000000000000000000000000000000000000000000000000000",
    };
    const Vector v = RfcVectors()[0];
    const Ed25519Public goodPub = FromHex<32>(v.pub);
    const Ed25519Signature goodSig = FromHex<64>(v.sig);
    for (const char* hex : bad) {
        SCOPED_TRACE(hex);
        const Ed25519Public point = FromHex<32>(hex);
        // As the key, with an S that makes the equation hold for a small-order key and R = identity.
        Ed25519Signature sig{};
        sig[0] = 1;
        EXPECT_FALSE(Ed25519Verify(point, v.message, sig));
        EXPECT_FALSE(Ed25519Verify(point, v.message, goodSig));
        // As R.
        Ed25519Signature withR = goodSig;
        std::copy(point.begin(), point.end(), withR.begin());
        EXPECT_FALSE(Ed25519Verify(goodPub, v.message, withR));
    }
}

// Keys and signatures for other seeds and lengths go round; the other key refuses them.
TEST(Ed25519, SignedMessagesVerify) {
    Ed25519Seed seed{};
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<uint8_t>(round * 77 + i * 13);
        const std::string message(static_cast<size_t>(round) * 100, static_cast<char>('a' + round));
        const Ed25519Public pub = Ed25519PublicKey(seed);
        const Ed25519Signature sig = Ed25519Sign(seed, message);
        EXPECT_TRUE(Ed25519Verify(pub, message, sig)) << round;
        EXPECT_FALSE(Ed25519Verify(FromHex<32>(RfcVectors()[0].pub), message, sig)) << round;
    }
}

}  // namespace
}  // namespace vel
