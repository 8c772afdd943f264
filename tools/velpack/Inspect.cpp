// Reading packages back: description for "velpack info", native extraction, inform files.
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "FileTimes.h"
#include "Velpack.h"
#include "package/FileInfo.h"
#include "package/PackageFormat.h"
#include "package/RecordPath.h"
#include "util/FileIO.h"
#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::vector<std::string> ListItems(const std::string& list, size_t atLeast) {
    std::vector<std::string> items = SUB::Items(list);
    if (items.size() < atLeast) items.resize(atLeast);
    return items;
}

// One part of a package: opened, located, trailer read, checksum checked.
struct OpenPart {
    BinaryFile file;
    PackageLocation where;
    PackageTrailer trailer;
    PartInfo info;
};

std::string OpenPackagePart(const std::string& path, OpenPart& part) {
    part.info = PartInfo();
    part.info.path = path;
    if (!FileExists(path) || !part.file.OpenRead(path)) return "cannot open " + Quoted(path);
    part.trailer = ReadPackageTrailer(part.file, &part.where);
    part.info.size = part.where.fileSize;
    part.info.hasMagic = part.trailer.HasMagic();
    if (!part.where.valid || !part.info.hasMagic) return Quoted(path) + " holds no package";
    bool read = false;
    part.info.checksumField = part.trailer.Checksum();
    part.info.checksumComputed = PackageChecksum(part.file, part.trailer.Length(), &read);
    if (!read) return "cannot read " + Quoted(path);
    part.info.checksumPasses = ChecksumPasses(part.info.checksumComputed, part.info.checksumField);
    part.info.morePartsFollow = part.trailer.MorePartsFollow();
    return std::string();
}

std::string DosDateText(uint32_t dos) {
    if (dos == 0) return "-";
    int y, m, d, h, n, s;
    DecodeDateTime(DosToDateTime(dos), y, m, d, h, n, s);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, h, n, s);
    return buf;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            // 8-bit texts are shown as Latin-1 code points, control characters escaped.
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string Bool(bool b) { return b ? "true" : "false"; }

// A path below dir for a safe record name ("a\b" -> dir/a/b).
fs::path TargetPath(const std::string& dir, const std::string& safeName) {
    fs::path p(dir);
    size_t start = 0;
    for (;;) {
        const size_t cut = safeName.find('\\', start);
        p /= safeName.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return p;
}

}  // namespace

std::string FlagNames(uint8_t flags) {
    static const char* const kNames[] = {"AnnounceExtraction", "MorePartsFollow", "SpanCopy", "ActivityBar",
                                         "AgentRunLog"};
    std::string out;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(flags & (1u << bit))) continue;
        if (!out.empty()) out += ' ';
        out += bit < 5 ? std::string(kNames[bit]) : "Bit" + IntToStr(bit);
    }
    return out;
}

