// Building setup files and web stubs: inputs checked, records compressed in parallel and written
// in order by the shared package writer.
#include <algorithm>
#include <filesystem>
#include <map>
#include <new>
#include <random>
#include <system_error>

#include "FileTimes.h"
#include "OrderedPipeline.h"
#include "Velpack.h"
#include "autoupdate/InfoSignature.h"
#include "package/PackageFormat.h"
#include "package/PackageWriter.h"
#include "package/RecordPath.h"
#include "util/FileIO.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"

namespace vel {

namespace fs = std::filesystem;

namespace {

constexpr size_t kRecordData = size_t(4) << 20;  // file data per record: the stub holds one record at a time
constexpr uint64_t kMinPartSize = 4096;

struct InputFile {
    std::string path;  // on disk
    std::string name;  // in the package, "\" separated
    uint64_t size = 0;
    uint32_t dosDate = 0;
};

// Compressed by a worker; written by the builder thread in order.
struct Encoded {
    std::string bytes;
    uint64_t dataBytes = 0;
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A "|"-list of items that must not hold the separator.
std::string MakeBarList(const std::vector<std::string>& items, const char* what, std::string& list) {
    list = "|";
    for (const std::string& item : items) {
        if (item.find('|') != std::string::npos) return std::string(what) + ": " + Quoted(item) + " holds \"|\"";
        if (item.find('\0') != std::string::npos) return std::string(what) + ": a value holds a NUL byte";
        list += item + "|";
    }
    return std::string();
}

std::string ReadStub(const std::string& path, std::string& image) {
    if (path.empty()) return "no stub given (--stub)";
    BinaryFile f;
    if (!f.OpenRead(path)) return "cannot open the stub " + Quoted(path);
    const int64_t size = f.Size();
    if (size < 0) return "cannot read the stub " + Quoted(path);
    if (size < kPeHeaderOffset + 4 || size > (int64_t(64) << 20))
        return "the stub " + Quoted(path) + " is not a stub image (size " + IntToStr(size) + ")";
    try {
        image.assign(size_t(size), '\0');
    } catch (const std::bad_alloc&) {
        return "out of memory reading the stub";
    }
    if (!f.ReadExact(&image[0], image.size())) return "cannot read the stub " + Quoted(path);
    if (image.compare(0, 2, "MZ") != 0 || image.compare(size_t(kPeHeaderOffset), 4, std::string("PE\0\0", 4)) != 0)
        return "the stub " + Quoted(path) + " has no PE header at offset 256 (not a stamped stub image)";
    if (image.find_first_not_of('\0', size_t(kEndStampOffset)) < size_t(kPeHeaderOffset))
        return "the stub " + Quoted(path) + " already carries a package (bytes 248..255 are set)";
    return std::string();
}

// Sets the level the stub's manifest requests: the one asked for, or the invoker's rights for an
// update agent, which must never run elevated.
std::string SetStubLevel(const BuildOptions& o, std::string& image) {
    const bool done = o.updateAgent ? SetAgentExecutionLevel(image) : SetImageExecutionLevel(image, o.executionLevel);
    if (done) return std::string();
    return "the stub " + Quoted(o.stubPath) +
           " has no manifest with a requested execution level that can be set (requestedExecutionLevel)";
}

// "sub/dir/file" under root as "sub\dir\file"; error for a name the package cannot carry.
std::string PackageName(const fs::path& rel, std::string& name) {
    name.clear();
    for (const fs::path& part : rel) {
        const std::string s = part.string();
        if (s.find_first_of(std::string("|*\\\0", 4)) != std::string::npos)
            return "the file name " + Quoted(rel.generic_string()) +
                   " cannot be carried by a package (it holds \"|\", \"*\", \"\\\" or a NUL byte)";
        if (!name.empty()) name += '\\';
        name += s;
    }
    if (SafeRecordPath(name) != name)
        return "the file name " + Quoted(rel.generic_string()) + " cannot be extracted on Windows";
    return std::string();
}

std::string CollectInputs(const BuildOptions& o, std::vector<InputFile>& files, BuildReport& report) {
    files.clear();
    if (o.inputDir.empty()) return "no input folder given (--input)";
    std::error_code ec;
    const fs::path root(o.inputDir);
    if (!fs::is_directory(root, ec)) return "the input folder " + Quoted(o.inputDir) + " does not exist";
    fs::path outputAbs = fs::absolute(fs::path(o.output), ec);
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec) return "cannot read the input folder " + Quoted(o.inputDir) + ": " + ec.message();
    for (; it != end; it.increment(ec)) {
        if (ec) return "cannot read the input folder " + Quoted(o.inputDir) + ": " + ec.message();
        const fs::path p = it->path();
        const fs::path rel = p.lexically_relative(root);
        if (it->is_directory(ec)) {
            if (fs::is_empty(p, ec))
                report.warnings.push_back("empty folder " + Quoted(rel.generic_string()) +
                                          " is not carried (packages hold files only)");
            continue;
        }
        if (!it->is_regular_file(ec)) {
            report.warnings.push_back("skipped " + Quoted(rel.generic_string()) + ": not a regular file");
            continue;
        }
        if (!outputAbs.empty() && fs::equivalent(p, outputAbs, ec)) {
            report.warnings.push_back("skipped " + Quoted(rel.generic_string()) + ": it is the output file");
            continue;
        }
        InputFile f;
        f.path = p.string();
        std::string error = PackageName(rel, f.name);
        if (!error.empty()) return error;
        const uintmax_t size = it->file_size(ec);
        if (ec) return "cannot read the size of " + Quoted(f.path) + ": " + ec.message();
        f.size = size;
        if (!GetFileDosTime(f.path, f.dosDate)) return "cannot read the time of " + Quoted(f.path);
        files.push_back(std::move(f));
    }
    std::sort(files.begin(), files.end(), [](const InputFile& a, const InputFile& b) { return a.name < b.name; });
    std::map<std::string, const InputFile*> folded;
    for (const InputFile& f : files) {
        const auto added = folded.emplace(UpperCase(f.name), &f);
        if (!added.second)
            return "the names " + Quoted(added.first->second->name) + " and " + Quoted(f.name) +
                   " differ only in letter case (one file on Windows)";
    }
    return std::string();
}

// Moves the launch entry to the front of the files.
std::string PlaceLaunchEntry(const BuildOptions& o, std::vector<InputFile>& files, BuildReport& report) {
    if (o.launch.empty()) {
        if (!o.launchParams.empty()) return "launch parameters given without a launch entry (--launch)";
        report.warnings.push_back("no launch entry (--launch): the stub will extract the files and start nothing");
        return std::string();
    }
    if (o.launchParams.find_first_of(std::string("|\0", 2)) != std::string::npos)
        return "the launch parameters hold \"|\" or a NUL byte";
    const std::string wanted = UpperCase(ReplaceChar(o.launch, '/', '\\'));
    auto it = std::find_if(files.begin(), files.end(), [&](const InputFile& f) { return UpperCase(f.name) == wanted; });
    if (it == files.end()) return "the launch entry " + Quoted(o.launch) + " is not in the input folder";
    std::rotate(files.begin(), it, it + 1);
    return std::string();
}

std::string MakeTexts(const BuildOptions& o, PackageContent& c, BuildReport& report) {
    if (o.languageFile.empty()) {
        report.warnings.push_back("no language file (--languages): the stub shows its built-in English texts");
    } else {
        std::string error = LoadLanguageBlock(o.languageFile, c.languageBlock);
        if (!error.empty()) return error;
    }
    const std::string token = o.productToken.empty() ? std::string() : ScrambleItem(o.productToken);
    std::vector<std::string> items = {o.infoLocation, o.infoFileName, o.agentName, token, o.quietMode ? "1" : "0"};
    // The update key only when there is one: packages without it keep the five items of old.
    if (!o.updateKey.empty()) {
        Ed25519Public key;
        if (!ParseUpdateKeyHex(o.updateKey, key)) return "the update key is not 64 hex digits";
        items.push_back(UpdateKeyHex(key));
    }
    return MakeBarList(items, "settings", c.settingsList);
}

void SetTrailerFlags(const BuildOptions& o, PackageTrailer& t) {
    t.SetFlag(kFlagAnnounceExtraction, o.announceExtraction);
    t.SetFlag(kFlagSpanCopy, o.spanCopy);
    t.SetFlag(kFlagActivityBar, o.activityBar);
    t.SetFlag(kFlagAgentRunLog, o.agentRunLog);
    t.SetWriteAgentImage(o.writeAgentImage);
    t.SetUpdateAgent(o.updateAgent);
}

// File data per record: at most 4 MiB, and small enough that a record of it fits an otherwise
// empty part file even when it does not shrink (stored blocks: zlib's 6 bytes and 5 per block of
// at most 65535 bytes).
std::string RecordDataLimit(uint64_t partSize, const InputFile& f, const FileRecord& first, size_t& limit) {
    limit = kRecordData;
    if (partSize == 0) return std::string();
    const uint64_t overhead =
        uint64_t(kTrailerLength) + 4 + RecordHeader(first).size() + 1 + 6 + 5 * (partSize / 65535 + 1);
    if (partSize <= overhead)
        return "the part size " + IntToStr(int64_t(partSize)) + " is too small for the record of " + Quoted(f.name);
    limit = size_t(std::min<uint64_t>(kRecordData, partSize - overhead));
    return std::string();
}

// Writes the file records of all inputs through the writer, compressing on worker threads.
std::string WriteRecords(const BuildOptions& o, const std::vector<InputFile>& files, PackageWriter& writer,
                         BuildReport& report, const ProgressFn& progress) {
    uint64_t total = 0;
    for (const InputFile& f : files) total += f.size;
    uint64_t done = 0;
    const int level = o.level;
    if (progress) progress(0, total);
    const int threads = o.threads > 0 ? o.threads : DefaultThreadCount();
    OrderedPipeline<FileRecord, Encoded> pipe(
        threads, size_t(threads) * 2 + 2,
        [level](FileRecord& rec, Encoded& out, std::string& error) {
            out.dataBytes = rec.data.size();
            error = EncodeRecord(rec, level, out.bytes);
            return error.empty();
        },
        [&](Encoded& enc, std::string& error) {
            error = writer.AddEncodedRecord(enc.bytes);
            if (!error.empty()) return false;
            report.storedBytes += enc.bytes.size();
            ++report.records;
            done += enc.dataBytes;
            if (progress) progress(done, total);
            return true;
        });
    for (size_t i = 0; i < files.size(); ++i) {
        const InputFile& f = files[i];
        FileRecord rec;
        rec.name = f.name;
        rec.dosDate = f.dosDate;
        rec.launch = i == 0 && !o.launch.empty();
        rec.params = rec.launch ? o.launchParams : std::string();
        size_t limit = 0;
        std::string error = RecordDataLimit(o.partSize, f, rec, limit);
        if (!error.empty()) return error;
        BinaryFile in;
        if (!in.OpenRead(f.path)) return "cannot open " + Quoted(f.path);
        uint64_t left = f.size;
        do {
            const size_t n = size_t(std::min<uint64_t>(left, limit));
            FileRecord piece;
            piece.name = rec.name;
            piece.dosDate = rec.dosDate;
            // Only the first record of the launch entry carries the "*": the rest is appended to it.
            piece.launch = rec.launch && left == f.size;
            piece.params = piece.launch ? rec.params : std::string();
            try {
                piece.data.resize(n);
            } catch (const std::bad_alloc&) {
                return "out of memory reading " + Quoted(f.path);
            }
            if (n > 0 && !in.ReadExact(&piece.data[0], n))
                return "cannot read " + Quoted(f.path) + " (did it change during the build?)";
            left -= n;
            if (!pipe.Submit(std::move(piece))) return pipe.Error();
        } while (left > 0);
        writer.CountFileSize(f.size);
        ++report.inputFiles;
        report.inputBytes += f.size;
    }
    if (!pipe.Finish()) return pipe.Error();
    return std::string();
}

// Error when the folder that is to hold path does not exist.
std::string CheckOutputFolder(const std::string& path) {
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        return "the output folder " + Quoted(folder.string()) + " does not exist";
    return std::string();
}

std::string RandomToken() {
    static const char kDigits[] = "0123456789ABCDEF";
    std::random_device rd;
    std::mt19937_64 gen((uint64_t(rd()) << 32) ^ rd());
    std::string token;
    for (int i = 0; i < 24; ++i) token += kDigits[gen() % 16];
    return token;
}

void RemoveWritten(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) RemoveFile(p);
}

// The whole build of one setup file (and its parts). webList is the third text block, or null.
std::string BuildPackageFiles(const BuildOptions& o, const std::string* webList, BuildReport& report,
                              const ProgressFn& progress) {
    if (o.output.empty()) return "no output file given (--output)";
    std::string error = CheckOutputFolder(o.output);
    if (!error.empty()) return error;
    if (o.level < 0 || o.level > 9) return "the compression level must be 0..9";
    if (o.partSize != 0 && o.partSize < kMinPartSize)
        return "the part size must be at least " + IntToStr(int64_t(kMinPartSize)) + " bytes";
    PackageContent content;
    error = ReadStub(o.stubPath, content.stubImage);
    if (error.empty()) error = SetStubLevel(o, content.stubImage);
    if (error.empty()) error = MakeTexts(o, content, report);
    if (!error.empty()) return error;
    if (webList) {
        content.hasWebList = true;
        content.webList = *webList;
    }
    content.level = o.level;
    SetTrailerFlags(o, content.trailer);

    std::vector<InputFile> files;
    error = CollectInputs(o, files, report);
    if (error.empty()) error = PlaceLaunchEntry(o, files, report);
    if (!error.empty()) return error;

    const uint64_t firstPartFixed =
        content.stubImage.size() + EncodeTextBlock(content.languageBlock).size() +
        EncodeTextBlock(content.settingsList).size() + (webList ? EncodeTextBlock(*webList).size() : 0) + kTrailerLength;
    if (o.partSize != 0 && firstPartFixed > o.partSize)
        return "the part size " + IntToStr(int64_t(o.partSize)) + " is smaller than the stub with its texts (" +
               IntToStr(int64_t(firstPartFixed)) + " bytes)";

    // With span copy the setup file holds the stub and its texts; the records go to "name.001" and
    // on, whose first part carries the stub image and the texts as well (the agent image is cut from it).
    PackageWriter records;
    content.maxPartSize = o.partSize;
    const std::string recordsPath = o.spanCopy ? o.output + ".001" : o.output;
    error = records.Begin(recordsPath, content);
    if (error.empty()) error = WriteRecords(o, files, records, report, progress);
    if (error.empty()) error = records.Finish();
    if (!error.empty()) return error;
    std::vector<std::string> written = records.PartPaths();
    if (o.spanCopy) {
        PackageWriter setup;
        content.maxPartSize = 0;
        error = setup.Begin(o.output, content);
        if (error.empty()) error = setup.Finish();
        if (!error.empty()) {
            RemoveWritten(written);
            return error;
        }
        written.insert(written.begin(), o.output);
    }
    report.files.insert(report.files.end(), written.begin(), written.end());
    return std::string();
}

}  // namespace

