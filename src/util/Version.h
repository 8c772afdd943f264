#pragma once
// Version texts. Portable: no Windows API; never throws.
#include <string>

namespace vel {

// Normalises a version text: commas become dots, everything but digits and dots is dropped,
// the first `count` numbers (missing ones are 0) are written zero-padded to `width` digits and
// joined with ".". ("1,2,3,4", 2, 3) -> "01.02.03". Empty when count < 1.
std::string FormatVersion(const std::string& text, int width, int count);

}  // namespace vel
