#pragma once
// frmLog: the running account of every step of a run. The object stays; its window comes and
// goes: created hidden on first use, hidden by Close, taken down by its close box.
#include "platform/win32/WinApi.h"

#include <functional>
#include <string>

namespace zc::win32 {

class LogWindow {
public:
    explicit LogWindow(HINSTANCE instance) : instance_(instance) {}
    ~LogWindow() { Destroy(); }
    LogWindow(const LogWindow&) = delete;
    LogWindow& operator=(const LogWindow&) = delete;

    HWND window() const { return window_; }
    bool Exists() const { return window_ != nullptr; }
    bool Visible() const { return window_ && ::IsWindowVisible(window_); }

    // Appends the message and CR LF (creating the window, hidden, when there is none) and puts
    // the caret at the end, which scrolls to the last line. Painting is the caller's business.
    void Append(const std::string& message);
    // Shows the window, wide enough for `line` as far as the screen allows, and paints it.
    void Show(const std::string& line);
    // Paints whatever changed in the window, at once.
    void Paint();
    void Destroy();

    // Asked when the close box is pressed: false keeps the window (a run is writing to it).
    std::function<bool()> mayClose;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Create();
    void Layout();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND txtLog_ = nullptr;
    HWND cmdClear_ = nullptr;
    HWND cmdClose_ = nullptr;
    HFONT font_ = nullptr;
};

}  // namespace zc::win32
