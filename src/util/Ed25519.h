#pragma once
// Ed25519 signatures (pure Ed25519, no context or prehash), portable and small: key pairs and
// signatures for the publisher's tools, verification for the update agent.
//
// Verification is strict; it refuses:
//  - S not below the group order L (no malleable signatures);
//  - a public key or R whose y is not below p, or that names no curve point, or x = 0 with the sign
//    bit set (non-canonical encodings);
//  - a public key or R of small order (the eight points of order 1, 2, 4 or 8): the equation below
//    is the cofactorless one, so R of small order is refused too, as no honest signer makes one;
// and it accepts only when the encoding of [S]B - [k]A equals R's 32 bytes exactly (cofactorless
// check, k = SHA-512(R || A || M) mod L).
//
// Signing is free of branches and table lookups that depend on the secret (ladder with a masked
// swap, masked reduction); verification works on public data only. Nothing here allocates besides
// the message the caller passes.
#include <array>
#include <cstdint>
#include <string>

namespace vel {

using Ed25519Seed = std::array<uint8_t, 32>;       // the private key
using Ed25519Public = std::array<uint8_t, 32>;     // the encoded point A
using Ed25519Signature = std::array<uint8_t, 64>;  // R then S

Ed25519Public Ed25519PublicKey(const Ed25519Seed& seed);
Ed25519Signature Ed25519Sign(const Ed25519Seed& seed, const std::string& message);
bool Ed25519Verify(const Ed25519Public& publicKey, const std::string& message, const Ed25519Signature& signature);

}  // namespace vel
