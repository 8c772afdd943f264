// Exact double <-> decimal text. See DecimalText.h.
//
// Both directions work on the exact value with a small fixed-size big integer, so every result
// is correctly rounded: a double is m * 2^e exactly, and a decimal text is D * 10^E exactly.
#include "util/Catch.h"
#include "util/DecimalText.h"

#include <cstdint>
#include <cstring>

namespace vel {

namespace {

// Unsigned integer of up to kLimbs 32-bit limbs, least significant first. Large enough for every
// value the conversions below build (at most about 3800 bits); an operation that would not fit
// reports false and leaves the number unusable.
class BigNum {
public:
    static const int kLimbs = 128;

    explicit BigNum(uint64_t v = 0) { Set(v); }

    void Set(uint64_t v) {
        n_ = 0;
        if (v != 0) limb_[n_++] = static_cast<uint32_t>(v);
        if ((v >> 32) != 0) limb_[n_++] = static_cast<uint32_t>(v >> 32);
    }

    bool IsZero() const { return n_ == 0; }

    int BitLength() const {
        if (n_ == 0) return 0;
        int bits = 32 * (n_ - 1);
        for (uint32_t top = limb_[n_ - 1]; top != 0; top >>= 1) ++bits;
        return bits;
    }

    // this = this * factor + addend.
    bool MulAdd(uint32_t factor, uint32_t addend) {
        uint64_t carry = addend;
        for (int i = 0; i < n_; ++i) {
            const uint64_t v = static_cast<uint64_t>(limb_[i]) * factor + carry;
            limb_[i] = static_cast<uint32_t>(v);
            carry = v >> 32;
        }
        return carry == 0 || Push(static_cast<uint32_t>(carry));
    }

    // this = this * 10^count.
    bool MulPow10(int count) {
        for (; count >= 9; count -= 9)
            if (!MulAdd(1000000000u, 0)) return false;
        uint32_t rest = 1;
        while (count-- > 0) rest *= 10;
        return MulAdd(rest, 0);
    }

    bool ShiftLeft(int bits) {
        if (n_ == 0 || bits <= 0) return true;
        const int words = bits / 32;
        const int shift = bits % 32;
        const int top = n_ + words + (shift != 0 ? 1 : 0);
        if (top > kLimbs) return false;
        for (int i = top - 1; i >= 0; --i) {
            const int src = i - words;
            uint32_t v = 0;
            if (src >= 0 && src < n_) v = shift != 0 ? limb_[src] << shift : limb_[src];
            if (shift != 0 && src - 1 >= 0 && src - 1 < n_) v |= limb_[src - 1] >> (32 - shift);
            limb_[i] = v;
        }
        n_ = top;
        Trim();
        return true;
    }

    void ShiftRightOne() {
        for (int i = 0; i < n_; ++i) {
            limb_[i] >>= 1;
            if (i + 1 < n_) limb_[i] |= limb_[i + 1] << 31;
        }
        Trim();
    }

    // this = this / divisor; returns the remainder.
    uint32_t DivSmall(uint32_t divisor) {
        uint64_t rem = 0;
        for (int i = n_ - 1; i >= 0; --i) {
            const uint64_t cur = rem << 32 | limb_[i];
            limb_[i] = static_cast<uint32_t>(cur / divisor);
            rem = cur % divisor;
        }
        Trim();
        return static_cast<uint32_t>(rem);
    }

    // this -= other; requires this >= other.
    void Subtract(const BigNum& other) {
        int64_t borrow = 0;
        for (int i = 0; i < n_; ++i) {
            int64_t v = static_cast<int64_t>(limb_[i]) - borrow - (i < other.n_ ? other.limb_[i] : 0);
            borrow = v < 0 ? 1 : 0;
            if (v < 0) v += int64_t{1} << 32;
            limb_[i] = static_cast<uint32_t>(v);
        }
        Trim();
    }