std::string DescribePackage(const std::string& path, PackageDescription& d) {
    d = PackageDescription();
    d.path = path;
    try {
        OpenPart first;
        std::string error = OpenPackagePart(path, first);
        if (!first.info.hasMagic || !first.where.valid) return error;
        const PackageTrailer& t = first.trailer;
        d.textBlockCount = t.TextBlockCount();
        d.dataOffset = t.DataOffset();
        d.fileCount = t.FileCount();
        d.magic = t.Magic();
        d.trailerLength = first.where.trailerLength;
        d.endStamp = ReadEndStamp(first.file);
        d.flags = t.Flags();
        d.webSetup = t.IsWebSetup();
        d.askBeforeDownload = t.AskBeforeDownload();
        d.writeAgentImage = t.WriteAgentImage();
        d.updateAgent = t.IsUpdateAgent();
        for (int i = 0; i < kSpaceEntries; ++i) d.space[i] = t.SpaceEntry(i);

        // The texts as the stub's own reader sees them.
        const TGFileInfo info(path);
        for (const std::string& section : SUB::Items(info.LanguageBlock())) {
            std::vector<std::string> items = SUB::Items(section);
            if (items.empty()) continue;
            std::vector<std::pair<std::string, std::string>> keys;
            for (size_t i = 1; i < items.size(); ++i) {
                const size_t eq = items[i].find('=');
                keys.emplace_back(items[i].substr(0, eq),
                                  eq == std::string::npos ? std::string() : items[i].substr(eq + 1));
            }
            d.languages.emplace_back(items[0], std::move(keys));
        }
        d.settings = ListItems(info.SettingsList(), 5);
        d.productTokenOk = TryUnscrambleItem(info.ProductToken(false), d.productToken);
        d.hasWebList = t.TextBlockCount() >= 3;
        if (d.hasWebList) {
            d.webList = ListItems(info.WebDownloadList(), 6);
            d.downloadTokenOk = TryUnscrambleItem(info.DownloadToken(false), d.downloadToken);
        }

        // Every part and record.
        const std::string base = PackageBaseName(path);
        OpenPart part = std::move(first);
        for (int number = 1;; ++number) {
            if (number > 1) {
                part = OpenPart();
                error = OpenPackagePart(PartFileName(base, number), part);
                d.parts.push_back(part.info);
                if (!error.empty()) {
                    d.damage = error;
                    break;
                }
            } else {
                d.parts.push_back(part.info);
            }
            RecordWalker walker(part.file, part.where, part.trailer.DataOffset(),
                                number == 1 ? part.trailer.TextBlockCount() : 0);
            RawRecord raw;
            while (walker.Next(raw)) {
                if (raw.isTextBlock) continue;
                RecordInfo r;
                r.part = number;
                r.storedSize = int64_t(raw.bytes.size());
                r.compressed = raw.length > 0;
                FileRecord rec;
                std::string why;
                if (!DecodeRecord(raw, rec, why)) {
                    d.damage = Quoted(part.info.path) + ": record at offset " + IntToStr(raw.offset) + ": " + why;
                    break;
                }
                r.name = rec.name;
                r.launch = rec.launch;
                r.params = rec.params;
                r.dosDate = rec.dosDate;
                r.originalSize = int64_t(rec.data.size());
                if (rec.launch) d.runSpec = rec.RunSpec();
                d.records.push_back(std::move(r));
            }
            if (d.damage.empty() && !walker.Error().empty()) d.damage = Quoted(part.info.path) + ": " + walker.Error();
            if (!d.damage.empty() || !part.trailer.MorePartsFollow()) break;
        }
        d.checksumsPass = true;
        for (const PartInfo& p : d.parts) d.checksumsPass = d.checksumsPass && p.checksumPasses;
        return std::string();
    } catch (const std::exception& e) {
        return std::string("reading the package failed: ") + e.what();
    }
}

std::string DescriptionText(const PackageDescription& d) {
    std::string o;
    auto line = [&o](const std::string& label, const std::string& value) {
        o += label + std::string(label.size() < 20 ? 20 - label.size() : 1, ' ') + value + "\n";
    };
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", d.magic);
    line("File:", d.path);
    line("Trailer length:", IntToStr(d.trailerLength));
    line("Magic:", hex);
    line("Text blocks:", IntToStr(d.textBlockCount));
    line("Data offset:", IntToStr(d.dataOffset));
    line("File count:", IntToStr(d.fileCount));
    line("End stamp:", IntToStr(int64_t(d.endStamp)));
    std::snprintf(hex, sizeof hex, "0x%02X", d.flags);
    line("Flags:", std::string(hex) + (d.flags ? " " + FlagNames(d.flags) : std::string()));
    line("Web setup:", d.webSetup ? "yes" : "no");
    line("Ask before download:", d.askBeforeDownload ? "yes" : "no");
    line("Write agent image:", d.writeAgentImage ? "yes" : "no");
    line("Update agent:", d.updateAgent ? "yes" : "no");
    std::string space;
    for (int i = 0; i < 9; ++i)
        space += (i ? "  " : "") + std::string(i ? IntToStr(256 << i) : "plain") + "=" + IntToStr(d.space[i]);
    line("Space:", space);
    line("Languages:", IntToStr(int64_t(d.languages.size())));
    for (const auto& lang : d.languages) {
        o += "  [" + lang.first + "]\n";
        for (const auto& kv : lang.second) o += "    " + kv.first + "=" + kv.second + "\n";
    }
    static const char* const kSettings[] = {"InfoLocation", "InfoFileName", "AgentName", "ProductToken", "QuietMode"};
    o += "Settings:\n";
    for (int i = 0; i < 5; ++i) {
        std::string v = d.settings[size_t(i)];
        if (i == 3 && !v.empty()) v = d.productTokenOk ? d.productToken : v + " (does not unscramble)";
        line(std::string("  ") + kSettings[i] + ":", v);
    }
    if (d.hasWebList) {
        static const char* const kWeb[] = {"Location", "SetupFileName", "DownloadOnly", "DownloadToken",
                                           "SetupFileSize", "SetupFileSha256"};
        o += "Web download list:\n";
        for (int i = 0; i < 6; ++i) {
            std::string v = d.webList[size_t(i)];
            if (i == 5 && v.empty()) continue;  // optional: older web stubs carry no hash
            if (i == 3 && !v.empty()) v = d.downloadTokenOk ? d.downloadToken : v + " (does not unscramble)";
            line(std::string("  ") + kWeb[i] + ":", v);
        }
    }
    o += "Parts:\n";
    for (size_t i = 0; i < d.parts.size(); ++i) {
        const PartInfo& p = d.parts[i];
        o += "  " + IntToStr(int64_t(i) + 1) + "  " + p.path + "  " + IntToStr(p.size) + " bytes  checksum " +
             IntToStr(p.checksumField) + ", computed " + IntToStr(p.checksumComputed) +
             (p.checksumPasses ? ": passes" : ": FAILS") + (p.morePartsFollow ? "  (more parts follow)" : "") + "\n";
    }
    o += "Records: " + IntToStr(int64_t(d.records.size())) + "\n";
    o += "  part      stored    original  date                 name\n";
    for (const RecordInfo& r : d.records) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "  %4d %11lld %11lld  %-19s  ", r.part, static_cast<long long>(r.storedSize),
                      static_cast<long long>(r.originalSize), DosDateText(r.dosDate).c_str());
        o += buf + r.name + (r.launch ? "*" + r.params : std::string()) + (r.compressed ? "" : "  (stored)") + "\n";
    }
    line("Launch entry:", d.runSpec.empty() ? "(none)" : d.runSpec);
    line("Checksum:", d.checksumsPass ? "passes" : "FAILS");
    if (!d.damage.empty()) line("Damage:", d.damage);
    return o;
}

