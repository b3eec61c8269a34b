// The remote connection against the stand-in rapi.dll, which waits for a handheld as the docking
// software's does, where the whole transfer does not reach: what the program's bounded wait does
// with the thread's keys and a quit (the whole transfer shows the attempt after one that ended).
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include "Support.h"
#include "platform/win32/Win32Rapi.h"

namespace zc::test {

namespace {

// A window procedure counting the posted messages and the keys it is given.
int posted = 0, keys = 0;
LRESULT CALLBACK Count(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    posted += m == WM_APP;
    keys += m == WM_KEYDOWN;
    return ::DefWindowProcW(w, m, wp, lp);
}

}  // namespace

// While the program waits for the handheld (up to its limit) the thread's messages run, but a key
// goes nowhere, and a quit asked for meanwhile is handed on after.
TEST(RemoteApi, TheConnectionsWaitDropsKeysAndHandsAQuitOn) {
    // Nothing docked, as the stand-in sees it through XDG_DATA_HOME.
    TempDir handheld;
    ::SetEnvironmentVariableW(L"XDG_DATA_HOME", win32::Widen("/tmp/" + handheld.path.substr(7)).c_str());
    WriteFile(handheld / "zilba-companion\\undocked", "");
    win32::Win32Rapi rapi;
    rapi.connectLimit = std::chrono::milliseconds(1000);
    WNDCLASSW type{};
    type.lpfnWndProc = Count;
    type.lpszClassName = L"ZcRapiTestCounter";
    ::RegisterClassW(&type);
    HWND counter = ::CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ::PostMessageW(counter, WM_APP, 0, 0);
    ::PostMessageW(counter, WM_KEYDOWN, 'X', 0);
    ::PostQuitMessage(7);
    EXPECT_NE(rapi.CeRapiInit(), 0) << "nothing docked within the limit";
    MSG left{};  // the quit first: a peek for any message takes it
    EXPECT_TRUE(::PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && left.wParam == 7) << "quit handed on";
    EXPECT_FALSE(::PeekMessageW(&left, counter, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) << "the key left queued";
    EXPECT_EQ(posted * 10 + keys, 10) << "the posted message ran, the key did not";
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
    ::DestroyWindow(counter);
}

}  // namespace zc::test
