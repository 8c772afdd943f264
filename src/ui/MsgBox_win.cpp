// The markup message box: a modal window of class "VMsgBox" with a rich-text control, an icon
// band and up to three buttons, run by its own message loop with a key filter.
#include "ui/MsgBox.h"

#include <windows.h>

#include <richedit.h>

#include <string>
#include <vector>

#include "ui/Markup.h"
#include "ui/WindowParts_win.h"
#include "util/Catch.h"
#include "util/SUB.h"
#include "util/Utils.h"
#include "util/WinHandles.h"

namespace vel {

namespace {

const char kBoxClass[] = "VMsgBox";
const UINT_PTR kTimeoutTimer = 1;
const int kTextControlId = 100;
const int kFirstButtonId = 1000;

// Process-wide settings: the font of every box, AutoPlay suppression, the rich-text library.
std::string g_faceName = "Tahoma";
int g_pointSize = 8;
int g_charset = DEFAULT_CHARSET;
UINT g_autoPlayMsg = 0;
std::string g_richEditLibrary = "RICHED32.DLL";

// Everything one box needs; it lives on the stack of the show and the window points to it.
struct BoxState {
    uint32_t flags = 0;
    HWND active = nullptr;     // active window when the box was requested; disabled meanwhile
    HWND box = nullptr;
    HWND text = nullptr;
    bool rich = false;         // the text control is the rich-text one (else a plain edit)
    HWND buttons[3] = {};
    int buttonCount = 0;
    int firstResult = 0;       // result of the first button: what the timeout answers
    std::vector<std::string> captions;
    int focusIndex = -1;       // button that gets the focus back when the box is reactivated
    UINT timeoutMs = 0;
    int result = kResultNone;
    Size asked;                // size the rich-text control last asked for
    HICON icon = nullptr;
    bool done = false;
};

BoxState* StateOf(HWND wnd) { return reinterpret_cast<BoxState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA)); }

int SlotOf(const BoxState& s, HWND wnd) {
    if (!wnd) return -1;
    for (int i = 0; i < s.buttonCount; ++i)
        if (s.buttons[i] == wnd) return i;
    return -1;
}

