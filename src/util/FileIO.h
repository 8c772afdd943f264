#pragma once
// Small binary file layer with 64-bit offsets over the C runtime (ANSI paths). Portable: no Windows API.
// Files opened for reading allow other readers and writers (the running program reads its own file).
// No operation throws: failures give false, -1, 0 bytes or an empty text as stated per function.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vel {

class BinaryFile {
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;

    // Each open closes what was open before; false when the file cannot be opened.
    bool OpenRead(const std::string& path);    // existing file, read only, shared
    bool Create(const std::string& path);      // new or emptied file, read and write
    bool OpenUpdate(const std::string& path);  // existing file, read and write, positioned at 0
    bool OpenAppend(const std::string& path);  // created when missing, positioned at its end

    bool IsOpen() const { return file_ != nullptr; }
    int64_t Size();                             // -1 when not open or unknown; keeps the position
    int64_t Position();                         // -1 when not open
    bool Seek(int64_t offset);                  // from the start; false for negative offsets
    size_t Read(void* buffer, size_t count);    // bytes actually read (short at the end of the file)
    bool ReadExact(void* buffer, size_t count); // true only when all count bytes were read
    bool Write(const void* buffer, size_t count);
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
    bool Flush();
    bool Close();                               // false when buffered data could not be written

private:
    bool Open(const std::string& path, const char* mode);
    std::FILE* file_ = nullptr;
    bool lastWasWrite_ = false;  // the C runtime needs a seek between a write and a read
};

bool FileExists(const std::string& path);  // an existing regular file that can be opened for reading

// Up to count bytes from offset; shorter when the file ends earlier; empty when missing,
// unreadable or when the offset is negative or at/after the end.
std::string ReadFileBytes(const std::string& path, int64_t offset, size_t count);

// A fresh temporary name in the same folder as path (so that a rename can replace path).
std::string TempNameBeside(const std::string& path);

// Renames from to to, replacing an existing to. false when it could not be done.
bool MoveFileReplacing(const std::string& from, const std::string& to);

bool RemoveFile(const std::string& path);

// Writes bytes to a temporary file beside path and renames it over path: a reader never sees a
// half-written file. false (and no temporary left behind) on failure.
bool WriteFileAtomic(const std::string& path, const std::string& bytes);

}  // namespace vel