    // The bits at and above position `bit` as a number (callers know it fits 32 bits); those bits
    // are cleared.
    uint32_t TakeHighBits(int bit) {
        const int word = bit / 32;
        const int shift = bit % 32;
        uint64_t high = 0;
        for (int i = n_ - 1; i >= word; --i) high = high << 32 | limb_[i];
        for (int i = word + 1; i < n_; ++i) limb_[i] = 0;
        if (word < n_) limb_[word] &= shift != 0 ? (uint32_t{1} << shift) - 1 : 0;
        Trim();
        return static_cast<uint32_t>(high >> shift);
    }

    static int Compare(const BigNum& a, const BigNum& b) {
        if (a.n_ != b.n_) return a.n_ < b.n_ ? -1 : 1;
        for (int i = a.n_ - 1; i >= 0; --i)
            if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
        return 0;
    }

    // Writes the decimal digits ("0" for zero) to out; returns their count (309 at most here).
    int Digits(char* out) const {
        char tmp[320];
        int pos = sizeof tmp;
        BigNum rest = *this;
        do {
            uint32_t chunk = rest.DivSmall(1000000000u);
            for (int i = 0; i < 9 && (chunk != 0 || !rest.IsZero()); ++i) {
                tmp[--pos] = static_cast<char>('0' + chunk % 10);
                chunk /= 10;
            }
        } while (!rest.IsZero());
        if (pos == static_cast<int>(sizeof tmp)) tmp[--pos] = '0';
        std::memcpy(out, tmp + pos, sizeof tmp - static_cast<size_t>(pos));
        return static_cast<int>(sizeof tmp) - pos;
    }

private:
    bool Push(uint32_t v) {
        if (n_ >= kLimbs) return false;
        limb_[n_++] = v;
        return true;
    }
    void Trim() {
        while (n_ > 0 && limb_[n_ - 1] == 0) --n_;
    }

