#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/PosixRegistry.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using posix::PosixRegistry;
const std::string kSettings = "Software\\Brennowick\\Zilba Companion";

LONG Set(Registry& reg, HKEY key, const std::string& name, const std::string& data) {
    return reg.RegSetValueExA(key, name, 0, kRegSz, reinterpret_cast<const uint8_t*>(data.data()),
                              static_cast<uint32_t>(data.size()));
}

HKEY Create(Registry& reg, HKEY hive, const std::string& path, uint32_t* disposition = nullptr) {
    HKEY key = 0;
    EXPECT_EQ(reg.RegCreateKeyExA(hive, path, 0, nullptr, 0, kKeyAllAccess, nullptr, &key, disposition), 0);
    return key;
}

// The value's bytes through a size query and a read, or "<error n>".
std::string Read(Registry& reg, const std::string& path, const std::string& name,
                 HKEY hive = kHkeyCurrentUser) {
    HKEY key = 0;
    if (LONG rc = reg.RegOpenKeyExA(hive, path, 0, kKeyAllAccess, &key); rc != kErrorSuccess)
        return "<error " + std::to_string(rc) + ">";
    uint32_t size = 0;
    LONG rc = reg.RegQueryValueExA(key, name, nullptr, nullptr, &size);
    std::string data(size, '\0');
    if (rc == kErrorSuccess)
        rc = reg.RegQueryValueExA(key, name, nullptr, reinterpret_cast<uint8_t*>(data.data()), &size);
    EXPECT_EQ(reg.RegCloseKey(key), kErrorSuccess);
    return rc == kErrorSuccess ? data.substr(0, size) : "<error " + std::to_string(rc) + ">";
}

TEST(PosixRegistry, ValuesSurviveANewInstanceARecreatedFileAndADamagedOne) {
    HomeDir dir;
    const std::string file = posix::RegistryFile();
    EXPECT_EQ(file, dir / "home/.config/zilba-companion/registry.db");
    {
        PosixRegistry reg;
        HKEY key = Create(reg, kHkeyCurrentUser, kSettings);
        ASSERT_EQ(Set(reg, key, "SERVER_NAME", "zilba.example"), kErrorSuccess);
        reg.RegCloseKey(key);
    }
    PosixRegistry reg;
    EXPECT_EQ(Read(reg, kSettings, "SERVER_NAME"), "zilba.example");
    HKEY key = Create(reg, kHkeyCurrentUser, kSettings);
    fs::remove(file);  // a key opened before the file went still writes into the new one
    ASSERT_EQ(Set(reg, key, "SITE_NAME", "bnwck"), kErrorSuccess);
    EXPECT_EQ(Read(reg, kSettings, "SITE_NAME"), "bnwck");
    reg.RegCloseKey(key);

    // A damaged file reads as nothing and is kept aside, never overwritten, at the next write.
    const std::string garbage(4096, '\x5A');
    for (int damage = 1; damage <= 2; ++damage) {
        WriteFile(file, garbage + std::to_string(damage));
        EXPECT_EQ(Read(reg, kSettings, "SITE_NAME"), "<error 2>");
        EXPECT_EQ(ReadFile(file), garbage + std::to_string(damage)) << "reading never touches it";
        key = Create(reg, kHkeyCurrentUser, kSettings);
        ASSERT_EQ(Set(reg, key, "SITE_NAME", "depot7"), kErrorSuccess);
        reg.RegCloseKey(key);
        EXPECT_EQ(Read(reg, kSettings, "SITE_NAME"), "depot7");
    }
    EXPECT_EQ(ReadFile(file + ".damaged-1"), garbage + "1");
    EXPECT_EQ(ReadFile(file + ".damaged-2"), garbage + "2");
}

TEST(PosixRegistry, TwoProcessesWriteAtOnceWithoutLosingValues) {
    TempDir dir;
    const std::string file = dir / "registry.db";
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        if (pid_t pid = fork(); pid != 0) {
            children.push_back(pid);
            continue;
        }
        PosixRegistry reg(file);
        int failures = 0;
        for (int i = 0; i < 25; ++i) {
            HKEY key = Create(reg, kHkeyCurrentUser, kSettings);
            std::string name = "V" + std::to_string(c * 25 + i);
            failures += key == 0 || Set(reg, key, name, name) != kErrorSuccess;
            reg.RegCloseKey(key);
        }
        _exit(failures);
    }
    for (pid_t pid : children) {
        int status = 0;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    PosixRegistry reg(file);
    for (int n = 0; n < 50; ++n) EXPECT_EQ(Read(reg, kSettings, "V" + std::to_string(n)), "V" + std::to_string(n));
}

}  // namespace
}  // namespace zc::test
