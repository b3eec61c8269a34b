// The Windows shell's two windows where the whole transfer cannot look: what is on screen when
// a run waits, the input a run drops, the log window's own buttons, and the layout at the
// screen's DPI (run again at 120 and 144 dpi by wine-run-dpi.sh).
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/win32/Controls.h"
#include "app/win32/MainWindow.h"
#include "app/win32/Widgets.h"
#include "platform/Waiting.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {
namespace {

HWND Control(HWND window, int id) { return ::GetDlgItem(window, id); }

bool Unpainted(HWND control) { return ::GetUpdateRect(control, nullptr, FALSE) != FALSE; }

// A press of the button as the mouse makes it, queued like the user's own.
void QueueClick(HWND button) {
    ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

// What the message loop does with whatever is queued.
void RunQueuedMessages() {
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&msg);
}

bool Queued(HWND window, UINT message) {
    MSG msg;
    return ::PeekMessageW(&msg, window, message, message, PM_NOREMOVE) != FALSE;
}

// A run that waits: all it wrote is painted when the wait begins, though paints were held back;
// while it waits the windows' own messages run but keys and clicks go nowhere, a second press
// starts nothing and the close boxes act only after the run; input queued at its end is dropped.
TEST(WindowsShell, WhatARunWroteIsPaintedWhenItWaitsAndNoInputActsDuringIt) {
    MainWindow window(::GetModuleHandleW(nullptr));
    const HWND main = window.window();
    window.SetText(Field::Site, "bnwck");
    window.Show();
    // First the log's own buttons: Clear empties it, Close hides it with its lines kept, and the
    // close box takes it down with them, so that the next line comes into a new, empty one.
    window.WriteLog("cleared");
    window.ShowLog();
    const HWND logWindow = window.Log().window();
    ::SendMessageW(Control(logWindow, IDC_CLEAR), BM_CLICK, 0, 0);
    window.WriteLog("kept");
    ::SendMessageW(Control(logWindow, IDC_CLOSE), BM_CLICK, 0, 0);
    EXPECT_FALSE(window.Log().Visible());
    window.ShowLog();
    EXPECT_EQ(TextOf(Control(window.Log().window(), IDC_LOG)), "kept\r\n");
    ::SendMessageW(logWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(logWindow));
    window.WriteLog("new");

    window.SetRefreshInterval(3600 * 1000);  // nothing painted for the interval's sake
    int transfers = 0, resends = 0, unloads = 0;
    auto firstRun = [&] {
        window.ShowLog();
        const HWND log = Control(window.Log().window(), IDC_LOG);
        window.WriteLog("Transfer start");
        window.SetText(Field::Sessions, "1");
        window.Refresh();
        EXPECT_TRUE(Unpainted(log) && Unpainted(Control(main, IDC_SESSIONS))) << "paints held back";
        ::PostMessageW(Control(main, IDC_SITE), WM_CHAR, 'x', 1);
        QueueClick(Control(main, IDC_EXIT));
        ::PostMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
        ::PostMessageW(window.Log().window(), WM_CLOSE, 0, 0);
        Waiting(Wait::Long);  // as before the handheld's database is copied
        EXPECT_FALSE(Unpainted(log) || Unpainted(Control(main, IDC_SESSIONS))) << "painted at the wait";
        EXPECT_FALSE(Queued(Control(main, IDC_TRANSFER), BM_CLICK) || Queued(window.Log().window(), WM_CLOSE))
            << "messages run during the wait";
        EXPECT_TRUE(TextOf(Control(main, IDC_SITE)) == "bnwck" && unloads == 0) << "no key typed, no click taken";
        QueueClick(Control(main, IDC_RESEND));
    };
    auto secondRun = [&] {
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        Waiting(Wait::Long);
        EXPECT_TRUE(!Queued(main, WM_CLOSE) && ::IsWindow(main) && unloads == 0) << "closed only after the run";
    };
    window.SetHandlers({[&] { ++transfers == 1 ? firstRun() : secondRun(); }, [&] { ++resends; },
                        [&] { ++unloads; }, {}});

    ::SendMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
    RunQueuedMessages();
    EXPECT_EQ((std::array{transfers, resends, unloads}), (std::array{1, 0, 0}));
    EXPECT_TRUE(window.Log().Visible());
    EXPECT_EQ(TextOf(Control(window.Log().window(), IDC_LOG)), "new\r\nTransfer start\r\n");

    // The close asked for during a run: after it, once, with the log.
    ::SendMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
    EXPECT_EQ(unloads, 1);
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_FALSE(window.Log().Exists());
}

// The main window's controls in the 96-dpi layout (100 % scaling): left, top, width, height.
// Controls of the same class and text are listed in the order they are made.
struct Placed {
    enum Kind { Picture, Label, Group, Button, Field, Counter } kind;
    int id;            // the control's identifier, or 0 to find it by its text
    const char* text;  // as shown, "&" marking the access key
    int x, y, width, height;
};

const std::vector<Placed> kMainLayout = {
    {Placed::Picture, 0, "", 0, 0, 204, 47},
    {Placed::Picture, 0, "", 204, 0, 276, 47},
    {Placed::Group, 0, "Configuration", 8, 52, 304, 170},
    {Placed::Label, 0, "Handheld directory", 18, 70, 284, 14},
    {Placed::Label, 0, "Local directory", 18, 114, 284, 14},
    {Placed::Label, 0, "Zilba server", 18, 158, 170, 14},
    {Placed::Label, 0, "Zilba site", 196, 158, 106, 14},
    {Placed::Group, 0, "Status", 318, 52, 154, 170},
    {Placed::Label, 0, "Upload", 328, 148, 70, 14},
    {Placed::Label, 0, "Sessions", 328, 73, 74, 14},
    {Placed::Label, 0, "Events", 328, 98, 74, 14},
    {Placed::Label, 0, "Signatures", 328, 123, 74, 14},
    {Placed::Label, 0, "Success", 340, 168, 62, 14},
    {Placed::Label, 0, "Failure", 340, 193, 62, 14},
    {Placed::Counter, IDC_SESSIONS, "0", 404, 70, 56, 21},
    {Placed::Counter, IDC_EVENTS, "0", 404, 95, 56, 21},
    {Placed::Counter, IDC_SIGNS, "0", 404, 120, 56, 21},
    {Placed::Counter, IDC_SUCCESS, "0", 404, 165, 56, 21},
    {Placed::Counter, IDC_FAILURE, "0", 404, 190, 56, 21},
    {Placed::Group, 0, "", 8, 226, 464, 48},
    {Placed::Button, IDC_TRANSFER, "&Transfer", 372, 240, 88, 25},
    {Placed::Button, IDC_EXIT, "E&xit", 20, 240, 88, 25},
    {Placed::Field, IDC_DEVICEDIR, "", 18, 85, 284, 21},
    {Placed::Field, IDC_LOCALDIR, "", 18, 129, 284, 21},
    {Placed::Field, IDC_SERVER, "", 18, 173, 170, 21},
    {Placed::Field, IDC_SITE, "", 196, 173, 106, 21},
    {Placed::Button, IDC_RESEND, "&Resend", 278, 240, 88, 25},
};

struct Screen {
    int dpiX = 96, dpiY = 96;
    // A place of the 96-dpi layout on this screen: each edge scaled, so that controls that
    // meet at 96 dpi meet here.
    RECT Scaled(int x, int y, int width, int height) const {
        return {::MulDiv(x, dpiX, 96), ::MulDiv(y, dpiY, 96), ::MulDiv(x + width, dpiX, 96),
                ::MulDiv(y + height, dpiY, 96)};
    }
};

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

// The control's place in its window's client area.
RECT PlaceOf(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE ClientSize(HWND window) {
    RECT r;
    ::GetClientRect(window, &r);
    return {r.right, r.bottom};
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    ::GetClassNameW(window, name, 64);
    return name;
}

// The `occurrence`-th child of `window` of the class the kind is made with, with the text.
HWND FindPlaced(HWND window, const Placed& p, int occurrence) {
    const wchar_t* className = p.kind == Placed::Picture || p.kind == Placed::Label ? L"Static"
                               : p.kind == Placed::Field || p.kind == Placed::Counter ? L"Edit"
                                                                                    : L"Button";
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::lstrcmpiW(ClassOf(child).c_str(), className) != 0) continue;
        if (p.id ? ::GetDlgCtrlID(child) != p.id : TextOf(child) != p.text) continue;
        if (occurrence-- == 0) return child;
    }
    return nullptr;
}

