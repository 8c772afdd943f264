// Version texts.
#include "util/Version.h"

#include "util/Catch.h"
#include "util/SUB.h"

namespace vel {

std::string FormatVersion(const std::string& text, int width, int count) {
    if (count < 1) return "";
    VEL_TRY {
        std::string digits;
        for (char c : text) {
            if (c == ',') c = '.';
            if ((c >= '0' && c <= '9') || c == '.') digits += c;
        }
        const size_t first = digits.find_first_not_of('.');
        if (first == std::string::npos) digits.clear();
        else digits = digits.substr(first, digits.find_last_not_of('.') - first + 1);

        const std::string list = "." + digits + ".";
        std::string out;
        for (int i = 0; i < count; ++i) {
            std::string number = SUB::Item(list, i, "0");
            // Decimal writing of the number: no leading zeros (works for any length).
            const size_t nz = number.find_first_not_of('0');
            number = nz == std::string::npos ? "0" : number.substr(nz);
            if (width > 1 && number.size() < static_cast<size_t>(width))
                number.insert(0, static_cast<size_t>(width) - number.size(), '0');
            if (i > 0) out += '.';
            out += number;
        }
        return out;
    } VEL_CATCH_ALL {
        return "";
    }
}

}  // namespace vel
