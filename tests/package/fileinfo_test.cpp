// The package reader over packages written by the package writer, and over damaged files.
#include "package/FileInfo.h"

#include <gtest/gtest.h>

#include <cctype>

#include "support/PackageFixture.h"
#include "package/ImageManifest.h"
#include "package/PackageWriter.h"
#include "util/FileIO.h"
#include "util/SUB.h"

namespace vel {
namespace {

using testsupport::LE32;
using testsupport::PutLE32;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

const std::string kLanguageBlock =
    "\x02\x01" "English\x01" "s0=Setup\x01" "FontSize=9\x01\x02\x01" "Deutsch\x01" "s0=Einrichtung\x01\x02";

PackageContent StubContent() {
    PackageContent c;
    c.stubImage = testsupport::FakeStampedImage(1536);
    c.languageBlock = kLanguageBlock;
    c.settingsList = "|http://upd.example/app/|sub\\dir/App.Setup.info|AppAgent.exe|" + ScrambleItem("product-7") + "|1|";
    c.hasWebList = true;
    c.webList = "|http://dl.example/files/|AppSetup.exe|1|" + ScrambleItem("download-9") + "|123456|";
    c.trailer.SetFlags(kFlagAnnounceExtraction | kFlagSpanCopy | kFlagActivityBar | kFlagAgentRunLog);
    c.trailer.SetWebSetup(true);
    c.trailer.SetAskBeforeDownload(true);
    c.trailer.SetWriteAgentImage(true);
    c.trailer.SetUpdateAgent(true);
    return c;
}

std::string WritePackage(const std::string& path, const PackageContent& content, int files = 2) {
    PackageWriter w;
    std::string error = w.Begin(path, content);
    for (int i = 0; error.empty() && i < files; ++i) {
        FileRecord rec;
        rec.name = i == 0 ? "Engine.exe" : "file" + std::to_string(i) + ".dat";
        rec.launch = i == 0;
        rec.dosDate = 1248086749;
        rec.data = std::string(1000 + i, char('A' + i));
        error = w.AddFile(rec);
    }
    return error.empty() ? w.Finish() : error;
}

TEST(TGFileInfo, ReadsAStampedStubWithACertificateBehindIt) {
    ScratchFolder dir;
    const std::string path = dir.File("AppSetup.exe");
    const PackageContent content = StubContent();
    ASSERT_EQ(WritePackage(path, content), "");
    const int64_t packageEnd = int64_t(ReadWholeFile(path).size());
    {
        BinaryFile f;
        ASSERT_TRUE(f.OpenAppend(path));
        ASSERT_TRUE(f.Write(std::string(3000, '\xC3') + LE32(74)));  // ends like a trailer length
    }
    BinaryFile f;
    ASSERT_TRUE(f.OpenRead(path));
    EXPECT_EQ(ReadEndStamp(f), uint64_t(packageEnd));
    f.Close();

    const TGFileInfo info(path);
    ASSERT_TRUE(info.TextsRead());
    const PackageTrailer& t = info.Trailer();
    EXPECT_TRUE(t.HasMagic());
    EXPECT_EQ(t.Byte(0), 1);
    EXPECT_EQ(t.TextBlockCount(), 3);
    EXPECT_EQ(t.FileCount(), 2u);
    EXPECT_EQ(t.Length(), 74u);
    EXPECT_EQ(t.DataOffset(), 1536u + 4 * 3 + kLanguageBlock.size() + content.settingsList.size() +
                                  content.webList.size());
    EXPECT_EQ(t.Space(), ComputeSpaceTable({1000, 1001}));
    EXPECT_TRUE(info.AnnounceExtraction());
    EXPECT_TRUE(info.SpanCopyWanted());
    EXPECT_TRUE(info.ShowActivityBar());
    EXPECT_TRUE(info.AgentDebugLog());
    EXPECT_FALSE(t.MorePartsFollow());
    EXPECT_TRUE(info.IsWebSetup());
    EXPECT_TRUE(info.AskBeforeDownload());
    EXPECT_TRUE(info.WriteAgentImage());
    EXPECT_TRUE(info.IsUpdateAgent());

    EXPECT_EQ(info.LanguageBlock(), kLanguageBlock);
    EXPECT_EQ(info.InfoLocation(), "http://upd.example/app/");
    EXPECT_EQ(info.InfoFileName(), "App.Setup.info");
    EXPECT_EQ(info.InstallSettingsName(), "App.original");
    EXPECT_EQ(info.InstallSettingsPath("C:\\Program Files\\App"), "C:\\Program Files\\App\\App.original");
    EXPECT_EQ(info.InstallSettingsPath("C:\\App\\"), "C:\\App\\App.original");
    EXPECT_EQ(info.AgentName(), "AppAgent.exe");
    EXPECT_EQ(info.ProductToken(true), "product-7");
    EXPECT_EQ(info.ProductToken(false), SUB::Item(content.settingsList, 3));
    EXPECT_TRUE(info.QuietMode());
    EXPECT_EQ(info.DownloadLocation(), "http://dl.example/files/");
    EXPECT_EQ(info.SetupFileName(), "AppSetup.exe");
    EXPECT_TRUE(info.DownloadOnly());
    EXPECT_EQ(info.DownloadToken(true), "download-9");
    EXPECT_EQ(info.SetupFileSize(), "123456");
    EXPECT_EQ(info.SetupFileSha256(), "");  // a list of five items carries no hash

    // The same stub with its stamp cleared and nothing appended reads the same.
    std::string plain = ReadWholeFile(path).substr(0, size_t(packageEnd));
    PutLE32(plain, 248, 0);
    PutLE32(plain, 252, 0);
    ASSERT_TRUE(WriteWholeFile(path, plain));
    const TGFileInfo again(path);
    EXPECT_TRUE(again.TextsRead());
    EXPECT_EQ(again.Trailer().Serialize(), info.Trailer().Serialize());
    EXPECT_EQ(again.WebDownloadList(), info.WebDownloadList());
}

TEST(TGFileInfo, PartFileWithTwoTextBlocks) {
    ScratchFolder dir;
    const std::string path = dir.File("App.001");
    PackageContent content;
    content.languageBlock = kLanguageBlock;
    content.settingsList = "|\\\\server\\share|App.info|Agent.exe||0|";
    ASSERT_EQ(WritePackage(path, content), "");
    ASSERT_NE(ReadWholeFile(path).substr(0, 2), "MZ");
    const TGFileInfo info(path);
    ASSERT_TRUE(info.TextsRead());
    EXPECT_EQ(info.Trailer().TextBlockCount(), 2);
    EXPECT_EQ(info.Trailer().DataOffset(), 8 + kLanguageBlock.size() + content.settingsList.size());
    EXPECT_EQ(info.InfoLocation(), "\\\\server\\share");
    EXPECT_EQ(info.InstallSettingsName(), "App.original");
    EXPECT_FALSE(info.QuietMode());
    EXPECT_EQ(info.Trailer().Flags(), 0);
    EXPECT_FALSE(info.IsWebSetup());
    EXPECT_EQ(info.WebDownloadList(), "");
    EXPECT_EQ(info.DownloadLocation(), "");
    EXPECT_EQ(info.SetupFileName(), "");
    EXPECT_FALSE(info.DownloadOnly());
    EXPECT_EQ(info.DownloadToken(false), "");
    EXPECT_EQ(info.SetupFileSize(), "");
}

TEST(TGFileInfo, ReadsTheTextsBehindAShortTrailer) {
    ScratchFolder dir;
    const std::string path = dir.File("short.001");
    PackageContent content = StubContent();
    content.stubImage.clear();
    ASSERT_EQ(WritePackage(path, content), "");
    std::string bytes = ReadWholeFile(path);
    bytes = bytes.substr(0, bytes.size() - 74 + 56) + LE32(60);  // keep the trailer's first 56 bytes
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    const TGFileInfo info(path);
    EXPECT_TRUE(info.TextsRead());
    EXPECT_EQ(info.Trailer().Length(), 60u);
    EXPECT_NE(info.Trailer().SpaceEntry(6), 0u);
    EXPECT_EQ(info.Trailer().SpaceEntry(7), 0u);
    EXPECT_EQ(info.Trailer().SpaceEntry(8), 0u);
    EXPECT_FALSE(info.AnnounceExtraction());
    EXPECT_FALSE(info.IsUpdateAgent());
    EXPECT_EQ(info.SetupFileName(), "AppSetup.exe");
}

// Offsets inside a bare package written from StubContent without an image.
struct Layout {
    std::string bytes;
    size_t trailer;         // offset of the 74-byte trailer
    size_t settingsLength;  // offset of the settings block's length
    size_t webLength;       // offset of the web list's length
    size_t records;         // offset of the first file record
};

Layout BareLayout(const std::string& path) {
    PackageContent content = StubContent();
    content.stubImage.clear();
    EXPECT_EQ(WritePackage(path, content), "");
    Layout l;
    l.bytes = ReadWholeFile(path);
    l.trailer = l.bytes.size() - 74;
    l.settingsLength = 4 + kLanguageBlock.size();
    l.webLength = l.settingsLength + 4 + content.settingsList.size();
    l.records = l.webLength + 4 + content.webList.size();
    return l;
}

TEST(TGFileInfo, DamagedFilesLeaveAllTextsEmpty) {
    ScratchFolder dir;
    const Layout good = BareLayout(dir.File("good"));
    ASSERT_TRUE(TGFileInfo(dir.File("good")).TextsRead());

    auto patched = [&](size_t at, uint32_t value) {
        std::string b = good.bytes;
        PutLE32(b, at, value);
        return b;
    };
    std::string stamped = testsupport::FakeStampedImage(600) + good.bytes;
    PutLE32(stamped, 252, uint32_t(stamped.size() + 100));
    const size_t end = good.bytes.size();
    const struct { const char* what; std::string bytes; } cases[] = {
        {"empty file", ""},
        {"three bytes", "abc"},
        {"cut in the records", good.bytes.substr(0, end / 2)},
        {"cut in the text blocks", good.bytes.substr(0, 20)},
        {"trailer length above the file size", patched(end - 4, uint32_t(end + 1))},
        {"trailer length 7", patched(end - 4, 7)},
        {"wrong magic", patched(good.trailer + 12, 0x4A3B2C1E)},
        {"language block length negative", patched(0, 0xFFFFFFF0)},
        {"language block past the end", patched(0, 0x7FFFFFFF)},
        {"settings length negative", patched(good.settingsLength, 0x80000000)},
        {"settings run into the trailer", patched(good.settingsLength, uint32_t(good.trailer))},
        {"web list runs into the trailer", patched(good.webLength, uint32_t(good.trailer - good.webLength - 3))},
        {"data offset beyond the file", patched(good.trailer + 4, 0xFFFFFFF0)},
        {"data offset inside the trailer", patched(good.trailer + 4, uint32_t(good.trailer + 8))},
        {"end stamp beyond the file", stamped},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("bad");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        const TGFileInfo info(path);
        EXPECT_FALSE(info.TextsRead()) << c.what;
        EXPECT_EQ(info.LanguageBlock(), "") << c.what;
        EXPECT_EQ(info.SettingsList(), "") << c.what;
        EXPECT_EQ(info.WebDownloadList(), "") << c.what;
        EXPECT_EQ(info.AgentName(), "") << c.what;
        EXPECT_FALSE(info.QuietMode()) << c.what;
    }
    const TGFileInfo missing(dir.File("missing.exe"));
    EXPECT_EQ(missing.Trailer().Serialize(), std::string(74, '\0'));
    EXPECT_EQ(missing.LanguageBlock(), "");
}

TEST(RecordWalker, StopsAtRecordsThatLeaveThePackage) {
    ScratchFolder dir;
    const Layout good = BareLayout(dir.File("good"));
    const size_t records = good.records;
    const struct { const char* what; uint32_t length; } cases[] = {
        {"length past the end", 0x7FFFFFFF},
        {"stored length past the end", 0x80000000},
        {"length into the trailer", uint32_t(good.trailer - records - 3)},
    };
    for (const auto& c : cases) {
        std::string bytes = good.bytes;
        PutLE32(bytes, records, c.length);
        const std::string path = dir.File("bad");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        BinaryFile f;
        ASSERT_TRUE(f.OpenRead(path));
        PackageLocation where;
        const PackageTrailer t = ReadPackageTrailer(f, &where);
        RecordWalker walker(f, where, t.DataOffset(), t.TextBlockCount());
        RawRecord rec;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(walker.Next(rec)) << c.what;
        EXPECT_EQ(walker.TextEnd(), int64_t(records));
        EXPECT_FALSE(walker.Next(rec)) << c.what;
        EXPECT_NE(walker.Error(), "") << c.what;
        EXPECT_FALSE(walker.Next(rec));  // stays stopped
    }
}

TEST(RecordWalker, ReportsADamagedRecordStream) {
    ScratchFolder dir;
    const std::string path = dir.File("p.exe");
    PackageWriter w;
    ASSERT_EQ(w.Begin(path, StubContent()), "");
    FileRecord rec;
    rec.name = "a.txt";
    rec.data = std::string(5000, 'a');
    std::string encoded;
    ASSERT_EQ(EncodeRecord(rec, 9, encoded), "");
    for (size_t i = 8; i < encoded.size() - 4; ++i) encoded[i] = char(encoded[i] ^ 0x5A);
    ASSERT_EQ(w.AddEncodedRecord(encoded), "");
    ASSERT_EQ(w.Finish(), "");

    BinaryFile f;
    ASSERT_TRUE(f.OpenRead(path));
    PackageLocation where;
    const PackageTrailer t = ReadPackageTrailer(f, &where);
    RecordWalker walker(f, where, t.DataOffset(), t.TextBlockCount());
    RawRecord raw;
    int files = 0;
    while (walker.Next(raw)) {
        if (raw.isTextBlock) continue;
        ++files;
        FileRecord back;
        EXPECT_NE(DecodeRecord(raw, back), "");
    }
    EXPECT_EQ(walker.Error(), "");
    EXPECT_EQ(files, 1);
}

TEST(TGFileInfo, WebListWithTheSetupFileHash) {
    ScratchFolder dir;
    const std::string path = dir.File("web.exe");
    PackageContent content = StubContent();
    const std::string hash(64, 'a');
    content.webList = "|http://dl.example/files/|AppSetup.exe|0|" + ScrambleItem("download-9") + "|123456|" + hash + "|";
    ASSERT_EQ(WritePackage(path, content, 0), "");
    const TGFileInfo info(path);
    EXPECT_EQ(info.SetupFileSha256(), hash);
    // The sixth item leaves the five before it as they were.
    EXPECT_EQ(info.SetupFileName(), "AppSetup.exe");
    EXPECT_FALSE(info.DownloadOnly());
    EXPECT_EQ(info.DownloadToken(true), "download-9");
    EXPECT_EQ(info.SetupFileSize(), "123456");
}

TEST(TokensMatch, ComparesUnscrambledDownloadTokens) {
    ScratchFolder dir;
    auto package = [&](const std::string& name, const std::string& webList) {
        PackageContent c = StubContent();
        c.webList = webList;
        EXPECT_EQ(WritePackage(dir.File(name), c, 1), "");
        return dir.File(name);
    };
    const std::string a = package("a.exe", "|u|f|0|" + ScrambleItem("tok") + "|1|");
    const std::string b = package("b.exe", "|u|f|0|" + ScrambleItem("tok") + "|1|");
    const std::string c = package("c.exe", "|u|f|0|" + ScrambleItem("tok2") + "|1|");
    const std::string bad1 = package("d.exe", "|u|f|0|bbbbbbbbbbbbbbbc|1|");
    const std::string bad2 = package("e.exe", "|u|f|0||1|");
    EXPECT_TRUE(TokensMatch(TGFileInfo(a), TGFileInfo(b)));
    EXPECT_FALSE(TokensMatch(TGFileInfo(a), TGFileInfo(c)));
    // Tokens that do not unscramble never match, not even themselves.
    EXPECT_FALSE(TokensMatch(TGFileInfo(bad1), TGFileInfo(bad1)));
    EXPECT_FALSE(TokensMatch(TGFileInfo(bad1), TGFileInfo(bad2)));
    EXPECT_FALSE(TokensMatch(TGFileInfo(dir.File("missing")), TGFileInfo(dir.File("missing"))));
    const std::string failed = TGFileInfo(bad1).DownloadToken(true);
    ASSERT_FALSE(failed.empty());
    for (char ch : failed) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(ch))) << failed;
}

