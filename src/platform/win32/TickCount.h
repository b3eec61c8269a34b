#pragma once
// A millisecond count since the system started that does not wrap: GetTickCount's 32 bits
// wrap after 49.7 days, and Windows XP has no GetTickCount64. The count is carried on across
// each wrap, which holds as long as it is read at least once per wrap.
#include "platform/win32/WinApi.h"

namespace zc::win32 {

class TickCounter {
public:
    using Source = DWORD(WINAPI*)();

    // The count now, from `read` (GetTickCount). Safe from any thread: the 32-bit count is read
    // under the counter's own lock, so that a thread that read it before a wrap cannot file it
    // after one. A spin lock of Interlocked calls, which XP has and which need no set-up: the
    // statically linked runtime may ask before any constructor of the program has run.
    ULONGLONG Now(Source read = ::GetTickCount) {
        while (::InterlockedExchange(&busy_, 1) != 0) ::Sleep(0);
        const DWORD low = read();
        if (low < last_) wraps_ += 0x100000000ULL;
        last_ = low;
        const ULONGLONG count = wraps_ + low;
        ::InterlockedExchange(&busy_, 0);
        return count;
    }

private:
    volatile LONG busy_ = 0;
    DWORD last_ = 0;
    ULONGLONG wraps_ = 0;
};

}  // namespace zc::win32
