#pragma once
// Windows-only test helper: runs a program with a given command line and one extra environment
// variable, and waits for it.
#include <string>

namespace vel {
namespace testsupport {

// Starts `program` (full path; the command line's first token may name it any way) with
// `envName`=`envValue` added to the inherited environment, and waits up to timeoutMs.
// Returns the exit code, or -1 when it could not be started or did not end in time.
long RunProgram(const std::string& program, const std::string& commandLine, const std::string& envName,
                const std::string& envValue, unsigned long timeoutMs);

// Full path of the running test program.
std::string ThisProgram();

}  // namespace testsupport
}  // namespace vel
