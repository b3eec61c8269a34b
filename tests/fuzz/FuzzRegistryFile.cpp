// The emulated registry reading a damaged file: any bytes in place of the registry file read as
// nothing stored or as values, never a crash, and the next write still stores and reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/PosixRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string file = [] {
        std::string folder = std::filesystem::temp_directory_path() / ("zc-fuzz-registry-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        static std::string remove = folder;
        std::atexit([] { std::filesystem::remove_all(remove); });
        return folder + "/registry.db";
    }();
    for (const char* extra : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(file + extra);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
        std::filesystem::remove_all(entry.path());
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    zc::posix::PosixRegistry registry(file);
    const std::string key = "Software\\Brennowick\\Zilba Companion";
    zc::HKEY h = 0;
    if (registry.RegOpenKeyExA(zc::kHkeyCurrentUser, key, 0, zc::kKeyAllAccess, &h) == zc::kErrorSuccess) {
        uint32_t type = 0, needed = 0;
        if (registry.RegQueryValueExA(h, "SERVER_NAME", &type, nullptr, &needed) == zc::kErrorSuccess) {
            std::string buffer(needed, '\0');
            registry.RegQueryValueExA(h, "SERVER_NAME", &type, reinterpret_cast<uint8_t*>(buffer.data()), &needed);
        }
        registry.RegCloseKey(h);
    }

    const std::string value = "127.0.0.1:8080";
    uint32_t disposition = 0;
    if (registry.RegCreateKeyExA(zc::kHkeyCurrentUser, key, 0, nullptr, 0, zc::kKeyAllAccess, nullptr, &h,
                                 &disposition) != zc::kErrorSuccess)
        std::abort();  // a damaged file is set aside and the write goes to a new one
    if (registry.RegSetValueExA(h, "SERVER_NAME", 0, zc::kRegSz, reinterpret_cast<const uint8_t*>(value.data()),
                                static_cast<uint32_t>(value.size())) != zc::kErrorSuccess)
        std::abort();
    uint32_t type = 0, length = 64;
    char back[64] = {};
    if (registry.RegQueryValueExA(h, "SERVER_NAME", &type, reinterpret_cast<uint8_t*>(back), &length) !=
            zc::kErrorSuccess ||
        std::string(back, length) != value)
        std::abort();
    registry.RegCloseKey(h);
    return 0;
}
