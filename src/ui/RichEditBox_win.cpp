// The rich-text box: a resizable window of class "VRichEditBox" with a read-only rich-text control
// and, when there is an address, a button in a strip below it that opens the address and closes
// the box. It runs its own modal loop; the owner keeps working through it.
#include "ui/RichEditBox.h"

#include <windows.h>

#include <richedit.h>

#include <string>

#include "ui/WindowParts_win.h"
#include "util/Catch.h"
#include "util/DebugLog.h"
#include "util/StrUtils.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

const char kBoxClass[] = "VRichEditBox";
const int kStripHeight = 43;      // button strip below the text, only with an address
const int kButtonWidth = 160;
const int kButtonHeight = 25;
const int kButtonFromBottom = 33;  // centres the button in the strip
const int kTextLeft = 3;
const int kTextFontHeight = 15;
const int kTextControlId = 100;
const int kButtonId = 101;

// Everything one show needs; it lives on the stack of the show and the window points to it.
struct BoxState {
    std::string address;  // decides whether the button and its strip exist
    HWND box = nullptr;
    HWND text = nullptr;
    HWND button = nullptr;
    bool done = false;
};

BoxState* StateOf(HWND wnd) { return reinterpret_cast<BoxState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA)); }

bool HasStrip(const BoxState& s) { return !s.address.empty(); }

// Opens the address with the shell's default handler (the browser, for a web address).
bool OpenAddress(const std::string& address) {
    const bool opened = ShellOpen(address, "", SW_SHOW);
    if (!opened) DebugLine("ShowRichEditBox: could not open " + address + ": " + LastErrorText());
    return opened;
}

// Text control over the client area (less the strip), the button centred in the strip.
void LayOut(const BoxState& s) {
    RECT rc;
    GetClientRect(s.box, &rc);
    const int w = rc.right, h = rc.bottom;
    if (s.text)
        SetWindowPos(s.text, nullptr, kTextLeft, 0, w - kTextLeft, HasStrip(s) ? h - kStripHeight : h,
                     SWP_NOZORDER | SWP_SHOWWINDOW);
    if (s.button)
        SetWindowPos(s.button, nullptr, (w - kButtonWidth) / 2, h - kButtonFromBottom, kButtonWidth, kButtonHeight,
                     SWP_NOZORDER | SWP_SHOWWINDOW);
}

// ---------------------------------------------------------------- window procedure

LRESULT OnSize(const BoxState& s) {
    LayOut(s);
    return 0;
}

LRESULT OnPaint(HWND wnd, const BoxState& s) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(wnd, &ps);
    if (!dc) return 0;
    RECT rc;
    GetClientRect(wnd, &rc);
    const int w = rc.right, h = rc.bottom;
    FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
    if (HasStrip(s)) {
        {
            ScopedGdi<HPEN> dark(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)));
            const HGDIOBJ old = SelectObject(dc, dark.get());
            MoveToEx(dc, 0, h - kStripHeight, nullptr);
            LineTo(dc, w, h - kStripHeight);
            SelectObject(dc, old);  // the pen is deleted after it is deselected
        }
        RECT strip = {0, h - kStripHeight + 1, w, h};
        FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
    }
    EndPaint(wnd, &ps);
    return 0;
}

LRESULT OnCommand(const BoxState& s, LPARAM lParam) {
    if (s.button && reinterpret_cast<HWND>(lParam) == s.button) {
        OpenAddress(s.address);
        PostMessageA(s.box, WM_CLOSE, 0, 0);
    }
    return 0;
}

LRESULT OnDestroy(BoxState& s) {
    s.done = true;
    return 1;
}

