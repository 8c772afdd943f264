// The announcement of a new version in the test process, on an agent installed in a scratch
// folder: the inform file fetched from a folder, its text in the rich-text box ("VRichEditBox",
// read and closed by a watcher thread), the address opened at once when there is no text, and the
// version recorded only when something was shown.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "autoupdate/Agent_win.h"
#include "autoupdate/UpdateSettings.h"
#include "package/PackageFormat.h"
#include "support/AgentFixture_win.h"
#include "support/UrlHandler_win.h"
#include "support/WindowDriver_win.h"

namespace vel {
namespace {

using testsupport::AgentInstall;
using testsupport::AnnounceSize;
using testsupport::BoxDriver;
using testsupport::ClassOf;
using testsupport::InformText;
using testsupport::SeenBox;
using testsupport::TextOf;
using testsupport::UrlHandler;
using testsupport::WriteWholeFile;

const char kAddress[] = "http://127.0.0.1:9/download/product-6.exe";

struct Announcement {
    bool shown = false;
    std::string caption, text, button;
    int width = 0, height = 0;
};

// Waits for the announcement window of this process, reads it and closes it.
class AnnouncementWatcher {
public:
    AnnouncementWatcher() : thread_([this] { Run(); }) {}
    ~AnnouncementWatcher() {
        stop_ = true;
        thread_.join();
    }
    Announcement Seen() {
        std::lock_guard<std::mutex> g(lock_);
        return seen_;
    }

private:
    void Run() {
        while (!stop_) {
            HWND box = nullptr;
            for (HWND w = FindWindowA("VRichEditBox", nullptr); w; w = FindWindowExA(nullptr, w, "VRichEditBox", nullptr)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == GetCurrentProcessId() && IsWindowVisible(w)) box = w;
            }
            if (!box) {
                Sleep(50);
                continue;
            }
            Sleep(500);  // let it lay itself out
            Announcement a;
            a.shown = true;
            a.caption = TextOf(box);
            RECT r = {};
            GetWindowRect(box, &r);
            a.width = r.right - r.left;
            a.height = r.bottom - r.top;
            for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                if (lstrcmpiA(ClassOf(c).c_str(), "Button") == 0)
                    a.button = TextOf(c);
                else
                    a.text = TextOf(c);
            }
            {
                std::lock_guard<std::mutex> g(lock_);
                seen_ = a;
            }
            PostMessageA(box, WM_CLOSE, 0, 0);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
        }
    }
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    Announcement seen_;
    std::thread thread_;
};

class AgentInform : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent.Ready());
        dist = agent.Subfolder("dist");
        ASSERT_TRUE(agent.WriteOriginal("[OriginalSetup]\r\nVersionOriginal=5\r\n[AutoUpdate]\r\ns34=Neue Version\r\n"
                                        "s35=Herunterladen\r\n"));
    }
    bool Publish(const std::string& informText, const std::string& address) {
        return WriteWholeFile(dist + "\\Product.inform", informText) &&
               agent.WriteInfo(AnnounceSize("[NewSetup]\r\nDownloadURL_UPDATE=" + dist + "\r\nVersionNew=6\r\n[General]\r\n"
                               "AutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=Product.inform\r\nDownloadURL_INFORM=" +
                               address + "\r\nAutoInformW=420\r\nAutoInformH=300\r\n",
                                            kFetchInform, dist + "\\Product.inform"));
    }
    AgentInstall agent{"P7", testsupport::InfoFrom::Folder};  // its update locations are folders
    std::string dist;
};

// The inform file's fourth field is shown as it stands, scrambled whole or not.
TEST_F(AgentInform, ShowsTheAnnouncementAndRecordsTheVersion) {
    for (bool scrambled : {true, false}) {
        ASSERT_TRUE(agent.WriteOriginal("[OriginalSetup]\r\nVersionOriginal=5\r\n[AutoUpdate]\r\ns34=Neue Version\r\n"
                                        "s35=Herunterladen\r\n"));
        ASSERT_TRUE(Publish(InformText("P7", "Welcome to version 6", scrambled), kAddress));
        AnnouncementWatcher watcher;
        EXPECT_TRUE(PerformAutoInform());
        const Announcement a = watcher.Seen();
        ASSERT_TRUE(a.shown);
        EXPECT_EQ(a.caption, "Neue Version");
        EXPECT_EQ(a.text, "Welcome to version 6");
        EXPECT_EQ(a.button, "Herunterladen");
        EXPECT_EQ(a.width, 420);
        EXPECT_EQ(a.height, 300);
        EXPECT_EQ(GetVersionOriginal(), 6);
    }
}

TEST_F(AgentInform, NoTextOpensTheAddressAtOnce) {
    UrlHandler handler(testsupport::UrlRecorderPath(), agent.File("opened.txt"));
    ASSERT_TRUE(handler.Registered());
    ASSERT_TRUE(Publish(InformText("P7", ""), kAddress));
    AnnouncementWatcher watcher;
    EXPECT_TRUE(PerformAutoInform());
    EXPECT_EQ(handler.Opened(1, 10000), std::vector<std::string>{kAddress});
    EXPECT_FALSE(watcher.Seen().shown);
    EXPECT_EQ(GetVersionOriginal(), 6);
}

// Nothing to show, a file of another product or one whose token field has no closing "|", no inform
// file named, an address that is no web page (the update-info file is not signed; the shell would
// start a program or open a share as readily): the version stays unannounced, so it is offered again.
TEST_F(AgentInform, NothingShownLeavesTheVersion) {
    const struct {
        const char* name;
        std::string text;
        const char* address;
        bool badToken;
    } cases[] = {
        {"no text, no address", InformText("P7", ""), "", false},
        {"foreign token", InformText("Q8", "Welcome to version 6"), kAddress, true},
        {"no bar after the token", "|" + ScrambleItem("P7"), kAddress, true},
        {"a program as the address", InformText("P7", ""), "C:\\windows\\notepad.exe", false},
        {"a share as the address", InformText("P7", ""), "\\\\server\\share\\setup.exe", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Publish(c.text, c.address));
        AnnouncementWatcher watcher;
        BoxDriver boxes;
        EXPECT_FALSE(PerformAutoInform());
        EXPECT_FALSE(watcher.Seen().shown);
        EXPECT_EQ(GetVersionOriginal(), 5);
        const std::vector<SeenBox> seen = boxes.Seen();
        ASSERT_EQ(seen.size(), c.badToken ? 1u : 0u);
        if (c.badToken) {
            EXPECT_NE(seen[0].text.find("Bad Secret Token!"), std::string::npos) << seen[0].text;
        }
    }
    ASSERT_TRUE(agent.WriteInfo("[NewSetup]\r\nDownloadURL_UPDATE=" + dist + "\r\nVersionNew=6\r\n"));
    EXPECT_FALSE(PerformAutoInform());
    EXPECT_EQ(GetVersionOriginal(), 5);
}

}  // namespace
}  // namespace vel
