// Reading packages back: description for "velpack info", native extraction, inform files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "FileTimes.h"
#include "Velpack.h"
#include "autoupdate/InfoSignature.h"
#include "package/FileInfo.h"
#include "package/PackageFormat.h"
#include "package/PackageWalk.h"
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

PartInfo PartInfoOf(const PackagePart& part) {
    PartInfo info;
    info.path = part.path;
    info.size = part.where.fileSize;
    info.hasMagic = part.trailer.HasMagic();
    info.checksumField = part.trailer.Checksum();
    info.checksumComputed = part.checksumComputed;
    info.checksumPasses = part.checksumPasses;
    info.morePartsFollow = part.trailer.MorePartsFollow();
    return info;
}

// Lists every part and record of a package.
class Describer : public PackageVisitor {
public:
    explicit Describer(PackageDescription& d) : d_(d) {}

    bool OnPart(const PackagePart& part) override {
        d_.parts.push_back(PartInfoOf(part));
        if (part.number == 1) {
            const PackageTrailer& t = part.trailer;
            d_.textBlockCount = t.TextBlockCount();
            d_.dataOffset = t.DataOffset();
            d_.fileCount = t.FileCount();
            d_.magic = t.Magic();
            d_.trailerLength = part.where.trailerLength;
            d_.endStamp = ReadEndStamp(*part.file);
            d_.flags = t.Flags();
            d_.webSetup = t.IsWebSetup();
            d_.askBeforeDownload = t.AskBeforeDownload();
            d_.writeAgentImage = t.WriteAgentImage();
            d_.updateAgent = t.IsUpdateAgent();
            for (int i = 0; i < kSpaceEntries; ++i) d_.space[i] = t.SpaceEntry(i);
        }
        part_ = part.number;
        return true;
    }

    bool OnRecord(const FileRecord& rec, const RawRecord& raw) override {
        RecordInfo r;
        r.part = part_;
        r.storedSize = int64_t(raw.bytes.size());
        r.compressed = raw.length > 0;
        r.name = rec.name;
        r.launch = rec.launch;
        r.params = rec.params;
        r.dosDate = rec.dosDate;
        if (rec.launch) d_.runSpec = rec.RunSpec();
        d_.records.push_back(std::move(r));
        return true;
    }

    void OnData(const char*, size_t size) override { d_.records.back().originalSize += int64_t(size); }

private:
    PackageDescription& d_;
    int part_ = 0;
};

// Writes the files of a package below a folder, by the stub's rules.
class NativeExtractor : public PackageVisitor {
public:
    NativeExtractor(const std::string& dir, ExtractReport& report) : dir_(dir), report_(report) {}

    bool OnPart(const PackagePart& part) override {
        if (!part.HasPackage()) return true;  // the walk ends there
        if (!part.checksumPasses) {
            error_ = "the checksum of " + Quoted(part.path) + " fails (stored " + IntToStr(part.trailer.Checksum()) +
                     ", computed " + IntToStr(part.checksumComputed) + ")";
            return false;
        }
        path_ = part.path;
        report_.parts = part.number;
        return true;
    }

    bool OnRecord(const FileRecord& rec, const RawRecord&) override {
        ++report_.records;
        if (rec.header.empty()) return false;  // no header: nothing to write, as in the stub
        if (rec.launch) report_.runSpec = rec.RunSpec();
        const std::string safe = SafeRecordPath(rec.name);
        if (safe.empty()) {
            error_ = Quoted(path_) + ": the record name " + Quoted(rec.name) + " is refused";
            return false;
        }
        target_ = TargetPath(dir_, safe);
        std::error_code ec;
        fs::create_directories(target_.parent_path(), ec);
        const std::string key = UpperCase(safe);
        const bool first = seen_.find(key) == seen_.end();
        if (!(first ? out_.Create(target_.string()) : out_.OpenAppend(target_.string()))) {
            error_ = "cannot write " + Quoted(target_.string());
            return false;
        }
        if (first) {
            seen_[key] = true;
            report_.files.push_back(safe);
        }
        date_ = rec.dosDate;
        return true;
    }

    void OnData(const char* data, size_t size) override {
        if (error_.empty() && !out_.Write(data, size)) error_ = "cannot write " + Quoted(target_.string());
    }

