// The package writer, checked by reading its output back with the reader's own routines.
#include "package/PackageWriter.h"

#include <gtest/gtest.h>

#include <map>

#include "support/PackageFixture.h"
#include "package/FileInfo.h"
#include "package/PackageWalk.h"
#include "util/FileIO.h"

namespace vel {
namespace {

using testsupport::PutLE32;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

struct ReadBack {
    std::vector<FileRecord> records;           // every file record in order
    std::map<std::string, std::string> files;  // name -> data appended as extraction does
    std::string runSpec;
};

// Walks the package from parts[0] as the extraction does; the walk must pass through exactly the
// given part files, each with a passing checksum, and read every record whole.
ReadBack ReadParts(const std::vector<std::string>& parts) {
    struct Collector : PackageVisitor {
        ReadBack back;
        std::vector<std::string> seen;
        bool OnPart(const PackagePart& part) override {
            seen.push_back(part.path);
            EXPECT_TRUE(part.checksumPasses) << part.path;
            return true;
        }
        bool OnRecord(const FileRecord& rec, const RawRecord&) override {
            back.records.push_back(rec);
            back.files[rec.name];
            if (rec.launch) back.runSpec = rec.RunSpec();
            return true;
        }
        void OnData(const char* p, size_t n) override {
            back.records.back().data.append(p, n);
            back.files[back.records.back().name].append(p, n);
        }
    } collector;
    const WalkResult walk = WalkPackage(parts.at(0), collector);
    EXPECT_EQ(walk.end, WalkEnd::Complete) << walk.error;
    EXPECT_EQ(collector.seen, parts);
    return collector.back;
}

PackageContent Texts() {
    PackageContent c;
    c.languageBlock = "\x02\x01" "English\x01" "s0=Setup\x01\x02";
    c.settingsList = "|loc|App.info|Agent.exe|" + ScrambleItem("p") + "||";
    return c;
}

TEST(PackageWriter, WritesWhatTheReaderReadsBack) {
    ScratchFolder dir;
    const std::string source = dir.File("big.src");
    const std::string bigData = testsupport::RandomBytes(3500, 3);
    ASSERT_TRUE(WriteWholeFile(source, bigData));
    const std::string path = dir.File("pkg.exe");
    PackageContent content = Texts();
    content.stubImage = testsupport::FakeStampedImage(1024);
    content.recordChunk = 1000;
    content.trailer.SetFlags(kFlagActivityBar);
    content.trailer.SetWriteAgentImage(true);

    PackageWriter w;
    ASSERT_EQ(w.Begin(path, content), "");
    FileRecord engine{"Engine.exe", true, "/x", 1248086749, std::string(20000, 'e'), ""};
    FileRecord empty{"empty.txt", false, "", 0, "", ""};
    FileRecord noise{"sub\\noise.bin", false, "", 77, testsupport::RandomBytes(5000, 4), ""};
    FileRecord big{"big.dat", false, "", 99, "ignored", ""};
    for (const FileRecord* r : {&engine, &empty, &noise}) ASSERT_EQ(w.AddFile(*r), "");
    ASSERT_EQ(w.AddFileFrom(source, big), "");
    ASSERT_EQ(w.Finish(), "");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"big.src", "pkg.exe"}));  // no temporary left
    EXPECT_EQ(w.PartPaths(), std::vector<std::string>{path});
    EXPECT_EQ(w.RecordCount(), 7u);  // the 3500-byte file went into four records

    const ReadBack back = ReadParts({path});
    ASSERT_EQ(back.records.size(), 7u);
    EXPECT_EQ(back.runSpec, "Engine.exe*/x");
    EXPECT_EQ(back.files.at("Engine.exe"), engine.data);
    EXPECT_EQ(back.files.at("empty.txt"), "");
    EXPECT_EQ(back.files.at("sub\\noise.bin"), noise.data);
    EXPECT_EQ(back.files.at("big.dat"), bigData);
    EXPECT_EQ(back.records[1].dosDate, 0u);
    EXPECT_EQ(back.records[3].dosDate, 99u);
    EXPECT_EQ(back.records[6].dosDate, 99u);

    const std::string bytes = ReadWholeFile(path);
    BinaryFile f;
    ASSERT_TRUE(f.OpenRead(path));
    EXPECT_EQ(ReadEndStamp(f), bytes.size());
    const PackageTrailer t = ReadPackageTrailer(f);
    f.Close();
    EXPECT_EQ(t.Byte(0), 1);
    EXPECT_EQ(t.DataOffset(), 1024u);
    EXPECT_EQ(t.FileCount(), 7u);
    EXPECT_EQ(t.Flags(), kFlagActivityBar);
    EXPECT_TRUE(t.WriteAgentImage());
    EXPECT_FALSE(t.IsUpdateAgent());
    EXPECT_EQ(t.Space(), ComputeSpaceTable({20000, 0, 5000, 3500}));
    EXPECT_EQ(w.TextEnd(), int64_t(1024 + 8 + content.languageBlock.size() + content.settingsList.size()));
    ASSERT_LE(bytes.size(), 51200u);
    EXPECT_NE(t.Checksum(), kChecksumNotComputed);
    EXPECT_EQ(t.Checksum(), PackageChecksum(path, t.Length()));
}

