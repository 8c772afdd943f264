#pragma once
// The markup message box without its window: text markup, heading, button sets, key decisions
// and layout arithmetic. Portable: no Windows API. Nothing here throws.
//
// Markup: "\\n" (backslash, backslash, n) and "<P>" break the line, "\\t" and "<T>" are a tab,
// "<B>" ... "</B>" is bold (tags in any letter case; no nesting).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vel {

// Button captions in the order OK, Cancel, Yes, No, Abort, Retry, Ignore; "&" marks the mnemonic.
extern const char kDefaultButtonList[];    // "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"
// Default captions of error, attention and confirmation boxes.
extern const char kDefaultCaptionList[];   // "|Error|Attention|Confirm|"

// Style flags: the system message-box bit layout plus the program's own no-close bit.
constexpr uint32_t kMbButtonSetMask = 0x0F;
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbAbortRetryIgnore = 0x02;
constexpr uint32_t kMbYesNoCancel = 0x03;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbRetryCancel = 0x05;
constexpr uint32_t kMbIconMask = 0xF0;
constexpr uint32_t kMbIconHand = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconAsterisk = 0x40;
constexpr uint32_t kMbDefaultButtonMask = 0xF00;
constexpr uint32_t kMbRight = 0x80000;
constexpr uint32_t kMbRtlReading = 0x100000;
constexpr uint32_t kMbNoClose = 0x10000000;

// Result codes (the system dialog codes); 0 = closed without a button.
enum MsgResult : int {
    kResultNone = 0,
    kResultOk = 1,
    kResultCancel = 2,
    kResultAbort = 3,
    kResultRetry = 4,
    kResultIgnore = 5,
    kResultYes = 6,
    kResultNo = 7,
};

// ---------------------------------------------------------------- markup

// Line-break and tab escapes expanded: "\\n" and "\\t" (case-sensitive), "<P>" and "<T>" (any case).
std::string ExpandMsgEscapes(const std::string& text);

// A bold run of the converted text: 0-based character positions, end not included.
struct BoldRange {
    int start = 0;
    int end = 0;
};

struct MarkupText {
    std::string text;               // without tags
    std::vector<BoldRange> bold;    // in text order, never empty, never overlapping
};

// Removes the bold tags. Each "<B>" pairs with the first "</B>" after it; a "<B>" inside an open
// run and a "</B>" with no open run are dropped; a run that is never closed is not bold.
MarkupText ParseBoldTags(const std::string& text);

// Everything the box does to a message text: escapes, the heading prefix "<<b>" reduced to
// "<b>", then the bold tags.
MarkupText ConvertMsgMarkup(const std::string& text);

// Heading mode: the caption in bold (upper-cased when it is one of the default captions), a
// blank line, then the text.
std::string ComposeHeadingText(const std::string& caption, const std::string& text);

// ---------------------------------------------------------------- buttons

struct ButtonDef {
    int listItem = 0;   // item of the button list that is its caption
    int result = 0;     // result code it returns
};

struct ButtonSet {
    int count = 0;
    ButtonDef buttons[3];
};

// The buttons of the button set in the low four bits of the flags, left to right.
ButtonSet ButtonSetOf(uint32_t flags);

// Captions of a button set taken from a button list (missing items are empty).
std::vector<std::string> ButtonCaptions(const ButtonSet& set, const std::string& buttonList);

// Index of the default button, or -1 when there are no buttons.
int DefaultButtonIndex(uint32_t flags, int buttonCount);

// Flags after the charset: Hebrew (177) and Arabic (178) add right alignment and RTL reading.
uint32_t FlagsForCharset(uint32_t flags, int charset);

// ---------------------------------------------------------------- key decisions

// Alt with character c (WM_SYSCHAR): the leftmost button whose caption's second character is c
// or c upper-cased; -1 when none.
int ButtonForSysChar(const std::vector<std::string>& captions, char c);

// A key pressed alone: when the key code is a letter key (A..Z), the button whose mnemonic (the
// character after the first "&", else the first character) is that letter; of several, the last.
// -1 otherwise.
int ButtonForLetterKey(const std::vector<std::string>& captions, unsigned keyCode);

// Focus movement: the index after stepping by delta (-1 or +1) from current (-1 = no button
// has the focus), wrapping around; -1 when there are no buttons.
int NextFocusIndex(int current, int delta, int buttonCount);

// ---------------------------------------------------------------- layout

constexpr int kMsgWrapWidth = 600;     // longest line before the text wraps
constexpr int kMsgMinBoxWidth = 360;
constexpr int kMsgIconBand = 54;       // coloured band at the left with the icon
constexpr int kMsgButtonWidth = 70;
constexpr int kMsgButtonHeight = 23;

struct Size {
    int cx = 0;
    int cy = 0;
};

struct Rect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// The text's size from the width of each line: pieces between CR LF (a last empty piece does
// not count); each piece adds one line height per started 600 pixels, the width is the widest
// piece + 10, at most 600. An empty text is measured as " ".
Size MeasureTextLines(const std::string& text, int lineHeight,
                      const std::function<int(const std::string&)>& lineWidth);

// Line height of the box font: height + external leading, one more for "MS PGothic".
int MsgLineHeight(int tmHeight, int tmExternalLeading, const std::string& faceName);

// Width for a text control that holds bold runs: widened in steps of 10 pixels until the control
// asks for no more than height h. requestAt(width) sets the control to width x h and returns the
// size it last asked for.
int WidenForBold(int w, int h, const std::function<Size(int width)>& requestAt);

// Outer size of the box for a text control of cw x ch.
Size MsgBoxOuterSize(int cw, int ch, int cxFrame, int cyFrame, int cyCaption);

// Place of the text control in a client area of W x H.
Rect MsgTextRect(int clientW, int clientH, int cw, int ch);

// Place of button index of count in a client area of W x H: the last one 80 pixels from the
// right edge, the others touching it to the left.
Rect MsgButtonRect(int index, int count, int clientW, int clientH);

}  // namespace vel
