// The rich-text box shown for real on the test thread. A thread timer, dispatched by the box's own
// loop, finds the "VRichEditBox" window, reads what a user would see (layout, fonts, text,
// colours) and closes it, clicks its button or resizes it. Addresses are opened by the recording
// program registered as the web handler of the test's prefix.
#include "ui/RichEditBox.h"

#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/TraceCapture_win.h"
#include "support/UrlHandler_win.h"
#include "support/WindowDriver_win.h"

namespace vel {
namespace {

using testsupport::ClassOf;
using testsupport::TextOf;
using testsupport::UrlHandler;

const char kClass[] = "VRichEditBox";
const char kAddress[] = "http://127.0.0.1:9/download/product-2.0.exe";

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

struct Control {
    HWND wnd = nullptr;
    RECT rect = {};  // in the box's client coordinates
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
};

struct BoxView {
    HWND box = nullptr;
    std::string caption;
    RECT window = {};
    RECT client = {};
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    HWND owner = nullptr;
    Control text;                  // the rich-text control
    std::vector<Control> buttons;
    std::string textClass;
};

BoxView ReadBox(HWND box) {
    BoxView v;
    v.box = box;
    v.caption = TextOf(box);
    GetWindowRect(box, &v.window);
    GetClientRect(box, &v.client);
    v.style = GetWindowLongPtrA(box, GWL_STYLE);
    v.exStyle = GetWindowLongPtrA(box, GWL_EXSTYLE);
    v.owner = GetWindow(box, GW_OWNER);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Control ctl;
        ctl.wnd = c;
        GetWindowRect(c, &ctl.rect);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&ctl.rect), 2);
        ctl.style = GetWindowLongPtrA(c, GWL_STYLE);
        ctl.exStyle = GetWindowLongPtrA(c, GWL_EXSTYLE);
        if (lstrcmpiA(ClassOf(c).c_str(), "Button") == 0) {
            v.buttons.push_back(ctl);
        } else {
            v.text = ctl;
            v.textClass = ClassOf(c);
        }
    }
    return v;
}

// ---------------------------------------------------------------- driving the box

// What a driven show saw: the result, how many boxes were created, whether the driver had to
// close a box left open.
struct Shown {
    bool result = false;
    int boxesCreated = 0;
    bool leftOpen = false;
};

struct Driver {
    std::function<void(HWND box)> act;  // runs once, when the box is up; normally ends the box
    HWND box = nullptr;
    int ticksAfter = 0;
    bool leftOpen = false;
};
Driver* g_driver = nullptr;
int g_boxesCreated = 0;

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD) {
    Driver& d = *g_driver;
    if (!d.box) {
        const HWND box = FindWindowA(kClass, nullptr);
        if (!box || !IsWindowVisible(box)) return;
        d.box = box;
        d.act(box);
        return;
    }
    // A box still open 5 s after its step would hang the test: close it and say so.
    if (IsWindow(d.box) && ++d.ticksAfter > 100) {
        d.leftOpen = true;
        PostMessageA(d.box, WM_CLOSE, 0, 0);
    }
}

LRESULT CALLBACK CountBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && ClassOf(reinterpret_cast<HWND>(wParam)) == kClass) ++g_boxesCreated;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

Shown ShowDriven(const RichEditBoxArgs& args, const std::function<void(HWND)>& act) {
    Driver d;
    d.act = act;
    g_driver = &d;
    g_boxesCreated = 0;
    const HHOOK hook = SetWindowsHookExA(WH_CBT, CountBoxes, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, DriverTick);
    Shown out;
    out.result = ShowRichEditBox(args);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    g_driver = nullptr;
    out.boxesCreated = g_boxesCreated;
    out.leftOpen = d.leftOpen;
    return out;
}

void Close(HWND box) { PostMessageA(box, WM_CLOSE, 0, 0); }

RichEditBoxArgs Args(const std::string& text, const std::string& address, int w = 500, int h = 320) {
    RichEditBoxArgs a;
    a.caption = "New Version";
    a.buttonCaption = "Download";
    a.fontName = "Tahoma";
    a.fontSize = 8;
    a.width = w;
    a.height = h;
    a.address = address;
    a.text = text;
    return a;
}

// Face and height (pixels) of a font handle.
LOGFONTA FontOf(HFONT f) {
    LOGFONTA lf = {};
    if (f) GetObjectA(f, sizeof lf, &lf);
    return lf;
}

