#include <gtest/gtest.h>

#include "app/Settings.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

void StoreRaw(Registry& registry, const std::string& name, const std::string& bytes) {
    HKEY key = 0;
    uint32_t disposition = 0;
    ASSERT_EQ(registry.RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    ASSERT_EQ(registry.RegSetValueExA(key, name, 0, REG_SZ,
                                      reinterpret_cast<const uint8_t*>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size())),
              ERROR_SUCCESS);
    registry.RegCloseKey(key);
}

void SetDefaults(FakeForm& form) {
    form.fields[Field::DeviceDir] = "dev-default";
    form.fields[Field::LocalDir] = "local-default";
    form.fields[Field::Server] = "server-default";
    form.fields[Field::Site] = "site-default";
}

}  // namespace

TEST(Settings, StoredValuesAreCleanedAndEmptyOnesKeepTheDefault) {
    Rig rig;
    SetDefaults(rig.form);
    LoadSettings(rig.f);  // nothing stored yet
    EXPECT_EQ(rig.form.fields[Field::DeviceDir], "dev-default");
    EXPECT_EQ(rig.form.fields[Field::Site], "site-default");

    StoreRaw(rig.real.registry, "hpc_location", "");             // empty: default stays
    StoreRaw(rig.real.registry, "PC_LOCATION", "    ");          // spaces: default stays
    StoreRaw(rig.real.registry, "SERVER_NAME", "  host:81  ");   // trimmed
    StoreRaw(rig.real.registry, "SITE_NAME", std::string("abc\0junk", 8));  // cut at the NUL
    LoadSettings(rig.f);
    EXPECT_EQ(rig.form.fields[Field::DeviceDir], "dev-default");
    EXPECT_EQ(rig.form.fields[Field::LocalDir], "local-default");
    EXPECT_EQ(rig.form.fields[Field::Server], "host:81");
    EXPECT_EQ(rig.form.fields[Field::Site], "abc");
    EXPECT_EQ(rig.registry.openKeys, 0) << "every opened key is closed";
}

TEST(Settings, SaveStoresTheFieldsAsTypedAndTheNextStartReadsThemBack) {
    Rig rig;
    rig.form.fields[Field::DeviceDir] = "\\Handheld\\";
    rig.form.fields[Field::LocalDir] = "";
    rig.form.fields[Field::Server] = " spaced ";
    rig.form.fields[Field::Site] = "s\xc3\xa9te";
    SaveSettings(rig.f);

    uint32_t size = 0, type = 0;
    HKEY key = 0;
    ASSERT_EQ(rig.real.registry.RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS,
                                              &key),
              ERROR_SUCCESS);
    ASSERT_EQ(rig.real.registry.RegQueryValueExA(key, "SERVER_NAME", &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 8u) << "untrimmed and without a terminating NUL";
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(rig.real.registry.RegQueryValueExA(key, "PC_LOCATION", &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 0u) << "an empty field is stored empty";
    rig.real.registry.RegCloseKey(key);

    FakeForm next;
    SetDefaults(next);
    MainForm f{next, rig.os};
    LoadSettings(f);
    EXPECT_EQ(next.fields[Field::DeviceDir], "\\Handheld\\");
    EXPECT_EQ(next.fields[Field::LocalDir], "local-default");
    EXPECT_EQ(next.fields[Field::Server], "spaced");
    EXPECT_EQ(next.fields[Field::Site], "s\xc3\xa9te");
}

TEST(Settings, RegistryFailuresAreSilentAndTheOtherValuesStillTried) {
    Rig rig;
    SetDefaults(rig.form);
    rig.plan.FailCall("RegCreateKeyExA", 2);  // PC_LOCATION's key cannot be opened
    rig.plan.FailCall("RegSetValueExA", 2);   // SERVER_NAME cannot be stored (PC_LOCATION set none)
    SaveSettings(rig.f);
    EXPECT_EQ(rig.registry.openKeys, 0);

    EXPECT_EQ(RegReadString(rig.registry, HKEY_CURRENT_USER, kSettingsKey, "HPC_LOCATION"),
              "dev-default");
    EXPECT_EQ(RegReadString(rig.registry, HKEY_CURRENT_USER, kSettingsKey, "PC_LOCATION"), "");
    EXPECT_EQ(RegReadString(rig.registry, HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME"), "");
    EXPECT_EQ(RegReadString(rig.registry, HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME"),
              "site-default");

    rig.plan.FailCall("RegQueryValueExA", 0);
    EXPECT_EQ(RegReadString(rig.registry, HKEY_CURRENT_USER, kSettingsKey, "SITE_NAME"), "");
    EXPECT_EQ(rig.registry.openKeys, 0) << "closed on the failing path too";
}

}  // namespace zc::test