// A span setup's part files carry its texts; a file with any other texts, or none, is not one of them.
TEST(SamePackageTexts, LanguagesAndSettingsByteForByte) {
    ScratchFolder dir;
    auto package = [&](const std::string& name, const std::string& languages, const std::string& settings) {
        PackageContent c = StubContent();
        c.languageBlock = languages;
        c.settingsList = settings;
        EXPECT_EQ(WritePackage(dir.File(name), c, 1), "");
        return TGFileInfo(dir.File(name));
    };
    const std::string token = ScrambleItem("product");
    const TGFileInfo own = package("own.exe", StubContent().languageBlock, "|u|p.info|Up.exe|" + token + "||");
    EXPECT_TRUE(SamePackageTexts(own, package("part.001", own.LanguageBlock(), own.SettingsList())));
    EXPECT_FALSE(SamePackageTexts(own, package("token.001", own.LanguageBlock(), "|u|p.info|Up.exe|" +
                                                                                     ScrambleItem("other") + "||")));
    EXPECT_FALSE(SamePackageTexts(own, package("texts.001", own.LanguageBlock() + "x", own.SettingsList())));
    EXPECT_FALSE(SamePackageTexts(own, TGFileInfo(dir.File("missing.001"))));
    const TGFileInfo bare = package("bare.exe", own.LanguageBlock(), "");
    EXPECT_FALSE(SamePackageTexts(bare, bare)) << "a package without settings proves nothing";
}

