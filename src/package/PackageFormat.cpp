// Package byte layout, reading side: trailer, location, checksum, space table, records, tokens.
// What only the package builder needs is in RecordEncode.cpp.
#include "package/PackageFormat.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "package/ImageManifest.h"
#include "util/Catch.h"
#include "util/StrUtils.h"
#include "util/SUB.h"

namespace vel {

namespace {

uint32_t GetU32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void PutU32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::string U32Bytes(uint32_t v) {
    unsigned char b[4];
    PutU32(b, v);
    return std::string(reinterpret_cast<const char*>(b), 4);
}

bool ReadU32At(BinaryFile& file, int64_t offset, uint32_t& v) {
    unsigned char b[4];
    if (!file.Seek(offset) || !file.ReadExact(b, 4)) return false;
    v = GetU32(b);
    return true;
}

int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

// ---- Trailer ---------------------------------------------------------------------------------

uint32_t PackageTrailer::U32(size_t off) const { return GetU32(&b_[off]); }
void PackageTrailer::SetU32(size_t off, uint32_t v) { PutU32(&b_[off], v); }

SpaceTable PackageTrailer::Space() const {
    SpaceTable t{};
    for (int i = 0; i < kSpaceEntries; ++i) t[i] = SpaceEntry(i);
    return t;
}

void PackageTrailer::SetSpace(const SpaceTable& table) {
    for (int i = 0; i < kSpaceEntries; ++i) SetSpaceEntry(i, table[i]);
}

std::string PackageTrailer::Serialize() const {
    return std::string(reinterpret_cast<const char*>(b_.data()), b_.size());
}

PackageTrailer PackageTrailer::Parse(const std::string& bytes) {
    PackageTrailer t;
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSize), t.b_.begin());
    return t;
}

// ---- Location --------------------------------------------------------------------------------

bool IsStampedImage(const std::string& bytes) {
    return bytes.size() >= kPeHeaderOffset + 2 && bytes[0] == 'M' && bytes[1] == 'Z' &&
           bytes[kPeHeaderOffset] == 'P' && bytes[kPeHeaderOffset + 1] == 'E';
}

bool IsStampedExecutable(BinaryFile& file) {
    char mz[2], pe[2];
    return file.Seek(0) && file.ReadExact(mz, 2) && mz[0] == 'M' && mz[1] == 'Z' &&
           file.Seek(kPeHeaderOffset) && file.ReadExact(pe, 2) && pe[0] == 'P' && pe[1] == 'E';
}

uint64_t ReadEndStamp(BinaryFile& file) {
    uint32_t high = 0, low = 0;
    if (!IsStampedExecutable(file) || !ReadU32At(file, kEndStampOffset, high) ||
        !ReadU32At(file, kEndStampOffset + 4, low))
        return 0;
    return (uint64_t(high) << 32) | low;
}

void SetEndStamp(std::string& image, uint64_t stamp) {
    if (image.size() < kEndStampOffset + 8) return;
    image.replace(kEndStampOffset, 8, U32Bytes(uint32_t(stamp >> 32)) + U32Bytes(uint32_t(stamp)));
}

PackageLocation LocatePackage(BinaryFile& file) {
    PackageLocation loc;
    const int64_t size = file.Size();
    if (size < int64_t(kMinTrailerLength)) return loc;
    loc.fileSize = size;
    const uint64_t stamp = ReadEndStamp(file);
    // A stamp beyond the file cannot be right; the stamp is read from the file and not trusted.
    if (stamp > uint64_t(size)) return loc;
    loc.end = stamp != 0 ? int64_t(stamp) : size;
    if (loc.end < int64_t(kMinTrailerLength)) return loc;
    uint32_t length = 0;
    if (!ReadU32At(file, loc.end - 4, length)) return loc;
    if (length < kMinTrailerLength || int64_t(length) > loc.end) return loc;
    loc.trailerLength = length;
    loc.trailerStart = loc.end - length;
    loc.valid = true;
    return loc;
}

PackageTrailer ReadPackageTrailer(BinaryFile& file, PackageLocation* where) {
    PackageTrailer trailer;
    const PackageLocation loc = LocatePackage(file);
    if (where) *where = loc;
    if (!loc.valid) return trailer;
    const uint32_t used = std::min(kTrailerLength, loc.trailerLength);
    std::string bytes(used - 4, '\0');
    if (!file.Seek(loc.trailerStart) || !file.ReadExact(&bytes[0], bytes.size())) return trailer;
    trailer = PackageTrailer::Parse(bytes);
    trailer.SetLength(used);
    if (trailer.TextBlockCount() == 0) trailer.SetTextBlockCount(2);
    return trailer;
}

