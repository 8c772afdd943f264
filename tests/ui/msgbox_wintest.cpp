// The message box driven for real: the box runs its modal loop on the test thread while a driver
// thread finds the "VMsgBox" window, reads its caption, text, controls and layout, and presses
// keys or buttons by posting messages.
#include "ui/MsgBox.h"

#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/RunProgram_win.h"
#include "support/WindowDriver_win.h"
#include "ui/Markup.h"

namespace vel {
namespace {

using testsupport::ClassOf;
using testsupport::TextOf;

struct Control {
    HWND wnd = nullptr;
    std::string cls;
    std::string text;
    RECT rect = {};  // in the box's client coordinates
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
};

struct BoxView {
    bool found = false;
    HWND box = nullptr;
    std::string caption;
    RECT window = {};
    RECT client = {};
    Control text;
    std::vector<Control> buttons;  // left to right
    HWND focus = nullptr;
    std::vector<std::pair<int, int>> bold;  // bold runs of the rich-text control
    bool closeGreyed = false;
    bool leftOpen = false;  // the driver had to close the box itself
};

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

LRESULT SendTo(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR r = 0;
    SendMessageTimeoutA(w, msg, wp, lp, SMTO_BLOCK, 3000, &r);
    return static_cast<LRESULT>(r);
}

// Bold runs of the visible characters (a line break reads as the format before it, so it is skipped).
std::vector<std::pair<int, int>> BoldRuns(HWND rich, const std::string& text) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(text.size()); ++i) {
        if (text[static_cast<size_t>(i)] == '\r' || text[static_cast<size_t>(i)] == '\n') continue;
        CHARRANGE cr = {i, i + 1};
        SendTo(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
        CHARFORMATA cf = {};
        cf.cbSize = sizeof cf;
        SendTo(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
        if (!(cf.dwEffects & CFE_BOLD)) continue;
        if (!runs.empty() && runs.back().second == i)
            runs.back().second = i + 1;
        else
            runs.emplace_back(i, i + 1);
    }
    return runs;
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    return GetGUIThreadInfo(thread, &gti) ? gti.hwndFocus : nullptr;
}

// The box as a user would see it; withFormat also reads the bold runs of the rich text.
BoxView ReadBox(HWND box, DWORD thread, bool withFormat = true) {
    BoxView v;
    v.found = true;
    v.box = box;
    v.caption = TextOf(box);
    GetWindowRect(box, &v.window);
    GetClientRect(box, &v.client);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Control ctl;
        ctl.wnd = c;
        ctl.cls = ClassOf(c);
        ctl.text = TextOf(c);
        GetWindowRect(c, &ctl.rect);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&ctl.rect), 2);
        ctl.style = GetWindowLongPtrA(c, GWL_STYLE);
        ctl.exStyle = GetWindowLongPtrA(c, GWL_EXSTYLE);
        if (lstrcmpiA(ctl.cls.c_str(), "Button") == 0)
            v.buttons.push_back(ctl);
        else
            v.text = ctl;
    }
    std::sort(v.buttons.begin(), v.buttons.end(),
              [](const Control& a, const Control& b) { return a.rect.left < b.rect.left; });
    v.focus = FocusOf(thread);
    if (withFormat && lstrcmpiA(v.text.cls.c_str(), "RICHEDIT") == 0) {
        v.bold = BoldRuns(v.text.wnd, v.text.text);
        SendTo(v.text.wnd, EM_SETSEL, 0, 0);
    }
    const UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
    v.closeGreyed = state != static_cast<UINT>(-1) && (state & MF_GRAYED);
    return v;
}

// What the driver does once the box is up.
struct Step {
    enum Kind { kAlt, kKey, kClick, kTyped } kind;
    unsigned value;
};
Step Alt(char c) { return Step{Step::kAlt, static_cast<unsigned char>(c)}; }
Step Key(unsigned vk) { return Step{Step::kKey, vk}; }
Step Click(int button) { return Step{Step::kClick, static_cast<unsigned>(button)}; }
// A key typed on the keyboard itself (SendInput): a key code, plus 0x100 to hold Alt.
Step Typed(unsigned vk) { return Step{Step::kTyped, vk}; }

