// The Windows shell's two windows where the whole transfer cannot look: what is on screen when
// a run waits, the input a run drops, and the log window's own buttons.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/win32/Controls.h"
#include "app/win32/MainWindow.h"
#include "app/win32/Widgets.h"
#include "platform/Waiting.h"

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
                        [&] { ++unloads; }});

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

}  // namespace
}  // namespace zc::win32
