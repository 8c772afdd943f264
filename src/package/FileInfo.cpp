// Package reader: trailer and text blocks of one package file.
#include "package/FileInfo.h"

#include "util/Catch.h"
#include "util/FileIO.h"
#include "util/FileText.h"
#include "util/SUB.h"

namespace vel {

TGFileInfo::TGFileInfo(const std::string& fileName) : fileName_(fileName) {
    VEL_TRY {
        BinaryFile file;
        if (!FileExists(fileName) || !file.OpenRead(fileName)) return;
        PackageLocation where;
        trailer_ = ReadPackageTrailer(file, &where);
        if (!trailer_.HasMagic()) return;
        // Language block and settings list always; the web-download list when there are 3 or more.
        const int wanted = trailer_.TextBlockCount() >= 3 ? 3 : 2;
        RecordWalker walker(file, where, trailer_.DataOffset(), wanted);
        std::string texts[3];
        for (int i = 0; i < wanted; ++i) {
            RawRecord block;
            if (!walker.Next(block)) return;  // a damaged block: all texts stay empty
            texts[i] = std::move(block.bytes);
        }
        languageBlock_ = std::move(texts[0]);
        settingsList_ = std::move(texts[1]);
        webList_ = std::move(texts[2]);
        trailer_.SetDataOffset(uint32_t(walker.Position()));
        textsRead_ = true;
    } VEL_CATCH_ALL {
        languageBlock_.clear();
        settingsList_.clear();
        webList_.clear();
        textsRead_ = false;
    }
}

std::string TGFileInfo::InfoLocation() const { return SUB::Item(settingsList_, 0); }

std::string TGFileInfo::InfoFileName() const {
    // Item 1 may carry a folder or a URL in front of the name.
    return FileNamePart(SUB::Item(settingsList_, 1));
}

std::string TGFileInfo::InstallSettingsName() const {
    const std::string name = InfoFileName();
    if (name.empty()) return std::string();
    return BaseName(name, true, NoLeadBytes) + ".original";
}

std::string TGFileInfo::InstallSettingsPath(const std::string& programFolder) const {
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder + InstallSettingsName();
}

std::string TGFileInfo::AgentName() const { return SUB::Item(settingsList_, 2); }

std::string TGFileInfo::ProductToken(bool unscramble) const {
    const std::string item = SUB::Item(settingsList_, 3);
    return unscramble ? UnscrambleItem(item) : item;
}

bool TGFileInfo::QuietMode() const { return SUB::Item(settingsList_, 4) == "1"; }
std::string TGFileInfo::UpdateKey() const { return SUB::Item(settingsList_, 5); }

std::string TGFileInfo::DownloadLocation() const { return SUB::Item(webList_, 0); }
std::string TGFileInfo::SetupFileName() const { return SUB::Item(webList_, 1); }
bool TGFileInfo::DownloadOnly() const { return SUB::Item(webList_, 2) == "1"; }

std::string TGFileInfo::DownloadToken(bool unscramble) const {
    const std::string item = SUB::Item(webList_, 3);
    return unscramble ? UnscrambleItem(item) : item;
}

std::string TGFileInfo::SetupFileSize() const { return SUB::Item(webList_, 4); }
std::string TGFileInfo::SetupFileSha256() const { return SUB::Item(webList_, 5); }

bool TokensMatch(const TGFileInfo& a, const TGFileInfo& b) {
    std::string ta, tb;
    return TryUnscrambleItem(a.DownloadToken(false), ta) && TryUnscrambleItem(b.DownloadToken(false), tb) &&
           ta == tb;
}

bool SamePackageTexts(const TGFileInfo& a, const TGFileInfo& b) {
    return a.TextsRead() && b.TextsRead() && !a.SettingsList().empty() && a.SettingsList() == b.SettingsList() &&
           a.LanguageBlock() == b.LanguageBlock();
}

}  // namespace vel
