#pragma once
// Delimited lists: one string whose first character is its separator and which ends with it,
// e.g. "|&OK|&Cancel|". Items are numbered from 0; a missing item reads as the default.
// Key=value lists are delimited lists of "key=value" items. Portable: no Windows API.
// No operation throws; bad input gives the default or the list unchanged.
#include <cstdint>
#include <string>
#include <vector>

namespace vel {

class SUB {
public:
    SUB() = delete;

    static int Count(const std::string& list);
    static std::string Item(const std::string& list, int index, const std::string& def = "");
    static int64_t ItemInt64(const std::string& list, int index, int64_t def);
    static int IndexOf(const std::string& list, const std::string& item, bool prefixOnly, int def);
    static bool Contains(const std::string& list, const std::string& item, bool ignoreCase, bool trim);
    static std::string Value(const std::string& list, const std::string& key, bool ignoreCase,
                             bool collapseBlanks, const std::string& emptyValue,
                             const std::string& notFoundValue);
    static std::string Keys(const std::string& list, bool trim);
    static std::string Values(const std::string& list, bool trim);
    static void SplitKeysValues(const std::string& list, std::string& keys, std::string& values);
    static std::string Zip(const std::string& keys, const std::string& values, bool dropTrailingEmpty);
    static std::string Delete(const std::string& list, int index);
    static std::string SetItem(const std::string& list, int index, const std::string& value);
    static std::string FromArray(const std::vector<std::string>& items, bool unique);
    static std::string Add(const std::string& list, const std::vector<std::string>& items, bool unique);
    static std::string Reverse(const std::string& list);
    static std::string Unique(const std::string& list, const std::string& keepList);
    static std::string TrimEmpty(const std::string& list, bool trailing, bool leading);
    static std::string Normalize(const std::string& list);
    static std::string ChangeDelimiter(const std::string& list, char delimiter);

    // All items in order, empty ones included (convenience for callers that walk a whole list);
    // as many as Count, so an unclosed list has none.
    static std::vector<std::string> Items(const std::string& list);
};

}  // namespace vel
