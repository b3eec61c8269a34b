#include "shells/win32/LogWindow.h"

#include <algorithm>

#include "shells/win32/Controls.h"
#include "shells/win32/Widgets.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {

// In the 96-dpi layout, scaled to the screen's DPI as the main window's.
constexpr int kWidth = 600;
constexpr int kHeight = 380;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;

// The field shows a line break only as CR LF; a message may bring its own breaks in other
// forms (a server's answer), and each shows as a line of its own.
std::wstring EditLine(const std::string& message) {
    std::wstring line;
    const std::wstring wide = Widen(message);
    line.reserve(wide.size() + 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\r' || wide[i] == L'\n') {
            line += L"\r\n";
            if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
        } else {
            line += wide[i];
        }
    }
    return line + L"\r\n";
}

}  // namespace

void LogWindow::Create() {
    RegisterWindowClass(instance_, kLogClass, Procedure, nullptr);
    // A fixed tool window: small caption with its close box, no taskbar button, no owner.
    window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, Widen(kLogClass).c_str(), L"Log",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                CW_USEDEFAULT, ScaleX(kWidth), ScaleY(kHeight), nullptr, nullptr, instance_, this);
    HDC screen = ::GetDC(nullptr);
    font_ = ::CreateFontW(-::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                          FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          FIXED_PITCH | FF_MODERN, L"Courier New");
    ::ReleaseDC(nullptr, screen);
    // Tab order: the log, Close, Clear.
    txtLog_ = Child(window_, L"EDIT", "",
                    WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                        ES_AUTOHSCROLL | ES_NOHIDESEL,
                    0, 0, 0, 0, IDC_LOG, WS_EX_CLIENTEDGE, font_);
    ::SendMessageW(txtLog_, EM_SETLIMITTEXT, 0, 0);  // no limit of the field's own
    cmdClose_ = Child(window_, L"BUTTON", "&Close", WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, IDC_CLOSE);
    cmdClear_ = Child(window_, L"BUTTON", "C&lear", WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, IDC_CLEAR);
    Layout();
}

void LogWindow::Layout() {
    RECT client;
    ::GetClientRect(window_, &client);
    const int marginX = ScaleX(kMargin), marginY = ScaleY(kMargin);
    const int buttonWidth = ScaleX(kButtonWidth), buttonHeight = ScaleY(kButtonHeight);
    const int buttonsTop = client.bottom - marginY - buttonHeight;
    const int closeLeft = client.right - marginX - buttonWidth;
    ::MoveWindow(txtLog_, marginX, marginY, client.right - 2 * marginX, buttonsTop - 2 * marginY, TRUE);
    ::MoveWindow(cmdClose_, closeLeft, buttonsTop, buttonWidth, buttonHeight, TRUE);
    ::MoveWindow(cmdClear_, closeLeft - ScaleX(kButtonGap) - buttonWidth, buttonsTop, buttonWidth, buttonHeight, TRUE);
}

void LogWindow::Append(const std::string& message) {
    if (!window_) Create();
    const LRESULT end = ::GetWindowTextLengthW(txtLog_);
    ::SendMessageW(txtLog_, EM_SETSEL, end, end);
    ::SendMessageW(txtLog_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(EditLine(message).c_str()));
}

void LogWindow::Show(const std::string& line) {
    if (!window_) Create();
    // Wide enough for the line: the text, the field's margins, edges and scroll bar, the
    // window's margins and frame.
    HDC dc = ::GetDC(txtLog_);
    HGDIOBJ old = ::SelectObject(dc, font_);
    const std::wstring wide = Widen(line);
    SIZE text{};
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &text);
    ::SelectObject(dc, old);
    ::ReleaseDC(txtLog_, dc);
    RECT outer, client, work;
    ::GetWindowRect(window_, &outer);
    ::GetClientRect(window_, &client);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int frame = (outer.right - outer.left) - client.right;
    const int needed = std::min<int>(text.cx + ScaleX(16) + 2 * ::GetSystemMetrics(SM_CXEDGE) +
                                         ::GetSystemMetrics(SM_CXVSCROLL) + 2 * ScaleX(kMargin) + frame,
                                     work.right - work.left);
    if (needed > outer.right - outer.left) {
        ::SetWindowPos(window_, nullptr, 0, 0, needed, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
        Layout();
    }
    if (::IsWindowVisible(window_))
        ::BringWindowToTop(window_);
    else
        ::ShowWindow(window_, SW_SHOW);
    Paint();
}

void LogWindow::Paint() {
    if (Visible()) ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void LogWindow::Destroy() {
    if (window_) ::DestroyWindow(window_);
}

LRESULT CALLBACK LogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<LogWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_COMMAND:
            if (DialogKey(window, wParam)) return 0;
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (LOWORD(wParam) == IDC_CLEAR) ::SetWindowTextW(self->txtLog_, L"");  // cmdClear_Click
            if (LOWORD(wParam) == IDC_CLOSE) ::ShowWindow(window, SW_HIDE);       // cmdClose_Click
            return 0;
        case WM_CLOSE:
            // The close box takes the window down, and the log with it.
            if (!self->mayClose || self->mayClose()) ::DestroyWindow(window);
            return 0;
        case WM_CTLCOLORSTATIC:
            // Locked, not greyed: the log keeps the colours of a field one reads.
            if (reinterpret_cast<HWND>(lParam) != self->txtLog_) break;
            ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        case WM_SETCURSOR:
            if (BusyCursor::Answer()) return TRUE;
            break;
        case WM_DESTROY:
            if (self->font_) ::DeleteObject(self->font_);
            self->font_ = nullptr;
            self->window_ = self->txtLog_ = self->cmdClear_ = self->cmdClose_ = nullptr;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace zc::win32
