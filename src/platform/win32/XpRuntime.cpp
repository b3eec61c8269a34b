// What the statically linked runtime of the 32-bit program imports that Windows XP lacks, given
// by the program itself so that it starts on XP SP3: winpthreads times its waits with
// GetTickCount64 (Vista and later), and a single import that the system's DLLs lack stops the
// whole program before it runs. The runtime calls through its import slot; the slot is defined
// here, so the linker takes ours and the import table never names the function. On Vista and
// later the system's own function answers; on XP a count carried across GetTickCount's wrap.
// Built into the i686 program only (tests/win32/imports.sh checks its import table).
#include "platform/win32/TickCount.h"

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

zc::win32::TickCounter xpTicks;  // constant-initialized: usable before any constructor runs
TickCount64Function volatile systemTickCount64 = nullptr;
LONG volatile lookedUp = 0;

ULONGLONG WINAPI TickCount64() {
    if (!lookedUp) {
        // Every thread that gets here finds the same function; the last write wins harmlessly.
        systemTickCount64 = reinterpret_cast<TickCount64Function>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
        ::InterlockedExchange(&lookedUp, 1);
    }
    if (TickCount64Function system = systemTickCount64) return system();
    return xpTicks.Now();
}

}  // namespace

// The import slot of GetTickCount64 under its i686 name.
extern "C" {
TickCount64Function zcGetTickCount64Slot __asm__("__imp__GetTickCount64@0") = TickCount64;
}