    std::string AfterRecord(const RawRecord&) override {
        if (!out_.IsOpen()) return error_;
        if (!out_.Close() && error_.empty()) error_ = "cannot write " + Quoted(target_.string());
        if (error_.empty() && date_ != 0 && !SetFileDosTime(target_.string(), date_))
            error_ = "cannot set the time of " + Quoted(target_.string());
        return error_;
    }

    const std::string& Error() const { return error_; }

private:
    const std::string dir_;
    ExtractReport& report_;
    std::string path_;
    std::map<std::string, bool> seen_;  // upper-cased names already written (Windows folds case)
    BinaryFile out_;
    fs::path target_;
    uint32_t date_ = 0;
    std::string error_;
};

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

std::string UpdateKeyText(const std::string& keyItem) {
    if (keyItem.empty()) return "(none: update-info files are not checked)";
    Ed25519Public key;
    if (!ParseUpdateKeyHex(keyItem, key)) return keyItem + " (unreadable: the agent refuses every update-info file)";
    return UpdateKeyHex(key) + " (keyid " + UpdateKeyId(key) + ")";
}

std::string ExecutionLevelText(const PackageDescription& d) {
    if (!d.hasExecutionLevel) return "unreadable (no manifest level in the image)";
    const std::string name = ExecutionLevelName(d.executionLevel);
    switch (d.executionLevel) {
        case ExecutionLevel::RequireAdministrator: return "admin (" + name + ")";
        case ExecutionLevel::AsInvoker: return "user (" + name + ")";
        case ExecutionLevel::HighestAvailable: break;
    }
    return name;
}

std::string DescribePackage(const std::string& path, PackageDescription& d) {
    d = PackageDescription();
    d.path = path;
    try {
        Describer describer(d);
        const WalkResult walk = WalkPackage(path, describer);
        if (walk.part == 1 && (walk.end == WalkEnd::Unreadable || walk.end == WalkEnd::NoPackage)) {
            d.parts.clear();
            return walk.error;
        }
        if (walk.end != WalkEnd::Complete) {
            d.damage = walk.error;
            // A part that could not be opened is listed by its name alone.
            if (walk.end == WalkEnd::Unreadable && int(d.parts.size()) < walk.part) {
                PartInfo missing;
                missing.path = walk.partPath;
                d.parts.push_back(missing);
            }
        }

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
        d.updateKey = info.UpdateKey();
        d.hasWebList = d.textBlockCount >= 3;
        if (d.hasWebList) {
            d.webList = ListItems(info.WebDownloadList(), 6);
            d.downloadTokenOk = TryUnscrambleItem(info.DownloadToken(false), d.downloadToken);
        }
        // The image in front of the package (up to its first text block) and its manifest level.
        if (d.dataOffset > 0) {
            BinaryFile f;
            std::string image(std::min<size_t>(d.dataOffset, size_t(64) << 20), '\0');
            d.hasExecutionLevel = f.OpenRead(path) && f.ReadExact(&image[0], image.size()) &&
                                  ReadImageExecutionLevel(image, d.executionLevel);
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
    line("Execution level:", ExecutionLevelText(d));
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
    line("  UpdateKey:", UpdateKeyText(d.updateKey));
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
    field("executionLevel", d.hasExecutionLevel ? JsonString(ExecutionLevelName(d.executionLevel)) : "null");
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
    Ed25519Public key;
    const bool readable = ParseUpdateKeyHex(d.updateKey, key);
    field("updateKey", d.updateKey.empty() ? "null" : JsonString(d.updateKey));
    field("updateKeyId", readable ? JsonString(UpdateKeyId(key)) : "null");
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
        NativeExtractor extractor(dir, report);
        const WalkResult walk = WalkPackage(package, extractor);
        switch (walk.end) {
            case WalkEnd::Complete: return std::string();
            case WalkEnd::Stopped: return extractor.Error();
            case WalkEnd::Unreadable:
            case WalkEnd::NoPackage:
                return walk.part == 1 ? walk.error : "part " + IntToStr(walk.part) + " is missing: " + walk.error;
            default: return walk.error;
        }
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
