// await-window.exe CLASS CAPTION SECONDS: waits up to SECONDS for a top-level window of CLASS
// and CAPTION to show, says what came, then ends the program that made it: asked to close
// (WM_CLOSE), and ended by force when it has not within 10 s.
//   exit 0  the window showed, and its program ended when asked to close
//   exit 1  the window was made but never showed; its program was ended by force
//   exit 2  no such window was made
//   exit 3  the window showed, but its program had to be ended by force
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: await-window CLASS CAPTION SECONDS\n");
        return 4;
    }
    HWND window = nullptr;
    bool shown = false;
    for (int i = 0; i < std::atoi(argv[3]) * 10 && !shown; ++i, ::Sleep(100)) {
        window = ::FindWindowA(argv[1], argv[2]);
        shown = window && ::IsWindowVisible(window);
    }
    if (!window) {
        std::printf("no window \"%s\" of class %s\n", argv[2], argv[1]);
        return 2;
    }
    DWORD id = 0;
    ::GetWindowThreadProcessId(window, &id);
    HANDLE program = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
    std::printf("window \"%s\" %s\n", argv[2], shown ? "shown" : "made, never shown");
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    if (program && ::WaitForSingleObject(program, 10000) == WAIT_OBJECT_0) return shown ? 0 : 1;
    std::printf("its program did not end when asked to close: ended by force\n");
    if (program) {
        ::TerminateProcess(program, 1);
        ::WaitForSingleObject(program, 10000);
    }
    return shown ? 3 : 1;
}
