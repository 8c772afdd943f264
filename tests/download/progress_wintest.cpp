// The progress sink and the download relay moving real progress bars.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "download/CommUtils.h"

using namespace vel;

namespace {

constexpr UINT kPing = WM_APP + 7;
int g_pings = 0;

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPing) {
        ++g_pings;
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// A hidden window holding a main bar and an activity bar, registered with the sink.
class Bars : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VelProgressHost";
        RegisterClassA(&wc);  // fails harmlessly when a previous test registered it
        host = CreateWindowExA(0, "VelProgressHost", "progress", WS_OVERLAPPEDWINDOW, 0, 0, 400, 120, nullptr, nullptr,
                               wc.hInstance, nullptr);
        mainBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 10, 300, 16, host, nullptr,
                                  wc.hInstance, nullptr);
        activityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 40, 46, 13, host, nullptr,
                                      wc.hInstance, nullptr);
        ASSERT_TRUE(host && mainBar && activityBar);
        SetProgressBars(mainBar, activityBar);
    }
    void TearDown() override {
        SetProgressBars(nullptr, nullptr);
        if (host) DestroyWindow(host);
    }

    static int Pos(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)); }
    static int Low(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0)); }
    static int High(HWND bar) { return static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)); }

    HWND host = nullptr, mainBar = nullptr, activityBar = nullptr;
};

TEST_F(Bars, SetUpTakesLow16BitsOfMaximum) {
    struct Case {
        int32_t maximum, position, step;
        int high;
    } cases[] = {
        {70000, 3, 2, 4464},  // 70000 modulo 65536
        {10, 0, 1, 10},
        {65535, 1, 1, 65535},
    };
    for (const Case& c : cases) {
        ProgressSink(0, 0, c.maximum, c.position, c.step, "");
        EXPECT_EQ(Low(mainBar), 0);
        EXPECT_EQ(High(mainBar), c.high) << c.maximum;
        EXPECT_EQ(Pos(mainBar), c.position);
        ProgressSink(1, 0, 0, 0, 0, "ignored text");
        EXPECT_EQ(Pos(mainBar), c.position + c.step) << "one step of the set-up step size";
        EXPECT_EQ(Low(activityBar), 0);
        EXPECT_EQ(High(activityBar), 5);
    }
}

TEST_F(Bars, ActivityBarCyclesThroughZeroToFive) {
    ProgressSink(0, 0, 100, 0, 1, "");
    EXPECT_EQ(Pos(activityBar), 0);
    // The counter carries over from earlier downloads, so follow it from wherever it stands.
    std::vector<int> seen;
    for (int i = 0; i < 12; ++i) {
        ProgressSink(1, 0, 0, 0, 0, "");
        seen.push_back(Pos(activityBar));
    }
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 6) << "step " << i;
    EXPECT_EQ(Pos(mainBar), 12);

    // Set-up puts the bar back to 0 but keeps the counter.
    ProgressSink(0, 0, 100, 0, 1, "");
    EXPECT_EQ(Pos(activityBar), 0);
    ProgressSink(1, 0, 0, 0, 0, "");
    EXPECT_EQ(Pos(activityBar), (seen.back() + 1) % 6);

    ProgressSink(7, 0, 50, 9, 3, "");  // unknown action: nothing moves
    EXPECT_EQ(High(mainBar), 100);
    EXPECT_EQ(Pos(mainBar), 1);
}

TEST_F(Bars, MissingBarsAreSkipped) {
    ProgressSink(0, 0, 40, 5, 1, "");
    SetProgressBars(nullptr, activityBar);
    ProgressSink(0, 0, 90, 2, 1, "");
    ProgressSink(1, 0, 0, 0, 0, "");
    EXPECT_EQ(High(mainBar), 40) << "an unregistered bar must not move";
    EXPECT_EQ(Pos(mainBar), 5);
    SetProgressBars(nullptr, nullptr);
    ProgressSink(1, 0, 0, 0, 0, "");
}

TEST_F(Bars, DownloadRelayDrivesBarsAndPumpsMessages) {
    TProgBar* relay = EnsureDownloadRelay();
    ASSERT_NE(relay, nullptr);
    EXPECT_EQ(EnsureDownloadRelay(), relay);
    EXPECT_FALSE(relay->cancel);

    // A 5-byte download read one byte at a time: range 0..6 from position 1, five steps to the top.
    relay->SetRange(1, 6);
    EXPECT_EQ(High(mainBar), 6);
    EXPECT_EQ(Pos(mainBar), 1);
    relay->SetCaption("setup.exe");
    for (int i = 0; i < 5; ++i) {
        g_pings = 0;
        PostMessageA(host, kPing, 0, 0);
        relay->Step("x/5 BytesArr");
        EXPECT_EQ(g_pings, 1) << "the relay's waits dispatch the thread's messages";
    }
    EXPECT_EQ(Pos(mainBar), 6);

    relay->Finish(0, 0);
    EXPECT_EQ(High(mainBar), 0);
    EXPECT_EQ(Pos(mainBar), 0);
}

}  // namespace
