// The network-free rules of a download: addresses, names, read sizes, texts, the judgement of a
// finished transfer and the HTML error-page test.
#include "download/HttpText.h"

#include <gtest/gtest.h>

#include "support/PackageFixture.h"

namespace vel {
namespace {

using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

TEST(HttpText, UrlRule) {
    struct Case {
        const char* given;
        const char* opened;
    } cases[] = {
        {"host/dir/setup.exe", "http://host/dir/setup.exe"},
        {"http://host/setup.exe", "http://host/setup.exe"},
        {"HTTP://host/setup.exe", "HTTP://host/setup.exe"},
        {"https://host/setup.exe", "https://host/setup.exe"},
        {"HtTpS://host/setup.exe", "HtTpS://host/setup.exe"},
        // "http://" anywhere keeps the address as it is.
        {"proxy/?u=http://host/x", "proxy/?u=http://host/x"},
        // "https://" counts only at the start.
        {"host/?u=https://x", "http://host/?u=https://x"},
        {"https:/host/x", "http://https:/host/x"},
        {"", "http://"},
    };
    for (const Case& c : cases) EXPECT_EQ(DownloadUrl(c.given), c.opened) << c.given;
}

TEST(HttpText, DisplayNameAndTemporaryName) {
    EXPECT_EQ(DownloadDisplayName("http://host/a/b/setup.exe"), "setup.exe");
    EXPECT_EQ(DownloadDisplayName("host\\share\\setup.exe"), "setup.exe");
    EXPECT_EQ(DownloadDisplayName("http://host/a\\b/c\\setup.exe"), "setup.exe");
    EXPECT_EQ(DownloadDisplayName("http://host/dir/"), "");
    EXPECT_EQ(DownloadDisplayName("setup.exe"), "setup.exe");

    EXPECT_EQ(TempDownloadName("C:\\dl\\setup.exe", 1000, 0), "C:\\dl\\setup.exe.1000");
    // Length plus stamp, 32-bit unsigned with wrap-around.
    const uint32_t stamp = DosStampOf(2024, 3, 5, 14, 30, 20);
    EXPECT_EQ(stamp, (((2024u - 1980u) << 9 | 3u << 5 | 5u) << 16) | (14u << 11 | 30u << 5 | 10u));
    EXPECT_EQ(TempDownloadName("f", 1000, stamp), "f." + std::to_string(stamp + 1000u));
    EXPECT_EQ(TempDownloadName("f", 0xFFFFFFFFu, 2), "f.1");
    EXPECT_EQ(TempDownloadName("f", 0xFFFFFFFFu, 0), "f.4294967295");
}

TEST(HttpText, DosStampRejectsWhatDosCannotHold) {
    struct Case {
        int y, mo, d, h, mi, s;
    } invalid[] = {
        {0, 0, 0, 0, 0, 0},        // what a failed header query leaves
        {1979, 12, 31, 23, 59, 59},
        {2108, 1, 1, 0, 0, 0},
        {2024, 13, 1, 0, 0, 0},
        {2023, 2, 29, 0, 0, 0},
        {2024, 1, 1, 24, 0, 0},
    };
    for (const Case& c : invalid) EXPECT_EQ(DosStampOf(c.y, c.mo, c.d, c.h, c.mi, c.s), 0u) << c.y << "-" << c.mo;
    EXPECT_EQ(DosStampOf(1980, 1, 1, 0, 0, 0), (1u << 5 | 1u) << 16);
    EXPECT_NE(DosStampOf(2107, 12, 31, 23, 59, 58), 0u);
}

TEST(HttpText, ChunkRangeAndUnits) {
    struct Case {
        uint32_t length, chunk;
        int32_t maximum;
    } cases[] = {
        {0, 1, 1},
        {5, 1, 6},  // six reads, five with data; range 0..6
        {99, 9, 12},
        {50000, 5000, 11},
        {81920, 8192, 11},
        {100000, 8192, 14},
        {1048576, 8192, 129},  // the largest file read in chunks of 8192
        {1048577, 104857, 12},
        {3 * 1048576 + 5, 262144, 14},
        {0xFFFFFFFFu, 262144, 16385},  // no length given
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadChunkSize(c.length), c.chunk) << c.length;
        EXPECT_EQ(ProgressMaximum(c.length, c.chunk), c.maximum) << c.length;
    }
    EXPECT_EQ(ProgressMaximum(10, 0), 11);

