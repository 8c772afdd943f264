#pragma once
// Test helper: routes the process-wide debug stream into memory for the lifetime of the object,
// so a test can read the trace lines that the code under test wrote. One capture at a time.
#include <string>
#include <vector>

#include "util/DebugLog.h"

namespace vel {
namespace testsupport {

class DebugCapture {
public:
    DebugCapture();   // starts empty
    ~DebugCapture();  // gives the stream back to its previous receiver
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string Text() const;                 // all chunks joined
    std::vector<std::string> Chunks() const;  // as the stream handed them on
    std::vector<std::string> Lines() const;   // Text() split at CR LF (no trailing empty line)
    bool Contains(const std::string& needle) const;
    void Clear();

private:
    DebugSink previous_;
};

// Splits a trace text at CR LF; a last line without CR LF is kept, a trailing empty one is not.
std::vector<std::string> SplitTraceLines(const std::string& text);

}  // namespace testsupport
}  // namespace vel
