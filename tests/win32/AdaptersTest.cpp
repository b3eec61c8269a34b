// The registry and database adapters against the real Windows functions under Wine. The other
// hives and missing values, the kernel (the mutex across processes, library loading, the
// program's own path, writes at offsets), the documents folder and the regional formats show in
// the whole transfer.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include "Support.h"
#include "app/Settings.h"
#include "platform/win32/Win32Database.h"
#include "platform/win32/Win32Registry.h"

namespace zc::test {

namespace {
const std::string kTestKey = "Software\\Brennowick\\Zilba Companion Test " + std::to_string(::GetCurrentProcessId());
}

TEST(Registry, RoundTripsThroughTheRealRegistryCutAtNulWithoutRegardToCase) {
    win32::Win32Registry registry;
    RegWriteString(registry, kHkeyCurrentUser, kTestKey, "PC_LOCATION", "  C:\\Zürich Daten  ");
    EXPECT_EQ(RegReadString(registry, kHkeyCurrentUser, kTestKey, "PC_LOCATION"), "C:\\Zürich Daten");
    // Key and value names match without regard to case, as Windows matches them.
    const std::string upper = "SOFTWARE\\BRENNOWICK\\ZILBA COMPANION TEST " + std::to_string(::GetCurrentProcessId());
    EXPECT_EQ(RegReadString(registry, kHkeyCurrentUser, upper, "pc_location"), "C:\\Zürich Daten");
    // The text is stored in the ANSI code page, as the A functions read it.
    HKEY key = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(kHkeyCurrentUser, kTestKey, 0, kKeyAllAccess, &key), kErrorSuccess);
    uint8_t small[4];
    uint32_t size = sizeof small, type = 0;
    EXPECT_EQ(registry.RegQueryValueExA(key, "PC_LOCATION", &type, small, &size), kErrorMoreData);
    EXPECT_EQ(size, 20u) << "ü as one byte, and the NUL the A functions add";
    EXPECT_EQ(type, kRegSz);
    // A value holding a NUL is cut there.
    const char withNul[] = "abc\0def";
    ASSERT_EQ(registry.RegSetValueExA(key, "SITE_NAME", 0, kRegSz, reinterpret_cast<const uint8_t*>(withNul), 7),
              kErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), kErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), kErrorInvalidHandle) << "a key closes once";
    EXPECT_EQ(RegReadString(registry, kHkeyCurrentUser, kTestKey, "SITE_NAME"), "abc");
    ::RegDeleteTreeA(kWinCurrentUser, kTestKey.c_str());
}

TEST(Database, AFailedOpenCarriesAdosDescription) {
    // Wine has no Jet 4.0 provider, so only the failure of a real ADO call can be seen here.
    win32::Win32Database database;
    TempDir dir;
    WriteFile(dir / "P_ZILBA.MDB", "not a database");
    Error e = ErrorOf([&] {
        database.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir / "P_ZILBA.MDB" +
                      ";Persist Security Info=False");
    });
    EXPECT_EQ(e.description(), "Provider cannot be found. It may not be properly installed.");
}

}  // namespace zc::test