// Focus to one button, which becomes the only default push button.
void FocusButton(BoxState& s, int index) {
    if (index < 0 || index >= s.buttonCount) return;
    s.focusIndex = index;
    SetFocus(s.buttons[index]);
    for (int i = 0; i < s.buttonCount; ++i)
        SendMessageA(s.buttons[i], BM_SETSTYLE, i == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void Choose(BoxState& s, int index) {
    s.result = static_cast<int>(GetWindowLongPtrA(s.buttons[index], GWLP_USERDATA));
    PostMessageA(s.box, WM_CLOSE, 0, 0);
}

// ---------------------------------------------------------------- window procedure

LRESULT OnCreate(HWND wnd, LPARAM lParam) {
    BoxState* s = static_cast<BoxState*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    if (s->timeoutMs > 0) SetTimer(wnd, kTimeoutTimer, s->timeoutMs, nullptr);
    if (s->flags & kMbNoClose) {
        EnableMenuItem(GetSystemMenu(wnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        s->flags &= ~kMbNoClose;
    }
    return 0;
}

LRESULT OnPaint(HWND wnd, BoxState& s) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(wnd, &ps);
    if (!dc) return 0;
    RECT rc;
    GetClientRect(wnd, &rc);
    const int w = rc.right, h = rc.bottom;

    ScopedGdi<HBRUSH> window(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    FillRect(dc, &rc, window.get());
    {
        ScopedGdi<HPEN> dark(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)));
        ScopedGdi<HPEN> white(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
        const HGDIOBJ old = SelectObject(dc, dark.get());
        MoveToEx(dc, 0, h - 37, nullptr);
        LineTo(dc, w, h - 37);
        SelectObject(dc, white.get());
        MoveToEx(dc, 0, h - 36, nullptr);
        LineTo(dc, w, h - 36);
        SelectObject(dc, old);  // the pens are deleted after they are deselected
    }
    RECT strip = {0, h - 35, w, h};
    ScopedGdi<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    FillRect(dc, &strip, face.get());
    RECT band = {0, 0, kMsgIconBand, h - 37};
    ScopedGdi<HBRUSH> blue(CreateSolidBrush(RGB(0, 78, 152)));
    FillRect(dc, &band, blue.get());
    if (s.icon) DrawIcon(dc, 11, 20, s.icon);
    EndPaint(wnd, &ps);
    return 0;
}

LRESULT OnCommand(BoxState& s, WPARAM wParam, LPARAM lParam) {
    const int slot = SlotOf(s, reinterpret_cast<HWND>(lParam));
    if (slot >= 0 && HIWORD(wParam) == BN_CLICKED) Choose(s, slot);
    return 0;
}

LRESULT OnTimer(BoxState& s) {
    s.result = s.firstResult;
    PostMessageA(s.box, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT OnNotify(BoxState& s, LPARAM lParam) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
    if (hdr->hwndFrom == s.text && hdr->code == EN_REQUESTRESIZE) {
        const RECT& r = reinterpret_cast<const REQRESIZE*>(lParam)->rc;
        s.asked = Size{r.right - r.left, r.bottom - r.top};
    }
    return 0;
}

// The plain-text fallback control is a read-only edit: give it the text background.
LRESULT OnCtlColorStatic(BoxState& s, WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != s.text) return 0;
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

// Keeps the focus on a button when the box is activated again.
LRESULT OnActivate(HWND wnd, BoxState& s, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        const int slot = SlotOf(s, GetFocus());
        if (slot >= 0) s.focusIndex = slot;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT OnSetFocus(BoxState& s) {
    if (s.focusIndex >= 0 && s.focusIndex < s.buttonCount) SetFocus(s.buttons[s.focusIndex]);
    return 0;
}

LRESULT OnClose(HWND wnd, BoxState& s) {
    if (s.active) {
        EnableWindow(s.active, TRUE);
        SetActiveWindow(s.active);
        SetFocus(s.active);
    }
    if (s.timeoutMs > 0) KillTimer(wnd, kTimeoutTimer);
    return DefWindowProcA(wnd, WM_CLOSE, 0, 0);
}

LRESULT OnDestroy(BoxState& s) {
    s.done = true;
    return 0;
}

LRESULT CALLBACK BoxProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_autoPlayMsg != 0 && msg == g_autoPlayMsg) return 1;
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<BoxState*>(cs->lpCreateParams)->box = wnd;
    }
    BoxState* s = StateOf(wnd);
    if (!s) return DefWindowProcA(wnd, msg, wParam, lParam);
    switch (msg) {
        case WM_CREATE: return OnCreate(wnd, lParam);
        case WM_PAINT: return OnPaint(wnd, *s);
        case WM_COMMAND: return OnCommand(*s, wParam, lParam);
        case WM_TIMER: return wParam == kTimeoutTimer ? OnTimer(*s) : 0;
        case WM_NOTIFY: return OnNotify(*s, lParam);
        case WM_CTLCOLORSTATIC: return OnCtlColorStatic(*s, wParam, lParam);
        case WM_ACTIVATE: return OnActivate(wnd, *s, msg, wParam, lParam);
        case WM_SETFOCUS: return OnSetFocus(*s);
        case WM_CLOSE: return OnClose(wnd, *s);
        case WM_DESTROY: return OnDestroy(*s);
        default: return DefWindowProcA(wnd, msg, wParam, lParam);
    }
}

// ---------------------------------------------------------------- key filter

// Applied to every message of the box's loop; true when the message was consumed.
bool FilterKey(void* context, const MSG& m) {
    BoxState& s = *static_cast<BoxState*>(context);
    int chosen = -1;
    if (m.message == WM_SYSCHAR) {
        chosen = ButtonForSysChar(s.captions, static_cast<char>(m.wParam));
    } else if (m.message == WM_KEYDOWN) {
        const int focused = SlotOf(s, GetFocus());
        switch (m.wParam) {
            case VK_LEFT:
            case VK_UP:
                FocusButton(s, NextFocusIndex(focused, -1, s.buttonCount));
                break;
            case VK_TAB:
            case VK_RIGHT:
            case VK_DOWN:
                FocusButton(s, NextFocusIndex(focused, +1, s.buttonCount));
                break;
            case VK_RETURN:
                chosen = focused;
                break;
            case VK_ESCAPE:
                PostMessageA(s.box, WM_CLOSE, 0, 0);
                break;
            default:
                chosen = ButtonForLetterKey(s.captions, static_cast<unsigned>(m.wParam));
                break;
        }
    }
    if (chosen < 0) return false;
    Choose(s, chosen);
    return true;
}

// ---------------------------------------------------------------- building the box

// Width and height of the converted text in the box font, on a device context of the control.
Size MeasureMsgText(HWND control, HFONT font, const std::string& text) {
    Size size;
    const HDC dc = GetDC(control);
    if (!dc) return size;
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    const int lineHeight = MsgLineHeight(tm.tmHeight, tm.tmExternalLeading, g_faceName);
    size = MeasureTextLines(text, lineHeight, [dc](const std::string& piece) {
        SIZE ext = {0, 0};
        GetTextExtentPoint32A(dc, piece.c_str(), static_cast<int>(piece.size()), &ext);
        return static_cast<int>(ext.cx);
    });
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

// The text control: the rich-text one with bold runs, or, without the rich-text library, a plain
// read-only edit with the same text and alignment.
void CreateTextControl(BoxState& s, HFONT font, bool richAvailable, const MarkupText& markup) {
    const DWORD style = WS_CHILD | WS_VISIBLE | ES_READONLY | ES_MULTILINE | ((s.flags & kMbRight) ? ES_RIGHT : 0);
    const DWORD exStyle = (s.flags & kMbRtlReading) ? WS_EX_RTLREADING : 0;
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId));
    const HINSTANCE inst = GetModuleHandleA(nullptr);
    if (richAvailable)
        s.text = CreateWindowExA(exStyle, "RICHEDIT", "", style, 86, 30, 100, 13, s.box, id, inst, nullptr);
    s.rich = s.text != nullptr;
    if (!s.rich) s.text = CreateWindowExA(exStyle, "EDIT", "", style, 86, 30, 100, 13, s.box, id, inst, nullptr);
    if (!s.text) return;

    if (s.rich) SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (s.rich) SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetWindowTextA(s.text, markup.text.c_str());
    if (!s.rich) return;
    for (const BoldRange& r : markup.bold) {
        CHARRANGE cr = {r.start, r.end};
        SendMessageA(s.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
        CHARFORMATA cf = {};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
        cf.dwEffects = CFE_BOLD;
        SendMessageA(s.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    }
    SendMessageA(s.text, EM_SETSEL, 0, 0);
}

void SetControlSize(HWND control, int cx, int cy) {
    SetWindowPos(control, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes the text control to its text (widening it while bold runs make it wrap), then the box
// to the control, centred in the work area; places the text control in the box.
void LayOut(BoxState& s, HFONT font, const MarkupText& markup) {
    const Size m = MeasureMsgText(s.text, font, markup.text);
    SetControlSize(s.text, m.cx + 10, m.cy);
    if (s.rich && !markup.bold.empty()) {
        const int width = WidenForBold(m.cx, m.cy, [&s, &m](int w) {
            SetControlSize(s.text, w, m.cy);
            SendMessageA(s.text, EM_REQUESTRESIZE, 0, 0);
            return s.asked;
        });
        SetControlSize(s.text, width, m.cy);
    }
    RECT tr;
    GetWindowRect(s.text, &tr);
    const int cw = tr.right - tr.left, ch = tr.bottom - tr.top;
    const Size box = MsgBoxOuterSize(cw, ch, GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME),
                                     GetSystemMetrics(SM_CYCAPTION));
    POINT at = CenterInWorkArea(box.cx, box.cy);
    if (IsDeveloperMode() && markup.text.find("Do you want to store the new Entry in") != std::string::npos) {
        at.x += 150;
        at.y += 150;
    }
    SetWindowPos(s.box, nullptr, at.x, at.y, box.cx, box.cy, SWP_NOZORDER | SWP_SHOWWINDOW);
    RECT rc;
    GetClientRect(s.box, &rc);
    const Rect t = MsgTextRect(rc.right, rc.bottom, cw, ch);
    SetWindowPos(s.text, nullptr, t.x, t.y, t.cx, t.cy, SWP_NOZORDER | SWP_SHOWWINDOW);
}

HICON BoxIcon(uint32_t flags) {
    switch (flags & kMbIconMask) {
        case kMbIconHand: return LoadIconA(nullptr, IDI_HAND);
        case kMbIconQuestion: return LoadIconA(nullptr, IDI_QUESTION);
        case kMbIconExclamation: return LoadIconA(nullptr, IDI_EXCLAMATION);
        case kMbIconAsterisk: return LoadIconA(nullptr, IDI_ASTERISK);
        default: break;
    }
    const HICON own = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
    return own ? own : LoadIconA(nullptr, IDI_APPLICATION);  // a program without the resource
}

void CreateButtons(BoxState& s, HFONT font, const std::string& buttonList) {
    const ButtonSet set = ButtonSetOf(s.flags);
    const std::vector<std::string> captions = ButtonCaptions(set, buttonList);
    s.firstResult = set.count > 0 ? set.buttons[0].result : kResultNone;
    RECT rc;
    GetClientRect(s.box, &rc);
    for (int i = 0; i < set.count && i < static_cast<int>(captions.size()); ++i) {
        const std::string& caption = captions[static_cast<size_t>(i)];
        const Rect r = MsgButtonRect(i, set.count, rc.right, rc.bottom);
        const HWND b = CreateWindowExA(0, "Button", caption.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                       r.x, r.y, r.cx, r.cy, s.box,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)),
                                       GetModuleHandleA(nullptr), nullptr);
        if (!b) continue;
        SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowLongPtrA(b, GWLP_USERDATA, set.buttons[i].result);
        s.buttons[s.buttonCount++] = b;
        s.captions.push_back(caption);
    }
    const int def = DefaultButtonIndex(s.flags, s.buttonCount);
    if (def >= 0) {
        SetActiveWindow(s.box);
        FocusButton(s, def);
    }
}

// Shows one box; its result code, and whether a quit request ended it (with its exit code).
int RunBox(HWND owner, const std::string& text, const std::string& caption, int timeoutMs, uint32_t flags,
           const std::string& buttonList, ModalEnd& end) {
    LoadRichEditOnce();

    const MarkupText markup = ConvertMsgMarkup(text);
    BoxState s;
    s.flags = flags;
    s.timeoutMs = timeoutMs > 0 ? static_cast<UINT>(timeoutMs) : 0;
    s.active = GetActiveWindow();
    if (s.active) EnableWindow(s.active, FALSE);

    ScopedGdi<HFONT> font(CreatePointFont(g_faceName, g_pointSize, g_charset));
    ScopedModule richLib(LoadSystemLibrary(g_richEditLibrary));
    const HINSTANCE inst = GetModuleHandleA(nullptr);

    // Fails harmlessly while an earlier box of the class is still up. Unregistered when the box,
    // its controls and then its font are gone.
    const ScopedWindowClass boxClass(ModalBoxClass(BoxProc, kBoxClass));

    if (owner && !IsWindow(owner)) owner = nullptr;
    s.box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kBoxClass, caption.c_str(),
                            WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner, nullptr, inst, &s);
    if (!s.box) {
        if (s.active) EnableWindow(s.active, TRUE);
        return kResultNone;
    }
    CreateTextControl(s, font.get(), richLib.valid(), markup);
    if (s.text) {
        LayOut(s, font.get(), markup);
    } else {
        // No text control of any kind: a box without its text must not be shown.
        SendMessageA(s.box, WM_CLOSE, 0, 0);
    }
    if (!s.done) {
        s.icon = BoxIcon(s.flags);
        CreateButtons(s, font.get(), buttonList);
        InvalidateRect(s.box, nullptr, TRUE);
        end = RunModalLoop(s.box, s.done, &FilterKey, &s);
    }
    return s.result;
}

}  // namespace

