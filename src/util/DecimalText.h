#pragma once
// Exact conversions between doubles and decimal text, with "." as decimal point whatever the C
// locale says. Written out here so that the stub does not link the C library's printf and strtod
// machinery (tens of kilobytes) for a handful of numbers. Portable: no Windows API. No throws.
#include <string>

namespace vel {

// Fixed-point text with `decimals` digits after "." (clamped to 0 .. 60), the same digits as
// printf's "%.*f": the exact binary value rounded to nearest, ties to even. Negative values keep
// their sign even when they round to zero ("-0.00"). "inf", "-inf", "nan", "-nan" for the others.
// Empty only when memory runs out.
std::string FixedDecimal(double value, int decimals);

// Reads a whole text as a decimal number: an optional sign, digits with an optional "." (at least
// one digit), an optional exponent ("e" or "E", optional sign, digits). The result is the nearest
// double (ties to even); values below the smallest double read as 0. False, with value unchanged,
// for anything else (blanks, hex, "inf", "nan") and for numbers beyond the double range.
bool ParseDecimal(const std::string& text, double& value);

}  // namespace vel
