// The delimited lists ("|a|b|c|"): counting, items, key=value lookups and every rewriting
// operation, over any text. Input: one byte (an index), an item text up to "\n", then the list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const int index = int(in.Byte()) - 2;
    const std::string item = in.TextUntil('\n');
    const std::string list = in.Rest();

    const int count = SUB::Count(list);
    const std::vector<std::string> items = SUB::Items(list);
    VEL_FUZZ_CHECK(count >= 0 && items.size() == size_t(count));
    // An empty item reads as the default; -1 is the last item.
    for (int i = 0; i < count; ++i)
        VEL_FUZZ_CHECK(SUB::Item(list, i, "\x7f") == (items[size_t(i)].empty() ? "\x7f" : items[size_t(i)]));
    if (count > 0) {
        VEL_FUZZ_CHECK(SUB::Item(list, count, "\x7f") == "\x7f");
        VEL_FUZZ_CHECK(SUB::Item(list, -1, "\x7f") == SUB::Item(list, count - 1, "\x7f"));
    }
    (void)SUB::ItemInt64(list, index, -7);
    const int at = SUB::IndexOf(list, item, false, -5);
    VEL_FUZZ_CHECK(at == -5 || at >= 0);
    if (at >= 0 && count > 0 && Trim(list) == list) VEL_FUZZ_CHECK(at < count);
    (void)SUB::IndexOf(list, item, true, -5);
    (void)SUB::Contains(list, item, true, true);
    (void)SUB::Contains(list, item, false, false);
    (void)SUB::Value(list, item, true, true, "", "\x7f");
    (void)SUB::Value(list, item, false, false, "empty", "\x7f");
    const std::string keys = SUB::Keys(list, true);
    const std::string values = SUB::Values(list, false);
    std::string k2, v2;
    SUB::SplitKeysValues(list, k2, v2);
    (void)SUB::Zip(k2, v2, true);
    (void)SUB::Zip(keys, values, false);
    (void)SUB::Delete(list, index);
    (void)SUB::SetItem(list, index, item);
    const std::string built = SUB::FromArray(items, false);
    // A list built from items gives them back, unless an item holds a 0 (the builder's own separator).
    bool nul = false;
    for (const std::string& it : items) nul = nul || it.find('\0') != std::string::npos;
    if (!nul) VEL_FUZZ_CHECK(SUB::Items(built) == items);
    (void)SUB::FromArray(items, true);
    (void)SUB::Add(list, {item, item}, true);
    const std::string reversed = SUB::Reverse(list);
    (void)SUB::Reverse(reversed);
    (void)SUB::Unique(list, item);
    (void)SUB::TrimEmpty(list, true, true);
    (void)SUB::Normalize(list);
    (void)SUB::ChangeDelimiter(list, item.empty() ? ',' : item[0]);
    return 0;
}
