#include "autoupdate/UpdateTexts.h"

#include "package/PackageFormat.h"
#include "util/FileText.h"
#include "util/StrUtils.h"

namespace vel {

const char kFetchedFileAltered[] = "The downloaded file is damaged or has been altered.";
const char kBadSecretToken[] = "Bad Secret Token!";

std::string DownloadTextTailKey(bool confirmInstall, bool downloadForce) {
    if (downloadForce) return confirmInstall ? "s19" : "s18";
    return confirmInstall ? "s13" : "s12";
}

std::string InstallTextKey(bool installForce) { return installForce ? "s20" : "s14"; }

std::string WithProgramName(const std::string& text, const std::string& name) {
    return ReplaceAll(text, "PROG_NAME", name);
}

std::string FetchFileName(const std::string& name) {
    const std::string part = FileNamePart(name);
    // The system drops trailing dots and blanks: such a name would be the folder itself or its parent.
    if (part.find_first_not_of(". ") == std::string::npos) return std::string();
    return part;
}

std::string FolderSource(const std::string& location, const std::string& name) { return location + "\\" + name; }
std::string HttpSource(const std::string& location, const std::string& name) { return location + "/" + name; }

uint64_t AnnouncedFileLimit(int64_t announced) { return uint64_t(announced > 0 ? announced : 0) + 99; }

bool IsDriveOrUncPath(const std::string& source) {
    return (source.size() >= 2 && source[1] == ':') || source.compare(0, 2, "\\\\") == 0;
}

std::string FetchFailureText(bool aborted, const std::string& source, const std::string& s3, const std::string& s4,
                             const std::string& s5) {
    if (aborted) return s3;
    return (IsDriveOrUncPath(source) ? s4 : s5) + "<P><P>" + source;
}

std::string FetchedFileAlteredMessage(const std::string& source) {
    return std::string(kFetchedFileAltered) + "<P><P>" + source;
}

bool ProductTokenMatches(const std::string& ownItem, const std::string& clearToken, bool decoded) {
    std::string own;
    return decoded && TryUnscrambleItem(ownItem, own) && own == clearToken;
}

bool IsWebAddress(const std::string& address) {
    const std::string a = LowerCase(Trim(address));
    return a.compare(0, 7, "http://") == 0 || a.compare(0, 8, "https://") == 0;
}

bool UpdateLocationUsable(const std::string& location, bool infoFromWeb) {
    return !infoFromWeb || IsWebAddress(location);
}

ShutDownMethod ParseShutDownMethod(const std::string& text) {
    if (text == "Issue a Message Box") return ShutDownMethod::AskUser;
    if (text == "Using WM_CLOSE") return ShutDownMethod::Close;
    if (text == "Using WM_QUIT") return ShutDownMethod::Quit;
    if (text == "Using Terminate Process") return ShutDownMethod::Terminate;
    if (text == "Don't Shut Down") return ShutDownMethod::DontShutDown;
    return ShutDownMethod::Other;
}

std::string RestartCommandLine(const std::string& agentFolder, const std::string& agentName,
                               const std::string& transientList) {
    // Quoted: an install folder with blanks must not make the system start another program.
    return "\"" + agentFolder + FileNamePart(agentName) + "\" /_ZZ=99 /WAIT=10 /TRANSIENT=" + transientList;
}

}  // namespace vel
