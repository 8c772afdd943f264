// Scrambled tokens and the tokened texts of update and inform files: the item unscrambling, the
// whole-text descrambling, the split into token and remainder, and the product-token check.
// Input: an item up to "\n", then the text of a fetched file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "autoupdate/UpdateTexts.h"
#include "package/PackageFormat.h"
#include "util/StrUtils.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const std::string item = in.TextUntil('\n');
    const std::string text = in.Rest();

    std::string clear;
    const bool decoded = TryUnscrambleItem(item, clear);
    if (decoded) {
        VEL_FUZZ_CHECK(clear.size() <= item.size() / 2);
        VEL_FUZZ_CHECK(UnscrambleItem(item) == clear);
    } else {
        VEL_FUZZ_CHECK(clear.empty());
    }
    // Any text scrambles into an item that gives it back.
    std::string back;
    VEL_FUZZ_CHECK(TryUnscrambleItem(ScrambleItem(item), back) && back == item);

    const TokenedText t = SplitTokenedText(text);
    if (t.tokenDecoded) VEL_FUZZ_CHECK(t.token.size() <= text.size());
    VEL_FUZZ_CHECK(t.remainder.size() <= text.size() + 1);
    const bool match = ProductTokenMatches(item, t.token, t.tokenDecoded);
    if (match) VEL_FUZZ_CHECK(decoded && t.tokenDecoded && clear == t.token);

    // The whole-text scrambling is undone first; hex and raw forms both give the text back.
    const std::string plain = ScrambleText(text, false, true);
    (void)plain;
    // A text already marked as scrambled is left as it is by the scrambling.
    if (!StartsWith("Scrambled=01", item, false)) {
        VEL_FUZZ_CHECK(ScrambleText(ScrambleText(item, true, true), false, true) == item);
        VEL_FUZZ_CHECK(ScrambleText(ScrambleText(item, true, false), false, false) == item);
    }
    return 0;
}