    EXPECT_FALSE(ProgressInKB(100000));
    EXPECT_FALSE(ProgressInKB(102400));
    EXPECT_TRUE(ProgressInKB(102401));
    EXPECT_FALSE(ProgressInMB(10485760));
    EXPECT_TRUE(ProgressInMB(10485761));
}

TEST(HttpText, ErrorTexts) {
    EXPECT_STREQ(kWinInetInitError, "Unable to initialize \"WinINet.dll\"");
    EXPECT_STREQ(kDownloadAborted, "Download Aborted");
    EXPECT_EQ(OpenConnectionError("http://h/x", ""), "Unable to open Internet Connection: http://h/x");
    EXPECT_EQ(OpenConnectionError("https://h/x", "why"), "Unable to open Internet Connection: https://h/x (why)");
    EXPECT_EQ(FileNotFoundError("http://h/x"), "http://h/x --- File Not Found !");
    EXPECT_EQ(DownloadError("setup.exe", ""), "setup.exe --- Error downloading file");
    EXPECT_EQ(DownloadError("setup.exe", "reset"), "setup.exe --- Error downloading file (reset)");
    EXPECT_EQ(DownloadIncompleteError("setup.exe", 4096, 100000),
              "setup.exe --- Download incomplete (4096 of 100000 bytes)");

    for (uint32_t code : {12037u, 12038u, 12045u, 12057u, 12169u, 12170u}) {
        EXPECT_TRUE(IsCertificateError(code)) << code;
        EXPECT_NE(CertificateErrorReason(code).find(std::to_string(code)), std::string::npos);
    }
    for (uint32_t code : {0u, 12002u, 12007u, 12029u, 12044u}) EXPECT_FALSE(IsCertificateError(code)) << code;
}

TEST(HttpText, JudgeDownloadEnd) {
    struct Case {
        const char* what;
        bool lengthKnown;
        uint32_t length;
        uint64_t received;
        bool failed;
        const char* reason;
        bool aborted;
        const char* error;
        bool inPlace;
    } cases[] = {
        {"complete", true, 1000, 1000, false, "", false, "", true},
        {"dropped connection", true, 1000, 400, false, "", false,
         "setup.exe --- Download incomplete (400 of 1000 bytes)", false},
        {"more than announced", true, 1000, 1200, false, "", false,
         "setup.exe --- Download incomplete (1200 of 1000 bytes)", false},
        {"no length, clean end", false, 0xFFFFFFFFu, 777, false, "", false, "", true},
        {"no length, empty body", false, 0xFFFFFFFFu, 0, false, "", false, "", true},
        {"read failed", true, 1000, 400, true, "reset", false, "setup.exe --- Error downloading file (reset)", false},
        {"read failed without reason", false, 0xFFFFFFFFu, 400, true, "", false,
         "setup.exe --- Error downloading file", false},
        {"read failed after all bytes", true, 1000, 1000, true, "", false, "setup.exe --- Error downloading file",
         false},
        {"aborted early", true, 1000, 400, false, "", true, "Download Aborted", false},
        {"aborted after all bytes", true, 1000, 1000, false, "", true, "Download Aborted", true},
        {"aborted without length", false, 0xFFFFFFFFu, 400, false, "", true, "Download Aborted", false},
        {"aborted and failed", true, 1000, 400, true, "reset", true, "Download Aborted", false},
    };
    for (const Case& c : cases) {
        const DownloadEnd end =
            JudgeDownloadEnd("setup.exe", c.lengthKnown, c.length, c.received, c.failed, c.reason, c.aborted);
        EXPECT_EQ(end.errorText, c.error) << c.what;
        EXPECT_EQ(end.putInPlace, c.inPlace) << c.what;
    }
}

TEST(HttpText, HtmlErrorPage) {
    struct Case {
        const char* content;
        bool page;
    } cases[] = {
        {"<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>", true},
        {"<TITLE>Error 404</TITLE>", true},
        {"<title id=x>File 404 missing</title>", true},  // "<TITLE" without its ">"
        {"<HTML><HEAD><TITLE>Welcome</TITLE></HEAD>", true},  // head structure, any title
        {"<html><HEAD><Title>Access denied</tItLe>", true},
        {"<title>Welcome</title> 404", false},  // 404 only after the closing tag
        {"404 <title>x</title>", false},
        {"<HEAD><HTML><TITLE>x</TITLE>", false},  // tags out of order
        {"<html><head><title>x", false},           // no closing title
        {"MZ\x90 binary setup file 404 </title>", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsHtmlErrorPage(std::string(c.content)), c.page) << c.content;

    // Only the first 1000 characters count.
    const std::string late = std::string(990, ' ') + "<title>404</title>";
    EXPECT_FALSE(IsHtmlErrorPage(late));
    EXPECT_TRUE(IsHtmlErrorPage(late.substr(10)));
}

TEST(HttpText, HtmlErrorPageInFileAndNotFoundMessage) {
    ScratchFolder dir;
    const std::string page = dir.File("setup.exe");
    ASSERT_TRUE(WriteWholeFile(page, "<html><head><title>404 Not Found</title></head></html>"));
    const std::string binary = dir.File("real.exe");
    ASSERT_TRUE(WriteWholeFile(binary, std::string(1000, 'x') + "<title>404</title>"));

    // An existing file replaces the content; a missing one leaves the content to decide.
    EXPECT_TRUE(IsHtmlErrorPage(page, ""));
    EXPECT_FALSE(IsHtmlErrorPage(binary, "<title>404</title>"));
    EXPECT_TRUE(IsHtmlErrorPage(dir.File("missing.exe"), "<title>404</title>"));
    EXPECT_FALSE(IsHtmlErrorPage("", "plain text"));

    const std::string expected =
        "<B>404 File Not Found...</B><P><P>URL:  http://h/setup.exe."
        "<P><P>Please make sure the file is available and access is allowed to this file.";
    EXPECT_EQ(MakeNotFoundMessage(page, "", "http://h/setup.exe", "Bad Secret Token!"), expected);
    EXPECT_EQ(MakeNotFoundMessage(binary, "", "http://h/setup.exe", "Bad Secret Token!"), "Bad Secret Token!");
    EXPECT_EQ(MakeNotFoundMessage("", "<TITLE>404</TITLE>", "http://h/setup.exe", ""), expected);
    EXPECT_EQ(MakeNotFoundMessage("", "version=5", "http://h/info.ini", ""), "");
}

}  // namespace
}  // namespace vel
