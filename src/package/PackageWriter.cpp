// Package writer: image, text blocks, records and trailer, streamed to temporary part files.
#include "package/PackageWriter.h"

#include <algorithm>
#include <limits>
#include <new>

#include "util/Catch.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

const char kNotStarted[] = "package not started (or abandoned after an error)";

}  // namespace

PackageWriter::~PackageWriter() { Discard(); }

void PackageWriter::Discard() {
    file_.Close();
    if (!finished_)
        for (const std::string& temp : tempPaths_) RemoveFile(temp);
    tempPaths_.clear();
    started_ = false;
}

std::string PackageWriter::Begin(const std::string& path, const PackageContent& content) {
    Discard();
    finished_ = false;
    partPaths_.clear();
    partSizes_.clear();
    records_ = 0;
    textEnd_ = 0;
    space_ = SpaceTally();
    if (path.empty()) return "no package file name";
    if (content.stubImage.size() > std::numeric_limits<uint32_t>::max()) return "stub image too large";
    const uint64_t maxText = uint64_t(std::numeric_limits<int32_t>::max());
    if (content.languageBlock.size() > maxText || content.settingsList.size() > maxText ||
        content.webList.size() > maxText)
        return "text block too large";
    if (content.level < 0 || content.level > 9) return "bad compression level " + IntToStr(content.level);
    if (content.recordChunk == 0) return "record chunk size must not be 0";
    VEL_TRY {
        content_ = content;
        basePath_ = PackageBaseName(path);
        partPaths_.push_back(path);
        started_ = true;
        std::string error = StartPart();
        if (error.empty() && !content_.stubImage.empty() && !file_.Write(content_.stubImage))
            error = "cannot write the stub image";
        if (error.empty()) {
            size_ = int64_t(content_.stubImage.size());
            std::string texts = EncodeTextBlock(content_.languageBlock) + EncodeTextBlock(content_.settingsList);
            if (content_.hasWebList) texts += EncodeTextBlock(content_.webList);
            if (!file_.Write(texts)) error = "cannot write the text blocks";
            size_ += int64_t(texts.size());
            textEnd_ = size_;
        }
        if (!error.empty()) Discard();
        return error;
    } VEL_CATCH_ALL {
        Discard();
        return "out of memory";
    }
}

std::string PackageWriter::StartPart() {
    const std::string temp = TempNameBeside(partPaths_.back());
    if (!file_.Create(temp)) return "cannot create " + temp;
    tempPaths_.push_back(temp);
    size_ = 0;
    // The text blocks of the first part count as its records: the first file record may go to part 2.
    partHasRecords_ = partPaths_.size() == 1;
    return std::string();
}

std::string PackageWriter::EndPart(bool morePartsFollow) {
    // The fields that depend on the whole package are filled in by CompletePart.
    PackageTrailer trailer;
    trailer.SetByte(0, 1);
    trailer.SetTextBlockCount(content_.hasWebList ? 3 : 2);
    trailer.SetDataOffset(partPaths_.size() == 1 ? uint32_t(content_.stubImage.size()) : 0);
    trailer.SetMagic(kPackageMagic);
    trailer.SetFlags(content_.trailer.Flags());
    trailer.SetFlag(kFlagMorePartsFollow, morePartsFollow);
    for (size_t b = 66; b <= 69; ++b) trailer.SetByte(b, content_.trailer.Byte(b));
    trailer.SetLength(kTrailerLength);
    const bool written = file_.Write(trailer.Serialize());
    const bool closed = file_.Close();
    if (!written || !closed) return "cannot write " + tempPaths_.back();
    partSizes_.push_back(size_ + kTrailerLength);
    return std::string();
}

