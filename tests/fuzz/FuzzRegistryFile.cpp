// The emulated registry reading a damaged file: any bytes in place of the registry file read as
// nothing stored or as values, never a crash, and the next write still stores and reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Settings.h"
#include "platform/posix/PosixRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string file = [] {
        std::string folder = std::filesystem::temp_directory_path() / ("zc-fuzz-registry-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        static std::string remove = folder;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return folder + "/registry.db";
    }();
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
        std::filesystem::remove_all(entry.path());
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    // A damaged file is set aside and the write goes to a new one.
    zc::posix::PosixRegistry registry(file);
    zc::RegReadString(registry, zc::kHkeyCurrentUser, zc::kSettingsKey, "SERVER_NAME");
    const std::string value = "127.0.0.1:8080";
    zc::RegWriteString(registry, zc::kHkeyCurrentUser, zc::kSettingsKey, "SERVER_NAME", value);
    if (zc::RegReadString(registry, zc::kHkeyCurrentUser, zc::kSettingsKey, "SERVER_NAME") != value) std::abort();
    return 0;
}
