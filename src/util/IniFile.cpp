// INI reader for the tools' project and language files.
#include "util/IniFile.h"

#include <fstream>
#include <iterator>
#include <new>

#include "util/Catch.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

// Removes one pair of double quotes around a value.
std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

bool IniFile::Load(const std::string& path, std::string& error) {
    error.clear();
    sections_.clear();
    VEL_TRY {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot open \"" + path + "\"";
            return false;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            error = "cannot read \"" + path + "\"";
            return false;
        }
        Parse(text);
        return true;
    } VEL_CATCH_ALL {
        error = "cannot read \"" + path + "\" (out of memory)";
        sections_.clear();
        return false;
    }
}

void IniFile::Parse(const std::string& text) {
    sections_.clear();
    VEL_TRY {
        size_t pos = 0;
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
        Section* current = nullptr;
        while (pos <= text.size()) {
            size_t eol = text.find('\n', pos);
            if (eol == std::string::npos) eol = text.size();
            std::string line = Trim(text.substr(pos, eol - pos));
            pos = eol + 1;
            if (line.empty() || line[0] == ';') continue;
            if (line[0] == '[') {
                size_t close = line.find(']');
                std::string name = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                current = nullptr;
                for (Section& s : sections_)
                    if (SameName(s.name, name)) current = &s;
                if (!current) {
                    sections_.push_back(Section{name, {}});
                    current = &sections_.back();
                }
                continue;
            }
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;  // not a key line
            std::string key = Trim(line.substr(0, eq));
            if (key.empty()) continue;
            std::string value = StripQuotes(Trim(line.substr(eq + 1)));
            if (!current) {
                sections_.push_back(Section{std::string(), {}});
                current = &sections_.back();
            }
            bool seen = false;
            for (const auto& e : current->entries)
                if (SameName(e.first, key)) seen = true;
            if (!seen) current->entries.emplace_back(key, value);
        }
    } VEL_CATCH_ALL {
        sections_.clear();
    }
}

const IniFile::Section* IniFile::Find(const std::string& section) const {
    for (const Section& s : sections_)
        if (SameName(s.name, section)) return &s;
    return nullptr;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    for (const Section& s : sections_)
        if (!s.name.empty()) names.push_back(s.name);
    return names;
}

bool IniFile::HasSection(const std::string& section) const { return Find(section) != nullptr; }

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
    const Section* s = Find(section);
    if (!s) return false;
    for (const auto& e : s->entries)
        if (SameName(e.first, key)) return true;
    return false;
}

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& def) const {
    const Section* s = Find(section);
    if (!s) return def;
    for (const auto& e : s->entries)
        if (SameName(e.first, key)) return e.second;
    return def;
}

std::vector<std::pair<std::string, std::string>> IniFile::Entries(const std::string& section) const {
    const Section* s = Find(section);
    if (!s) return {};
    return s->entries;
}

}  // namespace vel
