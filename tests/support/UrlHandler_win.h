#pragma once
// Windows-only test helper: makes a recording program the shell's handler for web addresses in
// the test's Wine prefix, so that a test sees which address a program opened instead of a browser
// starting. The registry is put back as it was when the helper goes out of scope.
//
// The handler is written to the current user's classes, which Windows consults first, and to the
// machine's, the only ones that Wine's ShellExecute reads (Wine 8 maps HKEY_CLASSES_ROOT to
// HKLM\Software\Classes alone; found by trying). The machine's need administrator rights, which
// a Wine prefix's user has.
#include <string>
#include <vector>

namespace vel {
namespace testsupport {

class UrlHandler {
public:
    // Registers `recorder` (full path; tools/urlrecord) as the open command of the "http" and
    // "https" schemes; it appends each address to `recordFile`.
    UrlHandler(const std::string& recorder, const std::string& recordFile);
    ~UrlHandler();
    UrlHandler(const UrlHandler&) = delete;
    UrlHandler& operator=(const UrlHandler&) = delete;

    bool Registered() const { return registered_; }
    // Addresses recorded so far, in order; waits up to timeoutMs for at least `atLeast` of them
    // (the shell starts the recorder without waiting for it).
    std::vector<std::string> Opened(size_t atLeast = 0, unsigned long timeoutMs = 0) const;
    void Forget() const;  // empties the record file

private:
    struct Saved {
        void* root = nullptr;  // HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE
        std::string scheme;
        bool existed = false;         // Software\Classes\<scheme> was there before
        bool commandExisted = false;  // and had a default open command, the value below
        std::string command;
    };
    std::string recordFile_;
    std::vector<Saved> saved_;
    bool registered_ = false;
};

// The recording program beside the running test program.
std::string UrlRecorderPath();

}  // namespace testsupport
}  // namespace vel
