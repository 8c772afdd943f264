#pragma once
// The package's byte layout, read and written by the same code: the stub's reader and the package
// builder both use these routines, so the two sides cannot drift apart. Portable: no Windows API.
//
// A package lies behind an executable image (or alone in a part file):
//   [image][text blocks][file records][trailer]   followed, for an image, by anything that is not
// package data (a code-signing certificate table). Integers are little-endian.
// No routine throws; failures come back as false, 0, an empty text or an error text as stated.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/FileIO.h"

namespace vel {

constexpr uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr uint32_t kTrailerLength = 74;         // current trailer format
constexpr uint32_t kMinTrailerLength = 8;       // shorter stored lengths are damage
constexpr uint32_t kChecksumNotComputed = 1234; // checksum value meaning "not checked"
constexpr int64_t kChecksumMaxFileSize = 51200; // larger files are not summed
constexpr int kSpaceEntries = 9;
constexpr int64_t kEndStampOffset = 248;        // high dword at 248, low dword at 252
constexpr int64_t kPeHeaderOffset = 256;        // "PE" of a stamped image
constexpr size_t kRecordReadChunk = 65536;      // records are read in chunks of this size

// Flag bits of trailer byte 65.
constexpr uint8_t kFlagAnnounceExtraction = 0x01;  // temp-space prompt even when there is room
constexpr uint8_t kFlagMorePartsFollow = 0x02;     // the package continues in the next part file
constexpr uint8_t kFlagSpanCopy = 0x04;            // run from a temporary copy
constexpr uint8_t kFlagActivityBar = 0x08;         // show the second progress control
constexpr uint8_t kFlagAgentRunLog = 0x10;         // an update agent writes its run log

using SpaceTable = std::array<uint32_t, kSpaceEntries>;

// Called between reads and inflate steps so that the GUI thread stays responsive.
using PumpFn = std::function<void()>;

// The fixed 74-byte record at the end of a package.
class PackageTrailer {
public:
    static constexpr size_t kSize = kTrailerLength;

    uint8_t TextBlockCount() const { return b_[1]; }
    void SetTextBlockCount(uint8_t count) { b_[1] = count; }
    uint32_t DataOffset() const { return U32(4); }
    void SetDataOffset(uint32_t offset) { SetU32(4, offset); }
    uint32_t FileCount() const { return U32(8); }
    void SetFileCount(uint32_t count) { SetU32(8, count); }
    uint32_t Magic() const { return U32(12); }
    void SetMagic(uint32_t magic) { SetU32(12, magic); }
    bool HasMagic() const { return Magic() == kPackageMagic; }
    uint32_t Checksum() const { return U32(16); }
    void SetChecksum(uint32_t sum) { SetU32(16, sum); }
    uint32_t SpaceEntry(int i) const { return (i >= 0 && i < kSpaceEntries) ? U32(28 + 4 * i) : 0; }
    void SetSpaceEntry(int i, uint32_t bytes) {
        if (i >= 0 && i < kSpaceEntries) SetU32(28 + 4 * i, bytes);
    }
    SpaceTable Space() const;
    void SetSpace(const SpaceTable& table);
    uint8_t Flags() const { return b_[65]; }
    void SetFlags(uint8_t flags) { b_[65] = flags; }
    bool Flag(uint8_t bit) const { return (b_[65] & bit) != 0; }
    void SetFlag(uint8_t bit, bool on) { b_[65] = on ? uint8_t(b_[65] | bit) : uint8_t(b_[65] & ~bit); }

    bool AnnounceExtraction() const { return Flag(kFlagAnnounceExtraction); }
    bool MorePartsFollow() const { return Flag(kFlagMorePartsFollow); }
    bool SpanCopyWanted() const { return Flag(kFlagSpanCopy); }
    bool ShowActivityBar() const { return Flag(kFlagActivityBar); }
    bool AgentDebugLog() const { return Flag(kFlagAgentRunLog); }