std::string DescriptionJson(const PackageDescription& d) {
    std::string o = "{\n";
    auto field = [&o](const std::string& name, const std::string& value, bool last = false) {
        o += "  " + JsonString(name) + ": " + value + (last ? "\n" : ",\n");
    };
    auto strings = [](const std::vector<std::string>& v) {
        std::string s = "[";
        for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + JsonString(v[i]);
        return s + "]";
    };
    field("file", JsonString(d.path));
    field("trailerLength", IntToStr(d.trailerLength));
    field("magic", IntToStr(d.magic));
    field("textBlocks", IntToStr(d.textBlockCount));
    field("dataOffset", IntToStr(d.dataOffset));
    field("fileCount", IntToStr(d.fileCount));
    field("endStamp", IntToStr(int64_t(d.endStamp)));
    field("flags", IntToStr(d.flags));
    std::vector<std::string> names = SUB::Items("|" + ReplaceChar(FlagNames(d.flags), ' ', '|') + "|");
    if (d.flags == 0) names.clear();
    field("flagNames", strings(names));
    field("webSetup", Bool(d.webSetup));
    field("askBeforeDownload", Bool(d.askBeforeDownload));
    field("writeAgentImage", Bool(d.writeAgentImage));
    field("updateAgent", Bool(d.updateAgent));
    std::string space = "[";
    for (int i = 0; i < 9; ++i) space += (i ? ", " : "") + IntToStr(d.space[i]);
    field("space", space + "]");
    std::string langs = "[";
    for (size_t i = 0; i < d.languages.size(); ++i) {
        langs += std::string(i ? ", " : "") + "{\"name\": " + JsonString(d.languages[i].first) + ", \"keys\": {";
        const auto& keys = d.languages[i].second;
        for (size_t k = 0; k < keys.size(); ++k)
            langs += (k ? ", " : "") + JsonString(keys[k].first) + ": " + JsonString(keys[k].second);
        langs += "}}";
    }
    field("languages", langs + "]");
    field("settings", strings(d.settings));
    field("productToken", d.productTokenOk ? JsonString(d.productToken) : "null");
    field("webList", d.hasWebList ? strings(d.webList) : "null");
    field("downloadToken", d.downloadTokenOk ? JsonString(d.downloadToken) : "null");
    std::string parts = "[";
    for (size_t i = 0; i < d.parts.size(); ++i) {
        const PartInfo& p = d.parts[i];
        parts += std::string(i ? ", " : "") + "{\"path\": " + JsonString(p.path) + ", \"size\": " + IntToStr(p.size) +
                 ", \"checksum\": " + IntToStr(p.checksumField) + ", \"checksumComputed\": " +
                 IntToStr(p.checksumComputed) + ", \"checksumPasses\": " + Bool(p.checksumPasses) +
                 ", \"morePartsFollow\": " + Bool(p.morePartsFollow) + "}";
    }
    field("parts", parts + "]");
    std::string recs = "[";
    for (size_t i = 0; i < d.records.size(); ++i) {
        const RecordInfo& r = d.records[i];
        recs += std::string(i ? ",\n    " : "\n    ") + "{\"part\": " + IntToStr(r.part) +
                ", \"name\": " + JsonString(r.name) + ", \"launch\": " + Bool(r.launch) +
                ", \"params\": " + JsonString(r.params) + ", \"dosDate\": " + IntToStr(r.dosDate) +
                ", \"date\": " + JsonString(DosDateText(r.dosDate)) + ", \"stored\": " + IntToStr(r.storedSize) +
                ", \"compressed\": " + Bool(r.compressed) + ", \"original\": " + IntToStr(r.originalSize) + "}";
    }
    field("records", recs + (d.records.empty() ? "]" : "\n  ]"));
    field("runSpec", JsonString(d.runSpec));
    field("checksumPasses", Bool(d.checksumsPass));
    field("damage", d.damage.empty() ? "null" : JsonString(d.damage), true);
    return o + "}\n";
}

