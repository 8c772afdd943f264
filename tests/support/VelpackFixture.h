#pragma once
// Test helpers over velpack's library: a command run in-process and a small update package.
// Portable.
#include <string>
#include <vector>

#include "package/ImageManifest.h"
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
// dir/in/Engine.exe (random bytes of the given size, or a copy of engineFile when one is named)
// packed into output with the product token, its manifest asking for the given level; a real
// stub image is taken from stubFile when one is named. Returns the error text of the build, empty
// on success.
std::string BuildSmallPackage(const ScratchFolder& dir, const std::string& output, const std::string& token,
                              const std::string& infoFileName = std::string(), size_t engineSize = 5000,
                              const std::string& engineFile = std::string(),
                              ExecutionLevel level = ExecutionLevel::RequireAdministrator,
                              const std::string& stubFile = std::string());

}  // namespace testsupport
}  // namespace vel
