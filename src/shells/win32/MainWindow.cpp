#include "shells/win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "shells/win32/Controls.h"
#include "shells/win32/Resources.h"
#include "shells/win32/Widgets.h"
#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "platform/win32/WindowMessages.h"

namespace zc::win32 {

namespace {

// The window's inside and the banner's height, as the controls, in the 96-dpi layout.
constexpr int kClientWidth = 480;  // the banner's
constexpr int kClientHeight = 282;
constexpr int kBannerHeight = 47;
// Keys and clicks that reached the queue while a run kept the thread act on nothing.
void DropQueuedInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

// A banner picture at the given size: as stored at its own size (at 96 dpi), else stretched
// with halftoning, which keeps a 256-colour picture smooth where copying pixels would leave
// it jagged.
HBITMAP LoadBanner(HINSTANCE instance, int id, int width, int height) {
    auto stored = static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    BITMAP size{};
    if (!stored || !::GetObjectW(stored, sizeof size, &size) || (size.bmWidth == width && size.bmHeight == height))
        return stored;
    HDC screen = ::GetDC(nullptr);
    HDC from = ::CreateCompatibleDC(screen);
    HDC to = ::CreateCompatibleDC(screen);
    HBITMAP stretched = ::CreateCompatibleBitmap(screen, width, height);
    bool drawn = false;
    if (from && to && stretched) {
        HGDIOBJ oldFrom = ::SelectObject(from, stored);
        HGDIOBJ oldTo = ::SelectObject(to, stretched);
        ::SetStretchBltMode(to, HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, nullptr);  // as halftoning asks
        drawn = ::StretchBlt(to, 0, 0, width, height, from, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY) != FALSE;
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
    }
    if (from) ::DeleteDC(from);
    if (to) ::DeleteDC(to);
    ::ReleaseDC(nullptr, screen);
    if (!drawn) {  // the picture at its own size rather than none
        if (stretched) ::DeleteObject(stretched);
        return stored;
    }
    ::DeleteObject(stored);
    return stretched;
}

// A counter takes no focus: a click on it does nothing, and focus handed to it goes back.
LRESULT CALLBACK CounterProcedure(HWND counter, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return 0;
        case WM_SETFOCUS:
            ::SetFocus(wParam ? reinterpret_cast<HWND>(wParam) : ::GetDlgItem(::GetParent(counter), IDC_TRANSFER));
            return 0;
        default:
            return ::DefSubclassProc(counter, message, wParam, lParam);
    }
}

}  // namespace

// Around every box and dialog: the arrow stands in for the hourglass while the user is asked,
// and afterwards the place where the box stood is painted again, since a run goes on without a
// message loop to mend it.
class ModalScope {
public:
    explicit ModalScope(MainWindow& window) : window_(window), hourglass_(window.hourglass_) {
        DropQueuedInput();
        if (hourglass_) BusyCursor::Show(false);
    }
    ~ModalScope() {
        if (hourglass_) BusyCursor::Show(true);
        window_.Refresh();
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    MainWindow& window_;
    bool hourglass_;
};

MainWindow::MainWindow(HINSTANCE instance) : log_(instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    RegisterWindowClass(instance, kMainClass, Procedure, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZILBA)));
    // A fixed single border: caption, system menu and minimise button, no sizing.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer{0, 0, ScaleX(kClientWidth), ScaleY(kClientHeight)};
    ::AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
    window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, Widen(kMainClass).c_str(), Widen(kProgramTitle).c_str(), style,
                                CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                nullptr, nullptr, instance, this);
    CreateControls(instance);
    // The log is the run's only account: its close box does nothing until the run is over.
    log_.mayClose = [this] { return !controller_ || controller_->MayCloseLog(); };
}

MainWindow::~MainWindow() {
    log_.Destroy();
    if (window_) ::DestroyWindow(window_);
    for (HBITMAP banner : banners_)
        if (banner) ::DeleteObject(banner);
}

