#pragma once
// Everything outside the process, as the steps reach it.
#include "platform/Clock.h"
#include "platform/Database.h"
#include "platform/FileSystem.h"
#include "platform/HttpRequest.h"
#include "platform/Kernel.h"
#include "platform/Rapi.h"
#include "platform/Registry.h"
#include "platform/ShellFolder.h"

namespace zc {

struct Platform {
    Registry& registry;
    Kernel& kernel;
    ShellFolder& shell;
    Rapi& rapi;
    FileSystem& files;
    Database& database;
    Http& http;
    Clock& clock;
};

}  // namespace zc