int ShowMsgBox(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int timeoutMs,
               uint32_t flags, int charset, const std::string& buttonList) {
    int result = kResultNone;
    ModalEnd end;
    VEL_TRY {
        flags = FlagsForCharset(flags, charset);
        if (ownerOrMode == kMsgNoClose) flags |= kMbNoClose;
        const std::string body = ownerOrMode == kMsgHeading ? ComposeHeadingText(caption, text) : text;
        const HWND owner = ownerOrMode > kMsgNoClose ? reinterpret_cast<HWND>(ownerOrMode) : GetActiveWindow();
        result = RunBox(owner, body, caption, timeoutMs, flags, buttonList.empty() ? kDefaultButtonList : buttonList,
                        end);
    } VEL_CATCH_ALL {  // out of memory while building the texts: no box, no answer
        result = kResultNone;
    }
    WaitPumping(10, 100);
    PassOnQuit(end);  // the program is ending: the caller's loop must see it too
    return result;
}

namespace {

// A box of one kind: an empty caption becomes the kind's caption from the default list.
int ShowKind(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int captionItem,
             int timeoutMs, uint32_t flags, int charset, const std::string& buttonList) {
    VEL_TRY {
        const std::string c = caption.empty() ? SUB::Item(kDefaultCaptionList, captionItem) : caption;
        return ShowMsgBox(ownerOrMode, text, c, timeoutMs, flags, charset, buttonList);
    } VEL_CATCH_ALL {
        return kResultNone;
    }
}

}  // namespace

