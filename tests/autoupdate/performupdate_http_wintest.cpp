// The agent's fetch from a web update location on the loopback test servers
// (tests/servers/with-servers.sh starts them): each kind over HTTP, the update file over HTTPS,
// a broken transfer with and without the user's confirmation, a download the user aborts, a drive
// or UNC location that cannot be reached, and an HTML error page served in place of a file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autoupdate/Agent_win.h"
#include "autoupdate/UpdateDecision_win.h"
#include "autoupdate/UpdateSettings.h"
#include "stub/StubWindow.h"
#include "support/AgentFixture_win.h"
#include "util/DebugLog.h"
#include "support/TestServers_win.h"

namespace vel {
namespace {

using testsupport::AgentInstall;
using testsupport::AnnounceSize;
using testsupport::BoxDriver;
using testsupport::BuildUpdatePackage;
using testsupport::HttpUrl;
using testsupport::HttpsUrl;
using testsupport::FaultUrl;
using testsupport::InformText;
using testsupport::ReadWholeFile;
using testsupport::SeenBox;
using testsupport::ServerFile;
using testsupport::WriteWholeFile;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class AgentFetchHttp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::ServersUp()) << "run this test through tests/servers/with-servers.sh";
        ASSERT_TRUE(agent.Ready());
        ASSERT_TRUE(agent.WriteOriginal("[AutoUpdate]\r\ns3=Abgebrochen\r\ns4=Nicht gefunden\r\ns5=Keine Verbindung\r\n"));
    }
    AgentInstall agent;
};

TEST_F(AgentFetchHttp, EachKindOverHttpAndTheUpdateOverHttps) {
    ASSERT_EQ(BuildUpdatePackage(ServerFile("www\\AgentUpdate.exe"), "P7"), "");
    ASSERT_TRUE(WriteWholeFile(ServerFile("www\\Agent.inform"), InformText("P7", "Welcome to version 6")));
    ASSERT_TRUE(WriteWholeFile(ServerFile("www\\Agent.info"), "[NewSetup]\r\nVersionNew=6\r\n"));
    testsupport::TrustedTestCa ca;
    ASSERT_TRUE(ca.Added());
    const struct {
        std::string location;
        const char* name;
        int kind;
    } cases[] = {
        {HttpUrl(""), "Agent.info", kFetchInfo},
        {HttpUrl(""), "AgentUpdate.exe", kFetchUpdate},
        {HttpUrl(""), "Agent.inform", kFetchInform},
        {HttpsUrl("VEL_HTTPS_PORT", ""), "AgentUpdate.exe", kFetchUpdate},
    };
    BoxDriver boxes;
    for (const auto& c : cases) {
        DeleteFileA(agent.File(c.name).c_str());
        ASSERT_TRUE(agent.WriteInfo(AnnounceSize("[NewSetup]\r\n", c.kind, ServerFile(std::string("www\\") + c.name))));
        std::string error;
        EXPECT_TRUE(DownloadFileAU(c.location, c.name, c.kind, error)) << c.location << " " << c.name << ": " << error;
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadWholeFile(agent.File(c.name)), ReadWholeFile(ServerFile(std::string("www\\") + c.name)))
            << c.location << " " << c.name;
    }
    EXPECT_TRUE(boxes.Seen().empty());
}

// A transfer that breaks off: with confirmation the user learns where it failed ("s5" and the
// address), without it the shot fails quietly. Nothing is left in the agent's folder.
TEST_F(AgentFetchHttp, BrokenTransferIsReportedOnlyWhenTheUserConfirmsDownloads) {
    for (bool confirm : {false, true}) {
        ASSERT_TRUE(agent.WriteInfo(confirm ? "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n" : ""));
        const std::vector<std::string> before = agent.Names();
        BoxDriver boxes;
        std::string error;
        EXPECT_FALSE(DownloadFileAU(FaultUrl("/drop/5000"), "100", kFetchUpdate, error));
        EXPECT_NE(error, "");
        EXPECT_EQ(agent.Names(), before);
        const std::vector<SeenBox> seen = boxes.Seen();
        ASSERT_EQ(seen.size(), confirm ? 1u : 0u);
        if (confirm) {
            EXPECT_TRUE(Has(seen[0].text, "Keine Verbindung")) << seen[0].text;
            EXPECT_TRUE(Has(seen[0].text, FaultUrl("/drop/5000/100"))) << seen[0].text;
        }
    }
}

