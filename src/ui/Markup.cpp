// Markup, buttons, keys and layout of the message box, kept apart from its window.
#include "ui/Markup.h"

#include <algorithm>

#include "util/Catch.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {

const char kDefaultButtonList[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char kDefaultCaptionList[] = "|Error|Attention|Confirm|";

namespace {

// Items of the button list (OK, Cancel, Yes, No, Abort, Retry, Ignore).
enum ButtonItem { kItemOk = 0, kItemCancel, kItemYes, kItemNo, kItemAbort, kItemRetry, kItemIgnore };

char UpChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool TagAt(const std::string& upper, size_t i, const char* tag) {
    return upper.compare(i, std::char_traits<char>::length(tag), tag) == 0;
}

}  // namespace

// ---------------------------------------------------------------- markup

std::string ExpandMsgEscapes(const std::string& text) {
    std::string t = ReplaceAll(text, "\\\\n", "\r\n");
    t = ReplaceAll(t, "\\\\t", "\t");
    t = ReplaceAllCI(t, "<P>", "\r\n");
    return ReplaceAllCI(t, "<T>", "\t");
}

MarkupText ParseBoldTags(const std::string& text) {
    MarkupText out;
    VEL_TRY {
        const std::string upper = UpperCase(text);
        out.text.reserve(text.size());
        int open = -1;  // where the current bold run starts in out.text
        size_t i = 0;
        while (i < text.size()) {
            if (TagAt(upper, i, "<B>")) {
                if (open < 0) open = static_cast<int>(out.text.size());
                i += 3;
            } else if (TagAt(upper, i, "</B>")) {
                const int end = static_cast<int>(out.text.size());
                if (open >= 0 && end > open) out.bold.push_back(BoldRange{open, end});
                open = -1;
                i += 4;
            } else {
                out.text += text[i++];
            }
        }
    } VEL_CATCH_ALL {  // out of memory: the text as it came, nothing bold
        out.bold.clear();
        out.text = text;
    }
    return out;
}

MarkupText ConvertMsgMarkup(const std::string& text) {
    std::string t = ExpandMsgEscapes(text);
    if (StartsWith("<<b>", t, false)) t.erase(0, 1);
    return ParseBoldTags(t);
}

std::string ComposeHeadingText(const std::string& caption, const std::string& text) {
    const bool known = PosEx(caption, kDefaultCaptionList, 1, false) > 0;
    return "<<b>" + (known ? UpperCase(caption) : caption) + "</b><P><P>" + text + "<P>";
}

// ---------------------------------------------------------------- buttons

ButtonSet ButtonSetOf(uint32_t flags) {
    ButtonSet set;
    auto add = [&set](int item, int result) { set.buttons[set.count++] = ButtonDef{item, result}; };
    switch (flags & kMbButtonSetMask) {
        case 0: add(kItemOk, kResultOk); break;
        case 1: add(kItemOk, kResultOk); add(kItemCancel, kResultCancel); break;
        case 2: add(kItemAbort, kResultAbort); add(kItemRetry, kResultRetry); add(kItemIgnore, kResultIgnore); break;
        case 3: add(kItemYes, kResultYes); add(kItemNo, kResultNo); add(kItemCancel, kResultCancel); break;
        case 4: add(kItemYes, kResultYes); add(kItemNo, kResultNo); break;
        case 5: add(kItemRetry, kResultRetry); add(kItemCancel, kResultCancel); break;
        default: break;  // 6 to 15: no buttons
    }
    return set;
}

std::vector<std::string> ButtonCaptions(const ButtonSet& set, const std::string& buttonList) {
    std::vector<std::string> captions;
    VEL_TRY {
        for (int i = 0; i < set.count; ++i) captions.push_back(SUB::Item(buttonList, set.buttons[i].listItem));
    } VEL_CATCH_ALL {
        captions.clear();
    }
    return captions;
}

int DefaultButtonIndex(uint32_t flags, int buttonCount) {
    if (buttonCount <= 0) return -1;
    return static_cast<int>((flags & kMbDefaultButtonMask) >> 8) % buttonCount;
}

uint32_t FlagsForCharset(uint32_t flags, int charset) {
    if (charset == 177 || charset == 178) flags |= kMbRight | kMbRtlReading;
    return flags;
}

// ---------------------------------------------------------------- key decisions

int ButtonForSysChar(const std::vector<std::string>& captions, char c) {
    int chosen = -1;
    for (int i = static_cast<int>(captions.size()) - 1; i >= 0; --i) {
        const std::string& cap = captions[static_cast<size_t>(i)];
        if (cap.size() >= 2 && (cap[1] == c || cap[1] == UpChar(c))) chosen = i;
    }
    return chosen;
}

int ButtonForLetterKey(const std::vector<std::string>& captions, unsigned keyCode) {
    // Only the letter keys themselves: numeric-pad and function keys have codes whose low byte
    // is a lower-case letter, and must not choose a button.
    const char key = static_cast<char>(keyCode & 0xFF);
    if (key < 'A' || key > 'Z') return -1;
    int chosen = -1;
    for (size_t i = 0; i < captions.size(); ++i) {
        const std::string& cap = captions[i];
        const size_t amp = cap.find('&');
        const size_t at = amp == std::string::npos ? 0 : amp + 1;
        if (at < cap.size() && UpChar(cap[at]) == key) chosen = static_cast<int>(i);
    }
    return chosen;
}

int NextFocusIndex(int current, int delta, int buttonCount) {
    if (buttonCount <= 0) return -1;
    int next = current + delta;
    while (next < 0) next += buttonCount;
    return next % buttonCount;
}

// ---------------------------------------------------------------- layout

Size MeasureTextLines(const std::string& text, int lineHeight,
                      const std::function<int(const std::string&)>& lineWidth) {
    Size size;
    VEL_TRY {
        const std::string t = text.empty() ? std::string(" ") : text;
        size_t start = 0;
        for (;;) {
            const size_t br = t.find("\r\n", start);
            const bool last = br == std::string::npos;
            const std::string piece = t.substr(start, last ? std::string::npos : br - start);
            if (!(last && piece.empty())) {
                const int cx = std::max(0, lineWidth(piece));
                size.cx = std::max(size.cx, cx + 10);
                size.cy += (cx / kMsgWrapWidth + 1) * lineHeight;
            }
            if (last) break;
            start = br + 2;
        }
    } VEL_CATCH_ALL {  // out of memory: measure what was counted so far
    }
    size.cx = std::min(size.cx, kMsgWrapWidth);
    return size;
}

int MsgLineHeight(int tmHeight, int tmExternalLeading, const std::string& faceName) {
    return tmHeight + tmExternalLeading + (SameTextTrimmed(faceName, "MS PGothic") ? 1 : 0);
}

int WidenForBold(int w, int h, const std::function<Size(int width)>& requestAt) {
    int widest = w;
    for (int i = 0; i <= 20; ++i) {
        const Size asked = requestAt(w + 10 * i);
        if (asked.cy <= h) return w + 10 * i;
        widest = std::max(widest, asked.cx);
    }
    return widest + 10;
}

Size MsgBoxOuterSize(int cw, int ch, int cxFrame, int cyFrame, int cyCaption) {
    const int m = cw < 200 ? 64 : 32;
    const int v = ch < 39 ? 45 : 32;
    Size box;
    box.cx = std::max(kMsgMinBoxWidth, cw + kMsgIconBand + 2 * m + 2 * cxFrame);
    box.cy = ch + 36 + 2 * v + 2 * cyFrame + cyCaption;
    return box;
}

Rect MsgTextRect(int clientW, int clientH, int cw, int ch) {
    Rect r;
    r.x = kMsgIconBand + (clientW - kMsgIconBand - cw) / 2;
    r.y = (clientH - 36 - ch) / 2;
    r.cx = cw;
    r.cy = clientH - r.y - 39;
    return r;
}

Rect MsgButtonRect(int index, int count, int clientW, int clientH) {
    Rect r;
    r.x = clientW - 80 - kMsgButtonWidth * (count - 1 - index);
    r.y = clientH - 29;
    r.cx = kMsgButtonWidth;
    r.cy = kMsgButtonHeight;
    return r;
}

}  // namespace vel
