#include <gtest/gtest.h>

#include "core/Settings.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

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
    posix::PosixRegistry reg;
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

}  // namespace
}  // namespace zc::test
