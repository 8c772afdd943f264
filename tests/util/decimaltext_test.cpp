#include "util/DecimalText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

using namespace vel;

namespace {

uint64_t Bits(double v) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double FromBits(uint64_t b) {
    double v = 0;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Deterministic 64-bit sequence (splitmix64) so that a failure repeats.
struct Sequence {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

std::string CFixed(double v, int decimals) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

TEST(DecimalTextTest, FixedCases) {
    struct Case {
        double value;
        int decimals;
        const char* expected;
    } cases[] = {
        {0.125, 2, "0.12"},    {0.375, 2, "0.38"},     {2.5, 0, "2"},          {3.5, 0, "4"},  // exact ties: to even
        {2.345, 2, "2.35"},    {9.995, 2, "9.99"},     {99.5, 0, "100"},       {0.999, 2, "1.00"},
        {-0.001, 2, "-0.00"},  {-0.25, 2, "-0.25"},    {0.0, 3, "0.000"},      {-0.0, 1, "-0.0"},
        {1.5, -3, "2"},        {1e21, 0, "1000000000000000000000"},            {123456789.0, 1, "123456789.0"},
        {0.1, 20, "0.10000000000000000555"},           {1.0 / 3, 60, "0.333333333333333314829616256247390992939472198486328125000000"},
        {1.5, 99, "1.500000000000000000000000000000000000000000000000000000000000"},  // at most 60 decimals
    };
    for (const auto& c : cases) EXPECT_EQ(FixedDecimal(c.value, c.decimals), c.expected) << c.value;

    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FixedDecimal(inf, 2), "inf");
    EXPECT_EQ(FixedDecimal(-inf, 2), "-inf");
    EXPECT_EQ(FixedDecimal(std::numeric_limits<double>::quiet_NaN(), 2), "nan");
    EXPECT_EQ(FixedDecimal(std::numeric_limits<double>::max(), 0), CFixed(std::numeric_limits<double>::max(), 0));
    EXPECT_EQ(FixedDecimal(std::numeric_limits<double>::denorm_min(), 60), std::string("0.") + std::string(60, '0'));
}

TEST(DecimalTextTest, FixedMatchesPrintf) {
    // The C library's printf rounds the exact binary value to nearest, ties to even: the same rule.
    Sequence seq{12345};
    for (int i = 0; i < 20000; ++i) {
        const uint64_t r = seq.Next();
        double v;
        switch (i % 4) {
        case 0:  // any finite double
            v = FromBits(r);
            if (!std::isfinite(v)) continue;
            break;
        case 1:  // sizes and rates as the program shows them
            v = static_cast<double>(r % 100000000000ull) / static_cast<double>(1 + (r >> 40) % 1048576);
            break;
        case 2:  // values on exact decimal ties at a few decimals
            v = static_cast<double>(r % 100000) / 8.0;
            break;
        default:  // small magnitudes where all decimals count
            v = std::ldexp(static_cast<double>(r >> 11), -static_cast<int>(60 + r % 40));
            break;
        }
        const int decimals = static_cast<int>((r >> 7) % 21);
        ASSERT_EQ(FixedDecimal(v, decimals), CFixed(v, decimals)) << std::hexfloat << v << " decimals " << decimals;
    }
}

TEST(DecimalTextTest, ParseCases) {
    struct Case {
        const char* text;
        double expected;
    } cases[] = {
        {"6.2", 6.2},
        {"-3", -3},
        {"+.5", 0.5},
        {"1.", 1},
        {"1e3", 1000},
        {"2.5E-3", 0.0025},
        {"00012.50", 12.5},
        {"0.000", 0},
        {"9007199254740993", 9007199254740992.0},  // halfway between two doubles: to even
        {"9007199254740993.0000000000000000000000001", 9007199254740994.0},
        {"2.4703282292062327e-324", 0},  // just below half the smallest double
        {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"1e-400", 0},
    };
    for (const auto& c : cases) {
        double v = -99;
        EXPECT_TRUE(ParseDecimal(c.text, v)) << c.text;
        EXPECT_EQ(Bits(v), Bits(c.expected)) << c.text << " read as " << v;
    }
    double v = 0;
    ASSERT_TRUE(ParseDecimal("-0", v));
    EXPECT_TRUE(std::signbit(v));

    const char* bad[] = {"", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "1,5", "0x10", "inf", "-nan",
                         "1.8e308", "1e99999999999999999999"};
    for (const char* text : bad) {
        v = -99;
        EXPECT_FALSE(ParseDecimal(text, v)) << text;
        EXPECT_EQ(v, -99) << text;
    }
}

TEST(DecimalTextTest, ParseMatchesStrtod) {
    // Round trips through several precisions, and long digit strings that need every digit.
    Sequence seq{777};
    char text[1200];
    for (int i = 0; i < 20000; ++i) {
        const uint64_t r = seq.Next();
        const double v = FromBits(r);
        if (!std::isfinite(v)) continue;
        switch (i % 3) {
        case 0:
            std::snprintf(text, sizeof text, "%.*e", static_cast<int>(r % 25), v);
            break;
        case 1:
            std::snprintf(text, sizeof text, "%.17g", v);
            break;
        default: {
            // The exact midpoint between two neighbouring doubles (801 significant digits, more
            // than are kept), either as it is (a tie) or nudged up in its last digit.
            const double a = std::fabs(v);
            const double b = std::nextafter(a, std::numeric_limits<double>::infinity());
            if (!std::isfinite(b)) continue;
            const long double mid = (static_cast<long double>(a) + b) / 2;  // exact in 64 bits
            const int n = std::snprintf(text, sizeof text, "%.800Le", mid);
            if (n <= 0 || n >= static_cast<int>(sizeof text)) continue;
            char* e = std::strchr(text, 'e');
            if (!e) continue;
            if (r % 2 != 0) e[-1] = '1';
            break;
        }
        }
        const double expected = std::strtod(text, nullptr);
        if (!std::isfinite(expected)) continue;
        double got = 0;
        ASSERT_TRUE(ParseDecimal(text, got)) << text;
        ASSERT_EQ(Bits(got), Bits(expected)) << text;
    }
}

}  // namespace
