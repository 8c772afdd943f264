#pragma once
// Test helpers over velpack's library: a command run in-process and a small update package.
// Portable.
#include <string>
#include <vector>

#include "support/PackageFixture.h"

namespace vel {
namespace testsupport {

struct CliRun {
    int code;
    std::string out, err;
};

// velpack with these arguments, in-process and not interactive.
CliRun Velpack(const std::vector<std::string>& args);

// A setup built by velpack from a fake stub image, a one-language text file and one engine file:
// dir/in/Engine.exe (random bytes of the given size) packed into output with the product token.
// Returns the error text of the build, empty on success.
std::string BuildSmallPackage(const ScratchFolder& dir, const std::string& output, const std::string& token,
                              const std::string& infoFileName = std::string(), size_t engineSize = 5000);

}  // namespace testsupport
}  // namespace vel