TEST(PackageWriter, ChecksumDetectsDamageInTheCoveredBytes) {
    ScratchFolder dir;
    const std::string path = dir.File("p.001");
    PackageContent content;
    content.languageBlock = "L";
    content.settingsList = "S";
    content.level = 0;
    // 10 bytes of text blocks, 4 + 9 + 1 bytes of record around the data and 11 of zlib around
    // that (header, one stored block's header, Adler-32), 74 of trailer: 40 000 bytes.
    FileRecord rec{"f.bin", false, "", 0, testsupport::RandomBytes(40000 - 109, 5), ""};
    PackageWriter w;
    ASSERT_EQ(w.Begin(path, content), "");
    ASSERT_EQ(w.AddFile(rec), "");
    ASSERT_EQ(w.Finish(), "");
    const std::string good = ReadWholeFile(path);
    ASSERT_EQ(good.size(), 40000u);
    const uint32_t field = ReadPackageTrailer(path).Checksum();
    ASSERT_TRUE(ChecksumPasses(PackageChecksum(path, 74), field));

    const size_t fieldAt = good.size() - 74 + 16;
    const struct { const char* what; size_t at; uint32_t value; bool passes; } cases[] = {
        {"field 1234", fieldAt, 1234, true},
        {"field differs", fieldAt, field + 1, false},
        {"data damaged", 2000, 0xDEADBEEF, false},
        {"trailer flag changed", good.size() - 74 + 64, 0x01000000, true},  // the trailer is not covered
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        PutLE32(bytes, c.at, c.value);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        const PackageTrailer t = ReadPackageTrailer(path);
        EXPECT_EQ(ChecksumPasses(PackageChecksum(path, t.Length()), t.Checksum()), c.passes) << c.what;
    }

    // A stamped stub: its first 512 bytes are not covered, the rest is.
    const std::string stub = dir.File("s.exe");
    content.stubImage = testsupport::FakeStampedImage(2048);
    ASSERT_EQ(w.Begin(stub, content), "");
    ASSERT_EQ(w.AddFile(FileRecord{"a", false, "", 0, std::string(3000, 'a'), ""}), "");
    ASSERT_EQ(w.Finish(), "");
    const std::string stubBytes = ReadWholeFile(stub);
    const uint32_t stubField = ReadPackageTrailer(stub).Checksum();
    for (const auto& c : {std::make_pair(size_t(100), true), std::make_pair(size_t(600), false)}) {
        std::string bytes = stubBytes;
        bytes[c.first] = char(bytes[c.first] ^ 1);
        ASSERT_TRUE(WriteWholeFile(stub, bytes));
        EXPECT_EQ(ChecksumPasses(PackageChecksum(stub, 74), stubField), c.second) << c.first;
    }

    // Above 51200 bytes the field says "not computed".
    ASSERT_EQ(w.Begin(path, content), "");
    ASSERT_EQ(w.AddFile(FileRecord{"big", false, "", 0, std::string(60000, 'b'), ""}), "");
    ASSERT_EQ(w.Finish(), "");
    EXPECT_EQ(ReadPackageTrailer(path).Checksum(), kChecksumNotComputed);
}

