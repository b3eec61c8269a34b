#pragma once
// What the two windows share: their controls, laid out for the screen's DPI, the dialog font,
// the keys a plain window needs to behave like a dialog, and the busy cursor.
#include "platform/win32/WinApi.h"

#include <string>

namespace zc::win32 {

// The windows are laid out in the pixels of a 96-dpi screen (100 % scaling) and drawn at the
// screen's own dots per inch (120 at 125 %, 144 at 150 %): the manifest declares the program
// DPI-aware, so Windows leaves the scaling to it and neither blurs nor stretches the windows.
// A length of that layout across, or down, on this screen; read once, as the screen's DPI
// stays the same while the program runs.
int ScaleX(int length);
int ScaleY(int length);

// The font of the system's message boxes, which the controls use as a dialog's would; Windows
// gives it at the screen's DPI.
HFONT DialogFont();

// A child control at the given place of the 96-dpi layout (its edges scaled, so that controls
// that meet there meet on every screen), in the given font, with its text (UTF-8).
HWND Child(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int x, int y, int width,
           int height, int id = -1, DWORD exStyle = 0, HFONT font = DialogFont());

// Registers a top-level window class once, with the button-face background of a dialog.
void RegisterWindowClass(HINSTANCE instance, const char* name, WNDPROC procedure, HICON icon);

// The window's own text, and new text for it (UTF-8).
std::string TextOf(HWND window);
void SetTextOf(HWND window, const std::string& text);

// Handles the keys of a dialog the message loop hands over: Enter presses the button that has
// the focus; Escape does nothing. True when the command was one of them.
bool DialogKey(HWND window, WPARAM command);

// The hourglass over both windows while a run keeps the thread; WM_SETCURSOR asks here.
struct BusyCursor {
    static bool shown;
    static void Show(bool hourglass);
    // For WM_SETCURSOR: true when the hourglass was put up and the message is answered.
    static bool Answer();
};

}  // namespace zc::win32