void TypeKeys(unsigned vk, bool alt) {
    std::vector<INPUT> in;
    auto add = [&in](WORD key, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = key;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (alt) add(VK_MENU, false);
    add(static_cast<WORD>(vk), false);
    add(static_cast<WORD>(vk), true);
    if (alt) add(VK_MENU, true);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

struct Outcome {
    int result = -1;
    BoxView view;
    int64_t ms = 0;  // how long the show took
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Shows a box with show() on this thread; a driver thread waits until the box is complete
// (expectedButtons buttons, the default one set), reads it, calls inspect, then runs the steps.
// A box still open 5 s after the steps is closed by the driver (view.leftOpen).
Outcome Drive(const std::function<int()>& show, int expectedButtons, const std::vector<Step>& steps,
              const std::function<void(const BoxView&)>& inspect = nullptr) {
    Outcome out;
    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> showing(true);
    std::thread driver([&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && showing; ++i) {
            box = FindWindowA("VMsgBox", nullptr);
            if (box && IsWindowVisible(box)) {
                const BoxView v = ReadBox(box, thread, false);
                bool ready = static_cast<int>(v.buttons.size()) == expectedButtons && Width(v.window) >= 360;
                if (expectedButtons > 0)
                    ready = ready && std::any_of(v.buttons.begin(), v.buttons.end(), [](const Control& b) {
                                return (b.style & 0x0F) == BS_DEFPUSHBUTTON;
                            });
                if (ready) break;
            }
            box = nullptr;
            Sleep(10);
        }
        if (!box) return;
        SendTo(box, WM_NULL, 0, 0);  // the box's loop is running
        out.view = ReadBox(box, thread);
        if (inspect) inspect(out.view);
        for (const Step& s : steps) {
            HWND focus = FocusOf(thread);
            if (!focus) focus = box;
            switch (s.kind) {
                case Step::kAlt: PostMessageA(focus, WM_SYSCHAR, s.value, 0x20000001); break;
                case Step::kKey: PostMessageA(focus, WM_KEYDOWN, s.value, 1); break;
                case Step::kClick:
                    if (s.value < out.view.buttons.size()) PostMessageA(out.view.buttons[s.value].wnd, BM_CLICK, 0, 0);
                    break;
                case Step::kTyped:
                    TypeKeys(s.value & 0xFF, (s.value & 0x100) != 0);
                    break;
            }
            Sleep(30);
        }
        for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
        if (IsWindow(box)) {
            out.view.leftOpen = true;
            PostMessageA(box, WM_CLOSE, 0, 0);
        }
    });
    const int64_t start = NowMs();
    out.result = show();
    out.ms = NowMs() - start;
    showing = false;
    driver.join();
    return out;
}

std::function<int()> Box(MsgOwner mode, const std::string& text, const std::string& caption, uint32_t flags,
                         const std::string& buttons = "", int charset = 0, int timeoutMs = 0) {
    return [=] { return ShowMsgBox(mode, text, caption, timeoutMs, flags, charset, buttons); };
}

std::vector<std::string> Captions(const BoxView& v) {
    std::vector<std::string> c;
    for (const Control& b : v.buttons) c.push_back(b.text);
    return c;
}

// ---------------------------------------------------------------- tests

TEST(MsgBox, ButtonSetsLayoutAndDefaultButton) {
    const struct {
        uint32_t flags;
        std::vector<std::string> captions;
        int defaultIndex;
        int clicked;  // result of a click on the last button
    } cases[] = {
        {0x000, {"&OK"}, 0, 1},
        {0x100, {"&OK"}, 0, 1},  // second default of one button wraps around
        {0x101, {"&OK", "&Cancel"}, 1, 2},
        {0x002, {"&Abort", "&Retry", "&Ignore"}, 0, 5},
        {0x203, {"&Yes", "&No", "&Cancel"}, 2, 2},
        {0x104, {"&Yes", "&No"}, 1, 7},
        {0x005, {"&Retry", "&Cancel"}, 0, 2},
    };
    for (const auto& c : cases) {
        const int n = static_cast<int>(c.captions.size());
        const Outcome o = Drive(Box(kMsgActive, "Short", "Buttons", c.flags), n, {Click(n - 1)});
        SCOPED_TRACE(c.flags);
        ASSERT_TRUE(o.view.found);
        EXPECT_EQ(o.result, c.clicked);
        EXPECT_FALSE(o.view.leftOpen);
        EXPECT_EQ(o.view.caption, "Buttons");
        ASSERT_EQ(Captions(o.view), c.captions);
        const int w = Width(o.view.client), h = Height(o.view.client);
        for (int i = 0; i < n; ++i) {
            const RECT& r = o.view.buttons[static_cast<size_t>(i)].rect;
            EXPECT_EQ(r.left, w - 80 - 70 * (n - 1 - i)) << i;  // last one 80 from the right, touching
            EXPECT_EQ(r.top, h - 29) << i;
            EXPECT_EQ(Width(r), 70);
            EXPECT_EQ(Height(r), 23);
            const bool isDefault = (o.view.buttons[static_cast<size_t>(i)].style & 0x0F) == BS_DEFPUSHBUTTON;
            EXPECT_EQ(isDefault, i == c.defaultIndex) << i;
        }
        EXPECT_EQ(o.view.focus, o.view.buttons[static_cast<size_t>(c.defaultIndex)].wnd);
    }
    // Set 6 and above: no buttons; only Escape (or the Close command) ends the box.
    const Outcome none = Drive(Box(kMsgActive, "No buttons", "None", 0x06), 0, {Key('O'), Key(VK_RETURN), Key(VK_ESCAPE)});
    EXPECT_TRUE(none.view.found);
    EXPECT_TRUE(none.view.buttons.empty());
    EXPECT_EQ(none.result, 0);
    EXPECT_FALSE(none.view.leftOpen);
}

TEST(MsgBox, KeysChooseButtons) {
    const std::string lateAmp = "|&OK|&Cancel|&Yes|&No|&Abort|Re&try|&Ignore|";
    const struct {
        const char* name;
        uint32_t flags;
        std::string buttons;
        std::vector<Step> steps;
        int result;
    } cases[] = {
        {"Alt+n chooses No", 0x04, "", {Alt('n')}, 7},
        {"N alone chooses No", 0x04, "", {Key('N')}, 7},
        {"Alt+Y chooses Yes", 0x104, "", {Alt('Y')}, 6},
        {"Enter on the default button", 0x101, "", {Key(VK_RETURN)}, 2},
        {"Right then Enter", 0x03, "", {Key(VK_RIGHT), Key(VK_RETURN)}, 7},
        {"Down then Enter", 0x03, "", {Key(VK_DOWN), Key(VK_RETURN)}, 7},
        {"Left wraps to the last", 0x03, "", {Key(VK_LEFT), Key(VK_RETURN)}, 2},
        {"Up from the last", 0x203, "", {Key(VK_UP), Key(VK_RETURN)}, 7},
        {"Tab twice", 0x03, "", {Key(VK_TAB), Key(VK_TAB), Key(VK_RETURN)}, 2},
        {"Tab wraps to the first", 0x202, "", {Key(VK_TAB), Key(VK_RETURN)}, 3},
        {"late &: Alt with the second character", 0x05, lateAmp, {Alt('e')}, 4},
        {"late &: the mnemonic alone", 0x05, lateAmp, {Key('T')}, 4},
        {"late &: Alt with the mnemonic does nothing", 0x05, lateAmp, {Alt('t'), Key(VK_ESCAPE)}, 0},
        {"late &: the second character alone does nothing", 0x05, lateAmp, {Key('E'), Key(VK_ESCAPE)}, 0},
        {"numeric pad 1 is not A", 0x02, "", {Key(VK_NUMPAD1), Key(VK_ESCAPE)}, 0},
        {"Escape in OK", 0x00, "", {Key(VK_ESCAPE)}, 0},
        {"Escape in Yes/No", 0x04, "", {Key(VK_ESCAPE)}, 0},
        {"Escape in Abort/Retry/Ignore", 0x02, "", {Key(VK_ESCAPE)}, 0},
    };
    for (const auto& c : cases) {
        const int n = ButtonSetOf(c.flags).count;
        const Outcome o = Drive(Box(kMsgActive, "Press a key", "Keys", c.flags, c.buttons), n, c.steps);
        EXPECT_TRUE(o.view.found) << c.name;
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_FALSE(o.view.leftOpen) << c.name;
    }
}

// The same choices through the keyboard itself: the system turns Alt+N into WM_SYSCHAR.
TEST(MsgBox, TypedKeys) {
    const unsigned withAlt = 0x100;
    const struct {
        const char* name;
        std::vector<Step> steps;
        int result;
    } cases[] = {
        {"Alt+N", {Typed(withAlt | 'N')}, 7},
        {"Y", {Typed('Y')}, 6},
        {"Tab, Enter", {Typed(VK_TAB), Typed(VK_RETURN)}, 7},
        {"Escape", {Typed(VK_ESCAPE)}, 0},
    };
    for (const auto& c : cases) {
        const Outcome o = Drive(Box(kMsgActive, "Type a key", "Typed", 0x04), 2, c.steps);
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_FALSE(o.view.leftOpen) << c.name;
    }
}

TEST(MsgBox, TimeoutAnswersWithTheFirstButton) {
    const Outcome yes = Drive([] { return MsgBoxConfirm(kMsgActive, "Install now?", "", 3000, 0, "") ? 1 : 0; }, 2, {});
    EXPECT_TRUE(yes.view.found);
    EXPECT_EQ(yes.view.caption, "Confirm");
    EXPECT_EQ(yes.result, 1);
    EXPECT_GE(yes.ms, 3000);
    EXPECT_LT(yes.ms, 8000);  // Wine without a window manager takes up to 2 s to take a window down
    EXPECT_FALSE(yes.view.leftOpen);

    // Without buttons the timeout answers 0.
    const Outcome none = Drive(Box(kMsgActive, "Closing soon", "Timeout", 0x06, "", 0, 300), 0, {});
    EXPECT_EQ(none.result, 0);
    EXPECT_FALSE(none.view.leftOpen);
}

TEST(MsgBox, HeadingModeAndBoldRuns) {
    const Outcome error = Drive(Box(kMsgHeading, "Disk <b>full</B>", "Error", 0x10), 1, {Key(VK_ESCAPE)});
    ASSERT_TRUE(error.view.found);
    EXPECT_EQ(error.result, 0);
    EXPECT_EQ(error.view.caption, "Error");
    EXPECT_STRCASEEQ(error.view.text.cls.c_str(), "RICHEDIT");
    EXPECT_EQ(error.view.text.text, "ERROR\r\n\r\nDisk full\r\n");
    EXPECT_EQ(error.view.bold, (std::vector<std::pair<int, int>>{{0, 5}, {14, 18}}));

    const Outcome setup = Drive(Box(kMsgHeading, "Ready", "Setup", 0x40), 1, {Key(VK_ESCAPE)});
    EXPECT_EQ(setup.view.text.text, "Setup\r\n\r\nReady\r\n");
    EXPECT_EQ(setup.view.bold, (std::vector<std::pair<int, int>>{{0, 5}}));

    // Not heading mode: the text alone, the tags gone, escapes expanded.
    const Outcome plain = Drive(Box(kMsgActive, "one\\\\ntwo<T><B>three</b>", "Error", 0x10), 1, {Key(VK_ESCAPE)});
    EXPECT_EQ(plain.view.text.text, "one\r\ntwo\tthree");
    EXPECT_EQ(plain.view.bold, (std::vector<std::pair<int, int>>{{9, 14}}));
}

// Text of width between 650 and 1150 pixels in the box's default font (Tahoma, 8 points).
std::string TextOfOneAndAHalfLines() {
    const HDC dc = GetDC(nullptr);
    const HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FF_SWISS | DEFAULT_PITCH, "Tahoma");
    const HGDIOBJ old = SelectObject(dc, font);
    std::string text;
    SIZE ext = {0, 0};
    while (ext.cx < 900) {
        text += "wrap ";
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &ext);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return text;
}

TEST(MsgBox, SizeMarginsAndWrap) {
    const int cxFrame = GetSystemMetrics(SM_CXFRAME), cyFrame = GetSystemMetrics(SM_CYFRAME);
    const int cyCaption = GetSystemMetrics(SM_CYCAPTION);
    const std::string longLine = TextOfOneAndAHalfLines();
    const Outcome word = Drive(Box(kMsgActive, "Word", "Size", 0x00), 1, {Key(VK_ESCAPE)});
    LRESULT wideLines = 0;
    const Outcome wide = Drive(Box(kMsgActive, longLine, "Size", 0x00), 1, {Key(VK_ESCAPE)},
                               [&](const BoxView& v) { wideLines = SendTo(v.text.wnd, EM_GETLINECOUNT, 0, 0); });
    const Outcome bold = Drive(Box(kMsgActive, "<B>" + longLine + "</B>", "Size", 0x00), 1, {Key(VK_ESCAPE)});
    ASSERT_TRUE(word.view.found && wide.view.found && bold.view.found);

    // One word: minimum width, vertical margins of 45, the text centred right of the icon band.
    // The measured text height is what the box adds 36 + 2 x 45 + frame and caption to.
    const int lineH = Height(word.view.window) - 36 - 2 * 45 - 2 * cyFrame - cyCaption;
    EXPECT_GT(lineH, 8);
    EXPECT_LT(lineH, 39);
    EXPECT_EQ(Width(word.view.window), 360);
    const RECT& t = word.view.text.rect;
    const int w = Width(word.view.client), h = Height(word.view.client);
    EXPECT_LT(Width(t), 200);
    EXPECT_EQ(t.left, 54 + (w - 54 - Width(t)) / 2);
    EXPECT_EQ(t.top, (h - 36 - lineH) / 2);
    EXPECT_EQ(Height(t), h - t.top - 39);

    // A line of 650 to 1150 pixels: the control is 600 + 10 wide and two lines high; margins 32
    // left and right, and 45 or 32 above and below by the text height.
    EXPECT_EQ(Width(wide.view.text.rect), 610);
    EXPECT_EQ(Width(wide.view.window), 610 + 54 + 2 * 32 + 2 * cxFrame);
    const int v = 2 * lineH < 39 ? 45 : 32;
    EXPECT_EQ(Height(wide.view.window), 2 * lineH + 36 + 2 * v + 2 * cyFrame + cyCaption);
    EXPECT_GE(wideLines, 2);
    EXPECT_TRUE(wide.view.bold.empty());

    // Bold: the same text in one bold run, in a control at least as wide as the measured text.
    EXPECT_GE(Width(bold.view.text.rect), 600);
    EXPECT_EQ(bold.view.bold, (std::vector<std::pair<int, int>>{{0, static_cast<int>(longLine.size())}}));
}

TEST(MsgBox, RightToLeftForHebrewAndArabic) {
    const struct {
        int charset;
        bool rtl;
    } cases[] = {{177, true}, {178, true}, {0, false}, {204, false}};
    for (const auto& c : cases) {
        const Outcome o = Drive(Box(kMsgActive, "\xF9\xEC\xE5\xED", "RTL", 0x00, "", c.charset), 1, {Key(VK_ESCAPE)});
        ASSERT_TRUE(o.view.found) << c.charset;
        EXPECT_EQ((o.view.text.style & ES_RIGHT) != 0, c.rtl) << c.charset;
        EXPECT_EQ((o.view.text.exStyle & WS_EX_RTLREADING) != 0, c.rtl) << c.charset;
    }
}

TEST(MsgBox, NoCloseModeAndOwner) {
    const Outcome noClose = Drive(Box(kMsgNoClose, "Wait", "No close", 0x00), 1, {Key(VK_ESCAPE)});
    EXPECT_TRUE(noClose.view.closeGreyed);
    EXPECT_EQ(noClose.result, 0);
    const Outcome normal = Drive(Box(kMsgActive, "Go", "Close", 0x00), 1, {Key(VK_ESCAPE)});
    EXPECT_FALSE(normal.view.closeGreyed);

    // An owner window is disabled while the box is up and enabled again afterwards.
    const HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(owner);
    SetActiveWindow(owner);
    bool enabledDuring = true;
    HWND ownerDuring = nullptr;
    const Outcome owned = Drive(Box(OwnerWindow(owner), "Owned", "Owner", 0x01), 2, {Click(0)},
                                [&](const BoxView& v) {
                                    enabledDuring = IsWindowEnabled(owner) != FALSE;
                                    ownerDuring = GetWindow(v.box, GW_OWNER);
                                });
    EXPECT_EQ(owned.result, 1);
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(ownerDuring, owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST(MsgBox, PaintsBandSeparatorAndStrip) {
    COLORREF band = CLR_INVALID, strip = CLR_INVALID, line = CLR_INVALID, white = CLR_INVALID;
    const Outcome o = Drive(Box(kMsgActive, "Colours", "Paint", 0x00), 1, {Key(VK_ESCAPE)}, [&](const BoxView& v) {
        Sleep(200);  // let the paint reach the screen
        const HDC dc = GetDC(v.box);
        const int h = Height(v.client);
        band = GetPixel(dc, 5, 5);
        line = GetPixel(dc, 5, h - 37);
        white = GetPixel(dc, 5, h - 36);
        strip = GetPixel(dc, 5, h - 5);
        ReleaseDC(v.box, dc);
    });
    ASSERT_TRUE(o.view.found);
    EXPECT_EQ(band, RGB(0, 78, 152));
    EXPECT_EQ(line, GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(white, RGB(255, 255, 255));
    EXPECT_EQ(strip, GetSysColor(COLOR_BTNFACE));
}

TEST(MsgBox, PlainTextWithoutTheRichTextLibrary) {
    SetMsgBoxRichEditLibrary("vel_missing_richedit.dll");
    const Outcome o = Drive(Box(kMsgHeading, "Disk <b>full</B>", "Error", 0x11), 2, {Key('C')});
    SetMsgBoxRichEditLibrary("RICHED32.DLL");
    ASSERT_TRUE(o.view.found);
    EXPECT_STRCASEEQ(o.view.text.cls.c_str(), "Edit");
    EXPECT_EQ(o.view.text.text, "ERROR\r\n\r\nDisk full\r\n");
    EXPECT_TRUE(o.view.text.style & WS_VISIBLE);
    EXPECT_GT(Height(o.view.text.rect), 3 * 8);  // room for the three lines
    EXPECT_EQ(Width(o.view.window), 360);
    EXPECT_EQ(o.result, 2);
}

TEST(MsgBox, AnswersAutoPlayQueryWhileSuppressed) {
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    LRESULT on = -1, off = -1;
    SetAutoPlaySuppression(true);
    EXPECT_EQ(AutoPlayMessageId(), query);
    Drive(Box(kMsgActive, "AutoPlay", "Disk", 0x00), 1, {Key(VK_ESCAPE)},
          [&](const BoxView& v) { on = SendTo(v.box, query, 0, 0); });
    SetAutoPlaySuppression(false);
    EXPECT_EQ(AutoPlayMessageId(), 0u);
    Drive(Box(kMsgActive, "AutoPlay", "Disk", 0x00), 1, {Key(VK_ESCAPE)},
          [&](const BoxView& v) { off = SendTo(v.box, query, 0, 0); });
    EXPECT_EQ(on, 1);
    EXPECT_EQ(off, 0);
}

// A quit request that arrives while a box is up closes the box and reaches the caller's loop.
TEST(MsgBox, QuitRequestIsPassedOn) {
    const DWORD thread = GetCurrentThreadId();
    const Outcome o = Drive(Box(kMsgActive, "Quit", "Quit", 0x01), 2, {}, [thread](const BoxView&) {
        PostThreadMessageA(thread, WM_QUIT, 5, 0);
    });
    EXPECT_EQ(o.result, 0);
    EXPECT_FALSE(o.view.leftOpen);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 5u);
}

// The gallery shows its samples one after another; with a timeout it needs nobody.
TEST(MsgBox, GalleryRunsUnattended) {
    std::string dir = testsupport::ThisProgram();
    dir.resize(dir.find_last_of('\\') + 1);
    const std::string gallery = dir + "..\\tools\\gallery\\gallery.exe";
    const struct {
        const char* args;
        long exitCode;
    } cases[] = {
        {"--timeout 50", 0},
        {"--timeout 50 --only hebrew", 0},
        {"--help", 0},
        {"--timeout soon", 2},
        {"--only nosuch", 2},
        {"--frobnicate", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(testsupport::RunProgram(gallery, std::string("gallery ") + c.args, "", "", 60000),
                  c.exitCode)
            << c.args;
}

}  // namespace
}  // namespace vel
