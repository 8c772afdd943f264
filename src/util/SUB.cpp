// Delimited lists: "|a|b|" holds a and b. See SUB.h for the format.
#include "util/SUB.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "util/Catch.h"
#include "util/NameSet.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

// Candidates for the delimiter of a list this code builds, in order of preference.
const char kDelimiters[] = {'|', '*', '~', '^', '!', '@', '#', '$', '&', static_cast<char>(0xFF)};

bool IsNulList(const std::string& list) { return list.size() == 1 && list[0] == '\0'; }

// Items joined with the character 0: "\0a\0b\0". The caller normalises the result.
std::string JoinNul(const std::vector<std::string>& items) {
    std::string out(1, '\0');
    for (const std::string& s : items) {
        out += s;
        out += '\0';
    }
    return out;
}

// Items joined with a given delimiter; no items gives the empty list.
std::string JoinWith(char delim, const std::vector<std::string>& items) {
    if (items.empty()) return std::string();
    std::string out(1, delim);
    for (const std::string& s : items) {
        out += s;
        out += delim;
    }
    return out;
}

// Where key (the delimiter, a text, and with closed the delimiter again) first stands in list,
// letter case ignored in the text when asked but never in the delimiters: with a letter as the
// delimiter, "x" and "X" are not the same thing. npos when absent.
size_t FindKey(const std::string& list, const std::string& key, bool ignoreCase, bool closed) {
    const char delim = key.front();
    for (int from = 1;;) {
        const int pos = PosEx(key, list, from, ignoreCase);
        if (pos == 0) return std::string::npos;
        const size_t p = static_cast<size_t>(pos - 1);
        if (list[p] == delim && (!closed || list[p + key.size() - 1] == delim)) return p;
        from = pos + 1;
    }
}

bool AnyContains(const std::vector<std::string>& items, char c) {
    for (const std::string& s : items)
        if (s.find(c) != std::string::npos) return true;
    return false;
}

}  // namespace

int SUB::Count(const std::string& list) {
    if (list.size() < 2 || list.front() != list.back()) return 0;
    return static_cast<int>(std::count(list.begin() + 1, list.end(), list.front()));
}

std::vector<std::string> SUB::Items(const std::string& list) {
    std::vector<std::string> items;
    VEL_TRY {
        if (Count(list) == 0) return items;
        const char delim = list.front();
        size_t start = 1;
        for (size_t i = 1; i < list.size(); ++i) {
            if (list[i] == delim) {
                items.push_back(list.substr(start, i - start));
                start = i + 1;
            }
        }
    } VEL_CATCH_ALL {
        items.clear();
    }
    return items;
}

std::string SUB::Item(const std::string& list, int index, const std::string& def) {
    if (list.empty() || IsNulList(list)) return def;
    if (index == -1) index = Count(list) - 1;
    if (index < 0) return def;
    const char delim = list.front();
    int n = 0;
    size_t start = 1;
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i] != delim) continue;
        if (n == index) return i > start ? list.substr(start, i - start) : def;
        ++n;
        start = i + 1;
    }
    return def;
}

int64_t SUB::ItemInt64(const std::string& list, int index, int64_t def) {
    return StrToInt64Def(Item(list, index, ""), def);
}

int SUB::IndexOf(const std::string& list, const std::string& item, bool prefixOnly, int def) {
    const std::string l = Trim(list);
    if (l.empty()) return def;
    const char delim = l.front();
    for (const std::string& candidate : {item, Trim(item)}) {
        std::string key = std::string(1, delim) + candidate;
        if (!prefixOnly) key += delim;
        const size_t p = FindKey(l, key, true, !prefixOnly);
        if (p != std::string::npos)
            return static_cast<int>(std::count(l.begin() + 1, l.begin() + static_cast<std::ptrdiff_t>(p) + 1, delim));
    }
    return def;
}

bool SUB::Contains(const std::string& list, const std::string& item, bool ignoreCase, bool trim) {
    const std::string l = trim ? Trim(list) : list;
    const std::string it = trim ? Trim(item) : item;
    if (l.empty() || it.empty()) return false;
    const std::string key = std::string(1, l.front()) + it + l.front();
    return FindKey(l, key, ignoreCase, true) != std::string::npos;
}

std::string SUB::Value(const std::string& list, const std::string& key, bool ignoreCase,
                       bool collapseBlanks, const std::string& emptyValue,
                       const std::string& notFoundValue) {
    if (list.size() < 3 || list.front() != list.back()) return notFoundValue;
    const char delim = list.front();
    std::string search = std::string(1, delim) + key;
    if (key.empty() || key.back() != '=' || key == "=") search += '=';

    std::string l = list;
    if (l.find(' ') != std::string::npos) {
        if (collapseBlanks) {
            l = ReplaceRepeat(l, " =", "=", false);
        } else {
            // Only the blanks directly before the first " =" go.
            size_t p = l.find(" =");
            while (p != std::string::npos) {
                l.erase(p, 1);
                if (p == 0 || l[p - 1] != ' ') break;
                --p;
            }
        }
    }

    const size_t at = FindKey(l, search, ignoreCase, false);
    if (at == std::string::npos) return notFoundValue;
    const size_t start = at + search.size();
    size_t end = l.find(delim, start);
    if (end == std::string::npos) end = l.size();
    const std::string value = l.substr(start, end - start);
    return value.empty() ? emptyValue : value;
}

