#include "package/RecordStream.h"
#include "util/Catch.h"
#include "util/StrUtils.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace vel {

namespace {

// Splits decoded bytes into header and data as they arrive.
class HeaderSplitter {
public:
    HeaderSplitter(const RecordHeaderFn& onHeader, const RecordDataFn& onData) : onHeader_(onHeader), onData_(onData) {}

    void Feed(const char* p, size_t n) {
        if (state_ == State::Header) {
            const char* nul = static_cast<const char*>(std::memchr(p, 0, n));
            const size_t take = nul ? size_t(nul - p) : n;
            if (header_.size() + take > kMaxRecordHeader) {
                EndHeader(false);
                return;
            }
            header_.append(p, take);
            if (!nul) return;
            EndHeader(true);
            p = nul + 1;
            n -= take + 1;
        }
        if (state_ == State::Data && n > 0) onData_(p, n);
    }

    // At the end of the record: a record that never reached a NUL has no header.
    void Finish() {
        if (state_ == State::Header) EndHeader(false);
    }

private:
    enum class State { Header, Data, Skip };

    void EndHeader(bool found) {
        if (!found) header_.clear();
        const bool wanted = onHeader_ ? onHeader_(header_) : false;
        state_ = (found && wanted && onData_) ? State::Data : State::Skip;
    }

    const RecordHeaderFn& onHeader_;
    const RecordDataFn& onData_;
    std::string header_;
    State state_ = State::Header;
};

}  // namespace

RecordStreamDecoder::RecordStreamDecoder(size_t step)
    : step_(std::clamp<size_t>(step, 256, std::numeric_limits<uInt>::max())) {}

bool RecordStreamDecoder::Decode(const RawRecord& raw, const RecordHeaderFn& onHeader, const RecordDataFn& onData,
                                 std::string& error, const PumpFn& pump) {
    error.clear();
    VEL_TRY {
        HeaderSplitter split(onHeader, onData);
        if (raw.length <= 0) {
            const size_t chunk = step_;
            for (size_t at = 0; at < raw.bytes.size(); at += chunk) {
                split.Feed(raw.bytes.data() + at, std::min(chunk, raw.bytes.size() - at));
                if (pump) pump();
            }
            split.Finish();
            return true;
        }
        z_stream zs{};
        if (inflateInit(&zs) != Z_OK) {
            error = "cannot start inflating a record";
            return false;
        }
        struct EndStream {
            z_stream& zs;
            ~EndStream() { inflateEnd(&zs); }
        } ender{zs};
        if (buffer_.size() != step_) buffer_.assign(step_, '\0');
        std::vector<char>& out = buffer_;
        const unsigned char* next = reinterpret_cast<const unsigned char*>(raw.bytes.data());
        size_t left = raw.bytes.size();
        for (;;) {
            const uInt inChunk = uInt(std::min<size_t>(left, std::numeric_limits<uInt>::max()));
            zs.next_in = const_cast<Bytef*>(next);
            zs.avail_in = inChunk;
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = uInt(out.size());
            const int rc = inflate(&zs, Z_NO_FLUSH);
            next += inChunk - zs.avail_in;
            left -= inChunk - zs.avail_in;
            const size_t produced = out.size() - zs.avail_out;
            if (rc != Z_OK && rc != Z_STREAM_END) {
                error = rc == Z_BUF_ERROR  ? std::string("unexpected end of compressed data")
                        : rc == Z_NEED_DICT ? std::string("compressed data needs a dictionary")
                        : zs.msg            ? std::string(zs.msg)
                                            : "inflate error " + IntToStr(rc);
                return false;
            }
            split.Feed(out.data(), produced);
            if (pump) pump();
            if (rc == Z_STREAM_END) break;
            if (produced == 0 && left == 0) {
                error = "unexpected end of compressed data";
                return false;
            }
        }
        split.Finish();
        return true;
    } VEL_CATCH_ALL {
        error = "out of memory decoding a record";
        return false;
    }
}

std::string DecodeRecord(const RawRecord& raw, FileRecord& rec, const PumpFn& pump) {
    rec = FileRecord();
    std::string error;
    VEL_TRY {
        RecordStreamDecoder decoder(kRecordReadChunk);
        const auto onHeader = [&](const std::string& header) {
            ParseRecordHeader(header, rec);
            return true;
        };
        const auto onData = [&](const char* p, size_t n) { rec.data.append(p, n); };
        if (decoder.Decode(raw, onHeader, onData, error, pump)) return std::string();
    } VEL_CATCH_ALL {
        error = "out of memory decoding a record";
    }
    rec = FileRecord();
    return error;
}

}  // namespace vel
