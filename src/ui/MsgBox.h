#pragma once
// The program's own modal message box (window class "VMsgBox"): the text's markup (see
// ui/Markup.h), the language's font and charset, localised button captions, an optional
// timeout and a bold heading. Flags and result codes follow the system message box (constants
// in ui/Markup.h). The box is built on Windows (MsgBox_win.cpp); this header names no Windows
// types. No call reports an error: every outcome is a result code, 0 when closed without a button.
#include <cstdint>
#include <string>

namespace vel {

// Owner-or-mode of a box: one of the three modes, or an owner window handle (OwnerWindow).
using MsgOwner = std::uintptr_t;
constexpr MsgOwner kMsgHeading = 0;   // owner: the active window; the caption also heads the text in bold
constexpr MsgOwner kMsgActive = 1;    // owner: the active window
constexpr MsgOwner kMsgNoClose = 2;   // as kMsgActive, and the Close command of the box is greyed
template <typename Handle>
MsgOwner OwnerWindow(Handle* window) {
    return reinterpret_cast<MsgOwner>(window);
}

// Shows a box and returns its result code once it has closed (and 100 ms of messages have been
// dispatched). timeoutMs > 0 closes it after that time with the first button's result. Charsets
// 177 and 178 show the text right-aligned and right-to-left. An empty button list means
// kDefaultButtonList.
int ShowMsgBox(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int timeoutMs,
               uint32_t flags, int charset, const std::string& buttonList);

// The four kinds of message. An empty caption becomes "Error", "Attention" or "Confirm"; an
// empty button list the default list.
void MsgBoxError(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int charset,
                 const std::string& buttonList);
void MsgBoxAttention(MsgOwner ownerOrMode, const std::string& text, const std::string& caption,
                     int timeoutMs, int charset, const std::string& buttonList);
// Yes/No; true for Yes. Left alone until the timeout, it answers Yes.
bool MsgBoxConfirm(MsgOwner ownerOrMode, const std::string& text, const std::string& caption, int timeoutMs,
                   int charset, const std::string& buttonList);
// OK/Cancel; true for OK.
bool MsgBoxConfirmOkCancel(MsgOwner ownerOrMode, const std::string& text, const std::string& caption,
                           int charset, const std::string& buttonList);

// Font of every later box (defaults "Tahoma", 8 points, DEFAULT_CHARSET); a point size of 0
// keeps the current size.
void SetMsgBoxFont(const std::string& faceName, int pointSize, int charset);

// While on, the box and the stub window answer the shell's "QueryCancelAutoPlay" message with 1.
void SetAutoPlaySuppression(bool on);
// The registered "QueryCancelAutoPlay" message id while suppression is on, else 0.
unsigned AutoPlayMessageId();

// The library that provides the rich-text control, by file name from the system folder
// ("RICHED32.DLL"). Tests name a missing one to see the plain-text fallback.
void SetMsgBoxRichEditLibrary(const std::string& dllName);

}  // namespace vel
