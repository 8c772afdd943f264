// Byte layout of the package: trailer, location, checksum, space table, records, inflate, tokens.
#include "package/PackageFormat.h"

#include <gtest/gtest.h>

#include <cctype>

#include "support/PackageFixture.h"
#include "util/StrUtils.h"

namespace vel {
namespace {

using testsupport::LE32;
using testsupport::PutLE32;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

TEST(PackageTrailer, FieldsSitAtTheirOffsets) {
    PackageTrailer t;
    t.SetByte(0, 1);
    t.SetTextBlockCount(3);
    t.SetDataOffset(0x11223344);
    t.SetFileCount(7);
    t.SetMagic(kPackageMagic);
    t.SetChecksum(0xA1B2C3D4);
    for (int i = 0; i < kSpaceEntries; ++i) t.SetSpaceEntry(i, 1000u + i);
    t.SetFlags(kFlagSpanCopy);
    t.SetAskBeforeDownload(true);
    t.SetLength(kTrailerLength);
    const std::string b = t.Serialize();
    ASSERT_EQ(b.size(), 74u);
    EXPECT_EQ(b[1], 3);
    EXPECT_EQ(b.substr(4, 4), LE32(0x11223344));
    EXPECT_EQ(b.substr(8, 4), LE32(7));
    EXPECT_EQ(b.substr(12, 4), std::string("\x1D\x2C\x3B\x4A"));
    EXPECT_EQ(b.substr(16, 4), LE32(0xA1B2C3D4));
    EXPECT_EQ(b.substr(28, 4), LE32(1000));
    EXPECT_EQ(b.substr(60, 4), LE32(1008));
    EXPECT_EQ(b[65], kFlagSpanCopy);
    EXPECT_EQ(b.substr(66, 4), std::string("\0\1\0\0", 4));
    EXPECT_EQ(b.substr(70, 4), LE32(74));
    EXPECT_EQ(PackageTrailer::Parse(b).Serialize(), b);
}

TEST(PackageTrailer, EachFlagHasItsOwnAccessor) {
    using Get = bool (PackageTrailer::*)() const;
    const struct { uint8_t bit; Get get; } flags[] = {
        {kFlagAnnounceExtraction, &PackageTrailer::AnnounceExtraction},
        {kFlagMorePartsFollow, &PackageTrailer::MorePartsFollow},
        {kFlagSpanCopy, &PackageTrailer::SpanCopyWanted},
        {kFlagActivityBar, &PackageTrailer::ShowActivityBar},
        {kFlagAgentRunLog, &PackageTrailer::AgentDebugLog},
    };
    for (const auto& f : flags) {
        PackageTrailer t;
        t.SetFlag(f.bit, true);
        for (const auto& g : flags) EXPECT_EQ((t.*g.get)(), f.bit == g.bit) << int(f.bit) << " " << int(g.bit);
        t.SetFlag(f.bit, false);
        EXPECT_EQ(t.Flags(), 0);
    }
    const struct { size_t offset; Get get; } bytes[] = {
        {66, &PackageTrailer::IsWebSetup},
        {67, &PackageTrailer::AskBeforeDownload},
        {68, &PackageTrailer::WriteAgentImage},
        {69, &PackageTrailer::IsUpdateAgent},
    };
    for (const auto& f : bytes) {
        PackageTrailer t;
        t.SetByte(f.offset, 0x80);  // any non-zero value counts
        for (const auto& g : bytes) EXPECT_EQ((t.*g.get)(), f.offset == g.offset) << f.offset;
    }
}

TEST(SpaceTable, RoundsEachFileToClusters) {
    const SpaceTable t = ComputeSpaceTable({0, 1, 512, 513, 70000});
    EXPECT_EQ(t[0], 0u + 1 + 512 + 513 + 70000);
    EXPECT_EQ(t[1], 0u + 512 + 512 + 1024 + 70144);     // 512-byte clusters
    EXPECT_EQ(t[4], 0u + 4096 + 4096 + 4096 + 73728);   // 4096-byte clusters
    EXPECT_EQ(t[8], 0u + 65536 * 3 + 131072);           // 65536-byte clusters
    // Sums beyond 32 bits stay at the largest value instead of wrapping to a small one.
    const SpaceTable big = ComputeSpaceTable({uint64_t(3) << 30, uint64_t(3) << 30});
    for (uint32_t e : big) EXPECT_EQ(e, 0xFFFFFFFFu);
}

TEST(SpaceTable, ClusterSizeSelectsTheEntry) {
    PackageTrailer t;
    for (int i = 0; i < kSpaceEntries; ++i) t.SetSpaceEntry(i, 100u * (i + 1));
    const struct { uint64_t cluster; int entry; } cases[] = {
        {0, 0}, {511, 0}, {512, 1}, {1024, 2}, {3000, 3}, {4096, 4}, {32768, 7}, {65536, 8}, {1 << 20, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpaceForClusterSize(t, c.cluster), 100.0 * (c.entry + 1)) << c.cluster;
}

// Words 1, 2, 3, ... so that hand-computed sums are easy to state.
std::string CountingWords(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i + 4 <= size; i += 4) PutLE32(bytes, i, uint32_t(i / 4 + 1));
    return bytes;
}

TEST(PackageChecksum, SumsTheWordsBeforeTheTrailer) {
    ScratchFolder dir;
    const std::string path = dir.File("p.bin");
    // 100 bytes, trailer 74: only the words at offsets 0..16 are summed (1+2+3+4+5).
    ASSERT_TRUE(WriteWholeFile(path, CountingWords(100)));
    bool ok = false;
    EXPECT_EQ(PackageChecksum(path, 74, &ok), 15u);
    EXPECT_TRUE(ok);
    // 5000 bytes of ones: words at offsets 0..4916 (1230 of them), plus 1234 after the first full block.
    std::string ones(5000, '\0');
    for (size_t i = 0; i < ones.size(); i += 4) PutLE32(ones, i, 1);
    ASSERT_TRUE(WriteWholeFile(path, ones));
    EXPECT_EQ(PackageChecksum(path, 74), 1230u + 1234u);
    // Stamped: the first 512 bytes and everything from the stamp on are not covered.
    std::string stamped = testsupport::FakeStampedImage(2000);
    for (size_t i = 512; i < stamped.size(); i += 4) PutLE32(stamped, i, 1);
    PutLE32(stamped, 252, 1500);
    ASSERT_TRUE(WriteWholeFile(path, stamped));
    EXPECT_EQ(PackageChecksum(path, 74), 227u);
    // Above 51200 bytes: not computed.
    ASSERT_TRUE(WriteWholeFile(path, std::string(51201, '\x7F')));
    EXPECT_EQ(PackageChecksum(path, 74), kChecksumNotComputed);
    ASSERT_TRUE(WriteWholeFile(path, std::string(51200, '\0')));
    EXPECT_EQ(PackageChecksum(path, 74), 1234u * 12);  // every full block of zeros adds 1234
    EXPECT_EQ(PackageChecksum(dir.File("missing"), 74, &ok), 0u);
    EXPECT_FALSE(ok);
}

TEST(PackageChecksum, PassesWhenEqualOrEitherSideIsNotComputed) {
    EXPECT_TRUE(ChecksumPasses(5, 5));
    EXPECT_TRUE(ChecksumPasses(1234, 5));
    EXPECT_TRUE(ChecksumPasses(5, 1234));
    EXPECT_FALSE(ChecksumPasses(5, 6));
    EXPECT_FALSE(ChecksumPasses(0, 1));
}

// A bare package: two text blocks and a trailer of the given stored length.
std::string BarePackage(uint32_t trailerLength) {
    PackageTrailer t;
    t.SetMagic(kPackageMagic);
    t.SetFileCount(9);
    for (int i = 0; i < kSpaceEntries; ++i) t.SetSpaceEntry(i, 0x01010101);
    t.SetFlags(0x1F);
    for (size_t b = 66; b <= 69; ++b) t.SetByte(b, 1);
    std::string trailer = t.Serialize().substr(0, 70);
    trailer.resize(trailerLength - 4, '\x55');
    return EncodeTextBlock("lang") + EncodeTextBlock("set") + trailer + LE32(trailerLength);
}

TEST(ReadPackageTrailer, ShortAndLongTrailers) {
    ScratchFolder dir;
    const std::string path = dir.File("p.001");
    ASSERT_TRUE(WriteWholeFile(path, BarePackage(60)));
    PackageLocation where;
    PackageTrailer t = ReadPackageTrailer(path, &where);
    EXPECT_TRUE(where.valid);
    EXPECT_EQ(where.trailerLength, 60u);
    EXPECT_TRUE(t.HasMagic());
    EXPECT_EQ(t.Length(), 60u);
    EXPECT_EQ(t.TextBlockCount(), 2);  // stored 0 reads as 2
    EXPECT_EQ(t.SpaceEntry(6), 0x01010101u);
    EXPECT_EQ(t.SpaceEntry(7), 0u);  // offset 56 on: zero
    EXPECT_EQ(t.Flags(), 0);
    EXPECT_FALSE(t.IsUpdateAgent());

    ASSERT_TRUE(WriteWholeFile(path, BarePackage(90)));
    t = ReadPackageTrailer(path, &where);
    EXPECT_EQ(where.trailerLength, 90u);
    EXPECT_EQ(t.Length(), 74u);  // its first 70 bytes are read
    EXPECT_EQ(t.Flags(), 0x1F);
    EXPECT_TRUE(t.IsUpdateAgent());
}

TEST(ReadPackageTrailer, DamagedLocationsGiveAZeroTrailer) {
    ScratchFolder dir;
    const std::string good = BarePackage(74);
    std::string stampPastEnd = testsupport::FakeStampedImage(600) + good;
    PutLE32(stampPastEnd, 252, uint32_t(stampPastEnd.size() + 1));
    std::string stampHigh = testsupport::FakeStampedImage(600) + good;
    PutLE32(stampHigh, 248, 1);
    const struct { const char* what; std::string bytes; } cases[] = {
        {"empty", ""},
        {"three bytes", "abc"},
        {"length 4", good.substr(0, good.size() - 4) + LE32(4)},
        {"length 0", good.substr(0, good.size() - 4) + LE32(0)},
        {"length past the file", good.substr(0, good.size() - 4) + LE32(uint32_t(good.size() + 1))},
        {"length 0xFFFFFFFF", good.substr(0, good.size() - 4) + LE32(0xFFFFFFFF)},
        {"stamp past the file", stampPastEnd},
        {"stamp beyond 4 GiB", stampHigh},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("bad");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        PackageLocation where;
        const PackageTrailer t = ReadPackageTrailer(path, &where);
        EXPECT_FALSE(where.valid) << c.what;
        EXPECT_EQ(t.Serialize(), std::string(74, '\0')) << c.what;
    }
    EXPECT_EQ(ReadPackageTrailer(dir.File("missing")).Serialize(), std::string(74, '\0'));
}

TEST(FileRecord, EncodesAndDecodesEveryKind) {
    const std::string random = testsupport::RandomBytes(5000, 7);
    const struct {
        FileRecord rec;
        int level;
        bool shrinks;  // else stored blocks: the content with a few bytes per 64 KiB block
        const char* header;
    } cases[] = {
        {{"Engine.exe", true, "", 1248086749, std::string(3000, 'x'), ""}, 9, true, "|Engine.exe*|1248086749|"},
        {{"Engine.exe", true, "/lang=en /q", 1, "code", ""}, 0, false, "|Engine.exe*/lang=en /q|1|"},
        {{"sub\\empty.txt", false, "", 0, "", ""}, 9, false, "|sub\\empty.txt|0|"},
        {{"noise.bin", false, "", 4294967295u, random, ""}, 9, false, "|noise.bin|4294967295|"},
        {{"nul.bin", false, "", 5, std::string("\0a\0b", 4), ""}, 6, false, "|nul.bin|5|"},
    };
    for (const auto& c : cases) {
        std::string encoded;
        ASSERT_EQ(EncodeRecord(c.rec, c.level, encoded), "") << c.header;
        const int32_t length = int32_t(uint32_t(uint8_t(encoded[0])) | uint32_t(uint8_t(encoded[1])) << 8 |
                                       uint32_t(uint8_t(encoded[2])) << 16 | uint32_t(uint8_t(encoded[3])) << 24);
        // Always one zlib stream, so that every record carries its Adler-32.
        ASSERT_GT(length, 0) << c.header;
        EXPECT_EQ(encoded.size() - 4, size_t(length));
        const size_t content = std::string(c.header).size() + 1 + c.rec.data.size();
        if (c.shrinks) {
            EXPECT_LT(size_t(length), content) << c.header;
        } else {
            EXPECT_LE(size_t(length), content + 6 + 5 * (content / 65535 + 1)) << c.header;
        }
        RawRecord raw;
        raw.length = length;
        raw.bytes = encoded.substr(4);
        FileRecord back;
        ASSERT_EQ(DecodeRecord(raw, back), "");
        EXPECT_EQ(back.header, c.header);
        EXPECT_EQ(back.name, c.rec.name);
        EXPECT_EQ(back.launch, c.rec.launch);
        EXPECT_EQ(back.params, c.rec.params);
        EXPECT_EQ(back.dosDate, c.rec.dosDate);
        EXPECT_EQ(back.data, c.rec.data);
    }
    // Stored records (length n <= 0) of other writers are still read: the content as it is.
    RawRecord stored;
    stored.length = -18;
    stored.bytes = std::string("|a.txt|7|\0stored!!", 18);
    FileRecord back;
    ASSERT_EQ(DecodeRecord(stored, back), "");
    EXPECT_EQ(back.name, "a.txt");
    EXPECT_EQ(back.data, "stored!!");
}

// A record without a header (no NUL) has no data either: every reader skips it.
TEST(FileRecord, ContentSplitsAtTheFirstNul) {
    const struct { std::string content; const char* header; const char* name; uint32_t date; std::string data; } cases[] = {
        {std::string("|a.txt|12|\0data\0more", 20), "|a.txt|12|", "a.txt", 12, std::string("data\0more", 9)},
        {"no nul at all", "", "", 0, ""},
        {std::string("|a.txt|soon|\0", 13), "|a.txt|soon|", "a.txt", 0, ""},
        {std::string("|a.txt|-5|\0x", 12), "|a.txt|-5|", "a.txt", 0, "x"},
        {std::string("|a.txt|99999999999|\0x", 21), "|a.txt|99999999999|", "a.txt", 0, "x"},
    };
    for (const auto& c : cases) {
        RawRecord stored;
        stored.length = -int32_t(c.content.size());
        stored.bytes = c.content;
        FileRecord rec;
        ASSERT_EQ(DecodeRecord(stored, rec), "");
        EXPECT_EQ(rec.header, c.header);
        EXPECT_EQ(rec.name, c.name);
        EXPECT_EQ(rec.dosDate, c.date) << c.header;
        EXPECT_EQ(rec.data, c.data);
        EXPECT_FALSE(rec.launch);
    }
}

TEST(FileRecord, RefusesHeadersThatWouldNotReadBack) {
    std::string out;
    for (const char* name : {"", "a|b", "a*b"}) {
        FileRecord rec;
        rec.name = name;
        EXPECT_NE(EncodeRecord(rec, 9, out), "") << name;
        EXPECT_TRUE(out.empty());
    }
    FileRecord rec;
    rec.name = "ok.exe";
    rec.params = "a|b";
    EXPECT_NE(EncodeRecord(rec, 9, out), "");
    rec.params.clear();
    EXPECT_NE(EncodeRecord(rec, 10, out), "");
}

TEST(DecodeRecord, LargeOutputFromASmallStream) {
    FileRecord rec;
    rec.name = "zeros.bin";
    rec.data.assign(size_t(8) << 20, '\0');
    std::string encoded;
    ASSERT_EQ(EncodeRecord(rec, 9, encoded), "");
    ASSERT_LT(encoded.size(), 20000u);
    RawRecord raw;
    raw.length = int32_t(encoded.size() - 4);
    raw.bytes = encoded.substr(4);
    int pumps = 0;
    FileRecord back;
    ASSERT_EQ(DecodeRecord(raw, back, [&] { ++pumps; }), "");
    EXPECT_EQ(back.header, RecordHeader(rec));
    EXPECT_TRUE(back.data == rec.data) << back.data.size();
    EXPECT_GE(pumps, 1);
}

TEST(DecodeRecord, DamagedStreamsFailWithZlibsMessage) {
    FileRecord rec;
    rec.name = "text.txt";
    for (int i = 0; i < 2000; ++i) rec.data += "line " + std::to_string(i) + "\r\n";
    std::string encoded;
    ASSERT_EQ(EncodeRecord(rec, 9, encoded), "");
    const std::string stream = encoded.substr(4);
    std::string flipped = stream;
    for (size_t i = 10; i < 40; ++i) flipped[i] = char(~flipped[i]);
    const struct { const char* what; std::string bytes; } cases[] = {
        {"bits flipped", flipped},
        {"truncated", stream.substr(0, stream.size() / 2)},
        {"checksum cut", stream.substr(0, stream.size() - 2)},
        {"not zlib", "plain text, not a zlib stream"},
        {"empty", ""},
    };
    const auto decode = [](const std::string& bytes, FileRecord& out) {
        RawRecord raw;
        raw.length = int32_t(bytes.size() + 1);  // compressed, whatever the byte count
        raw.bytes = bytes;
        return DecodeRecord(raw, out);
    };
    for (const auto& c : cases) {
        FileRecord out;
        out.data = "old";
        EXPECT_NE(decode(c.bytes, out), "") << c.what;
        EXPECT_TRUE(out.data.empty() && out.name.empty()) << c.what;
    }
    FileRecord out;
    EXPECT_NE(decode("x\x9C", out), "");
    EXPECT_EQ(decode(stream, out), "");
    EXPECT_EQ(out.data, rec.data);
}

bool IsDecimal(const std::string& s) {
    if (s.empty() || s.size() > 5) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return std::stoi(s) < 99999;
}

TEST(ScrambledItem, HandMadeItemDecodes) {
    // a=10 b=13 (k=03), P=1, Q=1, filler 55, "AB" as 42 41, check FF: hex 10 02 02 55 42 41 FF 13 + 50.
    EXPECT_EQ(UnscrambleItem("cbbdbdggfdfcxxce"), "AB");
    // An odd last character is read alone: 0x0 appended changes the check, so it fails.
    std::string out;
    EXPECT_FALSE(TryUnscrambleItem("cbbdbdggfdfcxxceb", out));
}

TEST(ScrambledItem, RoundTripsAnyText) {
    const std::string texts[] = {"", "A", "product-token-42", std::string("\0\x01\xFF|*", 5), std::string(200, 'q')};
    for (const std::string& text : texts) {
        for (int round = 0; round < 20; ++round) {
            const std::string item = ScrambleItem(text);
            for (char c : item) EXPECT_TRUE((c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x')) << item;
            std::string out;
            ASSERT_TRUE(TryUnscrambleItem(item, out)) << item;
            EXPECT_EQ(out, text);
            EXPECT_EQ(UnscrambleItem(item), text);
        }
    }
    EXPECT_NE(ScrambleItem("same"), ScrambleItem("same"));  // fresh filler on each call
}

TEST(ScrambledItem, ItemsThatDoNotDecodeGiveADecimalNumber) {
    std::string wrongCheck = ScrambleItem("token");
    wrongCheck[wrongCheck.size() - 3] = wrongCheck[wrongCheck.size() - 3] == 'b' ? 'c' : 'b';
    const std::string cases[] = {
        "",
        "bbbbbbbb",        // four bytes: too short
        wrongCheck,
        "bbhbbbbbbbbbhbbb",  // check byte right, but P = 0x60 runs past the end
        "zzzzzzzzzzzzzz",  // not hex at all
    };
    for (const std::string& item : cases) {
        std::string out;
        EXPECT_FALSE(TryUnscrambleItem(item, out)) << item;
        EXPECT_TRUE(out.empty());
        EXPECT_TRUE(IsDecimal(UnscrambleItem(item))) << item;
    }
}

TEST(SplitTokenedText, TakesTheTokenAndTheRemainder) {
    const std::string token = ScrambleItem("abc");
    const std::string text = "head|" + token + "|skip1|skip2|line 1\r\nline|2";
    for (const std::string& input : {text, ScrambleText(text, true, true), ScrambleText(text, true, false)}) {
        const TokenedText t = SplitTokenedText(input);
        EXPECT_EQ(t.token, "abc");
        EXPECT_TRUE(t.tokenDecoded);
        EXPECT_EQ(t.remainder, "line 1\r\nline|2");
    }
    const TokenedText three = SplitTokenedText("h|" + token + "|a|b");
    EXPECT_EQ(three.token, "abc");
    EXPECT_EQ(three.remainder, "");
    const TokenedText none = SplitTokenedText("no bars here");
    EXPECT_TRUE(IsDecimal(none.token));
    EXPECT_FALSE(none.tokenDecoded);  // the filler must not pass for a token
    EXPECT_FALSE(SplitTokenedText("|zzzzzzzzzzzz|a|b|text").tokenDecoded);
    EXPECT_EQ(none.remainder, "");
}

// A field is only what its closing "|" ends: a token without one is empty, so the text is refused
// rather than its rest taken as the token.
TEST(SplitTokenedText, FieldWithoutItsClosingBarIsEmpty) {
    const std::string token = ScrambleItem("abc");
    const struct {
        std::string text;
        bool decoded;
        const char* remainder;
    } cases[] = {
        {"|" + token, false, ""},
        {"head|" + token, false, ""},
        {"|" + token + "\r\nWelcome to version 5", false, ""},
        {"|" + token + "|", true, ""},
        {"|" + token + "|a", true, ""},
        {"|" + token + "|a|b", true, ""},
        {"|" + token + "|a|b|", true, ""},
        {"|" + token + "|a|b|Welcome", true, "Welcome"},
        {"||a|b|Welcome", false, "Welcome"},
    };
    for (const auto& c : cases) {
        for (const std::string& input : {c.text, ScrambleText(c.text, true, true)}) {
            const TokenedText t = SplitTokenedText(input);
            EXPECT_EQ(t.tokenDecoded, c.decoded) << c.text;
            if (c.decoded) EXPECT_EQ(t.token, "abc") << c.text;
            EXPECT_EQ(t.remainder, c.remainder) << c.text;
        }
    }
}

TEST(PartFiles, NamesFollowTheBaseName) {
    const struct { const char* path; const char* base; const char* part3; } cases[] = {
        {"C:\\d\\setup.exe", "C:\\d\\setup.exe", "C:\\d\\setup.exe.003"},
        {"C:\\d\\setup.exe.001", "C:\\d\\setup.exe", "C:\\d\\setup.exe.003"},
        {"setup.001", "setup", "setup.003"},
        {"setup.0011", "setup.0011", "setup.0011.003"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PackageBaseName(c.path), c.base);
        EXPECT_EQ(PartFileName(PackageBaseName(c.path), 3), c.part3);
    }
    EXPECT_EQ(PartFileName("x", 12), "x.012");
}

}  // namespace
}  // namespace vel
