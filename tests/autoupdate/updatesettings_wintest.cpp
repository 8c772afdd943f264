// The settings files through the system's private-profile functions, the decision over them, and
// the round trip from velpack publish to what the agent reads and decides.
#include <gtest/gtest.h>

#include <filesystem>

#include "Velpack.h"
#include "autoupdate/UpdateDecision_win.h"
#include "autoupdate/UpdateSettings.h"
#include "support/PackageFixture.h"
#include "support/VelpackFixture.h"
#include "util/StrUtils.h"
#include "util/Utils.h"

namespace vel {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

class UpdateSettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        original = dir.File("Product.original");
        info = dir.File("Product.info");
        UseSettingsFiles(original, info);
        ResetTransientOverrides();
    }
    void TearDown() override {
        UseSettingsFiles("", "");
        ResetTransientOverrides();
    }
    ScratchFolder dir;
    std::string original, info;
};

TEST_F(UpdateSettingsFiles, MissingFilesReadAsDefaults) {
    EXPECT_EQ(GetVersionOriginal(), 0);
    EXPECT_EQ(GetDownloadURL_UPDATE(), "");
    EXPECT_EQ(GetNameOfUpdateFile(), "");
    EXPECT_FALSE(GetRequestConfirmationBeforeDownload());
    EXPECT_EQ(GetMsgBoxBtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
    EXPECT_EQ(GetMsgBoxError(), "Error");
    EXPECT_EQ(GetMsgBoxConfirm(), "Confirm");
    EXPECT_EQ(GetMsgBoxAttention(), "Attention");
    EXPECT_EQ(GetMsgBoxFontName(), "Tahoma");
    EXPECT_EQ(GetMsgBoxFontSize(), 8);
    EXPECT_EQ(GetMsgBoxCharSet(), 0);
    EXPECT_EQ(GetAutoInformW(), 360);
    EXPECT_EQ(GetAutoInformH(), 360);
    const struct {
        const char* key;
        const char* want;
    } texts[] = {{"s2", ""}, {"s3", "File Download Aborted!"}, {"s4", "File not Found!"},
                 {"s5", "Unable to Download File!"}, {"s11", ""}, {"s31", "Downloading INFO File..."},
                 {"s32", "Downloading UPDATE File..."}, {"s33", "Downloading INFORM File..."},
                 {"s34", "New Version"}, {"s35", "Download"}};
    for (const auto& t : texts) EXPECT_EQ(GetUpdateText(t.key), t.want) << t.key;
    int code = -1;
    std::string text;
    EXPECT_FALSE(GetOkToPerformAU({}, true, code, text));
    EXPECT_EQ(code, 1);
}

TEST_F(UpdateSettingsFiles, ValueRulesThroughThePrivateProfileFunctions) {
    ASSERT_TRUE(WriteWholeFile(info,
                               "[newsetup]\r\nRequestConfirmationBeforeInstall=1\r\nRequestConfirmationBeforeDownload=01\r\n"
                               "VersionNew=abc\r\nSizeOfUpdateFile=0x10\r\nStamp= -7 \r\nProgramName=\"  Quoted  \"\r\n"
                               "BackgroundUpdate=1\r\nRemoveStartUpShortcut=true\r\n"
                               "[General]\r\nAutoInform=01\r\n[AutoInform]\r\nAutoInformW=500\r\n"));
    ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=9223372036854775807\r\n"
                                         "[AutoUpdate]\r\ns3=Abgebrochen\r\ns11=\r\n[MsgBox]\r\nFontSize=12\r\n"));
    EXPECT_TRUE(GetRequestConfirmationBeforeInstall());
    SetTransientOverride(kTransientConfirmInstall, 0);
    EXPECT_FALSE(GetRequestConfirmationBeforeInstall());
    SetTransientOverride(kTransientConfirmInstall, kTransientUnset);
    EXPECT_TRUE(GetRequestConfirmationBeforeInstall());
    EXPECT_FALSE(GetRequestConfirmationBeforeDownload());
    SetTransientOverride(kTransientConfirmDownload, 1);
    EXPECT_TRUE(GetRequestConfirmationBeforeDownload());
    EXPECT_TRUE(GetBackgroundUpdate());
    SetTransientOverride(kTransientBackgroundUpdate, 7);  // any value but 1 is false
    EXPECT_FALSE(GetBackgroundUpdate());
    EXPECT_FALSE(GetRemoveStartUpShortcut());
    EXPECT_EQ(GetVersionNew(), 0);
    EXPECT_EQ(GetSizeOfUpdateFile(), 0);  // no hex in these files
    EXPECT_EQ(GetInfoStamp(), -7);
    EXPECT_EQ(GetInfoProgramName(), "  Quoted  ");
    EXPECT_EQ(GetAutoInform(), 1);
    EXPECT_EQ(GetAutoInformW(), 500);
    EXPECT_EQ(GetVersionOriginal(), INT64_MAX);
    EXPECT_EQ(GetUpdateText("s3"), "Abgebrochen");
    EXPECT_EQ(GetUpdateText("s4"), "File not Found!");
    EXPECT_EQ(GetUpdateText("s11", "fallback"), "fallback");  // an empty value reads as the default
    EXPECT_EQ(GetMsgBoxFontSize(), 12);
}

