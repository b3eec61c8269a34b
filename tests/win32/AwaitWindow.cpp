// await-window.exe CLASS CAPTION SECONDS: waits up to SECONDS for a top-level window of CLASS
// and CAPTION to show, says what came, then ends the program that made it: asked to close
// (WM_CLOSE), and ended by force when it has not within 10 s.
//   exit 0  the window showed, and its program ended when asked to close
//   exit 1  the window was made but never showed; its program ended (by itself, or by force)
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
    HANDLE program = nullptr;
    bool shown = false;
    for (int i = 0; i < std::atoi(argv[3]) * 100 && !shown; ++i, ::Sleep(10)) {
        if (HWND found = ::FindWindowA(argv[1], argv[2])) {
            window = found;
            shown = ::IsWindowVisible(found) != FALSE;
            DWORD id = 0;
            if (!program && ::GetWindowThreadProcessId(found, &id))
                program = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        }
        if (program && ::WaitForSingleObject(program, 0) == WAIT_OBJECT_0) break;  // gone
    }
    if (!window) {
        std::printf("no window \"%s\" of class %s\n", argv[2], argv[1]);
        return 2;
    }
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
