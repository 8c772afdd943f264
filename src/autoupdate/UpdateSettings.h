#pragma once
// The two settings files of an installed product, beside the running program: the installation
// settings file (".original", written at installation) and the update-info file (the update
// location's file, fetched beside it). Windows-only implementation (UpdateSettings_win.cpp).
#include <string>

namespace vel {

// Paths of the two files; empty when the own package names no update-info file.
std::string InstallSettingsFile();
std::string UpdateInfoFile();

// Around a setup engine run: the shortcut files that the installation recorded (UnInstall /
// StartUpLink and CheckforNewUpdateLink) are read before the engine starts; after an engine that
// deleted the engine token atom, each is deleted when the update-info file asks for it (NewSetup /
// RemoveStartUpShortcut, RemoveCheckForNewUpdateShortcut = "1") and it exists.
void NoteShortcutsBeforeEngine();
void RemoveShortcutsAfterEngine(bool tokenDeleted);

// The transient overrides list ("/TRANSIENTx="). Not built yet: says so in the trace.
void SetTransientOverrides(const std::string& list);

}  // namespace vel
