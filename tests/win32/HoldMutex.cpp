// Holds the program's single-instance mutex as a running copy of the program does (the same
// name, through the same kernel layer), for the installer's test: it writes READY once it holds
// the mutex and lets go, by ending, when READY is deleted.
//   hold-mutex.exe READY
#include <windows.h>

#include <cstdio>

#include "core/Startup.h"
#include "platform/win32/Win32Kernel.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hold-mutex READY\n");
        return 2;
    }
    zc::win32::Win32Kernel kernel;
    zc::SECURITY_ATTRIBUTES attributes{};
    if (kernel.CreateMutexA(&attributes, false, zc::kMutexName) == 0) {
        std::fprintf(stderr, "hold-mutex: cannot create %s\n", zc::kMutexName);
        return 1;
    }
    if (std::FILE* ready = std::fopen(argv[1], "w")) {
        std::fclose(ready);
    } else {
        std::fprintf(stderr, "hold-mutex: cannot write %s\n", argv[1]);
        return 1;
    }
    // Five minutes at most, should the test that started it be gone.
    for (int i = 0; i < 3000 && ::GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);
    return 0;
}
