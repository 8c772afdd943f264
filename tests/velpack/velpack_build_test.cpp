// velpack builds packages that the stub's own reader reads back field by field, and that extract
// byte for byte with their dates; parts, span copy, web stubs and the refused inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "FileTimes.h"
#include "support/PackageFixture.h"
#include "Velpack.h"
#include "package/FileInfo.h"
#include "package/ImageManifest.h"
#include "package/PackageFormat.h"
#include "util/SUB.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"

namespace vel {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

const char kLanguages[] =
    "; texts of the stub\r\n"
    "[English]\r\n"
    "Charset=0\r\n"
    "FontName=Tahoma\r\n"
    "s0=Velnor Test Setup\r\n"
    "[Deutsch]\r\n"
    "s0 = Velnor Test-Installation\r\n";

struct SourceFile {
    std::string name;  // relative, "/" separated
    std::string bytes;
    uint32_t dosDate;
};

std::string TextBytes(size_t size) {
    std::string s;
    for (int i = 0; s.size() < size; ++i) s += "line " + std::to_string(i) + " of a compressible text\n";
    s.resize(size);
    return s;
}

// A build folder: stub, language file and an input tree with the cases that matter.
class VelpackBuild : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteWholeFile(dir.File("stub.exe"), testsupport::FakeStampedImage(1024)));
        ASSERT_TRUE(WriteWholeFile(dir.File("lang.ini"), kLanguages));
        sources = {
            {"Engine.exe", "MZ engine", 0x5A8B6C10},
            {"empty.txt", "", 0x5A8B6C21},
            {"sub/big.bin", testsupport::RandomBytes((size_t(4) << 20) + 12345, 7), 0x5A8B6C32},
            {"sub/deeper/notes.txt", TextBytes(200000), 0x5A8B6C43},
            {"sub/noise.bin", testsupport::RandomBytes(3000, 9), 0x5A8B6C54},
        };
        WriteSources(dir.File("in"), sources);
        options.stubPath = dir.File("stub.exe");
        options.languageFile = dir.File("lang.ini");
        options.inputDir = dir.File("in");
        options.output = dir.File("out/setup.exe");
        options.launch = "Engine.exe";
        options.launchParams = "/s";
        options.productToken = "PRODUCT-42";
        options.infoLocation = "http://updates.example/velnor";
        options.agentName = "AutoUpdate.exe";
        options.announceExtraction = true;
        options.activityBar = true;
        fs::create_directories(dir.File("out"));
    }

    static void WriteSources(const std::string& root, const std::vector<SourceFile>& files) {
        for (const SourceFile& f : files) {
            const fs::path p = fs::path(root) / f.name;
            fs::create_directories(p.parent_path());
            ASSERT_TRUE(WriteWholeFile(p.string(), f.bytes));
            ASSERT_TRUE(SetFileDosTime(p.string(), f.dosDate));
        }
    }

    static std::string PackageName(const std::string& name) { return ReplaceChar(name, '/', '\\'); }

    // Every file of the input folder is in out with the same bytes and the same time.
    void ExpectSameTree(const std::string& out) {
        for (const SourceFile& f : sources) {
            const std::string src = (fs::path(options.inputDir) / f.name).string();
            const std::string got = (fs::path(out) / f.name).string();
            EXPECT_TRUE(ReadWholeFile(got) == f.bytes) << f.name;
            std::error_code ec1, ec2;
            EXPECT_EQ(fs::last_write_time(got, ec1), fs::last_write_time(src, ec2)) << f.name;
            EXPECT_FALSE(ec1 || ec2) << f.name;
        }
    }

    // Nothing but these names in the output folder (no temporary files left behind).
    void ExpectOutputFolder(const std::vector<std::string>& names) {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir.File("out"))) found.push_back(e.path().filename().string());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, names);
    }

    ScratchFolder dir;
    std::vector<SourceFile> sources;
    BuildOptions options;
};

