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
                              const std::string& infoFileName, size_t engineSize, const std::string& engineFile,
                              ExecutionLevel level, const std::string& stubFile) {
    namespace fs = std::filesystem;
    fs::create_directories(dir.File("in"));
    fs::create_directories(fs::path(output).parent_path());
    const std::string engine = engineFile.empty() ? RandomBytes(engineSize, 3) : ReadWholeFile(engineFile);
    if (!engineFile.empty() && engine.empty()) return "no engine file at " + engineFile;
    const std::string stub = stubFile.empty() ? FakeStampedImage(1024) : ReadWholeFile(stubFile);
    if (stub.empty()) return "no stub image at " + stubFile;
    if (!WriteWholeFile(dir.File("stub.exe"), stub) ||
        !WriteWholeFile(dir.File("lang.ini"), "[English]\ns0=Setup\n") || !WriteWholeFile(dir.File("in/Engine.exe"), engine))
        return "fixture files could not be written in " + dir.Path();
    BuildOptions o;
    o.stubPath = dir.File("stub.exe");
    o.languageFile = dir.File("lang.ini");
    o.inputDir = dir.File("in");
    o.output = output;
    o.launch = "Engine.exe";
    o.productToken = token;
    o.infoFileName = infoFileName;
    o.executionLevel = level;
    BuildReport report;
    return BuildSetup(o, report);
}

}  // namespace testsupport
}  // namespace vel