void MainWindow::CreateControls(HINSTANCE instance) {
    auto field = [this](Field f) -> HWND& { return fields_[static_cast<size_t>(f)]; };
    const DWORD label = SS_LEFT | SS_NOPREFIX;

    // The banner across the top, edge to edge, its two pictures stretched with the layout.
    const int bannerIds[] = {IDB_BANNER_LEFT, IDB_BANNER_RIGHT};
    const int bannerEdges[] = {0, 204, kClientWidth};
    for (int i = 0; i < 2; ++i) {
        const int left = bannerEdges[i], width = bannerEdges[i + 1] - left;
        HWND picture = Child(window_, L"STATIC", "", SS_BITMAP, left, 0, width, kBannerHeight);
        banners_[i] = LoadBanner(instance, bannerIds[i], ScaleX(left + width) - ScaleX(left), ScaleY(kBannerHeight));
        ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banners_[i]));
    }

    // Configuration, with the labels above their fields; server and site share the last row.
    Child(window_, L"BUTTON", "Configuration", BS_GROUPBOX, 8, 52, 304, 170);
    Child(window_, L"STATIC", "Handheld directory", label, 18, 70, 284, 14);
    Child(window_, L"STATIC", "Local directory", label, 18, 114, 284, 14);
    Child(window_, L"STATIC", "Zilba server", label, 18, 158, 170, 14);
    Child(window_, L"STATIC", "Zilba site", label, 196, 158, 106, 14);

    // Status: one counter a row; the two upload counters stand indented under their heading.
    Child(window_, L"BUTTON", "Status", BS_GROUPBOX, 318, 52, 154, 170);
    const struct {
        Field counter;
        const char* label;
        int id, top, indent;
    } counters[] = {
        {Field::Sessions, "Sessions", IDC_SESSIONS, 70, 0}, {Field::Events, "Events", IDC_EVENTS, 95, 0},
        {Field::Signs, "Signatures", IDC_SIGNS, 120, 0},    {Field::Success, "Success", IDC_SUCCESS, 165, 12},
        {Field::Failure, "Failure", IDC_FAILURE, 190, 12},
    };
    Child(window_, L"STATIC", "Upload", label, 328, 148, 70, 14);
    for (const auto& c : counters) {
        Child(window_, L"STATIC", c.label, label, 328 + c.indent, c.top + 3, 74 - c.indent, 14);
        // Locked, grey like a button face (a read-only field's own colour) and out of the tab order.
        field(c.counter) = Child(window_, L"EDIT", "0", ES_READONLY | ES_RIGHT | ES_AUTOHSCROLL, 404, c.top, 56,
                                 21, c.id, WS_EX_CLIENTEDGE);
        ::SetWindowSubclass(field(c.counter), CounterProcedure, 0, 0);
    }

    // The buttons: Exit alone on the left, Resend and Transfer on the right. Created in the
    // tab order: Transfer, Exit, the four fields, Resend.
    Child(window_, L"BUTTON", "", BS_GROUPBOX, 8, 226, 464, 48);
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD text = WS_TABSTOP | ES_AUTOHSCROLL;
    focus_ = Child(window_, L"BUTTON", "&Transfer", button, 372, 240, 88, 25, IDC_TRANSFER);
    Child(window_, L"BUTTON", "E&xit", button, 20, 240, 88, 25, IDC_EXIT);
    field(Field::DeviceDir) = Child(window_, L"EDIT", "", text, 18, 85, 284, 21, IDC_DEVICEDIR, WS_EX_CLIENTEDGE);
    field(Field::LocalDir) = Child(window_, L"EDIT", "", text, 18, 129, 284, 21, IDC_LOCALDIR, WS_EX_CLIENTEDGE);
    field(Field::Server) = Child(window_, L"EDIT", "", text, 18, 173, 170, 21, IDC_SERVER, WS_EX_CLIENTEDGE);
    field(Field::Site) = Child(window_, L"EDIT", "", text, 196, 173, 106, 21, IDC_SITE, WS_EX_CLIENTEDGE);
    Child(window_, L"BUTTON", "&Resend", button, 278, 240, 88, 25, IDC_RESEND);
}

void MainWindow::ShowMain() {
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::SetFocus(focus_);
    Refresh();
}

