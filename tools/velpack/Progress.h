#pragma once
// The build progress bar drawn on a terminal: one line, redrawn in place at most ten times a second.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vel {

// One line of the bar: "[#####.....]  50%   12.0 of 24.0 MB   30.5 MB/s" (width = bar cells).
std::string ProgressLine(uint64_t done, uint64_t total, double seconds, int width);

// True when the stream is a terminal.
bool IsTerminal(std::FILE* stream);

class ProgressBar {
public:
    explicit ProgressBar(std::FILE* out) : out_(out), start_(std::chrono::steady_clock::now()) {}
    void Update(uint64_t done, uint64_t total);
    // Draws the final state and ends the line (only when something was drawn).
    void Done();

private:
    std::FILE* out_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_{};
    uint64_t done_ = 0, total_ = 0;
    bool drawn_ = false;
};

}  // namespace vel
