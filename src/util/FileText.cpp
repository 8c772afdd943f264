// Text rules behind the file utilities.
#include "util/FileText.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "util/Catch.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

constexpr int64_t kMiB = 0x100000;

// For each byte: true when it stands as a character of its own (not part of a double-byte pair).
std::vector<bool> SingleBytes(const std::string& s, LeadByteTest isLead) {
    std::vector<bool> single(s.size(), true);
    for (size_t i = 0; i < s.size(); ++i) {
        if (isLead && isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
            single[i] = single[i + 1] = false;
            ++i;
        }
    }
    return single;
}

bool HasTrailingBackslash(const std::string& s, LeadByteTest isLead) {
    if (s.empty() || s.back() != '\\') return false;
    return SingleBytes(s, isLead).back();
}

}  // namespace

bool NoLeadBytes(unsigned char) { return false; }

std::string SetTrailingBackslash(const std::string& path, bool wanted, LeadByteTest isLead) {
    std::string s = path;
    if (s.size() > 2 && HasTrailingBackslash(s, isLead)) s.pop_back();
    if (wanted && !HasTrailingBackslash(s, isLead)) s += '\\';
    return s;
}

std::string ExcludeTrailingBackslash(const std::string& path, LeadByteTest isLead) {
    if (path == "\\") return "";
    std::string s = path;
    if (s.size() > 1 && HasTrailingBackslash(s, isLead)) s.pop_back();
    return s;
}

