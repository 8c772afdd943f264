// The writing half of the record codec. Kept in its own file so that a program that only reads
// packages (the stub) does not link the deflate side of zlib.
#include <zlib.h>

#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "package/PackageFormat.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

std::string LengthBytes(uint32_t v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    return std::string(b, 4);
}

}  // namespace

std::string EncodeRecord(const FileRecord& rec, int level, std::string& out) {
    out.clear();
    if (rec.name.empty() || rec.name.find_first_of(std::string("|*\0", 3)) != std::string::npos)
        return "bad file name in record: " + rec.name;
    if (rec.params.find_first_of(std::string("|\0", 2)) != std::string::npos)
        return "bad launch parameters for " + rec.name;
    if (level < 0 || level > 9) return "bad compression level " + IntToStr(level);
    try {
        const std::string header = RecordHeader(rec);
        const uint64_t contentSize = uint64_t(header.size()) + 1 + rec.data.size();
        if (contentSize > uint64_t(std::numeric_limits<int32_t>::max()))
            return "file too large for one record: " + rec.name;
        std::string content;
        content.reserve(size_t(contentSize));
        content += header;
        content += '\0';
        content += rec.data;
        if (level > 0) {
            uLongf packedSize = compressBound(uLong(content.size()));
            out.assign(4 + size_t(packedSize), '\0');
            const int rc = compress2(reinterpret_cast<Bytef*>(&out[4]), &packedSize,
                                     reinterpret_cast<const Bytef*>(content.data()), uLong(content.size()), level);
            if (rc != Z_OK) {
                out.clear();
                return std::string("compression failed: ") + zError(rc);
            }
            if (packedSize < content.size()) {
                out.resize(4 + size_t(packedSize));
                out.replace(0, 4, LengthBytes(uint32_t(packedSize)));
                return std::string();
            }
        }
        // Stored: a negative (or zero) length.
        out = LengthBytes(uint32_t(-int64_t(content.size()))) + content;
        return std::string();
    } catch (const std::bad_alloc&) {
        out.clear();
        return "out of memory encoding " + rec.name;
    }
}

}  // namespace vel
