#include "package/ImageManifest.h"

#include <cstdint>
#include <cstring>

namespace vel {

namespace {

constexpr uint32_t kManifestType = 24;  // RT_MANIFEST
constexpr uint32_t kManifestName = 1;   // the manifest Windows reads when it starts a program
constexpr uint32_t kHighBit = 0x80000000u;

// Little-endian reads inside the image; every read is checked against its end first.
class ImageBytes {
public:
    explicit ImageBytes(const std::string& b) : b_(b) {}
    bool Has(uint64_t offset, uint64_t count) const { return offset <= b_.size() && count <= b_.size() - offset; }
    uint16_t U16(uint64_t o) const { return uint16_t(Byte(o) | Byte(o + 1) << 8); }
    uint32_t U32(uint64_t o) const { return Byte(o) | Byte(o + 1) << 8 | Byte(o + 2) << 16 | uint32_t(Byte(o + 3)) << 24; }

private:
    uint32_t Byte(uint64_t o) const { return static_cast<unsigned char>(b_[size_t(o)]); }
    const std::string& b_;
};

struct PeView {
    uint64_t sectionTable = 0;
    uint32_t sections = 0;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
};

bool ReadPeHeaders(const ImageBytes& img, PeView& pe) {
    if (!img.Has(0, 64) || img.U16(0) != 0x5A4D) return false;  // "MZ"
    const uint64_t nt = img.U32(0x3C);
    if (!img.Has(nt, 24) || img.U32(nt) != 0x00004550) return false;  // "PE\0\0"
    pe.sections = img.U16(nt + 6);
    const uint32_t optSize = img.U16(nt + 20);
    const uint64_t opt = nt + 24;
    if (optSize < 2 || !img.Has(opt, optSize)) return false;
    uint32_t countAt = 0;
    switch (img.U16(opt)) {
        case 0x10B: countAt = 92; break;   // PE32
        case 0x20B: countAt = 108; break;  // PE32+
        default: return false;
    }
    const uint32_t dirsAt = countAt + 4;
    if (optSize < dirsAt + 3 * 8 || img.U32(opt + countAt) < 3) return false;
    pe.resourceRva = img.U32(opt + dirsAt + 2 * 8);
    pe.resourceSize = img.U32(opt + dirsAt + 2 * 8 + 4);
    pe.sectionTable = opt + optSize;
    return pe.resourceRva != 0 && img.Has(pe.sectionTable, uint64_t(pe.sections) * 40);
}

// File offset of count bytes at rva, all of them inside one section's data in the file.
bool MapRva(const ImageBytes& img, const PeView& pe, uint64_t rva, uint64_t count, uint64_t& offset) {
    for (uint32_t i = 0; i < pe.sections; ++i) {
        const uint64_t sh = pe.sectionTable + uint64_t(i) * 40;
        const uint64_t va = img.U32(sh + 12), rawSize = img.U32(sh + 16), rawAt = img.U32(sh + 20);
        if (rva < va || rva - va >= rawSize || count > rawSize - (rva - va)) continue;
        offset = rawAt + (rva - va);
        return img.Has(offset, count);
    }
    return false;
}

// The resource directory, read by offsets relative to its start and kept inside its stated size.
class ResourceTree {
public:
    ResourceTree(const ImageBytes& img, const PeView& pe) : img_(img), pe_(pe) {}