std::string SUB::Keys(const std::string& list, bool trim) {
    std::vector<std::string> out;
    for (const std::string& it : Items(list)) {
        const std::string k = TextBefore(it, "=", "", false);
        out.push_back(trim ? Trim(k) : k);
    }
    return Normalize(JoinNul(out));
}

std::string SUB::Values(const std::string& list, bool trim) {
    std::vector<std::string> out;
    for (const std::string& it : Items(list)) {
        const std::string v = TextAfter(it, "=", "", false, false);
        out.push_back(trim ? Trim(v) : v);
    }
    return Normalize(JoinNul(out));
}

void SUB::SplitKeysValues(const std::string& list, std::string& keys, std::string& values) {
    keys = Keys(list, false);
    values = Values(list, false);
}

std::string SUB::Zip(const std::string& keys, const std::string& values, bool dropTrailingEmpty) {
    const std::string k = dropTrailingEmpty ? TrimEmpty(keys, true, false) : keys;
    const std::string v = dropTrailingEmpty ? TrimEmpty(values, true, false) : values;
    const int n = std::max(Count(k), Count(v));
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(Item(k, i) + "=" + Item(v, i));
    return Normalize(JoinNul(out));
}

std::string SUB::Delete(const std::string& list, int index) {
    if (list.empty() || index < 0 || index >= Count(list)) return list;
    std::vector<std::string> items = Items(list);
    items.erase(items.begin() + index);
    return JoinWith(list.front(), items);
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
    if (index < 0) return list;
    VEL_TRY {
        const std::string l = (list.empty() || IsNulList(list)) ? std::string("|") : list;
        std::vector<std::string> items = Items(l);
        if (static_cast<size_t>(index) >= items.size()) {
            const size_t count = static_cast<size_t>(index) + 1;
            if (count > SIZE_MAX / sizeof(std::string) || !MemoryAvailable(count * sizeof(std::string)))
                return list;
            items.resize(count);
        }
        items[static_cast<size_t>(index)] = value;
        if (!AnyContains(items, l.front())) return JoinWith(l.front(), items);
        return Normalize(JoinNul(items));
    } VEL_CATCH_ALL {
        return list;
    }
}

std::string SUB::FromArray(const std::vector<std::string>& items, bool unique) {
    const std::string l = Normalize(JoinNul(items));
    return unique ? Unique(l, "") : l;
}

std::string SUB::Add(const std::string& list, const std::vector<std::string>& items, bool unique) {
    if (list.empty() || IsNulList(list)) return FromArray(items, unique);
    const char delim = list.front();
    std::string l = list;
    // A list whose tail is not closed gets closed first, so the tail becomes an item
    // instead of being glued to the first added one.
    if (l.size() >= 2 && l.back() != delim) l += delim;
    std::string out;
    if (AnyContains(items, delim)) {
        std::vector<std::string> all = Items(l);
        all.insert(all.end(), items.begin(), items.end());
        out = Normalize(JoinNul(all));
    } else {
        out = l;
        for (const std::string& s : items) {
            out += s;
            out += delim;
        }
        if (out.size() == 1) out.clear();
    }
    return unique ? Unique(out, "") : out;
}

std::string SUB::Reverse(const std::string& list) {
    std::vector<std::string> items = Items(list);
    if (items.empty()) return list;
    std::reverse(items.begin(), items.end());
    return JoinWith(list.front(), items);
}

std::string SUB::Unique(const std::string& list, const std::string& keepList) {
    const std::vector<std::string> items = Items(list);
    if (items.empty()) return list.size() == 1 ? std::string() : list;
    NameSet taken;
    std::vector<std::string> out;
    for (const std::string& it : items) {
        if (it.empty()) continue;
        const std::string norm = UpperCase(Trim(it));
        if (!taken.Insert(norm) && !Contains(keepList, it, true, true)) continue;
        out.push_back(it);
    }
    return JoinWith(list.front(), out);
}

std::string SUB::TrimEmpty(const std::string& list, bool trailing, bool leading) {
    std::vector<std::string> items = Items(list);
    if (items.empty()) return list.size() == 1 ? std::string() : list;
    if (trailing)
        while (!items.empty() && items.back().empty()) items.pop_back();
    if (leading) {
        size_t k = 0;
        while (k < items.size() && items[k].empty()) ++k;
        items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(k));
    }
    return JoinWith(list.front(), items);
}

std::string SUB::Normalize(const std::string& list) {
    if (list.size() <= 1) return std::string();
    std::string l = list;
    const char delim = l.front();
    if (delim != '\0') {
        // A list that holds a 0 inside its items keeps its own (working) delimiter:
        // turning the 0s into a delimiter would split those items.
        if (l.find('\0') != std::string::npos) return l;
        std::replace(l.begin(), l.end(), delim, '\0');
    }
    for (char c : kDelimiters) {
        if (l.find(c) == std::string::npos) {
            std::replace(l.begin(), l.end(), '\0', c);
            return l;
        }
    }
    return l;
}

std::string SUB::ChangeDelimiter(const std::string& list, char delimiter) {
    if (list.empty()) return list;
    return ReplaceChar(list, list.front(), delimiter);
}

}  // namespace vel