    // Bytes 66..69: each true when non-zero; the setters store 1 or 0.
    bool IsWebSetup() const { return b_[66] != 0; }
    void SetWebSetup(bool on) { b_[66] = on ? 1 : 0; }
    bool AskBeforeDownload() const { return b_[67] != 0; }
    void SetAskBeforeDownload(bool on) { b_[67] = on ? 1 : 0; }
    bool WriteAgentImage() const { return b_[68] != 0; }
    void SetWriteAgentImage(bool on) { b_[68] = on ? 1 : 0; }
    bool IsUpdateAgent() const { return b_[69] != 0; }
    void SetUpdateAgent(bool on) { b_[69] = on ? 1 : 0; }

    uint32_t Length() const { return U32(70); }
    void SetLength(uint32_t length) { SetU32(70, length); }

    uint8_t Byte(size_t offset) const { return offset < kSize ? b_[offset] : 0; }
    void SetByte(size_t offset, uint8_t value) {
        if (offset < kSize) b_[offset] = value;
    }

    std::string Serialize() const;  // the 74 bytes
    // The first 74 bytes of bytes (missing ones read as zero), taken as they are.
    static PackageTrailer Parse(const std::string& bytes);

private:
    uint32_t U32(size_t off) const;
    void SetU32(size_t off, uint32_t v);
    std::array<uint8_t, kSize> b_{};
};

// Where the package of an open file lies. valid is false when the file is too short, the end stamp
// points past the file, or the stored trailer length is below 8 or beyond the package end.
struct PackageLocation {
    bool valid = false;
    int64_t fileSize = 0;
    int64_t end = 0;             // offset just past the package
    uint32_t trailerLength = 0;  // trailer length as stored (L)
    int64_t trailerStart = 0;    // end - L: records stop here
};

// "MZ" at 0 and "PE" at 256: a stub image with its package end stamp. No other test is made.
bool IsStampedExecutable(BinaryFile& file);
bool IsStampedImage(const std::string& bytes);

// The 64-bit end stamp (high dword at 248, low at 252); 0 when the file is not a stamped executable.
uint64_t ReadEndStamp(BinaryFile& file);
bool WriteEndStamp(BinaryFile& file, uint64_t stamp);
void SetEndStamp(std::string& image, uint64_t stamp);  // image must be at least 256 bytes long

PackageLocation LocatePackage(BinaryFile& file);

// The trailer: the first min(74, L) - 4 stored bytes, the rest zero, the length field set to
// min(74, L), a text block count of 0 read as 2. All zero when the file cannot be opened or the
// package cannot be located. The open-file form leaves the file open; where receives the location.
PackageTrailer ReadPackageTrailer(BinaryFile& file, PackageLocation* where = nullptr);
PackageTrailer ReadPackageTrailer(const std::string& fileName, PackageLocation* where = nullptr);

// The package checksum over the file (trailer length t). 1234 for files above 51200 bytes.
// ok (when given) is false when the file could not be read; the result is then 0.
uint32_t PackageChecksum(BinaryFile& file, uint32_t trailerLength, bool* ok = nullptr);
uint32_t PackageChecksum(const std::string& fileName, uint32_t trailerLength, bool* ok = nullptr);
// The check made on every part: equal, or either side is 1234.
bool ChecksumPasses(uint32_t computed, uint32_t field);

// Space requirement: entry 0 is the plain sum of the file sizes, entry i the sum rounded up to
// clusters of 256 * 2^i bytes. Entries saturate at 0xFFFFFFFF instead of wrapping.
class SpaceTally {
public:
    void AddFile(uint64_t size);
    SpaceTable Table() const;

private:
    std::array<uint64_t, kSpaceEntries> sums_{};
};
SpaceTable ComputeSpaceTable(const std::vector<uint64_t>& fileSizes);
// The entry for a drive with the given cluster size (0 when unknown: entry 0).
double SpaceForClusterSize(const PackageTrailer& trailer, uint64_t clusterSize);

// A text block: signed 32-bit length, then the text. Empty result when the text is too long.
std::string EncodeTextBlock(const std::string& text);

// One file of the package. A decoded record also keeps its header as stored.
struct FileRecord {
    std::string name;     // relative to the extraction folder, without "*"
    bool launch = false;  // the launch entry ("*" after the name)
    std::string params;   // extra command-line parameters of the launch entry
    uint32_t dosDate = 0; // last-write time, DOS date (high 16 bits) and time (low 16 bits)
    std::string data;
    std::string header;   // as stored, e.g. "|Engine.exe*|1248086749|" (filled by decoding)

