#include "support/WindowDriver_win.h"

namespace vel {
namespace testsupport {

namespace {

struct FindTopLevel {
    DWORD pid;
    const char* cls;
    HWND found;
};

BOOL CALLBACK FindTopLevelProc(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<FindTopLevel*>(lp);
    char cls[64] = {};
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    GetClassNameA(w, cls, sizeof cls);
    if (pid == f->pid && lstrcmpA(cls, f->cls) == 0 && IsWindowVisible(w)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindAnyButton(HWND w, LPARAM lp) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") != 0) return TRUE;
    *reinterpret_cast<bool*>(lp) = true;
    return FALSE;
}

struct ChildSearch {
    const char* cls;
    std::string text;  // for buttons: caption to find
    HWND found;
};

BOOL CALLBACK ChildProc(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpiA(cls, s->cls) != 0) return TRUE;
    if (!s->text.empty()) {
        char caption[128] = {};
        GetWindowTextA(w, caption, sizeof caption);
        if (s->text != caption) return TRUE;
    }
    s->found = w;
    return FALSE;
}

HWND FindButton(HWND box, const std::string& caption) {
    ChildSearch s{"Button", caption, nullptr};
    EnumChildWindows(box, ChildProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace

std::string ClassOf(HWND w) {
    char buf[64] = {};
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

std::string TextOf(HWND w) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 3000, &length)) return std::string();
    std::string s(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]), SMTO_BLOCK, 3000, &copied))
        return std::string();
    s.resize(static_cast<size_t>(copied) < s.size() ? static_cast<size_t>(copied) : s.size() - 1);
    return s;
}

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(20);
    } while (GetTickCount() - start < ms);
}

HWND WaitForWindowOfClass(const std::string& cls, DWORD limitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = FindWindowA(cls.c_str(), nullptr)) return w;
        if (GetTickCount() - start > limitMs) return nullptr;
        Pump(100);
    }
}

HWND FindProcessWindow(DWORD pid, const char* cls) {
    FindTopLevel f{pid, cls, nullptr};
    EnumWindows(FindTopLevelProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND WaitForBox(DWORD pid, const std::function<bool()>& running, DWORD limitMs) {
    const DWORD start = GetTickCount();
    do {
        if (HWND found = FindProcessWindow(pid, "VMsgBox")) {
            // The box shows before its controls exist, buttons last. Once the first button is
            // there, a sent message returns only when the box's thread takes messages again, by
            // then with all its buttons (a slow process, such as an emulated one, takes a while).
            bool button = false;
            while (!button && running() && GetTickCount() - start < limitMs) {
                EnumChildWindows(found, FindAnyButton, reinterpret_cast<LPARAM>(&button));
                if (!button) Pump(50);
            }
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(found, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
            Pump(300);  // let the box finish laying itself out
            return found;
        }
        Pump(100);
    } while (running() && GetTickCount() - start < limitMs);
    return nullptr;
}

std::string BoxText(HWND box) {
    ChildSearch s{"RICHEDIT", "", nullptr};
    EnumChildWindows(box, ChildProc, reinterpret_cast<LPARAM>(&s));
    if (!s.found) {
        s.cls = "Static";
        EnumChildWindows(box, ChildProc, reinterpret_cast<LPARAM>(&s));
    }
    if (!s.found) return std::string();
    char text[4096] = {};
    SendMessageA(s.found, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

bool ClickButton(HWND box, const std::string& caption) {
    HWND button = FindButton(box, caption);
    if (!button) return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    return true;
}

bool HasButton(HWND box, const std::string& caption) { return FindButton(box, caption) != nullptr; }

bool AnswerBox(HWND box, const std::string& caption, DWORD limitMs) {
    if (!ClickButton(box, caption)) return false;
    const DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < limitMs) Pump(50);
    return !IsWindow(box) || !IsWindowVisible(box);
}

}  // namespace testsupport
}  // namespace vel
