#include <gtest/gtest.h>

#include "autoupdate/UpdateTexts.h"
#include "package/PackageFormat.h"

using namespace vel;

namespace {

TEST(UpdateTexts, QuestionKeysByConfirmationAndForce) {
    const struct {
        bool confirmInstall, downloadForce;
        const char* tail;
    } cases[] = {
        {false, false, "s12"},
        {true, false, "s13"},
        {false, true, "s18"},
        {true, true, "s19"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadTextTailKey(c.confirmInstall, c.downloadForce), c.tail)
            << c.confirmInstall << " " << c.downloadForce;
    EXPECT_EQ(InstallTextKey(false), "s14");
    EXPECT_EQ(InstallTextKey(true), "s20");
}

TEST(UpdateTexts, ProgramNameReplacedEverywhereCaseSensitively) {
    EXPECT_EQ(WithProgramName("PROG_NAME 5 replaces PROG_NAME 4, not prog_name", "Atlas"),
              "Atlas 5 replaces Atlas 4, not prog_name");
    EXPECT_EQ(WithProgramName("no name", "Atlas"), "no name");
    EXPECT_EQ(WithProgramName("PROG_NAME", ""), "");
}

TEST(UpdateTexts, FetchNameIsAFileNameInTheAgentFolder) {
    const struct {
        const char* name;
        const char* want;
    } cases[] = {
        {"Update.exe", "Update.exe"},
        {"C:\\Dist\\Update.exe", "Update.exe"},
        {"sub/dir/Update.exe", "Update.exe"},
        {"..\\..\\Windows\\System32\\evil.dll", "evil.dll"},
        {"../../evil.dll", "evil.dll"},
        {"D:evil.dll", "evil.dll"},
        {"", ""},
        {"..", ""},
        {"dir\\..", ""},
        {"dir/.", ""},
        {". .", ""},
        {"folder\\", ""},
        {".hidden", ".hidden"},
    };
    for (const auto& c : cases) EXPECT_EQ(FetchFileName(c.name), c.want) << "\"" << c.name << "\"";
}

TEST(UpdateTexts, FailureTextByAbortDriveOrAddress) {
    const struct {
        bool aborted;
        const char* source;
        const char* want;
    } cases[] = {
        {true, "C:\\Dist\\Update.exe", "aborted"},
        {true, "http://host/Update.exe", "aborted"},
        {false, "C:\\Dist\\Update.exe", "missing<P><P>C:\\Dist\\Update.exe"},
        {false, "\\\\server\\share\\Update.exe", "missing<P><P>\\\\server\\share\\Update.exe"},
        {false, "http://host/Update.exe", "no download<P><P>http://host/Update.exe"},
        {false, "\\single\\Update.exe", "no download<P><P>\\single\\Update.exe"},
        {false, "Update.exe", "no download<P><P>Update.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FetchFailureText(c.aborted, c.source, "aborted", "missing", "no download"), c.want) << c.source;
}

TEST(UpdateTexts, SourcesJoinLocationAndName) {
    EXPECT_EQ(FolderSource("C:\\Dist", "Update.exe"), "C:\\Dist\\Update.exe");
    EXPECT_EQ(HttpSource("http://127.0.0.1/up", "Update.exe"), "http://127.0.0.1/up/Update.exe");
    EXPECT_EQ(FetchedFileAlteredMessage("http://h/U.exe"),
              "The downloaded file is damaged or has been altered.<P><P>http://h/U.exe");
}

TEST(UpdateTexts, ProductTokenMustDecodeOnBothSidesAndMatchExactly) {
    const std::string own = ScrambleItem("Token-7");
    EXPECT_TRUE(ProductTokenMatches(own, "Token-7", true));
    EXPECT_FALSE(ProductTokenMatches(own, "token-7", true));
    EXPECT_FALSE(ProductTokenMatches(own, "Token-7 ", true));
    EXPECT_FALSE(ProductTokenMatches(own, "Token-7", false));
    // An agent whose own token does not decode accepts nothing, not even the filler it would make.
    EXPECT_FALSE(ProductTokenMatches("zzzzzzzzzzzz", "", true));
    EXPECT_FALSE(ProductTokenMatches("", "", true));
    // The inform file's field, through the reader the agent uses.
    const TokenedText inform = SplitTokenedText("|" + ScrambleItem("Token-7") + "|a|b|Welcome to version 5");
    EXPECT_TRUE(ProductTokenMatches(own, inform.token, inform.tokenDecoded));
    const TokenedText other = SplitTokenedText("|" + ScrambleItem("Other") + "|a|b|Welcome");
    EXPECT_FALSE(ProductTokenMatches(own, other.token, other.tokenDecoded));
}

TEST(UpdateTexts, ShutDownMethodByExactText) {
    const struct {
        const char* text;
        ShutDownMethod want;
    } cases[] = {
        {"Issue a Message Box", ShutDownMethod::AskUser},
        {"Using WM_CLOSE", ShutDownMethod::Close},
        {"Using WM_QUIT", ShutDownMethod::Quit},
        {"Using Terminate Process", ShutDownMethod::Terminate},
        {"Don't Shut Down", ShutDownMethod::DontShutDown},
        {"using wm_close", ShutDownMethod::Other},
        {"Using WM_CLOSE ", ShutDownMethod::Other},
        {"", ShutDownMethod::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseShutDownMethod(c.text), c.want) << "\"" << c.text << "\"";
}

TEST(UpdateTexts, RestartCommandLineQuotesTheAgent) {
    EXPECT_EQ(RestartCommandLine("C:\\Program Files\\Atlas\\", "AtlasAgent.exe", "|255|1|255|255|255|255|255|255|"),
              "\"C:\\Program Files\\Atlas\\AtlasAgent.exe\" /_ZZ=99 /WAIT=10 "
              "/TRANSIENT=|255|1|255|255|255|255|255|255|");
    EXPECT_EQ(RestartCommandLine("C:\\A\\", "D:\\Build\\Agent.exe", "|"), "\"C:\\A\\Agent.exe\" /_ZZ=99 /WAIT=10 /TRANSIENT=|");
}

TEST(UpdateTexts, OnlyWebAddressesAreOpened) {
    const struct {
        const char* address;
        bool web;
    } cases[] = {
        {"http://example.test/download", true},
        {"  HTTPS://example.test/", true},
        {"C:\\Windows\\notepad.exe", false},
        {"\\\\server\\share\\setup.exe", false},
        {"file:///C:/Windows/notepad.exe", false},
        {"mailto:someone@example.test", false},
        {"http:", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.address), c.web) << c.address;
}

}  // namespace
