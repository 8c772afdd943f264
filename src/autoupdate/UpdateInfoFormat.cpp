#include "autoupdate/UpdateInfoFormat.h"

#include "autoupdate/SettingsValues.h"
#include "autoupdate/ShutDownDecision.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

std::string Value(const std::string& text) {
    const bool quote = !text.empty() && (text.front() <= ' ' || text.back() <= ' ' || text.front() == '"' ||
                                         text.back() == '"' || text.front() == '\'' || text.back() == '\'');
    return quote ? "\"" + text + "\"" : text;
}

struct Writer {
    std::string out;
    void Section(const char* name) { out += std::string(out.empty() ? "" : "\r\n") + "[" + name + "]\r\n"; }
    void Text(const char* key, const std::string& v) { out += std::string(key) + "=" + Value(v) + "\r\n"; }
    void Int(const char* key, int64_t v) { Text(key, IntToStr(v)); }
    void Flag(const char* key, bool v) { Text(key, v ? "1" : "0"); }
};

}  // namespace

bool IsIniValue(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

std::string UpdateInfoText(const UpdateInfo& i) {
    Writer w;
    w.Section("NewSetup");
    w.Text("DownloadURL_UPDATE", i.downloadUrlUpdate);
    w.Text("NameOfUpdateFile", i.nameOfUpdateFile);
    w.Int("SizeOfUpdateFile", i.sizeOfUpdateFile);
    w.Text("SHA256OfUpdateFile", i.sha256OfUpdateFile);
    w.Int("VersionNew", i.versionNew);
    w.Int("Stamp", i.stamp);
    w.Text("ValidVersions", i.validVersions);
    w.Text("ProgramName", i.programName);
    w.Text("RunningProcess", i.runningProcess);
    w.Text("ShutDownMethod", i.shutDownMethod);
    if (i.shutDownWaitSeconds != kShutDownWaitDefaultSeconds) w.Int("ShutDownWaitSeconds", i.shutDownWaitSeconds);
    w.Flag("RequestConfirmationBeforeDownload", i.confirmDownload);
    w.Flag("RequestConfirmationBeforeDownloadForce", i.confirmDownloadForce);
    w.Flag("RequestConfirmationBeforeInstall", i.confirmInstall);
    w.Flag("RequestConfirmationBeforeInstallForce", i.confirmInstallForce);
    w.Flag("BackgroundUpdate", i.backgroundUpdate);
    w.Flag("RestartProcess", i.restartProcess);
    w.Flag("InformFinish", i.informFinish);
    w.Flag("RemoveStartUpShortcut", i.removeStartUpShortcut);
    w.Flag("RemoveCheckForNewUpdateShortcut", i.removeCheckForNewUpdateShortcut);
    w.Section("General");
    w.Int("AutoInform", i.autoInform);
    if (!i.nameOfInformFile.empty()) {
        w.Section("AutoInform");
        w.Text("DownloadURL_INFORM", i.downloadUrlInform);
        w.Text("NameOfInformFile", i.nameOfInformFile);
        w.Int("SizeOfInformFile", i.sizeOfInformFile);
        w.Text("SHA256OfInformFile", i.sha256OfInformFile);
        w.Int("AutoInformW", i.autoInformW);
        w.Int("AutoInformH", i.autoInformH);
    }
    return w.out;
}

UpdateInfo ReadUpdateInfo(const IniFile& ini) {
    auto text = [&ini](const char* section, const char* key) { return ini.Get(section, key, ""); };
    auto integer = [&ini](const char* section, const char* key, int64_t def) {
        return SettingsInt(ini.Get(section, key, IntToStr(def)), def);
    };
    auto flag = [&ini](const char* key) { return SettingsFlag(ini.Get("NewSetup", key, "0")); };
    UpdateInfo i;
    i.downloadUrlUpdate = text("NewSetup", "DownloadURL_UPDATE");
    i.nameOfUpdateFile = text("NewSetup", "NameOfUpdateFile");
    i.sizeOfUpdateFile = integer("NewSetup", "SizeOfUpdateFile", 0);
    i.sha256OfUpdateFile = text("NewSetup", "SHA256OfUpdateFile");
    i.confirmDownload = flag("RequestConfirmationBeforeDownload");
    i.confirmDownloadForce = flag("RequestConfirmationBeforeDownloadForce");
    i.confirmInstall = flag("RequestConfirmationBeforeInstall");
    i.confirmInstallForce = flag("RequestConfirmationBeforeInstallForce");
    i.backgroundUpdate = flag("BackgroundUpdate");
    i.shutDownMethod = text("NewSetup", "ShutDownMethod");
    i.shutDownWaitSeconds = ShutDownWaitSeconds(text("NewSetup", "ShutDownWaitSeconds"));
    i.restartProcess = flag("RestartProcess");
    i.informFinish = flag("InformFinish");
    i.runningProcess = text("NewSetup", "RunningProcess");
    i.programName = text("NewSetup", "ProgramName");
    i.versionNew = integer("NewSetup", "VersionNew", 0);
    i.stamp = integer("NewSetup", "Stamp", 0);
    i.validVersions = text("NewSetup", "ValidVersions");
    i.removeStartUpShortcut = flag("RemoveStartUpShortcut");
    i.removeCheckForNewUpdateShortcut = flag("RemoveCheckForNewUpdateShortcut");
    i.autoInform = integer("General", "AutoInform", 0);
    i.downloadUrlInform = text("AutoInform", "DownloadURL_INFORM");
    i.nameOfInformFile = text("AutoInform", "NameOfInformFile");
    i.sizeOfInformFile = integer("AutoInform", "SizeOfInformFile", 0);
    i.sha256OfInformFile = text("AutoInform", "SHA256OfInformFile");
    i.autoInformW = integer("AutoInform", "AutoInformW", 360);
    i.autoInformH = integer("AutoInform", "AutoInformH", 360);
    return i;
}

}  // namespace vel
