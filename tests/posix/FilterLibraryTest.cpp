#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/AdoFilter.h"
#include "platform/posix/XdgPaths.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

const char* kHandheldDb = "\\My Documents\\Pocket Zilba\\P_ZILBA.CDB";

// Runs statements, or returns every row of a query as "a|b|c" lines ("NULL" for nulls).
std::vector<std::string> Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << file;
        return rows;
    }
    char* error = nullptr;
    auto collect = [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
    };
    if (sqlite3_exec(db, sql.c_str(), collect, &rows, &error) != SQLITE_OK) {
        ADD_FAILURE() << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return rows;
}

class FilterLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.UseAsHome();
        library = dlopen(ZC_LIB_DIR "/libzc_adofilter.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        convert = reinterpret_cast<DeviceToDesktopFn>(dlsym(library, kDeviceToDesktop));
        ASSERT_NE(convert, nullptr);

        device = HandheldRoot() + "/My Documents/Pocket Zilba";
        fs::create_directories(device);
        Sql(device + "/P_ZILBA.CDB",
            "CREATE TABLE Control(SiteName TEXT);"
            "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, Signature);"
            "CREATE TABLE Extra(x);"
            "INSERT INTO Control VALUES('depot7');"
            "INSERT INTO Jobs VALUES(42, 102, 732, '2026-12-05 10:15:27', NULL, NULL);"
            "INSERT INTO Jobs VALUES(42, 101, 731, '2026-12-05 09:30:00', 'a+++b%%', '3');"
            "INSERT INTO Jobs VALUES('x7', 205, 'J-1', '2026-12-06 23:59:59', 'Crème brûlée', 5001);"
            "INSERT INTO Extra VALUES(1);");
        desktopDir = home / "work";
        fs::create_directories(desktopDir);
        desktop = desktopDir + "/P_ZILBA.MDB";
    }
    void TearDown() override {
        if (library) dlclose(library);
    }

    int32_t Convert(const std::string& target, const std::string& tables, int32_t overwrite,
                    const std::string& handheld = kHandheldDb) {
        return convert(target.c_str(), tables.c_str(), 0, overwrite, handheld.c_str());
    }
    std::vector<std::string> DesktopFolder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(desktopDir)) names.push_back(e.path().filename());
        return names;
    }
    std::vector<std::string> Tables(const std::string& file) {
        return Sql(file, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
    }

    TempDir home;
    void* library = nullptr;
    DeviceToDesktopFn convert = nullptr;
    std::string device, desktopDir, desktop;
};

TEST_F(FilterLibraryTest, CopiesTheHandheldDatabaseWithItsRows) {
    const auto jobs = Sql(device + "/P_ZILBA.CDB", "SELECT * FROM Jobs ORDER BY rowid");
    ASSERT_EQ(jobs.size(), 3u);

    // The handheld path matches without regard to case; an earlier file is replaced.
    WriteFile(desktop, "an earlier conversion");
    ASSERT_EQ(Convert(desktop, "", -1, "\\my documents\\pocket zilba\\p_zilba.cdb"), 0);
    EXPECT_EQ(DesktopFolder(), std::vector<std::string>{"P_ZILBA.MDB"});
    EXPECT_EQ(Tables(desktop), (std::vector<std::string>{"Control", "Extra", "Jobs"}));
    EXPECT_EQ(Sql(desktop, "SELECT SiteName FROM Control"), std::vector<std::string>{"depot7"});
    EXPECT_EQ(Sql(desktop, "SELECT * FROM Jobs ORDER BY rowid"), jobs);
    EXPECT_EQ(Sql(desktop, "SELECT typeof(Signature) FROM Jobs ORDER BY rowid"),
              (std::vector<std::string>{"null", "text", "integer"}));
    EXPECT_EQ(Sql(desktop, "PRAGMA journal_mode"), std::vector<std::string>{"delete"});

    // A table list keeps only the tables it names (";" or "," between names).
    ASSERT_EQ(Convert(desktop, "jobs", 1), 0);
    EXPECT_EQ(Tables(desktop), std::vector<std::string>{"Jobs"});
    EXPECT_EQ(Sql(desktop, "SELECT * FROM Jobs ORDER BY rowid"), jobs);
    ASSERT_EQ(Convert(desktop, "Control; Jobs", 1), 0);
    EXPECT_EQ(Tables(desktop), (std::vector<std::string>{"Control", "Jobs"}));
    ASSERT_EQ(Convert(desktop, "Extra,Control", 1), 0);
    EXPECT_EQ(Tables(desktop), (std::vector<std::string>{"Control", "Extra"}));

    // A table the handheld does not have fails, and leaves the last good copy alone.
    EXPECT_NE(Convert(desktop, "Jobs;Nothing", 1), 0);
    EXPECT_EQ(Tables(desktop), (std::vector<std::string>{"Control", "Extra"}));
    EXPECT_EQ(DesktopFolder(), std::vector<std::string>{"P_ZILBA.MDB"});
    // The handheld's database is only read.
    EXPECT_EQ(Sql(device + "/P_ZILBA.CDB", "SELECT * FROM Jobs ORDER BY rowid"), jobs);
}

