#pragma once
// The Windows platform as one object: every layer default-constructed, handed to the steps.
#include "platform/Platform.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Database.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Http.h"
#include "platform/win32/Win32Kernel.h"
#include "platform/win32/Win32Rapi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32ShellFolder.h"

namespace zc::win32 {

class Win32Platform {
public:
    Platform& platform() { return platform_; }

    Win32Registry registry;
    Win32Kernel kernel;
    Win32ShellFolder shell;
    Win32Rapi rapi;
    Win32FileSystem files;
    Win32Database database;
    Win32Http http;
    Win32Clock clock;

private:
    Platform platform_{registry, kernel, shell, rapi, files, database, http, clock};
};

}  // namespace zc::win32
