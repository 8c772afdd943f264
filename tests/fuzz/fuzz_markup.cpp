// The message box's markup: escapes, bold tags, the heading form, captions from a button list
// and the key decisions on them, and the line measuring. Input: one byte of style flags, one key
// byte, a caption (up to "\n"), a button list (up to "\n"), then the message text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ui/Markup.h"

using namespace vel;

namespace {

void CheckBold(const MarkupText& m) {
    int end = 0;
    for (const BoldRange& r : m.bold) {
        VEL_FUZZ_CHECK(r.start >= end && r.start < r.end && size_t(r.end) <= m.text.size());
        end = r.end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint32_t flags = in.Byte() | (uint32_t(in.Byte()) << 8);
    const uint8_t key = in.Byte();
    const std::string caption = in.TextUntil('\n');
    const std::string buttonList = in.TextUntil('\n');
    const std::string text = in.Rest();

    const std::string expanded = ExpandMsgEscapes(text);
    VEL_FUZZ_CHECK(expanded.size() <= text.size());
    const MarkupText bold = ParseBoldTags(text);
    CheckBold(bold);
    VEL_FUZZ_CHECK(bold.text.size() <= text.size());
    const MarkupText converted = ConvertMsgMarkup(text);
    CheckBold(converted);
    VEL_FUZZ_CHECK(converted.text.size() <= text.size());
    const MarkupText heading = ConvertMsgMarkup(ComposeHeadingText(caption, text));
    CheckBold(heading);

    const ButtonSet set = ButtonSetOf(flags);
    VEL_FUZZ_CHECK(set.count >= 0 && set.count <= 3);
    const std::vector<std::string> captions = ButtonCaptions(set, buttonList.empty() ? kDefaultButtonList : buttonList);
    VEL_FUZZ_CHECK(captions.size() == size_t(set.count));
    const int def = DefaultButtonIndex(flags, set.count);
    VEL_FUZZ_CHECK(set.count == 0 ? def == -1 : (def >= 0 && def < set.count));
    const int bySys = ButtonForSysChar(captions, char(key));
    VEL_FUZZ_CHECK(bySys >= -1 && bySys < set.count);
    const int byLetter = ButtonForLetterKey(captions, key);
    VEL_FUZZ_CHECK(byLetter >= -1 && byLetter < set.count);
    const int next = NextFocusIndex(int(key % 5) - 1, (key & 0x80) ? -1 : 1, set.count);
    VEL_FUZZ_CHECK(set.count == 0 ? next == -1 : (next >= 0 && next < set.count));
    (void)FlagsForCharset(flags, key);

    const Size s = MeasureTextLines(converted.text, 13, [](const std::string& line) { return int(line.size()) * 7; });
    VEL_FUZZ_CHECK(s.cx >= 0 && s.cx <= kMsgWrapWidth && s.cy >= 13);
    return 0;
}
