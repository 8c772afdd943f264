#pragma once
// Expansion of the macros in settings texts ("<InstallDir>\App.exe", "<Date=6>", "<UserName>").
// Portable: the system's values come through MacroSystem (Macros_win.h gives the running
// system's). Macro names match in any letter case; every occurrence is replaced unless said.
#include <cstdint>
#include <functional>
#include <string>

#include "util/FileText.h"

namespace vel {

// Values of the running system that the macros stand for. Folders carry no trailing backslash.
enum class MacroValue {
    LoggedUserName, UserName, CompanyName, ComputerName, CurrentDomainName,
    WindowsDir, SystemDir, System16Dir, StartMenuRegDir, ProgramFilesRegDir, CommonFilesRegDir, FontDir,
    OwnDir, OriginDir, TempDir, UserDir, UserAppDataDir, UserLocalAppDataDir, MyDocumentsDir, UserStartMenuDir,
    UserProgramsMenuDir, UserDesktopDir, ProfilesRootDir, AllUsersDir, AllUsersAppDataDir, AllUsersDocumentsDir,
    AllUsersStartMenuDir, AllUsersProgramsMenuDir, AllUsersDesktopDir,
};

class MacroSystem {
public:
    virtual ~MacroSystem() = default;
    virtual std::string Value(MacroValue which) = 0;
    // Local date and time now (days since 30 December 1899).
    virtual double Now() = 0;
    virtual std::string MonthName(int month) = 0;  // full name in the user's locale, 1 .. 12
    virtual std::string DateSeparator() = 0;
    virtual std::string TimeSeparator() = 0;
    // The platform's full-path expansion; empty on failure.
    virtual std::string FullPath(const std::string& path) = 0;
    virtual LeadByteTest LeadBytes() { return NoLeadBytes; }
};

// ---- Installation state and hooks (process-wide) --------------------------------------------------

// The application, common and auxiliary folders, stored unchanged; empty until set.
void SetInstallDirs(const std::string& application, const std::string& common, const std::string& auxiliary);
// A value entered or chosen during setup, by key ("UserName", "SerialNum", ...). None is installed
// in this program, so those macros expand to empty text.
using EnteredValueProvider = std::function<std::string(const std::string& key)>;
void SetEnteredValueProvider(EnteredValueProvider provider);
// Resolves run-time folder n (1 .. 8) on its first use; the result is kept. None is configured in
// this program, so every slot resolves to empty text.
using RunTimeDirResolver = std::function<std::string(int slot)>;
void SetRunTimeDirResolver(RunTimeDirResolver resolver);
// Forgets resolved run-time folders (back to the unresolved marker "*").
void ResetRunTimeDirs();

// ---- Expansion --------------------------------------------------------------------------------------

// One directory macro: every occurrence becomes value + tail, or value alone when the first
// occurrence ends the text, is followed by a blank, or (in a delimited list whose delimiter is
// neither "<" nor a letter) by the delimiter.
std::string ReplaceDirMacro(const std::string& text, const std::string& macro, const std::string& value,
                            const std::string& tail);
// The first "<Date=c>" (c one of "#", "0" .. "7") becomes the date now in that format; any
// other c leaves the text as it is.
std::string ExpandDateMacro(const std::string& text, MacroSystem& sys);
// Items (of a "," or "|" list) or the whole text holding "\.." or "..\" become full paths.
std::string FoldDotDot(const std::string& text, MacroSystem& sys);
// "<ReqFreeDiskSpaceMB>": whole megabytes, truncated.
std::string FreeSpaceMBText(int64_t bytes);
// The whole expansion: date macro, user macros, then (pathMacros) the directory macros with the
// marked point and the backslash collapse, then (foldDots) FoldDotDot.
void ExpandMacros(const std::string& text, const std::string& tail, bool foldDots, bool pathMacros,
                  MacroSystem& sys, std::string& out);

}  // namespace vel
