// The web setup run: find or fetch the setup file, prove it is the one this web stub was built for,
// then extract and run it.
#include <windows.h>

#include <string>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "package/Extract.h"
#include "package/FileInfo.h"
#include "package/Language.h"
#include "stub/FlowTexts.h"
#include "stub/RunStub.h"
#include "stub/StubState.h"
#include "stub/StubWindow.h"
#include "stub/WebSetup.h"
#include "ui/MsgBox.h"
#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Sha256.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

constexpr char kBadToken[] = "Bad Secret Token!";
constexpr char kDeclined[] = "!";  // the user answered No: the run ends without a message

// Fetches the setup file into the temp folder. Returns the error text (kDeclined after No);
// attempted tells whether a download was started.
std::string FetchSetupFile(const TGFileInfo& own, const std::string& url, const std::string& setupFile, bool quiet,
                           bool& attempted) {
    const FlowTexts t(own);
    std::string error;
    SetStatusText(StatusLabel(), GetString(own, "s10", "Downloading File..."), GetFontName(own), GetCharset(own),
                  GetFontSize(own));
    if (own.AskBeforeDownload() && !quiet) {
        const std::string question = DownloadQuestion(
            GetString(own, "s11",
                      "<b>INTERNET DOWNLOAD</b><p><p>Velnor will download the Setup File from the Internet...<p>"
                      "Please make sure your Internet connection is properly set.<p><p>Continue with Setup?<p>"
                      "<P>Size: <SIZE> MB<P>"),
            own.SetupFileSize());
        if (!MsgBoxConfirm(0, question, t.confirm, 0, t.charset, t.buttons)) error = kDeclined;
    }
    // Also after No, so that an offline machine says so.
    std::string reason;
    if (!HTTP_IsConnected(reason)) {
        error = GetString(own, "s12", "No valid Internet Connection.<p>Can not Download File!");
        if (!reason.empty()) error += "<P><P>" + reason;
    }
    SetDownloadAbort(false);
    // A quiet run keeps the window hidden: the download shows only an owner window.
    const uintptr_t owner = quiet ? 0 : reinterpret_cast<uintptr_t>(StubWindow());
    TProgBar* relay = EnsureDownloadRelay();
    if (error.empty()) {
        attempted = true;
        std::string unused;
        error = HTTP_DownloadFile_Incremental(owner, url, setupFile, unused, relay);
    }
    WaitPumping(0, 300);
    ProgressSink(0, 0, 10, 0, 1, std::string());
    WaitPumping(0, 700);
    return error;
}

// Checks the setup file against the SHA-256 and the download token of the own package. Empty when
// it may be extracted, else the message to show.
std::string VerifySetupFile(const TGFileInfo& own, const std::string& setupFile, const std::string& source) {
    const std::string expected = own.SetupFileSha256();
    if (!expected.empty()) {
        const std::string actual = SystemSha256FileHex(setupFile, [] { WaitPumping(0, 0); });
        if (!SameSha256(expected, actual)) {
            DebugLine("Setup file SHA-256 " + (actual.empty() ? std::string("not computed") : actual) +
                      ", expected " + expected + ": " + setupFile);
            // An error page in place of the file is still explained as one.
            return MakeNotFoundMessage(setupFile, std::string(), source, SetupFileAlteredMessage(source));
        }
    }
    const TGFileInfo setup(setupFile);
    if (!TokensMatch(setup, own)) return MakeNotFoundMessage(setupFile, std::string(), source, kBadToken);
    DebugLine("WebDownloadAndRun: setup file verified (" + std::string(expected.empty() ? "token" : "SHA-256 and token") +
              "): " + setupFile);
    return std::string();
}

}  // namespace

void WebDownloadAndRun(const std::string& extractFolder, const std::string& location,
                       const std::string& setupFileName) {
    TGFileInfo& own = OwnPackage();
    const bool quiet = HasCmdParam("/hide") || own.QuietMode();
    const std::string localPath = WebLocalPath(location, setupFileName);
    std::string setupFile, source, error;
    bool attempted = false;
    if (FileExists(localPath)) {
        setupFile = source = localPath;  // a copy beside the stub: no question, no download
        DebugLine("WebDownloadAndRun: setup file beside the stub: " + setupFile);
    } else {
        setupFile = TempDir(true) + setupFileName;
        source = WebSetupUrl(location, setupFileName);
        DebugLine("WebDownloadAndRun: downloading " + source + " to " + setupFile);
        error = FetchSetupFile(own, source, setupFile, quiet, attempted);
    }

    if (error.empty()) {
        // The setup file lies in a folder others can write to (the user's temp folder, the folder of
        // a download). Held open with writers and renames denied from before it is hashed until it
        // has been extracted, it cannot be swapped or changed between the check and the extraction.
        ScopedHandle hold(CreateFileA(setupFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hold) {
            error = "Cannot open the setup file " + setupFile + "<P><P>" + LastErrorText();
        } else {
            error = VerifySetupFile(own, setupFile, source);
            if (error.empty()) ExtractAndRun(extractFolder, setupFile, std::string(), GetCmdParams(), !quiet);
        }
    }
    // What this run downloaded goes, whatever became of it; a copy found beside the stub stays.
    if (attempted) DeleteFileA(setupFile.c_str());

    if (!error.empty() && error != kDeclined) {
        DebugLine(IntToStr(GetCurrentProcessId()) + " WebDownloadAndRun: " + error);
        SetStubExitCode(kStubFailureExitCode);
        const FlowTexts t(own);
        MsgBoxError(0, error, t.error, t.charset, t.buttons);
    }
}

bool WriteWebAgentImage(const std::string& target) {
    std::string content = ReadFilePart(OwnPath(), 0);
    if (content.empty()) return false;
    if (!MakeWebAgentImage(content)) return false;
    return WriteExtractedFile(target, content, FileDosTime(OwnPath()));
}

}  // namespace vel
