// Test helper: in-memory receiver of the debug stream. See DebugCapture.h.
#include "support/DebugCapture.h"

#include <mutex>

namespace vel {
namespace testsupport {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_chunks;

void Collect(const std::string& chunk) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_chunks.push_back(chunk);
}

}  // namespace

DebugCapture::DebugCapture() {
    Clear();
    previous_ = SetDebugSink(&Collect);
}

DebugCapture::~DebugCapture() { SetDebugSink(previous_); }

std::vector<std::string> DebugCapture::Chunks() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_chunks;
}

std::string DebugCapture::Text() const {
    std::string text;
    for (const std::string& c : Chunks()) text += c;
    return text;
}

std::vector<std::string> DebugCapture::Lines() const { return SplitTraceLines(Text()); }

bool DebugCapture::Contains(const std::string& needle) const { return Text().find(needle) != std::string::npos; }

void DebugCapture::Clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_chunks.clear();
}

std::vector<std::string> SplitTraceLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace testsupport
}  // namespace vel
