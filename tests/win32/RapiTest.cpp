// The remote connection against the stand-in rapi.dll, where the whole transfer does not reach:
// the stand-in's CeRapiInit, which waits for a handheld as the docking software's does, and what
// the program's bounded wait does with the thread's keys and a quit.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Support.h"
#include "platform/win32/RapiExports.h"
#include "platform/win32/Win32Rapi.h"

namespace zc::test {

namespace {

// A simulated handheld holding one file, seen by the stand-in through XDG_DATA_HOME, and
// undocked until Dock().
struct Handheld {
    Handheld() {
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", win32::Widen("/tmp/" + data.path.substr(7)).c_str());
        WriteFile(data / "zilba-companion\\handheld\\My Documents\\a.txt", "a");
        WriteFile(mark, "");
    }
    void Dock() const { std::filesystem::remove(P(mark)); }

    TempDir data;
    const std::string mark = data / "zilba-companion\\undocked";
};

// A window procedure counting the posted messages and the keys it is given.
int posted = 0, keys = 0;
LRESULT CALLBACK Count(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    posted += m == WM_APP;
    keys += m == WM_KEYDOWN;
    return ::DefWindowProcW(w, m, wp, lp);
}

}  // namespace

// The stand-in's CeRapiInit returns only once the handheld is docked, or failing when another
// thread ends the attempt with CeRapiUninit.
TEST(RemoteApi, TheStandInsCeRapiInitWaitsForTheHandheldUntilEnded) {
    Handheld handheld;
    ::HMODULE library = ::LoadLibraryW(L"rapi.dll");
    ASSERT_NE(library, nullptr);
    auto init = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(library, "CeRapiInit")));
    auto uninit =
        reinterpret_cast<win32::rapi::UninitFn>(reinterpret_cast<void*>(::GetProcAddress(library, "CeRapiUninit")));
    ASSERT_TRUE(init && uninit);
    std::atomic<HRESULT> result = S_FALSE;
    std::thread waiting([&] { result = init(); });
    ::Sleep(500);
    EXPECT_EQ(result, S_FALSE) << "CeRapiInit returned with nothing docked";
    EXPECT_EQ(uninit(), S_OK);
    for (int i = 0; i < 50 && result == S_FALSE; ++i) ::Sleep(100);
    EXPECT_EQ(result, E_FAIL) << "the attempt ended by CeRapiUninit fails";
    handheld.Dock();  // what ends a wait that CeRapiUninit did not
    waiting.join();
    EXPECT_EQ(init(), S_OK) << "docked";
    EXPECT_EQ(uninit(), S_OK);
    ::FreeLibrary(library);
}

// While the program waits for the handheld (up to its limit) the thread's messages run, but a key
// goes nowhere, and a quit asked for meanwhile is handed on after.
TEST(RemoteApi, TheConnectionsWaitDropsKeysAndHandsAQuitOn) {
    Handheld handheld;
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
