// The walk over every record of every part of a package.
#include "package/PackageWalk.h"

#include <utility>

#include "package/RecordStream.h"
#include "util/Catch.h"
#include "util/StrUtils.h"

namespace vel {

bool PackageVisitor::BeforePart(int, const std::string&) { return true; }
bool PackageVisitor::OnPart(const PackagePart&) { return true; }
bool PackageVisitor::OnRecord(const FileRecord&, const RawRecord&) { return false; }
void PackageVisitor::OnData(const char*, size_t) {}
std::string PackageVisitor::AfterRecord(const RawRecord&) { return std::string(); }
void PackageVisitor::AfterPart(const PackagePart&, int64_t) {}
void PackageVisitor::Pump() {}

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

WalkResult Ended(WalkEnd end, const PackagePart& part, std::string error) {
    WalkResult r;
    r.end = end;
    r.part = part.number;
    r.partPath = part.path;
    r.error = std::move(error);
    return r;
}

// Reads and decodes the records of one open part. Empty text when every record was whole.
std::string WalkRecords(const PackagePart& part, PackageVisitor& visitor, RecordStreamDecoder& decoder,
                        int64_t& textEnd) {
    const PumpFn pump = [&visitor] { visitor.Pump(); };
    const int textBlocks = part.number == 1 ? part.trailer.TextBlockCount() : 0;
    RecordWalker walker(*part.file, part.where, part.trailer.DataOffset(), textBlocks, pump);
    RawRecord raw;
    while (walker.Next(raw)) {
        if (raw.isTextBlock) continue;
        const auto onHeader = [&](const std::string& header) {
            FileRecord rec;
            ParseRecordHeader(header, rec);
            return visitor.OnRecord(rec, raw);
        };
        const auto onData = [&](const char* p, size_t n) { visitor.OnData(p, n); };
        std::string error;
        if (!decoder.Decode(raw, onHeader, onData, error, pump))
            return Quoted(part.path) + ": record at offset " + IntToStr(raw.offset) + ": " + error;
        std::string refused = visitor.AfterRecord(raw);
        if (!refused.empty()) return refused;
    }
    if (!walker.Error().empty()) return Quoted(part.path) + ": " + walker.Error();
    textEnd = walker.TextEnd();
    return std::string();
}

}  // namespace

WalkResult WalkPackage(const std::string& firstPart, PackageVisitor& visitor) {
    PackagePart part;
    VEL_TRY {
        const std::string base = PackageBaseName(firstPart);
        RecordStreamDecoder decoder;  // one buffer for every record of every part
        for (int number = 1;; ++number) {
            part = PackagePart();
            part.number = number;
            part.path = number == 1 ? firstPart : PartFileName(base, number);
            if (number > 1 && !visitor.BeforePart(number, part.path))
                return Ended(WalkEnd::Cancelled, part, std::string());
            BinaryFile file;
            if (!FileExists(part.path) || !file.OpenRead(part.path))
                return Ended(WalkEnd::Unreadable, part, "cannot open " + Quoted(part.path));
            part.file = &file;
            part.trailer = ReadPackageTrailer(file, &part.where);
            bool read = false;
            part.checksumComputed = PackageChecksum(file, part.trailer.Length(), &read);
            if (!read) return Ended(WalkEnd::Unreadable, part, "cannot read " + Quoted(part.path));
            part.checksumPasses = ChecksumPasses(part.checksumComputed, part.trailer.Checksum());
            if (!visitor.OnPart(part)) return Ended(WalkEnd::Stopped, part, std::string());
            if (!part.HasPackage()) return Ended(WalkEnd::NoPackage, part, Quoted(part.path) + " holds no package");
            int64_t textEnd = 0;
            std::string damage = WalkRecords(part, visitor, decoder, textEnd);
            if (!damage.empty()) return Ended(WalkEnd::Damaged, part, std::move(damage));
            visitor.AfterPart(part, textEnd);
            if (!part.trailer.MorePartsFollow()) return Ended(WalkEnd::Complete, part, std::string());
        }
    } VEL_CATCH_ALL {
        return Ended(WalkEnd::Damaged, part, "out of memory reading " + Quoted(part.path));
    }
}

}  // namespace vel
