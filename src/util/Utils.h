#pragma once
// Windows-only. System information and file utilities of the program. Every function reports
// failure through its result (empty text, 0, false or the default passed in) and never throws.
// The pure text rules behind them live in the portable headers included here.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "util/FileText.h"
#include "util/SysInfo.h"
#include "util/Version.h"
#include "util/WinHandles.h"

namespace vel {

// ---- Windows version (cached on first use) ----------------------------------------------------

// Version text, name, service pack, build and edition flag of the running Windows.
OsIdentity GetOsName();
uint32_t GetOsFlag();            // the edition flag alone (16 = 2000, 8 = NT 4 or unknown NT)
bool IsWindowsNT();              // platform id 2
bool IsWindowsXP();              // NT and version "5.1"
bool IsWindows8OrLater();        // NT and version >= 6.2
bool IsWindows64();              // the system is 64-bit (a 64-bit build of the program always is)
bool IsServerOS();               // a server or domain-controller edition

// ---- Version resources --------------------------------------------------------------------------

// Fixed file version "a.b.c.d" of a file (empty name = the running program), reformatted with
// FormatVersion when width > 1 or count < 4. Empty when the file has no version resource.
std::string GetExeVersion(const std::string& file = "", int width = 1, int count = 4);
// The "ProductVersion" string of the first translation, commas turned into dots, reformatted like
// GetExeVersion. Empty when missing.
std::string GetProductVersion(const std::string& file, int width = 1, int count = 4);

// ---- Registry -----------------------------------------------------------------------------------

// Whether the program's registry readers use the 64-bit view; off in this program.
constexpr bool kRegistry64View = false;

// "HKLM\Software\X" -> HKEY_LOCAL_MACHINE and "Software\X"; a path not starting with "HK" is a
// subkey of HKEY_CURRENT_USER.
HKEY ParseRegPath(const std::string& path, std::string& subKey);
// A value as text (REG_DWORD as decimal, REG_MULTI_SZ with "<0>" between its strings, other
// types up to the first NUL); def when the key or value cannot be read or exceeds 10240 bytes.
std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool use64View = kRegistry64View);
std::string GetRegisteredOwner();         // default: the login name
std::string GetRegisteredOrganization();  // default: empty

// ---- INI files ----------------------------------------------------------------------------------

// def when the file, section or key is missing or the value is empty. Reads are serialised.
std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def);
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def);
// False without writing when file, section or key is empty.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value);

// ---- User and machine (empty on failure) --------------------------------------------------------

std::string GetLoginName();
std::string GetMachineName();
std::string GetAccountDomain(const std::string& account);
std::string GetUserDomain();
// The user's decimal separator ("." when the locale gives none).
std::string UserDecimalSeparator();
// The user's date and time separators ("/" and ":" when the locale gives none).
std::string UserDateSeparator();
std::string UserTimeSeparator();
// Full name of a month (1 .. 12) in the user's locale; the English name when the locale gives
// none; empty for other numbers.
std::string LocaleMonthName(int month);

// ---- Command line and processes -----------------------------------------------------------------

std::string GetCmdParams();  // the program's command line without the program part, trimmed
// Value of a switch such as "/SleepX=" (or "-x=" for dash switches); def when absent.
std::string GetSwitchValue(const std::string& name, const std::string& def = "");
int64_t GetSwitchInt(const std::string& name, int64_t def);
bool HasCmdParam(const std::string& word);  // the word occurs as a blank-ended parameter
// ShellExecute with the default verb; true when it reports success.
bool ShellOpen(const std::string& file, const std::string& params, int showCmd = SW_SHOWNORMAL);

// ---- Time, messages and screen ------------------------------------------------------------------

int64_t MilliCounter();  // milliseconds from the high-resolution counter
// Dispatches every waiting message of the thread (a quit request stays for the loop that owns it).
void PumpPending();
// Dispatches every waiting message of the thread, then sleeps `ms`.
void YieldX(DWORD ms);
// Waits `duration` ms, pumping messages every `step` ms (0 = duration / 10, within 1 .. 25).
void WaitPumping(DWORD step, DWORD duration);
int ScreenDpiY();                 // LOGPIXELSY of the screen (cached)
int PointsToPixels(int points);
POINT CenterInWorkArea(int width, int height);  // left/top of a box centred in the work area
std::string GetWindowTextStr(HWND wnd);         // empty for no window
std::string GetWindowClassStr(HWND wnd);
HWND TopLevelOwner(HWND wnd);                   // end of the owner chain
std::string LastErrorText();                    // system message for GetLastError
bool IsDeveloperMode();                         // env "DVX" holds the developer code (cached)