    uint32_t limb_[kLimbs];
    int n_ = 0;
};

// Compares a (k-bit) fraction numerator with one half, 2^(k-1).
int CompareWithHalf(const BigNum& fraction, int k) {
    BigNum half(1);
    half.ShiftLeft(k - 1);
    return BigNum::Compare(fraction, half);
}

const int kMaxDigits = 800;  // more significant digits than any rounding decision needs (767)

// The double nearest to num / den (both non-zero), ties to even; false beyond the double range.
bool NearestDouble(const BigNum& num, const BigNum& den, bool negative, double& value) {
    // Scale by 2^s so that the quotient q has 53 bits; s = 1074 at most (subnormal numbers).
    int s = 52 - (num.BitLength() - den.BitLength());
    BigNum rem;
    BigNum divisor;
    uint64_t q = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (s > 1074) s = 1074;
        rem = num;
        divisor = den;
        if (!(s >= 0 ? rem.ShiftLeft(s) : divisor.ShiftLeft(-s))) return false;
        BigNum step = divisor;
        if (!step.ShiftLeft(53)) return false;
        q = 0;
        for (int bit = 53; bit >= 0; --bit) {
            if (BigNum::Compare(rem, step) >= 0) {
                rem.Subtract(step);
                q |= uint64_t{1} << bit;
            }
            step.ShiftRightOne();
        }
        if (q >= (uint64_t{1} << 52) || s == 1074) break;
        ++s;  // the estimate of s can be one short
    }
    // Round with the remainder: compare 2 * rem with the divisor.
    if (!rem.ShiftLeft(1)) return false;
    const int c = BigNum::Compare(rem, divisor);
    if (c > 0 || (c == 0 && (q & 1) != 0)) ++q;
    if (q == (uint64_t{1} << 53)) {
        q >>= 1;
        --s;
    }
    uint64_t bits = 0;
    if (q >= (uint64_t{1} << 52)) {
        const int biased = 52 - s + 1023;
        if (biased >= 2047) return false;
        bits = static_cast<uint64_t>(biased) << 52 | (q - (uint64_t{1} << 52));
    } else {
        bits = q;  // subnormal (s == 1074) or zero
    }
    if (negative) bits |= uint64_t{1} << 63;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::string FixedDecimalText(double value, int decimals) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int field = static_cast<int>(bits >> 52 & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (field == 0x7FF) return std::string(negative ? "-" : "") + (fraction != 0 ? "nan" : "inf");

    // value = m * 2^e exactly.
    const uint64_t m = field != 0 ? fraction | uint64_t{1} << 52 : fraction;
    const int e = field != 0 ? field - 1075 : -1074;
    BigNum whole;
    BigNum frac;  // fraction numerator over 2^k
    int k = 0;
    if (e >= 0) {
        whole.Set(m);
        whole.ShiftLeft(e);  // at most 1024 bits: 309 digits
    } else {
        k = -e;
        whole.Set(k < 64 ? m >> k : 0);
        frac.Set(k < 64 ? m & ((uint64_t{1} << k) - 1) : m);
    }

    // Digits go into buf[1 ..], keeping buf[0] for a carry out of the first digit.
    char buf[1 + 320 + 60];
    int length = 1 + whole.Digits(buf + 1);
    const int wholeEnd = length;
    for (int i = 0; i < decimals; ++i) {
        uint32_t digit = 0;
        if (!frac.IsZero()) {
            frac.MulAdd(10, 0);  // below 10 * 2^k: fits easily
            digit = frac.TakeHighBits(k);
        }
        buf[length++] = static_cast<char>('0' + digit);
    }
    int first = 1;
    if (!frac.IsZero()) {
        const int c = CompareWithHalf(frac, k);
        if (c > 0 || (c == 0 && (buf[length - 1] - '0') % 2 != 0)) {
            buf[0] = '0';
            int i = length - 1;
            while (buf[i] == '9') buf[i--] = '0';
            ++buf[i];
            if (i == 0) first = 0;
        }
    }
    std::string out(negative ? "-" : "");
    out.append(buf + first, static_cast<size_t>(wholeEnd - first));
    if (decimals > 0) {
        out += '.';
        out.append(buf + wholeEnd, static_cast<size_t>(decimals));
    }
    return out;
}

bool ParseDecimalText(const std::string& text, double& value) {
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // value = num * 10^exponent; num holds the significant digits (leading zeros dropped).
    BigNum num;
    int kept = 0;
    int64_t exponent = 0;
    bool sawDigit = false;
    bool sticky = false;  // a non-zero digit beyond kMaxDigits
    bool inFraction = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c == '.' && !inFraction) {
            inFraction = true;
            continue;
        }
        if (!IsDigitChar(c)) break;
        sawDigit = true;
        if (kept == 0 && c == '0') {
            if (inFraction) --exponent;
        } else if (kept < kMaxDigits) {
            num.MulAdd(10, static_cast<uint32_t>(c - '0'));  // 800 digits fit
            ++kept;
            if (inFraction) --exponent;
        } else {
            if (c != '0') sticky = true;
            if (!inFraction) ++exponent;
        }
    }
    if (!sawDigit) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) expNegative = text[i++] == '-';
        if (i >= n || !IsDigitChar(text[i])) return false;
        int64_t e = 0;
        for (; i < n && IsDigitChar(text[i]); ++i)
            if (e < 100000) e = e * 10 + (text[i] - '0');
        exponent += expNegative ? -e : e;
    }
    if (i != n) return false;

    if (num.IsZero()) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    if (sticky) {
        // Stands for the dropped tail: strictly above the kept digits, and still below the next
        // rounding boundary, so the rounding decision stays the same.
        num.MulAdd(10, 1);
        ++kept;
        --exponent;
    }
    const int64_t lead = kept + exponent;  // the value is below 10^lead
    if (lead > 310) return false;
    if (lead < -324) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    BigNum den(1);
    if (exponent > 0 && !num.MulPow10(static_cast<int>(exponent))) return false;
    if (exponent < 0 && !den.MulPow10(static_cast<int>(-exponent))) return false;
    double v = 0;
    if (!NearestDouble(num, den, negative, v)) return false;
    value = v;
    return true;
}

}  // namespace

std::string FixedDecimal(double value, int decimals) {
    VEL_TRY {
        return FixedDecimalText(value, decimals < 0 ? 0 : decimals > 60 ? 60 : decimals);
    } VEL_CATCH_ALL {  // out of memory for the text
        return std::string();
    }
}

bool ParseDecimal(const std::string& text, double& value) {
    VEL_TRY {
        return ParseDecimalText(text, value);
    } VEL_CATCH_ALL {
        return false;
    }
}

}  // namespace vel
