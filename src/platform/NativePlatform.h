#pragma once
// The one place that says which platform the program runs on.
#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
namespace zc {
using NativePlatform = win32::Win32Platform;
}  // namespace zc
#else
#include "platform/posix/PosixPlatform.h"
namespace zc {
using NativePlatform = posix::PosixPlatform;
}  // namespace zc
#endif
