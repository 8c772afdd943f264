#include "paths/Macros.h"

#include <cmath>
#include <vector>

#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

struct InstallDirs {
    std::string application, common, auxiliary;
};
InstallDirs g_install;
EnteredValueProvider g_entered;
RunTimeDirResolver g_runTimeResolver;
const char kUnresolved[] = "*";
std::string g_runTimeDirs[8] = {"*", "*", "*", "*", "*", "*", "*", "*"};

// Nothing in this program runs an executable of the installation or sets a space requirement.
const int64_t kLastExecutableExitCode = 0;
const int64_t kRequiredFreeSpaceBytes = 0;

std::string Entered(const std::string& key) { return g_entered ? g_entered(key) : std::string(); }

std::string RunTimeDir(int slot) {
    std::string& value = g_runTimeDirs[slot - 1];
    if (value == kUnresolved) value = g_runTimeResolver ? g_runTimeResolver(slot) : std::string();
    return value;
}

// Folder values: a trailing backslash removed (not from drive roots of two characters).
std::string Folder(const std::string& folder, LeadByteTest lead) { return SetTrailingBackslash(folder, false, lead); }

bool Contains(const std::string& text, const std::string& macro) { return PosCI(macro, text) > 0; }

std::string TwoDigits(int v) { return IntZeroPad(v, 2); }

// The user macros, in their order of replacement.
enum class UserKind { System, ExitCode, FreeSpace, Entered };
struct UserMacro {
    const char* macro;
    UserKind kind;
    MacroValue value;     // UserKind::System
    const char* key;      // UserKind::Entered: the provider's key
};
const UserMacro kUserMacros[] = {
    {"<LoggedUserName>", UserKind::System, MacroValue::LoggedUserName, nullptr},
    {"<UserName>", UserKind::System, MacroValue::UserName, nullptr},
    {"<CompanyName>", UserKind::System, MacroValue::CompanyName, nullptr},
    {"<ComputerName>", UserKind::System, MacroValue::ComputerName, nullptr},
    {"<CurrentDomainName>", UserKind::System, MacroValue::CurrentDomainName, nullptr},
    {"<LastExecutableExitCode>", UserKind::ExitCode, MacroValue::LoggedUserName, nullptr},
    {"<ReqFreeDiskSpaceMB>", UserKind::FreeSpace, MacroValue::LoggedUserName, nullptr},
    {"<EnteredUserName>", UserKind::Entered, MacroValue::LoggedUserName, "UserName"},
    {"<EnteredCompanyName>", UserKind::Entered, MacroValue::LoggedUserName, "CompanyName"},
    {"<EnteredSerialNum>", UserKind::Entered, MacroValue::LoggedUserName, "SerialNum"},
    {"<EnteredStartProgramMenu>", UserKind::Entered, MacroValue::LoggedUserName, "EnteredStartProgramMenu"},
    {"<VendorCompanyName>", UserKind::Entered, MacroValue::LoggedUserName, "VendorCompanyName"},
    {"<ProjectName>", UserKind::Entered, MacroValue::LoggedUserName, "ProjectName"},
    {"<ProgramDescriptiveName>", UserKind::Entered, MacroValue::LoggedUserName, "ProgramDescriptiveName"},
    {"<ProgramVersion>", UserKind::Entered, MacroValue::LoggedUserName, "ProgramVersion"},
    {"<SelectedLanguage>", UserKind::Entered, MacroValue::LoggedUserName, "SelectedLanguage"},
};

std::string UserValue(const UserMacro& u, MacroSystem& sys) {
    switch (u.kind) {
        case UserKind::System: return sys.Value(u.value);
        case UserKind::ExitCode: return IntToStr(kLastExecutableExitCode);
        case UserKind::FreeSpace: return FreeSpaceMBText(kRequiredFreeSpaceBytes);
        case UserKind::Entered: return Entered(u.key);
    }
    return std::string();
}

