// velpack publish: the update-info file of a release, from the update package itself; and the
// view of update-info and installation settings files with the agent's decision.
#include <filesystem>

#include "Keys.h"
#include "Velpack.h"
#include "autoupdate/InfoSignature.h"
#include "autoupdate/SettingsValues.h"
#include "autoupdate/UpdateDecision.h"
#include "util/Clock.h"
#include "util/FileIO.h"
#include "util/FileText.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"

namespace vel {

namespace fs = std::filesystem;

namespace {

// Size and SHA-256 of a file; false when it cannot be read.
bool HashFile(const std::string& path, int64_t& size, std::string& sha) {
    BinaryFile f;
    if (!f.OpenRead(path)) return false;
    size = f.Size();
    sha = Sha256FileHex(path);
    return size >= 0 && !sha.empty();
}

std::string FolderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A stamp that changes with every publish: the time in seconds, and above the stamp of an
// update-info file already at the output (two publishes within one second, or a clock set back).
int64_t NewStamp(const std::string& output) {
    int64_t stamp = static_cast<int64_t>(UnixTimeMs() / 1000 % 2147483647);
    IniFile previous;
    std::string error;
    if (FileExists(output) && previous.Load(output, error)) {
        const int64_t old = ReadUpdateInfo(previous).stamp;
        if (old >= stamp && old < INT32_MAX) stamp = old + 1;
    }
    return stamp;
}

// The decision's values from an update-info file and a given installed state, for a timed check
// whose re-ask time has not come.
class PublisherSource : public UpdateDecisionSource {
public:
    PublisherSource(const UpdateInfo& info, const InstalledState& installed, const std::string& infoFolder)
        : info_(info), installed_(installed), infoFolder_(infoFolder) {}
    int64_t VersionOriginal() override { return installed_.version; }
    int64_t OriginalStamp() override { return installed_.stamp; }
    int64_t ReAskSecondsLast() override { return 0; }
    int64_t ReAskSecondsInterval() override { return 0; }
    int64_t InfoStamp() override { return info_.stamp; }
    int64_t VersionNew() override { return info_.versionNew; }
    std::string ValidVersions() override { return info_.validVersions; }
    std::string DownloadURL_UPDATE() override { return info_.downloadUrlUpdate; }
    std::string NameOfUpdateFile() override { return info_.nameOfUpdateFile; }
    int64_t SizeOfUpdateFile() override { return info_.sizeOfUpdateFile; }
    int64_t AutoInform() override { return info_.autoInform; }
    std::string NameOfInformFile() override { return info_.nameOfInformFile; }
    int64_t SizeOfInformFile() override { return info_.sizeOfInformFile; }
    int64_t NowSeconds() override { return AgentClockNow(); }
    int64_t FolderFileSize(const std::string& path) override {
        std::string where = path;
        if (!FileExists(where)) where = (fs::path(infoFolder_) / FileNamePart(path)).string();
        BinaryFile f;
        const int64_t size = f.OpenRead(where) ? f.Size() : -1;
        checked_ = size >= 0 ? where : std::string();
        return size;
    }
    bool IsConnected() override { return false; }
    int64_t HttpFileSize(const std::string&) override { return -1; }
    void Trace(const std::string&) override {}
    void RunLog(const std::string& line) override { log_ += "  " + line + "\n"; }

