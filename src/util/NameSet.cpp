#include "util/NameSet.h"

namespace vel {

namespace {
uint32_t Hash(const std::string& text) {  // FNV-1a
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}
}  // namespace

size_t NameSet::Slot(const std::string& text) const {
    const size_t mask = slots_.size() - 1;  // the size is a power of two
    size_t i = Hash(text) & mask;
    while (used_[i] && slots_[i] != text) i = (i + 1) & mask;
    return i;
}

bool NameSet::Contains(const std::string& text) const { return count_ != 0 && used_[Slot(text)]; }

bool NameSet::Insert(const std::string& text) {
    if ((count_ + 1) * 2 > slots_.size()) {  // at most half full: probes stay short
        std::vector<std::string> old;
        old.swap(slots_);
        std::vector<uint8_t> oldUsed;
        oldUsed.swap(used_);
        const size_t size = old.empty() ? 16 : old.size() * 2;
        slots_.resize(size);
        used_.assign(size, 0);
        for (size_t k = 0; k < old.size(); ++k) {
            if (!oldUsed[k]) continue;
            const size_t i = Slot(old[k]);
            slots_[i].swap(old[k]);
            used_[i] = 1;
        }
    }
    const size_t i = Slot(text);
    if (used_[i]) return false;
    slots_[i] = text;
    used_[i] = 1;
    ++count_;
    return true;
}

void NameSet::Clear() {
    slots_.clear();
    used_.clear();
    count_ = 0;
}

}  // namespace vel
