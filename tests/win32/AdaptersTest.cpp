// The registry, kernel, clock and database adapters against the real Windows
// functions under Wine.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include "Support.h"
#include "app/Settings.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Database.h"
#include "platform/win32/Win32Kernel.h"
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
    std::string upper = kTestKey;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
    // Missing keys and values read as nothing; HKEY_LOCAL_MACHINE takes writes under Wine.
    EXPECT_EQ(RegReadString(registry, kHkeyCurrentUser, kTestKey + "\\Missing", "X"), "");
    EXPECT_EQ(RegReadString(registry, kHkeyClassesRoot, "MS.WinCE.Table.Missing\\CLSID", ""), "");
    RegWriteString(registry, kHkeyLocalMachine, kTestKey, "Zilba Companion", "C:\\Program\\ZilbaCompanion.exe");
    EXPECT_EQ(RegReadString(registry, kHkeyLocalMachine, kTestKey, "Zilba Companion"),
              "C:\\Program\\ZilbaCompanion.exe");
    ::RegDeleteTreeA(kWinCurrentUser, kTestKey.c_str());
    ::RegDeleteTreeA(kWinLocalMachine, kTestKey.c_str());
}

TEST(Kernel, LoadsLibrariesAndWritesAtOffsets) {
    win32::Win32Kernel kernel;
    EXPECT_EQ(kernel.LoadLibraryA(""), 0u);
    EXPECT_EQ(kernel.LoadLibraryA("Z:\\no\\such\\adofiltr.dll"), 0u);
    TempDir dir;
    SECURITY_ATTRIBUTES none;
    const std::string path = dir / "S_1.bmp";
    WriteFile(path, "old content, longer");
    HANDLE file = kernel.CreateFileA(path, kGenericWrite, kFileShareWrite, &none, kCreateAlways, kFileAttributeNormal, 0);
    ASSERT_NE(file, kInvalidHandle);
    OVERLAPPED at;
    uint32_t written = 0;
    EXPECT_TRUE(kernel.WriteFile(file, reinterpret_cast<const uint8_t*>("abc"), 3, &written, &at));
    at.Offset = 5;
    EXPECT_TRUE(kernel.WriteFile(file, reinterpret_cast<const uint8_t*>("XY"), 2, &written, &at));
    EXPECT_EQ(written, 2u);
    EXPECT_TRUE(kernel.CloseHandle(file));
    EXPECT_EQ(ReadFile(path), std::string("abc\0\0XY", 7)) << "truncated, then written at the offsets";
    EXPECT_EQ(kernel.CreateFileA(dir / "missing\\S_1.bmp", kGenericWrite, kFileShareWrite, &none, kCreateAlways,
                                 kFileAttributeNormal, 0),
              kInvalidHandle);
    EXPECT_EQ(kernel.GetLastError(), 3u) << "ERROR_PATH_NOT_FOUND";
}

TEST(Clock, FollowsTheUsersRegionalFormats) {
    win32::Win32Clock clock;
    char shortDate[80] = {}, longTime[80] = {};
    ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, shortDate, sizeof shortDate);
    ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, longTime, sizeof longTime);
    const LocalDateTime when{2026, 12, 5, 14, 7, 9};
    const struct {
        const char* date;
        const char* time;
        const char* shortDate;
        const char* longTime;
    } cases[] = {
        {"dd/MM/yyyy", "HH:mm:ss", "05/12/2026", "14:07:09"},
        {"M/d/yyyy", "h:mm:ss tt", "12/5/2026", "2:07:09 PM"},
        {"dd.MM.yyyy", "HH:mm:ss", "05.12.2026", "14:07:09"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, c.date));
        ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, c.time));
        EXPECT_EQ(clock.ShortDate(when), c.shortDate);
        EXPECT_EQ(clock.LongTime(when), c.longTime);
    }
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, shortDate);
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, longTime);
    SYSTEMTIME before{};
    ::GetLocalTime(&before);
    LocalDateTime now = clock.Now();
    EXPECT_EQ(now.year, before.wYear);
    EXPECT_GE(now.hour * 3600 + now.minute * 60 + now.second,
              (before.wHour * 3600 + before.wMinute * 60 + before.wSecond) % 86399);
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
    EXPECT_LT(e.number(), 0) << "an HRESULT";
    EXPECT_FALSE(e.description().empty());
    EXPECT_EQ(e.description(), "Provider cannot be found. It may not be properly installed.");
}

}  // namespace zc::test