void MsgBoxError(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int charset,
                 const std::string& buttonList) {
    ShowKind(ownerOrMode, text, caption, 0, 0, kMbOk | kMbIconHand, charset, buttonList);
}

void MsgBoxAttention(MsgOwner ownerOrMode, const std::string& text, const std::string& caption,
                     int timeoutMs, int charset, const std::string& buttonList) {
    ShowKind(ownerOrMode, text, caption, 1, timeoutMs, kMbOk | kMbIconExclamation, charset, buttonList);
}

bool MsgBoxConfirm(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int timeoutMs,
                   int charset, const std::string& buttonList) {
    return ShowKind(ownerOrMode, text, caption, 2, timeoutMs, kMbYesNo | kMbIconQuestion, charset,
                    buttonList) == kResultYes;
}

bool MsgBoxConfirmOkCancel(MsgOwner ownerOrMode, const std::string& text, const std::string& caption,
                           int charset, const std::string& buttonList) {
    return ShowKind(ownerOrMode, text, caption, 2, 0, kMbOkCancel | kMbIconQuestion, charset, buttonList) ==
           kResultOk;
}

void SetMsgBoxFont(const std::string& faceName, int pointSize, int charset) {
    g_faceName = faceName;
    if (pointSize != 0) g_pointSize = pointSize;
    g_charset = charset;
}

void SetAutoPlaySuppression(bool on) {
    g_autoPlayMsg = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

unsigned AutoPlayMessageId() { return g_autoPlayMsg; }

void SetMsgBoxRichEditLibrary(const std::string& dllName) { g_richEditLibrary = dllName; }

}  // namespace vel
