#include "util/StrUtils.h"

#include <climits>

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

using namespace vel;

namespace {

TEST(StrUtilsTest, Search) {
    struct Case {
        std::string sub, text;
        int from;
        bool ignoreCase;
        int expected;
    } cases[] = {
        {"b", "abcabc", 1, false, 2}, {"b", "abcabc", 3, false, 5}, {"B", "abcabc", 1, false, 0},
        {"B", "abcabc", 3, true, 5},  {"b", "abc", 0, false, 0},    {"b", "abc", 4, false, 0},
        {"", "abc", 1, false, 0},     {"abcd", "abc", 1, true, 0},  {"cA", "abCa", 1, true, 3},
        {"\xE4", "x\xC4\xE4", 1, true, 3},  // only a..z fold
    };
    for (const auto& c : cases)
        EXPECT_EQ(PosEx(c.sub, c.text, c.from, c.ignoreCase), c.expected) << c.sub << " in " << c.text;

    EXPECT_EQ(PosCI("LO", "hello"), 4);
    EXPECT_EQ(LastPos("ab", "abxab"), 4);
    EXPECT_EQ(LastPos("ab", "xyz"), 0);
    EXPECT_EQ(LastPos("aa", "aaa"), 2);

    EXPECT_TRUE(StartsWith("ab", "abc", false));
    EXPECT_FALSE(StartsWith("AB", "abc", false));
    EXPECT_TRUE(StartsWith("AB", "abc", true));
    EXPECT_FALSE(StartsWith("abcd", "abc", true));
    EXPECT_TRUE(EndsWith(".EXE", "setup.exe", true));
    EXPECT_FALSE(EndsWith(".EXE", "setup.exe", false));
    EXPECT_FALSE(EndsWith("xsetup.exe", "setup.exe", true));
    EXPECT_EQ(EndsWithCI(".Exe", "SETUP.EXE"), 1);
    EXPECT_EQ(EndsWithCI(".dll", "SETUP.EXE"), 0);
    EXPECT_TRUE(SameTextTrimmed("  Hello\t", "HELLO"));
    EXPECT_FALSE(SameTextTrimmed("Hel lo", "HELLO"));
}

TEST(StrUtilsTest, ReplaceText) {
    struct Case {
        std::string text, find, repl;
        int last, first;
        bool ignoreCase, trim;
        std::string expected;
    } cases[] = {
        {"aaa", "aa", "b", 0, 0, false, false, "ba"},
        {"aaa", "aa", "b", 0, 2, false, false, "ab"},  // only the (overlapping) second
        {"a.b.c.d", ".", "-", 0, 0, false, false, "a-b-c-d"},
        {"a.b.c.d", ".", "-", 2, 0, false, false, "a-b-c.d"},  // the first two
        {"a.b.c.d", ".", "-", 3, 2, false, false, "a.b-c-d"},
        {"a.b.c.d", ".", "-", 0, 3, false, false, "a.b.c-d"},
        {"a.b.c.d", ".", "-", 0, 4, false, false, "a.b.c.d"},
        {"Hello hello", "HELLO", "x", 0, 0, true, false, "x x"},
        {"Hello hello", "HELLO", "x", 0, 0, false, false, "Hello hello"},
        {" a ", "a", "b", 0, 0, false, true, "b"},
        {"abc", "", "x", 0, 0, false, false, "abc"},
        {"", "a", "x", 0, 0, false, false, ""},
        {"abab", "ab", "", 0, 0, false, false, ""},
        {"xyz", "y", "yyy", 0, 0, false, false, "xyyyz"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceText(c.text, c.find, c.repl, c.last, c.first, c.ignoreCase, c.trim), c.expected)
            << c.text << " " << c.find << " (" << c.last << "," << c.first << ")";

    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAllCI("%Temp%\\x%TEMP%", "%temp%", "C:"), "C:\\xC:");
    const std::string big(5000, 'a');
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += "bc";
    EXPECT_EQ(ReplaceAll(big, "a", "bc"), expected);
}

TEST(StrUtilsTest, ReplaceRepeatCharAndFilter) {
    struct Case {
        std::string text, find, repl;
        bool trim;
        std::string expected;
    } cases[] = {
        {"a   b", "  ", " ", false, "a b"},
        {"   ", "  ", " ", false, " "},
        {"a  b", " ", "  ", false, "a  b"},  // replacement holds the searched text: nothing changes
        {"|A   =1|B =2|", " =", "=", false, "|A=1|B=2|"},
        {"  x  ", "q", "", true, "x"},
        {"xxxxy", "xy", "y", false, "y"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceRepeat(c.text, c.find, c.repl, c.trim), c.expected) << c.text;
    EXPECT_EQ(ReplaceRepeat(std::string(20000, ' '), "  ", " ", false), " ");
    // A replacement that makes the text grow could go on for ever: each original occurrence once.
    EXPECT_EQ(ReplaceRepeat("aab", "ab", "bbaa", false), "abbaa");
    EXPECT_EQ(ReplaceRepeat("xabyab", "ab", "ba", false), "xbayba");

    EXPECT_EQ(ReplaceChar("a/b/c", '/', '\\'), "a\\b\\c");
    EXPECT_EQ(ReplaceChar("a/b", '/', '/'), "a/b");
    EXPECT_EQ(FilterChars("a1b2-c3", "0123456789-", "-"), "123");
    EXPECT_EQ(FilterChars("abc", "", ""), "");
}

TEST(StrUtilsTest, BeforeAfterReverse) {
    EXPECT_EQ(TextBefore("key = value", "=", "none", false), "key ");
    EXPECT_EQ(TextBefore("key = value", "=", "none", true), "key");
    EXPECT_EQ(TextBefore("novalue", "=", "none", true), "none");
    EXPECT_EQ(TextBefore("a::b::c", "::", "", false), "a");
    EXPECT_EQ(TextAfter("key = value", "=", "none", false, true), "value");
    EXPECT_EQ(TextAfter("Path=C:\\X", "path=", "none", true, false), "C:\\X");
    EXPECT_EQ(TextAfter("Path=C:\\X", "path=", "none", false, false), "none");
    EXPECT_EQ(TextAfter("a=", "=", "none", false, false), "");
    EXPECT_EQ(ReverseText("abc"), "cba");
    EXPECT_EQ(ReverseText(""), "");
}

TEST(StrUtilsTest, CaseAndTrim) {
    EXPECT_EQ(UpperCase("aZ1\xE4z"), "AZ1\xE4Z");
    EXPECT_EQ(LowerCase("aZ1\xC4Z"), "az1\xC4z");
    const std::string ctl = std::string("\0\t\r\n ", 5);
    EXPECT_EQ(Trim(ctl + "a b" + ctl), "a b");
    EXPECT_EQ(TrimLeft(ctl + "a "), "a ");
    EXPECT_EQ(TrimRight(" a" + ctl), " a");
    EXPECT_EQ(Trim(ctl), "");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // high bytes are text, not blanks
}

TEST(StrUtilsTest, TrimCharAndQuoting) {
    struct Case {
        std::string text;
        char c;
        bool always;
        std::string expected;
    } cases[] = {
        {"\"\"\"", '"', true, ""},       {"\"abc", '"', false, "\"abc"}, {"\"abc", '"', true, "abc"},
        {"\"a\"b\"", '"', false, "a\"b"}, {"\"", '"', false, ""},         {"x", 'x', false, ""},
        {"x", '"', true, "x"},           {"", '"', true, ""},            {"''a''", '\'', false, "a"},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimChar(c.text, c.c, c.always), c.expected) << c.text;

    EXPECT_EQ(Unquote("  \"C:\\Program Files\\x\"  ", false), "C:\\Program Files\\x");
    EXPECT_EQ(Unquote("\"half", false), "\"half");
    EXPECT_EQ(Unquote("\"half", true), "half");
    EXPECT_EQ(Quote("a b"), "\"a b\"");
    EXPECT_EQ(Quote("\"a b\""), "\"a b\"");
    EXPECT_EQ(Enclose("|a|", '|', true), "|a|");
    EXPECT_EQ(Enclose("a", '|', false), "|a|");
    EXPECT_EQ(Enclose("|a", '|', false), "||a|");
}

TEST(StrUtilsTest, Widths) {
    struct Case {
        std::string text;
        int width;
        std::string expected;
    } cases[] = {
        {"12", 5, "   12"},     {"abcdefg", -5, "abcd."}, {"abcde", -5, "abcde"}, {"ab", -5, "   ab"},
        {"abcdef", 3, "abcdef"}, {"abc", -2, "abc"},       {"abc", 0, "abc"},     {"", 2, "  "},
    };
    for (const auto& c : cases) EXPECT_EQ(PadLeft(c.text, c.width, ' '), c.expected) << c.text << " " << c.width;
    // The most negative width is no text's length: nothing is cut, and it is padded to 2^31.
    const std::string wide = PadLeft("abc", INT_MIN, '.');
    EXPECT_EQ(wide.size(), size_t(1) << 31);
    EXPECT_EQ(wide.compare(wide.size() - 4, 4, ".abc"), 0);
    EXPECT_EQ(ZeroPad("7", 3), "007");
    EXPECT_EQ(IntZeroPad(7, 2), "07");
    EXPECT_EQ(IntZeroPad(2026, 2), "2026");
    EXPECT_EQ(IntZeroPad(-5, 3), "-05");

    struct Th {
        std::string in, out;
    } th[] = {
        {"1234567.5", "1,234,567.5"}, {"123", "123"}, {"1234", "1,234"}, {"-1234567", "-1,234,567"},
        {"100000.12345", "100,000.12345"}, {"", ""}, {".5", ".5"},
    };
    for (const auto& c : th) EXPECT_EQ(InsertThousands(c.in), c.out);
}

TEST(StrUtilsTest, SizesAndFloats) {
    EXPECT_EQ(FormatKB(false, 0, 1025), "2");
    EXPECT_EQ(FormatKB(false, 2, 1025), "1.00");
    EXPECT_EQ(FormatKB(false, 0, 1024), "1");
    EXPECT_EQ(FormatKB(false, 0, 0), "0");
    EXPECT_EQ(FormatKB(false, 1, 1536), "1.5");
    EXPECT_EQ(FormatKB(false, 7, 1536), "1.5");
    EXPECT_EQ(FormatKB(false, 3, 1536), "1.500");
    EXPECT_EQ(FormatMB(true, 0, 5000.0 * 1048576 + 1), "5,001");
    EXPECT_EQ(FormatMB(true, 2, 1234.5 * 1048576), "1,234.50");
    EXPECT_EQ(FormatUnits(false, 1, 0, 3), "3.0");  // no division by zero

    struct Pf {
        std::string text;
        double expected;
    } pf[] = {
        {"1,5", 1.5}, {"1,234.5", 1234.5}, {"1,234", 1.234}, {" 2.25 ", 2.25}, {"-3", -3},
        {"abc", -99}, {"", -99},           {"1.5x", -99},    {"1.2.3", -99},
    };
    for (const auto& c : pf) EXPECT_DOUBLE_EQ(ParseFloatDot(c.text, -99), c.expected) << c.text;

    struct Ft {
        double value;
        int decimals;
        bool strip;
        std::string expected;
    } ft[] = {
        {1.5, 3, true, "1.5"}, {2, 3, true, "2"},       {0.5, 2, true, ".5"},  {0, 2, true, "0"},
        {10, 1, true, "10"},   {100, 0, true, "100"},   {1.5, 3, false, "1.500"}, {-0.25, 2, false, "-0.25"},
        {2.345, 2, false, "2.35"},
    };
    for (const auto& c : ft) EXPECT_EQ(FloatText(c.value, c.decimals, c.strip), c.expected) << c.value;

    // The user's decimal separator: zeros are stripped around it as around ".".
    SetDecimalSeparator(",");
    EXPECT_EQ(FloatText(1.5, 3, true), "1,5");
    EXPECT_EQ(FloatText(0.5, 2, true), ",5");
    EXPECT_EQ(FloatText(2, 3, true), "2");
    EXPECT_EQ(FloatText(1234.25, 2, false), "1234,25");
    SetDecimalSeparator("");
    EXPECT_EQ(FloatText(1.5, 3, false), "1.500");
}

TEST(StrUtilsTest, IntegerParsing) {
    struct Case {
        std::string text;
        int64_t expected;
    } hex[] = {
        {"0x1F", 31}, {"1f", 31}, {"0X1f", 31}, {" ff ", 255}, {"1G", -1}, {"", -1}, {"0x", -1},
        {"FFFFFFFFFFFFFFFF", -1}, {"10000000000000000", -1}, {"7FFFFFFFFFFFFFFF", INT64_MAX},
    };
    for (const auto& c : hex) EXPECT_EQ(HexToInt(c.text, -1), c.expected) << c.text;
    EXPECT_EQ(HexToInt("FFFFFFFFFFFFFFFF", 0), -1);  // all 64 bits set
    EXPECT_EQ(ParseInt("101", 2, -1), 5);
    EXPECT_EQ(ParseInt("12", 2, -1), -1);   // digit not below the base
    EXPECT_EQ(ParseInt("1A", 10, -1), -1);
    EXPECT_EQ(ParseInt("777", 8, -1), 511);
    EXPECT_EQ(ParseInt("1", 17, -1), -1);

    Case dec[] = {
        {"42", 42},
        {"  -42\t", -42},
        {"+7", 7},
        {"$1F", 31},
        {"0x1f", 31},
        {"-$10", -16},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", 5},
        {"99999999999999999999", 5},
        {"12a", 5},
        {"1 2", 5},
        {"", 5},
        {"-", 5},
        {"$", 5},
        {"$-1", 5},
        {"1.5", 5},
    };
    for (const auto& c : dec) EXPECT_EQ(StrToInt64Def(c.text, 5), c.expected) << c.text;
    EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
}

TEST(StrUtilsTest, HexDumpAndBytes) {
    const std::string bytes("\x00\x01\xAB\xFF", 4);
    EXPECT_EQ(HexDump(bytes, false, false), "0001ABFF");
    EXPECT_EQ(HexDump(bytes, true, true), "0x00 0x01 0xAB 0xFF ");
    EXPECT_EQ(HexDump(std::string(9, 'A'), true, false), "41 41 41 41 41 41 41 41  41 ");
    EXPECT_EQ(HexToBytes("0001abFF"), bytes);
    EXPECT_EQ(HexToBytes("41zz42"), std::string("A\xFF" "B"));
    EXPECT_EQ(HexToBytes("414"), "A");
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(HexToBytes(HexDump(all, false, false)), all);
}

TEST(StrUtilsTest, RandomAndSmallChoices) {
    std::set<int64_t> seen;
    for (int i = 0; i < 200; ++i) {
        const int64_t r = RandomInRange(-3, 3);
        EXPECT_GE(r, -3);
        EXPECT_LE(r, 3);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 7u);  // every value is reachable
    // Two calls in a row differ (a clock-seeded generator would repeat within one tick).
    std::set<int64_t> wide;
    for (int i = 0; i < 20; ++i) wide.insert(RandomInRange(0, INT64_MAX));
    EXPECT_GT(wide.size(), 15u);
    EXPECT_EQ(RandomInRange(5, 5), 5);
    EXPECT_EQ(RandomInRange(9, 2), 9);
    // The full range must not overflow its width (the sanitizers watch this call).
    std::set<int64_t> full;
    for (int i = 0; i < 10; ++i) full.insert(RandomInRange(INT64_MIN, INT64_MAX));
    EXPECT_GT(full.size(), 5u);
    const std::string t = RandomText(100, 999);
    EXPECT_EQ(t.size(), 3u);

    EXPECT_EQ(BoolText(true), "TRUE");
    EXPECT_EQ(BoolText(false), "FALSE");
    EXPECT_EQ(BoolDigit(true), "1");
    EXPECT_EQ(BoolDigit(false), "0");
    EXPECT_EQ(IfThenStr(false, "a", "b"), "b");
    EXPECT_EQ(IfThenInt(true, 1, 2), 1);
    EXPECT_EQ(IfThen64(false, 1, 2), 2);
    EXPECT_EQ(Min64(-1, 1), -1);
    EXPECT_EQ(Max64(-1, 1), 1);
    EXPECT_EQ(EnsureRange64(-5, 0, 10), 0);
    EXPECT_EQ(EnsureRange64(50, 0, 10), 10);
    EXPECT_EQ(EnsureRange64(5, 0, 10), 5);
    EXPECT_DOUBLE_EQ(ClampFloat(1.5, 0, 1), 1.0);
    EXPECT_DOUBLE_EQ(ClampFloat(NAN, 0, 1), 0.0);
}

TEST(StrUtilsTest, DateTimeValues) {
    struct Case {
        int y, mo, d, h, mi, s;
        double value;
    } cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},
        {1900, 1, 1, 0, 0, 0, 2.0},
        {1970, 1, 1, 12, 0, 0, 25569.5},
        {2000, 2, 29, 6, 0, 0, 36585.25},
        {2026, 12, 6, 0, 0, 0, 46362.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s), c.value) << c.y << "-" << c.mo;
        int y, mo, d, h, mi, s;
        DecodeDateTime(c.value, y, mo, d, h, mi, s);
        EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{c.y, c.mo, c.d, c.h, c.mi, c.s}));
    }
    // Invalid fields give 0 rather than a shifted date.
    EXPECT_EQ(EncodeDateTime(2023, 2, 29, 0, 0, 0), 0.0);
    EXPECT_EQ(EncodeDateTime(2023, 13, 1, 0, 0, 0), 0.0);
    EXPECT_EQ(EncodeDateTime(2023, 1, 1, 24, 0, 0), 0.0);

    // A value a hair below a full second reads as that second.
    int y, mo, d, h, mi, s;
    DecodeDateTime(EncodeDateTime(2024, 3, 1, 11, 59, 59) + 0.99999 / 86400, y, mo, d, h, mi, s);
    EXPECT_EQ(h * 3600 + mi * 60 + s, 12 * 3600);

    const double v = EncodeDateTime(2026, 12, 6, 9, 5, 7);
    EXPECT_EQ(DateText(v), "06-DEC-2026");
    EXPECT_EQ(DateTimeText(" ", v), "06-DEC-2026 09:05:07");
    EXPECT_EQ(StampText(v), "06/12/26 09:05:07");
    EXPECT_EQ(StampText(v, '.', '-'), "06.12.26 09-05-07");
    EXPECT_EQ(DateText(-5), "30-DEC-1899");          // clamped to 0
    EXPECT_EQ(DateText(2e7), DateText(10000000.0));  // clamped to the top

    // -1 means now.
    const double now = NowDateTime();
    EXPECT_GT(now, EncodeDateTime(2020, 1, 1, 0, 0, 0));
    int ny, nmo, nd, nh, nmi, ns;
    DecodeDateTime(-1, ny, nmo, nd, nh, nmi, ns);
    EXPECT_NEAR(EncodeDateTime(ny, nmo, nd, nh, nmi, ns), now, 5.0 / 86400);
}

