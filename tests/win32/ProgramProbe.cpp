// program-probe.exe: the installed program for the installer's test (packages.sh).
//   program-probe await CLASS CAPTION SECONDS: exit 0 when a top-level window of CLASS and CAPTION
//     is made within SECONDS (shown or not: Wine 8.0 shows none of a 32-bit program) and its
//     program ends when asked to close; else 2, the program ended by force.
//   program-probe hold READY: holds the program's single-instance mutex as a running copy does,
//     writes READY once it holds it, and ends when READY is deleted (after five minutes at most).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/Startup.h"
#include "platform/win32/Win32Kernel.h"

namespace {

int Await(const char* windowClass, const char* caption, int seconds) {
    HWND window = nullptr;
    DWORD id = 0;
    for (int i = 0; i < seconds * 100 && !window; ++i, ::Sleep(10)) window = ::FindWindowA(windowClass, caption);
    HANDLE program = window && ::GetWindowThreadProcessId(window, &id)
                         ? ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id) : nullptr;
    std::printf("window \"%s\" of class %s: %s\n", caption, windowClass, program ? "made" : "none");
    if (!program) return 2;
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(program, 10000) == WAIT_OBJECT_0) return 0;
    std::printf("its program did not end when asked to close: ended by force\n");
    ::TerminateProcess(program, 1);
    ::WaitForSingleObject(program, 10000);
    return 2;
}

int Hold(const char* ready) {
    zc::win32::Win32Kernel kernel;
    zc::SECURITY_ATTRIBUTES attributes{};
    std::FILE* file = nullptr;
    if (kernel.CreateMutexA(&attributes, false, zc::kMutexName) == 0 || !(file = std::fopen(ready, "w"))) {
        std::fprintf(stderr, "program-probe: cannot hold %s and write %s\n", zc::kMutexName, ready);
        return 1;
    }
    std::fclose(file);
    for (int i = 0; i < 3000 && ::GetFileAttributesA(ready) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "await" && argc == 5) return Await(argv[2], argv[3], std::atoi(argv[4]));
    if (what == "hold" && argc == 3) return Hold(argv[2]);
    std::fprintf(stderr, "usage: program-probe await CLASS CAPTION SECONDS | hold READY\n");
    return 4;
}
