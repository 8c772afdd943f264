#pragma once
// Windows-only. Pieces that the program's own modal windows share (the message box, the rich-text
// box): the rich-text library loaded once, fonts sized in points, a window class that unregisters
// itself, and the modal message loop.
#include <windows.h>

#include <string>

namespace vel {

// "RICHED32.DLL" from the system folder, loaded on the first call and kept until the process
// ends, so that the "RICHEDIT" window class stays registered. Null when it cannot be loaded.
HMODULE LoadRichEditOnce();

// A font of the given face, point size (converted with the screen's vertical dots per inch) and
// charset, default width and weight. Null when the system cannot create it; the caller frees it.
HFONT CreatePointFont(const std::string& faceName, int pointSize, int charset,
                      BYTE pitchAndFamily = FF_SWISS | DEFAULT_PITCH);

// Registers a window class for one scope and unregisters it at the end of the scope (which fails
// harmlessly while a window of the class still exists). The class keeps the name pointer given.
class ScopedWindowClass {
public:
    explicit ScopedWindowClass(const WNDCLASSA& wc);
    ~ScopedWindowClass();
    ScopedWindowClass(const ScopedWindowClass&) = delete;
    ScopedWindowClass& operator=(const ScopedWindowClass&) = delete;
    bool Registered() const { return registered_; }

private:
    const char* name_;
    HINSTANCE instance_;
    bool registered_;
};

// The class of a modal box: redrawn whole on resize, double clicks, arrow cursor, button-face
// background, this program's instance. name must outlive the class.
WNDCLASSA ModalBoxClass(WNDPROC proc, const char* name);

// How a modal loop ended: quit is set when it took the thread's quit message (with its code),
// which then belongs to the caller's own loop (PassOnQuit).
struct ModalEnd {
    bool quit = false;
    int quitCode = 0;
};

// Consumes a message before it is dispatched (a box's key handling); true when consumed.
using ModalFilter = bool (*)(void* context, const MSG& m);

// Takes and dispatches the thread's messages until done is set (by the window's WM_DESTROY). A
// quit message closes the window (WM_CLOSE, sent) and ends the loop. filter may be null.
ModalEnd RunModalLoop(HWND window, const bool& done, ModalFilter filter, void* context);
// Posts the quit message again when the loop took it, so that the caller's loop ends too.
void PassOnQuit(const ModalEnd& end);

}  // namespace vel
