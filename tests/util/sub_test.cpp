#include "util/SUB.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vel::SUB;

namespace {

const std::string kNul(1, '\0');

TEST(SubTest, CountAndItems) {
    struct Case {
        std::string list;
        int count;
    } cases[] = {
        {"|a|b|", 2}, {"||", 1}, {"|", 0}, {"", 0}, {"|a|b", 0}, {"*a|b*", 1}, {"|||", 2}, {kNul, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SUB::Count(c.list), c.count) << c.list;
        EXPECT_EQ(static_cast<int>(SUB::Items(c.list).size()), c.count) << c.list;
    }
    EXPECT_EQ(SUB::Items("|a||c|"), (std::vector<std::string>{"a", "", "c"}));
}

TEST(SubTest, Item) {
    struct Case {
        std::string list;
        int index;
        std::string expected;
    } cases[] = {
        {"|a|b|c|", 0, "a"},  {"|a|b|c|", 2, "c"},  {"|a|b|c|", -1, "c"}, {"|a|b|c|", 3, "x"},
        {"|a||c|", 1, "x"},   {"|a|b", 0, "a"},     {"|a|b", 1, "x"},     {"|a|b", -1, "x"},
        {"", 0, "x"},         {kNul, 0, "x"},       {"|a|b|", -2, "x"},   {"*a|b*c*", 0, "a|b"},
    };
    for (const auto& c : cases) EXPECT_EQ(SUB::Item(c.list, c.index, "x"), c.expected) << c.list << " " << c.index;
}

TEST(SubTest, ItemInt64) {
    const std::string list = "|12| -7 |abc||$1F|9223372036854775807|";
    EXPECT_EQ(SUB::ItemInt64(list, 0, -1), 12);
    EXPECT_EQ(SUB::ItemInt64(list, 1, -1), -7);
    EXPECT_EQ(SUB::ItemInt64(list, 2, -1), -1);
    EXPECT_EQ(SUB::ItemInt64(list, 3, -1), -1);
    EXPECT_EQ(SUB::ItemInt64(list, 4, -1), 31);
    EXPECT_EQ(SUB::ItemInt64(list, 5, -1), INT64_MAX);
    EXPECT_EQ(SUB::ItemInt64(list, 9, 5), 5);
}

TEST(SubTest, IndexOf) {
    struct Case {
        std::string list, item;
        bool prefixOnly;
        int expected;
    } cases[] = {
        {"|Alpha|Beta|", " beta ", false, 1},
        {"|Alpha|Beta|", "Gamma", false, -1},
        {"|Alpha|Beta|", "alpha", false, 0},
        {"  |Alpha|Beta|  ", "BETA", false, 1},
        {"|Alpha|Beta|", "Be", false, -1},
        {"|Alpha|Beta|", "Be", true, 1},
        {"|/S|/D=|/X|", "/D=", true, 1},
        {"|a||c|", "", false, 1},
        {"", "a", false, -1},
        // A letter as delimiter is matched exactly, also when the items' case is ignored.
        {"xaXbx", "b", false, -1},
        {"xaxbx", "B", false, 1},
        {"xAXbxbx", "b", true, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::IndexOf(c.list, c.item, c.prefixOnly, -1), c.expected) << c.list << " / " << c.item;
}

TEST(SubTest, Contains) {
    struct Case {
        std::string list, item;
        bool ignoreCase, trim, expected;
    } cases[] = {
        {"|OK|Cancel|", "Cancel", false, false, true},
        {"|OK|Cancel|", "cancel", false, false, false},
        {"|OK|Cancel|", "cancel", true, false, true},
        {"|OK|Cancel|", " OK ", false, false, false},
        {"|OK|Cancel|", " OK ", false, true, true},
        {"|OK|Cancel|", "Canc", true, true, false},
        {"|OK|Cancel|", "", true, true, false},
        {"", "OK", true, true, false},
        {"oaObo", "b", true, true, false},  // "O" is no delimiter of a list that "o" delimits
        {"oaobo", "B", true, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::Contains(c.list, c.item, c.ignoreCase, c.trim), c.expected) << c.list << " / " << c.item;
}

TEST(SubTest, Value) {
    struct Case {
        std::string list, key;
        bool ignoreCase, collapse;
        std::string expected;
    } cases[] = {
        {"|Mode = fast|Size=3|", "mode", true, true, " fast"},  // value is not trimmed
        {"|Mode = fast|Size=3|", "Color", true, true, "none"},
        {"|Mode = fast|Size=3|", "size", true, true, "3"},
        {"|Mode = fast|Size=3|", "size", false, true, "none"},
        {"|Mode = fast|Size=3|", "Size=", false, true, "3"},
        {"|Mode   = fast|", "mode", true, true, " fast"},
        {"|Mode   = fast|", "mode", true, false, " fast"},
        {"|A = 1|B = 2|", "b", true, false, "none"},  // only the first " =" run goes without collapsing
        {"|A = 1|B = 2|", "b", true, true, " 2"},
        {"|Empty=|X=1|", "Empty", true, true, "(empty)"},
        {"|a=b=c|", "a", true, true, "b=c"},
        {"|==x|", "=", true, true, "x"},
        {"|ab=1|b=2|", "b", true, true, "2"},  // key must start an item
        {"|a=1", "a", true, true, "none"},
        {"||", "a", true, true, "none"},
        {"sK=1Sa=2s", "a", true, true, "none"},  // "S" does not start an item of an "s" list
        {"sK=1sa=2s", "A", true, true, "2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::Value(c.list, c.key, c.ignoreCase, c.collapse, "(empty)", "none"), c.expected)
            << c.list << " / " << c.key;
}

TEST(SubTest, KeysValuesAndZip) {
    // Items without "=" give an empty key and an empty value.
    const std::string list = "| a = 1 |b=2|plain|c=x=y|";
    EXPECT_EQ(SUB::Keys(list, true), "|a|b||c|");
    EXPECT_EQ(SUB::Values(list, true), "|1|2||x=y|");
    EXPECT_EQ(SUB::Keys(list, false), "| a |b||c|");
    EXPECT_EQ(SUB::Values(list, false), "| 1 |2||x=y|");

    std::string keys, values;
    SUB::SplitKeysValues("*k=a|b*j=*", keys, values);
    EXPECT_EQ(keys, "|k|j|");
    EXPECT_EQ(values, "*a|b**");  // "|" in a value moves the delimiter on

    EXPECT_EQ(SUB::Zip("|a|b|c|", "|1|2|", false), "|a=1|b=2|c=|");
    EXPECT_EQ(SUB::Zip("|a|b||", "|1|||", true), "|a=1|b=|");
    EXPECT_EQ(SUB::Zip("|a|b||", "|1|||", false), "|a=1|b=|=|");
    EXPECT_EQ(SUB::Zip("", "", false), "");
    // Zip undone by SplitKeysValues.
    SUB::SplitKeysValues(SUB::Zip("|x|y|", "|1|2|", false), keys, values);
    EXPECT_EQ(keys, "|x|y|");
    EXPECT_EQ(values, "|1|2|");
}

TEST(SubTest, DeleteAndSetItem) {
    struct DelCase {
        std::string list;
        int index;
        std::string expected;
    } dels[] = {
        {"|a|b|c|", 1, "|a|c|"}, {"*a*b*", 0, "*b*"}, {"|a|", 0, ""},     {"|a|b|", 2, "|a|b|"},
        {"|a|b|", -1, "|a|b|"},  {"", 0, ""},         {"|a|b", 0, "|a|b"},
    };
    for (const auto& c : dels) EXPECT_EQ(SUB::Delete(c.list, c.index), c.expected) << c.list << " " << c.index;

    struct SetCase {
        std::string list;
        int index;
        std::string value, expected;
    } sets[] = {
        {"|a|b|", 3, "d", "|a|b||d|"},
        {"|a|b|", 0, "x|y", "*x|y*b*"},
        {"*a*b*", 1, "c", "*a*c*"},     // a list keeps its own delimiter while it can
        {"*a*b*", 1, "c*", "|a|c*|"},
        {"", 0, "x", "|x|"},
        {kNul, 1, "x", "||x|"},
        {"|a|b|", -1, "x", "|a|b|"},
    };
    for (const auto& c : sets)
        EXPECT_EQ(SUB::SetItem(c.list, c.index, c.value), c.expected) << c.list << " " << c.index;
}

TEST(SubTest, FromArrayAddReverse) {
    EXPECT_EQ(SUB::FromArray({"a", "A", "b"}, true), "|a|b|");
    EXPECT_EQ(SUB::FromArray({"a", "A", "b"}, false), "|a|A|b|");
    EXPECT_EQ(SUB::FromArray({"a|b", "c*"}, false), "~a|b~c*~");
    EXPECT_EQ(SUB::FromArray({""}, false), "||");
    EXPECT_EQ(SUB::FromArray({}, false), "");

    EXPECT_EQ(SUB::Add("", {"x"}, false), "|x|");
    EXPECT_EQ(SUB::Add("*a*", {"b", "c"}, false), "*a*b*c*");
    EXPECT_EQ(SUB::Add("*a*", {"b*"}, false), "|a|b*|");
    EXPECT_EQ(SUB::Add("|a|", {"A", "b"}, true), "|a|b|");
    EXPECT_EQ(SUB::Add("|a|b", {"c"}, false), "|a|b|c|");  // an open tail is closed, not glued
    EXPECT_EQ(SUB::Add("|", {"c"}, false), "|c|");

    EXPECT_EQ(SUB::Reverse("*a*b*c*"), "*c*b*a*");
    EXPECT_EQ(SUB::Reverse("|a||"), "||a|");
    EXPECT_EQ(SUB::Reverse(""), "");
}

TEST(SubTest, UniqueAndTrimEmpty) {
    EXPECT_EQ(SUB::Unique("*a* A *b**a*", ""), "*a*b*");
    EXPECT_EQ(SUB::Unique("|x|y|x|z|y|", "|y|"), "|x|y|z|y|");
    EXPECT_EQ(SUB::Unique("|||", ""), "");
    EXPECT_EQ(SUB::Unique("", ""), "");

    struct Case {
        std::string list;
        bool trailing, leading;
        std::string expected;
    } cases[] = {
        {"||a||b|||", true, false, "||a||b|"}, {"||a||b|||", false, true, "|a||b|||"},
        {"||a||b|||", true, true, "|a||b|"},   {"||||", true, true, ""},
        {"|", true, true, ""},                 {"|a|", false, false, "|a|"},
    };
    for (const auto& c : cases) EXPECT_EQ(SUB::TrimEmpty(c.list, c.trailing, c.leading), c.expected) << c.list;
}

TEST(SubTest, NormalizeAndChangeDelimiter) {
    std::string all;  // every candidate delimiter used inside one item
    for (char c : std::string("|*~^!@#$&\xFF")) all += c;
    struct Case {
        std::string list, expected;
    } cases[] = {
        {"|", ""},
        {"", ""},
        {"*a*b*", "|a|b|"},
        {"*a|b*c*", "*a|b*c*"},
        {"~a|b*c~", "~a|b*c~"},
        {std::string("\0a\0b\0", 5), "|a|b|"},
        {std::string("\0a|\0b\0", 6), "*a|*b*"},
        {std::string(1, '\0') + all + std::string(1, '\0'), std::string(1, '\0') + all + std::string(1, '\0')},
        {std::string("|a\0b|", 5), std::string("|a\0b|", 5)},  // a 0 inside an item is kept
    };
    for (const auto& c : cases) EXPECT_EQ(SUB::Normalize(c.list), c.expected);

    EXPECT_EQ(SUB::ChangeDelimiter("|a|b|", ';'), ";a;b;");
    EXPECT_EQ(SUB::ChangeDelimiter("", ';'), "");
}

}  // namespace