    const std::string& Log() const { return log_; }
    const std::string& Checked() const { return checked_; }

private:
    UpdateInfo info_;
    InstalledState installed_;
    std::string infoFolder_;
    std::string log_, checked_;
};

std::string Flag(bool b) { return b ? "1" : "0"; }

std::string UpdateInfoDescription(const UpdateInfo& i) {
    std::string t = "[NewSetup]\n";
    auto line = [&t](const char* key, const std::string& v) { t += std::string("  ") + key + " = " + v + "\n"; };
    line("DownloadURL_UPDATE", i.downloadUrlUpdate);
    line("NameOfUpdateFile", i.nameOfUpdateFile);
    line("SizeOfUpdateFile", IntToStr(i.sizeOfUpdateFile));
    line("SHA256OfUpdateFile", i.sha256OfUpdateFile);
    line("VersionNew", IntToStr(i.versionNew));
    line("Stamp", IntToStr(i.stamp));
    line("ValidVersions", i.validVersions.empty() ? "(all)" : i.validVersions);
    line("ProgramName", i.programName);
    line("RunningProcess", i.runningProcess);
    line("ShutDownMethod", i.shutDownMethod);
    line("RequestConfirmationBeforeDownload", Flag(i.confirmDownload));
    line("RequestConfirmationBeforeDownloadForce", Flag(i.confirmDownloadForce));
    line("RequestConfirmationBeforeInstall", Flag(i.confirmInstall));
    line("RequestConfirmationBeforeInstallForce", Flag(i.confirmInstallForce));
    line("BackgroundUpdate", Flag(i.backgroundUpdate));
    line("RestartProcess", Flag(i.restartProcess));
    line("InformFinish", Flag(i.informFinish));
    line("RemoveStartUpShortcut", Flag(i.removeStartUpShortcut));
    line("RemoveCheckForNewUpdateShortcut", Flag(i.removeCheckForNewUpdateShortcut));
    t += "[General]\n";
    line("AutoInform", IntToStr(i.autoInform) + (i.autoInform == 1 ? " (announce only)" : ""));
    t += "[AutoInform]\n";
    line("DownloadURL_INFORM", i.downloadUrlInform);
    line("NameOfInformFile", i.nameOfInformFile);
    line("SizeOfInformFile", IntToStr(i.sizeOfInformFile));
    line("SHA256OfInformFile", i.sha256OfInformFile);
    line("AutoInformW", IntToStr(i.autoInformW));
    line("AutoInformH", IntToStr(i.autoInformH));
    return t;
}

std::string InstallSettingsDescription(const IniFile& ini) {
    std::string t = "[OriginalSetup]\n";
    for (const char* key : {"VersionOriginal", "Stamp", "ProbeSecondsInterval", "ProbeSecondsLast",
                            "ReAskSecondsInterval", "ReAskSecondsLast"}) {
        const int64_t v = SettingsInt(ini.Get("OriginalSetup", key, "0"), 0);
        t += std::string("  ") + key + " = " + IntToStr(v);
        if (std::string(key).find("SecondsLast") != std::string::npos) t += " (" + EchoText(v) + ")";
        t += "\n";
    }
    t += "  ProgramName = " + ini.Get("OriginalSetup", "ProgramName") + "\n";
    for (const char* section : {"Directories", "UnInstall"}) {
        t += std::string("[") + section + "]\n";
        for (const auto& e : ini.Entries(section)) t += "  " + e.first + " = " + e.second + "\n";
    }
    return t;
}

}  // namespace

std::string PublishUpdate(const PublishOptions& o, PublishReport& report) {
    try {
        if (o.package.empty()) return "no update package given (--package)";
        if (o.output.empty()) return "no update-info file given (--output)";
        if (o.productToken.empty()) return "no product token given (--product-token)";
        if (o.info.versionNew <= 0) return "no version given (--version)";
        PackageDescription d;
        std::string error = DescribePackage(o.package, d);
        if (!error.empty()) return o.package + ": " + error;
        if (!d.checksumsPass || !d.damage.empty())
            return o.package + ": the package is damaged" + (d.damage.empty() ? std::string() : ": " + d.damage);
        if (d.parts.size() > 1) return o.package + ": the package continues in part files; an update must be one file";
        if (!d.productTokenOk || d.productToken != o.productToken)
            return o.package + ": its product token \"" + d.productToken + "\" is not \"" + o.productToken +
                   "\"; the agent would reject it with \"Bad Secret Token!\"";

        // The key first: a publish that cannot sign writes nothing.
        Ed25519Seed seed{};
        if (!o.signKey.empty()) {
            BinaryFile keyFile;
            if (!keyFile.OpenRead(o.signKey)) return "cannot read the signing key " + o.signKey;
            if (!ParsePrivateKeyPem(ReadFileBytes(o.signKey, 0, 4096), seed))
                return o.signKey + " is not a private key file (PEM PKCS#8 Ed25519, as \"velpack keygen\" writes)";
        }
        if (o.expiresDays < 0 || o.expiresDays > 100000) return "the expiry must be 0..100000 days";

        UpdateInfo info = o.info;
        info.nameOfUpdateFile = fs::path(o.package).filename().string();
        if (!HashFile(o.package, info.sizeOfUpdateFile, info.sha256OfUpdateFile)) return "cannot read " + o.package;
        if (info.sizeOfUpdateFile > INT32_MAX)
            return o.package + ": larger than 2 GiB, which the agent's size check cannot take";
        if (!o.hasStamp) info.stamp = NewStamp(o.output);

        const std::string folder = FolderOf(o.output);
        std::vector<std::string> written;
        if (o.inform) {
            const std::string name =
                o.informFile.empty() ? fs::path(o.package).stem().string() + ".inform" : o.informFile;
            if (FileNamePart(name) != name || name.empty()) return "the inform file's name must be a plain file name";
            std::string content;
            error = MakeInformText(o.productToken, "", "", o.informText, false, content);
            if (!error.empty()) return error;
            const std::string path = (fs::path(folder) / name).string();
            if (!WriteFileAtomic(path, content)) return "cannot write " + path;
            written.push_back(path);
            info.autoInform = 1;
            info.nameOfInformFile = name;
            info.sizeOfInformFile = static_cast<int64_t>(content.size());
            info.sha256OfInformFile = Sha256Hex(content);
        }
        std::string text = UpdateInfoText(info);
        if (!o.signKey.empty()) {
            // With a key, the agent trusts the update and inform files only through these hashes.
            if (!IsSha256Hex(info.sha256OfUpdateFile) ||
                (!info.nameOfInformFile.empty() && !IsSha256Hex(info.sha256OfInformFile))) {
                for (const std::string& f : written) RemoveFile(f);
                return "the update-info file would name no SHA-256 of the update or inform file; not signed";
            }
            const int64_t now = o.now ? o.now : static_cast<int64_t>(UnixTimeMs() / 1000);
            text = SignUpdateInfo(text, seed, o.expiresDays ? now + o.expiresDays * 86400 : 0);
            seed.fill(0);
        }
        if (!WriteFileAtomic(o.output, text)) {
            for (const std::string& f : written) RemoveFile(f);
            return "cannot write " + o.output;
        }
        written.push_back(o.output);
        report.files = written;
        report.info = info;
        return std::string();
    } catch (const std::exception&) {
        return "out of memory";
    }
}

std::string DescribeInfoSignature(const std::string& path, const std::string* keyHex, int64_t now, bool& holds) {
    holds = false;
    const std::string bytes = ReadFileBytes(path, 0, 1 << 20);
    InfoSignatureCheck c = ReadUpdateInfoSignature(bytes);
    std::string t;
    if (c.status == InfoSignatureStatus::Unsigned) t = "signature: unsigned\n";
    else if (c.status == InfoSignatureStatus::Malformed) t = "signature: malformed signature line\n";
    else t = "signature: signed by keyid " + c.keyId + ", expires " + ExpiryText(c.expires) + "\n";
    if (keyHex) {
        Ed25519Public key;
        ParseUpdateKeyHex(*keyHex, key);
        c = CheckUpdateInfoSignature(bytes, key, now);
        holds = c.status == InfoSignatureStatus::Valid;
        t += "signature for key " + UpdateKeyId(key) + ": " + InfoSignatureStatusText(c.status) + "\n";
    }
    return t;
}

bool DescribeSettingsFile(const std::string& path, const InstalledState* installed, std::string& text,
                          int& reasonCode) {
    reasonCode = -1;
    IniFile ini;
    std::string error;
    if (!ini.Load(path, error)) return false;
    if (ini.HasSection("NewSetup")) {
        const UpdateInfo info = ReadUpdateInfo(ini);
        text = "update-info file " + path + "\n" + UpdateInfoDescription(info);
        if (installed) {
            PublisherSource source(info, *installed, FolderOf(path));
            std::string reason;
            DecideUpdate(source, UpdateDecisionMode(), true, reasonCode, reason);
            text += "decision for installed version " + IntToStr(installed->version) + ", stamp " +
                    IntToStr(installed->stamp) + " (timed check, re-ask not due): GetOkToPerformAU = " +
                    IntToStr(reasonCode) + " - " + reason + "\n";
            if (!source.Checked().empty()) text += "  size checked against " + source.Checked() + "\n";
            text += source.Log();
        }
        return true;
    }
    if (ini.HasSection("OriginalSetup")) {
        text = "installation settings file " + path + "\n" + InstallSettingsDescription(ini);
        return true;
    }
    return false;
}

}  // namespace vel
