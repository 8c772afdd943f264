#include "util/Ed25519.h"

#include <cstring>

#include "util/Sha512.h"

namespace vel {

namespace {

// ---- Field GF(2^255 - 19): sixteen signed 16-bit limbs in 64-bit words, little-endian ----

struct Fe {
    int64_t v[16];
};

const Fe kD = {{0x78a3, 0x1359, 0x4dca, 0x75eb, 0xd8ab, 0x4141, 0x0a4d, 0x0070, 0xe898, 0x7779, 0x4079,
                0x8cc7, 0xfe73, 0x2b6f, 0x6cee, 0x5203}};  // -121665 / 121666
const Fe kSqrtM1 = {{0xa0b0, 0x4a0e, 0x1b27, 0xc4ee, 0xe478, 0xad2f, 0x1806, 0x2f43, 0xd7a7, 0x3dfb, 0x0099,
                     0x2b4d, 0xdf0b, 0x4fc1, 0x2480, 0x2b83}};  // 2^((p - 1) / 4)

Fe FeSmall(int64_t n) {
    Fe r = {};
    r.v[0] = n;
    return r;
}

// Brings every limb back to 16 bits; the carry out of the top limb comes back as 38 (2^256 = 38 mod p).
void Carry(Fe& a) {
    for (int i = 0; i < 16; ++i) {
        const int64_t c = a.v[i] >> 16;  // floor, also for negative limbs
        a.v[i] -= c * 65536;
        if (i < 15) a.v[i + 1] += c;
        else a.v[0] += 38 * c;
    }
}

Fe Add(const Fe& a, const Fe& b) {
    Fe r;
    for (int i = 0; i < 16; ++i) r.v[i] = a.v[i] + b.v[i];
    return r;
}

Fe Sub(const Fe& a, const Fe& b) {
    Fe r;
    for (int i = 0; i < 16; ++i) r.v[i] = a.v[i] - b.v[i];
    return r;
}

Fe Mul(const Fe& a, const Fe& b) {
    int64_t t[31] = {};
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j) t[i + j] += a.v[i] * b.v[j];
    Fe r;
    for (int i = 0; i < 16; ++i) r.v[i] = t[i] + (i < 15 ? 38 * t[i + 16] : 0);
    Carry(r);
    Carry(r);
    return r;
}

// Swaps a and b when bit is 1, without a branch.
void Swap(Fe& a, Fe& b, int64_t bit) {
    const int64_t mask = -bit;
    for (int i = 0; i < 16; ++i) {
        const int64_t t = mask & (a.v[i] ^ b.v[i]);
        a.v[i] ^= t;
        b.v[i] ^= t;
    }
}

// a^e for e = 2^bits - 1 with the bits clear1 and clear2 cleared (both exponents used are so).
Fe Pow(const Fe& a, int top, int clear1, int clear2) {
    Fe c = a;
    for (int i = top - 2; i >= 0; --i) {
        c = Mul(c, c);
        if (i != clear1 && i != clear2) c = Mul(c, a);
    }
    return c;
}

Fe Invert(const Fe& a) { return Pow(a, 255, 2, 4); }  // a^(p - 2), p - 2 = 2^255 - 21

// The canonical 32 bytes (value below p).
void Pack(uint8_t out[32], const Fe& a) {
    Fe t = a;
    Carry(t);
    Carry(t);
    Carry(t);
    // The value is now below 2^256 < 3p: subtract p up to twice, keeping the result when no borrow.
    for (int round = 0; round < 2; ++round) {
        Fe m;
        m.v[0] = t.v[0] - 0xffed;
        for (int i = 1; i < 16; ++i) {
            m.v[i] = t.v[i] - (i == 15 ? 0x7fff : 0xffff) - ((m.v[i - 1] >> 16) & 1);
            m.v[i - 1] &= 0xffff;
        }
        const int64_t borrow = (m.v[15] >> 16) & 1;
        m.v[15] &= 0xffff;
        Swap(t, m, 1 - borrow);
    }
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = static_cast<uint8_t>(t.v[i]);
        out[2 * i + 1] = static_cast<uint8_t>(t.v[i] >> 8);
    }
}

Fe Unpack(const uint8_t in[32]) {
    Fe r;
    for (int i = 0; i < 16; ++i) r.v[i] = in[2 * i] | int64_t(in[2 * i + 1]) << 8;
    r.v[15] &= 0x7fff;
    return r;
}

bool Equal(const Fe& a, const Fe& b) {
    uint8_t x[32], y[32];
    Pack(x, a);
    Pack(y, b);
    return std::memcmp(x, y, 32) == 0;
}

int Parity(const Fe& a) {
    uint8_t x[32];
    Pack(x, a);
    return x[0] & 1;
}