int MainWindow::RunMessages() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (log_.Exists() && ::IsDialogMessageW(log_.window(), &msg)) continue;
        if (window_ && ::IsDialogMessageW(window_, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

std::string MainWindow::Text(Field field) {
    if (static_cast<size_t>(field) >= fields_.size()) RaiseSubscript();
    return TextOf(fields_[static_cast<size_t>(field)]);
}

void MainWindow::SetText(Field field, const std::string& text) {
    if (static_cast<size_t>(field) >= fields_.size()) RaiseSubscript();
    SetTextOf(fields_[static_cast<size_t>(field)], text);
}

void MainWindow::Refresh() {
    // Only what changed is painted (a counter, the new lines): setting a text marks its control.
    if (window_ && ::IsWindowVisible(window_))
        ::RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    log_.Paint();
}

void MainWindow::WriteLog(const std::string& message) { log_.Append(message); }

void MainWindow::ShowLog() { log_.Show(logWidth_); }

void MainWindow::LetEventsIn() {
    HeldQuit quit;
    RunWaitingMessages(quit, 1000);
}

void MainWindow::DropInput() { DropQueuedInput(); }

int MainWindow::Box(const std::string& text, const char* title, UINT type) {
    ModalScope scope(*this);
    // Start-up boxes come before the window shows; they stand on their own then, in front.
    const bool shown = window_ && ::IsWindowVisible(window_);
    return ::MessageBoxA(shown ? window_ : nullptr, ToAnsi(text).c_str(), title,
                         type | (shown ? 0 : MB_SETFOREGROUND));
}

bool MainWindow::AskYesNo(const std::string& prompt) {
    return Box(prompt, kProgramTitle, MB_YESNO | MB_DEFBUTTON1) == IDYES;
}

void MainWindow::ShowMessage(const std::string& text) { Box(text, kProgramTitle, MB_OK); }

void MainWindow::ShowWarning(const std::string& text) { Box(text, "Warning", MB_OK | MB_ICONSTOP); }

std::string MainWindow::ChooseFile(const std::string& title, const std::string& filter,
                                   const std::string& start) {
    const std::string folder = ToAnsi(start);
    const std::string caption = ToAnsi(title);
    std::string filters = ToAnsi(filter);  // shown as it is matched
    filters = filters + '\0' + filters + '\0';
    std::vector<char> chosen(32768, '\0');
    ModalScope scope(*this);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_ && ::IsWindowVisible(window_) ? window_ : nullptr;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = chosen.data();
    dialog.nMaxFile = static_cast<DWORD>(chosen.size());
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameA(&dialog)) return "";
    return FromAnsi(chosen.data());
}

void MainWindow::SetCursor(Cursor cursor) {
    hourglass_ = cursor == Cursor::Hourglass;
    BusyCursor::Show(hourglass_);
}

void MainWindow::Close() {
    // The controller ends the program, now or after the run.
    if (controller_)
        controller_->Close();
    else
        End();
}

void MainWindow::End() {
    log_.Destroy();  // the log window ends with the program
    if (window_) ::DestroyWindow(window_);
    ::PostQuitMessage(0);
}

LRESULT MainWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (DialogKey(window_, wParam)) return 0;
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (controller_ && LOWORD(wParam) == IDC_TRANSFER) controller_->Transfer();  // cmdTransfer_Click
            if (controller_ && LOWORD(wParam) == IDC_RESEND) controller_->Resend();      // cmdResend_Click
            if (LOWORD(wParam) == IDC_EXIT) Close();                                     // cmdExit_Click
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_ACTIVATE:
            // A plain window forgets its focus when left; the focus comes back where it was.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(window_, focus)) focus_ = focus;
            } else if (focus_ && ::IsWindow(focus_)) {
                ::SetFocus(focus_);
                return 0;
            }
            break;
        case WM_SETCURSOR:
            if (BusyCursor::Answer()) return TRUE;
            break;
        case WM_NCDESTROY:
            window_ = nullptr;
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->Handle(window, message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace zc::win32
