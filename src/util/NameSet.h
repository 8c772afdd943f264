#pragma once
// A set of texts (names, keys): insert and look up in constant time on average. Open addressing
// over one vector; the stub uses it in place of the library's tree, whose code is larger.
// Portable: no Windows API. Nothing here throws except on allocation failure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel {

class NameSet {
public:
    bool Contains(const std::string& text) const;
    // True when text was not there yet.
    bool Insert(const std::string& text);
    void Clear();
    size_t Size() const { return count_; }

private:
    size_t Slot(const std::string& text) const;  // where text is, or the free slot it would take
    std::vector<std::string> slots_;
    std::vector<uint8_t> used_;
    size_t count_ = 0;
};

}  // namespace vel
