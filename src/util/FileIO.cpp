#include "util/FileIO.h"

#include <sys/stat.h>

#include <utility>

#ifdef _WIN32
#include <share.h>  // C runtime sharing modes, not a Windows API header
#endif

namespace vel {

namespace {

std::FILE* OpenShared(const std::string& path, const char* mode) {
#ifdef _WIN32
    return _fsopen(path.c_str(), mode, _SH_DENYNO);
#else
    return std::fopen(path.c_str(), mode);
#endif
}

int Seek64(std::FILE* f, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(f, offset, origin);
#else
    return fseeko(f, static_cast<off_t>(offset), origin);
#endif
}

int64_t Tell64(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<int64_t>(ftello(f));
#endif
}

}  // namespace

BinaryFile::~BinaryFile() { Close(); }

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), lastWasWrite_(other.lastWasWrite_) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        Close();
        file_ = std::exchange(other.file_, nullptr);
        lastWasWrite_ = other.lastWasWrite_;
    }
    return *this;
}

bool BinaryFile::Open(const std::string& path, const char* mode) {
    Close();
    if (path.empty()) return false;
    file_ = OpenShared(path, mode);
    lastWasWrite_ = false;
    return file_ != nullptr;
}

bool BinaryFile::OpenRead(const std::string& path) { return Open(path, "rb"); }
bool BinaryFile::Create(const std::string& path) { return Open(path, "w+b"); }
bool BinaryFile::OpenUpdate(const std::string& path) { return Open(path, "r+b"); }

bool BinaryFile::OpenAppend(const std::string& path) {
    // "r+b" first so that the file stays seekable; create it when it is missing.
    if (!Open(path, "r+b") && !Open(path, "w+b")) return false;
    if (Seek64(file_, 0, SEEK_END) != 0) {
        Close();
        return false;
    }
    return true;
}

int64_t BinaryFile::Size() {
    if (!file_) return -1;
    const int64_t here = Tell64(file_);
    if (here < 0 || Seek64(file_, 0, SEEK_END) != 0) return -1;
    const int64_t size = Tell64(file_);
    if (Seek64(file_, here, SEEK_SET) != 0) return -1;
    lastWasWrite_ = false;
    return size;
}

int64_t BinaryFile::Position() { return file_ ? Tell64(file_) : -1; }

bool BinaryFile::Seek(int64_t offset) {
    if (!file_ || offset < 0) return false;
    lastWasWrite_ = false;
    return Seek64(file_, offset, SEEK_SET) == 0;
}

size_t BinaryFile::Read(void* buffer, size_t count) {
    if (!file_ || count == 0) return 0;
    if (lastWasWrite_) {
        if (Seek64(file_, 0, SEEK_CUR) != 0) return 0;
        lastWasWrite_ = false;
    }
    return std::fread(buffer, 1, count, file_);
}

bool BinaryFile::ReadExact(void* buffer, size_t count) { return Read(buffer, count) == count; }

bool BinaryFile::Write(const void* buffer, size_t count) {
    if (!file_) return false;
    if (count == 0) return true;
    if (!lastWasWrite_) {
        // Switching from reading to writing also needs a positioning call.
        if (Seek64(file_, 0, SEEK_CUR) != 0) return false;
        lastWasWrite_ = true;
    }
    return std::fwrite(buffer, 1, count, file_) == count;
}

bool BinaryFile::Flush() { return file_ && std::fflush(file_) == 0; }

bool BinaryFile::Close() {
    if (!file_) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    lastWasWrite_ = false;
    return ok;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & S_IFMT) == S_IFREG;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace vel
