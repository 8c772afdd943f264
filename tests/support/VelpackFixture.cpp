#include "support/VelpackFixture.h"

#include <filesystem>

#include "Velpack.h"

namespace vel {
namespace testsupport {

CliRun Velpack(const std::vector<std::string>& args) {
    CliRun r;
    r.code = RunVelpack(args, r.out, r.err, false);
    return r;
}

std::string BuildSmallPackage(const ScratchFolder& dir, const std::string& output, const std::string& token,
                              const std::string& infoFileName, size_t engineSize) {
    namespace fs = std::filesystem;
    fs::create_directories(dir.File("in"));
    fs::create_directories(fs::path(output).parent_path());
    if (!WriteWholeFile(dir.File("stub.exe"), FakeStampedImage(1024)) ||
        !WriteWholeFile(dir.File("lang.ini"), "[English]\ns0=Setup\n") ||
        !WriteWholeFile(dir.File("in/Engine.exe"), RandomBytes(engineSize, 3)))
        return "fixture files could not be written in " + dir.Path();
    BuildOptions o;
    o.stubPath = dir.File("stub.exe");
    o.languageFile = dir.File("lang.ini");
    o.inputDir = dir.File("in");
    o.output = output;
    o.launch = "Engine.exe";
    o.productToken = token;
    o.infoFileName = infoFileName;
    BuildReport report;
    return BuildSetup(o, report);
}

}  // namespace testsupport
}  // namespace vel
