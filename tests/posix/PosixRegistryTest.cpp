#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/PosixRegistry.h"
#include "platform/posix/XdgPaths.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

const std::string kSettings = "Software\\Brennowick\\Zilba Companion";

LONG SetString(Registry& reg, HKEY key, const std::string& name, const std::string& data) {
    return reg.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const uint8_t*>(data.data()),
                              static_cast<uint32_t>(data.size()));
}

HKEY Create(Registry& reg, HKEY hive, const std::string& path, uint32_t* disposition = nullptr) {
    HKEY key = 0;
    EXPECT_EQ(reg.RegCreateKeyExA(hive, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  disposition),
              ERROR_SUCCESS);
    return key;
}

// The value's bytes through a size query and a read, or "<error n>".
std::string Read(Registry& reg, HKEY hive, const std::string& path, const std::string& name) {
    HKEY key = 0;
    if (LONG rc = reg.RegOpenKeyExA(hive, path, 0, KEY_ALL_ACCESS, &key); rc != ERROR_SUCCESS)
        return "<error " + std::to_string(rc) + ">";
    uint32_t size = 0;
    LONG rc = reg.RegQueryValueExA(key, name, nullptr, nullptr, &size);
    std::string data(size, '\0');
    if (rc == ERROR_SUCCESS)
        rc = reg.RegQueryValueExA(key, name, nullptr, reinterpret_cast<uint8_t*>(data.data()), &size);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    if (rc != ERROR_SUCCESS) return "<error " + std::to_string(rc) + ">";
    return data.substr(0, size);
}

TEST(PosixRegistry, StoresExactBytesWithSizeQueryAndMoreData) {
    TempDir dir;
    PosixRegistry reg(dir / "registry.db");
    HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
    const std::string withNul("C:\\Work\0junk", 12);
    ASSERT_EQ(SetString(reg, key, "PC_LOCATION", withNul), ERROR_SUCCESS);

    uint32_t type = 0, size = 0;
    ASSERT_EQ(reg.RegQueryValueExA(key, "PC_LOCATION", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 12u);

    uint8_t small[4] = {'-', '-', '-', '-'};
    size = sizeof small;
    EXPECT_EQ(reg.RegQueryValueExA(key, "PC_LOCATION", nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);

    uint8_t big[32];
    size = sizeof big;
    ASSERT_EQ(reg.RegQueryValueExA(key, "PC_LOCATION", &type, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(big), size), withNul);

    // An empty value is stored as such, not lost; and a binary type keeps its number.
    ASSERT_EQ(SetString(reg, key, "SITE_NAME", ""), ERROR_SUCCESS);
    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, "SITE_NAME"), "");
    const uint8_t raw[] = {0, 1, 2};
    ASSERT_EQ(reg.RegSetValueExA(key, "BIN", 0, 3, raw, 3), ERROR_SUCCESS);
    ASSERT_EQ(reg.RegQueryValueExA(key, "BIN", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
}

TEST(PosixRegistry, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    TempDir dir;
    PosixRegistry reg(dir / "registry.db");
    HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
    ASSERT_EQ(SetString(reg, key, "HPC_LOCATION", "\\My Documents\\Pocket Zilba"), ERROR_SUCCESS);
    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, "SOFTWARE\\brennowick\\ZILBA COMPANION", "hpc_location"),
              "\\My Documents\\Pocket Zilba");

    ASSERT_EQ(SetString(reg, key, "Hpc_Location", "\\Other"), ERROR_SUCCESS);  // the same value
    std::string name;
    std::vector<uint8_t> data;
    ASSERT_EQ(reg.RegEnumValueA(key, 0, &name, nullptr, &data), ERROR_SUCCESS);
    EXPECT_EQ(name, "HPC_LOCATION");
    EXPECT_EQ(std::string(data.begin(), data.end()), "\\Other");
    EXPECT_EQ(reg.RegEnumValueA(key, 1, &name, nullptr, &data), ERROR_NO_MORE_ITEMS);
    reg.RegCloseKey(key);
}

