// Terminal progress bar of velpack.
#include "Progress.h"

#ifdef _WIN32
#include <io.h>
#define VEL_ISATTY(fd) _isatty(fd)
#define VEL_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define VEL_ISATTY(fd) isatty(fd)
#define VEL_FILENO(f) fileno(f)
#endif

namespace vel {

std::string ProgressLine(uint64_t done, uint64_t total, double seconds, int width) {
    if (width < 1) width = 1;
    if (done > total) done = total;
    const double frac = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(frac * width);
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(width - filled), '.') + "]";
    const double mb = 1048576.0;
    char tail[96];
    std::snprintf(tail, sizeof tail, " %3d%%  %8.1f of %.1f MB  %7.1f MB/s", static_cast<int>(frac * 100),
                  done / mb, total / mb, seconds > 0 ? done / mb / seconds : 0.0);
    return line + tail;
}

bool IsTerminal(std::FILE* stream) { return stream && VEL_ISATTY(VEL_FILENO(stream)) != 0; }

void ProgressBar::Update(uint64_t done, uint64_t total) {
    done_ = done;
    total_ = total;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    const double secs = std::chrono::duration<double>(now - start_).count();
    std::fprintf(out_, "\r%s", ProgressLine(done, total, secs, 30).c_str());
    std::fflush(out_);
}

void ProgressBar::Done() {
    if (!drawn_) return;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(out_, "\r%s\n", ProgressLine(done_, total_, secs, 30).c_str());
    std::fflush(out_);
}

}  // namespace vel