// The directory macros after the marked point.
enum class Rule { Dir, Plain, Drive, Disk };
enum class Source { System, Application, Common, Auxiliary };
struct DirMacro {
    const char* macro;
    Rule rule;
    Source source;
    MacroValue value;
};
const DirMacro kLateDirMacros[] = {
    {"<InstallDir>", Rule::Dir, Source::Application, MacroValue::WindowsDir},
    {"<InstallCommonDir>", Rule::Dir, Source::Common, MacroValue::WindowsDir},
    {"<InstallAuxDir>", Rule::Dir, Source::Auxiliary, MacroValue::WindowsDir},
    {"<WinDir>", Rule::Dir, Source::System, MacroValue::WindowsDir},
    {"<WinSysDir>", Rule::Dir, Source::System, MacroValue::SystemDir},
    {"<WinSys32Dir>", Rule::Dir, Source::System, MacroValue::SystemDir},
    {"<WinSys16Dir>", Rule::Dir, Source::System, MacroValue::System16Dir},
    {"<InstallDrive>", Rule::Drive, Source::Application, MacroValue::WindowsDir},
    {"<WinDrive>", Rule::Drive, Source::System, MacroValue::WindowsDir},
    {"<WinSysDrive>", Rule::Drive, Source::System, MacroValue::SystemDir},
    {"<OriginDrive>", Rule::Drive, Source::System, MacroValue::OriginDir},
    {"<InstallDisk>", Rule::Disk, Source::Application, MacroValue::WindowsDir},
    {"<WinDisk>", Rule::Disk, Source::System, MacroValue::WindowsDir},
    {"<WinSysDisk>", Rule::Disk, Source::System, MacroValue::SystemDir},
    {"<OriginDisk>", Rule::Disk, Source::System, MacroValue::OriginDir},
    {"<StartMenuDir>", Rule::Dir, Source::System, MacroValue::StartMenuRegDir},
    {"<ProgramFilesDir>", Rule::Dir, Source::System, MacroValue::ProgramFilesRegDir},
    {"<CommonFilesDir>", Rule::Dir, Source::System, MacroValue::CommonFilesRegDir},
    {"<FontDir>", Rule::Dir, Source::System, MacroValue::FontDir},
    {"<SrcDir>", Rule::Dir, Source::System, MacroValue::OwnDir},
    {"<OriginDir>", Rule::Dir, Source::System, MacroValue::OriginDir},
    {"<TempDir>", Rule::Dir, Source::System, MacroValue::TempDir},
    {"<ServiceDir>", Rule::Dir, Source::System, MacroValue::OwnDir},
    {"<UserDir>", Rule::Dir, Source::System, MacroValue::UserDir},
    {"<UserAppDataDir>", Rule::Dir, Source::System, MacroValue::UserAppDataDir},
    {"<UserLocalAppDataDir>", Rule::Dir, Source::System, MacroValue::UserLocalAppDataDir},
    {"<MyDocumentsDir>", Rule::Dir, Source::System, MacroValue::MyDocumentsDir},
    {"<UserStartMenuDir>", Rule::Dir, Source::System, MacroValue::UserStartMenuDir},
    {"<UserStartProgramMenuDir>", Rule::Dir, Source::System, MacroValue::UserProgramsMenuDir},
    {"<UserDesktopDir>", Rule::Dir, Source::System, MacroValue::UserDesktopDir},
    {"<DocumentsAndSettingsDir>", Rule::Dir, Source::System, MacroValue::ProfilesRootDir},
    {"<AllUsersDir>", Rule::Dir, Source::System, MacroValue::AllUsersDir},
    {"<AllUsersAppDataDir>", Rule::Dir, Source::System, MacroValue::AllUsersAppDataDir},
    {"<AllUsersDocumentsDir>", Rule::Dir, Source::System, MacroValue::AllUsersDocumentsDir},
    {"<AllUsersStartMenuDir>", Rule::Dir, Source::System, MacroValue::AllUsersStartMenuDir},
    {"<AllUsersStartProgramMenuDir>", Rule::Dir, Source::System, MacroValue::AllUsersProgramsMenuDir},
    {"<AllUsersDesktopDir>", Rule::Dir, Source::System, MacroValue::AllUsersDesktopDir},
};