TEST_F(UpdateSettingsFiles, SettersWriteDecimalsAndEchoTexts) {
    const int64_t moment = AgentSeconds(EncodeDateTime(2026, 12, 6, 14, 5, 9));
    SetProbeSecondsLast(moment);
    SetReAskSecondsLast(-86400);
    SetProbeSecondsInterval(3600);
    SetReAskSecondsInterval(-1);
    SetVersionOriginal(-5);
    SetOriginalStamp(INT32_MIN);
    EXPECT_EQ(ReadIniString(original, "OriginalSetup", "ProbeSecondsLast", ""), IntToStr(moment));
    EXPECT_EQ(ReadIniString(original, "OriginalSetup", "__ProbeSecondsLast", ""), "06-DEC-2026 14:05:09");
    EXPECT_EQ(ReadIniString(original, "OriginalSetup", "__ReAskSecondsLast", ""), "30-DEC-1899 00:00:00");
    EXPECT_EQ(GetProbeSecondsLast(), moment);
    EXPECT_EQ(GetReAskSecondsLast(), -86400);
    EXPECT_EQ(GetProbeSecondsInterval(), 3600);
    EXPECT_EQ(GetReAskSecondsInterval(), -1);
    EXPECT_EQ(ReadIniString(original, "OriginalSetup", "VersionOriginal", ""), "-5");
    EXPECT_EQ(GetOriginalStamp(), INT32_MIN);
}

// Values are kept between reads only while the file stays as it was: a file rewritten by another
// program (the same size included), replaced, or deleted is read afresh.
TEST_F(UpdateSettingsFiles, ChangedFilesAreReadAfresh) {
    ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=5\r\n"));
    ASSERT_TRUE(WriteWholeFile(info, "[NewSetup]\r\nVersionNew=6\r\n"));
    EXPECT_EQ(GetVersionOriginal(), 5);
    EXPECT_EQ(GetVersionNew(), 6);
    Sleep(20);
    ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=7\r\n"));  // same size
    EXPECT_EQ(GetVersionOriginal(), 7);
    ASSERT_TRUE(WritePrivateProfileStringA("NewSetup", "VersionNew", "12", info.c_str()));
    EXPECT_EQ(GetVersionNew(), 12);
    ASSERT_TRUE(DeleteFileA(info.c_str()));
    EXPECT_EQ(GetVersionNew(), 0);
    SetVersionOriginal(8);
    EXPECT_EQ(GetVersionOriginal(), 8);
}

TEST_F(UpdateSettingsFiles, ShortcutsGoOnlyWhenAskedAndTheSetupRan) {
    const std::string start = dir.File("Start.lnk"), check = dir.File("Check.lnk");
    ASSERT_TRUE(WriteWholeFile(original, "[UnInstall]\r\nStartUpLink=" + start + "\r\nCheckforNewUpdateLink=" + check +
                                             "\r\n"));
    ASSERT_TRUE(WriteWholeFile(info, "[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=01\r\n"));
    for (bool tokenDeleted : {false, true}) {
        ASSERT_TRUE(WriteWholeFile(start, "x"));
        ASSERT_TRUE(WriteWholeFile(check, "x"));
        NoteShortcutsBeforeEngine();
        RemoveShortcutsAfterEngine(tokenDeleted);
        EXPECT_EQ(fs::exists(start), !tokenDeleted);
        EXPECT_TRUE(fs::exists(check));  // "01" is not a set flag
    }
}

TEST_F(UpdateSettingsFiles, DecisionOverTheFiles) {
    ASSERT_TRUE(WriteWholeFile(dir.File("Update.exe"), std::string(1000, 'u')));
    const std::string infoText = "[NewSetup]\r\nDownloadURL_UPDATE=" + dir.Path() +
                                 "\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=1000\r\nVersionNew=6\r\nStamp=2\r\n";
    ASSERT_TRUE(WriteWholeFile(info, infoText));
    const struct {
        const char* original;
        bool interactive;
        int code;
    } cases[] = {
        {"VersionOriginal=5\r\nStamp=1\r\n", false, 6},
        {"VersionOriginal=5\r\nStamp=2\r\n", false, 2},
        {"VersionOriginal=5\r\nStamp=2\r\n", true, 6},
        {"VersionOriginal=5\r\nStamp=2\r\nReAskSecondsInterval=60\r\nReAskSecondsLast=1000\r\n", false, 6},
        {"VersionOriginal=6\r\nStamp=1\r\n", false, 3},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(original, std::string("[OriginalSetup]\r\n") + c.original));
        UpdateDecisionMode mode;
        mode.interactive = c.interactive;
        int code = -1;
        std::string text;
        EXPECT_EQ(GetOkToPerformAU(mode, true, code, text), c.code == 6);
        EXPECT_EQ(code, c.code) << c.original;
        EXPECT_EQ(text, UpdateReasonText(c.code));
    }
    // One byte more than the tolerance: code 5. A web location cannot be checked yet: code 5 too.
    ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=5\r\nStamp=1\r\n"));
    ASSERT_TRUE(WriteWholeFile(dir.File("Update.exe"), std::string(1100, 'u')));
    int code = -1;
    std::string text;
    GetOkToPerformAU({}, true, code, text);
    EXPECT_EQ(code, 5);
    ASSERT_TRUE(WriteWholeFile(dir.File("Update.exe"), std::string(1099, 'u')));
    GetOkToPerformAU({}, true, code, text);
    EXPECT_EQ(code, 6);
    UpdateDecisionMode test;
    test.testMode = true;
    test.testLocation = dir.File("empty");
    GetOkToPerformAU(test, true, code, text);
    EXPECT_EQ(code, 5);
}

