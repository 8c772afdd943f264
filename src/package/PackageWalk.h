#pragma once
// The one walk over every file record of a package and of the numbered part files that continue
// it: each part is opened once, its trailer and checksum are read, its records are read in chunks
// and decoded by the streaming decoder. What is done with parts and records (writing files,
// listing them, asking for the next disk) belongs to a visitor, so the stub's extraction and
// velpack's info and extract read packages through the same code. Portable: no Windows API.
// Nothing here throws; how the walk ended comes back in its result.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/PackageFormat.h"

namespace vel {

// One part file as the walk found it; valid during the visitor calls that receive it.
struct PackagePart {
    int number = 0;                 // 1 for the first part
    std::string path;
    BinaryFile* file = nullptr;     // open for reading
    PackageLocation where;
    PackageTrailer trailer;         // as ReadPackageTrailer gives it
    uint32_t checksumComputed = 0;  // PackageChecksum over the file
    bool checksumPasses = false;    // ChecksumPasses(computed, the trailer's field)
    bool HasPackage() const { return where.valid && trailer.HasMagic(); }
};

enum class WalkEnd {
    Complete,    // every record of every part was read and decoded
    Stopped,     // the visitor stopped at a part (OnPart returned false)
    Cancelled,   // the visitor gave up on the next part (BeforePart returned false)
    Unreadable,  // a part file could not be opened or read
    NoPackage,   // a part file holds no package
    Damaged,     // a record could not be read or decoded, or the visitor refused one
};

struct WalkResult {
    WalkEnd end = WalkEnd::Complete;
    int part = 0;           // number of the part the walk ended in
    std::string partPath;   // and its path
    // Why, naming the part file, for Unreadable, NoPackage and Damaged (the visitor's own text
    // when it refused a record).
    std::string error;
};

// The hooks of the walk. Every one has a default, so a visitor overrides only what it needs.
class PackageVisitor {
public:
    virtual ~PackageVisitor() = default;
    // Before part number 2, 3, ... is opened at path. False ends the walk as cancelled.
    virtual bool BeforePart(int number, const std::string& path);
    // A part is open and its trailer and checksum are read, also when it holds no package (the
    // walk then ends as NoPackage once this returns). False ends the walk as stopped.
    virtual bool OnPart(const PackagePart& part);
    // A file record's header, parsed (header, name and the rest are empty when the record has
    // none). True when its data is wanted through OnData.
    virtual bool OnRecord(const FileRecord& header, const RawRecord& raw);
    // The wanted data, in order, in pieces of at most the decoder's step.
    virtual void OnData(const char* data, size_t size);
    // The record has been decoded to its end. A text ends the walk as damaged with that text.
    virtual std::string AfterRecord(const RawRecord& raw);
    // Every record of the part has been read; textEnd is the offset just past the text blocks of
    // the first part (0 on the others).
    virtual void AfterPart(const PackagePart& part, int64_t textEnd);
    // Between reads and decode steps, so that a window stays responsive.
    virtual void Pump();
};

// Walks the package that starts in firstPart ("name.001" stands for the base "name", whose part n
// is "name.00n") part by part while each says more parts follow.
WalkResult WalkPackage(const std::string& firstPart, PackageVisitor& visitor);

}  // namespace vel
