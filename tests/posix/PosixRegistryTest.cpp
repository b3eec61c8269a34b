#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/Settings.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using posix::PosixRegistry;

std::string Read(Registry& reg, const std::string& name) {
    return RegReadString(reg, kHkeyCurrentUser, kSettingsKey, name);
}
void Write(Registry& reg, const std::string& name, const std::string& value) {
    RegWriteString(reg, kHkeyCurrentUser, kSettingsKey, name, value);
}

TEST(PosixRegistry, ADamagedFileIsKeptAsideAtTheNextWrite) {
    HomeDir dir;
    const std::string file = posix::RegistryFile();
    EXPECT_EQ(file, dir / "home/.config/zilba-companion/registry.db");
    PosixRegistry reg;
    Write(reg, "SITE_NAME", "bnwck");

    // It reads as nothing and is kept aside, never overwritten.
    const std::string garbage(4096, '\x5A');
    for (int damage = 1; damage <= 2; ++damage) {
        WriteFile(file, garbage + std::to_string(damage));
        EXPECT_EQ(Read(reg, "SITE_NAME"), "");
        EXPECT_EQ(ReadFile(file), garbage + std::to_string(damage)) << "reading never touches it";
        Write(reg, "SITE_NAME", "depot7");
        EXPECT_EQ(Read(reg, "SITE_NAME"), "depot7");
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
        for (int i = 0; i < 25; ++i) Write(reg, "V" + std::to_string(c * 25 + i), "V" + std::to_string(c * 25 + i));
        _exit(0);
    }
    for (pid_t pid : children) {
        int status = 0;
        EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    PosixRegistry reg(file);
    for (int n = 0; n < 50; ++n) EXPECT_EQ(Read(reg, "V" + std::to_string(n)), "V" + std::to_string(n));
}

}  // namespace
}  // namespace zc::test