// The agent's side of what velpack publish wrote: every field through the accessors, and the
// decision that velpack info predicted.
TEST_F(UpdateSettingsFiles, PublishRoundTrip) {
    const std::string package = dir.File("upd\\Update.exe");
    ASSERT_EQ(testsupport::BuildSmallPackage(dir, package, "P9"), "");

    std::string out, err;
    ASSERT_EQ(RunVelpack({"publish", "--package", package, "--product-token", "P9", "--version", "12",
                          "--valid-versions", "10,11", "--location", dir.File("upd"), "--program-name", "Tool",
                          "--running-process", "<InstallDir>\\Tool.exe", "--shutdown-method", "Close",
                          "--confirm-install", "--background-update", "--inform-finish", "--remove-startup-shortcut",
                          "--output", info},
                         out, err, false),
              0)
        << err;
    IniFile ini;
    std::string error;
    ASSERT_TRUE(ini.Load(info, error));
    const UpdateInfo w = ReadUpdateInfo(ini);
    EXPECT_EQ(GetDownloadURL_UPDATE(), w.downloadUrlUpdate);
    EXPECT_EQ(GetNameOfUpdateFile(), "Update.exe");
    EXPECT_EQ(GetSizeOfUpdateFile(), static_cast<int64_t>(fs::file_size(package)));
    EXPECT_EQ(ReadIniString(info, "NewSetup", "SHA256OfUpdateFile", ""), w.sha256OfUpdateFile);
    EXPECT_EQ(w.sha256OfUpdateFile.size(), 64u);
    EXPECT_EQ(GetVersionNew(), 12);
    EXPECT_EQ(GetInfoStamp(), w.stamp);
    EXPECT_EQ(GetValidVersions(), "10,11");
    EXPECT_EQ(GetInfoProgramName(), "Tool");
    EXPECT_EQ(GetRunningProcess(), "<InstallDir>\\Tool.exe");
    EXPECT_EQ(GetShutDownMethod(), "Close");
    EXPECT_EQ(GetRequestConfirmationBeforeDownload(), false);
    EXPECT_EQ(GetRequestConfirmationBeforeDownloadForce(), false);
    EXPECT_EQ(GetRequestConfirmationBeforeInstall(), true);
    EXPECT_EQ(GetRequestConfirmationBeforeInstallForce(), false);
    EXPECT_EQ(GetBackgroundUpdate(), true);
    EXPECT_EQ(GetRestartProcess(), false);
    EXPECT_EQ(GetInformFinish(), true);
    EXPECT_EQ(GetRemoveStartUpShortcut(), true);
    EXPECT_EQ(GetRemoveCheckForNewUpdateShortcut(), false);
    EXPECT_EQ(GetAutoInform(), 0);
    EXPECT_EQ(GetNameOfInformFile(), "");

    const struct {
        int version, stampDelta;
    } states[] = {{11, -1}, {11, 0}, {12, -1}, {9, -1}, {0, -1}};
    for (const auto& s : states) {
        const int64_t stamp = w.stamp + s.stampDelta;
        ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=" + IntToStr(s.version) +
                                                 "\r\nStamp=" + IntToStr(stamp) + "\r\n"));
        out.clear();
        ASSERT_EQ(RunVelpack({"info", "--installed-version", IntToStr(s.version), "--installed-stamp", IntToStr(stamp),
                              info},
                             out, err, false),
                  0);
        const std::string marker = "GetOkToPerformAU = ";
        const size_t at = out.find(marker);
        ASSERT_NE(at, std::string::npos) << out;
        const int predicted = out[at + marker.size()] - '0';
        int code = -1;
        std::string text;
        GetOkToPerformAU({}, true, code, text);
        EXPECT_EQ(code, predicted) << "installed " << s.version << ", stamp " << stamp << "\n" << out;
    }
}

}  // namespace
}  // namespace vel
