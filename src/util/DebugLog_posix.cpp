// Debug stream and run log on hosts other than Windows (the native test build): no viewer
// window and no window messages exist there; files, thread ids and the own path do.
#ifndef _WIN32

#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

#include "util/Catch.h"
#include "util/DebugLog.h"
#include "util/DebugLogPlatform.h"
#include "util/FileIO.h"

namespace vel {

bool SendToDebugViewer(const std::string&) { return false; }

namespace debuglog {

namespace {
std::recursive_mutex& StreamMutex() {
    static std::recursive_mutex* m = new std::recursive_mutex();  // never destroyed: used up to exit
    return *m;
}
}  // namespace

void LockStream() {
    VEL_TRY {
        StreamMutex().lock();
    } VEL_CATCH_ALL {
    }
}

void UnlockStream() {
    VEL_TRY {
        StreamMutex().unlock();
    } VEL_CATCH_ALL {
    }
}

bool AppendText(const std::string& path, const std::string& text) {
    BinaryFile file;
    if (!file.OpenAppend(path)) return false;
    const bool written = text.empty() || file.Write(text);
    return file.Close() && written;
}

std::string ExecutablePath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

void StampSeparators(char& dateSep, char& timeSep) {
    dateSep = '/';
    timeSep = ':';
}

std::uint32_t CurrentThreadNumber() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }

void PostToWindow(std::uintptr_t, unsigned, std::intptr_t, std::intptr_t) {}

}  // namespace debuglog
}  // namespace vel

#endif  // !_WIN32
