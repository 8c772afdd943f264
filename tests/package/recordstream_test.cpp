#include "package/RecordStream.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/PackageFixture.h"

namespace vel {
namespace {

// A raw record as the walker hands it on, from an encoded record (length field first).
RawRecord Raw(const FileRecord& rec, int level) {
    std::string encoded;
    EXPECT_EQ(EncodeRecord(rec, level, encoded), "");
    RawRecord raw;
    raw.length = static_cast<int32_t>(uint8_t(encoded[0]) | uint8_t(encoded[1]) << 8 | uint8_t(encoded[2]) << 16 |
                                      uint32_t(uint8_t(encoded[3])) << 24);
    raw.bytes = encoded.substr(4);
    return raw;
}

// A stored record (length n <= 0), which velpack no longer writes but other writers do.
RawRecord Stored(const FileRecord& rec) {
    RawRecord raw;
    raw.bytes = RecordHeader(rec) + std::string(1, '\0') + rec.data;
    raw.length = -static_cast<int32_t>(raw.bytes.size());
    return raw;
}

struct Decoded {
    bool ok = false;
    int headerCalls = 0;
    std::string header, data, error;
    int pieces = 0;
    size_t largestPiece = 0;
};

Decoded Decode(const RawRecord& raw, size_t step, bool wantData = true) {
    Decoded d;
    RecordStreamDecoder decoder(step);
    d.ok = decoder.Decode(
        raw,
        [&](const std::string& h) {
            ++d.headerCalls;
            d.header = h;
            return wantData;
        },
        [&](const char* p, size_t n) {
            d.data.append(p, n);
            ++d.pieces;
            d.largestPiece = std::max(d.largestPiece, n);
        },
        d.error);
    return d;
}

TEST(RecordStreamDecoder, GivesTheHeaderAndDataAsEncoded) {
    const std::string text(3000000, 'x');
    const std::string noise = testsupport::RandomBytes(700000, 5);
    const struct { const char* what; std::string data; int level; size_t step; } cases[] = {
        {"compressed, many steps", text + noise, 6, 65536},
        {"stored blocks", noise, 0, 65536},
        {"stored, as other writers make them", noise, -1, 65536},
        {"empty data", "", 6, 65536},
        {"header longer than a step", "abc", 6, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileRecord rec;
        rec.name = std::string(c.step == 256 ? 600 : 10, 'n') + ".bin";
        rec.dosDate = 1248086749;
        rec.data = c.data;
        const RawRecord raw = c.level < 0 ? Stored(rec) : Raw(rec, c.level);
        const Decoded d = Decode(raw, c.step);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.headerCalls, 1);
        EXPECT_EQ(d.header, RecordHeader(rec));
        EXPECT_TRUE(d.data == rec.data) << d.data.size() << " vs " << rec.data.size();
    }
}

TEST(RecordStreamDecoder, DataIsHandedOnInPiecesNoLargerThanAStep) {
    FileRecord rec;
    rec.name = "big.bin";
    rec.data = std::string(5 << 20, 'z');
    const Decoded d = Decode(Raw(rec, 9), 1 << 20);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.data.size(), rec.data.size());
    EXPECT_GE(d.pieces, 5);
    EXPECT_LE(d.largestPiece, size_t(1) << 20);
}

TEST(RecordStreamDecoder, RecordsWithoutHeaderOrUnwantedStillDecodeToTheEnd) {
    // No NUL at all, and a NUL only after the header limit: no header, no data handed on.
    for (const std::string& content : {std::string(1000, 'a'), std::string(kMaxRecordHeader + 10, 'a') + '\0' + "data"}) {
        RawRecord raw;
        raw.length = -static_cast<int32_t>(content.size());
        raw.bytes = content;
        const Decoded d = Decode(raw, 4096);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.headerCalls, 1);
        EXPECT_EQ(d.header, "");
        EXPECT_EQ(d.data, "");
    }
    // Data refused by the header callback: a damaged tail is still reported.
    FileRecord rec;
    rec.name = "x";
    rec.data = testsupport::RandomBytes(50000, 1) + std::string(50000, 'q');
    RawRecord raw = Raw(rec, 6);
    raw.bytes.resize(raw.bytes.size() - 40);
    const Decoded d = Decode(raw, 4096, false);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.data, "");
}

TEST(RecordStreamDecoder, DamageIsAnErrorNotACrash) {
    FileRecord rec;
    rec.name = "a.txt";
    rec.data = std::string(100000, 'k');
    const RawRecord good = Raw(rec, 6);
    RawRecord truncated = good, garbage = good, empty = good;
    truncated.bytes.resize(truncated.bytes.size() / 2);
    for (size_t i = 2; i < garbage.bytes.size(); ++i) garbage.bytes[i] = char(i * 37);
    empty.bytes.clear();
    for (const RawRecord* r : {&truncated, &garbage, &empty}) {
        const Decoded d = Decode(*r, 4096);
        EXPECT_FALSE(d.ok);
        EXPECT_FALSE(d.error.empty());
    }
}

}  // namespace
}  // namespace vel
