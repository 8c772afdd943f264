#include "package/RecordPath.h"

#include "util/StrUtils.h"

namespace vel {

namespace {

bool IsDeviceName(const std::string& part) {
    // Windows maps these names to devices in any folder and with any extension.
    std::string base = UpperCase(part.substr(0, part.find('.')));
    while (!base.empty() && (base.back() == ' ')) base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices)
        if (base == d) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '0' && base[3] <= '9')
        return true;
    return false;
}

bool PartIsSafe(const std::string& part) {
    // Windows drops trailing dots and blanks, so ". ." or "..." can act as "..": refuse them all.
    if (part.find_first_not_of(". ") == std::string::npos) return false;
    for (unsigned char c : part)
        if (c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*')
            return false;
    return !IsDeviceName(part);
}

}  // namespace

std::string SafeRecordPath(const std::string& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return std::string();
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (!PartIsSafe(part)) return std::string();
        if (!out.empty()) out += '\\';
        out += part;
    }
    return out;
}

std::vector<std::string> RecordSubfolders(const std::string& safePath) {
    std::vector<std::string> folders;
    for (size_t p = safePath.find('\\'); p != std::string::npos; p = safePath.find('\\', p + 1))
        folders.push_back(safePath.substr(0, p));
    return folders;
}

}  // namespace vel
