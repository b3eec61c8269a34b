// ZilbaCompanion-e2e.exe, the program of the whole transfer under Wine: the shipped program but
// for Jet 4.0, which Wine lacks; its database is the test double of TextDatabase.h.
#include "TextDatabase.h"
#include "shells/win32/Program.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    zc::win32::Win32Platform os;
    zc::test::TextDatabase database;
    zc::Platform platform{os.registry, os.kernel, os.shell, os.rapi, os.files, database, os.http, os.clock};
    return zc::win32::RunProgram(instance, platform);
}
