#pragma once
// The Linux platform as one object: every layer default-constructed, handed to the steps.
#include "platform/Platform.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixKernel.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/PosixShellFolder.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/SqliteDatabase.h"

namespace zc::posix {

class PosixPlatform {
public:
    Platform& platform() { return platform_; }

    PosixRegistry registry;
    PosixKernel kernel;
    PosixShellFolder shell;
    SimulatedRapi rapi;
    PosixFileSystem files;
    SqliteDatabase database;
    CurlHttp http;
    PosixClock clock;

private:
    Platform platform_{registry, kernel, shell, rapi, files, database, http, clock};
};

}  // namespace zc::posix