PackageTrailer ReadPackageTrailer(const std::string& fileName, PackageLocation* where) {
    BinaryFile file;
    if (!file.OpenRead(fileName)) {
        if (where) *where = PackageLocation();
        return PackageTrailer();
    }
    return ReadPackageTrailer(file, where);
}

// ---- Checksum --------------------------------------------------------------------------------

uint32_t PackageChecksum(BinaryFile& file, uint32_t trailerLength, bool* ok) {
    if (ok) *ok = false;
    int64_t size = file.Size();
    if (size < 0) return 0;
    if (size > kChecksumMaxFileSize) {
        if (ok) *ok = true;
        return kChecksumNotComputed;
    }
    int64_t start = 0;
    uint32_t low = 0;
    if (IsStampedExecutable(file) && ReadU32At(file, kEndStampOffset + 4, low) && low != 0) {
        size = low;
        start = 512;  // the image header with the stamp is not covered
    }
    int64_t remaining = size - int64_t(trailerLength) - start;
    if (!file.Seek(start)) return 0;
    uint32_t sum = 0;
    unsigned char buf[4096];
    for (;;) {
        const size_t got = file.Read(buf, sizeof buf);
        for (size_t i = 0; i + 4 <= got; i += 4) {
            remaining -= 4;
            if (remaining > 4) sum += GetU32(buf + i);
        }
        if (remaining > 4) sum += kChecksumNotComputed;
        if (got < sizeof buf) break;
    }
    if (ok) *ok = true;
    return sum;
}

uint32_t PackageChecksum(const std::string& fileName, uint32_t trailerLength, bool* ok) {
    BinaryFile file;
    if (!file.OpenRead(fileName)) {
        if (ok) *ok = false;
        return 0;
    }
    return PackageChecksum(file, trailerLength, ok);
}

bool ChecksumPasses(uint32_t computed, uint32_t field) {
    return computed == field || computed == kChecksumNotComputed || field == kChecksumNotComputed;
}

// ---- Space table -----------------------------------------------------------------------------

double SpaceForClusterSize(const PackageTrailer& trailer, uint64_t clusterSize) {
    double result = trailer.SpaceEntry(0);
    for (int i = 1; i < kSpaceEntries; ++i)
        if (clusterSize >= (uint64_t(256) << i)) result = trailer.SpaceEntry(i);
    return result;
}

// ---- Text blocks and records -----------------------------------------------------------------

void ParseRecordHeader(const std::string& header, FileRecord& rec) {
    rec.header = header;
    std::string name = SUB::Item(header, 0);
    const int64_t date = StrToInt64Def(SUB::Item(header, 1), 0);
    rec.dosDate = (date >= 0 && date <= int64_t(std::numeric_limits<uint32_t>::max())) ? uint32_t(date) : 0;
    const size_t star = name.find('*');
    rec.launch = star != std::string::npos;
    rec.params = rec.launch ? name.substr(star + 1) : std::string();
    if (rec.launch) name.erase(star);
    rec.name = std::move(name);
}

// ---- Record walker ---------------------------------------------------------------------------

RecordWalker::RecordWalker(BinaryFile& file, const PackageLocation& where, int64_t start, int textBlocks,
                           PumpFn pump)
    : file_(file), where_(where), pos_(start), textBlocks_(textBlocks), pump_(std::move(pump)) {
    if (!where_.valid)
        error_ = "no package found";
    else if (start < 0 || start > where_.trailerStart)
        error_ = "data offset beyond the package";
}

bool RecordWalker::Fail(const std::string& why) {
    error_ = why + " at offset " + IntToStr(pos_);
    return false;
}

bool RecordWalker::Next(RawRecord& rec) {
    if (!error_.empty() || pos_ >= where_.trailerStart) return false;
    VEL_TRY {
        if (pump_) pump_();
        if (where_.trailerStart - pos_ < 4) return Fail("truncated record length");
        uint32_t stored = 0;
        if (!ReadU32At(file_, pos_, stored)) return Fail("unreadable record length");
        const int32_t length = static_cast<int32_t>(stored);
        const bool isText = count_ < textBlocks_;
        if (isText && length < 0) return Fail("negative text block length");
        const int64_t size = length < 0 ? -int64_t(length) : int64_t(length);
        if (size > where_.trailerStart - pos_ - 4) return Fail("record runs past the end of the package");
        rec.offset = pos_;
        rec.length = length;
        rec.isTextBlock = isText;
        if (!MemoryAvailable(size_t(size))) return Fail("out of memory reading record");
        rec.bytes.assign(size_t(size), '\0');
        for (int64_t done = 0; done < size;) {
            const size_t chunk = size_t(std::min<int64_t>(size - done, int64_t(kRecordReadChunk)));
            if (!file_.ReadExact(&rec.bytes[size_t(done)], chunk)) {
                rec.bytes.clear();
                return Fail("short read in record");
            }
            done += int64_t(chunk);
            if (pump_) pump_();
        }
        pos_ += size + 4;
        ++count_;
        if (isText) textEnd_ = pos_;
        return true;
    } VEL_CATCH_ALL {
        rec.bytes.clear();
        return Fail("out of memory reading record");
    }
}