    // What the launch entry runs: name, "*", params (empty when not the launch entry).
    std::string RunSpec() const { return launch ? name + "*" + params : std::string(); }
};

std::string RecordHeader(const FileRecord& rec);  // "|name[*params]|dosdate|"

// The record pair below reports failure the same way: an error text, empty on success.

// Encodes rec as a whole record (length field included): header, NUL, data, as one zlib stream at
// level (0..9), or at level 0 (stored blocks) when that level does not make it smaller. Never a
// stored record (length <= 0): those carry no check value. Error text, empty on success.
std::string EncodeRecord(const FileRecord& rec, int level, std::string& out);

// One record as stored in a package part.
struct RawRecord {
    int64_t offset = 0;       // file position of its length field
    int32_t length = 0;       // > 0 one zlib stream, <= 0 stored
    bool isTextBlock = false; // one of the leading text blocks of a first part
    std::string bytes;        // the |length| bytes
};

// Decodes a whole file record into memory through the streaming decoder (RecordStream.h), so it
// reads exactly as extraction does: a record without a header (no NUL within the first
// kMaxRecordHeader bytes) comes back with empty header, name and data. Error text, empty on success.
std::string DecodeRecord(const RawRecord& raw, FileRecord& rec, const PumpFn& pump = nullptr);

// Fills header, name, launch, params and dosDate from a decoded record header such as
// "|Engine.exe*/q|1248086749|" (date 0 when not a number); data is left as it is.
void ParseRecordHeader(const std::string& header, FileRecord& rec);

// Walks the records of one package part, from start (its data offset) up to the trailer, reading
// each in chunks of at most 64 KiB with pump called after each chunk. Never reads outside the
// package: a length running past the trailer, a negative text block length, a short read or a
// start beyond the trailer end the walk with an error.
class RecordWalker {
public:
    // textBlocks: how many leading records are text blocks (the trailer's count on a first part,
    // 0 on the parts that continue a package).
    RecordWalker(BinaryFile& file, const PackageLocation& where, int64_t start, int textBlocks,
                 PumpFn pump = nullptr);
    // The next record; false at the end of the records or on damage (then Error() is not empty).
    bool Next(RawRecord& rec);
    const std::string& Error() const { return error_; }
    int64_t Position() const { return pos_; }
    int64_t TextEnd() const { return textEnd_; }  // just past the last text block, 0 until read
    int RecordsRead() const { return count_; }

private:
    bool Fail(const std::string& why);
    BinaryFile& file_;
    PackageLocation where_;
    int64_t pos_;
    int textBlocks_;
    PumpFn pump_;
    int64_t textEnd_ = 0;
    int count_ = 0;
    std::string error_;
};

// Part files: "name.001" stands for the base "name"; part n is base + "." + n in three digits.
std::string PackageBaseName(const std::string& path);
std::string PartFileName(const std::string& baseName, int partNumber);

// The update agent image of a stub package: its first textEnd bytes (image and text blocks, no
// file records), end stamp cleared, manifest level set to the invoker's rights, followed by its
// trailer marked as an update agent (length 74). False when any of it cannot be done.
bool BuildAgentImage(const std::string& packagePath, int64_t textEnd, std::string& image);

// Scrambled list items (product and download tokens): letters b..k and s..x, hex digits + 50.
// UnscrambleItem gives a random decimal number below 99999 for an item that does not decode;
// TryUnscrambleItem reports that instead.
std::string UnscrambleItem(const std::string& text);
bool TryUnscrambleItem(const std::string& text, std::string& out);
std::string ScrambleItem(const std::string& text);  // with fresh random filler on every call

// Update and inform files: "...|token|x|y|remainder"; an optional whole-text scrambling is undone first.
// A field whose closing "|" is missing is empty, and so is everything after it.
struct TokenedText {
    std::string token;      // unscrambled
    bool tokenDecoded = false;  // false: the field did not unscramble, token is a random filler
    std::string remainder;  // everything after the fourth "|"
};
TokenedText SplitTokenedText(const std::string& text);

}  // namespace vel
