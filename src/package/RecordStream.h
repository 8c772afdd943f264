#pragma once
// The one decoder of file records: the record's bytes (stored, or one zlib stream) are decoded in
// steps into one fixed buffer, and the file header and then the data are handed on as they come.
// A record of any size thus needs no output buffer of its own size, and the data can go straight
// to its file. Extraction, the package walk and DecodeRecord (PackageFormat.h) all decode through
// it. Portable: no Windows API. Nothing here throws.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "package/PackageFormat.h"

namespace vel {

// Receives the header (the decoded text before the first NUL). Returns whether the data is wanted.
using RecordHeaderFn = std::function<bool(const std::string& header)>;
// Receives the data in order, in pieces of at most the step size.
using RecordDataFn = std::function<void(const char* data, size_t size)>;

// A header longer than this cannot name a file: a record whose first NUL comes later counts as
// having no header.
constexpr size_t kMaxRecordHeader = 65536;

// Decodes records one after the other through one buffer of `step` bytes, allocated once (a fresh
// large buffer per record costs more than the inflating itself on some systems).
class RecordStreamDecoder {
public:
    explicit RecordStreamDecoder(size_t step = size_t(1) << 20);

    // Decodes a file record (raw.length > 0: one zlib stream; else stored bytes). onHeader is
    // called once with the header, or with an empty text when the record has none (no NUL within
    // the first kMaxRecordHeader decoded bytes); onData then gets the data if onHeader wanted it.
    // The stream is always decoded to its end, so damage is found even in data nobody wants. pump
    // runs after every step. False with an error text (zlib's) when the record does not decode;
    // the callbacks may have received part of it by then.
    bool Decode(const RawRecord& raw, const RecordHeaderFn& onHeader, const RecordDataFn& onData,
                std::string& error, const PumpFn& pump = nullptr);

private:
    size_t step_;
    std::vector<char> buffer_;
};

}  // namespace vel
