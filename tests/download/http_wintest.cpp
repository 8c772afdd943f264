// The WinINet layer against real servers on loopback (tests/servers/with-servers.sh starts them):
// nginx over HTTP and HTTPS, a fault server for the replies nginx does not give, and a recording
// proxy set as the system proxy. Served bodies hold byte i = (i * 31 + 7) mod 256.
#include <windows.h>
#include <psapi.h>

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

// A token of its own for each use of the fault server's stateful routes.
std::string NewToken() {
    static int n = 0;
    return std::to_string(GetCurrentProcessId()) + "x" + std::to_string(GetTickCount()) + "x" + std::to_string(++n);
}

// The requests the fault server saw for a token, probes for the first byte left out.
std::vector<std::string> ServerRequests(const std::string& token) {
    std::string log;
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/log/" + token), "", log, nullptr), "");
    std::vector<std::string> lines;
    for (size_t at = 0; at < log.size();) {
        const size_t end = log.find('\n', at);
        const std::string line = log.substr(at, end - at);
        if (line.find(" range=bytes=0-0 ") == std::string::npos) lines.push_back(line);
        at = end == std::string::npos ? log.size() : end + 1;
    }
    return lines;
}

// The version the "replace" route serves after its first drop.
std::string ReplacedPattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 17 + 3) & 0xFF);
    return s;
}

TEST_F(HttpLayer, BrokenTransfersResumeOrStartOver) {
    const size_t mib = 1048576, big = 3 * mib + 5;
    struct Case {
        std::string route;     // under /res/TOKEN/
        std::string expected;  // the file in the end
        std::string retry;     // the second request's Range and If-Range
    } cases[] = {
        {"1048576/drop/30", Pattern(mib), "range=bytes=314572- if-range=\"v1-1048576\""},
        {"1048576/drop/95", Pattern(mib), "range=bytes=996147- if-range=\"v1-1048576\""},
        {"big.bin/drop/30", Pattern(big), "range=bytes=943719- if-range=\"v1-3145733\""},  // a www/ file
        // No ranges: the whole file again over what had arrived.
        {"1048576/norange/30", Pattern(mib), "range=bytes=314572- if-range=\"v1-1048576\""},
        // Another version after the drop: If-Range brings it whole.
        {"1048576/replace/30", ReplacedPattern(mib), "range=bytes=314572- if-range=\"v1-1048576\""},
        // A weak ETag and no date: no safe resume, the second request starts over.
        {"1048576/weak/30", Pattern(mib), "range=- if-range=-"},
        // Silence after half the file: resumed at once, the rest arrives.
        {"1048576/stall/50", Pattern(mib), "range=bytes=524288- if-range=\"v1-1048576\""},
    };
    for (const Case& c : cases) {
        const std::string token = NewToken();
        Recorder rec;
        DownloadLimits limits;
        limits.stallMs = 1500;
        std::string content;
        const DWORD start = GetTickCount();
        ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/res/" + token + "/" + c.route), local, content, &rec.relay,
                                                limits),
                  "")
            << c.route;
        EXPECT_LT(GetTickCount() - start, 5000u) << c.route << ": retried at once";
        EXPECT_TRUE(ReadWholeFile(local) == c.expected) << c.route;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"setup.exe"}) << c.route;
        const std::vector<std::string> requests = ServerRequests(token);
        ASSERT_EQ(requests.size(), 2u) << c.route;
        EXPECT_NE(requests[0].find(" range=- "), std::string::npos) << requests[0];
        EXPECT_NE(requests[1].find(c.retry), std::string::npos) << requests[1];
        // The progress shows the whole file: set up once unless the file started over, and it ends full.
        int setups = 0;
        for (const Recorder::Event& e : rec.events) setups += e.action == 0 && e.maximum > 0;
        EXPECT_EQ(setups, c.retry == "range=- if-range=-" || c.route.find("norange") != std::string::npos ||
                                  c.route.find("replace") != std::string::npos
                              ? 2
                              : 1)
            << c.route;
        const std::string full = c.expected.size() == big ? "3,072.0/3,072.0 KB" : "1,024.0/1,024.0 KB";
        EXPECT_EQ(rec.events.back().text.substr(0, full.size()), full) << c.route;
        ASSERT_TRUE(DeleteFileA(local.c_str()));
    }
}

TEST_F(HttpLayer, FastReadsKeepTheirByteCounts) {
    // A read that WinINet's own thread finishes while the call is still returning must keep its
    // count: a count lost looks like an early end, and the download would go on in a second
    // request. Sixty downloads of 64 MiB through the relay, in reads of 256 KB, meet that moment
    // several times (one download in ten did before); every download is the probe and one request.
    const size_t size = 64 * 1048576;
    ASSERT_TRUE(WriteWholeFile(ServerFile("www/reads.bin"), Pattern(size)));
    const std::string plan = "-," + NewToken();
    const int downloads = 60;
    for (int i = 0; i < downloads; ++i) ASSERT_EQ(ToFile(testsupport::RelayUrl("/cut/" + plan + "/reads.bin")), "") << i;
    EXPECT_EQ(testsupport::RelayCountsOf(plan + "/reads.bin").requests, 2 * downloads);
    const std::string got = ReadWholeFile(local);
    EXPECT_EQ(got.size(), size);
    EXPECT_TRUE(got == Pattern(size));
}

