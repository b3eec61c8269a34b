#pragma once
// <windows.h> for the Windows layer, with the macros that would rename our own functions
// (MoveFile and ReplaceFile, the file system's moves) taken back.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef MoveFile
#undef CopyFile
#undef DeleteFile
#undef ReplaceFile

// Macros of <windows.h> that cast to HANDLE, HKEY or LONG would pick up the program's own
// types of those names inside namespace zc; these are the system's values, fixed out here.
inline ::HANDLE const kWinInvalidHandle = INVALID_HANDLE_VALUE;
inline ::HKEY const kWinClassesRoot = HKEY_CLASSES_ROOT;
inline ::HKEY const kWinCurrentUser = HKEY_CURRENT_USER;
inline ::HKEY const kWinLocalMachine = HKEY_LOCAL_MACHINE;

