// The filter library as the program calls it: the one entry point, converting the simulated
// handheld's whole database into the desktop database.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/AdoFilter.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

class FilterLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = dlopen(ZC_LIB_DIR "/libzc_adofilter.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        convert = reinterpret_cast<DeviceToDesktopFn>(dlsym(library, kDeviceToDesktop));
        ASSERT_NE(convert, nullptr);
        fs::create_directories(posix::HandheldRoot() + "/My Documents/Pocket Zilba");
        Sql(handheld,
            "CREATE TABLE Control(SiteName TEXT); INSERT INTO Control VALUES('depot7');"
            "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, Signature);"
            "INSERT INTO Jobs VALUES(42, 102, 732, '2026-12-05 10:15:27', NULL, NULL);"
            "INSERT INTO Jobs VALUES('x7', 205, 'J-1', '2026-12-06 23:59:59', 'Crème brûlée', 5001);");
        fs::create_directories(desktopDir);
    }
    void TearDown() override {
        if (library) dlclose(library);
    }
    // The program's own call: every table, replacing an earlier desktop file.
    int32_t Convert(const std::string& target, const char* device = "\\My Documents\\Pocket Zilba\\P_ZILBA.CDB") {
        return convert(target.c_str(), "", 0, -1, device);
    }

    HomeDir home;
    void* library = nullptr;
    DeviceToDesktopFn convert = nullptr;
    std::string handheld = posix::HandheldRoot() + "/My Documents/Pocket Zilba/P_ZILBA.CDB";
    std::string desktopDir = home / "work", desktop = desktopDir + "/P_ZILBA.MDB";
};

TEST_F(FilterLibraryTest, ConvertsTheWholeDatabaseOrLeavesNoDesktopFileBehind) {
    const std::string good = ReadFile(handheld);
    const std::string query = "SELECT *, typeof(Signature) FROM Control, Jobs ORDER BY Jobs.rowid";
    WriteFile(desktop, "an earlier conversion");
    ASSERT_EQ(Convert(desktop, "\\my documents\\pocket zilba\\p_zilba.cdb"), 0) << "any case";
    EXPECT_EQ(Names(desktopDir), Lines{"P_ZILBA.MDB"}) << "no journal left beside it";
    EXPECT_EQ(Sql(desktop, query), Sql(handheld, query));
    EXPECT_EQ(ReadFile(handheld), good) << "the handheld's database is only read";
    fs::remove(desktop);

    auto expectFailure = [&](const std::string& why, const std::string& target, const char* device = nullptr) {
        EXPECT_NE(device ? Convert(target, device) : Convert(target), 0) << why;
        EXPECT_EQ(Names(desktopDir), Lines{}) << why;
    };
    WriteFile(posix::UndockedMarker(), "");
    expectFailure("undocked", desktop);
    fs::remove(posix::UndockedMarker());
    expectFailure("missing handheld file", desktop, "\\My Documents\\Pocket Zilba\\NONE.CDB");
    expectFailure("a folder, not a file", desktop, "\\My Documents\\Pocket Zilba");
    expectFailure("target folder missing", desktopDir + "/Missing/P_ZILBA.MDB");
    WriteFile(posix::HandheldRoot() + "/../outside.cdb", good);
    expectFailure("path leaving the handheld", desktop, "\\..\\outside.cdb");
    for (auto [why, bytes] : {std::pair{"no database", std::string(8192, '\x5A')}, {"empty file", std::string()},
                              {"truncated database", good.substr(0, 100)}}) {
        WriteFile(handheld, bytes);
        expectFailure(why, desktop);
    }
    fs::create_directories(desktop);
    EXPECT_NE(Convert(desktop), 0) << "a folder in the way is never replaced";
    EXPECT_TRUE(fs::is_empty(desktop));
}

}  // namespace
}  // namespace zc::test
