#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

#include "app/Settings.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = std::string(ZC_LIB_DIR) + "/libzc_adofilter.so";
const char* kClassId = "{5A0C1B2E-7D41-4C8E-9B20-ZC0000000001}";

void Register(Rig& rig, const std::string& library) {
    RegWriteString(rig.registry, HKEY_CLASSES_ROOT, "MS.WinCE.Table\\CLSID", "", kClassId);
    RegWriteString(rig.registry, HKEY_CLASSES_ROOT,
                   std::string("CLSID\\") + kClassId + "\\InprocServer32", "", library);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << message;
}

void MakeHandheldDatabase(const std::string& path, int jobs) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    Exec(db, "CREATE TABLE Control(SiteName TEXT); INSERT INTO Control VALUES('north');"
             "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime TEXT, Text, "
             "Signature);");
    for (int i = 0; i < jobs; ++i)
        Exec(db, "INSERT INTO Jobs VALUES('u1', " + std::to_string(100 - i) + ", 'J" +
                     std::to_string(i) + "', '2026-12-06 10:00:00', 'text', 'a.bmp')");
    sqlite3_close(db);
}

int CountJobs(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt* st = nullptr;
    int n = -1;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM Jobs", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

int ErrorOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

struct FilterRig : Rig {
    ~FilterRig() { FreeAdoFilter(f); }
};

}  // namespace

TEST(LoadAdoFilter, LoadsTheRegisteredLibraryAndFreesItAtUnload) {
    FilterRig rig;
    Register(rig, kLibrary);
    LoadAdoFilter(rig.f);
    EXPECT_EQ(rig.plan.Count("LoadLibraryA"), 1);
    EXPECT_NE(std::find(rig.plan.calls.begin(), rig.plan.calls.end(), "LoadLibraryA " + kLibrary),
              rig.plan.calls.end());
    FreeAdoFilter(rig.f);
    EXPECT_NE(std::find(rig.plan.calls.begin(), rig.plan.calls.end(), "FreeLibrary"),
              rig.plan.calls.end());
    EXPECT_EQ(rig.registry.openKeys, 0);
}

TEST(LoadAdoFilter, MissingRegistrationOrNonLibraryIsMinus100) {
    {
        FilterRig rig;
        EXPECT_EQ(ErrorOf([&] { LoadAdoFilter(rig.f); }), -100);
        // With no class identifier the second read names an empty one.
        EXPECT_NE(std::find(rig.plan.calls.begin(), rig.plan.calls.end(),
                            "RegOpenKeyExA CLSID\\\\InprocServer32"),
                  rig.plan.calls.end());
    }
    {
        FilterRig rig;
        WriteFile(rig.home / "not-a-library.so", "just text");
        Register(rig, rig.home / "not-a-library.so");
        try {
            LoadAdoFilter(rig.f);
            FAIL();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), -100);
            EXPECT_EQ(e.description(), "Unable to load ADO filter library");
        }
    }
}

TEST(CopyDatabase, ConvertsTheHandheldDatabaseAndReplacesAnEarlierOne) {
    FilterRig rig;
    Register(rig, kLibrary);
    LoadAdoFilter(rig.f);
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    MakeHandheldDatabase(rig.DevicePath("My Documents/Pocket Zilba/P_ZILBA.CDB"), 12);
    WriteFile(rig.Local("P_ZILBA.MDB"), "an earlier, stale desktop database");

    CopyDatabase(rig.f);
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Copying database from handheld device"});
    EXPECT_EQ(CountJobs(rig.Local("P_ZILBA.MDB")), 12);
    rig.rapi.CeRapiUninit();
}

TEST(CopyDatabase, FailedConversionIsMinus400AndLeavesNoHalfWrittenFile) {
    FilterRig rig;
    Register(rig, kLibrary);
    LoadAdoFilter(rig.f);
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);

    // No database on the handheld.
    EXPECT_EQ(ErrorOf([&] { CopyDatabase(rig.f); }), -400);
    // A handheld file that is not a database.
    rig.DeviceFile("My Documents/Pocket Zilba/P_ZILBA.CDB", std::string(5000, '\x5a'));
    try {
        CopyDatabase(rig.f);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), -400);
        EXPECT_EQ(e.description(), "Failed to copy database from device");
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(rig.localDir))
        left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? "" : left.front());
    rig.rapi.CeRapiUninit();
}

}  // namespace zc::test