// Character format of one character of the rich-text control.
CHARFORMATA FormatAt(HWND rich, int pos) {
    CHARRANGE cr = {pos, pos + 1};
    SendMessageA(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    SendMessageA(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    return cf;
}

int ScreenDpi() {
    const HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

// ---------------------------------------------------------------- layout

// Text control over the client area less the 43-pixel strip; the button 160 x 25 centred in the
// strip, 33 pixels above the bottom. Without an address: the whole area, no button.
void ExpectLayout(const BoxView& v, bool withAddress) {
    const int w = v.client.right, h = v.client.bottom;
    EXPECT_EQ(v.text.rect.left, 3);
    EXPECT_EQ(v.text.rect.top, 0);
    EXPECT_EQ(v.text.rect.right, w);
    EXPECT_EQ(v.text.rect.bottom, withAddress ? h - 43 : h);
    ASSERT_EQ(v.buttons.size(), withAddress ? 1u : 0u);
    if (!withAddress) return;
    const RECT& b = v.buttons[0].rect;
    EXPECT_EQ(b.left, (w - 160) / 2);
    EXPECT_EQ(b.top, h - 33);
    EXPECT_EQ(Width(b), 160);
    EXPECT_EQ(Height(b), 25);
}

TEST(RichEditBox, LaysOutWindowTextAndButtonAndKeepsItOnResize) {
    struct Case {
        const char* address;
        int w, h;          // asked size
        int w2, h2;        // size after the resize
    };
    const Case cases[] = {
        {kAddress, 500, 320, 641, 417},
        {"", 480, 300, 355, 211},
        {kAddress, 301, 199, 777, 555},  // odd sizes: the centring truncates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("address \"") + c.address + "\", " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const bool withAddress = c.address[0] != '\0';
        BoxView first, resized;
        const Shown s = ShowDriven(Args("Welcome to version 5", c.address, c.w, c.h), [&](HWND box) {
            first = ReadBox(box);
            SetWindowPos(box, nullptr, 0, 0, c.w2, c.h2, SWP_NOMOVE | SWP_NOZORDER);
            resized = ReadBox(box);
            Close(box);
        });
        EXPECT_TRUE(s.result);
        EXPECT_FALSE(s.leftOpen);
        ASSERT_NE(first.box, nullptr);

        EXPECT_EQ(first.caption, "New Version");
        EXPECT_EQ(Width(first.window), c.w);
        EXPECT_EQ(Height(first.window), c.h);
        EXPECT_EQ(first.window.left, (GetSystemMetrics(SM_CXSCREEN) - c.w) / 2);
        EXPECT_EQ(first.window.top, (GetSystemMetrics(SM_CYSCREEN) - c.h) / 2);
        // Resizable, with a close box but neither minimise nor maximise box.
        EXPECT_TRUE(first.style & WS_THICKFRAME);
        EXPECT_TRUE(first.style & WS_SYSMENU);
        EXPECT_FALSE(first.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        EXPECT_TRUE(first.exStyle & WS_EX_DLGMODALFRAME);
        EXPECT_EQ(lstrcmpiA(first.textClass.c_str(), "RICHEDIT"), 0) << first.textClass;
        EXPECT_TRUE(first.text.style & ES_READONLY);
        ExpectLayout(first, withAddress);

        EXPECT_EQ(Width(resized.window), c.w2);
        EXPECT_EQ(Height(resized.window), c.h2);
        ExpectLayout(resized, withAddress);
    }
}

TEST(RichEditBox, ButtonIsTheFocusedDefaultWithTheBoxFont) {
    RichEditBoxArgs a = Args("Welcome to version 5", kAddress);
    a.fontName = "Courier New";
    a.fontSize = 11;
    a.buttonCaption = "Get it";
    HWND focus = nullptr;
    BoxView v;
    std::string caption;
    LOGFONTA font = {};
    const Shown s = ShowDriven(a, [&](HWND box) {
        v = ReadBox(box);
        focus = GetFocus();
        if (!v.buttons.empty()) {
            caption = TextOf(v.buttons[0].wnd);
            font = FontOf(reinterpret_cast<HFONT>(SendMessageA(v.buttons[0].wnd, WM_GETFONT, 0, 0)));
        }
        Close(box);
    });
    EXPECT_TRUE(s.result);
    ASSERT_EQ(v.buttons.size(), 1u);
    EXPECT_EQ(caption, "Get it");
    EXPECT_EQ(focus, v.buttons[0].wnd);
    EXPECT_EQ(v.buttons[0].style & 0x0F, BS_DEFPUSHBUTTON);
    EXPECT_STREQ(font.lfFaceName, "Courier New");
    EXPECT_EQ(font.lfHeight, -MulDiv(11, ScreenDpi(), 72));
}

// The separator line and the grey strip only with an address; the rest in the window colour.
TEST(RichEditBox, PaintsTheStripOnlyWithAnAddress) {
    for (const char* address : {kAddress, ""}) {
        SCOPED_TRACE(address);
        COLORREF line = CLR_INVALID, strip = CLR_INVALID, margin = CLR_INVALID;
        RECT client = {};
        ShowDriven(Args("Welcome to version 5", address), [&](HWND box) {
            UpdateWindow(box);
            GetClientRect(box, &client);
            const HDC dc = GetDC(box);
            line = GetPixel(dc, client.right / 4, client.bottom - 43);
            strip = GetPixel(dc, 1, client.bottom - 5);
            margin = GetPixel(dc, 1, 10);  // the column left of the text control
            ReleaseDC(box, dc);
            Close(box);
        });
        EXPECT_EQ(margin, GetSysColor(COLOR_WINDOW));
        if (address[0] != '\0') {
            EXPECT_EQ(line, GetSysColor(COLOR_3DDKSHADOW));
            EXPECT_EQ(strip, GetSysColor(COLOR_BTNFACE));
        } else {
            EXPECT_EQ(strip, GetSysColor(COLOR_WINDOW));
        }
    }
}

// ---------------------------------------------------------------- text and fonts

TEST(RichEditBox, TextFontIsVerdanaInPlaceOfTheDefaultFaceElseTheGivenOne) {
    struct Case {
        const char* fontName;
        const char* face;
    };
    const Case cases[] = {
        {"Tahoma", "Verdana"},
        {"", "Verdana"},
        {"Arial", "Arial"},
        {"tahoma", "tahoma"},  // only the exact name stands for the default face
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fontName);
        RichEditBoxArgs a = Args("Welcome to version 5", "");
        a.fontName = c.fontName;
        CHARFORMATA cf = {};
        ShowDriven(a, [&](HWND box) {
            cf = FormatAt(ReadBox(box).text.wnd, 0);
            Close(box);
        });
        EXPECT_STREQ(cf.szFaceName, c.face);
        // 15 pixels in twips (1/1440 inch); the control gives it the sign of the font's height.
        EXPECT_EQ(std::abs(cf.yHeight), MulDiv(15, 1440, ScreenDpi()));
    }
}

TEST(RichEditBox, ShowsPlainTextAsGivenAndRichTextFormatted) {
    struct Case {
        const char* text;
        const char* shown;    // what the control holds as plain text
        int boldFrom, boldTo;  // a bold run in it, or -1
    };
    const Case cases[] = {
        {"Welcome to version 5", "Welcome to version 5", -1, -1},
        {"{\\rtf1\\ansi {\\b Welcome} to version 5}", "Welcome to version 5", 0, 7},
        {"  keeps {\\rtf1 as text", "  keeps {\\rtf1 as text", -1, -1},  // no header at the start
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string shown;
        std::vector<bool> bold;
        ShowDriven(Args(c.text, kAddress), [&](HWND box) {
            const HWND rich = ReadBox(box).text.wnd;
            shown = TextOf(rich);
            for (size_t i = 0; i < shown.size(); ++i)
                bold.push_back((FormatAt(rich, static_cast<int>(i)).dwEffects & CFE_BOLD) != 0);
            Close(box);
        });
        // A trailing paragraph mark of the rich text is not part of what it shows.
        while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.pop_back();
        EXPECT_EQ(shown, c.shown);
        for (size_t i = 0; i < bold.size() && i < shown.size(); ++i)
            EXPECT_EQ(bold[i], static_cast<int>(i) >= c.boldFrom && static_cast<int>(i) < c.boldTo) << "at " << i;
    }
}

TEST(RichEditBox, RightToLeftAlignsTheTextRight) {
    for (bool rtl : {false, true}) {
        RichEditBoxArgs a = Args("Welcome to version 5", "");
        a.rightToLeft = rtl;
        Control text;
        ShowDriven(a, [&](HWND box) {
            text = ReadBox(box).text;
            Close(box);
        });
        EXPECT_EQ((text.style & ES_RIGHT) != 0, rtl);
        EXPECT_EQ((text.exStyle & WS_EX_RTLREADING) != 0, rtl);
    }
}

// ---------------------------------------------------------------- opening and closing

class RichEditBoxOpening : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        record_ = std::string(temp) + "richeditbox-opened.txt";
        before_ = SystemHandler();
        handler_.reset(new UrlHandler(testsupport::UrlRecorderPath(), record_));
        ASSERT_TRUE(handler_->Registered()) << testsupport::UrlRecorderPath();
    }
    void TearDown() override {
        handler_.reset();
        DeleteFileA(record_.c_str());
        EXPECT_EQ(SystemHandler(), before_) << "the web handler was not put back";
    }
    // The machine's open command for http addresses (Wine's browser in a fresh prefix).
    static std::string SystemHandler() {
        char buf[1024] = {};
        DWORD size = sizeof buf;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Classes\\http\\shell\\open\\command", nullptr,
                         RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
            return "(none)";
        return buf;
    }
    std::string record_, before_;
    std::unique_ptr<UrlHandler> handler_;
};

TEST_F(RichEditBoxOpening, ButtonOpensTheTrimmedAddressAndClosesTheBox) {
    bool stillOpenAfterClick = false;
    const Shown s = ShowDriven(Args("Welcome to version 5", std::string(" \t") + kAddress + "  "), [&](HWND box) {
        const BoxView v = ReadBox(box);
        if (v.buttons.empty()) return;  // the driver closes it later; the expectations below fail
        SendMessageA(v.buttons[0].wnd, BM_CLICK, 0, 0);
        stillOpenAfterClick = IsWindow(box) != FALSE;  // the close is posted, not done in the click
    });
    EXPECT_TRUE(s.result);
    EXPECT_FALSE(s.leftOpen) << "the button did not close the box";
    EXPECT_TRUE(stillOpenAfterClick);
    EXPECT_EQ(handler_->Opened(1, 10000), std::vector<std::string>{kAddress});
}

TEST_F(RichEditBoxOpening, ClosingTheBoxOpensNothing) {
    const Shown s = ShowDriven(Args("Welcome to version 5", kAddress), Close);
    EXPECT_TRUE(s.result);
    EXPECT_FALSE(s.leftOpen);
    EXPECT_EQ(s.boxesCreated, 1);
    Sleep(500);  // a wrongly started handler would have written by now
    EXPECT_TRUE(handler_->Opened().empty());
}

TEST_F(RichEditBoxOpening, WithoutTextTheAddressOpensAtOnceWithoutABox) {
    const Shown s = ShowDriven(Args("", std::string(" ") + kAddress + "\r\n"), Close);
    EXPECT_TRUE(s.result);
    EXPECT_EQ(s.boxesCreated, 0);
    EXPECT_EQ(handler_->Opened(1, 10000), std::vector<std::string>{kAddress});
}

TEST_F(RichEditBoxOpening, WithNeitherTextNorAddressNothingHappens) {
    for (const char* address : {"", "  \t "}) {
        const Shown s = ShowDriven(Args("", address), Close);
        EXPECT_FALSE(s.result);
        EXPECT_EQ(s.boxesCreated, 0);
    }
    Sleep(500);
    EXPECT_TRUE(handler_->Opened().empty());
}

// ---------------------------------------------------------------- the owner and the program's loop

int g_ownerPings = 0;
LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP + 7) {
        ++g_ownerPings;
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

void CALLBACK CloseOnTimer(HWND box, UINT, UINT_PTR id, DWORD) {
    KillTimer(box, id);
    PostMessageA(box, WM_CLOSE, 0, 0);
}

TEST(RichEditBox, OwnerStaysEnabledAndGetsItsMessagesMeanwhile) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RichEditBoxTestOwner";
    RegisterClassA(&wc);
    const HWND owner = CreateWindowExA(0, wc.lpszClassName, "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                       nullptr, wc.hInstance, nullptr);
    ASSERT_NE(owner, nullptr);
    g_ownerPings = 0;
    RichEditBoxArgs a = Args("Welcome to version 5", kAddress);
    a.owner = reinterpret_cast<std::uintptr_t>(owner);
    BoxView v;
    bool ownerEnabled = false;
    int pingsWhileUp = -1;
    const Shown s = ShowDriven(a, [&](HWND box) {
        v = ReadBox(box);
        ownerEnabled = IsWindowEnabled(owner) != FALSE;
        PostMessageA(owner, WM_APP + 7, 0, 0);
        // Closed a little later, after the box's loop has had the chance to deliver the message.
        SetTimer(box, 1, 100, CloseOnTimer);
    });
    pingsWhileUp = g_ownerPings;
    EXPECT_TRUE(s.result);
    EXPECT_EQ(v.owner, owner);
    EXPECT_TRUE(ownerEnabled);
    EXPECT_EQ(pingsWhileUp, 1);
    DestroyWindow(owner);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

TEST(RichEditBox, AQuitRequestClosesTheBoxAndIsPassedOn) {
    const Shown s = ShowDriven(Args("Welcome to version 5", kAddress), [](HWND) { PostQuitMessage(7); });
    EXPECT_TRUE(s.result);
    EXPECT_FALSE(s.leftOpen);
    EXPECT_EQ(FindWindowA(kClass, nullptr), nullptr);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 7u);
}

}  // namespace
}  // namespace vel
