#pragma once
// The program around the two windows, on whatever platform it is handed: the shipped program
// gives it the Windows platform layer (WinMain.cpp), a test its own.
#include "platform/win32/WinApi.h"

#include "platform/Platform.h"

namespace zc::win32 {

// Start-up, the main window until Exit or its close box, and the end; the process's exit code.
int RunProgram(HINSTANCE instance, Platform& platform);

}  // namespace zc::win32
