// The Windows shell's two windows where the whole transfer cannot look.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shells/win32/Controls.h"
#include "shells/win32/MainWindow.h"
#include "shells/win32/Widgets.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinText.h"
#include "support/FakeForm.h"

namespace zc::win32 {
namespace {

HWND Control(HWND window, int id) { return ::GetDlgItem(window, id); }

bool Unpainted(HWND control) { return ::GetUpdateRect(control, nullptr, FALSE) != FALSE; }

bool Queued(HWND window, UINT message) {
    MSG msg;
    return ::PeekMessageW(&msg, window, message, message, PM_NOREMOVE) != FALSE;
}

// A press of the button as the mouse makes it.
void QueueClick(HWND button) {
    ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

// The log's own buttons; then a run that waits: all it wrote is painted when the wait begins,
// the windows' own messages run but keys and clicks go nowhere, a quit is handed on after, the
// close boxes act only after the run, and input queued at its end is dropped.
TEST(WindowsShell, WhatARunWroteIsPaintedWhenItWaitsAndNoInputActsDuringIt) {
    MainWindow window(::GetModuleHandleW(nullptr));
    Win32Platform os;
    test::TestTicks ticks;  // standing still: every change after the first paint is held back
    Controller c(window, os.platform(), test::Scripted::Reset(), ticks);
    const HWND main = window.window();
    c.SetText(Field::Site, "bnwck");
    window.ShowMain();
    // Clear empties the log, Close hides it, the close box takes it down with its lines.
    c.WriteLog("cleared");
    c.ShowLog();
    const HWND logWindow = window.Log().window();
    ::SendMessageW(Control(logWindow, IDC_CLEAR), BM_CLICK, 0, 0);
    c.WriteLog("kept");
    ::SendMessageW(Control(logWindow, IDC_CLOSE), BM_CLICK, 0, 0);
    EXPECT_FALSE(window.Log().Visible());
    c.ShowLog();
    EXPECT_EQ(TextOf(Control(window.Log().window(), IDC_LOG)), "kept\r\n");
    ::SendMessageW(logWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(logWindow));
    c.WriteLog("new");

    test::Scripted::run = [&](const char* what) {
        test::Scripted::runs.push_back(what);
        c.ShowLog();
        const HWND log = Control(window.Log().window(), IDC_LOG);
        c.WriteLog("Transfer start");
        c.SetText(Field::Sessions, "1");
        c.Refresh();
        EXPECT_TRUE(Unpainted(log) && Unpainted(Control(main, IDC_SESSIONS))) << "paints held back";
        ::PostMessageW(Control(main, IDC_SITE), WM_CHAR, 'x', 1);
        QueueClick(Control(main, IDC_EXIT));
        ::PostMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
        ::PostMessageW(window.Log().window(), WM_CLOSE, 0, 0);
        ::PostQuitMessage(7);
        Waiting(Wait::Long);  // as before the handheld's database is copied
        MSG quit;
        EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 7) << "quit handed on";
        EXPECT_FALSE(Unpainted(log) || Unpainted(Control(main, IDC_SESSIONS))) << "painted at the wait";
        EXPECT_FALSE(Queued(Control(main, IDC_TRANSFER), BM_CLICK) || Queued(window.Log().window(), WM_CLOSE))
            << "messages run during the wait";
        EXPECT_TRUE(TextOf(Control(main, IDC_SITE)) == "bnwck" && window.Log().Visible() &&
                    test::Scripted::runs.size() == 1 && test::Scripted::unloads == 0)
            << "no key typed, no click taken, the log not closed";
        QueueClick(Control(main, IDC_RESEND));
    };
    ::SendMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&msg);  // the message loop
    EXPECT_EQ(test::Scripted::runs, std::vector<std::string>{"transfer"}) << "a click queued during the run";
    test::Scripted::run = [&](const char*) {
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        Waiting(Wait::Long);
        EXPECT_TRUE(!Queued(main, WM_CLOSE) && ::IsWindow(main) && test::Scripted::unloads == 0)
            << "closed only after the run";
    };
    ::SendMessageW(Control(main, IDC_TRANSFER), BM_CLICK, 0, 0);
    EXPECT_EQ(test::Scripted::unloads, 1);
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_FALSE(window.Log().Exists());
}

std::string Place(int x, int y, int width, int height) {
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height);
}

