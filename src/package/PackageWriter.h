#pragma once
// Writes packages in the layout that the reader of PackageFormat.h reads back. Records go to disk
// as they are added (only one record is held in memory), optionally spread over part files of a
// bounded size. Output is written to temporary files beside the targets and renamed into place by
// Finish, so no half-written package is ever left. Portable: no Windows API. Nothing throws; every
// operation returns an error text that is empty on success.
//
//   PackageContent content;                 // image, texts, trailer flags
//   PackageWriter w;
//   std::string err = w.Begin("setup.exe", content);
//   err = w.AddFile(record);                // or AddFileFrom(path, record) for large files
//   err = w.Finish();                       // trailers, checksums, end stamp, rename
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageFormat.h"
#include "util/FileIO.h"

namespace vel {

struct PackageContent {
    std::string stubImage;      // the executable image to append to; empty for a bare package file.
                                // A stamped image (see IsStampedImage) gets the end stamp.
    std::string languageBlock;  // text block 1
    std::string settingsList;   // text block 2
    bool hasWebList = false;    // write text block 3
    std::string webList;
    // Flags (byte 65) and bytes 66..69 are taken from here; the writer fills in every other field
    // and sets the more-parts bit itself.
    PackageTrailer trailer;
    int level = 9;                          // zlib level for the records, 0 = store
    uint64_t maxPartSize = 0;               // split into part files of at most this size; 0 = one file
                                            // (a record larger than that gets a part of its own)
    size_t recordChunk = size_t(4) << 20;   // AddFileFrom: bytes of file data per record
};

class PackageWriter {
public:
    PackageWriter() = default;
    ~PackageWriter();  // an unfinished package is removed
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Starts the package at path (its first part). Further parts are named
    // PartFileName(PackageBaseName(path), 2, 3, ...): "setup.exe.002", or "setup.002" for "setup.001".
    std::string Begin(const std::string& path, const PackageContent& content);
    // One file record; its data counts once in the space table.
    std::string AddFile(const FileRecord& rec);
    // A file read from disk in records of content.recordChunk bytes under rec's name (the extraction
    // appends them); rec.data is ignored. The whole file counts once in the space table.
    std::string AddFileFrom(const std::string& sourcePath, const FileRecord& rec);
    // A record already encoded (length field and bytes, as EncodeRecord gives), written as it is;
    // it counts as a file record but not in the space table.
    std::string AddEncodedRecord(const std::string& encoded);
    // Counts a file of this size in the space table (for files added as encoded records).
    void CountFileSize(uint64_t size) { space_.AddFile(size); }
    // Completes every part: trailer with the package's record count and space table, checksum, end
    // stamp; then renames the parts into place.
    std::string Finish();

    const std::vector<std::string>& PartPaths() const { return partPaths_; }
    uint32_t RecordCount() const { return records_; }
    int64_t TextEnd() const { return textEnd_; }  // offset just past the text blocks of the first part

private:
    std::string StartPart();
    std::string EndPart(bool morePartsFollow);
    std::string WriteRecord(const std::string& encoded);
    std::string CompletePart(size_t index);
    void Discard();

    PackageContent content_;
    std::string basePath_;
    std::vector<std::string> partPaths_;  // final names
    std::vector<std::string> tempPaths_;  // where they are written
    std::vector<int64_t> partSizes_;
    BinaryFile file_;
    int64_t size_ = 0;          // bytes written to the current part
    bool partHasRecords_ = false;
    uint32_t records_ = 0;
    int64_t textEnd_ = 0;
    SpaceTally space_;
    bool started_ = false;
    bool finished_ = false;
};

}  // namespace vel
