// Message markup, button sets, key decisions and layout arithmetic of the message box.
#include "ui/Markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vel {
namespace {

struct MarkupCase {
    const char* name;
    std::string input;
    std::string text;
    std::vector<std::pair<int, int>> bold;
};

std::vector<std::pair<int, int>> Ranges(const MarkupText& m) {
    std::vector<std::pair<int, int>> r;
    for (const BoldRange& b : m.bold) r.emplace_back(b.start, b.end);
    return r;
}

TEST(MsgMarkup, ConversionTable) {
    const MarkupCase cases[] = {
        {"line-break escape", "one\\\\ntwo", "one\r\ntwo", {}},
        {"tab escape", "a\\\\tb", "a\tb", {}},
        {"upper-case N is no escape", "a\\\\Nb\\\\Tc", "a\\\\Nb\\\\Tc", {}},
        {"single backslash is no escape", "a\\nb", "a\\nb", {}},
        {"paragraph upper", "one<P>two", "one\r\ntwo", {}},
        {"paragraph lower", "one<p>two", "one\r\ntwo", {}},
        {"tab tag both cases", "a<T>b<t>c", "a\tb\tc", {}},
        {"bold, mixed tag case", "say <b>hello</B> now", "say hello now", {{4, 9}}},
        {"two runs", "<B>a</B> b <b>c</b>", "a b c", {{0, 1}, {4, 5}}},
        {"close before the only open", "x </B>word<B> y", "x word y", {}},
        {"open without close", "<b>open only", "open only", {}},
        {"empty run", "<B></B>x", "x", {}},
        {"stray close does not cancel a later run", "</B>x<B>y</B>", "xy", {{1, 2}}},
        {"no nesting: inner open merges", "<B>a<B>b</B>c</B>", "abc", {{0, 2}}},
        {"line break counts two characters", "l1<P><B>bold</B>", "l1\r\nbold", {{4, 8}}},
        {"heading prefix", "<<b>ERROR</b><P><P>text<P>", "ERROR\r\n\r\ntext\r\n", {{0, 5}}},
        {"heading prefix is case-sensitive", "<<B>x</B>", "<x", {{1, 2}}},
        {"empty", "", "", {}},
    };
    for (const MarkupCase& c : cases) {
        const MarkupText m = ConvertMsgMarkup(c.input);
        EXPECT_EQ(m.text, c.text) << c.name;
        EXPECT_EQ(Ranges(m), c.bold) << c.name;
    }
}

TEST(MsgMarkup, HeadingUpperCasesOnlyTheDefaultCaptions) {
    const struct {
        const char* caption;
        const char* heading;
    } cases[] = {{"Error", "ERROR"}, {"Attention", "ATTENTION"}, {"Confirm", "CONFIRM"},
                 {"Setup", "Setup"}, {"error", "error"}};
    for (const auto& c : cases) {
        const std::string heading = c.heading;
        const MarkupText m = ConvertMsgMarkup(ComposeHeadingText(c.caption, "Disk full"));
        EXPECT_EQ(m.text, heading + "\r\n\r\nDisk full\r\n") << c.caption;
        EXPECT_EQ(Ranges(m), (std::vector<std::pair<int, int>>{{0, static_cast<int>(heading.size())}})) << c.caption;
    }
}

TEST(MsgButtons, SetsCaptionsAndResults) {
    const struct {
        uint32_t flags;
        std::vector<std::string> captions;
        std::vector<int> results;
    } cases[] = {
        {0x00, {"&OK"}, {1}},
        {0x01, {"&OK", "&Cancel"}, {1, 2}},
        {0x02, {"&Abort", "&Retry", "&Ignore"}, {3, 4, 5}},
        {0x03, {"&Yes", "&No", "&Cancel"}, {6, 7, 2}},
        {0x24, {"&Yes", "&No"}, {6, 7}},  // icon bits do not matter
        {0x05, {"&Retry", "&Cancel"}, {4, 2}},
        {0x06, {}, {}},
        {0x0F, {}, {}},
    };
    for (const auto& c : cases) {
        const ButtonSet set = ButtonSetOf(c.flags);
        EXPECT_EQ(ButtonCaptions(set, kDefaultButtonList), c.captions) << c.flags;
        std::vector<int> results;
        for (int i = 0; i < set.count; ++i) results.push_back(set.buttons[i].result);
        EXPECT_EQ(results, c.results) << c.flags;
    }
    // A short custom list: the missing items are empty captions.
    EXPECT_EQ(ButtonCaptions(ButtonSetOf(3), "|Ja|Abbrechen|Ja!|Nein|"),
              (std::vector<std::string>{"Ja!", "Nein", "Abbrechen"}));
    EXPECT_EQ(ButtonCaptions(ButtonSetOf(2), "|&OK|"), (std::vector<std::string>{"", "", ""}));
}

TEST(MsgButtons, DefaultIndexAndCharsetFlags) {
    EXPECT_EQ(DefaultButtonIndex(0x203, 3), 2);  // Yes/No/Cancel, third: Cancel
    EXPECT_EQ(DefaultButtonIndex(0x100, 1), 0);  // OK alone, second: wraps to OK
    EXPECT_EQ(DefaultButtonIndex(0x301, 2), 1);
    EXPECT_EQ(DefaultButtonIndex(0x000, 2), 0);
    EXPECT_EQ(DefaultButtonIndex(0x100, 0), -1);

    const uint32_t rtl = kMbRight | kMbRtlReading;
    EXPECT_EQ(FlagsForCharset(0x24, 177), 0x24u | rtl);
    EXPECT_EQ(FlagsForCharset(0x24, 178), 0x24u | rtl);
    for (int charset : {0, 1, 176, 179, 204}) EXPECT_EQ(FlagsForCharset(0x24, charset), 0x24u) << charset;
}

TEST(MsgKeys, AltCharacterAndLetterKeys) {
    const std::vector<std::string> yesNoCancel = {"&Yes", "&No", "&Cancel"};
    const std::vector<std::string> late = {"Re&try", "&Cancel"};        // "&" after the second character
    const std::vector<std::string> same = {"&Alpha", "&Again", "Other"}; // shared mnemonic
    const struct {
        const char* name;
        const std::vector<std::string>* captions;
        char sysChar;       // Alt with this character
        int bySysChar;
        unsigned key;       // key code pressed alone
        int byKey;
    } cases[] = {
        {"Alt+n / N chooses No", &yesNoCancel, 'n', 1, 'N', 1},
        {"upper-case Alt character", &yesNoCancel, 'Y', 0, 'Y', 0},
        {"no such mnemonic", &yesNoCancel, 'x', -1, 'X', -1},
        {"late &: second character / mnemonic", &late, 'e', 0, 'T', 0},
        {"late &: mnemonic with Alt / second character alone", &late, 't', -1, 'E', -1},
        {"shared: Alt leftmost, key last", &same, 'a', 0, 'A', 1},
        {"no & : first character", &same, 't', 2, 'O', 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ButtonForSysChar(*c.captions, c.sysChar), c.bySysChar) << c.name;
        EXPECT_EQ(ButtonForLetterKey(*c.captions, c.key), c.byKey) << c.name;
    }
    // Numeric-pad and function keys have codes whose low byte is a lower-case letter.
    const std::vector<std::string> abort = {"&Abort", "&Retry", "&Ignore"};
    EXPECT_EQ(ButtonForLetterKey(abort, 'A'), 0);
    for (unsigned key : {0x61u /* pad 1 */, 0x69u /* pad 9 */, 0x72u /* F3 */, 0x0Du, 0x1Bu})
        EXPECT_EQ(ButtonForLetterKey(abort, key), -1) << key;
    EXPECT_EQ(ButtonForLetterKey({"&", ""}, 'A'), -1);
}

TEST(MsgKeys, FocusMovesAround) {
    const struct {
        int current, delta, count, next;
    } cases[] = {
        {-1, +1, 3, 0}, {-1, -1, 3, 1}, {0, -1, 3, 2}, {2, +1, 3, 0},
        {1, +1, 3, 2},  {0, +1, 1, 0},  {-1, -1, 1, 0}, {0, +1, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NextFocusIndex(c.current, c.delta, c.count), c.next)
            << c.current << " " << c.delta << " " << c.count;
}

TEST(MsgLayout, MeasuresLinesAndWraps) {
    const int lh = 13;
    auto sevenPerChar = [](const std::string& s) { return static_cast<int>(s.size()) * 7; };
    const std::string longLine(100, 'x');   // 700 pixels
    const struct {
        const char* name;
        std::string text;
        int cx, cy;
    } cases[] = {
        {"empty measured as a blank", "", 17, lh},
        {"one word", "word", 38, lh},
        {"two lines", "a\r\nbcd", 31, 2 * lh},
        {"last empty piece does not count", "a\r\nb\r\n", 17, 2 * lh},
        {"inner empty piece counts", "a\r\n\r\nb", 17, 3 * lh},
        {"line over 600 pixels wraps", longLine, 600, 2 * lh},
        {"one line per started 600 pixels", std::string(172, 'x') + "\r\nx", 600, 4 * lh},  // 1204 px
        {"lone LF is no break", "a\nb", 31, lh},
    };
    for (const auto& c : cases) {
        const Size s = MeasureTextLines(c.text, lh, sevenPerChar);
        EXPECT_EQ(s.cx, c.cx) << c.name;
        EXPECT_EQ(s.cy, c.cy) << c.name;
    }
    EXPECT_EQ(MsgLineHeight(13, 0, "Tahoma"), 13);
    EXPECT_EQ(MsgLineHeight(13, 2, " ms pgothic "), 16);
}

TEST(MsgLayout, BoxTextAndButtons) {
    // cw, ch, frame 4 x 4, caption 19.
    const struct {
        int cw, ch, boxW, boxH;
    } boxes[] = {
        {50, 13, 360, 13 + 36 + 90 + 8 + 19},    // one word: minimum width, wide margins
        {199, 38, 199 + 54 + 128 + 8, 38 + 36 + 90 + 8 + 19},
        {200, 39, 360, 39 + 36 + 64 + 8 + 19},         // narrow margins: 326 rises to the minimum
        {600, 120, 600 + 54 + 64 + 8, 120 + 36 + 64 + 8 + 19},
    };
    for (const auto& b : boxes) {
        const Size s = MsgBoxOuterSize(b.cw, b.ch, 4, 4, 19);
        EXPECT_EQ(s.cx, b.boxW) << b.cw;
        EXPECT_EQ(s.cy, b.boxH) << b.ch;
    }

    const Rect t = MsgTextRect(352, 128, 50, 13);
    EXPECT_EQ(t.x, 54 + 124);
    EXPECT_EQ(t.y, 39);
    EXPECT_EQ(t.cx, 50);
    EXPECT_EQ(t.cy, 128 - 39 - 39);
    EXPECT_EQ(MsgTextRect(352, 101, 300, 80).y, -7);  // truncates toward zero

    for (int i = 0; i < 3; ++i) {
        const Rect r = MsgButtonRect(i, 3, 352, 128);
        EXPECT_EQ(r.x, 352 - 80 - 70 * (2 - i));
        EXPECT_EQ(r.y, 99);
        EXPECT_EQ(r.cx, 70);
        EXPECT_EQ(r.cy, 23);
    }
    EXPECT_EQ(MsgButtonRect(0, 1, 352, 128).x, 272);
}

TEST(MsgLayout, WidensForBoldUntilTheTextFits) {
    // A control that needs 80 pixels to keep one line and reports the width it wants.
    std::vector<int> tried;
    auto control = [&tried](int width) {
        tried.push_back(width);
        return width >= 80 ? Size{80, 13} : Size{95, 26};
    };
    EXPECT_EQ(WidenForBold(55, 13, control), 85);
    EXPECT_EQ(tried, (std::vector<int>{55, 65, 75, 85}));

    // Never fits within 21 steps: the widest width asked for, plus 10.
    tried.clear();
    EXPECT_EQ(WidenForBold(10, 13, [&tried](int width) {
                  tried.push_back(width);
                  return Size{width + 500, 26};
              }),
              210 + 500 + 10);
    EXPECT_EQ(tried.size(), 21u);

    // A control that never asks (height 0) keeps the measured width.
    EXPECT_EQ(WidenForBold(40, 13, [](int) { return Size{}; }), 40);
}

}  // namespace
}  // namespace vel
