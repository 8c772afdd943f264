#pragma once
// A resizable window (class "VRichEditBox") that shows a longer, possibly rich text read-only, with
// an optional button below it that opens an address through the shell and closes the window. It
// runs its own modal loop; the owner is not disabled. Built on Windows (RichEditBox_win.cpp); this
// header names no Windows types.
#include <cstdint>
#include <string>

namespace vel {

struct RichEditBoxArgs {
    std::uintptr_t owner = 0;  // owner window handle, 0 for none
    std::string caption;
    std::string buttonCaption;
    int charset = 0;
    int fontSize = 8;          // points, for the button
    std::string fontName;      // "Tahoma" or empty: the text shows in Verdana
    bool rightToLeft = false;
    int width = 0;
    int height = 0;
    std::string address;       // trimmed; empty: no button
    std::string text;          // beginning with a rich-text header: shown formatted
};

// Text: shows the box and returns true once it has closed. No text but an address: opens the
// address at once, true. Neither: false.
bool ShowRichEditBox(const RichEditBoxArgs& args);

}  // namespace vel