TEST_F(FilterLibraryTest, KeepsAnExistingDesktopFileUnlessToldToReplaceIt) {
    WriteFile(desktop, "keep me");
    EXPECT_NE(Convert(desktop, "", 0), 0);
    EXPECT_EQ(ReadFile(desktop), "keep me");
    EXPECT_EQ(DesktopFolder(), std::vector<std::string>{"P_ZILBA.MDB"});

    // Without an earlier file, overwrite false writes it.
    fs::remove(desktop);
    ASSERT_EQ(Convert(desktop, "", 0), 0);
    EXPECT_EQ(Sql(desktop, "SELECT count(*) FROM Jobs"), std::vector<std::string>{"3"});

    // A folder in the way is never replaced.
    fs::remove(desktop);
    fs::create_directories(desktop);
    EXPECT_NE(Convert(desktop, "", -1), 0);
    EXPECT_TRUE(fs::is_directory(desktop));
    EXPECT_EQ(DesktopFolder(), std::vector<std::string>{"P_ZILBA.MDB"});
}

TEST_F(FilterLibraryTest, FailuresLeaveNoDesktopFileBehind) {
    const std::string handheldFile = device + "/P_ZILBA.CDB";
    const std::string good = ReadFile(handheldFile);
    auto expectFailure = [&](const std::string& why, const std::string& target = "",
                             const std::string& handheld = kHandheldDb) {
        EXPECT_NE(Convert(target.empty() ? desktop : target, "", -1, handheld), 0) << why;
        EXPECT_TRUE(DesktopFolder().empty()) << why;
    };

    WriteFile(UndockedMarker(), "");
    expectFailure("undocked");
    fs::remove(UndockedMarker());

    expectFailure("missing handheld file", "", "\\My Documents\\Pocket Zilba\\NONE.CDB");
    expectFailure("a folder, not a file", "", "\\My Documents\\Pocket Zilba");
    expectFailure("target folder missing", desktopDir + "/Missing/P_ZILBA.MDB");
    expectFailure("empty target", desktopDir + "/");

    // A database outside the handheld cannot be reached with "..".
    WriteFile(HandheldRoot() + "/../outside.cdb", good);
    expectFailure("path leaving the handheld", "", "\\..\\outside.cdb");

    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    WriteFile(handheldFile, noise);
    expectFailure("random bytes");
    WriteFile(handheldFile, "");
    expectFailure("empty file");
    WriteFile(handheldFile, good.substr(0, 100));
    expectFailure("truncated database");

    fs::remove_all(HandheldRoot());
    expectFailure("no handheld at all");

    EXPECT_NE(convert(nullptr, "", 0, -1, kHandheldDb), 0);
    EXPECT_NE(convert(desktop.c_str(), "", 0, -1, nullptr), 0);
    EXPECT_TRUE(DesktopFolder().empty());
}

}  // namespace
}  // namespace zc::posix
