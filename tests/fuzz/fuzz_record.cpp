// One file record through the streaming decoder, in memory (no file, so it runs fast): stored or
// zlib bytes, the header parsed, the name through the path rule. Input: one byte of choices
// (bit 0: stored record; bits 1..2: decoder step), then the record's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "package/PackageFormat.h"
#include "package/RecordPath.h"
#include "package/RecordStream.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    RawRecord raw;
    raw.bytes = in.Rest();
    raw.length = (choice & 1) ? -int32_t(raw.bytes.size()) : int32_t(raw.bytes.size());
    static const size_t kSteps[4] = {1, 7, 4096, size_t(1) << 20};
    RecordStreamDecoder decoder(kSteps[(choice >> 1) & 3]);

    std::string header;
    bool headerSeen = false;
    size_t dataBytes = 0;
    std::string error;
    const bool decoded = decoder.Decode(
        raw,
        [&](const std::string& h) {
            VEL_FUZZ_CHECK(!headerSeen);
            headerSeen = true;
            header = h;
            VEL_FUZZ_CHECK(h.size() <= kMaxRecordHeader && h.find('\0') == std::string::npos);
            return true;
        },
        [&](const char*, size_t n) {
            VEL_FUZZ_CHECK(headerSeen);
            VEL_FUZZ_CHECK(n <= std::max<size_t>(kSteps[(choice >> 1) & 3], 256));
            dataBytes += n;
        },
        error);
    VEL_FUZZ_CHECK(decoded == error.empty());
    if (decoded) {
        VEL_FUZZ_CHECK(headerSeen);
        // Stored bytes: the header, its NUL and the data are the record, nothing more or less.
        if (raw.length <= 0 && dataBytes > 0) VEL_FUZZ_CHECK(header.size() + 1 + dataBytes == raw.bytes.size());
        FileRecord rec;
        VEL_FUZZ_CHECK(DecodeRecord(raw, rec).empty());
        VEL_FUZZ_CHECK(rec.header == header && rec.data.size() == dataBytes);
    }

    FileRecord rec;
    ParseRecordHeader(header.empty() ? raw.bytes : header, rec);
    if (!rec.launch) VEL_FUZZ_CHECK(rec.params.empty() && rec.RunSpec().empty());
    const std::string safe = SafeRecordPath(rec.name);
    const std::string again = SafeRecordPath(safe);
    if (!safe.empty()) {
        VEL_FUZZ_CHECK(again == safe);  // a safe path stays as it is
        VEL_FUZZ_CHECK(safe.find(':') == std::string::npos && safe.find('/') == std::string::npos);
        VEL_FUZZ_CHECK(safe.size() <= rec.name.size());
        std::string previous;
        for (const std::string& folder : RecordSubfolders(safe)) {
            VEL_FUZZ_CHECK(safe.compare(0, folder.size() + 1, folder + "\\") == 0);
            VEL_FUZZ_CHECK(folder.size() > previous.size());
            previous = folder;
        }
    }
    return 0;
}
