// The remote connection against the stand-in rapi.dll, which waits for a handheld as the docking
// software's does: the stand-in's own waits, and the program's bounded wait with the thread's
// messages running.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Support.h"
#include "platform/Waiting.h"
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
    void Undock() const { WriteFile(mark, ""); }

    TempDir data;
    const std::string mark = data / "zilba-companion\\undocked";
};

// Docks `handheld` after `ms` on a thread of its own.
std::thread DockLater(const Handheld& handheld, int ms) {
    return std::thread([&handheld, ms] {
        ::Sleep(ms);
        handheld.Dock();
    });
}

// A window counting the messages it is given.
struct Counter {
    static LRESULT CALLBACK Count(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Counter*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
        if (self && m == WM_APP) ++self->posted;
        if (self && m == WM_TIMER) ++self->ticks;
        if (self && m == WM_KEYDOWN) ++self->keys;
        return ::DefWindowProcW(w, m, wp, lp);
    }
    Counter() {
        WNDCLASSW type{};
        type.lpfnWndProc = Count;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = L"ZcRapiTestCounter";
        ::RegisterClassW(&type);
        window = ::CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Counter() { ::DestroyWindow(window); }

    HWND window;
    int posted = 0, ticks = 0, keys = 0;
};

bool FindsFile(win32::Win32Rapi& rapi) {
    CE_FIND_DATA found{};
    HANDLE h = rapi.CeFindFirstFile(u"\\My Documents\\a.txt", &found);
    if (h == kInvalidHandle) return false;
    rapi.CeFindClose(h);
    return true;
}

}  // namespace

// The stand-in's CeRapiInit returns only once the handheld is docked, or when another thread
// ends the attempt; CeRapiInitEx returns at once and sets its event when docked; a second
// attempt is refused while one is made, and a record of the wrong size at once.
TEST(RemoteApi, TheStandInWaitsForTheHandheldAsTheDockingSoftwareDoes) {
    Handheld handheld;
    ::HMODULE library = ::LoadLibraryW(L"rapi.dll");
    ASSERT_NE(library, nullptr);
    auto bind = [library](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(library, name)); };
    auto init = reinterpret_cast<HRESULT(WINAPI*)()>(bind("CeRapiInit"));
    auto initEx = reinterpret_cast<win32::rapi::InitExFn>(bind("CeRapiInitEx"));
    auto uninit = reinterpret_cast<win32::rapi::UninitFn>(bind("CeRapiUninit"));
    ASSERT_TRUE(init && initEx && uninit);

    std::atomic<HRESULT> result = S_FALSE;
    std::thread waiting([&] { result = init(); });
    ::Sleep(500);
    EXPECT_EQ(result, S_FALSE) << "CeRapiInit returned with nothing docked";
    win32::rapi::InitRecord record{sizeof record, nullptr, S_FALSE};
    EXPECT_EQ(initEx(&record), E_FAIL) << "a second attempt while one is made";
    EXPECT_EQ(uninit(), S_OK);
    waiting.join();
    EXPECT_EQ(result, E_FAIL) << "the attempt ended by CeRapiUninit fails";

    std::thread docking = DockLater(handheld, 300);
    EXPECT_EQ(init(), S_OK);
    docking.join();
    EXPECT_EQ(uninit(), S_OK);
    EXPECT_EQ(uninit(), E_FAIL) << "nothing left to close";

    handheld.Undock();
    record.cbSize = sizeof record - 1;
    EXPECT_EQ(initEx(&record), E_INVALIDARG);
    record.cbSize = sizeof record;
    ASSERT_EQ(initEx(&record), S_OK);
    ASSERT_NE(record.heRapiInit, nullptr);
    EXPECT_EQ(::WaitForSingleObject(record.heRapiInit, 500), static_cast<DWORD>(WAIT_TIMEOUT));
    handheld.Dock();
    EXPECT_EQ(::WaitForSingleObject(record.heRapiInit, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(record.hrRapiInit, S_OK);
    EXPECT_EQ(uninit(), S_OK);
    ::FreeLibrary(library);
}

// The program's connection: it waits for the handheld up to its limit while the thread's
// messages run (the window shell painting first, keys dropped, a quit handed on after), then
// fails; CeRapiUninit ends the attempt still going on, so that the next one may dock.
TEST(RemoteApi, TheConnectionWaitsForTheHandheldUpToItsLimitWithTheMessagesRunning) {
    Handheld handheld;
    win32::Win32Rapi rapi;
    rapi.connectLimit = std::chrono::milliseconds(1500);
    Counter counter;
    int paints = 0;
    ScopedWaitHook hook([&paints](Wait wait) { paints += wait == Wait::Long; });
    ::PostMessageW(counter.window, WM_APP, 0, 0);
    ::PostMessageW(counter.window, WM_KEYDOWN, 'X', 0);
    ::PostQuitMessage(7);
    ::SetTimer(counter.window, 1, 100, nullptr);

    EXPECT_NE(rapi.CeRapiInit(), 0) << "nothing docked within the limit";
    ::KillTimer(counter.window, 1);
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(counter.posted, 1);
    EXPECT_GT(counter.ticks, 0) << "the thread's messages ran while the connection was waited for";
    EXPECT_EQ(counter.keys, 0) << "keys dropped";
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 7) << "quit handed on";
    EXPECT_FALSE(FindsFile(rapi)) << "no connection";
    EXPECT_EQ(rapi.CeRapiUninit(), 0) << "the attempt still going on is ended";

    // Docked during the wait: the connection opens and serves the handheld's files.
    rapi.connectLimit = std::chrono::seconds(30);
    std::thread docking = DockLater(handheld, 300);
    EXPECT_EQ(rapi.CeRapiInit(), 0);
    docking.join();
    EXPECT_TRUE(FindsFile(rapi));
    EXPECT_EQ(rapi.CeRapiUninit(), 0);

    // An attempt left going on is ended with the object, before the library goes.
    handheld.Undock();
    {
        win32::Win32Rapi left;
        left.connectLimit = std::chrono::milliseconds(0);
        EXPECT_NE(left.CeRapiInit(), 0);
    }
    handheld.Dock();
    EXPECT_EQ(rapi.CeRapiInit(), 0) << "no attempt of the object gone is left over";
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
}

}  // namespace zc::test