std::string SourceValue(Source source, MacroValue value, MacroSystem& sys) {
    const LeadByteTest lead = sys.LeadBytes();
    switch (source) {
        case Source::Application: return Folder(g_install.application, lead);
        case Source::Common: return Folder(g_install.common, lead);
        case Source::Auxiliary: return Folder(g_install.auxiliary, lead);
        case Source::System: break;
    }
    // Registry folders are taken as stored.
    if (value == MacroValue::StartMenuRegDir || value == MacroValue::ProgramFilesRegDir ||
        value == MacroValue::CommonFilesRegDir)
        return sys.Value(value);
    return Folder(sys.Value(value), lead);
}

std::string ApplyDirMacro(const std::string& text, const char* macro, Rule rule, const std::function<std::string()>& value,
                          const std::string& tail) {
    if (!Contains(text, macro)) return text;
    switch (rule) {
        case Rule::Dir: return ReplaceDirMacro(text, macro, value(), tail);
        case Rule::Plain: return ReplaceAllCI(text, macro, value());
        case Rule::Drive: return ReplaceAllCI(text, macro, value().substr(0, 3));
        case Rule::Disk: return ReplaceAllCI(text, macro, value().substr(0, 2));
    }
    return text;
}

std::string DateText(char code, MacroSystem& sys) {
    const double now = sys.Now();
    int y, m, d, h, n, s;
    DecodeDateTime(now, y, m, d, h, n, s);
    const std::string dd = TwoDigits(d), mm = TwoDigits(m), yy = TwoDigits(y % 100), yyyy = IntZeroPad(y, 4);
    switch (code) {
        case '#': return dd + sys.DateSeparator() + sys.MonthName(m) + sys.DateSeparator() + yyyy;
        case '0': return IntToStr(static_cast<int64_t>(std::floor(now - EncodeDateTime(2000, 1, 1, 0, 0, 0))));
        case '1': return dd + "-" + mm + "-" + yy;
        case '2': return mm + "-" + dd + "-" + yy;
        case '3': return yy + "-" + mm + "-" + dd;
        case '4': return dd + "-" + mm + "-" + yyyy;
        case '5': return mm + "-" + dd + "-" + yyyy;
        case '6': return yyyy + "-" + mm + "-" + dd;
        case '7':
            return yyyy + "-" + mm + "-" + dd + " " + TwoDigits(h) + sys.TimeSeparator() + TwoDigits(n) +
                   sys.TimeSeparator() + TwoDigits(s);
    }
    return std::string();
}

bool HasDotDot(const std::string& text) {
    return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

std::string FullPathOr(const std::string& path, MacroSystem& sys) {
    const std::string full = sys.FullPath(path);
    return full.empty() ? path : full;  // a path the system cannot expand stays as it was
}

}  // namespace

void SetInstallDirs(const std::string& application, const std::string& common, const std::string& auxiliary) {
    g_install = InstallDirs{application, common, auxiliary};
}

void SetEnteredValueProvider(EnteredValueProvider provider) { g_entered = std::move(provider); }
void SetRunTimeDirResolver(RunTimeDirResolver resolver) { g_runTimeResolver = std::move(resolver); }
void ResetRunTimeDirs() {
    for (std::string& s : g_runTimeDirs) s = kUnresolved;
}

std::string ReplaceDirMacro(const std::string& text, const std::string& macro, const std::string& value,
                            const std::string& tail) {
    const int pos = PosCI(macro, text);
    if (pos == 0 || macro.empty()) return text;
    const size_t after = static_cast<size_t>(pos - 1) + macro.size();
    bool withTail = true;
    if (after >= text.size()) {
        withTail = false;
    } else {
        const char next = text[after];
        const char delim = text.front();
        const bool isList = text.size() >= 2 && delim == text.back();
        const bool delimOk = delim != '<' && !((delim >= 'A' && delim <= 'Z') || (delim >= 'a' && delim <= 'z'));
        if (next == ' ' || (isList && delimOk && next == delim)) withTail = false;
    }
    return ReplaceAllCI(text, macro, withTail ? value + tail : value);
}

