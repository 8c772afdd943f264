#pragma once
// A small INI reader for the tools' project and language files. Portable: no Windows API.
// Sections "[name]", lines "key=value", full-line comments beginning with ";". Names are looked up
// ignoring letter case; sections and keys keep the order and spelling of the file. Blanks around
// keys and values are dropped, and one pair of double quotes around a value is removed (so a value
// can keep blanks at its ends). A repeated section continues the first; a repeated key keeps the
// first value. Nothing throws: a file that cannot be read gives false and an error text.
#include <string>
#include <utility>
#include <vector>

namespace vel {

class IniFile {
public:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;  // key, value in file order
    };

    // Reads and parses a file. False with an error text when it cannot be read.
    bool Load(const std::string& path, std::string& error);
    // Parses text (CR LF or LF lines; a UTF-8 byte-order mark at the start is skipped).
    // Lines before the first section belong to a section with an empty name.
    void Parse(const std::string& text);

    const std::vector<Section>& Sections() const { return sections_; }
    // Named sections only (the unnamed lead-in is left out).
    std::vector<std::string> SectionNames() const;
    bool HasSection(const std::string& section) const;
    bool HasKey(const std::string& section, const std::string& key) const;
    // The value, or def when the section or key is missing. An empty value is returned as empty.
    std::string Get(const std::string& section, const std::string& key, const std::string& def = "") const;
    // Entries of a section in file order (empty when it is missing).
    std::vector<std::pair<std::string, std::string>> Entries(const std::string& section) const;

private:
    const Section* Find(const std::string& section) const;
    std::vector<Section> sections_;
};

}  // namespace vel