TEST_F(HttpLayer, RetriesAreBoundedAndPaused) {
    // Every reply drops at half the file and names no version, so each attempt starts over and
    // brings too little to go again at once: five attempts count, with pauses of 2, 4, 8 and 16 s
    // (+-50 %) between them, and no file is left.
    const std::string token = NewToken();
    const DWORD start = GetTickCount();
    EXPECT_EQ(ToFile(Fault("/res/" + token + "/10000/status/200")), "200 --- Download incomplete (5000 of 10000 bytes)");
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 15000u);
    EXPECT_LT(took, 48000u);
    EXPECT_TRUE(dir.Names().empty());
    const std::vector<std::string> requests = ServerRequests(token);
    ASSERT_EQ(requests.size(), 5u);
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_NE(requests[i].find("range=- if-range=-"), std::string::npos) << requests[i];  // no validator

    // A 4xx answer is not tried again.
    const std::string gone = NewToken();
    EXPECT_EQ(ToFile(Fault("/res/" + gone + "/10000/status/404")), "404 --- Download incomplete (5000 of 10000 bytes)");
    EXPECT_EQ(ServerRequests(gone).size(), 1u);
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(HttpLayer, SilentServersAndSizeBounds) {
    DownloadLimits limits;
    limits.stallMs = 1500;
    struct Case {
        std::string url;
        std::string error;
        bool intoFile;
    } cases[] = {
        // Silent before the headers and after a few bytes: one attempt, ended at the deadline.
        {Fault("/silent"), "silent --- Error downloading file (the server sent nothing for 1500 ms)", true},
        {Fault("/res/" + NewToken() + "/100000/stall/10"),
         "10 --- Error downloading file (the server sent nothing for 1500 ms)", true},
        {Fault("/res/" + NewToken() + "/100000/stall/10"),
         "10 --- Error downloading file (the server sent nothing for 1500 ms)", false},
    };
    for (const Case& c : cases) {
        std::string content;
        const DWORD start = GetTickCount();
        EXPECT_EQ(HTTP_DownloadFile_Incremental(0, c.url, c.intoFile ? local : "", content, nullptr, limits), c.error);
        const DWORD took = GetTickCount() - start;
        EXPECT_GE(took, 1400u) << c.url;
        EXPECT_LT(took, 3000u) << c.url;
        EXPECT_TRUE(dir.Names().empty()) << c.url;
    }

    // Larger than the bound, by its length or while it arrives: ended at once, nothing kept
    // beyond the bound.
    limits = DownloadLimits();
    limits.maxBytes = 1048576;
    const std::string tooLarge = " --- Error downloading file (the server sends more than the 1048576 bytes expected)";
    std::string content;
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/res/" + NewToken() + "/1048577"), local, content, nullptr, limits),
              "1048577" + tooLarge);
    EXPECT_TRUE(dir.Names().empty());
    ASSERT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/res/" + NewToken() + "/1048576"), "", content, nullptr, limits),
              "");
    EXPECT_EQ(content.size(), limits.maxBytes);

    auto memoryInfo = reinterpret_cast<BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    ASSERT_TRUE(memoryInfo);
    PROCESS_MEMORY_COUNTERS before{}, after{};
    content.clear();
    content.shrink_to_fit();
    ASSERT_TRUE(memoryInfo(GetCurrentProcess(), &before, sizeof before));
    const DWORD start = GetTickCount();
    EXPECT_EQ(HTTP_DownloadFile_Incremental(0, Fault("/endless"), "", content, nullptr, limits), "endless" + tooLarge);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_LE(content.size(), limits.maxBytes);
    ASSERT_TRUE(memoryInfo(GetCurrentProcess(), &after, sizeof after));
    EXPECT_LT(after.PeakPagefileUsage, before.PeakPagefileUsage + 32 * 1048576) << "memory grew past the bound";
}

TEST_F(HttpLayer, AbortOrCancelWhileTheServerIsSilent) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AbortOnTimer;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelHttpSilentAbortTest";
    RegisterClassA(&wc);
    // Before the headers and in the middle of a reply; by the abort flag (a window message) and
    // by the relay's cancel.
    for (const std::string& route : {std::string("/silent"), "/res/" + NewToken() + "/100000/stall/10"}) {
        for (bool byCancel : {false, true}) {
            SetDownloadAbort(false);
            HWND wnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
            ASSERT_TRUE(wnd);
            Recorder rec;
            if (!byCancel) SetTimer(wnd, 1, 500, nullptr);
            const DWORD start = GetTickCount();
            if (byCancel) {
                // The relay's cancel set by a message handled during the wait.
                struct Cancel {
                    static void CALLBACK Fire(HWND w, UINT, UINT_PTR id, DWORD) {
                        KillTimer(w, id);
                        reinterpret_cast<TProgBar*>(GetWindowLongPtrA(w, GWLP_USERDATA))->cancel = true;
                    }
                };
                SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&rec.relay));
                SetTimer(wnd, 2, 500, Cancel::Fire);
            }
            EXPECT_EQ(ToFile(Fault(route), &rec.relay), "Download Aborted") << route;
            const DWORD took = GetTickCount() - start;
            DestroyWindow(wnd);
            EXPECT_GE(took, 450u) << route;
            EXPECT_LT(took, 1500u) << route << (byCancel ? " (cancel)" : " (abort)");
            EXPECT_TRUE(dir.Names().empty()) << route;
        }
    }
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