    bool At(uint64_t rel, uint64_t count, uint64_t& offset) const {
        return rel <= pe_.resourceSize && count <= pe_.resourceSize - rel &&
               MapRva(img_, pe_, uint64_t(pe_.resourceRva) + rel, count, offset);
    }
    // The one entry of the directory at rel whose id is wanted (any id when wanted is 0 and the
    // directory has exactly one entry). Its offset field comes back in field.
    bool Entry(uint64_t rel, uint32_t wanted, uint32_t& field) const {
        uint64_t dir = 0;
        if (!At(rel, 16, dir)) return false;
        const uint32_t named = img_.U16(dir + 12), ids = img_.U16(dir + 14);
        uint64_t entries = 0;
        if (!At(rel + 16, uint64_t(named + ids) * 8, entries)) return false;
        if (wanted == 0) {
            if (named + ids != 1) return false;
            field = img_.U32(entries + 4);
            return true;
        }
        int found = 0;
        for (uint32_t i = named; i < named + ids; ++i) {
            if (img_.U32(entries + uint64_t(i) * 8) != wanted) continue;
            field = img_.U32(entries + uint64_t(i) * 8 + 4);
            ++found;
        }
        return found == 1;
    }

private:
    const ImageBytes& img_;
    const PeView& pe_;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One requestedExecutionLevel element's level attribute: where its name begins, where its value
// lies (without quotes), and where the blanks after it end.
struct LevelAttribute {
    size_t nameAt = 0, valueAt = 0, valueEnd = 0, blanksEnd = 0;
};

// Reads the attributes of the tag whose name ends at pos up to its ">". For the element sought,
// records its level attribute. False on malformed text.
bool ScanTag(const std::string& x, size_t& pos, bool sought, int& levels, LevelAttribute& found) {
    for (;;) {
        while (pos < x.size() && IsBlank(x[pos])) ++pos;
        if (pos >= x.size()) return false;
        if (x[pos] == '>') return ++pos, true;
        if (x[pos] == '/' || x[pos] == '?') {
            if (pos + 1 < x.size() && x[pos + 1] == '>') return pos += 2, true;
            return false;
        }
        const size_t nameAt = pos;
        while (pos < x.size() && !IsBlank(x[pos]) && x[pos] != '=' && x[pos] != '>' && x[pos] != '/') ++pos;
        const size_t nameEnd = pos;
        while (pos < x.size() && IsBlank(x[pos])) ++pos;
        if (nameEnd == nameAt || pos >= x.size() || x[pos] != '=') return false;
        ++pos;
        while (pos < x.size() && IsBlank(x[pos])) ++pos;
        if (pos >= x.size() || (x[pos] != '"' && x[pos] != '\'')) return false;
        const size_t close = x.find(x[pos], pos + 1);
        if (close == std::string::npos || x.find('<', pos + 1) < close) return false;
        const size_t valueAt = pos + 1;
        pos = close + 1;
        if (pos < x.size() && !IsBlank(x[pos]) && x[pos] != '>' && x[pos] != '/' && x[pos] != '?') return false;
        if (sought && x.compare(nameAt, nameEnd - nameAt, "level") == 0) {
            if (++levels > 1) return false;
            found.nameAt = nameAt;
            found.valueAt = valueAt;
            found.valueEnd = close;
            size_t b = pos;
            while (b < x.size() && IsBlank(x[b])) ++b;
            found.blanksEnd = b;
        }
    }
}

// The level attribute of the only requestedExecutionLevel element, outside comments and other
// markup that is not an element.
bool FindLevelAttribute(const std::string& x, LevelAttribute& found) {
    int elements = 0, levels = 0;
    size_t pos = 0;
    while ((pos = x.find('<', pos)) != std::string::npos) {
        static const struct {
            const char* open;
            const char* close;
        } skipped[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<!", ">"}, {"</", ">"}};
        bool skippedOne = false;
        for (const auto& s : skipped) {
            if (x.compare(pos, std::strlen(s.open), s.open) != 0) continue;
            const size_t end = x.find(s.close, pos + std::strlen(s.open));
            if (end == std::string::npos) return false;
            pos = end + std::strlen(s.close);
            skippedOne = true;
            break;
        }
        if (skippedOne) continue;
        size_t nameEnd = pos + 1;
        if (nameEnd < x.size() && x[nameEnd] == '?') ++nameEnd;
        const size_t nameAt = nameEnd;
        while (nameEnd < x.size() && !IsBlank(x[nameEnd]) && x[nameEnd] != '>' && x[nameEnd] != '/') ++nameEnd;
        std::string name = x.substr(nameAt, nameEnd - nameAt);
        const size_t colon = name.rfind(':');
        if (colon != std::string::npos) name.erase(0, colon + 1);
        const bool sought = name == "requestedExecutionLevel";
        if (sought && ++elements > 1) return false;
        const int before = levels;
        pos = nameEnd;
        if (!ScanTag(x, pos, sought, levels, found)) return false;
        if (sought && levels == before) return false;  // the element without a level
    }
    return elements == 1 && levels == 1;
}

}  // namespace

const char* ExecutionLevelName(ExecutionLevel level) {
    switch (level) {
        case ExecutionLevel::AsInvoker: return "asInvoker";
        case ExecutionLevel::HighestAvailable: return "highestAvailable";
        case ExecutionLevel::RequireAdministrator: return "requireAdministrator";
    }
    return "?";
}

bool ExecutionLevelFromName(const std::string& name, ExecutionLevel& level) {
    for (ExecutionLevel l :
         {ExecutionLevel::AsInvoker, ExecutionLevel::HighestAvailable, ExecutionLevel::RequireAdministrator}) {
        if (name == ExecutionLevelName(l)) {
            level = l;
            return true;
        }
    }
    return false;
}

bool FindImageManifest(const std::string& image, size_t& offset, size_t& size) {
    const ImageBytes img(image);
    PeView pe;
    if (!ReadPeHeaders(img, pe)) return false;
    const ResourceTree tree(img, pe);
    uint32_t names = 0, languages = 0, data = 0;
    // Type, name and language: two directories below the root, then a data entry.
    if (!tree.Entry(0, kManifestType, names) || !(names & kHighBit)) return false;
    if (!tree.Entry(names & ~kHighBit, kManifestName, languages) || !(languages & kHighBit)) return false;
    if (!tree.Entry(languages & ~kHighBit, 0, data) || (data & kHighBit)) return false;
    uint64_t entry = 0, at = 0;
    if (!tree.At(data, 16, entry)) return false;
    const uint32_t rva = img.U32(entry), count = img.U32(entry + 4);
    if (count == 0 || !MapRva(img, pe, rva, count, at)) return false;
    offset = size_t(at);
    size = count;
    return true;
}

bool ReadManifestLevel(const std::string& manifest, ExecutionLevel& level) {
    LevelAttribute a;
    return FindLevelAttribute(manifest, a) &&
           ExecutionLevelFromName(manifest.substr(a.valueAt, a.valueEnd - a.valueAt), level);
}

bool WriteManifestLevel(std::string& manifest, ExecutionLevel level) {
    LevelAttribute a;
    ExecutionLevel old;
    if (!FindLevelAttribute(manifest, a) ||
        !ExecutionLevelFromName(manifest.substr(a.valueAt, a.valueEnd - a.valueAt), old))
        return false;
    const std::string text = std::string("level=\"") + ExecutionLevelName(level) + "\"";
    // Another attribute after it needs a blank in between; the tag's end does not.
    const bool tagEnds = a.blanksEnd < manifest.size() && (manifest[a.blanksEnd] == '/' || manifest[a.blanksEnd] == '>');
    const size_t room = a.blanksEnd - a.nameAt;
    if (text.size() + (tagEnds ? 0 : 1) > room) return false;
    manifest.replace(a.nameAt, room, text + std::string(room - text.size(), ' '));
    return true;
}

bool ReadImageExecutionLevel(const std::string& image, ExecutionLevel& level) {
    size_t at = 0, size = 0;
    return FindImageManifest(image, at, size) && ReadManifestLevel(image.substr(at, size), level);
}

bool SetImageExecutionLevel(std::string& image, ExecutionLevel level) {
    size_t at = 0, size = 0;
    if (!FindImageManifest(image, at, size)) return false;
    std::string manifest = image.substr(at, size);
    if (!WriteManifestLevel(manifest, level)) return false;
    image.replace(at, size, manifest);
    return true;
}

bool SetAgentExecutionLevel(std::string& image) { return SetImageExecutionLevel(image, ExecutionLevel::AsInvoker); }

}  // namespace vel