// ---- Points of -x^2 + y^2 = 1 + d x^2 y^2 in extended coordinates (x = X/Z, y = Y/Z, xy = T/Z) ----

struct Point {
    Fe x, y, z, t;
};

Point Identity() { return {FeSmall(0), FeSmall(1), FeSmall(1), FeSmall(0)}; }

// The unified addition; complete on this curve, so it also doubles.
Point AddPoints(const Point& p, const Point& q) {
    const Fe a = Mul(Sub(p.y, p.x), Sub(q.y, q.x));
    const Fe b = Mul(Add(p.y, p.x), Add(q.y, q.x));
    const Fe c = Mul(Mul(p.t, q.t), Add(kD, kD));
    const Fe zz = Mul(p.z, q.z);
    const Fe d = Add(zz, zz);
    const Fe e = Sub(b, a), f = Sub(d, c), g = Add(d, c), h = Add(b, a);
    return {Mul(e, f), Mul(g, h), Mul(f, g), Mul(e, h)};
}

void SwapPoints(Point& p, Point& q, int64_t bit) {
    Swap(p.x, q.x, bit);
    Swap(p.y, q.y, bit);
    Swap(p.z, q.z, bit);
    Swap(p.t, q.t, bit);
}

// [scalar]p for a 256-bit little-endian scalar. A Montgomery ladder: the same additions for every
// bit, the operands exchanged by a masked swap, so a secret scalar steers no branch and no lookup.
Point ScalarMul(const Point& p, const uint8_t scalar[32]) {
    Point r0 = Identity(), r1 = p;
    for (int i = 255; i >= 0; --i) {
        const int64_t bit = (scalar[i / 8] >> (i % 8)) & 1;
        SwapPoints(r0, r1, bit);
        r1 = AddPoints(r0, r1);
        r0 = AddPoints(r0, r0);
        SwapPoints(r0, r1, bit);
    }
    return r0;
}

void Encode(uint8_t out[32], const Point& p) {
    const Fe zi = Invert(p.z);
    Pack(out, Mul(p.y, zi));
    out[31] ^= static_cast<uint8_t>(Parity(Mul(p.x, zi)) << 7);
}

// Decodes a canonical encoding of a curve point; false for y >= p, for a y with no x, and for
// x = 0 with the sign bit set.
bool Decode(Point& p, const uint8_t in[32]) {
    const Fe y = Unpack(in);
    uint8_t check[32];
    Pack(check, y);
    check[31] |= in[31] & 0x80;
    if (std::memcmp(check, in, 32) != 0) return false;  // y >= p
    const Fe one = FeSmall(1);
    const Fe yy = Mul(y, y);
    const Fe u = Sub(yy, one);
    const Fe v = Add(Mul(kD, yy), one);
    // x = u v^3 (u v^7)^((p - 5) / 8), then fix by sqrt(-1) when x^2 = -u/v.
    const Fe v3 = Mul(Mul(v, v), v);
    Fe x = Mul(Mul(u, v3), Pow(Mul(Mul(u, v3), Mul(v3, v)), 252, 1, -1));
    const Fe vxx = Mul(v, Mul(x, x));
    if (!Equal(vxx, u)) {
        if (!Equal(vxx, Sub(FeSmall(0), u))) return false;
        x = Mul(x, kSqrtM1);
    }
    const int sign = in[31] >> 7;
    if (sign == 1 && Equal(x, FeSmall(0))) return false;
    if (Parity(x) != sign) x = Sub(FeSmall(0), x);
    p = {x, y, one, Mul(x, y)};
    return true;
}

bool SmallOrder(const Point& p) {
    Point q = p;
    for (int i = 0; i < 3; ++i) q = AddPoints(q, q);
    const uint8_t identity[32] = {1};
    uint8_t e[32];
    Encode(e, q);
    return std::memcmp(e, identity, 32) == 0;
}

Point Base() {
    uint8_t b[32];
    std::memset(b, 0x66, 32);
    b[0] = 0x58;  // y = 4/5, x even
    Point p;
    Decode(p, b);
    return p;
}

// ---- Scalars modulo L = 2^252 + 27742317777372353535851937790883648493, as 32-bit limbs ----

const uint32_t kL[8] = {0x5cf5d3ed, 0x5812631a, 0xa2f79cd6, 0x14def9de, 0, 0, 0, 0x10000000};

