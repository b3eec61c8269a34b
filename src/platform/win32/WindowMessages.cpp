#include "platform/win32/WindowMessages.h"

#include <algorithm>

namespace zc::win32 {

namespace {

// The user's own input, which a wait lets no window act on: keys, and the mouse over a window
// and over its frame.
bool IsUserInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

HeldQuit::~HeldQuit() {
    if (held_) ::PostQuitMessage(static_cast<int>(code_));
}

void RunWaitingMessages(HeldQuit& quit, int most) {
    MSG msg;
    for (int i = 0; i < most && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            quit.Hold(msg.wParam);
        } else if (!IsUserInput(msg.message)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

bool WaitRunningMessages(::HANDLE event, DWORD limitMs) {
    HeldQuit quit;
    const DWORD started = ::GetTickCount();
    for (;;) {
        const DWORD waited = ::GetTickCount() - started;
        const DWORD left = waited >= limitMs ? 0 : limitMs - waited;
        DWORD r = ::MsgWaitForMultipleObjectsEx(1, &event, std::min<DWORD>(left, 1000), QS_ALLINPUT,
                                                MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0) return true;
        if (left == 0 || r == WAIT_FAILED) return false;
        RunWaitingMessages(quit);
    }
}

}  // namespace zc::win32