// The control's place in its window, and whether its text in its own font shows whole: a label's
// in its rectangle, a button's or group's inside its edges, a counter's largest count between margins.
std::string PlaceAndFit(HWND control, const std::string& kind, const std::string& text) {
    RECT r, inside, need{0, 0, 0, 0};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    ::GetClientRect(control, &inside);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring wide = Widen(kind == "Edit" ? "32767" : text);
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &need,
                (kind == "Static" ? DT_NOPREFIX : 0) | DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    const LRESULT margins = kind == "Edit" ? ::SendMessageW(control, EM_GETMARGINS, 0, 0) : 0;
    const bool button = kind == "Button";
    const int marginX = button ? 2 * ::GetSystemMetrics(SM_CXEDGE) + 2 : LOWORD(margins) + HIWORD(margins);
    const bool fits = need.right + marginX <= inside.right &&
                      need.bottom + (button ? 2 * ::GetSystemMetrics(SM_CYEDGE) + 2 : 0) <= inside.bottom;
    return Place(r.left, r.top, r.right - r.left, r.bottom - r.top) + (fits ? "" : " \"" + text + "\" clipped");
}

// Each control keeps its place of the 96-dpi layout (tests/data/win-layout.txt), each edge scaled
// by the screen's DPI, and shows its text whole; the manifest declares the program DPI-aware.
TEST(WindowsShell, TheWindowsAreLaidOutAtTheScreensDpiAndShowTheirTextsWhole) {
    HDC dc = ::GetDC(nullptr);
    const int dpiX = ::GetDeviceCaps(dc, LOGPIXELSX), dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    if (const char* asked = std::getenv("ZC_TEST_DPI")) {  // set with the screen's DPI by wine-run.sh
        ASSERT_EQ(dpiX * 1000 + dpiY, std::atoi(asked) * 1001) << "the screen's DPI was not set";
    }
    // Windows 7 brought the call: looked up.
    auto query = reinterpret_cast<BOOL(WINAPI*)(DWORD, ::HANDLE, PCWSTR, PCWSTR, PWSTR, SIZE_T, SIZE_T*)>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "QueryActCtxSettingsW")));
    wchar_t aware[16] = L"";
    SIZE_T written = 0;
    ASSERT_NE(query, nullptr);
    query(0, nullptr, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", aware, 16, &written);
    EXPECT_EQ(std::wstring(aware), L"true") << "the manifest does not declare the program DPI-aware";

    MainWindow window(::GetModuleHandleW(nullptr));
    window.ShowMain();
    window.WriteLog("line");
    const HWND log = window.Log().window();
    RECT inside, outer;
    ::GetClientRect(window.window(), &inside);
    ::GetWindowRect(log, &outer);
    HWND child = ::GetWindow(window.window(), GW_CHILD);
    std::ifstream rows("Z:" ZC_DATA_DIR "\\win-layout.txt");
    ASSERT_TRUE(rows.is_open());
    for (std::string line; std::getline(rows, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream row(line);
        std::string kind, text;
        int x, y, width, height;
        std::getline(row >> kind >> x >> y >> width >> height >> std::ws, text);
        const int left = ::MulDiv(x, dpiX, 96), top = ::MulDiv(y, dpiY, 96);
        const int across = ::MulDiv(x + width, dpiX, 96) - left, down = ::MulDiv(y + height, dpiY, 96) - top;
        std::string wanted = Place(left, top, across, down), got;
        if (kind == "Inside") {
            got = Place(0, 0, inside.right, inside.bottom);
        } else if (kind == "Log") {
            got = Place(0, 0, outer.right - outer.left, outer.bottom - outer.top);
        } else if (kind == "Close") {  // in the bottom right corner of the log's inside
            ::GetClientRect(log, &inside);
            got = PlaceAndFit(Control(log, IDC_CLOSE), "Button", text);
            wanted = Place(inside.right - left - across, inside.bottom - top - down, across, down);
        } else {
            ASSERT_NE(child, nullptr) << "no control for " << text;
            wchar_t name[64] = L"";
            ::GetClassNameW(child, name, 64);
            EXPECT_EQ(Narrow(name) + " " + TextOf(child), kind + " " + text);
            got = PlaceAndFit(child, kind, text);
            BITMAP picture{};  // a banner's picture fills its place, stretched with the layout
            if (::GetObjectW(reinterpret_cast<HBITMAP>(::SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0)),
                             sizeof picture, &picture)) {
                EXPECT_EQ(Place(0, 0, picture.bmWidth, picture.bmHeight), Place(0, 0, across, down));
            }
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(got, wanted) << kind << " " << text << " at " << dpiX << " dpi";
    }
    EXPECT_EQ(child, nullptr) << "a control the layout does not list";
}

}  // namespace
}  // namespace zc::win32