std::string CollapseBackslashes(const std::string& path, bool excludeTrailing, LeadByteTest isLead) {
    std::string s = path;
    if (s.size() > 2) {
        std::vector<bool> single = SingleBytes(s, isLead);
        // A quoted network path keeps the doubled backslash that follows its opening quote.
        const bool framed = s.front() == s.back();
        const char frame = s.front();
        for (size_t i = s.size() - 1; i >= 2; --i) {
            if (s[i] != '\\' || s[i - 1] != '\\' || !single[i] || !single[i - 1]) continue;
            if (framed && s[i - 2] == frame) continue;
            s.erase(i, 1);
            single.erase(single.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return excludeTrailing ? ExcludeTrailingBackslash(s, isLead) : s;
}

// Index just after the last folder delimiter (0 when there is none).
static size_t NameStart(const std::string& path, LeadByteTest isLead) {
    const std::vector<bool> single = SingleBytes(path, isLead);
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (single[i] && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) start = i + 1;
    return start;
}

std::string FileFolder(const std::string& path, LeadByteTest isLead) {
    return path.substr(0, NameStart(path, isLead));
}

std::string FileNamePart(const std::string& path, LeadByteTest isLead) {
    return path.substr(NameStart(path, isLead));
}

std::string StripLastExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < NameStart(path, NoLeadBytes)) return path;
    return path.substr(0, dot);
}

std::string BaseName(const std::string& path, bool allExtensions, LeadByteTest isLead) {
    std::string name = path.substr(NameStart(path, isLead));
    const size_t dot = allExtensions ? name.find('.') : name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string DriveOf(const std::string& path) {
    if (path.empty()) return "";
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
}

std::string DriveRootOf(const std::string& path) {
    return path.empty() ? std::string() : DriveOf(path) + "\\";
}

bool IsRootPath(const std::string& path) {
    std::string p = ReplaceChar(path, '/', '\\');
    while (!p.empty() && p.back() == '\\') p.pop_back();
    if (p.empty()) return true;  // "", "\" or "\\"
    bool network = false;
    if (p.size() >= 4 && p.compare(0, 2, "\\\\") == 0 && (p[2] == '?' || p[2] == '.') && p[3] == '\\') {
        p.erase(0, 4);
        if (p.size() >= 4 && UpperCase(p.substr(0, 4)) == "UNC\\") {
            p.erase(0, 4);
            network = true;
        } else if (p.find('\\') == std::string::npos) {
            return true;  // "\\?\C:" or a device name
        }
    } else if (p.compare(0, 2, "\\\\") == 0) {
        p.erase(0, 2);
        network = true;
    }
    if (network) {
        // "server" or "server\share" (doubled separators count as one)
        int parts = 0;
        for (size_t i = 0; i < p.size();) {
            const size_t end = std::min(p.find('\\', i), p.size());
            if (end > i) ++parts;
            i = end + 1;
        }
        return parts <= 2;
    }
    return p.size() == 2 && p[1] == ':';
}

std::string VolumeQueryPath(const std::string& path, bool extendedQuery) {
    const std::string p = ReplaceChar(path, '/', '\\');
    if (!extendedQuery || p.size() < 3) return DriveRootOf(p);
    if (p.compare(0, 2, "\\\\") == 0) {
        // Network path: the share's root "\\server\share\".
        const size_t server = p.find('\\', 2);
        if (server == std::string::npos) return p;
        const size_t share = p.find('\\', server + 1);
        return share == std::string::npos ? p + "\\" : p.substr(0, share + 1);
    }
    const size_t cut = p.find('\\', 3);
    return cut == std::string::npos ? p : p.substr(0, cut);
}

int64_t WriteChunkSize(int64_t total, bool hasHook) {
    if (!hasHook && total <= kMiB) return 0;
    const int64_t tenth = total / 10;
    if (tenth <= 1024) return std::min<int64_t>(1024, total);
    return std::min(tenth, kMiB);
}

bool WriteInChunks(const std::string& text, const WriteProgress& hook, const ChunkWriter& write) {
    VEL_TRY {
        const int64_t total = static_cast<int64_t>(text.size());
        const int64_t chunk = WriteChunkSize(total, static_cast<bool>(hook));
        if (!hook && chunk == 0) return total == 0 || write(text.data(), total) == total;

        bool cancel = false;
        int64_t written = 0;
        if (hook) hook(total, written, cancel);
        while (!cancel && written < total) {
            const int64_t n = std::min(chunk, total - written);
            const int64_t w = write(text.data() + written, n);
            if (w <= 0) break;
            written += std::min(w, n);
            if (hook) hook(total, written, cancel);
        }
        return written == total;
    } VEL_CATCH_ALL {
        return false;
    }
}

EntryAction DeleteActionFor(const EntryFacts& listed, const EntryFacts& opened, bool elsewhere) {
    if (opened.attributes & kAttrReparsePoint) return EntryAction::RemoveLink;
    if ((listed.attributes & kAttrReparsePoint) || elsewhere) return EntryAction::Leave;
    if ((listed.attributes & kAttrDirectory) != (opened.attributes & kAttrDirectory)) return EntryAction::Leave;
    if (listed.id != 0 && opened.id != 0 && listed.id != opened.id) return EntryAction::Leave;
    return (opened.attributes & kAttrDirectory) ? EntryAction::RemoveFolder : EntryAction::RemoveFile;
}

bool CmdQuotablePath(const std::string& path) {
    if (path.empty()) return false;
    for (const char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '%' || c == '!' || c == '^' || c == '"') return false;
    }
    return true;
}

std::string SelfDeleteCommand(const std::string& cmd, const std::string& ping, const std::string& exe,
                              const std::string& folder, bool removeFolder, int tries) {
    VEL_TRY {
        if (tries < 1) return "";
        const bool withFolder = removeFolder && !IsRootPath(folder);
        for (const std::string* p : {&cmd, &ping, &exe}) {
            if (!CmdQuotablePath(*p)) return "";
        }
        if (withFolder && !CmdQuotablePath(folder)) return "";
        const std::string q = "\"", file = q + exe + q;
        // One line, no "@" before a block and the blocks chained inside the loop's own block:
        // the forms that both Windows' cmd and this Wine's parse alike.
        std::string body = "(if exist " + file + " del /f /q " + file + ") & (if exist " + file + " " + q + ping + q +
                           " -n 2 127.0.0.1)";
        if (withFolder) body += " & (if not exist " + file + " rd " + q + folder + q + ")";
        // "/d": no AutoRun commands from the registry; "/q": no echo.
        std::string line = q + cmd + q + " /d /q /c \"for /l %i in (1,1," + IntToStr(tries) + ") do (" + body + ")\"";
        return line.size() < 8000 ? line : std::string();  // cmd reads at most 8191 characters
    } VEL_CATCH_ALL {
        return "";
    }
}

}  // namespace vel