TEST(PackageWriter, SplitsIntoPartFiles) {
    const struct { const char* first; std::vector<const char*> names; bool stamped; } cases[] = {
        {"App.exe", {"App.exe", "App.exe.002", "App.exe.003"}, true},
        {"App.001", {"App.001", "App.002", "App.003"}, false},
    };
    for (const auto& c : cases) {
        ScratchFolder dir;
        PackageContent content = Texts();
        if (c.stamped) content.stubImage = testsupport::FakeStampedImage(600);
        content.level = 0;
        content.maxPartSize = 4000;
        PackageWriter w;
        ASSERT_EQ(w.Begin(dir.File(c.first), content), "");
        std::vector<std::string> data;
        for (int i = 0; i < 5; ++i) {
            data.push_back(testsupport::RandomBytes(1500, uint32_t(10 + i)));
            ASSERT_EQ(w.AddFile(FileRecord{"f" + std::to_string(i), i == 4, "", 1, data.back(), ""}), "");
        }
        ASSERT_EQ(w.Finish(), "");
        std::vector<std::string> want;
        for (const char* n : c.names) want.push_back(dir.File(n));
        ASSERT_EQ(w.PartPaths(), want) << c.first;
        for (size_t i = 0; i < want.size(); ++i) {
            const std::string bytes = ReadWholeFile(want[i]);
            EXPECT_LE(bytes.size(), 4000u);
            PackageLocation where;
            const PackageTrailer t = ReadPackageTrailer(want[i], &where);
            EXPECT_EQ(t.MorePartsFollow(), i + 1 < want.size()) << want[i];
            EXPECT_EQ(t.FileCount(), 5u);
            EXPECT_EQ(t.Space(), ComputeSpaceTable({1500, 1500, 1500, 1500, 1500}));
            EXPECT_EQ(t.DataOffset(), i == 0 && c.stamped ? 600u : 0u);
            EXPECT_TRUE(ChecksumPasses(PackageChecksum(want[i], 74), t.Checksum()));
            EXPECT_NE(t.Checksum(), kChecksumNotComputed);
            BinaryFile f;
            ASSERT_TRUE(f.OpenRead(want[i]));
            EXPECT_EQ(ReadEndStamp(f), i == 0 && c.stamped ? bytes.size() : 0u);
        }
        const ReadBack back = ReadParts(want);
        ASSERT_EQ(back.records.size(), 5u);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(back.records[i].data, data[i]);
        EXPECT_EQ(back.runSpec, "f4*");
        EXPECT_TRUE(TGFileInfo(want[0]).TextsRead());
    }
}

TEST(PackageWriter, FailuresLeaveNoFiles) {
    ScratchFolder dir;
    PackageWriter w;
    EXPECT_NE(w.AddFile(FileRecord{"a", false, "", 0, "x", ""}), "");  // not started
    EXPECT_NE(w.Finish(), "");
    EXPECT_NE(w.Begin(dir.File("no-such-folder/p.exe"), Texts()), "");
    PackageContent badLevel = Texts();
    badLevel.level = 11;
    EXPECT_NE(w.Begin(dir.File("p.exe"), badLevel), "");
    {
        PackageWriter abandoned;
        ASSERT_EQ(abandoned.Begin(dir.File("p.exe"), Texts()), "");
        ASSERT_EQ(abandoned.AddFile(FileRecord{"a", false, "", 0, "x", ""}), "");
        EXPECT_EQ(dir.Names().size(), 1u);  // the temporary file
    }
    EXPECT_TRUE(dir.Names().empty());

    // A refused record or a missing source leaves the package usable.
    ASSERT_EQ(w.Begin(dir.File("p.exe"), Texts()), "");
    EXPECT_NE(w.AddFile(FileRecord{"bad|name", false, "", 0, "x", ""}), "");
    EXPECT_NE(w.AddFileFrom(dir.File("missing.src"), FileRecord{"m", false, "", 0, "", ""}), "");
    EXPECT_NE(w.AddEncodedRecord("ab"), "");
    ASSERT_EQ(w.AddFile(FileRecord{"good", false, "", 0, "x", ""}), "");
    ASSERT_EQ(w.Finish(), "");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"p.exe"});
    EXPECT_EQ(ReadParts({dir.File("p.exe")}).records.size(), 1u);
}

}  // namespace
}  // namespace vel