// The file records of one package part as the stub's reader walks them.
std::vector<RawRecord> WalkRecords(const std::string& path, bool firstPart, std::string& error) {
    BinaryFile file;
    std::vector<RawRecord> records;
    if (!file.OpenRead(path)) {
        error = "cannot open " + path;
        return records;
    }
    PackageLocation where;
    const PackageTrailer t = ReadPackageTrailer(file, &where);
    RecordWalker walker(file, where, t.DataOffset(), firstPart ? t.TextBlockCount() : 0);
    RawRecord raw;
    while (walker.Next(raw))
        if (!raw.isTextBlock) records.push_back(raw);
    error = walker.Error();
    return records;
}

TEST_F(VelpackBuild, ReaderSeesEveryFieldAsBuilt) {
    BuildReport report;
    ASSERT_EQ(BuildSetup(options, report), "");
    const std::string setup = options.output;
    ASSERT_EQ(report.files, std::vector<std::string>{setup});

    const TGFileInfo info(setup);
    const PackageTrailer& t = info.Trailer();
    ASSERT_TRUE(info.TextsRead());
    EXPECT_EQ(t.Magic(), kPackageMagic);
    EXPECT_EQ(t.Length(), kTrailerLength);
    EXPECT_EQ(t.Byte(0), 1);
    EXPECT_EQ(t.TextBlockCount(), 2);
    EXPECT_EQ(t.Flags(), kFlagAnnounceExtraction | kFlagActivityBar);
    EXPECT_FALSE(info.IsWebSetup() || info.AskBeforeDownload() || info.WriteAgentImage() || info.IsUpdateAgent());
    // 5 files, the big one in two records.
    EXPECT_EQ(t.FileCount(), 6u);
    EXPECT_EQ(report.records, 6u);
    std::vector<uint64_t> sizes;
    for (const SourceFile& f : sources) sizes.push_back(f.bytes.size());
    EXPECT_EQ(t.Space(), ComputeSpaceTable(sizes));

    // Stub image in front, end stamp at the file's end, checksum by the reader's own rule.
    const std::string bytes = ReadWholeFile(setup);
    const std::string stubImage = testsupport::FakeStampedImage(1024);
    EXPECT_EQ(bytes.substr(0, 248), stubImage.substr(0, 248));
    EXPECT_EQ(bytes.substr(256, 768), stubImage.substr(256));
    BinaryFile file;
    ASSERT_TRUE(file.OpenRead(setup));
    EXPECT_EQ(ReadEndStamp(file), uint64_t(bytes.size()));
    EXPECT_EQ(PackageChecksum(setup, kTrailerLength), kChecksumNotComputed);  // above 51200 bytes

    // Texts.
    EXPECT_EQ(info.LanguageBlock(),
              "\x02\x01" "English\x01" "Charset=0\x01" "FontName=Tahoma\x01" "s0=Velnor Test Setup\x01\x02"
              "\x01" "Deutsch\x01" "s0=Velnor Test-Installation\x01\x02");
    EXPECT_EQ(info.InfoLocation(), "http://updates.example/velnor");
    EXPECT_EQ(info.AgentName(), "AutoUpdate.exe");
    EXPECT_EQ(info.ProductToken(true), "PRODUCT-42");
    EXPECT_NE(info.ProductToken(false), "PRODUCT-42");
    EXPECT_FALSE(info.QuietMode());
    EXPECT_EQ(info.WebDownloadList(), "");

    // Records: launch entry first, names sorted, dates kept, big file split, each a zlib stream
    // (with its check value): what does not shrink is in stored blocks.
    std::string error;
    const std::vector<RawRecord> raws = WalkRecords(setup, true, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(raws.size(), 6u);
    const struct {
        const char* header;
        bool shrinks;
        size_t dataSize;
    } want[] = {
        {"|Engine.exe*/s|1519086608|", false, 9},
        {"|empty.txt|1519086625|", false, 0},
        {"|sub\\big.bin|1519086642|", false, size_t(4) << 20},
        {"|sub\\big.bin|1519086642|", false, 12345},
        {"|sub\\deeper\\notes.txt|1519086659|", true, 200000},
        {"|sub\\noise.bin|1519086676|", false, 3000},
    };
    std::map<std::string, std::string> joined;
    for (size_t i = 0; i < raws.size(); ++i) {
        FileRecord rec;
        ASSERT_EQ(DecodeRecord(raws[i], rec), "");
        EXPECT_EQ(rec.header, want[i].header) << i;
        EXPECT_GT(raws[i].length, 0) << i;
        const size_t content = rec.header.size() + 1 + rec.data.size();
        if (want[i].shrinks) {
            EXPECT_LT(raws[i].bytes.size(), content) << i;
        } else {
            EXPECT_LE(raws[i].bytes.size(), content + 6 + 5 * (content / 65535 + 1)) << i;
        }
        EXPECT_EQ(rec.data.size(), want[i].dataSize) << i;
        joined[rec.name] += rec.data;
    }
    for (const SourceFile& f : sources) EXPECT_TRUE(joined[PackageName(f.name)] == f.bytes) << f.name;
}

TEST_F(VelpackBuild, ExtractAndInfoRoundTrip) {
    BuildReport report;
    ASSERT_EQ(BuildSetup(options, report), "");
    ExtractReport ex;
    ASSERT_EQ(ExtractNative(options.output, dir.File("x"), ex), "");
    EXPECT_EQ(ex.runSpec, "Engine.exe*/s");
    EXPECT_EQ(ex.parts, 1);
    EXPECT_EQ(ex.records, 6u);
    ExpectSameTree(dir.File("x"));

    PackageDescription d;
    ASSERT_EQ(DescribePackage(options.output, d), "");
    EXPECT_TRUE(d.checksumsPass);
    EXPECT_EQ(d.damage, "");
    EXPECT_EQ(d.productToken, "PRODUCT-42");
    ASSERT_EQ(d.records.size(), 6u);
    EXPECT_EQ(d.records[2].name, "sub\\big.bin");
    EXPECT_EQ(d.records[2].originalSize, int64_t(4) << 20);
    const std::string text = DescriptionText(d);
    for (const char* line : {"Flags:              0x09 AnnounceExtraction ActivityBar",
                             "    s0=Velnor Test-Installation", "  ProductToken:     PRODUCT-42",
                             "Launch entry:       Engine.exe*/s", "Checksum:           passes"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    const std::string json = DescriptionJson(d);
    for (const char* item : {"\"flagNames\": [\"AnnounceExtraction\", \"ActivityBar\"]",
                             "\"name\": \"sub\\\\deeper\\\\notes.txt\"", "\"checksumPasses\": true"})
        EXPECT_NE(json.find(item), std::string::npos) << item << "\n" << json;
}

TEST_F(VelpackBuild, PartFilesEachCarryTheirOwnTrailer) {
    // A large part size (checksums not computed) and a small one (real checksums on every part).
    const struct {
        uint64_t partSize;
        bool smallInput;
        size_t minParts;
    } cases[] = {{2u << 20, false, 3}, {8192, true, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.partSize);
        BuildOptions o = options;
        o.partSize = c.partSize;
        if (c.smallInput) {
            o.inputDir = dir.File("small");
            sources = {{"Engine.exe", "MZ engine", 0x5A8B6C10},
                       {"data/a.bin", testsupport::RandomBytes(9000, 3), 0x5A8B6C21},
                       {"data/b.txt", TextBytes(30000), 0x5A8B6C32}};
            WriteSources(o.inputDir, sources);
        }
        options.inputDir = o.inputDir;
        BuildReport report;
        ASSERT_EQ(BuildSetup(o, report), "");
        ASSERT_GE(report.files.size(), c.minParts);
        for (size_t i = 0; i < report.files.size(); ++i) {
            const std::string& part = report.files[i];
            EXPECT_EQ(part, i == 0 ? o.output : PartFileName(o.output, int(i) + 1));
            const PackageTrailer t = ReadPackageTrailer(part);
            const std::string bytes = ReadWholeFile(part);
            EXPECT_LE(bytes.size(), c.partSize) << part;
            EXPECT_TRUE(t.HasMagic()) << part;
            EXPECT_EQ(t.MorePartsFollow(), i + 1 < report.files.size()) << part;
            EXPECT_EQ(t.DataOffset(), i == 0 ? 1024u : 0u) << part;
            EXPECT_EQ(t.FileCount(), report.records) << part;
            const uint32_t sum = PackageChecksum(part, kTrailerLength);
            EXPECT_EQ(t.Checksum(), sum) << part;
            if (c.smallInput) {
                EXPECT_NE(sum, kChecksumNotComputed) << part;
            }
            std::string error;
            WalkRecords(part, i == 0, error);
            EXPECT_EQ(error, "") << part;
        }
        ExtractReport ex;
        const std::string out = dir.File(c.smallInput ? "xs" : "xl");
        ASSERT_EQ(ExtractNative(o.output, out, ex), "");
        EXPECT_EQ(ex.parts, int(report.files.size()));
        ExpectSameTree(out);
    }
}

TEST_F(VelpackBuild, SpanCopyPutsThePackageBesideTheStub) {
    options.spanCopy = true;
    options.partSize = 3u << 20;
    options.writeAgentImage = true;
    BuildReport report;
    ASSERT_EQ(BuildSetup(options, report), "");
    const std::string setup = options.output;
    ASSERT_EQ(report.files.size(), 4u);  // setup.exe, .001, .002, .003
    EXPECT_EQ(report.files[1], setup + ".001");
    EXPECT_EQ(report.files[3], setup + ".003");

    // The setup file: stub and texts only, span-copy flag, no further parts.
    const TGFileInfo stub(setup);
    EXPECT_TRUE(stub.SpanCopyWanted());
    EXPECT_FALSE(stub.Trailer().MorePartsFollow());
    EXPECT_EQ(stub.ProductToken(true), "PRODUCT-42");
    std::string error;
    EXPECT_TRUE(WalkRecords(setup, true, error).empty());
    EXPECT_EQ(error, "");

    // The first part repeats stub and texts, so the agent image cut from it is a stub image.
    const TGFileInfo first(setup + ".001");
    EXPECT_TRUE(first.TextsRead());
    EXPECT_EQ(first.LanguageBlock(), stub.LanguageBlock());
    EXPECT_TRUE(first.AnnounceExtraction());
    EXPECT_TRUE(first.Trailer().MorePartsFollow());
    std::string agent;
    ASSERT_TRUE(BuildAgentImage(setup + ".001", first.Trailer().DataOffset(), agent));
    EXPECT_TRUE(IsStampedImage(agent));
    EXPECT_TRUE(ReadPackageTrailer(report.files[3]).HasMagic());
    EXPECT_FALSE(ReadPackageTrailer(report.files[3]).MorePartsFollow());

    ExtractReport ex;
    ASSERT_EQ(ExtractNative(setup + ".001", dir.File("x"), ex), "");
    EXPECT_EQ(ex.parts, 3);
    EXPECT_EQ(ex.runSpec, "Engine.exe*/s");
    ExpectSameTree(dir.File("x"));
}

TEST_F(VelpackBuild, WebStubAndSetupFileShareTheirToken) {
    WebOptions web;
    web.location = "http://downloads.example/setup";
    web.output = dir.File("out/websetup.exe");
    web.askBeforeDownload = true;
    web.downloadOnly = true;
    web.downloadToken = "TOKEN-77";
    BuildReport report;
    ASSERT_EQ(BuildWebSetup(options, web, report), "");
    EXPECT_EQ(report.files, (std::vector<std::string>{options.output, web.output}));

    const TGFileInfo stub(web.output);
    const TGFileInfo setup(options.output);
    EXPECT_TRUE(stub.IsWebSetup());
    EXPECT_TRUE(stub.AskBeforeDownload());
    EXPECT_EQ(stub.Trailer().TextBlockCount(), 3);
    EXPECT_EQ(stub.Trailer().FileCount(), 0u);
    EXPECT_EQ(stub.DownloadLocation(), web.location);
    EXPECT_EQ(stub.SetupFileName(), "setup.exe");
    EXPECT_TRUE(stub.DownloadOnly());
    EXPECT_EQ(stub.SetupFileSize(), IntToStr(int64_t(ReadWholeFile(options.output).size())));
    EXPECT_EQ(stub.DownloadToken(true), "TOKEN-77");
    // The stub knows the file it downloads by its hash; the setup file cannot carry its own.
    const std::string sha256 = Sha256Hex(ReadWholeFile(options.output));
    EXPECT_EQ(stub.SetupFileSha256(), sha256);
    EXPECT_EQ(setup.SetupFileSha256(), "");
    PackageDescription described;
    ASSERT_EQ(DescribePackage(web.output, described), "");
    EXPECT_NE(DescriptionText(described).find("SetupFileSha256:"), std::string::npos);
    EXPECT_NE(DescriptionText(described).find(sha256), std::string::npos);
    ASSERT_EQ(DescribePackage(options.output, described), "");
    EXPECT_EQ(DescriptionText(described).find("SetupFileSha256:"), std::string::npos);
    std::string error;
    EXPECT_TRUE(WalkRecords(web.output, true, error).empty());

    EXPECT_FALSE(setup.IsWebSetup());
    EXPECT_EQ(setup.Trailer().TextBlockCount(), 3);
    EXPECT_EQ(setup.Trailer().FileCount(), 6u);
    EXPECT_TRUE(TokensMatch(stub, setup));
    EXPECT_NE(stub.DownloadToken(false), setup.DownloadToken(false));  // each scrambled afresh

    // A second pair with a random token does not match the first.
    WebOptions other = web;
    other.downloadToken.clear();
    other.output = dir.File("out/web2.exe");
    BuildOptions o2 = options;
    o2.output = dir.File("out/setup2.exe");
    ASSERT_EQ(BuildWebSetup(o2, other, report), "");
    EXPECT_FALSE(report.downloadToken.empty());
    const TGFileInfo setup2(o2.output);
    EXPECT_EQ(setup2.DownloadToken(true), report.downloadToken);
    EXPECT_TRUE(TokensMatch(TGFileInfo(other.output), setup2));
    EXPECT_FALSE(TokensMatch(stub, setup2));
}

ExecutionLevel LevelOfFile(const std::string& path) {
    ExecutionLevel level = ExecutionLevel::HighestAvailable;
    EXPECT_TRUE(ReadImageExecutionLevel(ReadWholeFile(path), level)) << path;
    return level;
}

// The level Windows reads from each written file: the one asked for, the invoker's rights for an
// agent whatever was asked; the file still reads and extracts as a package.
TEST_F(VelpackBuild, ManifestLevelOfSetupsWebStubsAndAgents) {
    const struct {
        const char* what;
        bool user, agent, web;
        ExecutionLevel expected;
    } cases[] = {
        {"default", false, false, false, ExecutionLevel::RequireAdministrator},
        {"user", true, false, false, ExecutionLevel::AsInvoker},
        {"plain agent, admin asked", false, true, false, ExecutionLevel::AsInvoker},
        {"web stub and setup file, default", false, false, true, ExecutionLevel::RequireAdministrator},
        {"web stub and setup file, user", true, false, true, ExecutionLevel::AsInvoker},
    };
    const std::string stub = ReadWholeFile(options.stubPath);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BuildOptions o = options;
        if (c.user) o.executionLevel = ExecutionLevel::AsInvoker;
        o.updateAgent = c.agent;
        BuildReport report;
        if (c.web) {
            WebOptions web;
            web.location = "http://downloads.example/setup";
            web.output = dir.File("out/web.exe");
            ASSERT_EQ(BuildWebSetup(o, web, report), "");
            EXPECT_EQ(LevelOfFile(web.output), c.expected);
            EXPECT_TRUE(TGFileInfo(web.output).IsWebSetup());
        } else {
            ASSERT_EQ(BuildSetup(o, report), "");
        }
        const std::string built = ReadWholeFile(o.output);
        EXPECT_EQ(LevelOfFile(o.output), c.expected);
        // Only the manifest's level changed in the image (and the end stamp was set).
        std::string image = stub;
        ASSERT_TRUE(SetImageExecutionLevel(image, c.expected));
        ASSERT_GT(built.size(), image.size());
        EXPECT_EQ(built.substr(0, 248), image.substr(0, 248));
        EXPECT_TRUE(built.compare(256, image.size() - 256, image, 256) == 0);
        const TGFileInfo setup(o.output);
        EXPECT_TRUE(setup.TextsRead());
        EXPECT_EQ(setup.IsUpdateAgent(), c.agent);
        ExtractReport ex;
        ASSERT_EQ(ExtractNative(o.output, dir.File("x"), ex), "");
        EXPECT_EQ(ex.runSpec, "Engine.exe*/s");
        fs::remove_all(dir.File("x"));
    }
    // A stub without a readable level is refused rather than built with unknown rights.
    ASSERT_TRUE(WriteWholeFile(dir.File("plain.exe"), testsupport::FakeStampedImage(600)));
    BuildOptions o = options;
    o.stubPath = dir.File("plain.exe");
    fs::remove(o.output);
    BuildReport report;
    EXPECT_NE(BuildSetup(o, report).find("has no manifest with a requested execution level"), std::string::npos);
    EXPECT_FALSE(fs::exists(o.output));
}

TEST_F(VelpackBuild, RefusedInputsLeaveNoOutput) {
    ASSERT_TRUE(WriteWholeFile(options.output, "OLD"));
    std::string badStub = testsupport::FakeStampedImage(1024);
    badStub.replace(256, 4, std::string(4, 'x'));
    badStub.replace(128, 4, std::string("PE\0\0", 4));
    ASSERT_TRUE(WriteWholeFile(dir.File("badstub.exe"), badStub));
    ASSERT_TRUE(WriteWholeFile(dir.File("nosections.ini"), "; no sections\nCharset=0\n"));
    ASSERT_TRUE(WriteWholeFile(dir.File("bigstub.exe"), testsupport::FakeStampedImage(8192)));
    const struct {
        const char* what;
        void (*change)(BuildOptions&, const ScratchFolder&);
        const char* error;
    } cases[] = {
        {"missing stub", [](BuildOptions& o, const ScratchFolder& d) { o.stubPath = d.File("nostub.exe"); },
         "cannot open the stub"},
        {"PE header not at 256", [](BuildOptions& o, const ScratchFolder& d) { o.stubPath = d.File("badstub.exe"); },
         "no PE header at offset 256"},
        {"missing input", [](BuildOptions& o, const ScratchFolder& d) { o.inputDir = d.File("nothere"); },
         "does not exist"},
        {"missing language file", [](BuildOptions& o, const ScratchFolder& d) { o.languageFile = d.File("no.ini"); },
         "language file: cannot open"},
        {"language file without sections",
         [](BuildOptions& o, const ScratchFolder& d) { o.languageFile = d.File("nosections.ini"); },
         "keys before the first section"},
        {"launch entry not in the input", [](BuildOptions& o, const ScratchFolder&) { o.launch = "Setup.exe"; },
         "is not in the input folder"},
        {"launch parameters with |", [](BuildOptions& o, const ScratchFolder&) { o.launchParams = "/a|b"; },
         "launch parameters hold"},
        {"settings item with |", [](BuildOptions& o, const ScratchFolder&) { o.agentName = "a|b.exe"; },
         "holds \"|\""},
        {"part size below the minimum", [](BuildOptions& o, const ScratchFolder&) { o.partSize = 1100; },
         "part size must be at least"},
        {"part size below the stub and texts",
         [](BuildOptions& o, const ScratchFolder& d) {
             o.stubPath = d.File("bigstub.exe");
             o.partSize = 8192;
         },
         "smaller than the stub with its texts"},
        {"missing output folder", [](BuildOptions& o, const ScratchFolder& d) { o.output = d.File("no/setup.exe"); },
         "output folder"},
    };
    for (const auto& c : cases) {
        BuildOptions o = options;
        c.change(o, dir);
        BuildReport report;
        const std::string error = BuildSetup(o, report);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(ReadWholeFile(options.output), "OLD") << c.what;
        ExpectOutputFolder({"setup.exe"});
    }
    // An empty language file is a file without sections as well.
    ASSERT_TRUE(WriteWholeFile(dir.File("empty.ini"), ""));
    options.languageFile = dir.File("empty.ini");
    BuildReport report;
    EXPECT_NE(BuildSetup(options, report).find("language file has no sections"), std::string::npos);
}

#ifndef _WIN32
// Names Windows cannot hold (or cannot tell apart) can only be offered by a POSIX file system.
TEST_F(VelpackBuild, RefusesNamesThePackageCannotCarry) {
    const struct {
        std::vector<std::string> names;
        const char* error;
    } cases[] = {
        {{"a|b.txt"}, "cannot be carried"},
        {{"star*.txt"}, "cannot be carried"},
        {{"back\\slash.txt"}, "cannot be carried"},
        {{"sub/CON"}, "cannot be extracted on Windows"},
        {{"A.txt", "B.txt", "a.txt"}, "differ only in letter case"},
    };
    for (const auto& c : cases) {
        ScratchFolder in;
        ASSERT_TRUE(WriteWholeFile(in.File("Engine.exe"), "x"));
        for (const std::string& name : c.names) {
            fs::create_directories(fs::path(in.File(name)).parent_path());
            ASSERT_TRUE(WriteWholeFile(in.File(name), "x"));
        }
        BuildOptions o = options;
        o.inputDir = in.Path();
        BuildReport report;
        const std::string error = BuildSetup(o, report);
        EXPECT_NE(error.find(c.error), std::string::npos) << c.names.back() << ": " << error;
        EXPECT_FALSE(fs::exists(o.output)) << c.names.back();
    }
}
#endif

TEST_F(VelpackBuild, FailureInTheMiddleRemovesThePartialPackage) {
    // After the first record has been written, the last input file disappears: the build fails
    // while the package is half written, and neither the setup file nor a temporary file remains.
    ASSERT_TRUE(WriteWholeFile(options.output, "OLD"));
    options.partSize = 1u << 20;  // parts are written as well
    options.threads = 1;          // at most 4 records in flight: the last file is opened after the removal
    const std::string victim = (fs::path(options.inputDir) / "sub/noise.bin").string();
    BuildReport report;
    int calls = 0;
    const std::string error = BuildSetup(options, report, [&](uint64_t done, uint64_t) {
        if (++calls == 2 && done > 0) fs::remove(victim);
    });
    EXPECT_NE(error.find("noise.bin"), std::string::npos) << error;
    EXPECT_GT(calls, 1);
    EXPECT_EQ(ReadWholeFile(options.output), "OLD");
    ExpectOutputFolder({"setup.exe"});
}

}  // namespace
}  // namespace vel