// The size `text` takes in the control's own font, drawn as the control draws it.
SIZE TextExtent(HWND control, const std::string& text, UINT format) {
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    std::wstring wide = Widen(text);
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format | DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

// Whether the text shows whole in the control: a label's in its rectangle, a button's inside
// its edges, a group's caption across its top, a counter's largest count between its margins.
void ExpectTextFits(HWND control, const Placed& p) {
    const SIZE room = ClientSize(control);
    const int edgeX = ::GetSystemMetrics(SM_CXEDGE), edgeY = ::GetSystemMetrics(SM_CYEDGE);
    SIZE text{};
    int width = room.cx, height = room.cy;
    switch (p.kind) {
        case Placed::Label:
            text = TextExtent(control, p.text, DT_NOPREFIX);
            break;
        case Placed::Button:
            text = TextExtent(control, p.text, 0);
            width -= 2 * (edgeX + 1);  // the raised edge and the focus rectangle's gap
            height -= 2 * (edgeY + 1);
            break;
        case Placed::Group:
            text = TextExtent(control, p.text, 0);
            width -= 2 * edgeX;
            height = text.cy;  // the caption sits on the frame, above the inside
            break;
        case Placed::Counter: {
            text = TextExtent(control, "32767", 0);  // the largest count a counter shows
            const LRESULT margins = ::SendMessageW(control, EM_GETMARGINS, 0, 0);
            width -= LOWORD(margins) + HIWORD(margins);
            break;
        }
        case Placed::Field:
            text = TextExtent(control, "Ag", 0);
            text.cx = 0;
            break;
        case Placed::Picture:
            return;
    }
    EXPECT_LE(text.cx, width) << '"' << p.text << "\" is clipped across";
    EXPECT_LE(text.cy, height) << '"' << p.text << "\" (control " << p.id << ") is clipped down";
}

// The message font at the screen's DPI, as Windows gives it to a DPI-aware program.
LONG MessageFontHeight() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    return metrics.lfMessageFont.lfHeight;
}

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// At every scaling each control keeps its place of the 96-dpi layout, scaled by the screen's
// DPI, and shows its text whole; at 96 dpi that is the layout as it has always been. The
// program says it is DPI-aware, so Windows does not stretch the windows instead.
TEST(WindowsShell, TheWindowsAreLaidOutAtTheScreensDpiAndShowTheirTextsWhole) {
    Screen screen;
    HDC dc = ::GetDC(nullptr);
    screen.dpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
    screen.dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    if (const char* asked = std::getenv("ZC_TEST_DPI")) {  // set with the screen's DPI by wine-run-dpi.sh
        ASSERT_EQ((std::array{screen.dpiX, screen.dpiY}), (std::array{std::atoi(asked), std::atoi(asked)}))
            << "the screen's DPI was not set";
    }
    // What Windows read from the manifest (Windows 7 brought the call, so it is looked up).
    using Query = BOOL(WINAPI*)(DWORD, ::HANDLE, PCWSTR, PCWSTR, PWSTR, SIZE_T, SIZE_T*);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "QueryActCtxSettingsW")));
    ASSERT_NE(query, nullptr);
    wchar_t aware[16] = L"";
    SIZE_T written = 0;
    EXPECT_TRUE(query(0, nullptr, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", aware, 16,
                      &written));
    EXPECT_EQ(std::wstring(aware), L"true") << "the manifest does not declare the program DPI-aware";

    MainWindow window(::GetModuleHandleW(nullptr));
    const HWND main = window.window();
    window.Show();
    const SIZE client = ClientSize(main);
    const RECT expected = screen.Scaled(0, 0, 480, 282);
    EXPECT_EQ((std::array{client.cx, client.cy}), (std::array{expected.right, expected.bottom})) << "the inside";
    for (size_t i = 0; i < kMainLayout.size(); ++i) {
        const Placed& p = kMainLayout[i];
        int occurrence = 0;
        for (size_t k = 0; k < i; ++k)
            occurrence += kMainLayout[k].kind == p.kind && kMainLayout[k].id == p.id &&
                          std::string(kMainLayout[k].text) == p.text;
        HWND control = FindPlaced(main, p, occurrence);
        ASSERT_NE(control, nullptr) << "no control \"" << p.text << "\" (" << p.id << ")";
        const RECT place = PlaceOf(control);
        const RECT wanted = screen.Scaled(p.x, p.y, p.width, p.height);
        EXPECT_EQ(Describe(place), Describe(wanted)) << '"' << p.text << "\" (" << p.id << ")";
        ExpectTextFits(control, p);
        if (p.kind == Placed::Picture) {
            // The banner's picture fills its place: stretched with the layout.
            BITMAP picture{};
            auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
            ASSERT_TRUE(bitmap && ::GetObjectW(bitmap, sizeof picture, &picture));
            EXPECT_EQ((std::array<LONG, 2>{picture.bmWidth, picture.bmHeight}),
                      (std::array<LONG, 2>{wanted.right - wanted.left, wanted.bottom - wanted.top}));
        } else {
            EXPECT_EQ(FontHeight(control), MessageFontHeight()) << "the message font at the screen's DPI";
        }
    }

    // The log: its size, its buttons in the bottom right corner, its 9-point text.
    window.WriteLog("line");
    const HWND log = window.Log().window();
    RECT outer;
    ::GetWindowRect(log, &outer);
    const RECT logSize = screen.Scaled(0, 0, 600, 380);
    EXPECT_EQ((std::array{outer.right - outer.left, outer.bottom - outer.top}),
              (std::array{logSize.right, logSize.bottom}));
    const SIZE inside = ClientSize(log);
    const int margin = ::MulDiv(8, screen.dpiX, 96), marginY = ::MulDiv(8, screen.dpiY, 96);
    const int buttonWidth = ::MulDiv(88, screen.dpiX, 96), buttonHeight = ::MulDiv(25, screen.dpiY, 96);
    const int top = inside.cy - marginY - buttonHeight, closeLeft = inside.cx - margin - buttonWidth;
    const int clearLeft = closeLeft - ::MulDiv(6, screen.dpiX, 96) - buttonWidth;
    EXPECT_EQ(Describe(PlaceOf(Control(log, IDC_CLOSE))),
              Describe({closeLeft, top, closeLeft + buttonWidth, top + buttonHeight}));
    EXPECT_EQ(Describe(PlaceOf(Control(log, IDC_CLEAR))),
              Describe({clearLeft, top, clearLeft + buttonWidth, top + buttonHeight}));
    EXPECT_EQ(Describe(PlaceOf(Control(log, IDC_LOG))), Describe({margin, marginY, inside.cx - margin, top - marginY}));
    ExpectTextFits(Control(log, IDC_CLOSE), {Placed::Button, IDC_CLOSE, "&Close", 0, 0, 0, 0});
    ExpectTextFits(Control(log, IDC_CLEAR), {Placed::Button, IDC_CLEAR, "C&lear", 0, 0, 0, 0});
    EXPECT_EQ(FontHeight(Control(log, IDC_LOG)), -::MulDiv(9, screen.dpiY, 72));
}

}  // namespace
}  // namespace zc::win32