// r = n mod L for a 512-bit little-endian n, one bit at a time: r = 2r + bit, then r - L kept when
// it does not borrow, by mask, so a secret n steers no branch.
void ReduceModL(uint8_t out[32], const uint32_t n[16]) {
    uint32_t r[8] = {};
    for (int i = 511; i >= 0; --i) {
        uint32_t carry = (n[i / 32] >> (i % 32)) & 1;
        for (int j = 0; j < 8; ++j) {
            const uint32_t top = r[j] >> 31;
            r[j] = r[j] << 1 | carry;
            carry = top;
        }
        uint32_t m[8];
        uint64_t borrow = 0;
        for (int j = 0; j < 8; ++j) {
            const uint64_t d = uint64_t(r[j]) - kL[j] - borrow;
            m[j] = static_cast<uint32_t>(d);
            borrow = (d >> 32) & 1;
        }
        const uint32_t keep = static_cast<uint32_t>(borrow) - 1;  // all ones when r >= L
        for (int j = 0; j < 8; ++j) r[j] = (m[j] & keep) | (r[j] & ~keep);
    }
    for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(r[i / 4] >> (8 * (i % 4)));
}

void Words(uint32_t* out, const uint8_t* in, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = in[4 * i] | uint32_t(in[4 * i + 1]) << 8 | uint32_t(in[4 * i + 2]) << 16 | uint32_t(in[4 * i + 3]) << 24;
}

// SHA-512 of the parts, reduced mod L.
void HashModL(uint8_t out[32], const uint8_t* a, size_t na, const uint8_t* b, size_t nb, const std::string& m) {
    Sha512 hash;
    hash.Update(a, na);
    hash.Update(b, nb);
    hash.Update(m.data(), m.size());
    const std::string digest = hash.Final();
    uint32_t n[16];
    Words(n, reinterpret_cast<const uint8_t*>(digest.data()), 16);
    ReduceModL(out, n);
}

// (r + k s) mod L.
void MulAddModL(uint8_t out[32], const uint8_t r[32], const uint8_t k[32], const uint8_t s[32]) {
    uint32_t rw[8], kw[8], sw[8], n[16] = {};
    Words(rw, r, 8);
    Words(kw, k, 8);
    Words(sw, s, 8);
    for (int i = 0; i < 8; ++i) n[i] = rw[i];
    for (int i = 0; i < 8; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 8; ++j) {
            const uint64_t t = uint64_t(kw[i]) * sw[j] + n[i + j] + carry;
            n[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        for (int j = i + 8; j < 16; ++j) {
            const uint64_t t = uint64_t(n[j]) + carry;
            n[j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
    }
    ReduceModL(out, n);
}

// The secret scalar (clamped) and the nonce prefix from the seed.
void Expand(uint8_t scalar[32], uint8_t prefix[32], const Ed25519Seed& seed) {
    Sha512 hash;
    hash.Update(seed.data(), seed.size());
    const std::string h = hash.Final();
    std::memcpy(scalar, h.data(), 32);
    std::memcpy(prefix, h.data() + 32, 32);
    scalar[0] &= 248;
    scalar[31] &= 127;
    scalar[31] |= 64;
}

}  // namespace

Ed25519Public Ed25519PublicKey(const Ed25519Seed& seed) {
    uint8_t scalar[32], prefix[32];
    Expand(scalar, prefix, seed);
    Ed25519Public a;
    Encode(a.data(), ScalarMul(Base(), scalar));
    return a;
}

Ed25519Signature Ed25519Sign(const Ed25519Seed& seed, const std::string& message) {
    uint8_t scalar[32], prefix[32], a[32], r[32], k[32];
    Expand(scalar, prefix, seed);
    const Point base = Base();
    Encode(a, ScalarMul(base, scalar));
    HashModL(r, prefix, 32, nullptr, 0, message);
    Ed25519Signature sig;
    Encode(sig.data(), ScalarMul(base, r));
    HashModL(k, sig.data(), 32, a, 32, message);
    MulAddModL(sig.data() + 32, r, k, scalar);
    return sig;
}

bool Ed25519Verify(const Ed25519Public& publicKey, const std::string& message, const Ed25519Signature& signature) {
    const uint8_t* s = signature.data() + 32;
    // S < L, compared from the top byte down.
    for (int i = 31; i >= 0; --i) {
        const uint8_t l = static_cast<uint8_t>(kL[i / 4] >> (8 * (i % 4)));
        if (s[i] < l) break;
        if (s[i] > l || i == 0) return false;
    }
    Point a, r;
    if (!Decode(a, publicKey.data()) || SmallOrder(a)) return false;
    if (!Decode(r, signature.data()) || SmallOrder(r)) return false;
    uint8_t k[32];
    HashModL(k, signature.data(), 32, publicKey.data(), 32, message);
    // [S]B - [k]A, whose encoding must be R's bytes.
    a.x = Sub(FeSmall(0), a.x);
    a.t = Sub(FeSmall(0), a.t);
    uint8_t check[32];
    Encode(check, AddPoints(ScalarMul(Base(), s), ScalarMul(a, k)));
    return std::memcmp(check, signature.data(), 32) == 0;
}

}  // namespace vel