std::string ExtractNative(const std::string& package, const std::string& dir, ExtractReport& report) {
    report = ExtractReport();
    try {
        std::error_code ec;
        if (dir.empty()) return "no destination folder given";
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec)) return "cannot create the folder " + Quoted(dir);
        const std::string base = PackageBaseName(package);
        std::map<std::string, bool> seen;  // upper-cased names already written (Windows folds case)
        for (int number = 1;; ++number) {
            OpenPart part;
            const std::string path = number == 1 ? package : PartFileName(base, number);
            std::string error = OpenPackagePart(path, part);
            if (!error.empty()) return number == 1 ? error : "part " + IntToStr(number) + " is missing: " + error;
            if (!part.info.checksumPasses)
                return "the checksum of " + Quoted(path) + " fails (stored " + IntToStr(part.info.checksumField) +
                       ", computed " + IntToStr(part.info.checksumComputed) + ")";
            report.parts = number;
            RecordWalker walker(part.file, part.where, part.trailer.DataOffset(),
                                number == 1 ? part.trailer.TextBlockCount() : 0);
            RawRecord raw;
            while (walker.Next(raw)) {
                if (raw.isTextBlock) continue;
                FileRecord rec;
                if (!DecodeRecord(raw, rec, error))
                    return Quoted(path) + ": record at offset " + IntToStr(raw.offset) + ": " + error;
                ++report.records;
                if (rec.header.empty()) continue;  // no header: nothing to write, as in the stub
                if (rec.launch) report.runSpec = rec.RunSpec();
                const std::string safe = SafeRecordPath(rec.name);
                if (safe.empty()) return Quoted(path) + ": the record name " + Quoted(rec.name) + " is refused";
                const fs::path target = TargetPath(dir, safe);
                fs::create_directories(target.parent_path(), ec);
                const std::string key = UpperCase(safe);
                const bool first = seen.find(key) == seen.end();
                BinaryFile out;
                const bool opened = first ? out.Create(target.string()) : out.OpenAppend(target.string());
                if (!opened || !out.Write(rec.data) || !out.Close()) return "cannot write " + Quoted(target.string());
                if (first) {
                    seen[key] = true;
                    report.files.push_back(safe);
                }
                if (rec.dosDate != 0 && !SetFileDosTime(target.string(), rec.dosDate))
                    return "cannot set the time of " + Quoted(target.string());
            }
            if (!walker.Error().empty()) return Quoted(path) + ": " + walker.Error();
            if (!part.trailer.MorePartsFollow()) break;
        }
        return std::string();
    } catch (const std::exception& e) {
        return std::string("extraction failed: ") + e.what();
    }
}

std::string MakeInformText(const std::string& clearToken, const std::string& field2, const std::string& field3,
                           const std::string& announcement, bool scrambleWhole, std::string& text) {
    text.clear();
    if (clearToken.empty()) return "no product token given";
    if (field2.find('|') != std::string::npos || field3.find('|') != std::string::npos)
        return "the inform fields must not hold \"|\"";
    text = "|" + ScrambleItem(clearToken) + "|" + field2 + "|" + field3 + "|" + announcement;
    if (scrambleWhole) text = ScrambleText(text, true, true);
    return std::string();
}

}  // namespace vel
