#pragma once
// TGFileInfo: the reader of one package file (the running program's own file, a part file or a
// downloaded setup file). It reads the trailer and the text blocks once, at construction, and holds
// no file afterwards. Portable: no Windows API. Nothing here throws: a missing, short or damaged
// file leaves the texts empty (and the trailer as far as it could be read), so list accessors give
// empty texts or false and language lookups their defaults.
#include <cstdint>
#include <string>

#include "package/PackageFormat.h"

namespace vel {

class TGFileInfo {
public:
    explicit TGFileInfo(const std::string& fileName);  // never fails

    const std::string& FileName() const { return fileName_; }
    // The trailer as read; its data offset has been advanced past the text blocks read.
    const PackageTrailer& Trailer() const { return trailer_; }
    // Whether the language block and settings list (and the web list when present) were read.
    bool TextsRead() const { return textsRead_; }

    const std::string& LanguageBlock() const { return languageBlock_; }
    const std::string& SettingsList() const { return settingsList_; }
    const std::string& WebDownloadList() const { return webList_; }

    // Trailer flags and bytes.
    bool AnnounceExtraction() const { return trailer_.AnnounceExtraction(); }
    bool SpanCopyWanted() const { return trailer_.SpanCopyWanted(); }
    bool ShowActivityBar() const { return trailer_.ShowActivityBar(); }
    bool AgentDebugLog() const { return trailer_.AgentDebugLog(); }
    bool IsWebSetup() const { return trailer_.IsWebSetup(); }
    bool AskBeforeDownload() const { return trailer_.AskBeforeDownload(); }
    bool WriteAgentImage() const { return trailer_.WriteAgentImage(); }
    bool IsUpdateAgent() const { return trailer_.IsUpdateAgent(); }

    // Settings list.
    std::string InfoLocation() const;         // item 0
    std::string InfoFileName() const;         // file-name part of item 1
    std::string InstallSettingsName() const;  // that name without any extension, + ".original"
    // programFolder (the folder of the program's own file) with a trailing backslash, followed by
    // InstallSettingsName.
    std::string InstallSettingsPath(const std::string& programFolder) const;
    std::string AgentName() const;                   // item 2
    std::string ProductToken(bool unscramble) const; // item 3
    bool QuietMode() const;                          // item 4 is "1"
    // Item 5 (optional): the public key that signs this product's update-info files, as written
    // (64 hex digits); empty when the package carries none (packages made before it existed).
    std::string UpdateKey() const;

    // Web-download list.
    std::string DownloadLocation() const;             // item 0
    std::string SetupFileName() const;                // item 1
    bool DownloadOnly() const;                        // item 2 is "1"
    std::string DownloadToken(bool unscramble) const; // item 3
    std::string SetupFileSize() const;                // item 4, as text
    // Item 5 (optional): the SHA-256 of the setup file as 64 hex digits, as written; empty when
    // the list has no such item. A download is checked against it when it is not empty.
    std::string SetupFileSha256() const;

    // Space needed on a drive with the given cluster size (0 = unknown: the unrounded size).
    double SpaceForCluster(uint64_t clusterSize) const { return SpaceForClusterSize(trailer_, clusterSize); }

private:
    std::string fileName_;
    PackageTrailer trailer_;
    bool textsRead_ = false;
    std::string languageBlock_;
    std::string settingsList_;
    std::string webList_;
};

// True when both packages carry download tokens that unscramble and are byte for byte equal.
// A token that does not unscramble never matches.
bool TokensMatch(const TGFileInfo& a, const TGFileInfo& b);
// True when both files carry a package (magic and texts read) with the same language block and the
// same settings list, byte for byte: the product token among them. A span setup and its part files
// are written with the same texts.
bool SamePackageTexts(const TGFileInfo& a, const TGFileInfo& b);

}  // namespace vel