TEST(PosixRegistry, MissingKeysValuesAndHandlesFail) {
    TempDir dir;
    PosixRegistry reg(dir / "registry.db");
    HKEY key = 0;
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_ALL_ACCESS, &key),
              ERROR_FILE_NOT_FOUND);  // no registry file at all
    EXPECT_FALSE(fs::exists(dir / "registry.db"));  // reading creates nothing

    key = Create(reg, HKEY_CURRENT_USER, kSettings);
    uint32_t size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(key, "SERVER_NAME", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    HKEY other = 0;
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_CURRENT_USER, kSettings + "\\Sub", 0, KEY_ALL_ACCESS, &other),
              ERROR_FILE_NOT_FOUND);
    // The same path under another hive is another key.
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_ALL_ACCESS, &other),
              ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.RegQueryValueExA(key, "SERVER_NAME", nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(reg, key, "SERVER_NAME", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(reg, 0x80000003u, "SERVER_NAME", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reg.RegOpenKeyExA(12345, "", 0, KEY_ALL_ACCESS, &other), ERROR_INVALID_HANDLE);
}

TEST(PosixRegistry, CreateMakesEveryMissingKeyAndReportsDisposition) {
    TempDir dir;
    PosixRegistry reg(dir / "sub/folders/registry.db");  // folders made on the first write
    uint32_t disposition = 0;
    HKEY key = Create(reg, HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    reg.RegCloseKey(key);
    for (const char* path : {"SOFTWARE", "software\\microsoft", "SOFTWARE\\Microsoft\\Windows CE Services"}) {
        HKEY k = 0;
        EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS)
            << path;
        reg.RegCloseKey(k);
    }
    key = Create(reg, HKEY_LOCAL_MACHINE, "Software\\Microsoft", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // Relative to an open key.
    HKEY child = Create(reg, key, "Child\\Grandchild", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetString(reg, child, "", "default value"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(reg, child, "named", "named value"), ERROR_SUCCESS);
    EXPECT_EQ(Read(reg, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Child\\Grandchild", ""),
              "default value");
    EXPECT_EQ(Read(reg, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Child\\Grandchild", "named"),
              "named value");
    reg.RegCloseKey(child);
    reg.RegCloseKey(key);
}

TEST(PosixRegistry, HandlesAreDistinctAndIndependent) {
    TempDir dir;
    PosixRegistry reg(dir / "registry.db");
    HKEY a = Create(reg, HKEY_CURRENT_USER, kSettings);
    HKEY b = 0;
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_ALL_ACCESS, &b), ERROR_SUCCESS);
    for (HKEY h : {a, b}) {
        EXPECT_NE(h, 0u);
        EXPECT_NE(h, HKEY_CLASSES_ROOT);
        EXPECT_NE(h, HKEY_CURRENT_USER);
        EXPECT_NE(h, HKEY_LOCAL_MACHINE);
    }
    EXPECT_NE(a, b);
    ASSERT_EQ(reg.RegCloseKey(a), ERROR_SUCCESS);
    EXPECT_EQ(SetString(reg, b, "SITE_NAME", "bnwck"), ERROR_SUCCESS);  // b still usable
    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, "SITE_NAME"), "bnwck");
    EXPECT_EQ(reg.RegCloseKey(b), ERROR_SUCCESS);
}

TEST(PosixRegistry, EnumeratesValuesInNameOrder) {
    TempDir dir;
    PosixRegistry reg(dir / "registry.db");
    HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
    for (const char* name : {"b", "A", "c"}) ASSERT_EQ(SetString(reg, key, name, name), ERROR_SUCCESS);
    std::vector<std::string> names;
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; reg.RegEnumValueA(key, i, &name, &type, &data) == ERROR_SUCCESS; ++i) {
        names.push_back(name);
        EXPECT_EQ(std::string(data.begin(), data.end()), name);
        EXPECT_EQ(type, REG_SZ);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c"}));
    reg.RegCloseKey(key);
}

TEST(PosixRegistry, ValuesSurviveANewInstanceAndFollowTheConfigFolder) {
    TempDir dir;
    dir.UseAsHome();
    {
        PosixRegistry reg;
        HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
        ASSERT_EQ(SetString(reg, key, "SERVER_NAME", "zilba.example"), ERROR_SUCCESS);
        reg.RegCloseKey(key);
    }
    EXPECT_EQ(RegistryFile(), dir / "home/.config/zilba-companion/registry.db");
    EXPECT_TRUE(fs::is_regular_file(RegistryFile()));
    PosixRegistry again;
    EXPECT_EQ(Read(again, HKEY_CURRENT_USER, kSettings, "SERVER_NAME"), "zilba.example");
    PosixRegistry explicitFile(RegistryFile());
    EXPECT_EQ(Read(explicitFile, HKEY_CURRENT_USER, kSettings, "SERVER_NAME"), "zilba.example");
}

TEST(PosixRegistry, DamagedFileReadsAsNothingAndIsKeptAsideOnTheNextWrite) {
    TempDir dir;
    const std::string file = dir / "registry.db";
    const std::string garbage(4096, '\x5A');
    WriteFile(file, garbage);
    PosixRegistry reg(file);

    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, "SITE_NAME"), "<error 2>");
    std::string name;
    EXPECT_EQ(reg.RegEnumValueA(HKEY_CURRENT_USER, 0, &name, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(ReadFile(file), garbage);  // reading never touches it

    HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
    ASSERT_EQ(SetString(reg, key, "SITE_NAME", "depot7"), ERROR_SUCCESS);
    reg.RegCloseKey(key);
    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, "SITE_NAME"), "depot7");
    EXPECT_EQ(ReadFile(file + ".damaged-1"), garbage);

    // A second damage does not overwrite the first copy.
    WriteFile(file, "not a database either");
    key = Create(reg, HKEY_CURRENT_USER, kSettings);
    reg.RegCloseKey(key);
    EXPECT_EQ(ReadFile(file + ".damaged-1"), garbage);
    EXPECT_EQ(ReadFile(file + ".damaged-2"), "not a database either");
}

TEST(PosixRegistry, OpenKeyStillWritesAfterTheFileWasRecreated) {
    TempDir dir;
    const std::string file = dir / "registry.db";
    PosixRegistry reg(file);
    HKEY key = Create(reg, HKEY_CURRENT_USER, kSettings);
    fs::remove(file);
    ASSERT_EQ(SetString(reg, key, "SITE_NAME", "bnwck"), ERROR_SUCCESS);
    EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, "SITE_NAME"), "bnwck");
    reg.RegCloseKey(key);
}

TEST(PosixRegistry, TwoProcessesWriteAtOnceWithoutLosingValues) {
    TempDir dir;
    const std::string file = dir / "registry.db";
    constexpr int kWrites = 25;
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            PosixRegistry reg(file);
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = 0;
                if (reg.RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                std::string name = "V" + std::to_string(c) + "_" + std::to_string(i);
                if (SetString(reg, key, name, name) != ERROR_SUCCESS) ++failures;
                reg.RegCloseKey(key);
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    PosixRegistry reg(file);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kWrites; ++i) {
            std::string name = "V" + std::to_string(c) + "_" + std::to_string(i);
            EXPECT_EQ(Read(reg, HKEY_CURRENT_USER, kSettings, name), name);
        }
}

}  // namespace
}  // namespace zc::posix
