#pragma once
// What every wait of the program's one thread does meanwhile: it runs the window system's
// messages, so that the windows repaint and the desktop sees the program answer, but never the
// user's keys and clicks, on which no window may act while a run waits.
#include <climits>

#include "platform/win32/WinApi.h"

namespace zc::win32 {

// A WM_QUIT met during a wait: held back, and posted again when the wait is over, so that the
// program ends after the wait rather than inside it.
class HeldQuit {
public:
    HeldQuit() = default;
    ~HeldQuit();
    HeldQuit(const HeldQuit&) = delete;
    HeldQuit& operator=(const HeldQuit&) = delete;
    void Hold(WPARAM code) {
        held_ = true;
        code_ = code;
    }

private:
    bool held_ = false;
    WPARAM code_ = 0;
};

// Runs at most `most` of the thread's waiting messages, the user's input dropped.
void RunWaitingMessages(HeldQuit& quit, int most = INT_MAX);

// Waits for `event` for up to `limitMs` milliseconds, running the waiting messages meanwhile;
// false when the limit passed first. The count is GetTickCount's, taken as unsigned differences,
// so a wait is right across the counter's wrap.
bool WaitRunningMessages(::HANDLE event, DWORD limitMs);

}  // namespace zc::win32