std::string BuildSetup(const BuildOptions& options, BuildReport& report, const ProgressFn& progress) {
    report = BuildReport();
    try {
        return BuildPackageFiles(options, nullptr, report, progress);
    } catch (const std::exception& e) {
        return std::string("build failed: ") + e.what();
    }
}

std::string BuildWebSetup(const BuildOptions& options, const WebOptions& web, BuildReport& report,
                          const ProgressFn& progress) {
    report = BuildReport();
    try {
        if (web.output.empty()) return "no web stub file given (--web-output)";
        if (options.output.empty()) return "no output file given (--output)";
        std::error_code ec;
        if (fs::weakly_canonical(web.output, ec) == fs::weakly_canonical(options.output, ec))
            return "the web stub and the setup file must be different files";
        std::string error = CheckOutputFolder(web.output);
        if (!error.empty()) return error;
        if (web.location.empty()) return "no download location given (--web-location)";
        if (options.partSize != 0) return "a setup file fetched by a web stub cannot be split into parts";
        if (options.spanCopy) return "a setup file fetched by a web stub cannot use span copy";
        const std::string name = web.setupFileName.empty() ? fs::path(options.output).filename().string()
                                                           : web.setupFileName;
        const std::string token = web.downloadToken.empty() ? RandomToken() : web.downloadToken;
        const std::string only = web.downloadOnly ? "1" : "0";

        // The setup file carries the same list (with its own scrambling of the token) but no size.
        std::string setupList;
        error = MakeBarList({web.location, name, only, ScrambleItem(token), ""}, "web list", setupList);
        if (!error.empty()) return error;
        error = BuildPackageFiles(options, &setupList, report, progress);
        if (!error.empty()) return error;
        const std::vector<std::string> setupFiles = report.files;

        // The web stub's list adds the setup file's size and SHA-256, which the stub checks after
        // the download.
        BinaryFile built;
        int64_t size = -1;
        if (built.OpenRead(options.output)) size = built.Size();
        built.Close();
        const std::string sha256 = size < 0 ? std::string() : Sha256FileHex(options.output);
        std::string stubList;
        error = sha256.empty() ? "cannot read back " + Quoted(options.output)
                               : MakeBarList({web.location, name, only, ScrambleItem(token), IntToStr(size), sha256},
                                             "web list", stubList);
        PackageContent content;
        BuildReport stubReport;
        if (error.empty()) error = ReadStub(options.stubPath, content.stubImage);
        if (error.empty()) error = SetStubLevel(options, content.stubImage);
        if (error.empty()) error = MakeTexts(options, content, stubReport);
        if (error.empty()) {
            content.hasWebList = true;
            content.webList = stubList;
            SetTrailerFlags(options, content.trailer);
            content.trailer.SetWebSetup(true);
            content.trailer.SetAskBeforeDownload(web.askBeforeDownload);
            PackageWriter writer;
            error = writer.Begin(web.output, content);
            if (error.empty()) error = writer.Finish();
        }
        if (!error.empty()) {
            RemoveWritten(setupFiles);  // the pair is useless without its web stub
            report.files.clear();
            return error;
        }
        report.files.push_back(web.output);
        report.downloadToken = token;
        return std::string();
    } catch (const std::exception& e) {
        return std::string("build failed: ") + e.what();
    }
}

}  // namespace vel