std::string PackageWriter::WriteRecord(const std::string& encoded) {
    if (!started_) return kNotStarted;
    if (records_ == std::numeric_limits<uint32_t>::max()) return "too many records";
    std::string error;
    if (content_.maxPartSize != 0 && partHasRecords_ &&
        uint64_t(size_) + encoded.size() + kTrailerLength > content_.maxPartSize) {
        error = EndPart(true);
        if (error.empty()) {
            partPaths_.push_back(PartFileName(basePath_, int(partPaths_.size()) + 1));
            error = StartPart();
        }
    }
    if (error.empty() && !file_.Write(encoded)) error = "cannot write " + tempPaths_.back();
    if (!error.empty()) {
        Discard();
        return error;
    }
    size_ += int64_t(encoded.size());
    partHasRecords_ = true;
    ++records_;
    return std::string();
}

std::string PackageWriter::AddFile(const FileRecord& rec) {
    if (!started_) return kNotStarted;
    std::string encoded;
    const std::string error = EncodeRecord(rec, content_.level, encoded);
    if (!error.empty()) return error;  // a refused record leaves the package usable
    space_.AddFile(rec.data.size());
    return WriteRecord(encoded);
}

std::string PackageWriter::AddFileFrom(const std::string& sourcePath, const FileRecord& rec) {
    if (!started_) return kNotStarted;
    VEL_TRY {
        BinaryFile source;
        if (!source.OpenRead(sourcePath)) return "cannot open " + sourcePath;
        const int64_t size = source.Size();
        if (size < 0) return "cannot read the size of " + sourcePath;
        FileRecord piece = rec;
        int64_t done = 0;
        do {
            const size_t chunk = size_t(std::min<int64_t>(size - done, int64_t(content_.recordChunk)));
            piece.data.resize(chunk);
            if (chunk > 0 && !source.ReadExact(&piece.data[0], chunk)) return "cannot read " + sourcePath;
            std::string encoded;
            std::string error = EncodeRecord(piece, content_.level, encoded);
            if (error.empty()) error = WriteRecord(encoded);
            if (!error.empty()) return error;
            done += int64_t(chunk);
        } while (done < size);
        space_.AddFile(uint64_t(size));
        return std::string();
    } VEL_CATCH_ALL {
        Discard();
        return "out of memory reading " + sourcePath;
    }
}

std::string PackageWriter::AddEncodedRecord(const std::string& encoded) {
    if (encoded.size() < 4) return "encoded record shorter than its length field";
    return WriteRecord(encoded);
}

std::string PackageWriter::CompletePart(size_t index) {
    const std::string& temp = tempPaths_[index];
    const int64_t size = partSizes_[index];
    BinaryFile file;
    if (!file.OpenUpdate(temp)) return "cannot reopen " + temp;
    std::string trailerBytes(kTrailerLength, '\0');
    const int64_t at = size - kTrailerLength;
    if (!file.Seek(at) || !file.ReadExact(&trailerBytes[0], trailerBytes.size())) return "cannot read " + temp;
    PackageTrailer trailer = PackageTrailer::Parse(trailerBytes);
    trailer.SetFileCount(records_);
    trailer.SetSpace(space_.Table());
    trailer.SetChecksum(0);
    bool ok = file.Seek(at) && file.Write(trailer.Serialize());
    if (ok && index == 0 && IsStampedImage(content_.stubImage)) ok = WriteEndStamp(file, uint64_t(size));
    bool summed = false;
    if (ok) trailer.SetChecksum(PackageChecksum(file, kTrailerLength, &summed));
    ok = ok && summed && file.Seek(at) && file.Write(trailer.Serialize());
    if (!file.Close() || !ok) return "cannot complete " + temp;
    return std::string();
}

std::string PackageWriter::Finish() {
    if (!started_) return kNotStarted;
    std::string error = EndPart(false);
    for (size_t i = 0; error.empty() && i < tempPaths_.size(); ++i) error = CompletePart(i);
    for (size_t i = 0; error.empty() && i < tempPaths_.size(); ++i) {
        if (!MoveFileReplacing(tempPaths_[i], partPaths_[i])) error = "cannot create " + partPaths_[i];
    }
    if (!error.empty()) {
        Discard();
        return error;
    }
    finished_ = true;
    tempPaths_.clear();
    started_ = false;
    return std::string();
}

}  // namespace vel