// The user closes the agent's window while the update file trickles in: the window's close
// handler sets the download abort flag. With confirmation the user sees "s3" alone (no address);
// without it the shot ends quietly. Nothing is left in the agent's folder.
TEST_F(AgentFetchHttp, DownloadAbortedByTheUserIsReportedWithTheAbortText) {
    for (bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "confirm" : "no confirm");
        ASSERT_TRUE(agent.WriteInfo(confirm ? "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n" : ""));
        const std::vector<std::string> before = agent.Names();
        BoxDriver boxes;
        // A close request a second into the transfer (100000 bytes, 1000 every 200 ms: 20 s).
        const UINT_PTR timer = SetTimer(nullptr, 0, 1000, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            CloseMainWindow();
        });
        ASSERT_NE(timer, 0u);
        const DWORD start = GetTickCount();
        std::string error;
        EXPECT_FALSE(DownloadFileAU(FaultUrl("/trickle/100000/1000"), "200", kFetchUpdate, error));
        KillTimer(nullptr, timer);
        EXPECT_LT(GetTickCount() - start, 10000u) << "the abort ends the transfer";
        EXPECT_NE(error, "");
        EXPECT_EQ(agent.Names(), before);
        const std::vector<SeenBox> seen = boxes.Seen();
        ASSERT_EQ(seen.size(), confirm ? 1u : 0u);
        if (confirm) {
            EXPECT_TRUE(Has(seen[0].text, "Abgebrochen")) << seen[0].text;
            EXPECT_FALSE(Has(seen[0].text, "trickle")) << seen[0].text;
        }
    }
}

// A drive or UNC location that is not there: with confirmation the user sees "s4" and the place;
// without it nothing is shown.
TEST_F(AgentFetchHttp, UnreachableFolderLocationIsReportedAsNotFound) {
    // Folder update locations come from an update-info file that lies in a folder itself.
    AgentInstall agent{"P7", testsupport::InfoFrom::Folder};
    ASSERT_TRUE(agent.WriteOriginal("[AutoUpdate]\r\ns3=Abgebrochen\r\ns4=Nicht gefunden\r\ns5=Keine Verbindung\r\n"));
    const std::string missing = agent.File("no-such-folder");
    for (const std::string& location : {missing, std::string("\\\\127.0.0.1\\no-such-share")}) {
        for (bool confirm : {false, true}) {
            SCOPED_TRACE(location + (confirm ? " confirm" : ""));
            ASSERT_TRUE(agent.WriteInfo(confirm ? "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\n" : ""));
            const std::vector<std::string> before = agent.Names();
            BoxDriver boxes;
            std::string error;
            EXPECT_FALSE(DownloadFileAU(location, "Update.exe", kFetchUpdate, error));
            EXPECT_NE(error, "");
            EXPECT_EQ(agent.Names(), before);
            const std::vector<SeenBox> seen = boxes.Seen();
            ASSERT_EQ(seen.size(), confirm ? 1u : 0u);
            if (confirm) {
                EXPECT_TRUE(Has(seen[0].text, "Nicht gefunden")) << seen[0].text;
                EXPECT_TRUE(Has(seen[0].text, location)) << seen[0].text;
                EXPECT_FALSE(Has(seen[0].text, "Keine Verbindung")) << seen[0].text;
            }
        }
    }
}

