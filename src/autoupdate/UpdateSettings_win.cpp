#include "autoupdate/UpdateSettings.h"

#include <windows.h>

#include "package/FileInfo.h"
#include "stub/StubState.h"
#include "util/FileIO.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {

namespace {

// Shortcut files that the installation recorded, as read before the engine ran.
struct ShortcutLinks {
    std::string startUp;      // UnInstall/StartUpLink of the installation settings file
    std::string checkUpdate;  // UnInstall/CheckforNewUpdateLink
};
ShortcutLinks g_links;

bool UpdateInfoFlag(const std::string& key) {
    const std::string info = UpdateInfoFile();
    return !info.empty() && ReadIniString(info, "NewSetup", key, "0") == "1";
}

void RemoveShortcut(const std::string& flagKey, const std::string& link) {
    if (link.empty() || !UpdateInfoFlag(flagKey) || !FileExists(link)) return;
    if (DeleteFileA(link.c_str())) DebugLine("Removed shortcut " + link);
}

}  // namespace

std::string InstallSettingsFile() {
    const TGFileInfo& own = OwnPackage();
    return own.InfoFileName().empty() ? std::string() : own.InstallSettingsPath(ExeDir(true));
}

std::string UpdateInfoFile() {
    const std::string name = OwnPackage().InfoFileName();
    return name.empty() ? std::string() : ExeDir(true) + name;
}

void NoteShortcutsBeforeEngine() {
    g_links = ShortcutLinks();
    const std::string settings = InstallSettingsFile();
    if (settings.empty()) return;
    g_links.startUp = ReadIniString(settings, "UnInstall", "StartUpLink", "");
    g_links.checkUpdate = ReadIniString(settings, "UnInstall", "CheckforNewUpdateLink", "");
}

void RemoveShortcutsAfterEngine(bool tokenDeleted) {
    if (tokenDeleted) {
        RemoveShortcut("RemoveStartUpShortcut", g_links.startUp);
        RemoveShortcut("RemoveCheckForNewUpdateShortcut", g_links.checkUpdate);
    }
    g_links = ShortcutLinks();
}

void SetTransientOverrides(const std::string& list) {
    DebugLine(IntToStr(GetCurrentProcessId()) + " HandleParamOK: transient overrides not implemented: " + list);
}

}  // namespace vel
