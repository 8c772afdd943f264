// The package reader of a setup file: trailer, location, checksum, the text blocks read once and
// every accessor over them, language lookups through the package, and the agent image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "package/FileInfo.h"
#include "package/Language.h"
#include "package/PackageFormat.h"

using namespace vel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::WriteScratchFile("package.exe", bytes);

    BinaryFile file;
    VEL_FUZZ_CHECK(file.OpenRead(path));
    const PackageLocation where = LocatePackage(file);
    if (where.valid) {
        VEL_FUZZ_CHECK(where.end <= where.fileSize && where.trailerStart <= where.end);
        VEL_FUZZ_CHECK(where.trailerLength >= kMinTrailerLength);
    }
    PackageLocation read;
    const PackageTrailer trailer = ReadPackageTrailer(file, &read);
    VEL_FUZZ_CHECK(read.valid == where.valid);
    if (read.valid) VEL_FUZZ_CHECK(trailer.Length() <= kTrailerLength && trailer.TextBlockCount() != 0);
    bool ok = false;
    const uint32_t sum = PackageChecksum(file, trailer.Length(), &ok);
    if (size > size_t(kChecksumMaxFileSize)) VEL_FUZZ_CHECK(!ok || sum == kChecksumNotComputed);
    (void)IsStampedImage(bytes);
    (void)ReadEndStamp(file);
    file.Close();

    ResetLanguageSelection();
    ForceUserLanguage(int(size % 64));
    const TGFileInfo info(path);
    const PackageTrailer& t = info.Trailer();
    (void)t.Space();
    for (uint64_t cluster : {uint64_t(0), uint64_t(512), uint64_t(4096), uint64_t(1) << 40})
        VEL_FUZZ_CHECK(info.SpaceForCluster(cluster) >= 0);
    std::string all = info.InfoLocation() + info.InfoFileName() + info.InstallSettingsName() +
                      info.InstallSettingsPath("C:\\Program Files\\Product") + info.AgentName() +
                      info.ProductToken(false) + info.ProductToken(true) + info.DownloadLocation() +
                      info.SetupFileName() + info.DownloadToken(false) + info.DownloadToken(true) +
                      info.SetupFileSize() + info.SetupFileSha256();
    (void)info.QuietMode();
    (void)info.DownloadOnly();
    if (!info.TextsRead()) VEL_FUZZ_CHECK(info.LanguageBlock().empty() && info.SettingsList().empty());
    all += GetString(info, "s1", "default") + GetString(info, "Title", "") + GetFontName(info);
    (void)GetCharset(info);
    (void)GetFontSize(info);
    std::string clear;
    VEL_FUZZ_CHECK(TokensMatch(info, info) == TryUnscrambleItem(info.DownloadToken(false), clear));
    // A package with its texts matches itself; one without a settings list carries no token to match.
    VEL_FUZZ_CHECK(SamePackageTexts(info, info) == (info.TextsRead() && !info.SettingsList().empty()));
    VEL_FUZZ_CHECK(all.size() >= info.AgentName().size());
    return 0;
}