// An update-info file from the web names a share or a drive folder as its update location (a
// man-in-the-middle's file, say): the decision refuses it and the fetch never opens it, although
// a file of the announced size lies there (Wine maps \\host\share to dosdevices/unc/host/share).
TEST_F(AgentFetchHttp, WebInfoFileCannotPointTheAgentAtAShareOrADrive) {
    const std::string image = ReadWholeFile(agent.File("Agent.exe"));
    ASSERT_FALSE(image.empty());
    char prefix[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH), 0u) << "the test plants a share under Wine";
    std::string unc = std::string("Z:") + prefix + "/dosdevices/unc";
    for (char& c : unc)
        if (c == '/') c = '\\';
    for (const std::string& d : {unc, unc + "\\evilhost", unc + "\\evilhost\\share"}) CreateDirectoryA(d.c_str(), nullptr);
    const std::string planted = unc + "\\evilhost\\share\\Update.exe";
    ASSERT_TRUE(WriteWholeFile(planted, image));
    const std::string drive = agent.File("drive-folder");
    CreateDirectoryA(drive.c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(drive + "\\Update.exe", image));
    ASSERT_EQ(ReadWholeFile("\\\\evilhost\\share\\Update.exe"), image) << "the share is reachable";

    ASSERT_TRUE(InfoFromWeb());
    const std::string runLog = RunLogFileName();
    ASSERT_FALSE(runLog.empty());
    SetRunLogEnabled(true);
    for (const std::string& location : {std::string("\\\\evilhost\\share"), std::string("//evilhost/share"), drive}) {
        SCOPED_TRACE(location);
        ASSERT_TRUE(agent.WriteOriginal("[OriginalSetup]\r\nVersionOriginal=5\r\n"));
        ASSERT_TRUE(agent.WriteInfo("[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\nDownloadURL_UPDATE=" + location +
                                    "\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=" + std::to_string(image.size()) +
                                    "\r\nVersionNew=6\r\nStamp=7\r\n"));
        const std::vector<std::string> before = agent.Names();
        DeleteFileA(runLog.c_str());
        BoxDriver boxes;
        UpdateDecisionMode mode;
        mode.infoFromWeb = InfoFromWeb();
        int code = -1;
        std::string text;
        EXPECT_FALSE(GetOkToPerformAU(mode, true, code, text));
        EXPECT_EQ(code, kReasonSizeError);
        std::string error;
        EXPECT_FALSE(DownloadFileAU(location, "Update.exe", kFetchUpdate, error));
        EXPECT_FALSE(PerformAutoUpdate());
        EXPECT_EQ(agent.Names(), before);
        EXPECT_TRUE(boxes.Seen().empty());
        const std::string log = ReadWholeFile(runLog);
        EXPECT_TRUE(Has(log, "ERROR: DownloadURL_UPDATE is not a web address, not used: " + location)) << log;
        EXPECT_FALSE(Has(log, "Download START")) << log;
    }
    SetRunLogEnabled(false);
    DeleteFileA(runLog.c_str());
    DeleteFileA(planted.c_str());
}

// An HTML error page in place of a file (status 200 from the fault server, the 404 page of the
// file server): for the update-info file the fetch fails with the page's explanation; as an update
// or inform file it is deleted and explained as a missing file rather than a bad token, whether
// the user confirms downloads or not.
TEST_F(AgentFetchHttp, ErrorPageInPlaceOfAFile) {
    // Sizes announced as a published file has them (a page is well within them).
    ASSERT_TRUE(agent.WriteInfo("[NewSetup]\r\nSizeOfUpdateFile=100000\r\n[AutoInform]\r\nSizeOfInformFile=100000\r\n"));
    std::string error;
    EXPECT_FALSE(DownloadFileAU(FaultUrl(""), "errorpage", kFetchInfo, error));
    EXPECT_TRUE(Has(error, "404 File Not Found")) << error;

    const struct {
        std::string location;
        const char* name;
        int kind;
    } cases[] = {
        {FaultUrl(""), "errorpage", kFetchUpdate},
        {HttpUrl(""), "Missing.exe", kFetchUpdate},
        {HttpUrl(""), "Missing.inform", kFetchInform},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> before = agent.Names();
        BoxDriver boxes;
        EXPECT_FALSE(DownloadFileAU(c.location, c.name, c.kind, error)) << c.name;
        EXPECT_EQ(error, "");
        EXPECT_EQ(agent.Names(), before) << c.name;
        const std::vector<SeenBox> seen = boxes.Seen();
        ASSERT_EQ(seen.size(), 1u) << c.name;
        EXPECT_TRUE(Has(seen[0].text, "404 File Not Found")) << seen[0].text;
        EXPECT_FALSE(Has(seen[0].text, "Bad Secret Token!")) << seen[0].text;
    }
}

}  // namespace
}  // namespace vel
