// The decision's size check against a web update location on the loopback test servers
// (tests/servers/with-servers.sh starts them). data100k.bin there is 100000 bytes long.
#include <gtest/gtest.h>

#include <windows.h>

#include "autoupdate/UpdateDecision_win.h"
#include "autoupdate/UpdateSettings.h"
#include "support/PackageFixture.h"
#include "util/StrUtils.h"

namespace vel {
namespace {

using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

std::string Env(const char* name) {
    char buffer[1024];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

TEST(UpdateDecisionHttp, SizeFromTheServer) {
    ASSERT_FALSE(Env("VEL_HTTP_PORT").empty()) << "run this test through tests/servers/with-servers.sh";
    ScratchFolder dir;
    const std::string original = dir.File("P.original"), info = dir.File("P.info");
    UseSettingsFiles(original, info);
    ASSERT_TRUE(WriteWholeFile(original, "[OriginalSetup]\r\nVersionOriginal=1\r\nStamp=1\r\n"));
    const std::string location = "http://127.0.0.1:" + Env("VEL_HTTP_PORT");
    const struct {
        const char* name;
        int64_t size;
        int code;
    } cases[] = {
        {"data100k.bin", 100000, 6},
        {"data100k.bin", 100099, 6},
        {"data100k.bin", 100100, 5},
        {"missing.bin", 100000, 5},  // not there: no size, or the error page's
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(info, "[NewSetup]\r\nDownloadURL_UPDATE=" + location + "\r\nNameOfUpdateFile=" +
                                             c.name + "\r\nSizeOfUpdateFile=" + IntToStr(c.size) +
                                             "\r\nVersionNew=2\r\nStamp=2\r\n"));
        int code = -1;
        std::string text;
        GetOkToPerformAU({}, true, code, text);
        EXPECT_EQ(code, c.code) << c.name << " announced as " << c.size;
    }
    // In test mode the server is never asked.
    ASSERT_TRUE(WriteWholeFile(info, "[NewSetup]\r\nDownloadURL_UPDATE=" + location +
                                         "\r\nNameOfUpdateFile=data100k.bin\r\nSizeOfUpdateFile=100000\r\nVersionNew=2\r\n"
                                         "Stamp=2\r\n"));
    UpdateDecisionMode test;
    test.testMode = true;
    test.testLocation = dir.File("none");
    int code = -1;
    std::string text;
    GetOkToPerformAU(test, true, code, text);
    EXPECT_EQ(code, 5);
    UseSettingsFiles("", "");
}

}  // namespace
}  // namespace vel