TEST(AgentImage, IsTheStubAndTextsWithAnAgentTrailerAndUserLevel) {
    ScratchFolder dir;
    const std::string path = dir.File("AppSetup.exe");
    PackageContent content = StubContent();
    content.trailer.SetUpdateAgent(false);
    PackageWriter w;
    ASSERT_EQ(w.Begin(path, content), "");
    FileRecord rec;
    rec.name = "Engine.exe";
    rec.data = "engine";
    ASSERT_EQ(w.AddFile(rec), "");
    ASSERT_EQ(w.Finish(), "");
    const int64_t textEnd = w.TextEnd();
    {
        BinaryFile f;
        ASSERT_TRUE(f.OpenAppend(path));
        ASSERT_TRUE(f.Write(std::string(700, 'C')));  // certificate
    }

    std::string image;
    ASSERT_TRUE(BuildAgentImage(path, textEnd, image));
    const std::string original = ReadWholeFile(path);
    ASSERT_EQ(image.size(), size_t(textEnd) + 74);
    // The stub's image with its manifest asking for the invoker's rights, never administrator's.
    std::string expected = original.substr(0, size_t(textEnd));
    ExecutionLevel level = ExecutionLevel::RequireAdministrator;
    ASSERT_TRUE(ReadImageExecutionLevel(expected, level));
    EXPECT_EQ(level, ExecutionLevel::RequireAdministrator);
    ASSERT_TRUE(SetImageExecutionLevel(expected, ExecutionLevel::AsInvoker));
    ASSERT_TRUE(ReadImageExecutionLevel(image, level));
    EXPECT_EQ(level, ExecutionLevel::AsInvoker);
    EXPECT_EQ(image.substr(0, 248), expected.substr(0, 248));
    EXPECT_EQ(image.substr(248, 8), std::string(8, '\0'));
    EXPECT_EQ(image.substr(256, size_t(textEnd) - 256), expected.substr(256, size_t(textEnd) - 256));
    const PackageTrailer t = PackageTrailer::Parse(image.substr(image.size() - 74));
    EXPECT_TRUE(t.IsUpdateAgent());
    EXPECT_EQ(t.Length(), 74u);

    const std::string agentPath = dir.File("AppAgent.exe");
    ASSERT_TRUE(WriteFileAtomic(agentPath, image));
    const TGFileInfo agent(agentPath);
    EXPECT_TRUE(agent.TextsRead());
    EXPECT_TRUE(agent.IsUpdateAgent());
    EXPECT_EQ(agent.SettingsList(), content.settingsList);
    EXPECT_EQ(agent.DownloadToken(true), "download-9");

    EXPECT_FALSE(BuildAgentImage(path, int64_t(original.size()), image));  // past the records
    EXPECT_FALSE(BuildAgentImage(dir.File("missing.exe"), textEnd, image));
    EXPECT_TRUE(image.empty());

    // A stub whose level cannot be read gives no agent image: its rights would be a guess.
    const std::string plain = dir.File("Plain.exe");
    content.stubImage = testsupport::FakeStampedImage(600);
    PackageWriter p;
    ASSERT_EQ(p.Begin(plain, content), "");
    ASSERT_EQ(p.AddFile(rec), "");
    ASSERT_EQ(p.Finish(), "");
    EXPECT_FALSE(BuildAgentImage(plain, p.TextEnd(), image));
    EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace vel
