// The WinINet layer against real servers on loopback (tests/servers/with-servers.sh starts them):
// nginx over HTTP and HTTPS, a fault server for the replies nginx does not give, and a recording
// proxy set as the system proxy. Served bodies hold byte i = (i * 31 + 7) mod 256.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/CommUtils.h"
#include "download/Http.h"
#include "support/PackageFixture.h"
#include "support/TestServers_win.h"
#include "util/RuntimeProc.h"
#include "util/WinHandles.h"

namespace vel {
namespace {

using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

using testsupport::Env;
using testsupport::Pattern;
using testsupport::ServerFile;
using testsupport::SystemProxy;

std::string Http(const std::string& path) { return testsupport::HttpUrl(path); }
std::string Fault(const std::string& path) { return testsupport::FaultUrl(path); }
std::string Https(const char* portVar, const std::string& path) { return testsupport::HttpsUrl(portVar, path); }

// Trusts the servers' test CA in the prefix's "Root" store for the run, and takes it out again.
class TestCa : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(testsupport::ServersUp()) << "no test CA: run this test through tests/servers/with-servers.sh";
        ca_.reset(new testsupport::TrustedTestCa);
        ASSERT_TRUE(ca_->Added());
    }
    void TearDown() override { ca_.reset(); }

private:
    std::unique_ptr<testsupport::TrustedTestCa> ca_;
};
const auto* const g_ca = ::testing::AddGlobalTestEnvironment(new TestCa);

// A relay whose sink records the events; the step hook runs inside the download.
struct Recorder {
    struct Event {
        int32_t action, maximum, position;
        std::string text;
    };
    std::vector<Event> events;
    std::function<void(const std::string&)> onStep;
    TProgBar relay{[this](int32_t action, int32_t, int32_t maximum, int32_t position, int32_t, const std::string& text) {
                       events.push_back({action, maximum, position, text});
                       if (action == 1 && onStep) onStep(text);
                   },
                   nullptr};
    int Steps() const {
        int n = 0;
        for (const Event& e : events) n += e.action == 1;
        return n;
    }
};

class HttpLayer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Env("VEL_HTTP_PORT").empty()) << "run this test through tests/servers/with-servers.sh";
        SetDownloadAbort(false);
    }
    void TearDown() override { SetDownloadAbort(false); }

    // Downloads into the scratch folder's setup.exe.
    std::string ToFile(const std::string& url, TProgBar* relay = nullptr) {
        std::string content = "stale";
        const std::string error = HTTP_DownloadFile_Incremental(0, url, local, content, relay);
        EXPECT_EQ(content, "") << "a file download leaves the content empty";
        return error;
    }

    ScratchFolder dir;
    const std::string local = dir.File("setup.exe");
};

TEST_F(HttpLayer, FileDownloadWritesThroughTheTemporaryFileAndReplacesTheOldOne) {
    ASSERT_TRUE(WriteWholeFile(local, "old setup"));
    for (const char* leftover : {"setup.exe.999", "setup.exe.12"}) ASSERT_TRUE(WriteWholeFile(dir.File(leftover), "x"));
    ASSERT_TRUE(WriteWholeFile(dir.File("setup.exe.config"), "kept"));

    // dated.bin: 1000 bytes dated 2024-03-05 14:30:20, so the temporary name is known; chunks of 100.
    const std::string temp = TempDownloadName(local, 1000, DosStampOf(2024, 3, 5, 14, 30, 20));
    Recorder rec;
    std::vector<std::string> seen;
    rec.onStep = [&](const std::string& text) {
        // Every byte received so far is in the temporary file already; the old file is untouched.
        const std::string received = text.substr(0, text.find('/'));
        seen.push_back(received + ":" + std::to_string(ReadWholeFile(temp).size()) + ":" + ReadWholeFile(local));
    };
    ASSERT_EQ(ToFile(Http("/dated.bin"), &rec.relay), "");
    EXPECT_EQ(ReadWholeFile(local), Pattern(1000));
    ASSERT_EQ(seen.size(), 10u);
    for (size_t i = 0; i < seen.size(); ++i) {
        const std::string n = std::to_string((i + 1) * 100);
        EXPECT_EQ(seen[i], n + ":" + n + ":old setup");
    }
    // Leftovers of earlier attempts are gone, other files beside it stay.
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"setup.exe", "setup.exe.config"}));

    // Range 0..11 at 1, one step per read with data; bytes below 100 KiB.
    ASSERT_FALSE(rec.events.empty());
    EXPECT_EQ(rec.events.front().action, 0);
    EXPECT_EQ(rec.events.front().maximum, 11);
    EXPECT_EQ(rec.events.front().position, 1);
    EXPECT_EQ(rec.events.back().text.substr(0, 18), "1000/1000 BytesArr");
}

