#include "shells/win32/Widgets.h"

#include <vector>

#include "platform/win32/WinText.h"

namespace zc::win32 {

bool BusyCursor::shown = false;

namespace {

struct ScreenDpi {
    int x, y;
};

const ScreenDpi& Dpi() {
    static const ScreenDpi dpi = [] {
        ScreenDpi read{96, 96};
        if (HDC screen = ::GetDC(nullptr)) {
            read = {::GetDeviceCaps(screen, LOGPIXELSX), ::GetDeviceCaps(screen, LOGPIXELSY)};
            ::ReleaseDC(nullptr, screen);
        }
        if (read.x <= 0 || read.y <= 0) read = {96, 96};
        return read;
    }();
    return dpi;
}

}  // namespace

int ScaleX(int length) { return ::MulDiv(length, Dpi().x, 96); }
int ScaleY(int length) { return ::MulDiv(length, Dpi().y, 96); }

HFONT DialogFont() {
    static HFONT font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            if (HFONT made = ::CreateFontIndirectW(&metrics.lfMessageFont)) return made;
        return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    }();
    return font;
}

HWND Child(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int x, int y, int width,
           int height, int id, DWORD exStyle, HFONT font) {
    const int left = ScaleX(x), top = ScaleY(y);
    HWND child = ::CreateWindowExW(exStyle, className, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, left,
                                   top, ScaleX(x + width) - left, ScaleY(y + height) - top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                                   nullptr);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

void RegisterWindowClass(HINSTANCE instance, const char* name, WNDPROC procedure, HICON icon) {
    const std::wstring className = Widen(name);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, className.c_str(), &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className.c_str();
    ::RegisterClassExW(&wc);
}

std::string TextOf(HWND window) {
    std::vector<wchar_t> text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1);
    int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return Narrow(std::wstring_view(text.data(), static_cast<size_t>(length)));
}

void SetTextOf(HWND window, const std::string& text) { ::SetWindowTextW(window, Widen(text).c_str()); }

bool DialogKey(HWND window, WPARAM command) {
    if (LOWORD(command) == IDCANCEL) return true;
    if (LOWORD(command) != IDOK) return false;
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(window, focus) && (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON))
        ::SendMessageW(focus, BM_CLICK, 0, 0);
    return true;
}

void BusyCursor::Show(bool hourglass) {
    shown = hourglass;
    ::SetCursor(::LoadCursorW(nullptr, hourglass ? IDC_WAIT : IDC_ARROW));
}

bool BusyCursor::Answer() {
    if (!shown) return false;
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

}  // namespace zc::win32
