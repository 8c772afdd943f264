#pragma once
// The rules of an update shot that need no window: which update texts make up the questions, the
// fetch source and the message of a failed fetch, the shut-down method by its name, the check that
// a fetched file belongs to this product, and the command line of the agent's fresh copy.
// Portable: no Windows API. Nothing here throws.
#include <cstdint>
#include <string>

namespace vel {

// ---- Questions ------------------------------------------------------------------------------------
// Key of the second half of the download question ("s11" + it): "s13" when an install question
// follows, else "s12"; as a forced notice "s19" or "s18".
std::string DownloadTextTailKey(bool confirmInstall, bool downloadForce);
// Key of the install question: "s20" as a forced notice, else "s14".
std::string InstallTextKey(bool installForce);
// Every "PROG_NAME" (case-sensitive) replaced by name.
std::string WithProgramName(const std::string& text, const std::string& name);

// ---- Fetch -----------------------------------------------------------------------------------------
// The name a fetched file gets in the agent's folder: the file-name part of name. Empty when that
// part is no file name at all (empty, or only dots and blanks), so that nothing is written.
std::string FetchFileName(const std::string& name);
// location + "\" + name (a drive or UNC folder) and location + "/" + name (HTTP).
std::string FolderSource(const std::string& location, const std::string& name);
std::string HttpSource(const std::string& location, const std::string& name);
// A drive path ("C:...") or a UNC path ("\\server...").
bool IsDriveOrUncPath(const std::string& source);
// Bounds of a fetch: the update-info file at most 1 MiB; an update or inform file at most the size
// its update-info file announces plus the 99 bytes the size check tolerates (a missing or negative
// size counts as 0), so that no server can fill the disk or the memory with a file nobody announced.
constexpr uint64_t kInfoFileLimit = uint64_t(1) << 20;
uint64_t AnnouncedFileLimit(int64_t announced);
// The message of a failed fetch: s3 after an abort; else s4 (a drive or UNC source) or s5 (an
// address), each followed by "<P><P>" and the source.
std::string FetchFailureText(bool aborted, const std::string& source, const std::string& s3, const std::string& s4,
                             const std::string& s5);
// The message for a fetched file whose SHA-256 is not the one the update-info file names.
extern const char kFetchedFileAltered[];  // The downloaded file is damaged or has been altered.
std::string FetchedFileAlteredMessage(const std::string& source);
extern const char kBadSecretToken[];  // Bad Secret Token!

// A fetched file's product token against the agent's own. ownItem: the agent's token as stored
// (scrambled); clearToken: the file's token in clear, decoded telling whether it unscrambled at
// all. Exact text comparison; a token that does not unscramble, on either side, never matches.
bool ProductTokenMatches(const std::string& ownItem, const std::string& clearToken, bool decoded);

// The announcement's download address is opened through the shell, which would also start a
// program or open a share: only "http://" and "https://" addresses (any case) are opened.
bool IsWebAddress(const std::string& address);
// Whether the update location (DownloadURL_UPDATE) may be used. An update-info file fetched from the
// web may be someone else's: its location is used only when it is a web address, never a drive or
// UNC path, which would hand the user's network credentials to that host. An update-info file from
// a drive or UNC folder may name any location.
bool UpdateLocationUsable(const std::string& location, bool infoFromWeb);

// ---- Shut-down and restart --------------------------------------------------------------------------
enum class ShutDownMethod { AskUser, Close, Quit, Terminate, DontShutDown, Other };
// By the exact text (case-sensitive): "Issue a Message Box", "Using WM_CLOSE", "Using WM_QUIT",
// "Using Terminate Process", "Don't Shut Down"; any other text is Other.
ShutDownMethod ParseShutDownMethod(const std::string& text);

// The agent's fresh copy: the program (agentFolder ends with a backslash; only the file-name part
// of agentName counts) quoted, then " /_ZZ=99 /WAIT=10 /TRANSIENT=" and the transient list.
std::string RestartCommandLine(const std::string& agentFolder, const std::string& agentName,
                               const std::string& transientList);

}  // namespace vel
