// Whole-file helpers over BinaryFile: a slice read, and writes that replace a file by renaming a
// finished temporary over it. In a file of their own so that the stub, which needs none of them,
// does not link them. See FileIO.h.
#include <sys/stat.h>

#include <atomic>
#include <cstdio>

#include "util/Catch.h"
#include "util/Clock.h"
#include "util/FileIO.h"
#include "util/StrUtils.h"

namespace vel {

std::string ReadFileBytes(const std::string& path, int64_t offset, size_t count) {
    VEL_TRY {
        BinaryFile f;
        if (offset < 0 || count == 0 || !f.OpenRead(path)) return std::string();
        const int64_t size = f.Size();
        if (size < 0 || offset >= size || !f.Seek(offset)) return std::string();
        const uint64_t avail = static_cast<uint64_t>(size - offset);
        const size_t want = static_cast<size_t>(avail < count ? avail : count);
        if (!MemoryAvailable(want)) return std::string();
        std::string bytes(want, '\0');
        bytes.resize(f.Read(&bytes[0], bytes.size()));
        return bytes;
    } VEL_CATCH_ALL {
        return std::string();
    }
}

std::string TempNameBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(MonotonicMs());
    for (;;) {
        const std::string name = path + ".~" + IntToStr(static_cast<int64_t>((ticks + counter++) % 1000000)) + ".tmp";
        struct stat st {};
        if (stat(name.c_str(), &st) != 0) return name;
    }
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    // The Windows C runtime refuses to rename over an existing file: remove it first.
    if (!FileExists(to) || std::remove(to.c_str()) != 0) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    VEL_TRY {
        const std::string temp = TempNameBeside(path);
        BinaryFile f;
        if (!f.Create(temp)) return false;
        const bool written = f.Write(bytes) && f.Close();
        if (written && MoveFileReplacing(temp, path)) return true;
        f.Close();
        RemoveFile(temp);
        return false;
    } VEL_CATCH_ALL {
        return false;
    }
}

}  // namespace vel
