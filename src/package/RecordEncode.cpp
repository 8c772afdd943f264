// The writing half of the package format: records (the deflate side of zlib), text blocks, end
// stamp, space table and scrambled tokens. Kept in its own file so that a program that only reads
// packages (the stub) links none of it.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "package/PackageFormat.h"
#include "util/Catch.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

std::string LengthBytes(uint32_t v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    return std::string(b, 4);
}

}  // namespace

// ---- End stamp ---------------------------------------------------------------------------------

bool WriteEndStamp(BinaryFile& file, uint64_t stamp) {
    const std::string bytes = LengthBytes(uint32_t(stamp >> 32)) + LengthBytes(uint32_t(stamp));
    return file.Seek(kEndStampOffset) && file.Write(bytes);
}

// ---- Space table -------------------------------------------------------------------------------

void SpaceTally::AddFile(uint64_t size) {
    const uint64_t cap = std::numeric_limits<uint64_t>::max() / 2;
    size = std::min(size, cap);
    sums_[0] = std::min(cap, sums_[0] + size);
    for (int i = 1; i < kSpaceEntries; ++i) {
        const uint64_t cluster = uint64_t(256) << i;
        const uint64_t rounded = (size + cluster - 1) / cluster * cluster;
        sums_[i] = std::min(cap, sums_[i] + rounded);
    }
}

SpaceTable SpaceTally::Table() const {
    SpaceTable t{};
    for (int i = 0; i < kSpaceEntries; ++i)
        t[i] = uint32_t(std::min<uint64_t>(sums_[i], std::numeric_limits<uint32_t>::max()));
    return t;
}

SpaceTable ComputeSpaceTable(const std::vector<uint64_t>& fileSizes) {
    SpaceTally tally;
    for (uint64_t size : fileSizes) tally.AddFile(size);
    return tally.Table();
}

// ---- Text blocks, records and tokens -----------------------------------------------------------

std::string EncodeTextBlock(const std::string& text) {
    if (text.size() > size_t(std::numeric_limits<int32_t>::max())) return std::string();
    VEL_TRY {
        return LengthBytes(uint32_t(text.size())) + text;
    } VEL_CATCH_ALL {
        return std::string();
    }
}

std::string RecordHeader(const FileRecord& rec) {
    std::string item = rec.name;
    if (rec.launch) item += "*" + rec.params;
    return "|" + item + "|" + IntToStr(rec.dosDate) + "|";
}

std::string EncodeRecord(const FileRecord& rec, int level, std::string& out) {
    out.clear();
    if (rec.name.empty() || rec.name.find_first_of(std::string("|*\0", 3)) != std::string::npos)
        return "bad file name in record: " + rec.name;
    if (rec.params.find_first_of(std::string("|\0", 2)) != std::string::npos)
        return "bad launch parameters for " + rec.name;
    if (level < 0 || level > 9) return "bad compression level " + IntToStr(level);
    VEL_TRY {
        const std::string header = RecordHeader(rec);
        const uint64_t contentSize = uint64_t(header.size()) + 1 + rec.data.size();
        if (contentSize > uint64_t(std::numeric_limits<int32_t>::max()))
            return "file too large for one record: " + rec.name;
        std::string content;
        content.reserve(size_t(contentSize));
        content += header;
        content += '\0';
        content += rec.data;
        // Always one zlib stream, so that every record carries its Adler-32: data that does not
        // shrink goes as stored blocks (level 0), which inflate at copy speed. Stored records
        // (length n <= 0) carry no check, and the package checksum covers only small files.
        const uLong bound = compressBound(uLong(content.size()));
        out.assign(4 + size_t(bound), '\0');
        uLongf packedSize = bound;
        int rc = Z_OK;
        if (level > 0) {
            rc = compress2(reinterpret_cast<Bytef*>(&out[4]), &packedSize,
                           reinterpret_cast<const Bytef*>(content.data()), uLong(content.size()), level);
        }
        if (rc == Z_OK && (level == 0 || packedSize >= content.size())) {
            packedSize = bound;
            rc = compress2(reinterpret_cast<Bytef*>(&out[4]), &packedSize,
                           reinterpret_cast<const Bytef*>(content.data()), uLong(content.size()), 0);
        }
        if (rc != Z_OK || packedSize > uLongf(std::numeric_limits<int32_t>::max())) {
            out.clear();
            return rc != Z_OK ? std::string("compression failed: ") + zError(rc) : "file too large for one record: " + rec.name;
        }
        out.resize(4 + size_t(packedSize));
        out.replace(0, 4, LengthBytes(uint32_t(packedSize)));
        return std::string();
    } VEL_CATCH_ALL {
        out.clear();
        return "out of memory encoding " + rec.name;
    }
}


std::string ScrambleItem(const std::string& text) {
    // Layout before hex: a, P, Q, P filler bytes, text, Q-1 filler bytes, check, b; the bytes
    // from P to the check are XORed with a ^ b. The reader takes n - P - Q - 4 bytes after
    // the P filler, so Q is at least 1.
    auto rnd = [](int low, int high) { return static_cast<unsigned char>(RandomInRange(low, high)); };
    const unsigned char a = rnd(0, 255), b = rnd(0, 255);
    const unsigned char k = a ^ b;
    const int p = rnd(0, 6), q = rnd(1, 6);
    std::string d;
    d += char(a);
    d += char(p ^ k);
    d += char(q ^ k);
    for (int i = 0; i < p; ++i) d += char(rnd(0, 255));
    for (unsigned char c : text) d += char(c ^ k);
    for (int i = 1; i < q; ++i) d += char(rnd(0, 255));
    d += '\0';  // check byte, set below
    d += char(b);
    unsigned sum = 0;
    for (size_t i = 0; i < d.size(); ++i)
        if (i != d.size() - 2) sum += static_cast<unsigned char>(d[i]);
    d[d.size() - 2] = static_cast<char>(sum & 0xFF);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(d.size() * 2);
    for (unsigned char c : d) {
        out += static_cast<char>(kDigits[c >> 4] + 50);
        out += static_cast<char>(kDigits[c & 15] + 50);
    }
    return out;
}

}  // namespace vel
