// Random bytes and owner-only files on POSIX systems.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Keys.h"
#include "util/FileIO.h"

namespace vel {

bool SystemRandom(void* buffer, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = getrandom(p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string WriteNewPrivateFile(const std::string& path, const std::string& content) {
    const std::string temp = TempNameBeside(path);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return "cannot create " + temp + ": " + std::strerror(errno);
    bool ok = fchmod(fd, 0600) == 0;  // whatever the umask
    for (size_t at = 0; ok && at < content.size();) {
        const ssize_t n = write(fd, content.data() + at, content.size() - at);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) at += static_cast<size_t>(n);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    std::string error;
    if (!ok) error = "cannot write " + temp;
    // link() refuses an existing target, unlike rename().
    else if (link(temp.c_str(), path.c_str()) != 0)
        error = errno == EEXIST ? path + " exists; not replaced" : "cannot create " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return error;
}

}  // namespace vel