// ---- Parts and the agent image ---------------------------------------------------------------

std::string PackageBaseName(const std::string& path) {
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".001") == 0) return path.substr(0, path.size() - 4);
    return path;
}

std::string PartFileName(const std::string& baseName, int partNumber) {
    return baseName + "." + IntZeroPad(partNumber, 3);
}

bool BuildAgentImage(const std::string& packagePath, int64_t textEnd, std::string& image) {
    image.clear();
    VEL_TRY {
        BinaryFile file;
        if (!file.OpenRead(packagePath)) return false;
        PackageLocation where;
        PackageTrailer trailer = ReadPackageTrailer(file, &where);
        if (!where.valid || !trailer.HasMagic() || textEnd <= 0 || textEnd > where.trailerStart) return false;
        if (!MemoryAvailable(size_t(textEnd))) return false;
        image.assign(size_t(textEnd), '\0');
        if (!file.Seek(0) || !file.ReadExact(&image[0], image.size())) {
            image.clear();
            return false;
        }
        // The whole stamp is cleared (not only its low half) so that the image's trailer is
        // found at its end whatever the package size was.
        if (IsStampedImage(image)) SetEndStamp(image, 0);
        if (!SetAgentExecutionLevel(image)) {
            image.clear();
            return false;
        }
        trailer.SetUpdateAgent(true);
        trailer.SetLength(kTrailerLength);
        image += trailer.Serialize();
        return true;
    } VEL_CATCH_ALL {
        image.clear();
        return false;
    }
}

// ---- Scrambled items -------------------------------------------------------------------------

bool TryUnscrambleItem(const std::string& text, std::string& out) {
    out.clear();
    VEL_TRY {
        std::string d;
        d.reserve(text.size() / 2 + 1);
        for (size_t i = 0; i < text.size(); i += 2) {
            const int hi = HexDigit(static_cast<unsigned char>(text[i] - 50));
            if (i + 1 == text.size()) {
                d += static_cast<char>(hi < 0 ? 255 : hi);
                break;
            }
            const int lo = HexDigit(static_cast<unsigned char>(text[i + 1] - 50));
            d += static_cast<char>((hi < 0 || lo < 0) ? 255 : hi * 16 + lo);
        }
        const size_t n = d.size();
        if (n <= 4) return false;
        unsigned sum = 0;
        for (size_t i = 0; i < n; ++i)
            if (i != n - 2) sum += static_cast<unsigned char>(d[i]);
        if ((sum & 0xFF) != static_cast<unsigned char>(d[n - 2])) return false;
        const unsigned char k = static_cast<unsigned char>(d[0] ^ d[n - 1]);
        for (size_t i = 1; i <= n - 2; ++i) d[i] = static_cast<char>(d[i] ^ k);
        const int64_t p = static_cast<unsigned char>(d[1]);
        const int64_t q = static_cast<unsigned char>(d[2]);
        const int64_t length = int64_t(n) - p - q - 4;
        if (length < 0) return false;
        out = d.substr(size_t(p + 3), size_t(length));
        return true;
    } VEL_CATCH_ALL {
        out.clear();
        return false;
    }
}

std::string UnscrambleItem(const std::string& text) {
    std::string out;
    if (TryUnscrambleItem(text, out)) return out;
    return RandomText(0, 99998);
}

TokenedText SplitTokenedText(const std::string& text) {
    const std::string plain = ScrambleText(text, false, true);
    TokenedText result;
    size_t bars[4];
    size_t found = 0;
    for (size_t at = plain.find('|'); at != std::string::npos && found < 4; at = plain.find('|', at + 1))
        bars[found++] = at;
    // A field is only what a closing "|" ends: without it the token is empty, never the rest of the text.
    std::string token;
    if (found >= 2) token = plain.substr(bars[0] + 1, bars[1] - bars[0] - 1);
    result.tokenDecoded = TryUnscrambleItem(token, result.token);
    if (!result.tokenDecoded) result.token = UnscrambleItem(token);
    if (found == 4) result.remainder = plain.substr(bars[3] + 1);
    return result;
}

}  // namespace vel