TEST_F(HttpLayer, ReadSizesAndUnits) {
    struct Case {
        const char* path;
        size_t size;
        int maximum, steps;
        const char* lastText;
    } cases[] = {
        {"/small.bin", 5, 6, 5, "5/5 BytesArr"},               // reads of 1 byte
        {"/data100k.bin", 100000, 14, 13, "100000/100000 BytesArr"},
        {"/big.bin", 3 * 1024 * 1024 + 5, 14, 13, "3,072.0/3,072.0 KB"},  // reads of 256 KiB
    };
    for (const Case& c : cases) {
        Recorder rec;
        ASSERT_EQ(ToFile(Http(c.path), &rec.relay), "") << c.path;
        EXPECT_EQ(ReadWholeFile(local), Pattern(c.size)) << c.path;
        EXPECT_EQ(rec.events.front().maximum, c.maximum) << c.path;
        EXPECT_EQ(rec.Steps(), c.steps) << c.path;
        EXPECT_EQ(rec.events.back().text.substr(0, std::string(c.lastText).size()), c.lastText) << c.path;
    }
}

TEST_F(HttpLayer, StringDownloadsAndAddresses) {
    std::string content;
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Http("/data100k.bin"), "", content, nullptr), "");
    EXPECT_EQ(content, Pattern(100000));
    EXPECT_TRUE(dir.Names().empty());

    // A bare address gets "http://" in front.
    const std::string bare = "127.0.0.1:" + Env("VEL_HTTP_PORT") + "/small.bin";
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, bare, "", content, nullptr), "");
    EXPECT_EQ(content, Pattern(5));

    // Nothing listens on the port the size query of a closed server gives.
    const std::string closed = "http://127.0.0.1:1/setup.exe";
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, closed, local, content, nullptr),
              "Unable to open Internet Connection: " + closed);
    EXPECT_TRUE(dir.Names().empty());

    EXPECT_EQ(HTTP_GetFileSize(Http("/data100k.bin")), 100000);
    EXPECT_EQ(HTTP_GetFileSize(closed), -1);
    EXPECT_EQ(HTTP_GetFileSize(Fault("/chunked/10")), -1);  // no length given
    std::string reason = "x";
    EXPECT_TRUE(HTTP_IsConnected(reason));
    EXPECT_EQ(reason, "");
    EXPECT_TRUE(HTTP_IsConnected());
}

TEST_F(HttpLayer, ErrorPagesArriveAsDataAndAreRecognised) {
    // nginx's 404 page and a status-200 page of the same kind: both are what the server sent.
    for (const std::string& url : {Http("/missing/setup.exe"), Fault("/errorpage")}) {
        ASSERT_EQ(ToFile(url), "") << url;
        EXPECT_TRUE(IsHtmlErrorPage(local, "")) << url;
        EXPECT_EQ(MakeNotFoundMessage(local, "", url, "Bad Secret Token!").substr(0, 28), "<B>404 File Not Found...</B>")
            << url;
    }
    ASSERT_EQ(ToFile(Http("/data100k.bin")), "");
    EXPECT_FALSE(IsHtmlErrorPage(local, ""));
}

TEST_F(HttpLayer, HttpsWithTheSystemsCertificateChecks) {
    // Trusted: the test CA signed the certificate for localhost. Any letter case of the scheme.
    for (const std::string& url : {Https("VEL_HTTPS_PORT", "/data100k.bin"),
                                   "HTTPS://localhost:" + Env("VEL_HTTPS_PORT") + "/data100k.bin"}) {
        ASSERT_EQ(ToFile(url), "") << url;
        EXPECT_EQ(ReadWholeFile(local), Pattern(100000)) << url;
        ASSERT_TRUE(DeleteFileA(local.c_str()));
    }

    // A self-signed certificate, and the right certificate under a name it does not carry: a clear
    // error, and nothing written.
    const std::string untrusted[] = {Https("VEL_HTTPS_SELF_PORT", "/small.bin"),
                                     "https://127.0.0.1:" + Env("VEL_HTTPS_PORT") + "/small.bin"};
    for (const std::string& url : untrusted) {
        const std::string error = ToFile(url);
        EXPECT_EQ(error.rfind("Unable to open Internet Connection: " + url +
                                  " (the server's certificate could not be verified, error 120",
                              0),
                  0u)
            << error;
        EXPECT_TRUE(dir.Names().empty()) << url;
        std::string content;
        EXPECT_NE(HTTP_DownloadFile_Incremental(0, url, "", content, nullptr), "");
        EXPECT_EQ(content, "");
    }
}