LRESULT CALLBACK BoxProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<BoxState*>(cs->lpCreateParams)->box = wnd;
    }
    BoxState* s = StateOf(wnd);
    if (!s) return DefWindowProcA(wnd, msg, wParam, lParam);
    switch (msg) {
        case WM_SIZE: return OnSize(*s);
        case WM_PAINT: return OnPaint(wnd, *s);
        case WM_COMMAND: return OnCommand(*s, lParam);
        case WM_DESTROY: return OnDestroy(*s);
        default: return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

// ---------------------------------------------------------------- building the box

// The announcement shows in Verdana where the box font is the default one.
std::string TextFaceFor(const std::string& fontName) {
    return fontName.empty() || fontName == "Tahoma" ? "Verdana" : fontName;
}

bool CreateTextControl(BoxState& s, const RichEditBoxArgs& a, HFONT font) {
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_MULTILINE | (a.rightToLeft ? ES_RIGHT : 0);
    const DWORD exStyle = a.rightToLeft ? WS_EX_RTLREADING : 0;
    s.text = CreateWindowExA(exStyle, "RICHEDIT", "", style, 0, 0, 10, 10, s.box,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId)),
                             GetModuleHandleA(nullptr), nullptr);
    if (!s.text) return false;
    SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetWindowTextA(s.text, a.text.c_str());  // a text with a rich-text header is read as such
    return true;
}

void CreateButton(BoxState& s, const RichEditBoxArgs& a, HFONT font) {
    s.button = CreateWindowExA(0, "Button", a.buttonCaption.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                               kButtonWidth, kButtonHeight, s.box,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), GetModuleHandleA(nullptr),
                               nullptr);
    if (!s.button) return;
    SendMessageA(s.button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowLongPtrA(s.button, GWLP_USERDATA, 1);
    SetActiveWindow(s.box);
    SetFocus(s.button);
    SendMessageA(s.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Shows the box and runs its loop until the window is gone. False when it could not be shown.
bool RunBox(const RichEditBoxArgs& a, const std::string& address, ModalEnd& end) {
    BoxState s;
    s.address = address;
    if (!LoadRichEditOnce()) DebugLine("ShowRichEditBox: RICHED32.DLL not loaded");

    ScopedGdi<HFONT> buttonFont(CreatePointFont(a.fontName, a.fontSize, a.charset, FF_SWISS));
    ScopedGdi<HFONT> textFont(CreateFontA(kTextFontHeight, 0, 0, 0, 0, FALSE, FALSE, FALSE,
                                          static_cast<DWORD>(a.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          DEFAULT_QUALITY, FF_SWISS, TextFaceFor(a.fontName).c_str()));
    const HINSTANCE inst = GetModuleHandleA(nullptr);
    // Unregistered when the box and its controls are gone, before the fonts are freed.
    const ScopedWindowClass boxClass(ModalBoxClass(BoxProc, kBoxClass));

    HWND owner = reinterpret_cast<HWND>(a.owner);
    if (owner && !IsWindow(owner)) owner = nullptr;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - a.width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - a.height) / 2;
    CreateWindowExA(WS_EX_DLGMODALFRAME, kBoxClass, a.caption.c_str(),
                    WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, x, y, a.width, a.height, owner, nullptr,
                    inst, &s);
    if (!s.box) {
        DebugLine("ShowRichEditBox: no window: " + LastErrorText());
        return false;
    }
    if (!CreateTextControl(s, a, textFont.get())) {
        // A box without its announcement must not stand for having shown it.
        DebugLine("ShowRichEditBox: no rich-text control: " + LastErrorText());
        DestroyWindow(s.box);
        return false;
    }
    if (HasStrip(s)) CreateButton(s, a, buttonFont.get());
    LayOut(s);
    InvalidateRect(s.box, nullptr, TRUE);
    end = RunModalLoop(s.box, s.done, nullptr, nullptr);
    return true;
}

}  // namespace

bool ShowRichEditBox(const RichEditBoxArgs& args) {
    bool shown = false;
    ModalEnd end;
    VEL_TRY {
        const std::string address = Trim(args.address);
        if (args.text.empty()) {
            if (address.empty()) return false;
            OpenAddress(address);  // the address was handed on, whatever the shell made of it
            return true;
        }
        shown = RunBox(args, address, end);
    } VEL_CATCH_ALL {  // out of memory while copying the texts: nothing shown
        shown = false;
    }
    PassOnQuit(end);  // the program is ending: the caller's loop must see it too
    return shown;
}

}  // namespace vel