// ---- Paths and folders --------------------------------------------------------------------------

bool AnsiLeadByte(unsigned char c);  // lead byte of a double-byte character in the ANSI code page
std::string SetTrailingBackslash(const std::string& path, bool wanted);
std::string ExcludeTrailingBackslash(const std::string& path);
std::string CollapseBackslashes(const std::string& path, bool excludeTrailing);
std::string BaseName(const std::string& path, bool allExtensions = false);
// The platform's full-path expansion: "." and ".." resolved, a relative path made absolute
// against the current directory. Empty on failure.
std::string FullPathName(const std::string& path);
// The short (8.3) form of an existing path; empty when the system gives none.
std::string ShortPathOf(const std::string& path);
std::string ExePath(bool baseNameOnly = false);  // full path, or file name without extension
std::string ExeDir(bool backslash = true);
std::string WindowsDir(bool backslash = true);
std::string SystemDir(bool backslash = true);
std::string TempDir(bool backslash = true);

// ---- Files --------------------------------------------------------------------------------------

int64_t FileSizeByName(const std::string& path);  // 0 when nothing matches
bool FolderExists(const std::string& path);       // an existing folder (a trailing "\" is allowed)
// Up to maxLength bytes (0 = no limit) from offset; empty when missing, out of range or short.
std::string ReadFilePart(const std::string& path, int64_t maxLength = 0, bool trim = false, int64_t offset = 0);
// Writes (or appends) the text; large writes and writes with a hook go in chunks (FileText.h).
// dosDate != 0 sets the file's time (DOS date-time, local) when everything was written.
// True when all bytes were written.
bool WriteFileText(const std::string& path, const std::string& text, uint32_t dosDate = 0,
                   bool append = false, const WriteProgress& hook = nullptr);
bool AppendToFile(const std::string& path, const std::string& text, bool lineBreak = true, uint32_t dosDate = 0);
double DiskFree(const std::string& path);  // bytes available to the user; 0 on failure

// Depth-first searches; pump messages between entries. Empty when not found.
std::string FindFileInTree(const std::string& folder, const std::string& fileName);
std::string FindFileOnDrives(const std::string& fileName, UINT driveType);
std::string FindDirInTree(const std::string& folder, const std::string& dirName);
std::string FindDirOnDrives(const std::string& dirName, UINT driveType);

// Progress of DeleteTree: called after each subfolder of the top folder has been dealt with;
// setting cancel stops the deletion there.
using DeleteProgress = std::function<void(const std::string& folder, bool& cancel)>;
// Deletes the files matching a mask; true when any file matched. Each file is opened as itself
// and deleted through its handle: a link goes as a link, a folder put in a file's place stays.
bool DeleteFiles(const std::string& mask, bool clearAttributes);
// Deletes a folder with everything in it; true when it existed and is gone. Each entry is opened
// as itself (a link as the link) and decided and deleted through that handle, and each folder is
// held open against renaming while it is emptied: linked folders (junctions, symbolic links), the
// top one too, and links swapped in meanwhile are removed as links and never followed; an entry
// found changed since its folder was listed stays. Refuses drive and share roots and empty paths
// (false, nothing deleted). Under this Wine, which opens a link's target even when asked for the
// link, links stay in place (and so does the folder that holds them).
bool DeleteTree(const std::string& folder, bool clearAttributes, const DeleteProgress& hook = nullptr);
// Tests only: called with each entry's path after DeleteTree or DeleteFiles has looked at it and
// before it opens it (null in the program).
using DeleteTreeEntrySeam = void (*)(const std::string& path);
void SetDeleteTreeEntrySeam(DeleteTreeEntrySeam seam);
// Starts the system's cmd, hidden, with a command line that deletes the running program once it
// has ended (trying about 30 times, a second apart, then giving up) and, when asked, removes its
// folder if that is then empty. Nothing is written to disk. A path that cmd cannot take quoted
// ("%", "!", "^", '"') is not passed: the self-delete is skipped with a debug line. True when
// cmd was started.
bool DeleteMySelf(bool removeFolder, bool shortNames);
bool EjectCD(const std::string& path);  // false unless the path's drive is a CD drive

}  // namespace vel
