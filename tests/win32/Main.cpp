// The Windows tests' program. Started with "--create-mutex NAME" it is instead the second
// process of the single-instance test: it creates the named mutex as the program does and
// exits with the error code Windows gave right after.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/Win32Kernel.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--create-mutex") == 0) {
        zc::win32::Win32Kernel kernel;
        zc::SECURITY_ATTRIBUTES none;
        if (kernel.CreateMutexA(&none, false, argv[2]) == 0) return 1000;
        return static_cast<int>(kernel.GetLastError());
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