TEST(StrUtilsTest, DosDateTime) {
    const double v = EncodeDateTime(2026, 12, 6, 9, 5, 7);
    const uint32_t dos = DateTimeToDos(v);
    EXPECT_EQ(dos >> 16, static_cast<uint32_t>((2026 - 1980) << 9 | 12 << 5 | 6));
    EXPECT_EQ(dos & 0xFFFF, static_cast<uint32_t>(9 << 11 | 5 << 5 | 3));
    EXPECT_DOUBLE_EQ(DosToDateTime(dos), EncodeDateTime(2026, 12, 6, 9, 5, 6));  // two-second steps

    EXPECT_EQ(DateTimeToDos(EncodeDateTime(1979, 12, 31, 23, 59, 59)), 0u);
    EXPECT_EQ(DateTimeToDos(EncodeDateTime(2108, 1, 1, 0, 0, 0)), 0u);
    EXPECT_NE(DateTimeToDos(EncodeDateTime(2107, 12, 31, 23, 59, 58)), 0u);
    EXPECT_DOUBLE_EQ(DosToDateTime(DateTimeToDos(EncodeDateTime(1980, 1, 1, 0, 0, 0))),
                     EncodeDateTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosToDateTime(0), 0.0);  // month 0, day 0: not a date
}

TEST(StrUtilsTest, Scramble) {
    const std::string prefix = "Scrambled=01";
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    const std::string texts[] = {"", "a", "|TOKEN-123|x|y|New version 2.0 is out!", binary};
    for (const std::string& t : texts) {
        for (bool hex : {true, false}) {
            const std::string s = ScrambleText(t, true, hex);
            ASSERT_EQ(s.compare(0, prefix.size(), prefix), 0);
            if (hex) {
                EXPECT_EQ(s.find_first_not_of("0123456789ABCDEF", prefix.size() + 1), std::string::npos);
            }
            if (t.size() > 3) {
                EXPECT_EQ(s.find(t), std::string::npos);
            }
            EXPECT_EQ(ScrambleText(s, false, hex), t);
            EXPECT_EQ(ScrambleText(s, false, !hex), t);  // the mode is read from the text
            EXPECT_EQ(ScrambleText(s, true, hex), s);    // already scrambled: unchanged
        }
    }
    // Hex form read from a file with a line end.
    const std::string s = ScrambleText("hello", true, true);
    EXPECT_EQ(ScrambleText(s + "\r\n", false, true), "hello");

    // The random key: scrambling the same text repeatedly gives more than one result.
    std::set<std::string> forms;
    for (int i = 0; i < 20; ++i) forms.insert(ScrambleText("same", true, true));
    EXPECT_GT(forms.size(), 1u);

    // Unmarked or malformed texts are returned unchanged when descrambling.
    for (const std::string t : {"plain text", "Scrambled=01", "Scrambled=01HXYZ", "Scrambled=01H123",
                                "Scrambled=01Q00"})
        EXPECT_EQ(ScrambleText(t, false, true), t);
}

TEST(StrUtilsTest, RoundToInt64HalvesAwayFromZero) {
    // Exact: the largest double below 0.5 rounds to 0 (a runtime's llround that adds 0.5 first
    // gives 1 there); integers above 2^53 stay as they are.
    const struct {
        double value;
        int64_t rounded;
    } cases[] = {
        {0.0, 0},   {-0.0, 0},  {0.5, 1},   {-0.5, -1}, {1.4999999, 1}, {2.5, 3}, {-2.5, -3},
        {0.49999999999999994, 0}, {-0.49999999999999994, 0}, {4503599627370497.0, 4503599627370497},
        {-4503599627370497.0, -4503599627370497}, {9007199254740994.0, 9007199254740994}, {86399999.5, 86400000},
        {1e18, 1000000000000000000}, {-1e18, -1000000000000000000},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundToInt64(c.value), c.rounded) << c.value;
    EXPECT_EQ(RoundToInt64(std::nan("")), 0);
    EXPECT_EQ(RoundToInt64(1e300), 0);
    EXPECT_EQ(RoundToInt64(-1e300), 0);
}

}  // namespace
