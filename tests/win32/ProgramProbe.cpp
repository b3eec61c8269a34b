// program-probe.exe: the installed program for the installer's test (packages.sh).
//   program-probe await CLASS CAPTION SECONDS: waits up to SECONDS for a top-level window of CLASS
//     and CAPTION to show, says what came, then asks its program to close (WM_CLOSE), ending it by
//     force when it has not within 10 s. Exit 0: the window showed and its program ended when
//     asked; 1: the window was made but never showed, and its program ended; 2: anything else.
//   program-probe hold READY: holds the program's single-instance mutex as a running copy does
//     (the same name, through the same kernel layer), writes READY once it holds it, and lets go,
//     by ending, when READY is deleted (after five minutes at most).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/Startup.h"
#include "platform/win32/Win32Kernel.h"

namespace {

int Await(const char* windowClass, const char* caption, int seconds) {
    HWND window = nullptr;
    HANDLE program = nullptr;
    for (int i = 0; i < seconds * 100 && !(window && ::IsWindowVisible(window)); ++i, ::Sleep(10)) {
        DWORD id = 0;
        HWND found = ::FindWindowA(windowClass, caption);
        window = found ? found : window;  // the last one made, once it has gone too
        if (found && !program && ::GetWindowThreadProcessId(found, &id))
            program = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        if (program && ::WaitForSingleObject(program, 0) == WAIT_OBJECT_0) break;  // gone
    }
    const bool shown = ::IsWindowVisible(window);
    std::printf("window \"%s\" of class %s: %s\n", caption, windowClass,
                shown ? "shown" : window ? "made, never shown" : "none");
    if (!program) return 2;
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(program, 10000) == WAIT_OBJECT_0) return shown ? 0 : 1;
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
