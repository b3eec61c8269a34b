// ZilbaCompanion.exe: the program on the Windows platform layer.
#include "shells/win32/Program.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    zc::win32::Win32Platform os;
    return zc::win32::RunProgram(instance, os.platform());
}
