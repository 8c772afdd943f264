// The package walk over a setup file and the part files that continue it: trailer, checksum,
// every record read and decoded by the streaming decoder, record names through the path rule.
// Input: the first part; "\nVELPART\n" starts the next part file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "package/PackageFormat.h"
#include "package/PackageWalk.h"
#include "package/RecordPath.h"

using namespace vel;

namespace {

class CheckingVisitor : public PackageVisitor {
public:
    bool OnPart(const PackagePart& part) override {
        VEL_FUZZ_CHECK(part.file != nullptr);
        VEL_FUZZ_CHECK(!part.where.valid || (part.where.end <= part.where.fileSize &&
                                             part.where.trailerStart <= part.where.end));
        return true;
    }
    bool OnRecord(const FileRecord& header, const RawRecord& raw) override {
        VEL_FUZZ_CHECK(!raw.isTextBlock);
        current_ = header;
        data_ = 0;
        const std::string safe = SafeRecordPath(header.name);
        if (!safe.empty()) {
            VEL_FUZZ_CHECK(safe.find(':') == std::string::npos && safe.find('/') == std::string::npos);
            VEL_FUZZ_CHECK(safe[0] != '\\' && safe.find("..") != 0);
            for (const std::string& folder : RecordSubfolders(safe))
                VEL_FUZZ_CHECK(safe.compare(0, folder.size() + 1, folder + "\\") == 0);
        }
        return true;
    }
    void OnData(const char*, size_t size) override { data_ += size; }
    std::string AfterRecord(const RawRecord& raw) override {
        // The in-memory decoder goes through the same decoder: it must read the record alike.
        FileRecord rec;
        const std::string error = DecodeRecord(raw, rec);
        VEL_FUZZ_CHECK(error.empty());
        VEL_FUZZ_CHECK(rec.header == current_.header && rec.name == current_.name);
        VEL_FUZZ_CHECK(rec.data.size() == data_);
        return std::string();
    }
    void AfterPart(const PackagePart& part, int64_t textEnd) override {
        VEL_FUZZ_CHECK(textEnd >= 0 && textEnd <= part.where.trailerStart);
        if (part.number == 1 && textEnd > 0) {
            std::string image;
            if (BuildAgentImage(part.path, textEnd, image))
                VEL_FUZZ_CHECK(image.size() == size_t(textEnd) + kTrailerLength);
        }
    }

private:
    FileRecord current_;
    size_t data_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts =
        fuzz::SplitAt(std::string(reinterpret_cast<const char*>(data), size), "\nVELPART\n");
    if (parts.size() > 4) return 0;  // the walk goes part by part; three continuations show it all
    std::string first;
    if (parts.size() == 1) {
        first = fuzz::WriteScratchFile("setup.exe", parts[0]);
    } else {
        for (size_t i = 0; i < parts.size(); ++i) {
            const std::string path = fuzz::WriteScratchFile("setup." + std::string(i < 9 ? "00" : "0") +
                                                                std::to_string(i + 1), parts[i]);
            if (i == 0) first = path;
        }
    }
    CheckingVisitor visitor;
    const WalkResult result = WalkPackage(first, visitor);
    VEL_FUZZ_CHECK(result.part >= 1 && result.part <= int(parts.size()) + 1);
    VEL_FUZZ_CHECK((result.end == WalkEnd::Complete || result.end == WalkEnd::Stopped ||
                    result.end == WalkEnd::Cancelled) == result.error.empty());
    for (size_t i = 1; i < parts.size(); ++i) fuzz::RemoveScratchFile("setup.00" + std::to_string(i + 1));
    return 0;
}