TEST_F(HttpLayer, LengthMissingZeroOrShort) {
    // No Content-Length (chunked): a clean end is a complete download.
    ASSERT_EQ(ToFile(Fault("/chunked/25000")), "");
    EXPECT_EQ(ReadWholeFile(local), Pattern(25000));
    std::string content;
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/chunked/0"), "", content, nullptr), "");
    EXPECT_EQ(content, "");

    // Length 0: not found, and nothing beside the target is touched.
    ASSERT_TRUE(WriteWholeFile(dir.File("setup.exe.5"), "leftover"));
    EXPECT_EQ(ToFile(Fault("/empty")), Fault("/empty") + " --- File Not Found !");
    EXPECT_EQ(ReadWholeFile(local), Pattern(25000));
    EXPECT_EQ(ReadWholeFile(dir.File("setup.exe.5")), "leftover");
    ASSERT_TRUE(DeleteFileA(dir.File("setup.exe.5").c_str()));

    // The connection drops after 3000 of 10000 bytes: reported, and no file produced.
    ASSERT_TRUE(DeleteFileA(local.c_str()));
    EXPECT_EQ(ToFile(Fault("/drop/10000/3000")), "3000 --- Download incomplete (3000 of 10000 bytes)");
    EXPECT_TRUE(dir.Names().empty());
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/drop/10000/3000"), "", content, nullptr),
              "3000 --- Download incomplete (3000 of 10000 bytes)");
}

TEST_F(HttpLayer, LastModifiedNamesTheTemporaryFile) {
    const std::string temp = TempDownloadName(local, 1000, DosStampOf(2024, 3, 5, 14, 30, 20));
    ASSERT_NE(temp, local + ".1000");
    Recorder rec;
    bool sawTemp = false;
    rec.onStep = [&](const std::string&) { sawTemp = sawTemp || GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES; };
    ASSERT_EQ(ToFile(Fault("/lastmod/1000"), &rec.relay), "");
    EXPECT_TRUE(sawTemp);
    EXPECT_EQ(ReadWholeFile(local), Pattern(1000));
}

// Sets the abort flag on a window timer, as the stub window does on a close request.
LRESULT CALLBACK AbortOnTimer(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        KillTimer(wnd, wParam);
        SetDownloadAbort(true);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

TEST_F(HttpLayer, AbortFromAWindowMessageDuringASlowTransfer) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AbortOnTimer;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelHttpAbortTest";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(wnd);
    // 20000 bytes, 500 every 50 ms (about 2 s in all); chunks of 2000; the timer fires after 500 ms.
    SetTimer(wnd, 1, 500, nullptr);
    Recorder rec;
    const DWORD start = GetTickCount();
    EXPECT_EQ(ToFile(Fault("/trickle/20000/500/50"), &rec.relay), "Download Aborted");
    const DWORD took = GetTickCount() - start;
    DestroyWindow(wnd);
    EXPECT_TRUE(DownloadAborted());
    EXPECT_GE(rec.Steps(), 1);
    EXPECT_LT(rec.Steps(), 10);
    EXPECT_LT(took, 1500u) << "the abort ends the transfer after the current chunk";
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(HttpLayer, AbortOrCancelAfterTheLastChunk) {
    // All bytes had arrived when the flag was set: reported as aborted, the file is in place.
    Recorder rec;
    rec.onStep = [](const std::string& text) {
        if (text.rfind("5/5 ", 0) == 0) SetDownloadAbort(true);
    };
    EXPECT_EQ(ToFile(Http("/small.bin"), &rec.relay), "Download Aborted");
    EXPECT_EQ(ReadWholeFile(local), Pattern(5));

    // The relay's cancel flag ends a transfer the same way.
    SetDownloadAbort(false);
    ASSERT_TRUE(DeleteFileA(local.c_str()));
    Recorder cancel;
    cancel.onStep = [&](const std::string&) { cancel.relay.cancel = true; };
    EXPECT_EQ(ToFile(Http("/data100k.bin"), &cancel.relay), "Download Aborted");
    EXPECT_EQ(cancel.Steps(), 1);
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(HttpLayer, GoesThroughTheSystemProxy) {
    // The host name exists nowhere: only the proxy can answer it.
    {
        SystemProxy proxy("127.0.0.1:" + Env("VEL_PROXY_PORT"));
        ASSERT_EQ(ToFile("http://proxied.invalid/data100k.bin"), "");
    }
    EXPECT_EQ(ReadWholeFile(local), Pattern(100000));
    const std::string log = ReadWholeFile(ServerFile("proxy.log"));
    EXPECT_NE(log.find("GET http://proxied.invalid:80/data100k.bin HTTP/1.1"), std::string::npos) << log;
}

TEST_F(HttpLayer, UnloadFreesWinINetAndTheNextCallLoadsItAgain) {
    // (WinINet's own connection keeper may hold the module a little longer, so whether it is still
    // mapped says nothing; what counts is that every binding into it is dropped.)
    std::string content;
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Http("/small.bin"), "", content, nullptr), "");
    const unsigned bindings = RuntimeBindingCount();
    HTTP_UnloadWinINet();
    EXPECT_GT(RuntimeBindingCount(), bindings);
    HTTP_UnloadWinINet();  // nothing loaded: nothing to do
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Http("/data100k.bin"), "", content, nullptr), "");
    EXPECT_EQ(content, Pattern(100000));
}

}  // namespace
}  // namespace vel
