#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "autoupdate/UpdateDecision.h"
#include "autoupdate/UpdateTexts.h"

using namespace vel;

namespace {

// Settings as plain values; files and server sizes by path.
struct FakeSource : UpdateDecisionSource {
    int64_t versionOriginal = 5, originalStamp = 100, reAskLast = 0, reAskInterval = 0;
    int64_t infoStamp = 101, versionNew = 6, sizeOfUpdate = 1000, autoInform = 0, sizeOfInform = 0;
    std::string validVersions, location = "\\\\srv\\updates", updateName = "Update.exe", informName;
    int64_t now = 1000000;
    std::map<std::string, int64_t> files, urls;
    bool connected = false;
    std::vector<std::string> traces, runLog, asked;

    int64_t VersionOriginal() override { return versionOriginal; }
    int64_t OriginalStamp() override { return originalStamp; }
    int64_t ReAskSecondsLast() override { return reAskLast; }
    int64_t ReAskSecondsInterval() override { return reAskInterval; }
    int64_t InfoStamp() override { return infoStamp; }
    int64_t VersionNew() override { return versionNew; }
    std::string ValidVersions() override { return validVersions; }
    std::string DownloadURL_UPDATE() override { return location; }
    std::string NameOfUpdateFile() override { return updateName; }
    int64_t SizeOfUpdateFile() override { return sizeOfUpdate; }
    int64_t AutoInform() override { return autoInform; }
    std::string NameOfInformFile() override { return informName; }
    int64_t SizeOfInformFile() override { return sizeOfInform; }
    int64_t NowSeconds() override { return now; }
    int64_t FolderFileSize(const std::string& path) override {
        asked.push_back(path);
        auto it = files.find(path);
        return it == files.end() ? -1 : it->second;
    }
    bool IsConnected() override { return connected; }
    int64_t HttpFileSize(const std::string& url) override {
        asked.push_back(url);
        auto it = urls.find(url);
        return it == urls.end() ? -1 : it->second;
    }
    void Trace(const std::string& line) override { traces.push_back(line); }
    void RunLog(const std::string& line) override { runLog.push_back(line); }
};

// A source on which every test passes: the update file lies in the UNC folder with its size.
FakeSource Passing() {
    FakeSource s;
    s.files["\\\\srv\\updates\\Update.exe"] = 1000;
    return s;
}

int Decide(FakeSource& s, const UpdateDecisionMode& mode = {}, bool fetched = true) {
    int code = -1;
    std::string text;
    const bool ok = DecideUpdate(s, mode, fetched, code, text);
    EXPECT_EQ(ok, code == kReasonOk);
    EXPECT_EQ(text, UpdateReasonText(code));
    return code;
}

TEST(UpdateDecision, ReasonTextsInCodeOrder) {
    const char* texts[] = {"Error downloading .INFO file",
                           "Error reading .ORIGINAL file",
                           "Too early for retesting",
                           "New version is not higher then old version",
                           "\"Valid for version\" mismatch",
                           "Download file size error",
                           "OK"};
    for (int code = 0; code <= 6; ++code) EXPECT_EQ(UpdateReasonText(code), texts[code]) << code;
}

TEST(UpdateDecision, FirstFailingTestFixesTheCode) {
    const struct {
        const char* what;
        void (*change)(FakeSource&);
        bool fetched;
        int code;
    } cases[] = {
        {"all pass", [](FakeSource&) {}, true, 6},
        {"info not fetched", [](FakeSource&) {}, false, 0},
        {"info not fetched, nothing installed", [](FakeSource& s) { s.versionOriginal = 0; }, false, 0},
        {"no installed version", [](FakeSource& s) { s.versionOriginal = 0; }, true, 1},
        {"negative installed version", [](FakeSource& s) { s.versionOriginal = -3; }, true, 1},
        {"installed version 2^32 is 0 in 32 bits", [](FakeSource& s) { s.versionOriginal = int64_t{1} << 32; }, true, 1},
        {"same stamp, re-ask never", [](FakeSource& s) { s.infoStamp = s.originalStamp; }, true, 2},
        {"stamps differ only above 32 bits",
         [](FakeSource& s) { s.infoStamp = s.originalStamp + (int64_t{1} << 32); }, true, 2},
        {"same version", [](FakeSource& s) { s.versionNew = 5; }, true, 3},
        {"older version", [](FakeSource& s) { s.versionNew = 4; }, true, 3},
        {"new version negative in 32 bits", [](FakeSource& s) { s.versionNew = 0x80000000LL; }, true, 3},
        {"not valid for this version", [](FakeSource& s) { s.validVersions = "3,4"; }, true, 4},
        {"size off by 100", [](FakeSource& s) { s.sizeOfUpdate = 1100; }, true, 5},
        {"stops at the first failure", [](FakeSource& s) { s.versionNew = 5; s.validVersions = "1"; }, true, 3},
    };
    for (const auto& c : cases) {
        FakeSource s = Passing();
        c.change(s);
        EXPECT_EQ(Decide(s, {}, c.fetched), c.code) << c.what;
    }
}

TEST(UpdateDecision, TraceAndRunLogLines) {
    FakeSource s = Passing();
    s.versionNew = 5;
    UpdateDecisionMode mode;
    mode.processId = 4242;
    EXPECT_EQ(Decide(s, mode), 3);
    ASSERT_EQ(s.traces.size(), 1u);
    EXPECT_EQ(s.traces[0], "4242 GetOkToPerformAU=3");
    ASSERT_EQ(s.runLog.size(), 1u);
    EXPECT_EQ(s.runLog[0], "GetOkToPerformAU = 3 - New version is not higher then old version");
}

TEST(UpdateDecision, ReAskIsDueOnlyStrictlyAfterTheInterval) {
    const struct {
        int64_t last, interval, now;
        bool interactive;
        int code;
    } cases[] = {
        {1000, 86400, 1000 + 86400, false, 2},      // exactly the interval: not yet
        {1000, 86400, 1000 + 86401, false, 6},      // one second later
        {1000, 0, 99999999, false, 2},              // interval 0: never by time
        {1000, -5, 99999999, false, 2},
        {1000, 0, 1000, true, 6},                   // an interactive check passes the step
        {INT64_MAX, 10, INT64_MAX, false, 2},       // no overflow into "due"
    };
    for (const auto& c : cases) {
        FakeSource s = Passing();
        s.infoStamp = s.originalStamp;
        s.reAskLast = c.last;
        s.reAskInterval = c.interval;
        s.now = c.now;
        UpdateDecisionMode mode;
        mode.interactive = c.interactive;
        EXPECT_EQ(Decide(s, mode), c.code) << c.last << " + " << c.interval << " vs " << c.now;
    }
}

TEST(UpdateDecision, ValidVersionsMatchExactText) {
    const struct {
        const char* list;
        int64_t installed;
        bool match;
    } cases[] = {
        {"", 8, true},     {"7,8", 8, true},   {",7,8,", 8, true}, {"7, 8", 8, false},
        {"3, 4", 3, true}, {"03", 3, false},   {"18", 8, false},   {"8", 8, true},
        {"7", 8, false},
    };
    for (const auto& c : cases) {
        FakeSource s;
        s.validVersions = c.list;
        s.versionOriginal = c.installed;
        EXPECT_EQ(ValidVersionsMatch(s), c.match) << "\"" << c.list << "\" / " << c.installed;
    }
}

TEST(UpdateDecision, SizeCheckTolerance) {
    const struct {
        int64_t expected, actual;
        bool passes;
    } cases[] = {
        {1000, 1099, true},  {1000, 1100, false}, {1000, 901, true}, {1000, 900, false},
        {1000, 1000, true},  {0, 99, true},
        // Near 2 GiB: a 32-bit difference would wrap to a small number.
        {0x7FFFFFF0LL, 0x80000010LL, false},
        {-50, 0x7FFFFFC0LL, false},
        // Sizes are the low 32 bits of what was read.
        {(int64_t{1} << 32) + 1000, 1000, true},
    };
    for (const auto& c : cases) {
        FakeSource s;
        s.sizeOfUpdate = c.expected;
        s.files["\\\\srv\\updates\\Update.exe"] = c.actual;
        EXPECT_EQ(SizeCheck(s, {}, s.location, s.updateName, s.informName), c.passes)
            << c.expected << " vs " << c.actual;
        EXPECT_EQ(s.runLog.size(), c.passes ? 0u : 3u);
    }
}

TEST(UpdateDecision, SizeCheckSourcesAndLogLines) {
    {   // Web location: folder first, then the server when connected.
        FakeSource s;
        s.location = "http://127.0.0.1:8080/upd";
        s.updateName = "sub\\Update.exe";  // only the file-name part counts
        s.connected = true;
        s.urls["http://127.0.0.1:8080/upd/Update.exe"] = 1000;
        EXPECT_TRUE(SizeCheck(s, {}, s.location, s.updateName, ""));
        EXPECT_EQ(s.asked, (std::vector<std::string>{"http://127.0.0.1:8080/upd\\Update.exe",
                                                      "http://127.0.0.1:8080/upd/Update.exe"}));
    }
    {   // Not connected: the size stays -1 and the three lines name the folder path.
        FakeSource s;
        s.location = "http://127.0.0.1:8080/upd";
        EXPECT_FALSE(SizeCheck(s, {}, s.location, s.updateName, ""));
        EXPECT_EQ(s.runLog, (std::vector<std::string>{"  InfoSize=1000", "  HttpSize=-1",
                                                       "  URL=http://127.0.0.1:8080/upd\\Update.exe"}));
    }
    {   // The server gives no size.
        FakeSource s;
        s.connected = true;
        EXPECT_FALSE(SizeCheck(s, {}, "http://127.0.0.1/u", "Update.exe", ""));
        EXPECT_EQ(s.runLog[2], "  URL=http://127.0.0.1/u/Update.exe");
    }
    {   // Test mode: the test location only, never the server.
        FakeSource s;
        s.connected = true;
        s.files["C:\\Test\\Update.exe"] = 1000;
        UpdateDecisionMode mode;
        mode.testMode = true;
        mode.testLocation = "C:\\Test";
        EXPECT_TRUE(SizeCheck(s, mode, "http://127.0.0.1/u", "Update.exe", ""));
        mode.testLocation = "C:\\Empty";
        EXPECT_FALSE(SizeCheck(s, mode, "http://127.0.0.1/u", "Update.exe", ""));
        EXPECT_EQ(s.asked.back(), "C:\\Empty\\Update.exe");
        EXPECT_EQ(s.runLog[1], "  HttpSize=-1");
        s.sizeOfUpdate = 50;  // within 99 of -1
        EXPECT_TRUE(SizeCheck(s, mode, "http://127.0.0.1/u", "Update.exe", ""));
    }
    {   // Inform mode: the inform file and its size, at the update location.
        FakeSource s = Passing();
        s.autoInform = 1;
        s.informName = "News.txt";
        s.sizeOfInform = 300;
        s.files["\\\\srv\\updates\\News.txt"] = 350;
        EXPECT_EQ(Decide(s), 6);
        s.sizeOfInform = 1000;  // the update file's size no longer counts
        EXPECT_EQ(Decide(s), 5);
        s.autoInform = 2;  // only exactly 1 is inform mode
        EXPECT_EQ(Decide(s), 6);
    }
}

TEST(UpdateDecision, UpdateLocationOfAWebInfoFileIsAWebAddressOnly) {
    // An update-info file from the web names the location: a drive or UNC path is never looked at
    // (opening \\host\share hands the user's network credentials to that host).
    const struct {
        const char* location;
        bool infoFromWeb;
        bool used;
    } cases[] = {
        {"\\\\evil\\share", true, false},
        {"//evil/share", true, false},
        {"\\\\?\\UNC\\evil\\share", true, false},
        {"C:\\Updates", true, false},
        {"file://evil/share", true, false},
        {"http:\\\\evil\\share", true, false},
        {"HTTPS://example.test/upd", true, true},
        {"http://127.0.0.1:8080/upd", true, true},
        {"\\\\srv\\updates", false, true},  // an update-info file from a folder names any location
        {"C:\\Updates", false, true},
    };
    for (const auto& c : cases) {
        FakeSource s;
        s.location = c.location;
        s.connected = true;
        s.files[std::string(c.location) + "\\Update.exe"] = 1000;
        s.urls[std::string(c.location) + "/Update.exe"] = 1000;
        UpdateDecisionMode mode;
        mode.infoFromWeb = c.infoFromWeb;
        EXPECT_EQ(UpdateLocationUsable(c.location, c.infoFromWeb), c.used) << c.location;
        EXPECT_EQ(Decide(s, mode), c.used ? 6 : 5) << c.location;
        if (!c.used) {
            EXPECT_TRUE(s.asked.empty()) << c.location;
            EXPECT_EQ(s.runLog[0], "ERROR: DownloadURL_UPDATE is not a web address, not used: " + std::string(c.location));
        }
    }
    // Test mode takes its own location, from the machine's settings, whatever the file names.
    FakeSource s;
    s.location = "\\\\evil\\share";
    s.files["C:\\Test\\Update.exe"] = 1000;
    UpdateDecisionMode mode;
    mode.infoFromWeb = true;
    mode.testMode = true;
    mode.testLocation = "C:\\Test";
    EXPECT_EQ(Decide(s, mode), 6);
}

}  // namespace