std::string ExpandDateMacro(const std::string& text, MacroSystem& sys) {
    const int pos = PosCI("<Date=", text);
    if (pos == 0) return text;
    const size_t at = static_cast<size_t>(pos - 1);
    if (text.find('>', at) == std::string::npos || at + 6 >= text.size()) return text;
    const char code = text[at + 6];
    if (std::string("#01234567").find(code) == std::string::npos) return text;
    // "<Date=", the code and the character after it (the closing ">").
    return text.substr(0, at) + DateText(code, sys) + (at + 8 <= text.size() ? text.substr(at + 8) : std::string());
}

std::string FoldDotDot(const std::string& text, MacroSystem& sys) {
    if (!HasDotDot(text)) return text;
    const bool list = text.size() >= 2 && (text.front() == ',' || text.front() == '|') && text.front() == text.back();
    if (!list) return FullPathOr(text, sys);
    std::string out(1, text.front());
    for (const std::string& item : SUB::Items(text)) out += (HasDotDot(item) ? FullPathOr(item, sys) : item) + text.front();
    return out;
}

std::string FreeSpaceMBText(int64_t bytes) { return IntToStr(bytes / 1048576); }

void ExpandMacros(const std::string& text, const std::string& tail, bool foldDots, bool pathMacros, MacroSystem& sys,
                  std::string& out) {
    out = text;
    if (text.find('<') != std::string::npos) {
        std::string s = ExpandDateMacro(text, sys);
        for (const UserMacro& u : kUserMacros) {
            if (!Contains(s, u.macro)) continue;  // values are asked for only when needed
            s = ReplaceAllCI(s, u.macro, UserValue(u, sys));
        }
        const std::string snapshot = s;
        out = snapshot;
        if (pathMacros) {
            s = ApplyDirMacro(s, "<UnInstallExePath>", Rule::Plain, [] { return Entered("UnInstallExePath"); }, tail);
            if (Contains(s, "<RunTimeDir_"))
                for (int slot = 1; slot <= 8; ++slot)
                    s = ApplyDirMacro(s, ("<RunTimeDir_" + IntToStr(slot) + ">").c_str(), Rule::Dir,
                                      [slot] { return RunTimeDir(slot); }, tail);
            const struct {
                const char* macro;
                Source source;
                MacroValue value;
            } early[] = {
                {"<Application Folder>", Source::Application, MacroValue::WindowsDir},
                {"<Common Folder>", Source::Common, MacroValue::WindowsDir},
                {"<Auxiliary Folder>", Source::Auxiliary, MacroValue::WindowsDir},
                {"<Windows Directory>", Source::System, MacroValue::WindowsDir},
                {"<System Directory>", Source::System, MacroValue::SystemDir},
                {"<System16 Directory>", Source::System, MacroValue::System16Dir},
            };
            for (const auto& e : early)
                s = ApplyDirMacro(s, e.macro, Rule::Dir, [&] { return SourceValue(e.source, e.value, sys); }, tail);
            // The marked point: an absolute folder overrides an installation-folder prefix.
            if (s != snapshot)
                for (const char* m : {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"}) s = ReplaceAllCI(s, m, "");
            s = ReplaceAllCI(s, "<AbsoluteDir>", "");
            for (const DirMacro& d : kLateDirMacros)
                s = ApplyDirMacro(s, d.macro, d.rule, [&] { return SourceValue(d.source, d.value, sys); }, tail);
            if (s != snapshot) out = CollapseBackslashes(s, false, sys.LeadBytes());
        }
    }
    if (foldDots) out = FoldDotDot(out, sys);
}

}  // namespace vel
