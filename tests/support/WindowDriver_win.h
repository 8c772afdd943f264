#pragma once
// Windows-only test helpers that drive the windows of programs under test: waiting for a window,
// finding a process's message box (class "VMsgBox"), reading its text and pressing its buttons.
#include <windows.h>

#include <functional>
#include <string>

namespace vel {
namespace testsupport {

// The class name of a window.
std::string ClassOf(HWND w);
// The text of a window of this process, or empty when its thread does not answer within 3 seconds
// (a watcher thread must not hang on a stuck window).
std::string TextOf(HWND w);

// Takes the calling thread's messages for about ms milliseconds.
void Pump(DWORD ms);

// The first top-level window of a class, or null when none appears within limitMs.
HWND WaitForWindowOfClass(const std::string& cls, DWORD limitMs);

// A visible top-level window of class cls that belongs to process pid, or null.
HWND FindProcessWindow(DWORD pid, const char* cls);

// The message box of process pid, laid out with its buttons, or null when it shows none within
// limitMs or running() turns false.
HWND WaitForBox(DWORD pid, const std::function<bool()>& running, DWORD limitMs);

// The text of a box: its rich-edit control, else its first static control.
std::string BoxText(HWND box);
// Presses the button with this caption ("&Yes"); false when the box has none.
bool ClickButton(HWND box, const std::string& caption);
bool HasButton(HWND box, const std::string& caption);
// Presses the button and waits for the box to go; false when the box has no such button or is
// still shown after limitMs.
bool AnswerBox(HWND box, const std::string& caption, DWORD limitMs = 10000);

}  // namespace testsupport
}  // namespace vel
