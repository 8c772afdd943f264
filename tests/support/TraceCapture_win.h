#pragma once
// Windows-only test helpers: catching the trace lines that programs send to the debug viewer
// window, and running a child program with a time limit.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vel {
namespace testsupport {

// Lets only one viewer window of the tests exist at a time, across test processes: the tests run
// in parallel under one Wine server, and a sender delivers to whichever viewer window it finds.
// TraceCapture holds it; hold one yourself around a run of the real viewer program. Take and
// release it on the same thread.
class ViewerLock {
public:
    explicit ViewerLock(DWORD timeoutMs = 180000);
    ~ViewerLock();
    ViewerLock(const ViewerLock&) = delete;
    ViewerLock& operator=(const ViewerLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// An in-process viewer window on a thread of its own with its own message loop, so that trace
// lines sent by this process or by child programs (SendMessage) are received while the test
// thread waits. Collects the chunks; the joined text is the trace. Keep it only as long as needed.
class TraceCapture {
public:
    TraceCapture();   // when it returns the window receives (check Ready())
    ~TraceCapture();  // closes the window and ends its thread
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    bool Ready() const;
    std::string Text() const;                 // all chunks joined
    std::vector<std::string> Chunks() const;  // as received, one per message
    std::vector<std::string> Lines() const;   // Text() split at CR LF
    bool Contains(const std::string& needle) const;
    // Waits until the text contains needle, pumping the calling thread's messages; false on timeout.
    bool WaitFor(const std::string& needle, DWORD timeoutMs) const;
    void Clear();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct ChildResult {
    bool started = false;   // CreateProcess succeeded
    bool timedOut = false;  // it was still running at the limit and was killed
    DWORD exitCode = 0;
    std::string output;     // its standard output and error, when asked for
};

// Runs a command line (program path quoted by the caller when it holds blanks) without a console
// window and waits for its end while pumping the calling thread's messages; kills it after
// timeoutMs. captureOutput collects its standard output and error. workDir empty = inherited.
ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs, bool captureOutput = false,
                     const std::string& workDir = "");

// Folder of the running test program, without trailing backslash (<build>\tests).
std::string TestExeDir();
// A path in the build tree, from the test program's folder: BuildTreePath("tools/vdebug/vdebug.exe").
std::string BuildTreePath(const std::string& relative);
// The stub that end-to-end tests run: the file named by VEL_TEST_STUB when set (a Windows path;
// the shipped 32-bit stub is run this way), else this tree's src\stub\stub.exe.
std::string StubUnderTest();

}  // namespace testsupport
}  // namespace vel
